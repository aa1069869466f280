#include "sim/infstore.h"

#include <cstdio>

#include "sim/registry.h"

namespace sim {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Reads decimal numbers separated by sep into out (at most count); returns
// how many were read before the text ended or held something else.
size_t ReadNumbers(std::string_view text, char sep, unsigned* out, size_t count) {
    size_t read = 0;
    size_t pos = 0;
    while (read < count && pos < text.size()) {
        size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') value = value * 10 + (text[pos++] - '0');
        if (pos == start) break;
        out[read++] = value;
        if (pos < text.size() && text[pos] != sep) break;
        ++pos;
    }
    return read;
}

}  // namespace

int DriverVersion::Compare(const DriverVersion& o) const {
    const unsigned mine[] = {year, month, day, parts[0], parts[1], parts[2], parts[3]};
    const unsigned theirs[] = {o.year, o.month, o.day, o.parts[0], o.parts[1], o.parts[2], o.parts[3]};
    for (size_t i = 0; i < 7; ++i)
        if (mine[i] != theirs[i]) return mine[i] < theirs[i] ? -1 : 1;
    return 0;
}

void InfStore::AddSource(std::string_view path, std::string_view text) { sources_[std::string(path)] = std::string(text); }

void InfStore::RemoveSource(std::string_view path) { sources_.erase(std::string(path)); }

const std::string* InfStore::Source(std::string_view path) const {
    auto it = sources_.find(std::string(path));
    return it == sources_.end() ? nullptr : &it->second;
}

bool InfStore::HasSourceIn(std::string_view folder) const {
    for (const auto& source : sources_) {
        size_t slash = source.first.find_last_of('\\');
        if (slash != std::string::npos && CompareKeyNames(std::string_view(source.first).substr(0, slash), folder) == 0)
            return true;
    }
    return false;
}

const InfCopy* InfStore::FindCopy(std::string_view name) const {
    for (const InfCopy& copy : copies)
        if (CompareKeyNames(copy.name, name) == 0) return &copy;
    return nullptr;
}

bool InfStore::ReadVersion(std::string_view text, DriverVersion* version) {
    *version = DriverVersion();
    bool inVersion = false;
    bool found = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        size_t comment = line.find(';');
        if (comment != std::string_view::npos) line = line.substr(0, comment);
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view section = Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            inVersion = CompareKeyNames(section, "Version") == 0;
            found = found || inVersion;
            continue;
        }
        size_t equals = line.find('=');
        if (!inVersion || equals == std::string_view::npos) continue;
        if (CompareKeyNames(Trim(line.substr(0, equals)), "DriverVer") != 0) continue;
        std::string_view value = Trim(line.substr(equals + 1));
        size_t comma = value.find(',');
        std::string_view date = Trim(value.substr(0, comma));
        unsigned mdy[3] = {0, 0, 0};
        DriverVersion read;
        if (ReadNumbers(date, '/', mdy, 3) == 3) {
            read.month = mdy[0];
            read.day = mdy[1];
            read.year = mdy[2];
            if (comma != std::string_view::npos) ReadNumbers(Trim(value.substr(comma + 1)), '.', read.parts, 4);
            *version = read;
        }
    }
    return found;
}

std::string InfStore::NextCopyName() const {
    for (unsigned n = 0;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "oem%u.inf", n);
        if (FindCopy(name) == nullptr) return name;
    }
}

}  // namespace sim
