#include "tools/cli.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/regfile.h"
#include "tools/changes.h"
#include "tools/json.h"
#include "tools/report.h"
#include "tools/samples.h"
#include "tools/session.h"

namespace px714tool {

namespace {

const char kGeneralHelp[] =
    R"(px714sup: what px714sup.dll's setup operations would do to a Windows machine,
previewed on a simulated machine loaded from that machine's registry export.

Usage:
  px714sup preview --os VERSION --registry FILE [--registry FILE ...] [options]
  px714sup run --os VERSION --registry FILE [...] [options] CALL [CALL ...]
  px714sup demo [--json]
  px714sup check --registry FILE [--registry FILE ...] [--codepage N] [--export FILE]
  px714sup help [COMMAND]

Commands:
  preview  runs the standard sequence of a PX714 setup program and reports
           each call, its result, its trace and every change to the machine
  run      the same for the calls you name, with their arguments
  demo     previews two built-in sample machines (Windows 98, Windows XP)
  check    reads .reg files and tells what they hold, or where they are wrong

Export a machine's registry with regedit (File, Export, All); both formats
regedit writes are read: REGEDIT4 and Windows Registry Editor Version 5.00.

Exit codes:
  0  done, whatever the calls returned
  1  usage error: unknown command or option, a missing or bad value, a bad CALL
  2  an input file cannot be read or is not a well-formed .reg file (the file,
     line and column are given); nothing was run
  3  an output file (--undo, --after, --export) cannot be written
  4  the simulated machine failed inside a call

'px714sup help COMMAND' or 'px714sup COMMAND --help' tells more.
)";

const char kMachineHelp[] =
    R"(Machine:
  --os VERSION        win95, win98, winme, nt4, win2000 or winxp (required)
  --registry FILE     a .reg file exported with regedit; several are loaded
                      in the order given (required)
  --codepage N        the machine's ANSI code page (default 1252; 932, 936,
                      949, 950 and the other Windows code pages work too)
  --files DIR         a copy of the machine's Windows folder (not available
                      in this build: the simulated file system has no loader)
  --open-enum         on the NT family, let the calls change the Enum keys
                      as if run as SYSTEM (default: those keys open for
                      reading only, as for an administrator)
Output:
  --undo FILE         write a version 5 .reg that, imported with regedit,
                      restores every key and value the run deleted or changed
  --after FILE        write the whole registry as the run left it (version 5)
  --json              write the report as JSON on standard output
)";

const char kPreviewHelp[] =
    R"(Usage: px714sup preview --os VERSION --registry FILE [--registry FILE ...] [options]

Loads the registry exports into a simulated machine and runs what a PX714
setup program runs, in this order:
  FindLegacyPlayers
  RemoveInstalledLegacyPlayer:$index,$name    when a legacy player was found
  RemoveLegacyPlayerRemnants:$index           when a legacy player was found
  RemoveLegacyPlayerDrivers
  RemoveLegacyPlayerHook
  RemoveDeviceRegEntries
  RemoveVolumeRegEntries
  RemovePlayerRemnants
  CheckServiceName:CHECK-SERVICE
  RegisterInf:INF-DIR,INF
  InstallFilter:SERVICE,DRIVER
then reports each call with its result and its trace as a debug-output
viewer shows it, and every change: keys and values deleted, added or set,
device nodes removed.

Arguments of the setup calls:
  --service NAME        InstallFilter's service, at most 23 characters
                        (default Vxfilter)
  --check-service NAME  CheckServiceName's service (default: the --service name)
  --driver PATH         InstallFilter's driver path
                        (default System32\DRIVERS\Vxfilter.sys)
  --inf-dir DIR         RegisterInf's source directory, with its closing
                        backslash (default D:\Drivers\)
  --inf NAME            RegisterInf's INF file name (default px714.inf)
)";

const char kRunHelp[] =
    R"(Usage: px714sup run --os VERSION --registry FILE [--registry FILE ...] [options] CALL [CALL ...]

Loads the registry exports into a simulated machine, runs the calls in the
order given, and reports them and every change as preview does.

A CALL is an export's name, followed by a colon and its arguments separated
by commas; the last argument takes the rest of the text, commas included:
  FindLegacyPlayers
  RemoveDeviceForDeviceType:USB\Vid_066F,DEVICETYPE_USB
  InstallFilter:Vxfilter,System32\DRIVERS\Vxfilter.sys
After FindLegacyPlayers has found a player, $index and $name stand for the
index and display name it reported, as a setup program keeps them (a call
that rewrites the name in place changes $name for the calls after it):
  RemoveInstalledLegacyPlayer:$index,$name  RemoveLegacyPlayerRemnants:$index
A call that needs them when no player was found is skipped. $$ writes a $.
Quote calls in the shell: '$index', and backslashes.

The exports and their arguments:
)";

const char kDemoHelp[] =
    R"(Usage: px714sup demo [--json]

Previews two built-in sample machines, as 'px714sup preview' would with its
default arguments: a Windows 98 machine and a Windows XP machine, each with
a legacy player installed (its uninstall registration, product keys, device
nodes, services, class keys and drive menu extension) and the remnants of an
earlier PX714 installation. The samples are .reg files in tools/samples/.
)";

const char kCheckHelp[] =
    R"(Usage: px714sup check --registry FILE [--registry FILE ...] [--codepage N] [--export FILE]

Reads .reg files into one simulated machine, as preview would, and tells
how many keys and values each holds and how long it took; a file that is not
well-formed is refused with its line and column (exit code 2).
  --codepage N     the machine's ANSI code page (default 1252)
  --export FILE    write the keys the files cover back out, in the format of
                   the first file: what regedit wrote comes back byte for byte
)";

// Progress on stderr for work that takes more than a few seconds.
class Progress {
public:
    explicit Progress(std::ostream& err) : err_(err), start_(Clock::now()), last_(start_) {}
    void Update(const std::string& what, size_t done, size_t total) {
        auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(2) || now - last_ < std::chrono::seconds(2)) return;
        last_ = now;
        err_ << "px714sup: " << what << ": " << (total ? done * 100 / total : 0) << "%" << std::endl;
    }
    void Phase(const std::string& what) {
        if (Clock::now() - start_ >= std::chrono::seconds(2)) err_ << "px714sup: " << what << std::endl;
    }
    double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    Clock::time_point start_, last_;
};

struct Options {
    std::string command;
    bool help = false;
    std::string os;
    std::vector<std::string> registry;
    bool filesGiven = false;
    std::string files;
    unsigned codePage = 1252;
    bool openEnum = false;
    std::string undo, after, exportFile;
    bool json = false;
    PreviewArguments preview;  // UTF-8 here, converted when the machine is known
    bool checkServiceGiven = false;
    std::vector<std::string> calls;
};

// A file's bytes, mapped into memory when it is a regular file (a large
// export is read without being copied), read otherwise.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (mapped_ != nullptr) munmap(mapped_, size_);
    }
    bool Open(const std::string& path, std::string* error) {
        int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            *error = std::strerror(errno);
            return false;
        }
        struct stat info;
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            void* p = mmap(nullptr, static_cast<size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                ::close(fd);
                mapped_ = p;
                size_ = static_cast<size_t>(info.st_size);
                return true;
            }
        }
        char buffer[1 << 16];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) copy_.append(buffer, static_cast<size_t>(n));
        int readError = n < 0 ? errno : 0;
        ::close(fd);
        if (readError != 0) {
            *error = std::strerror(readError);
            return false;
        }
        return true;
    }
    std::string_view bytes() const {
        return mapped_ ? std::string_view(static_cast<const char*>(mapped_), size_) : std::string_view(copy_);
    }

private:
    void* mapped_ = nullptr;
    size_t size_ = 0;
    std::string copy_;
};

bool WriteFile(const std::string& path, const std::string& bytes, std::ostream& err) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out) {
        err << "px714sup: cannot write " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    return true;
}

// Parses the options of a command; false (and a message) on a usage error.
bool ParseOptions(const std::vector<std::string>& args, Options* o, std::string* error) {
    const std::string& c = o->command;
    bool machine = c == "preview" || c == "run";
    for (size_t i = 1; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o->help = true;
            continue;
        }
        if (c == "run" && (arg.empty() || arg[0] != '-')) {
            o->calls.push_back(arg);
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        auto takeValue = [&](std::string* into) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    *error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            *into = value;
            return true;
        };
        auto flag = [&](bool* into) {
            if (hasValue) {
                *error = name + " takes no value";
                return false;
            }
            *into = true;
            return true;
        };
        bool ok = true;
        if (name == "--json" && c != "check") {
            ok = flag(&o->json);
        } else if (name == "--registry" && c != "demo") {
            std::string file;
            ok = takeValue(&file);
            o->registry.push_back(file);
        } else if (name == "--codepage" && c != "demo") {
            std::string text;
            ok = takeValue(&text);
            char* end = nullptr;
            unsigned long number = ok ? std::strtoul(text.c_str(), &end, 10) : 0;
            if (ok && (text.empty() || *end != 0 || number == 0 || number > 65535 ||
                       !sim::CodePage(static_cast<unsigned>(number)).Known())) {
                *error = "--codepage: '" + text + "' is not a code page this build can convert";
                return false;
            }
            o->codePage = static_cast<unsigned>(number);
        } else if (name == "--export" && c == "check") {
            ok = takeValue(&o->exportFile);
        } else if (!machine) {
            *error = "'" + arg + "' is not an option of " + c;
            return false;
        } else if (name == "--os") {
            ok = takeValue(&o->os);
        } else if (name == "--files") {
            ok = takeValue(&o->files);
            o->filesGiven = true;
        } else if (name == "--open-enum") {
            ok = flag(&o->openEnum);
        } else if (name == "--undo") {
            ok = takeValue(&o->undo);
        } else if (name == "--after") {
            ok = takeValue(&o->after);
        } else if (c == "preview" && name == "--service") {
            ok = takeValue(&o->preview.service);
        } else if (c == "preview" && name == "--check-service") {
            ok = takeValue(&o->preview.checkService);
            o->checkServiceGiven = true;
        } else if (c == "preview" && name == "--driver") {
            ok = takeValue(&o->preview.driver);
        } else if (c == "preview" && name == "--inf-dir") {
            ok = takeValue(&o->preview.infDirectory);
        } else if (c == "preview" && name == "--inf") {
            ok = takeValue(&o->preview.infName);
        } else {
            *error = "'" + arg + "' is not an option of " + c;
            return false;
        }
        if (!ok) return false;
    }
    if (c == "preview" && !o->checkServiceGiven) o->preview.checkService = o->preview.service;
    return true;
}

void PrintExports(std::ostream& out) {
    for (const ExportInfo& e : Exports()) {
        std::string line = "  " + std::to_string(e.ordinal) + (e.ordinal < 10 ? "  " : " ") + e.name;
        if (e.argCount > 0) {
            line += ":";
            for (int k = 0; k < e.argCount; ++k) {
                std::string arg = e.argNames[k];
                for (char& ch : arg) ch = ch == ' ' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
                line += (k ? "," : "") + arg;
            }
        }
        if (std::strcmp(e.name, "FindLegacyPlayers") == 0) line += "   sets $index and $name";
        if (std::strcmp(e.name, "RemoveDeviceForDeviceType") == 0) line += "   DEVICE-TYPE: 0 to 6 or DEVICETYPE_USB ...";
        out << line << "\n";
    }
}

int Help(const std::string& command, std::ostream& out) {
    if (command == "preview") {
        out << kPreviewHelp << "\n" << kMachineHelp;
    } else if (command == "run") {
        out << kRunHelp;
        PrintExports(out);
        out << "\n" << kMachineHelp;
    } else if (command == "demo") {
        out << kDemoHelp;
    } else if (command == "check") {
        out << kCheckHelp;
    } else {
        out << kGeneralHelp;
    }
    return kExitOk;
}

int Usage(const std::string& message, const std::string& command, std::ostream& err) {
    err << "px714sup: " << message << "\n";
    err << "px714sup: see 'px714sup help" << (command.empty() ? "" : " " + command) << "'\n";
    return kExitUsage;
}

// Loads .reg texts into the machine, all or nothing per file; kExitOk or
// kExitBadInput after telling where a text is wrong.
int LoadText(sim::Machine& machine, const std::string& name, std::string_view bytes, RunReport* report,
             Progress& progress, std::ostream& err) {
    {
        LoadedFile loaded{name, {}};
        sim::RegImportOptions options;
        options.codePage = machine.codePage;
        std::string label = "reading " + name;
        options.progress = [&](size_t done, size_t total) { progress.Update(label, done, total); };
        sim::RegError error;
        if (!sim::ImportReg(machine.registry, bytes, options, &loaded.stats, &error)) {
            err << "px714sup: " << name << ":" << error.line << ":" << error.column << ": " << error.message << "\n";
            err << "px714sup: nothing was run\n";
            return kExitBadInput;
        }
        if (loaded.stats.charactersReplaced)
            report->notes.push_back(name + ": " + std::to_string(loaded.stats.charactersReplaced) +
                                    " characters code page " + std::to_string(machine.codePage) +
                                    " cannot hold read as '?', as the A functions see them");
        if (loaded.stats.keysSkipped)
            report->notes.push_back(name + ": " + std::to_string(loaded.stats.keysSkipped) +
                                    " keys under roots the machine does not keep (HKEY_CURRENT_CONFIG ...) passed over");
        report->files.push_back(std::move(loaded));
    }
    return kExitOk;
}

int LoadFiles(sim::Machine& machine, const std::vector<std::string>& files, RunReport* report, Progress& progress,
              std::ostream& err) {
    for (const std::string& file : files) {
        InputFile input;
        std::string error;
        if (!input.Open(file, &error)) {
            err << "px714sup: cannot read " << file << ": " << error << "\n";
            err << "px714sup: nothing was run\n";
            return kExitBadInput;
        }
        int code = LoadText(machine, file, input.bytes(), report, progress, err);
        if (code != kExitOk) return code;
    }
    return kExitOk;
}

// Runs calls on a loaded machine and fills the report; writes --undo and
// --after. Returns an exit code.
int RunCalls(sim::Machine& machine, const std::vector<CallSpec>& calls, const Options& o, RunReport* report,
             Progress& progress, std::ostream& err) {
    sim::Machine before = machine;
    Session session(machine);
    bool failed = false;
    for (const CallSpec& call : calls) {
        progress.Phase(std::string("calling ") + call.function->name);
        report->calls.push_back(session.Call(call));
        failed = failed || report->calls.back().status == CallStatus::Failed;
    }
    progress.Phase("comparing the machine before and after");
    report->changes = DiffMachines(before, machine);
    if (!o.undo.empty()) {
        progress.Phase("writing " + o.undo);
        if (!WriteFile(o.undo, UndoReg(before.registry, machine.registry, sim::RegFormat::Version5, machine.codePage),
                       err))
            return kExitCannotWrite;
    }
    if (!o.after.empty()) {
        progress.Phase("writing " + o.after);
        if (!WriteFile(o.after, sim::ExportAll(machine.registry, sim::RegFormat::Version5, machine.codePage), err))
            return kExitCannotWrite;
    }
    return failed ? kExitInternal : kExitOk;
}

std::string TitleOf(sim::Os os) {
    switch (os) {
    case sim::Os::Win95: return "Windows 95";
    case sim::Os::Win98: return "Windows 98";
    case sim::Os::WinMe: return "Windows Me";
    case sim::Os::Nt4: return "Windows NT 4.0";
    case sim::Os::Win2000: return "Windows 2000";
    case sim::Os::WinXp: return "Windows XP";
    case sim::Os::QueryFails: return "a machine whose version query fails";
    }
    return "?";
}

void Prepare(sim::Machine& machine, bool openEnum, RunReport* report) {
    if (openEnum) {
        if (machine.IsNtFamily()) report->notes.push_back("Enum keys open to the calls, as if run as SYSTEM (--open-enum)");
        return;
    }
    if (size_t n = RestrictNtEnum(machine))
        report->notes.push_back(std::to_string(n) +
                                " keys of the Enum tree open for reading only, as for an administrator "
                                "(--open-enum lifts this)");
}

int PreviewOrRun(const Options& o, std::ostream& out, std::ostream& err) {
    Progress progress(err);
    if (o.os.empty()) return Usage("--os is required (win95, win98, winme, nt4, win2000 or winxp)", o.command, err);
    std::optional<sim::Os> os = sim::OsFromName(o.os);
    if (!os) return Usage("--os: unknown version '" + o.os + "' (win95, win98, winme, nt4, win2000, winxp)", o.command, err);
    if (o.registry.empty()) return Usage("at least one --registry FILE is required", o.command, err);
    if (o.filesGiven)
        return Usage("--files " + o.files +
                         ": not available in this build: the simulated file system cannot load a folder yet",
                     o.command, err);
    sim::CodePage codePage(o.codePage);
    std::vector<CallSpec> calls;
    if (o.command == "run") {
        if (o.calls.empty()) return Usage("name at least one CALL to run", o.command, err);
        for (const std::string& text : o.calls) {
            CallSpec call;
            std::string error;
            if (!ParseCall(text, codePage, &call, &error)) return Usage(error, o.command, err);
            calls.push_back(call);
        }
    } else {
        PreviewArguments a;
        const std::pair<const std::string*, std::string*> fields[] = {
            {&o.preview.checkService, &a.checkService}, {&o.preview.service, &a.service},
            {&o.preview.driver, &a.driver},             {&o.preview.infDirectory, &a.infDirectory},
            {&o.preview.infName, &a.infName}};
        for (auto& field : fields) {
            field.second->clear();
            if (!codePage.FromUtf8(*field.first, field.second))
                return Usage("'" + *field.first + "' holds a character code page " + std::to_string(o.codePage) +
                                 " cannot hold",
                             o.command, err);
        }
        calls = PreviewCalls(a);
    }

    sim::Machine machine(*os);
    machine.codePage = o.codePage;
    RunReport report;
    report.title = (o.command == "run" ? "Run on " : "Preview of ") + TitleOf(*os);
    report.os = *os;
    report.codePage = o.codePage;
    int code = LoadFiles(machine, o.registry, &report, progress, err);
    if (code != kExitOk) return code;
    Prepare(machine, o.openEnum, &report);
    code = RunCalls(machine, calls, o, &report, progress, err);
    if (code == kExitCannotWrite) return code;
    progress.Phase("writing the report");
    if (o.json) {
        std::string text;
        JsonWriter json(&text);
        json.BeginObject();
        json.Member("command", o.command);
        json.Key("run");
        WriteJson(report, json);
        json.EndObject();
        out << text;
    } else {
        WriteText(report, out);
    }
    return code;
}

int Demo(const Options& o, std::ostream& out, std::ostream& err) {
    Progress progress(err);
    std::string text;
    JsonWriter json(&text);
    if (o.json) {
        json.BeginObject();
        json.Member("command", "demo");
        json.Key("runs");
        json.BeginArray();
    } else {
        out << "px714sup demo: the standard setup sequence on two built-in sample machines\n"
               "(tools/samples/*.reg), as 'px714sup preview --os VERSION --registry FILE' shows it.\n";
    }
    int result = kExitOk;
    PreviewArguments defaults;
    for (const Sample& sample : Samples()) {
        sim::Machine machine(sample.os);
        RunReport report;
        report.title = sample.title;
        report.os = sample.os;
        report.codePage = machine.codePage;
        int code = LoadText(machine, std::string("tools/samples/") + sample.file, sample.text, &report, progress, err);
        if (code != kExitOk) return kExitInternal;  // the samples are part of the tool
        Prepare(machine, false, &report);
        code = RunCalls(machine, PreviewCalls(defaults), o, &report, progress, err);
        if (code != kExitOk) result = code;
        if (o.json) {
            WriteJson(report, json);
        } else {
            out << "\n==============================================================================\n";
            WriteText(report, out);
        }
    }
    if (o.json) {
        json.EndArray();
        json.EndObject();
        out << text;
    }
    return result;
}

int Check(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.registry.empty()) return Usage("at least one --registry FILE is required", o.command, err);
    Progress progress(err);
    sim::Machine machine;
    machine.codePage = o.codePage;
    RunReport report;
    std::vector<std::string> roots;
    for (const std::string& file : o.registry) {
        auto start = std::chrono::steady_clock::now();
        int code = LoadFiles(machine, {file}, &report, progress, err);
        if (code != kExitOk) return code;
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const LoadedFile& f = report.files.back();
        char timing[64];
        std::snprintf(timing, sizeof timing, "%.2f s", seconds);
        out << f.name << ": " << f.stats.keys << " keys, " << f.stats.values << " values, " << f.stats.keysDeleted
            << " key deletions, " << f.stats.valuesDeleted << " value deletions ("
            << (f.stats.format == sim::RegFormat::Version5 ? "version 5" : "REGEDIT4") << ", " << f.stats.encoding
            << "), read in " << timing << "\n";
        roots.insert(roots.end(), f.stats.roots.begin(), f.stats.roots.end());
    }
    for (const std::string& note : report.notes) out << note << "\n";
    if (!o.exportFile.empty()) {
        sim::RegFormat format = report.files.front().stats.format;
        if (!WriteFile(o.exportFile, sim::ExportReg(machine.registry, roots, format, o.codePage), err))
            return kExitCannotWrite;
    }
    return kExitOk;
}

}  // namespace

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        if (args.empty()) return Usage("name a command: preview, run, demo, check or help", "", err);
        const std::string& command = args[0];
        if (command == "--help" || command == "-h") return Help("", out);
        if (command == "help") return Help(args.size() > 1 ? args[1] : "", out);
        if (command == "--version") {
            out << "px714sup 1.0.0\n";
            return kExitOk;
        }
        if (command != "preview" && command != "run" && command != "demo" && command != "check")
            return Usage("unknown command '" + command + "'", "", err);
        Options o;
        o.command = command;
        std::string error;
        if (!ParseOptions(args, &o, &error)) return Usage(error, command, err);
        if (o.help) return Help(command, out);
        if (command == "demo") return Demo(o, out, err);
        if (command == "check") return Check(o, out, err);
        return PreviewOrRun(o, out, err);
    } catch (const std::exception& e) {
        err << "px714sup: internal error: " << e.what() << "\n";
        return kExitInternal;
    }
}

}  // namespace px714tool
