// Small helpers the legacy-player operations share: reading a text value
// safely, judging a name before it goes into a key or folder path, and the
// trace line for a text that does not fit its buffer.
#ifndef PX714SUP_LEGACY_COMMON_H
#define PX714SUP_LEGACY_COMMON_H

#include "frame/frame.h"

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

#endif  // PX714SUP_LEGACY_COMMON_H
