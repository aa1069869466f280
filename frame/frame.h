// The frame every operation stands in: platform probes, the trace channel,
// the three text comparisons, bounded formatting and a key holder.
#ifndef PX714SUP_FRAME_FRAME_H
#define PX714SUP_FRAME_FRAME_H

#include <stddef.h>

#include "platform/win32.h"

// Platform probes. Each asks GetVersionExA anew; a failed query reads as
// version 0.0 on platform 0, so all three answer false.
int IsNtPlatform();   // dwPlatformId is VER_PLATFORM_WIN32_NT
int IsWindowsMe();    // version 4.90 or later minor of major 4, any platform
int IsWindows9598();  // major 4, minor 10 or less: also NT 4.0

// Hands one text, exactly as given, to the debugger output channel.
void Trace(const char* text);

// Whole texts, letter case ignored; a double-byte character of the ANSI code
// page is one unit. Returns 0 when equal, <0 or >0 otherwise.
int CompareNoCase(const char* a, const char* b);
// The first n bytes in the same manner; n == 0 compares equal, and a text
// that ends within the first n bytes differs from one that does not.
int CompareNoCaseN(const char* a, const char* b, size_t n);
// The first n bytes one byte at a time, letter case ignored (no double-byte
// units).
int CompareBytesNoCaseN(const char* a, const char* b, size_t n);

// printf-style formatting into a fixed buffer: %s, %d, %u, %x, %c, %%, with
// an optional zero flag and width (%04d). Returns true when the whole text
// and its terminator fit; otherwise the buffer holds the empty text and the
// result is false: a text is never cut into a different, shorter one.
bool FormatText(char* buffer, size_t capacity, const char* format, ...);
// Copies a text whole, or leaves the empty text and returns false.
bool CopyText(char* buffer, size_t capacity, const char* text);
// Byte length of a zero-terminated text.
size_t TextLength(const char* text);

// Small helpers shared by the operations: reading a text value safely,
// judging a name before it goes into a key or folder path, and the trace
// line for a text that does not fit its buffer.

// Reads a value of an open key into buffer as text. True when the query
// succeeded and the text with its terminator fits capacity bytes; data
// stored without a terminator end at the bytes read. The value's type is
// not looked at. On false the buffer holds the empty text.
bool ReadTextValue(HKEY key, const char* valueName, char* buffer, DWORD capacity);

// True when text can stand as one key or folder name: not empty, no
// backslash or slash outside a double-byte character, and not made of dots
// and blanks alone (Windows reads ".." as the parent folder and drops
// trailing dots and blanks, so such a name would address another folder).
bool IsSingleName(const char* text);

// Traces "\t\tToo long, left out: WHAT\n": a key path, folder path or trace
// line did not fit its buffer and its step is left out.
void TraceTooLong(const char* what);

// One registry key handle, closed when the holder goes out of scope.
// Starts as null; Close() may be called early and again.
class KeyHolder {
public:
    KeyHolder() : key_(0) {}
    ~KeyHolder() { Close(); }
    HKEY* Out() { Close(); return &key_; }   // for RegOpenKey*: receives the handle
    HKEY Get() const { return key_; }
    bool IsOpen() const { return key_ != 0; }
    void Close() {
        if (key_ != 0) {
            RegCloseKey(key_);
            key_ = 0;
        }
    }
    // Opens rootKey\path with RegOpenKeyA; true when it opened.
    bool Open(HKEY rootKey, const char* path) {
        Close();
        HKEY key = 0;
        if (RegOpenKeyA(rootKey, path, &key) != ERROR_SUCCESS) return false;
        key_ = key;
        return true;
    }
    // Opens rootKey\path with RegOpenKeyExA(..., 0, access); true when it opened.
    bool OpenEx(HKEY rootKey, const char* path, REGSAM access) {
        Close();
        HKEY key = 0;
        if (RegOpenKeyExA(rootKey, path, 0, access, &key) != ERROR_SUCCESS) return false;
        key_ = key;
        return true;
    }

private:
    KeyHolder(const KeyHolder&);
    KeyHolder& operator=(const KeyHolder&);
    HKEY key_;  // open key, or null
};

#endif  // PX714SUP_FRAME_FRAME_H
