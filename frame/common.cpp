#include "frame/frame.h"

bool ReadTextValue(HKEY key, const char* valueName, char* buffer, DWORD capacity) {
    DWORD type = REG_SZ;
    DWORD size = capacity;
    LONG status = RegQueryValueExA(key, valueName, 0, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS && size <= capacity) {
        for (DWORD i = 0; i < size; ++i) {
            if (buffer[i] == 0) return true;
        }
        if (size < capacity) {
            buffer[size] = 0;
            return true;
        }
    }
    buffer[0] = 0;
    return false;
}

bool IsSingleName(const char* text) {
    bool onlyDotsAndBlanks = true;
    for (const char* p = text; *p != 0; ++p) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != 0) {
            onlyDotsAndBlanks = false;
            ++p;
            continue;
        }
        if (*p == '\\' || *p == '/') return false;
        if (*p != '.' && *p != ' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks;  // also false for the empty text
}

void TraceTooLong(const char* what) {
    char line[120];
    if (FormatText(line, sizeof line, "\t\tToo long, left out: %s\n", what)) Trace(line);
}
