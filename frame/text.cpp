#include "frame/frame.h"

#include <stdarg.h>

namespace {

unsigned char UpperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// One comparison unit at p: a single byte (upper-cased), or a lead byte with
// the byte after it, kept as they are so that a trail byte that looks like
// an ASCII letter is never case-folded. `limit` is the number of bytes that
// may still be looked at. Sets *width to the bytes the unit takes.
unsigned int ReadUnit(const unsigned char* p, size_t limit, size_t* width) {
    if (limit >= 2 && p[0] != 0 && IsDBCSLeadByte(p[0]) && p[1] != 0) {
        *width = 2;
        return 0x10000u | (static_cast<unsigned int>(p[0]) << 8) | p[1];
    }
    *width = 1;
    return UpperAscii(p[0]);
}

int CompareUnits(const char* a, const char* b, size_t n) {
    const unsigned char* pa = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(b);
    size_t done = 0;
    while (done < n) {
        size_t wa = 0;
        size_t wb = 0;
        unsigned int ua = ReadUnit(pa, n - done, &wa);
        unsigned int ub = ReadUnit(pb, n - done, &wb);
        if (ua != ub) return ua < ub ? -1 : 1;
        if (ua == 0) return 0;  // both texts ended together
        pa += wa;
        pb += wb;
        done += wa;  // equal units have equal widths
    }
    return 0;
}

// Appends one piece; false when it does not fit with the terminator.
bool Put(char* buffer, size_t capacity, size_t* used, const char* piece, size_t length) {
    if (length >= capacity - *used) return false;
    for (size_t i = 0; i < length; ++i) buffer[*used + i] = piece[i];
    *used += length;
    return true;
}

// Digits of an unsigned number in the given base into a small local buffer,
// written backwards; returns the count.
size_t Digits(unsigned long value, unsigned base, char* out) {
    static const char kHex[] = "0123456789abcdef";
    size_t count = 0;
    do {
        out[count++] = kHex[value % base];
        value /= base;
    } while (value != 0);
    return count;
}

}  // namespace

int CompareNoCase(const char* a, const char* b) { return CompareUnits(a, b, static_cast<size_t>(-1)); }

int CompareNoCaseN(const char* a, const char* b, size_t n) { return CompareUnits(a, b, n); }

int CompareBytesNoCaseN(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        unsigned char ca = UpperAscii(static_cast<unsigned char>(a[i]));
        unsigned char cb = UpperAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
    return 0;
}

size_t TextLength(const char* text) {
    size_t length = 0;
    while (text[length] != 0) ++length;
    return length;
}

bool CopyText(char* buffer, size_t capacity, const char* text) {
    return FormatText(buffer, capacity, "%s", text);
}

bool FormatText(char* buffer, size_t capacity, const char* format, ...) {
    if (capacity == 0) return false;
    va_list args;
    va_start(args, format);
    size_t used = 0;
    bool fits = true;
    for (const char* f = format; fits && *f != 0; ++f) {
        if (*f != '%') {
            fits = Put(buffer, capacity, &used, f, 1);
            continue;
        }
        ++f;
        bool zeroPad = false;
        if (*f == '0') {
            zeroPad = true;
            ++f;
        }
        size_t width = 0;
        while (*f >= '0' && *f <= '9') width = width * 10 + static_cast<size_t>(*f++ - '0');
        char digits[24];
        size_t count = 0;
        bool negative = false;
        switch (*f) {
        case 's': {
            const char* text = va_arg(args, const char*);
            if (text == 0) text = "";
            size_t length = TextLength(text);
            for (size_t pad = length; fits && pad < width; ++pad) fits = Put(buffer, capacity, &used, " ", 1);
            if (fits) fits = Put(buffer, capacity, &used, text, length);
            continue;
        }
        case 'c': {
            char c = static_cast<char>(va_arg(args, int));
            fits = Put(buffer, capacity, &used, &c, 1);
            continue;
        }
        case '%':
            fits = Put(buffer, capacity, &used, "%", 1);
            continue;
        case 'd': {
            long value = va_arg(args, int);
            negative = value < 0;
            unsigned long magnitude = negative ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
            count = Digits(magnitude, 10, digits);
            break;
        }
        case 'u':
            count = Digits(va_arg(args, unsigned int), 10, digits);
            break;
        case 'x':
            count = Digits(va_arg(args, unsigned int), 16, digits);
            break;
        default:
            // An unknown conversion is a fault in the caller's format.
            fits = false;
            continue;
        }
        size_t shown = count + (negative ? 1 : 0);
        if (negative && zeroPad) fits = Put(buffer, capacity, &used, "-", 1);
        for (size_t pad = shown; fits && pad < width; ++pad) fits = Put(buffer, capacity, &used, zeroPad ? "0" : " ", 1);
        if (fits && negative && !zeroPad) fits = Put(buffer, capacity, &used, "-", 1);
        while (fits && count > 0) fits = Put(buffer, capacity, &used, &digits[--count], 1);
    }
    va_end(args);
    if (!fits) {
        buffer[0] = 0;
        return false;
    }
    buffer[used] = 0;
    return true;
}
