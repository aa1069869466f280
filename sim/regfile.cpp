// .reg text into the registry, and keys back out as .reg text.
#include "sim/regfile.h"

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>

#include "sim/codepage.h"
#include "sim/machine.h"

namespace sim {

namespace {

const char kHeader4[] = "REGEDIT4";
const char kHeader5[] = "Windows Registry Editor Version 5.00";

// The units of a file, one character (or UTF-16 unit) each.
struct ByteSource {  // ANSI bytes
    static constexpr bool kWide = false;
    const unsigned char* p;
    size_t n;
    unsigned operator[](size_t i) const { return p[i]; }
};
struct Utf16Source {  // UTF-16LE bytes, read in place
    static constexpr bool kWide = true;
    const unsigned char* p;
    size_t n;  // units
    unsigned operator[](size_t i) const { return p[2 * i] | (p[2 * i + 1] << 8); }
};
struct WideSource {  // UTF-8 decoded to UTF-16
    static constexpr bool kWide = true;
    const char16_t* p;
    size_t n;
    unsigned operator[](size_t i) const { return p[i]; }
};

struct ParseFailure {
    int line;
    int column;
    std::string message;
};

enum class Root { LocalMachine, CurrentUser, ClassesRoot, Users, NotHeld, Unknown };

Root RootOf(std::string_view name) {
    auto is = [&](const char* a, const char* b) {
        return CompareKeyNames(name, a) == 0 || CompareKeyNames(name, b) == 0;
    };
    if (is("HKEY_LOCAL_MACHINE", "HKLM")) return Root::LocalMachine;
    if (is("HKEY_CURRENT_USER", "HKCU")) return Root::CurrentUser;
    if (is("HKEY_CLASSES_ROOT", "HKCR")) return Root::ClassesRoot;
    if (is("HKEY_USERS", "HKU")) return Root::Users;
    // Views and dynamic roots the simulated machine does not keep: their
    // keys are passed over.
    if (is("HKEY_CURRENT_CONFIG", "HKCC") || is("HKEY_DYN_DATA", "HKDD") ||
        is("HKEY_PERFORMANCE_DATA", "HKPD"))
        return Root::NotHeld;
    return Root::Unknown;
}

const char* LongRootName(Root root) {
    switch (root) {
    case Root::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Root::CurrentUser: return "HKEY_CURRENT_USER";
    case Root::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case Root::Users: return "HKEY_USERS";
    default: return "";
    }
}

int HexDigit(unsigned c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

unsigned Lower(unsigned c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

std::string UpperKey(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return out;
}

// What one import works with, shared by its two passes.
struct Context {
    Registry& registry;
    const RegImportOptions& options;
    RegImportStats& stats;
    CodePage codePage;
    RegFormat format = RegFormat::Regedit4;
};

template <class Src>
class Parser {
public:
    Parser(const Src& src, Context& context) : s_(src), n_(src.n), c_(context) {}

    // Reads the text from its start; applies it to the registry when asked.
    void Run(bool apply) {
        apply_ = apply;
        pos_ = lineStart_ = 0;
        line_ = 1;
        state_ = State::None;
        cacheRoot_ = nullptr;
        cacheNames_.clear();
        cacheKeys_.clear();
        Header();
        size_t nextReport = kReportEvery;
        while (pos_ < n_) {
            SkipBlanks();
            if (AtEol(pos_)) {
                if (pos_ >= n_) break;
                NextLine();
                continue;
            }
            unsigned c = s_[pos_];
            if (c == ';') {
                while (!AtEol(pos_)) ++pos_;
            } else if (c == '[') {
                KeyLine();
            } else if (c == '"' || c == '@') {
                ValueLine();
            } else {
                Fail(pos_, "a line holds a [key], a \"name\"=value or @=value, or a ; comment");
            }
            if (pos_ >= n_) break;
            NextLine();
            if (pos_ >= nextReport) {
                nextReport = pos_ + kReportEvery;
                if (c_.options.progress) c_.options.progress((apply ? n_ : 0) + pos_, 2 * n_);
            }
        }
    }

private:
    static constexpr size_t kReportEvery = size_t(1) << 22;
    enum class State { None, Key, Deleted, Skipped };

    bool Blank(unsigned c) const { return c == ' ' || c == '\t'; }
    bool AtEol(size_t i) const {
        if (i >= n_) return true;
        unsigned c = s_[i];
        return c == '\n' || (c == '\r' && (i + 1 >= n_ || s_[i + 1] == '\n'));
    }
    void SkipBlanks() {
        while (pos_ < n_ && Blank(s_[pos_])) ++pos_;
    }
    // From the end of a line to the start of the next.
    void NextLine() {
        if (pos_ < n_ && s_[pos_] == '\r') ++pos_;
        if (pos_ < n_ && s_[pos_] == '\n') ++pos_;
        ++line_;
        lineStart_ = pos_;
    }
    [[noreturn]] void Fail(size_t at, const std::string& message) const {
        throw ParseFailure{line_, static_cast<int>(at - lineStart_ + 1), message};
    }
    void ExpectLineEnd(const char* what) {
        SkipBlanks();
        if (!AtEol(pos_)) Fail(pos_, what);
    }
    // Units [from, to) as ANSI text, appended to out.
    void AppendText(size_t from, size_t to, std::string* out) {
        if constexpr (Src::kWide) {
            wide_.clear();
            for (size_t i = from; i < to; ++i) wide_.push_back(static_cast<char16_t>(s_[i]));
            c_.stats.charactersReplaced += c_.codePage.ToAnsi(wide_, out);
        } else {
            out->append(reinterpret_cast<const char*>(s_.p) + from, to - from);
        }
    }
    bool Matches(size_t at, const char* word) const {
        for (size_t k = 0; word[k] != 0; ++k)
            if (at + k >= n_ || Lower(s_[at + k]) != static_cast<unsigned char>(word[k])) return false;
        return true;
    }

    void Header() {
        size_t end = pos_;
        while (!AtEol(end)) ++end;
        size_t last = end;
        while (last > pos_ && Blank(s_[last - 1])) --last;
        auto is = [&](const char* header) {
            size_t length = std::strlen(header);
            if (last - pos_ != length) return false;
            for (size_t k = 0; k < length; ++k)
                if (s_[pos_ + k] != static_cast<unsigned char>(header[k])) return false;
            return true;
        };
        if (is(kHeader4) || is(kHeader5)) {
            c_.format = is(kHeader5) ? RegFormat::Version5 : RegFormat::Regedit4;
            pos_ = end;
            NextLine();
            return;
        }
        if (c_.options.requireHeader)
            Fail(pos_, "the first line must be REGEDIT4 or Windows Registry Editor Version 5.00");
    }

    void KeyLine() {
        ++pos_;  // '['
        bool remove = pos_ < n_ && s_[pos_] == '-';
        if (remove) ++pos_;
        size_t start = pos_;
        size_t end = start;
        size_t close = n_;
        while (!AtEol(end)) {
            if (s_[end] == ']') close = end;
            ++end;
        }
        if (close == n_) Fail(end, "a key line must end with ']'");
        for (size_t i = close + 1; i < end; ++i)
            if (!Blank(s_[i])) Fail(i, "nothing may follow the ']' of a key line");
        if (close == start) Fail(start, "the key line names no key");
        for (size_t i = start; i + 1 < close; ++i)
            if (s_[i] == '\\' && s_[i + 1] == '\\') Fail(i + 1, "the key path holds an empty name (two backslashes)");
        path_.clear();
        AppendText(start, close, &path_);
        size_t slash = path_.find('\\');
        std::string_view rootName = std::string_view(path_).substr(0, slash);
        std::string_view rest = slash == std::string::npos ? std::string_view() : std::string_view(path_).substr(slash + 1);
        Root root = RootOf(rootName);
        if (root == Root::Unknown) Fail(start, "unknown root key '" + std::string(rootName) + "'");
        if (remove && rest.empty()) Fail(start - 1, "a root key cannot be deleted");
        pos_ = end;
        if (root == Root::NotHeld) {
            state_ = State::Skipped;
            if (apply_) ++c_.stats.keysSkipped;
            return;
        }
        state_ = remove ? State::Deleted : State::Key;
        if (!apply_) return;
        if (remove) {
            ++c_.stats.keysDeleted;
            Key* key = c_.registry.FindPath(path_);
            if (key != nullptr && key->parent != nullptr) key->parent->RemoveSubkey(key);
            cacheRoot_ = nullptr;  // the cached keys may be gone
            cacheNames_.clear();
            cacheKeys_.clear();
            return;
        }
        ++c_.stats.keys;
        NoteRoot(root, rest);
        current_ = Resolve(root, rest);
    }

    // The subtrees the file covers: a key joins the list unless a key
    // already listed holds it.
    void NoteRoot(Root root, std::string_view rest) {
        std::string full = std::string(LongRootName(root)) + (rest.empty() ? "" : "\\") + std::string(rest);
        if (!full.empty() && full.back() == '\\') full.pop_back();
        std::string upper = UpperKey(full);
        for (size_t i = 0; i <= upper.size(); ++i) {
            if (i == upper.size() || upper[i] == '\\') {
                if (rootSet_.count(upper.substr(0, i))) return;
            }
        }
        rootSet_.insert(upper);
        c_.stats.roots.push_back(full);
    }

    // The key of a path, created where missing. Consecutive keys of a file
    // share most of their path, so the keys of the last path are kept.
    Key* Resolve(Root root, std::string_view rest) {
        Key* base = nullptr;
        switch (root) {
        case Root::LocalMachine: base = c_.registry.localMachine.get(); break;
        case Root::CurrentUser: base = c_.registry.currentUser.get(); break;
        case Root::Users: base = c_.registry.users.get(); break;
        case Root::ClassesRoot: base = c_.registry.CreatePath("HKEY_CLASSES_ROOT"); break;
        default: break;
        }
        if (base != cacheRoot_) {
            cacheRoot_ = base;
            cacheNames_.clear();
            cacheKeys_.clear();
        }
        SplitRegistryPath(rest, &parts_);
        size_t common = 0;
        while (common < parts_.size() && common < cacheNames_.size() &&
               CompareKeyNames(parts_[common], cacheNames_[common]) == 0)
            ++common;
        cacheNames_.resize(common);
        cacheKeys_.resize(common);
        Key* key = common ? cacheKeys_.back() : base;
        for (size_t i = common; i < parts_.size(); ++i) {
            key = key->AddSubkey(parts_[i]);
            cacheNames_.emplace_back(parts_[i]);
            cacheKeys_.push_back(key);
        }
        return key;
    }

    // A quoted text with its \\ and \" escapes; pos_ is at the opening quote.
    void QuotedText(std::string* out, const char* what) {
        size_t open = pos_;
        ++pos_;
        out->clear();
        size_t run = pos_;
        for (;;) {
            if (AtEol(pos_)) Fail(open, std::string(what) + " has no closing quote");
            unsigned c = s_[pos_];
            if (c == '"') {
                AppendText(run, pos_, out);
                ++pos_;
                return;
            }
            if (c == '\\') {
                AppendText(run, pos_, out);
                // Wine's regedit writes a line break inside a text as \r and \n;
                // it drops the backslash of any other escape, which would
                // quietly turn C:\Windows into C:Windows: that is refused here.
                unsigned next = pos_ + 1 < n_ ? s_[pos_ + 1] : 0;
                if (next != '\\' && next != '"' && next != 'n' && next != 'r')
                    Fail(pos_, "unknown escape in a quoted text: only \\\\, \\\", \\n and \\r are escapes "
                               "(write \\\\ for one backslash)");
                out->push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : static_cast<char>(next));
                pos_ += 2;
                run = pos_;
                continue;
            }
            ++pos_;
        }
    }

    void ValueLine() {
        if (state_ == State::None) Fail(pos_, "a value line before the first [key] line");
        if (state_ == State::Deleted) Fail(pos_, "a value line after a [-key] line: that key is deleted");
        if (s_[pos_] == '@') {
            name_.clear();
            ++pos_;
        } else {
            QuotedText(&name_, "the value name");
        }
        SkipBlanks();
        if (pos_ >= n_ || s_[pos_] != '=') Fail(pos_, "'=' expected after the value name");
        ++pos_;
        SkipBlanks();
        if (AtEol(pos_)) Fail(pos_, "the value has no data after '='");
        unsigned c = s_[pos_];
        DWORD type = REG_SZ;
        data_.clear();
        if (c == '-') {
            ++pos_;
            ExpectLineEnd("nothing may follow '=-'");
            if (apply_ && state_ == State::Key) {
                ++c_.stats.valuesDeleted;
                current_->RemoveValue(name_);
            }
            return;
        }
        if (c == '"') {
            QuotedText(&text_, "the text");
            ExpectLineEnd("nothing may follow the closing quote of the text");
            data_.assign(text_.begin(), text_.end());
            data_.push_back(0);
        } else if (Matches(pos_, "dword:")) {
            pos_ += 6;
            size_t start = pos_;
            uint32_t number = 0;
            while (pos_ < n_ && HexDigit(s_[pos_]) >= 0) {
                if (pos_ - start == 8) Fail(pos_, "dword: takes at most eight hexadecimal digits");
                number = number * 16 + static_cast<uint32_t>(HexDigit(s_[pos_]));
                ++pos_;
            }
            if (pos_ == start) Fail(pos_, "dword: needs one to eight hexadecimal digits");
            ExpectLineEnd("dword: takes hexadecimal digits only");
            type = REG_DWORD;
            for (int b = 0; b < 4; ++b) data_.push_back(static_cast<uint8_t>(number >> (8 * b)));
        } else if (Matches(pos_, "hex")) {
            pos_ += 3;
            type = REG_BINARY;
            if (pos_ < n_ && s_[pos_] == '(') {
                size_t open = pos_;
                ++pos_;
                size_t start = pos_;
                uint32_t number = 0;
                while (pos_ < n_ && HexDigit(s_[pos_]) >= 0) {
                    if (pos_ - start == 8) Fail(pos_, "hex(N): N has at most eight hexadecimal digits");
                    number = number * 16 + static_cast<uint32_t>(HexDigit(s_[pos_]));
                    ++pos_;
                }
                if (pos_ == start) Fail(pos_, "hex(N): N must be a hexadecimal type number");
                if (pos_ >= n_ || s_[pos_] != ')') Fail(open, "hex( has no closing ')'");
                ++pos_;
                type = number;
            }
            if (pos_ >= n_ || s_[pos_] != ':') Fail(pos_, "':' expected after hex");
            ++pos_;
            HexList();
            // Version 5 files hold the texts of these types as UTF-16LE.
            if (c_.format == RegFormat::Version5 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ))
                NarrowData();
        } else {
            Fail(pos_, "unknown data: expected \"text\", dword:, hex:, hex(N): or -");
        }
        if (apply_ && state_ == State::Key) {
            ++c_.stats.values;
            current_->SetValue(name_, type, data_.data(), data_.size());
        }
    }

    // Comma-separated byte pairs; a '\' at the end of a line continues the
    // list on the next, whose leading blanks are not data.
    void HexList() {
        bool expectByte = true;
        bool afterComma = false;
        for (;;) {
            SkipBlanks();
            if (pos_ < n_ && s_[pos_] == '\\') {
                size_t slash = pos_;
                ++pos_;
                SkipBlanks();
                if (!AtEol(pos_)) Fail(slash, "'\\' continues a line only at its end");
                if (pos_ >= n_) Fail(slash, "the file ends after a '\\' that continues the line");
                NextLine();
                continue;
            }
            if (AtEol(pos_)) {
                if (afterComma) Fail(pos_, "a byte is expected after ','");
                return;
            }
            if (!expectByte) {
                if (s_[pos_] != ',') Fail(pos_, "',' expected between bytes");
                ++pos_;
                expectByte = true;
                afterComma = true;
                continue;
            }
            int high = HexDigit(s_[pos_]);
            int low = pos_ + 1 < n_ ? HexDigit(s_[pos_ + 1]) : -1;
            if (high < 0 || low < 0) Fail(pos_, "a byte of two hexadecimal digits expected");
            data_.push_back(static_cast<uint8_t>(high * 16 + low));
            pos_ += 2;
            expectByte = false;
            afterComma = false;
        }
    }

    // UTF-16LE data to the code page, as the A functions return it.
    void NarrowData() {
        if (!apply_) return;
        wide_.clear();
        for (size_t i = 0; i + 1 < data_.size(); i += 2)
            wide_.push_back(static_cast<char16_t>(data_[i] | (data_[i + 1] << 8)));
        bool odd = data_.size() % 2 != 0;
        uint8_t last = odd ? data_.back() : 0;
        text_.clear();
        c_.stats.charactersReplaced += c_.codePage.ToAnsi(wide_, &text_);
        data_.assign(text_.begin(), text_.end());
        if (odd) data_.push_back(last);
    }

    const Src& s_;
    size_t n_;
    Context& c_;
    bool apply_ = false;
    size_t pos_ = 0;
    size_t lineStart_ = 0;
    int line_ = 1;
    State state_ = State::None;
    Key* current_ = nullptr;
    // Reused buffers.
    std::string path_, name_, text_;
    std::vector<uint8_t> data_;
    std::u16string wide_;
    std::vector<std::string_view> parts_;
    // The keys of the last path.
    Key* cacheRoot_ = nullptr;
    std::vector<std::string> cacheNames_;
    std::vector<Key*> cacheKeys_;
    std::set<std::string> rootSet_;
};

template <class Src>
void ParseAndApply(const Src& src, Context& context) {
    Parser<Src> parser(src, context);
    parser.Run(false);  // the whole text first: an error changes nothing
    const char* encoding = context.stats.encoding;
    context.stats = RegImportStats{};
    context.stats.encoding = encoding;
    context.stats.format = context.format;
    parser.Run(true);
}

// Line and column of a byte offset in a UTF-8 text.
ParseFailure PositionOf(std::string_view text, size_t offset, const std::string& message) {
    int line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < offset; ++i)
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    int column = 1;
    for (size_t i = lineStart; i < offset; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
    return ParseFailure{line, column, message};
}

bool FirstLineIsVersion5(std::string_view text) {
    return text.substr(0, sizeof kHeader5 - 1) == kHeader5;
}

}  // namespace

bool ImportReg(Registry& registry, std::string_view bytes, const RegImportOptions& options,
               RegImportStats* stats, RegError* error) {
    RegImportStats local;
    RegImportStats& st = stats ? *stats : local;
    st = RegImportStats{};
    Context context{registry, options, st, CodePage(options.codePage)};
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    try {
        if (bytes.size() >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
            if (bytes.size() % 2 != 0)
                throw ParseFailure{1, 1, "the file begins as UTF-16 but holds an odd number of bytes"};
            st.encoding = "UTF-16LE";
            ParseAndApply(Utf16Source{p + 2, (bytes.size() - 2) / 2}, context);
        } else if (bytes.size() >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
            throw ParseFailure{1, 1, "UTF-16 big-endian is not a .reg encoding (regedit writes UTF-16LE)"};
        } else {
            bool bom = bytes.size() >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF;
            std::string_view text = bom ? bytes.substr(3) : bytes;
            bool ascii = true;
            for (unsigned char c : text)
                if (c >= 0x80) {
                    ascii = false;
                    break;
                }
            // Without a mark, a version 5 text is UTF-8 when it reads as UTF-8.
            std::u16string wide;
            size_t bad = 0;
            bool utf8 = false;
            if (bom) {
                if (!Utf8ToUtf16(text, &wide, &bad)) throw PositionOf(text, bad, "the text is not well-formed UTF-8");
                utf8 = true;
            } else if (!options.bytesAreAnsi && !ascii && FirstLineIsVersion5(text)) {
                utf8 = Utf8ToUtf16(text, &wide, &bad);
            }
            if (utf8) {
                st.encoding = "UTF-8";
                ParseAndApply(WideSource{wide.data(), wide.size()}, context);
            } else {
                st.encoding = ascii ? "ASCII" : "ANSI";
                ParseAndApply(ByteSource{reinterpret_cast<const unsigned char*>(text.data()), text.size()}, context);
            }
        }
    } catch (const ParseFailure& failure) {
        if (error != nullptr) *error = RegError{failure.line, failure.column, failure.message};
        return false;
    }
    return true;
}

void Machine::LoadReg(std::string_view text) {
    RegImportOptions options;
    options.codePage = codePage;
    options.requireHeader = false;
    options.bytesAreAnsi = true;
    RegError error;
    if (!ImportReg(registry, text, options, nullptr, &error)) {
        std::ostringstream out;
        out << "line " << error.line << ", column " << error.column << ": " << error.message;
        throw std::runtime_error(out.str());
    }
}

// ---------------------------------------------------------------- writing

RegWriter::RegWriter(RegFormat format, unsigned codePage) : format_(format), cp_(codePage) {
    if (format == RegFormat::Version5) out_ = "\xFF\xFE";
    Ascii(format == RegFormat::Version5 ? kHeader5 : kHeader4);
    Ascii("\r\n");
}

void RegWriter::Ascii(std::string_view text) {
    if (format_ == RegFormat::Regedit4) {
        out_.append(text);
        return;
    }
    for (char c : text) {
        out_.push_back(c);
        out_.push_back('\0');
    }
}

void RegWriter::Wide(std::u16string_view text) {
    for (char16_t c : text) {
        if (c == 0xFFFD) ++replaced_;
        out_.push_back(static_cast<char>(c & 0xFF));
        out_.push_back(static_cast<char>(c >> 8));
    }
}

size_t RegWriter::Ansi(std::string_view text) {
    if (format_ == RegFormat::Regedit4) {
        out_.append(text);
        return text.size();
    }
    bool ascii = true;
    for (unsigned char c : text)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii) {
        Ascii(text);
        return text.size();
    }
    scratch_.clear();
    cp_.ToWide(text, &scratch_);
    Wide(scratch_);
    return scratch_.size();
}

// A value name may hold a line break, which a line cannot: it is written as
// \r or \n, the escapes the reader takes (as Wine's regedit writes them).
size_t RegWriter::Escaped(std::string_view text) {
    size_t written = 0;
    size_t run = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* escape = text[i] == '\\' ? "\\\\"
                             : text[i] == '"'  ? "\\\""
                             : text[i] == '\n' ? "\\n"
                             : text[i] == '\r' ? "\\r"
                                                : nullptr;
        if (escape != nullptr) {
            written += Ansi(text.substr(run, i - run));
            Ascii(escape);
            written += 2;
            run = i + 1;
        }
    }
    return written + Ansi(text.substr(run));
}

void RegWriter::Key(std::string_view path) {
    Ascii("\r\n[");
    Ansi(path);
    Ascii("]\r\n");
}

void RegWriter::DeletedKey(std::string_view path) {
    Ascii("\r\n[-");
    Ansi(path);
    Ascii("]\r\n");
}

void RegWriter::DeletedValue(std::string_view name) {
    if (name.empty()) {
        Ascii("@=-\r\n");
        return;
    }
    Ascii("\"");
    Escaped(name);
    Ascii("\"=-\r\n");
}

namespace {

// A REG_SZ that regedit writes as a quoted text: one terminating zero and
// nothing a line could not hold.
bool QuotableText(const Value& v) {
    if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
    for (size_t i = 0; i + 1 < v.data.size(); ++i)
        if (v.data[i] == 0 || v.data[i] == '\r' || v.data[i] == '\n') return false;
    return true;
}

}  // namespace

void RegWriter::Value(const sim::Value& v) {
    size_t column;
    if (v.name.empty()) {
        Ascii("@=");
        column = 2;
    } else {
        Ascii("\"");
        column = Escaped(v.name) + 3;
        Ascii("\"=");
    }
    if (QuotableText(v)) {
        Ascii("\"");
        Escaped(std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
        Ascii("\"\r\n");
        return;
    }
    char buffer[24];
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t number = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        std::snprintf(buffer, sizeof buffer, "dword:%08x\r\n", number);
        Ascii(buffer);
        return;
    }
    if (v.type == REG_BINARY)
        std::snprintf(buffer, sizeof buffer, "hex:");
    else
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(v.type));
    Ascii(buffer);
    column += std::strlen(buffer);
    const std::vector<uint8_t>* bytes = &v.data;
    std::vector<uint8_t> utf16;
    if (format_ == RegFormat::Version5 && (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ)) {
        scratch_.clear();
        std::string_view text(reinterpret_cast<const char*>(v.data.data()), v.data.size());
        cp_.ToWide(text, &scratch_);
        utf16.reserve(scratch_.size() * 2);
        for (char16_t c : scratch_) {
            if (c == 0xFFFD) ++replaced_;
            utf16.push_back(static_cast<uint8_t>(c & 0xFF));
            utf16.push_back(static_cast<uint8_t>(c >> 8));
        }
        bytes = &utf16;
    }
    static const char kDigits[] = "0123456789abcdef";
    char pair[3] = {0, 0, ','};
    for (size_t i = 0; i < bytes->size(); ++i) {
        pair[0] = kDigits[(*bytes)[i] >> 4];
        pair[1] = kDigits[(*bytes)[i] & 15];
        if (i + 1 == bytes->size()) {
            Ascii(std::string_view(pair, 2));
            break;
        }
        Ascii(std::string_view(pair, 3));
        column += 3;
        // regedit ends a line once it holds 77 characters or more.
        if (column >= 77) {
            Ascii("\\\r\n  ");
            column = 2;
        }
    }
    Ascii("\r\n");
}

namespace {

// A key at its written path, then every key below it in enumeration order.
void WriteSubtree(RegWriter& writer, const sim::Key* key, std::string& path) {
    writer.Key(path);
    for (const sim::Value& v : key->values) writer.Value(v);
    for (auto& sub : key->subkeys) {
        size_t length = path.size();
        path += '\\';
        path += sub->name;
        WriteSubtree(writer, sub.get(), path);
        path.resize(length);
    }
}

}  // namespace

void RegWriter::Subtree(const Registry& registry, const sim::Key* key) {
    std::string path = registry.PathOf(key);
    WriteSubtree(*this, key, path);
}

std::string RegWriter::Finish() {
    Ascii("\r\n");
    return std::move(out_);
}

namespace {

// The key of a full path and the path written with the long root name and
// the keys' own names; false when there is no such key.
bool ExportPath(const Registry& registry, std::string_view full, const Key** key, std::string* written) {
    size_t slash = full.find('\\');
    std::string_view rootName = full.substr(0, slash);
    Root root = RootOf(rootName);
    if (root == Root::Unknown || root == Root::NotHeld) return false;
    const Key* base = registry.RootByName(rootName);
    const Key* found = registry.FindPath(full);
    if (base == nullptr || found == nullptr) return false;
    std::vector<const Key*> chain;
    for (const Key* k = found; k != base; k = k->parent) chain.push_back(k);
    *written = LongRootName(root);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) *written += "\\" + (*it)->name;
    *key = found;
    return true;
}

}  // namespace

std::string ExportReg(const Registry& registry, const std::vector<std::string>& paths, RegFormat format,
                      unsigned codePage) {
    RegWriter writer(format, codePage);
    for (const std::string& full : paths) {
        const Key* key = nullptr;
        std::string written;
        if (!ExportPath(registry, full, &key, &written)) continue;
        WriteSubtree(writer, key, written);
    }
    return writer.Finish();
}

std::string ExportAll(const Registry& registry, RegFormat format, unsigned codePage) {
    RegWriter writer(format, codePage);
    writer.Subtree(registry, registry.localMachine.get());
    for (const Key* root : {registry.currentUser.get(), registry.users.get()})
        if (!root->subkeys.empty() || !root->values.empty()) writer.Subtree(registry, root);
    return writer.Finish();
}

// ------------------------------------------------------- Machine::Dump

namespace {

std::string EscapeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

void DumpKey(const Registry& registry, const Key* key, std::string& out) {
    out += "[" + registry.PathOf(key) + "]\n";
    for (const Value& v : key->values) {
        out += v.name.empty() ? std::string("@") : "\"" + EscapeText(v.name) + "\"";
        out += "=";
        bool plainText = v.type == REG_SZ && !v.data.empty() && v.data.back() == 0;
        for (size_t i = 0; plainText && i + 1 < v.data.size(); ++i)
            if (v.data[i] == 0) plainText = false;
        if (plainText) {
            out += "\"" + EscapeText(std::string(v.data.begin(), v.data.end() - 1)) + "\"";
        } else if (v.type == REG_DWORD && v.data.size() == 4) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "dword:%08x",
                          v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<unsigned>(v.data[3]) << 24));
            out += buf;
        } else {
            char buf[16];
            if (v.type == REG_BINARY) {
                out += "hex:";
            } else {
                std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
                out += buf;
            }
            for (size_t i = 0; i < v.data.size(); ++i) {
                std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.data[i]);
                out += buf;
            }
        }
        out += "\n";
    }
    for (auto& sub : key->subkeys) {
        out += "\n";
        DumpKey(registry, sub.get(), out);
    }
}

}  // namespace

std::string Machine::Dump(std::string_view path) const {
    const Key* key = registry.FindPath(path);
    if (key == nullptr) return "";
    std::string out;
    DumpKey(registry, key, out);
    return out;
}

}  // namespace sim
