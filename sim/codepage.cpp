#include "sim/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace sim {

namespace {

// 0x80 to 0x9F of code page 1252; the unassigned 81, 8D, 8F, 90 and 9D map
// to the C1 control of the same number.
const char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int From1252(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
    for (int i = 0; i < 32; ++i)
        if (k1252High[i] == c) return 0x80 + i;
    return -1;
}

// One pair of iconv descriptors per code page, opened once for the process.
struct Converters {
    iconv_t toWide = reinterpret_cast<iconv_t>(-1);
    iconv_t toAnsi = reinterpret_cast<iconv_t>(-1);
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        if (toWide != reinterpret_cast<iconv_t>(-1)) iconv_close(toWide);
        if (toAnsi != reinterpret_cast<iconv_t>(-1)) iconv_close(toAnsi);
    }
    bool ok() const { return toWide != reinterpret_cast<iconv_t>(-1) && toAnsi != reinterpret_cast<iconv_t>(-1); }
};

std::mutex g_convertersLock;

Converters* ConvertersFor(unsigned number) {
    static std::map<unsigned, std::unique_ptr<Converters>> all;
    std::lock_guard<std::mutex> lock(g_convertersLock);
    auto it = all.find(number);
    if (it != all.end()) return it->second.get();
    auto c = std::make_unique<Converters>();
    char name[16];
    std::snprintf(name, sizeof name, "CP%u", number);
    c->toWide = iconv_open("UTF-16LE", name);
    c->toAnsi = iconv_open(name, "UTF-16LE");
    return (all[number] = std::move(c)).get();
}

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

bool IsAscii(std::u16string_view s) {
    for (char16_t c : s)
        if (c >= 0x80) return false;
    return true;
}

}  // namespace

CodePage::CodePage(unsigned number) : number_(number) {
    known_ = number == 1252 || ConvertersFor(number)->ok();
}

void CodePage::ToWide(std::string_view ansi, std::u16string* out) const {
    if (number_ == 1252 || IsAscii(ansi) || !known_) {
        out->reserve(out->size() + ansi.size());
        for (unsigned char c : ansi)
            out->push_back(c < 0x80 || c >= 0xA0 ? c : k1252High[c - 0x80]);
        return;
    }
    Converters* conv = ConvertersFor(number_);
    std::lock_guard<std::mutex> lock(g_convertersLock);
    iconv(conv->toWide, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(ansi.data());
    size_t inLeft = ansi.size();
    std::string buffer(ansi.size() * 2 + 8, '\0');
    while (inLeft > 0) {
        char* o = &buffer[0];
        size_t oLeft = buffer.size();
        size_t r = iconv(conv->toWide, &in, &inLeft, &o, &oLeft);
        size_t produced = buffer.size() - oLeft;
        for (size_t i = 0; i + 1 < produced; i += 2)
            out->push_back(static_cast<char16_t>(static_cast<unsigned char>(buffer[i]) |
                                                 (static_cast<unsigned char>(buffer[i + 1]) << 8)));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An undefined or cut-off byte sequence: one replacement, one byte on.
            out->push_back(0xFFFD);
            ++in;
            --inLeft;
            iconv(conv->toWide, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

size_t CodePage::ToAnsi(std::u16string_view wide, std::string* out) const {
    size_t replaced = 0;
    if (number_ == 1252 || IsAscii(wide) || !known_) {
        out->reserve(out->size() + wide.size());
        for (size_t i = 0; i < wide.size(); ++i) {
            char16_t c = wide[i];
            int b = c < 0x80 ? c : From1252(c);
            if (b < 0) {
                ++replaced;
                b = '?';
                if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) ++i;
            }
            out->push_back(static_cast<char>(b));
        }
        return replaced;
    }
    Converters* conv = ConvertersFor(number_);
    std::lock_guard<std::mutex> lock(g_convertersLock);
    iconv(conv->toAnsi, nullptr, nullptr, nullptr, nullptr);
    std::string bytes(wide.size() * 2, '\0');
    for (size_t i = 0; i < wide.size(); ++i) {
        bytes[2 * i] = static_cast<char>(wide[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(wide[i] >> 8);
    }
    char* in = &bytes[0];
    size_t inLeft = bytes.size();
    std::string buffer(wide.size() * 4 + 8, '\0');
    while (inLeft > 0) {
        char* o = &buffer[0];
        size_t oLeft = buffer.size();
        size_t r = iconv(conv->toAnsi, &in, &inLeft, &o, &oLeft);
        out->append(buffer.data(), buffer.size() - oLeft);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            out->push_back('?');
            ++replaced;
            size_t skip = 2;
            unsigned unit = static_cast<unsigned char>(in[0]) | (inLeft > 1 ? static_cast<unsigned char>(in[1]) << 8 : 0);
            if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) skip = 4;
            if (skip > inLeft) skip = inLeft;
            in += skip;
            inLeft -= skip;
            iconv(conv->toAnsi, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return replaced;
}

std::string CodePage::ToUtf8(std::string_view ansi) const {
    std::string out;
    if (IsAscii(ansi)) return std::string(ansi);
    std::u16string wide;
    ToWide(ansi, &wide);
    AppendUtf8(wide, &out);
    return out;
}

bool CodePage::FromUtf8(std::string_view utf8, std::string* out) const {
    std::u16string wide;
    size_t bad = 0;
    if (!Utf8ToUtf16(utf8, &wide, &bad)) return false;
    return ToAnsi(wide, out) == 0;
}

bool Utf8ToUtf16(std::string_view s, std::u16string* out, size_t* badOffset) {
    out->reserve(out->size() + s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out->push_back(c);
            ++i;
            continue;
        }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
            *badOffset = i;
            return false;
        }
        unsigned cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) {
                *badOffset = i;
                return false;
            }
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            *badOffset = i;
            return false;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(cp));
        }
        i += extra + 1;
    }
    return true;
}

void AppendUtf8(std::u16string_view w, std::string* out) {
    for (size_t i = 0; i < w.size(); ++i) {
        unsigned cp = w[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;  // a lone surrogate
        }
        if (cp < 0x80) {
            out->push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
}

}  // namespace sim
