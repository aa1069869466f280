#include "tools/session.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace px714tool {

namespace {

const char* const kDeviceTypes[] = {"DEVICETYPE_USB",     "DEVICETYPE_SCSI",   "DEVICETYPE_DISK",
                                    "DEVICETYPE_USBSTOR", "DEVICETYPE_USBMSC", "DEVICETYPE_VOLUME",
                                    "DEVICETYPE_MP3_USB"};

bool ParseNumber(std::string_view text, uint32_t* number) {
    std::string s(text);
    if (s.empty() || s[0] == '-' || s[0] == '+' || s[0] == ' ') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || value > 0xFFFFFFFFull) return false;
    *number = static_cast<uint32_t>(value);
    return true;
}

std::string ArgumentList(const ExportInfo& f) {
    std::string list;
    for (int k = 0; k < f.argCount; ++k) list += (k ? ", " : "") + std::string(f.argNames[k]);
    return list;
}

bool ParseArg(const ExportInfo& f, int k, std::string_view text, const sim::CodePage& codePage, ArgSpec* arg,
              std::string* error) {
    ArgKind kind = f.args[k];
    std::string where = std::string(f.name) + "'s " + f.argNames[k];
    if (!text.empty() && text[0] == '$' && !(text.size() > 1 && text[1] == '$')) {
        if (text == "$index" && kind == ArgKind::PlayerIndex) {
            arg->source = ArgSpec::Source::PlayerIndex;
            return true;
        }
        if (text == "$name" && (kind == ArgKind::DisplayName || kind == ArgKind::Text)) {
            arg->source = ArgSpec::Source::DisplayName;
            return true;
        }
        if (text == "$index" || text == "$name") {
            *error = std::string(text) + " cannot stand for " + where;
            return false;
        }
        *error = "unknown variable " + std::string(text) + " (there are $index and $name; $$ writes one $)";
        return false;
    }
    if (!text.empty() && text[0] == '$') text.remove_prefix(1);  // $$ is a $
    switch (kind) {
    case ArgKind::Text:
    case ArgKind::DisplayName:
        if (!codePage.FromUtf8(text, &arg->text)) {
            *error = where + " holds a character that code page " + std::to_string(codePage.number()) +
                     " cannot hold";
            return false;
        }
        if (kind == ArgKind::DisplayName && arg->text.size() > 127) {
            *error = where + " is longer than the 127 characters its 128-byte buffer holds";
            return false;
        }
        return true;
    case ArgKind::PlayerIndex:
        if (!ParseNumber(text, &arg->number) || arg->number > 37) {
            *error = where + " must be a catalogue row, 0 to 37 (or $index)";
            return false;
        }
        return true;
    case ArgKind::DeviceType:
        for (uint32_t code = 0; code < 7; ++code) {
            std::string_view full = kDeviceTypes[code];
            if (sim::CompareKeyNames(text, full) == 0 || sim::CompareKeyNames(text, full.substr(11)) == 0) {
                arg->number = code;
                return true;
            }
        }
        if (!ParseNumber(text, &arg->number)) {
            *error = where + " must be a number or a name from DEVICETYPE_USB (0) to DEVICETYPE_MP3_USB (6)";
            return false;
        }
        return true;
    }
    return false;
}

}  // namespace

bool ParseCall(std::string_view text, const sim::CodePage& codePage, CallSpec* call, std::string* error) {
    size_t colon = text.find(':');
    std::string_view name = text.substr(0, colon);
    const ExportInfo* f = FindExport(name);
    if (f == nullptr) {
        *error = "no export is named '" + std::string(name) + "' (px714sup --help lists the fourteen)";
        return false;
    }
    call->function = f;
    call->args.clear();
    std::string_view rest = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    if (f->argCount == 0) {
        if (!rest.empty()) {
            *error = std::string(f->name) + " takes no arguments";
            return false;
        }
        return true;
    }
    if (colon == std::string_view::npos) {
        *error = std::string(f->name) + " takes " + ArgumentList(*f) + ": write " + f->name + ":" +
                 (f->argCount == 2 ? "ARG1,ARG2" : "ARG");
        return false;
    }
    for (int k = 0; k < f->argCount; ++k) {
        std::string_view part = rest;
        if (k + 1 < f->argCount) {
            size_t comma = rest.find(',');
            if (comma == std::string_view::npos) {
                *error = std::string(f->name) + " takes " + ArgumentList(*f) + ", separated by ','";
                return false;
            }
            part = rest.substr(0, comma);
            rest = rest.substr(comma + 1);
        }
        ArgSpec arg;
        if (!ParseArg(*f, k, part, codePage, &arg, error)) return false;
        call->args.push_back(arg);
    }
    return true;
}

std::vector<CallSpec> PreviewCalls(const PreviewArguments& a) {
    auto text = [](std::string value) {
        ArgSpec arg;
        arg.text = std::move(value);
        return arg;
    };
    ArgSpec index;
    index.source = ArgSpec::Source::PlayerIndex;
    ArgSpec name;
    name.source = ArgSpec::Source::DisplayName;
    auto call = [](const char* function, std::vector<ArgSpec> args) { return CallSpec{FindExport(function), args}; };
    return {
        call("FindLegacyPlayers", {}),
        call("RemoveInstalledLegacyPlayer", {index, name}),
        call("RemoveLegacyPlayerRemnants", {index}),
        call("RemoveLegacyPlayerDrivers", {}),
        call("RemoveLegacyPlayerHook", {}),
        call("RemoveDeviceRegEntries", {}),
        call("RemoveVolumeRegEntries", {}),
        call("RemovePlayerRemnants", {}),
        call("CheckServiceName", {text(a.checkService)}),
        call("RegisterInf", {text(a.infDirectory), text(a.infName)}),
        call("InstallFilter", {text(a.service), text(a.driver)}),
    };
}

CallRecord Session::Call(const CallSpec& call) {
    const ExportInfo& f = *call.function;
    CallRecord record;
    record.function = f.name;
    CallArguments a;
    std::string texts[2];
    char nameBuffer[128] = {};
    char* displayName = nullptr;
    bool skipped = false;
    for (int k = 0; k < f.argCount; ++k) {
        const ArgSpec& arg = call.args[k];
        bool isText = f.args[k] == ArgKind::Text || f.args[k] == ArgKind::DisplayName;
        record.textArguments.push_back(isText);
        if (arg.source != ArgSpec::Source::Literal && !found_) {
            record.arguments.push_back(arg.source == ArgSpec::Source::PlayerIndex ? "$index" : "$name");
            record.textArguments.back() = false;
            skipped = true;
            continue;
        }
        switch (f.args[k]) {
        case ArgKind::Text:
            texts[k] = arg.source == ArgSpec::Source::DisplayName ? std::string(name_) : arg.text;
            a.text[k] = texts[k].c_str();
            record.arguments.push_back(texts[k]);
            break;
        case ArgKind::DisplayName:
            if (arg.source == ArgSpec::Source::DisplayName) {
                displayName = name_;  // the setup program's own buffer: a rewrite stays
            } else {
                std::memcpy(nameBuffer, arg.text.c_str(), arg.text.size() + 1);
                displayName = nameBuffer;
            }
            a.displayName = displayName;
            record.arguments.push_back(displayName);
            break;
        case ArgKind::PlayerIndex:
        case ArgKind::DeviceType:
            a.number = arg.source == ArgSpec::Source::PlayerIndex ? index_ : arg.number;
            record.arguments.push_back(std::to_string(a.number));
            break;
        }
    }
    if (skipped) {
        record.status = CallStatus::Skipped;
        record.note = "no legacy player was found, so $index and $name are not set";
        return record;
    }
    bool finding = std::strcmp(f.name, "FindLegacyPlayers") == 0;
    unsigned short foundIndex = index_;
    char foundName[128];
    std::memcpy(foundName, name_, sizeof foundName);
    if (finding) {
        a.playerIndexOut = &foundIndex;
        a.displayNameOut = foundName;
    }
    std::string nameBefore = displayName ? std::string(displayName) : std::string();
    sim::ScopedMachine scope(machine_);
    size_t start = machine_.debugOutput.size();
    try {
        record.result = f.invoke(a);
    } catch (const std::exception& e) {
        record.status = CallStatus::Failed;
        record.note = e.what();
    }
    record.trace.assign(machine_.debugOutput.begin() + static_cast<std::ptrdiff_t>(start), machine_.debugOutput.end());
    if (finding && record.status == CallStatus::Ran && record.result == 1) {
        // The outputs are taken only when a player was reported, as the
        // export leaves them untouched otherwise.
        found_ = true;
        index_ = foundIndex;
        std::memcpy(name_, foundName, sizeof name_);
        name_[127] = 0;
        record.playerFound = true;
        record.playerIndex = index_;
        record.displayName = name_;
    }
    if (displayName != nullptr && nameBefore != displayName) {
        record.displayNameRewritten = true;
        record.displayNameAfter = displayName;
    }
    record.leftOpen = machine_.OpenHandleCount();
    if (record.leftOpen != 0) record.leftOpenReport = machine_.OpenHandleReport();
    return record;
}

size_t RestrictNtEnum(sim::Machine& machine) {
    sim::Key* enumKey = machine.registry.FindPath("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum");
    if (!machine.IsNtFamily() || enumKey == nullptr) return 0;
    size_t count = 0;
    std::vector<sim::Key*> pending{enumKey};
    while (!pending.empty()) {
        sim::Key* key = pending.back();
        pending.pop_back();
        key->restricted = true;
        ++count;
        for (auto& sub : key->subkeys) pending.push_back(sub.get());
    }
    return count;
}

std::vector<std::string> TraceLines(const std::vector<std::string>& pieces) {
    std::vector<std::string> lines;
    std::string current;
    bool open = false;
    for (const std::string& piece : pieces) {
        for (char c : piece) {
            if (c == '\n') {
                lines.push_back(current);
                current.clear();
                open = false;
            } else {
                current += c;
                open = true;
            }
        }
    }
    if (open) lines.push_back(current);
    return lines;
}

}  // namespace px714tool
