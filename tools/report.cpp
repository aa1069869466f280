#include "tools/report.h"

#include <cstdio>

namespace px714tool {

namespace {

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK: return "REG_LINK";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    case REG_RESOURCE_LIST: return "REG_RESOURCE_LIST";
    case REG_FULL_RESOURCE_DESCRIPTOR: return "REG_FULL_RESOURCE_DESCRIPTOR";
    case REG_RESOURCE_REQUIREMENTS_LIST: return "REG_RESOURCE_REQUIREMENTS_LIST";
    case REG_QWORD: return "REG_QWORD";
    default: return nullptr;
    }
}

std::string TypeText(DWORD type) {
    if (const char* name = TypeName(type)) return name;
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "type 0x%x", static_cast<unsigned>(type));
    return buffer;
}

// ANSI text as UTF-8 on one line: control characters written as \n, \t ...
std::string OneLine(std::string_view ansi, const sim::CodePage& codePage) {
    std::string utf8 = codePage.ToUtf8(ansi);
    std::string out;
    for (char c : utf8) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned char>(c));
                out += buffer;
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string Quoted(std::string_view ansi, const sim::CodePage& codePage) {
    return "\"" + OneLine(ansi, codePage) + "\"";
}

// The texts of a REG_MULTI_SZ, up to the empty text that closes it.
std::vector<std::string> MultiTexts(const std::vector<uint8_t>& data) {
    std::vector<std::string> texts;
    std::string current;
    for (size_t i = 0; i < data.size(); ++i) {
        if (data[i] != 0) {
            current += static_cast<char>(data[i]);
            continue;
        }
        if (current.empty()) break;
        texts.push_back(current);
        current.clear();
    }
    if (!current.empty()) texts.push_back(current);
    return texts;
}

std::string Hex(const std::vector<uint8_t>& data, size_t limit) {
    std::string out;
    char buffer[4];
    for (size_t i = 0; i < data.size() && i < limit; ++i) {
        std::snprintf(buffer, sizeof buffer, i ? " %02x" : "%02x", data[i]);
        out += buffer;
    }
    if (data.size() > limit) out += " ...";
    return out;
}

bool Terminated(const std::vector<uint8_t>& data) { return !data.empty() && data.back() == 0; }

std::string TextOf(const std::vector<uint8_t>& data) {
    std::string text(data.begin(), data.end());
    size_t end = text.find('\0');
    return end == std::string::npos ? text : text.substr(0, end);
}

const char* StatusName(CallStatus status) {
    switch (status) {
    case CallStatus::Ran: return "ran";
    case CallStatus::Skipped: return "skipped";
    case CallStatus::Failed: return "failed";
    }
    return "?";
}

std::string Signature(const CallRecord& call, const sim::CodePage& codePage) {
    std::string text = call.function + "(";
    for (size_t k = 0; k < call.arguments.size(); ++k) {
        if (k) text += ", ";
        text += call.textArguments[k] ? Quoted(call.arguments[k], codePage) : call.arguments[k];
    }
    return text + ")";
}

std::string FormatFile(const LoadedFile& f) {
    const sim::RegImportStats& s = f.stats;
    std::string text = f.name + ": " + std::to_string(s.keys) + " keys, " + std::to_string(s.values) + " values";
    if (s.keysDeleted || s.valuesDeleted)
        text += ", " + std::to_string(s.keysDeleted) + " key deletions, " + std::to_string(s.valuesDeleted) +
                " value deletions";
    text += std::string(" (") + (s.format == sim::RegFormat::Version5 ? "version 5" : "REGEDIT4") + ", " +
            s.encoding + ")";
    return text;
}

struct Summary {
    const char* singular;
    const char* plural;
    ChangeKind kind;
};
const Summary kSummary[] = {
    {"key deleted", "keys deleted", ChangeKind::KeyDeleted},
    {"key added", "keys added", ChangeKind::KeyAdded},
    {"value deleted", "values deleted", ChangeKind::ValueDeleted},
    {"value added", "values added", ChangeKind::ValueAdded},
    {"value set", "values set", ChangeKind::ValueSet},
    {"device node removed", "device nodes removed", ChangeKind::DeviceNodeRemoved},
    {"service created", "services created", ChangeKind::ServiceCreated},
    {"service deleted", "services deleted", ChangeKind::ServiceDeleted},
    {"file deleted", "files deleted", ChangeKind::FileDeleted},
    {"folder removed", "folders removed", ChangeKind::FolderRemoved},
};

void ValueJson(JsonWriter& json, const sim::Value& v, const sim::CodePage& codePage) {
    json.BeginObject();
    json.Member("name", codePage.ToUtf8(v.name));
    json.Member("type", TypeText(v.type));
    json.Member("typeCode", static_cast<unsigned>(v.type));
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && Terminated(v.data)) {
        json.Member("text", codePage.ToUtf8(TextOf(v.data)));
    } else if (v.type == REG_MULTI_SZ) {
        json.Key("texts");
        json.BeginArray();
        for (const std::string& t : MultiTexts(v.data)) json.String(codePage.ToUtf8(t));
        json.EndArray();
    } else if (v.type == REG_DWORD && v.data.size() == 4) {
        json.Member("number", static_cast<unsigned>(v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) |
                                                    (static_cast<unsigned>(v.data[3]) << 24)));
    }
    std::string hex;
    char buffer[4];
    for (uint8_t b : v.data) {
        std::snprintf(buffer, sizeof buffer, "%02x", b);
        hex += buffer;
    }
    json.Member("hex", hex);
    json.EndObject();
}

}  // namespace

std::string DescribeValue(const sim::Value& v, const sim::CodePage& codePage) {
    std::string type = TypeText(v.type);
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && Terminated(v.data) &&
        TextOf(v.data).size() + 1 == v.data.size())
        return type + " " + Quoted(TextOf(v.data), codePage);
    if (v.type == REG_MULTI_SZ) {
        std::string text = type;
        for (const std::string& t : MultiTexts(v.data)) text += " " + Quoted(t, codePage);
        return text;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        unsigned number = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<unsigned>(v.data[3]) << 24);
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, " 0x%08x (%u)", number, number);
        return type + buffer;
    }
    if (v.data.empty()) return type + " (no data)";
    return type + " " + Hex(v.data, 16) + " (" + std::to_string(v.data.size()) + " bytes)";
}

void WriteText(const RunReport& report, std::ostream& out) {
    sim::CodePage codePage(report.codePage);
    out << report.title << ": " << sim::OsName(report.os) << ", code page " << report.codePage << "\n";
    for (const LoadedFile& f : report.files) out << "  registry " << FormatFile(f) << "\n";
    for (const std::string& note : report.notes) out << "  " << note << "\n";
    out << "\n";
    int number = 0;
    for (const CallRecord& call : report.calls) {
        out << "[" << ++number << "] " << Signature(call, codePage);
        switch (call.status) {
        case CallStatus::Ran: out << " = " << call.result << "\n"; break;
        case CallStatus::Skipped: out << ": skipped (" << call.note << ")\n"; break;
        case CallStatus::Failed: out << ": failed in the simulated machine: " << call.note << "\n"; break;
        }
        for (const std::string& line : TraceLines(call.trace)) out << "      | " << codePage.ToUtf8(line) << "\n";
        if (call.playerFound)
            out << "      found player " << call.playerIndex << ", " << Quoted(call.displayName, codePage) << "\n";
        if (call.displayNameRewritten)
            out << "      the display name now reads " << Quoted(call.displayNameAfter, codePage) << "\n";
        if (call.leftOpen) out << "      left open: " << call.leftOpenReport << "\n";
    }
    out << "\n";
    if (report.changes.empty()) {
        out << "Changes: none\n";
        return;
    }
    out << "Changes:";
    bool first = true;
    for (const Summary& s : kSummary) {
        size_t n = report.changes.Count(s.kind);
        if (n == 0) continue;
        out << (first ? " " : ", ") << n << " " << (n == 1 ? s.singular : s.plural);
        first = false;
    }
    out << "\n";
    for (const Change& c : report.changes.items) {
        std::string path = OneLine(c.path, codePage);
        std::string name = c.valueName.empty() ? "@" : Quoted(c.valueName, codePage);
        switch (c.kind) {
        case ChangeKind::KeyDeleted: out << "  - key    " << path << "\n"; break;
        case ChangeKind::KeyAdded: out << "  + key    " << path << "\n"; break;
        case ChangeKind::ValueDeleted:
            out << "  - value  " << path << "  " << name << " = " << DescribeValue(c.before, codePage) << "\n";
            break;
        case ChangeKind::ValueAdded:
            out << "  + value  " << path << "  " << name << " = " << DescribeValue(c.after, codePage) << "\n";
            break;
        case ChangeKind::ValueSet:
            out << "  * value  " << path << "  " << name << ": " << DescribeValue(c.before, codePage) << " -> "
                << DescribeValue(c.after, codePage) << "\n";
            break;
        case ChangeKind::DeviceNodeRemoved:
            out << "  x device node " << path << "  (" << OneLine(c.detail, codePage) << ")\n";
            break;
        case ChangeKind::ServiceCreated: out << "  + service " << path << "\n"; break;
        case ChangeKind::ServiceDeleted: out << "  - service " << path << "\n"; break;
        case ChangeKind::FileDeleted: out << "  - file   " << path << "\n"; break;
        case ChangeKind::FolderRemoved: out << "  - folder " << path << "\n"; break;
        }
    }
}

void WriteJson(const RunReport& report, JsonWriter& json) {
    sim::CodePage codePage(report.codePage);
    auto utf8 = [&](const std::string& ansi) { return codePage.ToUtf8(ansi); };
    json.BeginObject();
    json.Member("title", report.title);
    json.Key("machine");
    json.BeginObject();
    json.Member("os", sim::OsName(report.os));
    json.Member("codePage", report.codePage);
    json.Key("registry");
    json.BeginArray();
    for (const LoadedFile& f : report.files) {
        json.BeginObject();
        json.Member("file", f.name);
        json.Member("format", f.stats.format == sim::RegFormat::Version5 ? "version5" : "regedit4");
        json.Member("encoding", f.stats.encoding);
        json.Member("keys", f.stats.keys);
        json.Member("values", f.stats.values);
        json.Member("keyDeletions", f.stats.keysDeleted);
        json.Member("valueDeletions", f.stats.valuesDeleted);
        json.Member("keysSkipped", f.stats.keysSkipped);
        json.Member("charactersReplaced", f.stats.charactersReplaced);
        json.EndObject();
    }
    json.EndArray();
    json.Key("notes");
    json.BeginArray();
    for (const std::string& note : report.notes) json.String(note);
    json.EndArray();
    json.EndObject();

    json.Key("calls");
    json.BeginArray();
    for (const CallRecord& call : report.calls) {
        json.BeginObject();
        json.Member("call", call.function);
        json.Key("arguments");
        json.BeginArray();
        for (size_t k = 0; k < call.arguments.size(); ++k) {
            if (call.textArguments[k] || call.arguments[k][0] == '$')
                json.String(utf8(call.arguments[k]));
            else
                json.Number(std::stoll(call.arguments[k]));
        }
        json.EndArray();
        json.Member("status", StatusName(call.status));
        if (call.status == CallStatus::Ran) json.Member("result", call.result);
        if (!call.note.empty()) json.Member("note", call.note);
        if (call.status == CallStatus::Ran || call.status == CallStatus::Failed) {
            json.Key("trace");
            json.BeginArray();
            for (const std::string& piece : call.trace) json.String(utf8(piece));
            json.EndArray();
            json.Key("lines");
            json.BeginArray();
            for (const std::string& line : TraceLines(call.trace)) json.String(utf8(line));
            json.EndArray();
        }
        if (call.playerFound) {
            json.Key("outputs");
            json.BeginObject();
            json.Member("playerIndex", call.playerIndex);
            json.Member("displayName", utf8(call.displayName));
            json.EndObject();
        }
        if (call.displayNameRewritten) json.Member("displayNameAfter", utf8(call.displayNameAfter));
        if (call.leftOpen) json.Member("leftOpen", call.leftOpenReport);
        json.EndObject();
    }
    json.EndArray();

    json.Key("changes");
    json.BeginArray();
    for (const Change& c : report.changes.items) {
        json.BeginObject();
        json.Member("change", ChangeKindName(c.kind));
        switch (c.kind) {
        case ChangeKind::KeyDeleted:
            json.Member("key", utf8(c.path));
            json.Member("values", c.count);
            break;
        case ChangeKind::KeyAdded: json.Member("key", utf8(c.path)); break;
        case ChangeKind::ValueDeleted:
        case ChangeKind::ValueAdded:
        case ChangeKind::ValueSet:
            json.Member("key", utf8(c.path));
            if (c.kind != ChangeKind::ValueAdded) {
                json.Key("before");
                ValueJson(json, c.before, codePage);
            }
            if (c.kind != ChangeKind::ValueDeleted) {
                json.Key("after");
                ValueJson(json, c.after, codePage);
            }
            break;
        case ChangeKind::DeviceNodeRemoved:
            json.Member("instance", utf8(c.path));
            json.Member("hardwareId", utf8(c.detail));
            break;
        case ChangeKind::ServiceCreated:
        case ChangeKind::ServiceDeleted: json.Member("service", utf8(c.path)); break;
        case ChangeKind::FileDeleted:
        case ChangeKind::FolderRemoved: json.Member("path", utf8(c.path)); break;
        }
        json.EndObject();
    }
    json.EndArray();

    json.Key("summary");
    json.BeginObject();
    for (const Summary& s : kSummary) json.Member(ChangeKindName(s.kind), report.changes.Count(s.kind));
    json.EndObject();
    json.EndObject();
}

}  // namespace px714tool
