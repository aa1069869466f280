// ANSI code pages of the simulated machine: the bytes the A functions see,
// and their Unicode form in version 5 .reg files and in the tool's output.
//
// 1252 is built in (its five unassigned bytes map to the C1 controls of the
// same number, as Windows does, so every byte survives a round trip). Other
// code pages (932, 936, 949, 950, 125x ...) go through the C library's iconv.
#ifndef PX714SUP_SIM_CODEPAGE_H
#define PX714SUP_SIM_CODEPAGE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace sim {

class CodePage {
public:
    // A code page by its Windows number; Known() tells whether it converts.
    explicit CodePage(unsigned number);
    unsigned number() const { return number_; }
    bool Known() const { return known_; }

    // ANSI bytes to UTF-16, appended to out. A byte sequence the code page
    // does not define becomes U+FFFD.
    void ToWide(std::string_view ansi, std::u16string* out) const;
    // UTF-16 to ANSI bytes, appended to out. A character the code page cannot
    // hold becomes '?', as the A functions show it; returns how many did.
    size_t ToAnsi(std::u16string_view wide, std::string* out) const;

    // Convenience: ANSI bytes as UTF-8, for terminals and JSON.
    std::string ToUtf8(std::string_view ansi) const;
    // UTF-8 text to ANSI bytes; false when the text is not UTF-8 or holds a
    // character the code page cannot hold (out then holds '?' for it).
    bool FromUtf8(std::string_view utf8, std::string* out) const;

private:
    unsigned number_;
    bool known_;
};

// UTF-8 <-> UTF-16. Utf8ToUtf16 returns false at the first byte that is not
// well-formed UTF-8 and sets *badOffset to it.
bool Utf8ToUtf16(std::string_view utf8, std::u16string* out, size_t* badOffset);
void AppendUtf8(std::u16string_view wide, std::string* out);

}  // namespace sim

#endif  // PX714SUP_SIM_CODEPAGE_H
