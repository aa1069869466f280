// The conformance scenarios (conformance/scenarios/*.txt) on the simulated
// machine: every scenario in every mode it names must show exactly what it
// expects. With PX714_WINE_RESULTS set to the folder where
// scripts/conformance.sh left the Wine driver's output (wine-MODE.txt), the
// same scenarios are compared with what the real DLL showed under Wine, and
// a summary line per mode is printed.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "conformance/scenario.h"
#include "frame/px714sup.h"
#include "sim/machine.h"
#include "tests/support.h"

namespace {

std::string SourceDir() {
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/tests/"));
}

// All scenario files, read once.
struct LoadedSuite {
    ScSuite suite{};
    std::string error;
    LoadedSuite() {
        std::string folder = SourceDir() + "/conformance/scenarios";
        std::vector<std::string> files;
        if (DIR* dir = opendir(folder.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name.size() > 4 && name.substr(name.size() - 4) == ".txt") files.push_back(folder + "/" + name);
            }
            closedir(dir);
        }
        std::sort(files.begin(), files.end());
        if (files.empty()) error = "no scenario files in " + folder;
        for (const std::string& file : files) {
            if (ScLoadFile(&suite, file.c_str()) != 0) {
                error = suite.error;
                break;
            }
        }
    }
    ~LoadedSuite() { ScFreeSuite(&suite); }
};

const LoadedSuite& Suite() {
    static LoadedSuite loaded;
    return loaded;
}

std::vector<std::string> Lines(const ScLines& lines) {
    return std::vector<std::string>(lines.items, lines.items + lines.count);
}

void AddLine(ScLines* lines, const std::string& text) { ScLinesAdd(lines, text.c_str()); }

// ---- The starting machine ------------------------------------------------

std::string Join(const ScLines& lines) {
    char* joined = ScLinesJoin(&lines);
    std::string text = joined;
    std::free(joined);
    return text;
}

// KEY=VALUE of a service line, unquoted; empty when absent.
std::string ServiceField(const ScLines& tokens, const std::string& key, bool* present = nullptr) {
    for (int i = 2; i < tokens.count; ++i) {
        std::string token = tokens.items[i];
        if (token.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string value = token.substr(key.size() + 1);
        if (present) *present = true;
        if (!value.empty() && value[0] == '"') {
            char text[1024];
            if (ScUnquote(value.c_str(), text, sizeof text) < 0) return "";
            return text;
        }
        return value;
    }
    if (present) *present = false;
    return "";
}

void MakeServices(sim::Machine& machine, const ScView& view, ScLines* out) {
    for (int i = 0; i < view.services.count; ++i) {
        ScLines tokens{};
        ScTokenize(view.services.items[i], &tokens);
        std::string name = tokens.items[1];
        bool hasDisplay = false, hasGroup = false, hasType = false, hasStart = false, hasError = false;
        std::string display = ServiceField(tokens, "display", &hasDisplay);
        std::string group = ServiceField(tokens, "group", &hasGroup);
        std::string image = ServiceField(tokens, "image");
        std::string type = ServiceField(tokens, "type", &hasType);
        std::string start = ServiceField(tokens, "start", &hasStart);
        std::string error = ServiceField(tokens, "error", &hasError);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager == nullptr) {
            AddLine(out, "setup: OpenSCManagerA gave " + std::to_string(GetLastError()));
        } else {
            SC_HANDLE service = CreateServiceA(
                manager, name.c_str(), hasDisplay ? display.c_str() : nullptr, SERVICE_ALL_ACCESS,
                std::strtoul(hasType ? type.c_str() : "1", nullptr, 0), std::strtoul(hasStart ? start.c_str() : "3", nullptr, 0),
                std::strtoul(hasError ? error.c_str() : "1", nullptr, 0), image.c_str(), hasGroup ? group.c_str() : nullptr,
                nullptr, nullptr, nullptr, nullptr);
            if (service == nullptr) {
                AddLine(out, "setup: CreateServiceA " + name + " gave " + std::to_string(GetLastError()));
            } else {
                if (ServiceField(tokens, "running") == "1") machine.services.SetRunning(name, true);
                CloseServiceHandle(service);
            }
            CloseServiceHandle(manager);
        }
        ScLinesFree(&tokens);
    }
    // What starting a service gives, where the machine cannot show it by
    // itself: it does not load driver images.
    for (int i = 0; i < view.startResults.count; ++i) {
        std::istringstream words(view.startResults.items[i]);
        std::string name, code;
        words >> name >> code;
        machine.services.SetStartResult(name, std::strtoul(code.c_str(), nullptr, 0));
    }
}

// The files lines as the machine's loader reads them: a driver image is a
// file like any other here.
std::string FilesText(const ScLines& files) {
    std::string text;
    for (int i = 0; i < files.count; ++i) {
        std::string line = files.items[i];
        const std::string word = " driver-image";
        for (size_t at; (at = line.find(word)) != std::string::npos;) line.erase(at, word.size());
        text += line + "\n";
    }
    return text;
}

// The system's texts of the scenario's `message` codes.
std::vector<std::string> MessageTexts(const ScView& view) {
    std::vector<std::string> texts;
    for (int i = 0; i < view.messages.count; ++i) {
        unsigned long code = 0;
        ScParseNumber(view.messages.items[i], &code);
        char text[MAX_PATH] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, MAX_PATH, nullptr);
        texts.push_back(text);
    }
    return texts;
}

// ---- Calls ---------------------------------------------------------------

struct Buffers {
    unsigned short index = ScIndexFilling;
    char name[ScNameBufferSize];
    Buffers() { ScFillName(name); }
};

// An argument where the export takes a pointer: a text, a buffer or 0.
char* TextArgument(ScArg& arg, Buffers& buffers, std::string* problem) {
    switch (arg.kind) {
    case ScArgText: return arg.text;
    case ScArgNamePointer: return buffers.name;
    case ScArgNumber:
        if (arg.number == 0) return nullptr;
        break;
    default: break;
    }
    *problem = "an argument that must be a text or 0";
    return nullptr;
}

unsigned long NumberArgument(const ScArg& arg, const Buffers& buffers, std::string* problem) {
    if (arg.kind == ScArgNumber) return arg.number;
    if (arg.kind == ScArgIndexValue) return buffers.index;
    *problem = "an argument that must be a number";
    return 0;
}

long Invoke(const std::string& name, std::vector<ScArg>& a, Buffers& b, std::string* problem) {
    auto text = [&](int i) { return TextArgument(a[i], b, problem); };
    auto number = [&](int i) { return NumberArgument(a[i], b, problem); };
    if (name == "CheckServiceName") return CheckServiceName(text(0));
    if (name == "FindLegacyPlayers") {
        unsigned short* index = nullptr;
        if (a[0].kind == ScArgIndexPointer)
            index = &b.index;
        else if (!(a[0].kind == ScArgNumber && a[0].number == 0))
            *problem = "FindLegacyPlayers takes &index or 0 first";
        return FindLegacyPlayers(index, text(1));
    }
    if (name == "InstallFilter") return InstallFilter(text(0), text(1));
    if (name == "RegisterInf") return RegisterInf(text(0), text(1));
    if (name == "RemoveDeviceForDeviceType") return RemoveDeviceForDeviceType(text(0), static_cast<unsigned>(number(1)));
    if (name == "RemoveDeviceRegEntries") return RemoveDeviceRegEntries();
    if (name == "RemoveFilter") return RemoveFilter(text(0), text(1));
    if (name == "RemoveInstalledLegacyPlayer")
        return RemoveInstalledLegacyPlayer(static_cast<unsigned>(number(0)), text(1));
    if (name == "RemoveLegacyPlayerDrivers") return RemoveLegacyPlayerDrivers();
    if (name == "RemoveLegacyPlayerHook") return RemoveLegacyPlayerHook();
    if (name == "RemoveLegacyPlayerRemnants") return RemoveLegacyPlayerRemnants(static_cast<int>(number(0)));
    if (name == "RemovePlayerRemnants") return RemovePlayerRemnants();
    if (name == "RemoveVolumeRegEntries") return RemoveVolumeRegEntries();
    if (name == "UpdateInf") return UpdateInf(text(0), text(1));
    *problem = "no such export";
    return 0;
}

// ---- What the machine shows afterwards -----------------------------------

void DumpKey(const sim::Key& key, const std::string& shown, ScLines* out) {
    AddLine(out, "[" + shown + "]");
    for (const sim::Value& v : key.values) {
        char* line = ScValueLine(v.name.c_str(), v.type, v.data.data(), static_cast<unsigned long>(v.data.size()));
        AddLine(out, line);
        std::free(line);
    }
    for (const auto& sub : key.subkeys) DumpKey(*sub, shown + "\\" + sub->name, out);
}

void ShowKey(const sim::Machine& machine, const std::string& path, ScLines* out) {
    const sim::Key* key = machine.registry.FindPath(path);
    if (key == nullptr) {
        AddLine(out, "[-" + path + "]");
        return;
    }
    int from = out->count;
    DumpKey(*key, path, out);
    ScSortValueRuns(out, from);
}

void ShowPath(const sim::Machine& machine, const std::string& path, ScLines* out) {
    std::string listing = machine.files.Listing(path);
    if (listing.empty()) {
        AddLine(out, "gone " + path);
        return;
    }
    int from = out->count;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) AddLine(out, path + line.substr(std::min(path.size(), line.size())));
    ScSortLines(out, from);
}

void ShowService(const sim::Machine& machine, const std::string& name, ScLines* out) {
    if (sim::ServiceManager::FindServiceKey(machine.registry, name) == nullptr)
        AddLine(out, "service " + name + " gone");
    else
        AddLine(out, "service " + name + (machine.services.IsRunning(name) ? " running" : " stopped"));
}

void ShowInfCopies(const sim::Machine& machine, ScLines* out) {
    int from = out->count;
    for (const sim::InfCopy& copy : machine.infs.copies) {
        std::string version = "no DriverVer";
        std::istringstream lines(copy.text);
        for (std::string line; std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() >= 9 && strncasecmp(line.c_str(), "DriverVer", 9) == 0) {
                version = line;
                break;
            }
        }
        AddLine(out, "inf copy " + version);
    }
    ScSortLines(out, from);
}

// The export table as frame/px714sup.def gives it: the host's view of
// names, ordinals and the bytes each export removes.
void ShowExportsFromDef(const ScSuite& suite, ScLines* out) {
    struct DefRow {
        std::string name;
        int ordinal;
        int bytes;
    };
    std::vector<DefRow> rows;
    std::ifstream def(SourceDir() + "/frame/px714sup.def");
    int bytes = -1;
    for (std::string line; std::getline(def, line);) {
        std::istringstream words(line);
        std::string first, second;
        words >> first >> second;
        if (first == ";" && line.find(" bytes") != std::string::npos) {
            bytes = std::atoi(second.c_str());
        } else if (!second.empty() && second[0] == '@') {
            rows.push_back({first, std::atoi(second.c_str() + 1), bytes});
            bytes = -1;
        }
    }
    for (int i = 0; i < suite.exportCount; ++i) {
        const ScExport& row = suite.exports[i];
        auto found = std::find_if(rows.begin(), rows.end(), [&](const DefRow& r) { return r.name == row.name; });
        if (found == rows.end())
            AddLine(out, std::string("export ") + row.name + " missing");
        else
            AddLine(out, "export " + found->name + " @" + std::to_string(found->ordinal) + " removes " +
                             std::to_string(found->bytes) + " bytes");
    }
    for (const DefRow& r : rows)
        if (ScFindExport(&suite, r.name.c_str()) == nullptr)
            AddLine(out, "export " + r.name + " @" + std::to_string(r.ordinal) + " not in the table");
}

// Runs one scenario's view of one mode on a fresh simulated machine and
// returns what it shows (runs of unordered trace pieces sorted).
std::vector<std::string> RunOnSim(const ScSuite& suite, const ScView& view, int mode) {
    sim::Machine machine(*sim::OsFromName(ScModeNames[mode]));
    sim::ScopedMachine scope(machine);
    ScLines out{};
    if (view.windir != nullptr) {
        machine.files.windowsDirectory = view.windir;
        machine.infs.folder = std::string(view.windir) + "\\inf";
    }
    try {
        machine.LoadReg(Join(view.reg));
        machine.files.Load(FilesText(view.files));
    } catch (const std::exception& e) {
        AddLine(&out, std::string("setup: ") + e.what());
    }
    MakeServices(machine, view, &out);
    for (int i = 0; i < view.infPaths.count; ++i) machine.files.SetFileText(view.infPaths.items[i], view.infTexts.items[i]);

    std::vector<std::string> texts = MessageTexts(view);
    std::vector<char*> textPointers;
    for (std::string& text : texts) textPointers.push_back(&text[0]);
    textPointers.push_back(nullptr);
    machine.lastError = 0;

    Buffers buffers;
    if (view.showExports) ShowExportsFromDef(suite, &out);
    for (int c = 0; c < view.callCount; ++c) {
        const ScCall& call = view.calls[c];
        std::vector<ScArg> args(call.args.count);
        bool usesIndex = false, usesName = false;
        for (int i = 0; i < call.args.count; ++i) {
            ScParseArgument(call.args.items[i], &args[i]);
            usesIndex |= args[i].kind == ScArgIndexPointer;
            usesName |= args[i].kind == ScArgNamePointer;
        }
        char before[ScNameBufferSize];
        std::memcpy(before, buffers.name, sizeof before);
        machine.debugOutput.clear();
        machine.lastError = call.lastError;
        std::string problem;
        long result = Invoke(call.exportName, args, buffers, &problem);
        AddLine(&out, std::string("call ") + call.exportName);
        if (!problem.empty()) AddLine(&out, "call problem: " + problem);
        AddLine(&out, "result " + std::to_string(result));
        if (view.showLastError) AddLine(&out, "lasterror " + std::to_string(machine.lastError));
        if (usesIndex) AddLine(&out, "index " + std::to_string(buffers.index));
        if (usesName) {
            char* line = ScNameLine(buffers.name, before);
            AddLine(&out, line);
            std::free(line);
        }
        for (const std::string& piece : machine.debugOutput) {
            char* line = ScTraceLine(piece.c_str(), &view.messages, textPointers.data());
            AddLine(&out, line);
            std::free(line);
        }
        if (machine.OpenHandleCount() != 0) AddLine(&out, "left open: " + machine.OpenHandleReport());
    }
    for (int i = 0; i < view.owns.count; ++i) ShowKey(machine, view.owns.items[i], &out);
    for (int i = 0; i < view.paths.count; ++i) ShowPath(machine, view.paths.items[i], &out);
    for (int i = 0; i < view.serviceNames.count; ++i) ShowService(machine, view.serviceNames.items[i], &out);
    if (view.infPaths.count > 0) ShowInfCopies(machine, &out);
    ScSortUnordered(&out, &view);
    std::vector<std::string> shown = Lines(out);
    ScLinesFree(&out);
    return shown;
}

ScLines ToLines(const std::vector<std::string>& lines) {
    ScLines out{};
    for (const std::string& line : lines) AddLine(&out, line);
    return out;
}

// The difference report, or "" when the two agree.
std::string Difference(const std::vector<std::string>& a, const std::vector<std::string>& b, const char* aLabel,
                       const char* bLabel) {
    ScLines la = ToLines(a), lb = ToLines(b);
    char* diff = ScDiff(&la, &lb, aLabel, bLabel);
    std::string report = diff ? diff : "";
    std::free(diff);
    ScLinesFree(&la);
    ScLinesFree(&lb);
    return report;
}

const ScScenario* FindScenario(const std::string& name) {
    const ScSuite& suite = Suite().suite;
    for (int i = 0; i < suite.scenarioCount; ++i)
        if (name == suite.scenarios[i].name) return &suite.scenarios[i];
    return nullptr;
}

// ---- Tests ---------------------------------------------------------------

TEST(Conformance, ScenarioFilesAreRead) {
    ASSERT_EQ(Suite().error, "");
    const ScSuite& suite = Suite().suite;
    EXPECT_EQ(suite.exportCount, 14);
    for (int i = 0; i < suite.scenarioCount; ++i) {
        const ScScenario& s = suite.scenarios[i];
        for (int mode = 0; mode < ScModeCount; ++mode) {
            if ((s.modes & (1u << mode)) == 0) continue;
            ScView view;
            EXPECT_EQ(ScMakeView(&suite, &s, mode, &view), 0) << view.error;
            EXPECT_GT(view.expect.count, 0) << s.name << " in " << ScModeNames[mode] << " expects nothing";
            ScFreeView(&view);
        }
    }
}

std::vector<std::string> ScenarioNames() {
    std::vector<std::string> names;
    const ScSuite& suite = Suite().suite;
    for (int i = 0; i < suite.scenarioCount; ++i) names.push_back(suite.scenarios[i].name);
    return names;
}

class ScenarioOnSim : public ::testing::TestWithParam<std::string> {};

// Every mode the scenario names shows exactly what it expects.
TEST_P(ScenarioOnSim, ShowsWhatItExpects) {
    const ScSuite& suite = Suite().suite;
    const ScScenario* s = FindScenario(GetParam());
    ASSERT_NE(s, nullptr);
    for (int mode = 0; mode < ScModeCount; ++mode) {
        if ((s->modes & (1u << mode)) == 0) continue;
        SCOPED_TRACE(ScModeNames[mode]);
        ScView view;
        ASSERT_EQ(ScMakeView(&suite, s, mode, &view), 0) << view.error;
        std::vector<std::string> shown = RunOnSim(suite, view, mode);
        ScSortUnordered(&view.expect, &view);
        std::string diff = Difference(Lines(view.expect), shown, "expected", "simulated machine");
        if (!diff.empty()) ADD_FAILURE() << s->file << ": " << s->name << " in " << ScModeNames[mode] << "\n" << diff;
        ScFreeView(&view);
    }
}

std::string TestName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScenarioOnSim, ::testing::ValuesIn(ScenarioNames()), TestName);

// The Wine driver's output against the expectations and the simulated
// machine, with one summary line per mode.
TEST(ConformanceWine, AgreesWithTheSimulatedMachine) {
    const char* folder = std::getenv("PX714_WINE_RESULTS");
    if (folder == nullptr || *folder == 0) GTEST_SKIP() << "PX714_WINE_RESULTS is not set";
    ASSERT_EQ(Suite().error, "");
    const ScSuite& suite = Suite().suite;
    int allDiffering = 0;
    std::ostringstream summary;
    for (int mode = 0; mode < ScModeCount; ++mode) {
        ScObserved observed;
        std::string path = std::string(folder) + "/wine-" + ScModeNames[mode] + ".txt";
        bool haveFile = ScReadObserved(path.c_str(), &observed) == 0;
        int run = 0, passed = 0, differing = 0, hostOnly = 0;
        for (int i = 0; i < suite.scenarioCount; ++i) {
            const ScScenario& s = suite.scenarios[i];
            if ((s.modes & (1u << mode)) == 0) continue;
            if (s.hostOnly != nullptr) {
                ++hostOnly;
                continue;
            }
            ++run;
            ScView view;
            if (ScMakeView(&suite, &s, mode, &view) != 0) {
                ++differing;
                ADD_FAILURE() << view.error;
                ScFreeView(&view);
                continue;
            }
            ScSortUnordered(&view.expect, &view);
            std::vector<std::string> expected = Lines(view.expect);
            std::vector<std::string> simulated = RunOnSim(suite, view, mode);
            const ScLines* wineLines = haveFile ? ScFindObserved(&observed, s.name) : nullptr;
            std::string report;
            if (wineLines == nullptr) {
                report = "  no Wine result (the driver did not run it or stopped before it)\n";
            } else {
                std::vector<std::string> wine = Lines(*wineLines);
                report += Difference(expected, wine, "expected", "wine");
                report += Difference(simulated, wine, "simulated machine", "wine");
            }
            report += Difference(expected, simulated, "expected", "simulated machine");
            if (report.empty()) {
                ++passed;
            } else {
                ++differing;
                std::cout << "DIFFERENCE " << ScModeNames[mode] << " " << s.name << " (" << s.file << ")\n"
                          << report;
            }
            ScFreeView(&view);
        }
        summary << "conformance " << ScModeNames[mode] << ": " << run << " scenarios run under Wine, " << passed
                << " passed, " << differing << " differing; " << hostOnly << " host-only"
                << (haveFile ? "" : " (no Wine output)") << "\n";
        allDiffering += differing + (haveFile ? 0 : 1);
        ScFreeObserved(&observed);
    }
    std::cout << summary.str();
    EXPECT_EQ(allDiffering, 0);
}

}  // namespace
