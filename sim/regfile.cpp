// .reg text into the registry, and a subtree back out as .reg text.
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "sim/machine.h"

namespace sim {

namespace {

struct Cursor {
    std::string_view text;
    size_t pos = 0;
    int line = 1;
    size_t lineStart = 0;
    [[noreturn]] void Fail(const std::string& what) const {
        std::ostringstream out;
        out << "line " << line << ", column " << (pos - lineStart + 1) << ": " << what;
        throw std::runtime_error(out.str());
    }
};

// One logical line: a physical line, joined with the next ones while it ends
// with a backslash after a hex list's comma. Comment lines start with ';'.
bool NextLine(Cursor& c, std::string& out, int* lineNumber) {
    out.clear();
    if (c.pos >= c.text.size()) return false;
    *lineNumber = c.line;
    while (c.pos < c.text.size()) {
        size_t end = c.text.find('\n', c.pos);
        if (end == std::string_view::npos) end = c.text.size();
        std::string_view physical = c.text.substr(c.pos, end - c.pos);
        if (!physical.empty() && physical.back() == '\r') physical.remove_suffix(1);
        c.pos = end + 1;
        ++c.line;
        c.lineStart = c.pos;
        std::string_view trimmed = physical;
        while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
        if (!out.empty()) physical = trimmed;  // a continuation's indent is not data
        if (!physical.empty() && physical.back() == '\\') {
            out.append(physical.substr(0, physical.size() - 1));
            continue;
        }
        out.append(physical);
        return true;
    }
    return true;
}

[[noreturn]] void Fail(int line, size_t column, const std::string& what) {
    std::ostringstream out;
    out << "line " << line << ", column " << column << ": " << what;
    throw std::runtime_error(out.str());
}

std::vector<uint8_t> NarrowUtf16(const std::vector<uint8_t>& wide) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        unsigned unit = wide[i] | (wide[i + 1] << 8);
        out.push_back(unit < 0x100 ? static_cast<uint8_t>(unit) : '?');
    }
    return out;
}

struct Pending {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    std::string path;
    Value value;
};

std::string EscapeText(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

void Machine::LoadReg(std::string_view text) {
    Cursor c{text};
    if (text.size() >= 3 && static_cast<unsigned char>(text[0]) == 0xEF &&
        static_cast<unsigned char>(text[1]) == 0xBB && static_cast<unsigned char>(text[2]) == 0xBF)
        c.pos = c.lineStart = 3;
    bool version5 = false;
    std::vector<Pending> work;
    std::string currentKey;
    std::string line;
    int number = 0;
    bool first = true;
    while (NextLine(c, line, &number)) {
        std::string_view l = line;
        while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
        while (!l.empty() && (l.back() == ' ' || l.back() == '\t')) l.remove_suffix(1);
        if (first && !l.empty()) {
            first = false;
            if (l == "REGEDIT4") continue;
            if (l == "Windows Registry Editor Version 5.00") {
                version5 = true;
                continue;
            }
        }
        if (l.empty() || l.front() == ';') continue;
        if (l.front() == '[') {
            if (l.back() != ']') Fail(number, line.size() + 1, "a key line must end with ']'");
            std::string_view path = l.substr(1, l.size() - 2);
            bool remove = !path.empty() && path.front() == '-';
            if (remove) path.remove_prefix(1);
            std::vector<std::string_view> parts;
            size_t slash = path.find('\\');
            std::string_view root = path.substr(0, slash);
            if (registry.RootByName(root) == nullptr &&
                !(CompareKeyNames(root, "HKEY_CLASSES_ROOT") == 0 || CompareKeyNames(root, "HKCR") == 0))
                Fail(number, 2, "unknown root key '" + std::string(root) + "'");
            if (slash != std::string_view::npos && !SplitRegistryPath(path.substr(slash + 1), &parts))
                Fail(number, 2, "a key path must not hold an empty name");
            currentKey = std::string(path);
            work.push_back({remove ? Pending::DeleteKey : Pending::CreateKey, currentKey, {}});
            if (remove) currentKey.clear();
            continue;
        }
        if (currentKey.empty()) Fail(number, 1, "a value line outside a key");
        // The value name: @ or a quoted text.
        size_t i = 0;
        Value v;
        if (l[0] == '@') {
            i = 1;
        } else if (l[0] == '"') {
            i = 1;
            std::string name;
            for (;; ++i) {
                if (i >= l.size()) Fail(number, i + 1, "the value name has no closing quote");
                if (l[i] == '\\' && i + 1 < l.size()) {
                    name += l[++i];
                    continue;
                }
                if (l[i] == '"') break;
                name += l[i];
            }
            ++i;
            v.name = name;
        } else {
            Fail(number, 1, "a value line must start with '\"' or '@'");
        }
        if (i >= l.size() || l[i] != '=') Fail(number, i + 1, "'=' expected after the value name");
        std::string_view data = l.substr(i + 1);
        size_t column = i + 2;
        if (data == "-") {
            work.push_back({Pending::DeleteValue, currentKey, v});
            continue;
        }
        if (!data.empty() && data.front() == '"') {
            std::string s;
            size_t j = 1;
            for (;; ++j) {
                if (j >= data.size()) Fail(number, column + j, "the text has no closing quote");
                if (data[j] == '\\' && j + 1 < data.size()) {
                    s += data[++j];
                    continue;
                }
                if (data[j] == '"') break;
                s += data[j];
            }
            if (j + 1 != data.size()) Fail(number, column + j + 1, "nothing may follow the closing quote");
            v.type = REG_SZ;
            v.data.assign(s.begin(), s.end());
            v.data.push_back(0);
        } else if (data.substr(0, 6) == "dword:") {
            std::string_view digits = data.substr(6);
            if (digits.size() != 8) Fail(number, column + 6, "dword: takes eight hexadecimal digits");
            uint32_t value = 0;
            for (size_t j = 0; j < 8; ++j) {
                char ch = digits[j];
                int d = (ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10 : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : -1;
                if (d < 0) Fail(number, column + 6 + j, "not a hexadecimal digit");
                value = value * 16 + static_cast<uint32_t>(d);
            }
            v.type = REG_DWORD;
            for (int b = 0; b < 4; ++b) v.data.push_back(static_cast<uint8_t>(value >> (8 * b)));
        } else if (data.substr(0, 3) == "hex") {
            size_t j = 3;
            v.type = REG_BINARY;
            if (j < data.size() && data[j] == '(') {
                size_t close = data.find(')', j);
                if (close == std::string_view::npos) Fail(number, column + j, "hex( needs ')'");
                std::string typeText(data.substr(j + 1, close - j - 1));
                char* end = nullptr;
                unsigned long t = std::strtoul(typeText.c_str(), &end, 16);
                if (typeText.empty() || *end != 0) Fail(number, column + j + 1, "hex(N): N must be hexadecimal");
                v.type = static_cast<DWORD>(t);
                j = close + 1;
            }
            if (j >= data.size() || data[j] != ':') Fail(number, column + j, "':' expected after hex");
            ++j;
            while (j < data.size()) {
                while (j < data.size() && (data[j] == ' ' || data[j] == '\t')) ++j;
                if (j >= data.size()) break;
                auto hexDigit = [](char ch) {
                    return (ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10 : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : -1;
                };
                if (j + 1 >= data.size() || hexDigit(data[j]) < 0 || hexDigit(data[j + 1]) < 0)
                    Fail(number, column + j, "two hexadecimal digits expected");
                v.data.push_back(static_cast<uint8_t>(hexDigit(data[j]) * 16 + hexDigit(data[j + 1])));
                j += 2;
                while (j < data.size() && (data[j] == ' ' || data[j] == '\t')) ++j;
                if (j < data.size()) {
                    if (data[j] != ',') Fail(number, column + j, "',' expected between bytes");
                    ++j;
                }
            }
            if (version5 && (v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ))
                v.data = NarrowUtf16(v.data);
        } else {
            Fail(number, column, "unknown value form");
        }
        work.push_back({Pending::SetValue, currentKey, v});
    }
    // Nothing changes unless the whole text was read.
    for (auto& w : work) {
        switch (w.kind) {
        case Pending::CreateKey:
            if (registry.CreatePath(w.path) == nullptr) throw std::runtime_error("cannot create " + w.path);
            break;
        case Pending::DeleteKey:
            if (Key* k = registry.FindPath(w.path); k != nullptr && k->parent != nullptr) k->parent->RemoveSubkey(k);
            break;
        case Pending::SetValue:
            registry.CreatePath(w.path)->SetValue(w.value.name, w.value.type, w.value.data.data(), w.value.data.size());
            break;
        case Pending::DeleteValue:
            if (Key* k = registry.FindPath(w.path)) k->RemoveValue(w.value.name);
            break;
        }
    }
}

namespace {

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
