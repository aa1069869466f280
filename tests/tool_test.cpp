// The px714sup tool: call syntax, calls as a setup program makes them, the
// changes a run made, the undo file, and the command line's exit codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "legacy/catalogue.h"
#include "sim/machine.h"
#include "sim/regfile.h"
#include "tools/changes.h"
#include "tools/cli.h"
#include "tools/hostfiles.h"
#include "tools/json.h"
#include "tools/samples.h"
#include "tools/session.h"

namespace {

using px714tool::ArgSpec;
using px714tool::CallRecord;
using px714tool::CallSpec;
using px714tool::CallStatus;
using px714tool::ChangeKind;
using px714tool::ExportInfo;

// ------------------------------------------------------------ call syntax

TEST(ToolCallSyntaxTest, CallsAndTheirArguments) {
    sim::CodePage cp1252(1252);
    struct Row {
        const char* text;
        const char* function;
        std::vector<std::string> texts;  // Text / DisplayName arguments ("" for others)
        std::vector<uint32_t> numbers;
        std::vector<ArgSpec::Source> sources;
    } rows[] = {
        {"FindLegacyPlayers", "FindLegacyPlayers", {}, {}, {}},
        {"removedeviceregentries", "RemoveDeviceRegEntries", {}, {}, {}},
        {"RemoveDeviceForDeviceType:USB\\Vid_066F,0", "RemoveDeviceForDeviceType", {"USB\\Vid_066F", ""}, {0, 0},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"RemoveDeviceForDeviceType:,DEVICETYPE_MP3_USB", "RemoveDeviceForDeviceType", {"", ""}, {0, 6},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"RemoveDeviceForDeviceType:USB,usbstor", "RemoveDeviceForDeviceType", {"USB", ""}, {0, 3},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"RemoveDeviceForDeviceType:USB,0xFFFFFFFF", "RemoveDeviceForDeviceType", {"USB", ""}, {0, 0xFFFFFFFFu},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"RemoveInstalledLegacyPlayer:$index,$name", "RemoveInstalledLegacyPlayer", {"", ""}, {0, 0},
         {ArgSpec::Source::PlayerIndex, ArgSpec::Source::DisplayName}},
        // The last argument takes the rest, commas included; $$ is one $.
        {"RemoveInstalledLegacyPlayer:37,Player, the Second", "RemoveInstalledLegacyPlayer", {"", "Player, the Second"},
         {37, 0}, {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"CheckServiceName:$$vc,x", "CheckServiceName", {"$vc,x"}, {0}, {ArgSpec::Source::Literal}},
        {"InstallFilter:Vxfilter,C:\\WINDOWS\\system32\\drivers\\Vxfilter.sys", "InstallFilter",
         {"Vxfilter", "C:\\WINDOWS\\system32\\drivers\\Vxfilter.sys"}, {0, 0},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},
        {"RegisterInf:D:\\Caf\xC3\xA9\\,px714.inf", "RegisterInf", {"D:\\Caf\xE9\\", "px714.inf"}, {0, 0},
         {ArgSpec::Source::Literal, ArgSpec::Source::Literal}},  // UTF-8 in, code page 1252 out
        {"RemoveLegacyPlayerRemnants:0x0c", "RemoveLegacyPlayerRemnants", {""}, {12}, {ArgSpec::Source::Literal}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        CallSpec call;
        std::string error;
        ASSERT_TRUE(px714tool::ParseCall(row.text, cp1252, &call, &error)) << error;
        EXPECT_STREQ(call.function->name, row.function);
        ASSERT_EQ(call.args.size(), row.sources.size());
        for (size_t k = 0; k < call.args.size(); ++k) {
            EXPECT_EQ(call.args[k].source, row.sources[k]);
            EXPECT_EQ(call.args[k].text, row.texts[k]);
            EXPECT_EQ(call.args[k].number, row.numbers[k]);
        }
    }
}

TEST(ToolCallSyntaxTest, BadCallsAreRefusedWithAReason) {
    sim::CodePage cp1252(1252);
    const std::string longName = "RemoveInstalledLegacyPlayer:1," + std::string(128, 'N');
    struct Row {
        const char* text;
        const char* message;
    } rows[] = {
        {"RemoveEverything", "no export is named 'RemoveEverything'"},
        {"RemoveLegacyPlayerHook:now", "RemoveLegacyPlayerHook takes no arguments"},
        {"InstallFilter", "InstallFilter takes service name, driver path"},
        {"InstallFilter:Vxfilter", "separated by ','"},
        {"RemoveLegacyPlayerRemnants:38", "must be a catalogue row, 0 to 37"},
        {"RemoveLegacyPlayerRemnants:-1", "must be a catalogue row"},
        {"RemoveLegacyPlayerRemnants:$name", "$name cannot stand for RemoveLegacyPlayerRemnants's player index"},
        {"RemoveDeviceForDeviceType:USB,$index", "$index cannot stand for"},
        {"RemoveDeviceForDeviceType:USB,DEVICETYPE_FLOPPY", "DEVICETYPE_USB (0) to DEVICETYPE_MP3_USB (6)"},
        {"RemoveDeviceForDeviceType:USB,4294967296", "must be a number"},
        {"CheckServiceName:$service", "unknown variable $service"},
        {"CheckServiceName:\xE2\x82\xAC\xE2\x86\x92", "a character that code page 1252 cannot hold"},  // € fits, → does not
        {longName.c_str(), "longer than the 127 characters"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        CallSpec call;
        std::string error;
        EXPECT_FALSE(px714tool::ParseCall(row.text, cp1252, &call, &error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
    }
}

TEST(ToolCallSyntaxTest, TheTableNamesTheFourteenExportsInOrdinalOrder) {
    const char* names[] = {"CheckServiceName", "FindLegacyPlayers", "InstallFilter", "RegisterInf",
                           "RemoveDeviceForDeviceType", "RemoveDeviceRegEntries", "RemoveFilter",
                           "RemoveInstalledLegacyPlayer", "RemoveLegacyPlayerDrivers", "RemoveLegacyPlayerHook",
                           "RemoveLegacyPlayerRemnants", "RemovePlayerRemnants", "RemoveVolumeRegEntries", "UpdateInf"};
    const int argCounts[] = {1, 0, 2, 2, 2, 0, 2, 2, 0, 0, 1, 0, 0, 2};
    ASSERT_EQ(px714tool::Exports().size(), 14u);
    for (int i = 0; i < 14; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_STREQ(px714tool::Exports()[i].name, names[i]);
        EXPECT_EQ(px714tool::Exports()[i].ordinal, i + 1);
        EXPECT_EQ(px714tool::Exports()[i].argCount, argCounts[i]);
    }
}

// ---------------------------------------------------------------- session

// Stand-in exports that act on the current machine as an export would.
int g_seenNumber = 0;
std::string g_seenText;

ExportInfo TestExport(const char* name, int argCount, px714tool::ArgKind first, px714tool::ArgKind second,
                      int (*invoke)(const px714tool::CallArguments&)) {
    return ExportInfo{name, 99, argCount, {first, second}, {"first", "second"}, invoke};
}

CallSpec CallOf(const ExportInfo* function, std::vector<ArgSpec> args) { return CallSpec{function, args}; }

ArgSpec Variable(ArgSpec::Source source) {
    ArgSpec arg;
    arg.source = source;
    return arg;
}

TEST(ToolSessionTest, FindLegacyPlayersFeedsTheCallsAfterIt) {
    sim::Machine machine(sim::Os::WinXp);
    std::string key = std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
                      LegacyPlayerCatalogue[11].UninstallKey;
    machine.registry.CreatePath(key)->SetValue("DisplayName", REG_SZ, "Music Box MP3 Player", 21);
    // A removal that rewrites the name in place, as RemoveInstalledLegacyPlayer may.
    ExportInfo rewrite = TestExport("Rewrite", 2, px714tool::ArgKind::PlayerIndex, px714tool::ArgKind::DisplayName,
                                    [](const px714tool::CallArguments& a) {
                                        g_seenNumber = static_cast<int>(a.number);
                                        OutputDebugStringA("\nFound ");
                                        OutputDebugStringA(a.displayName);
                                        OutputDebugStringA("\n");
                                        std::strcpy(a.displayName, "Music Box MP3 Player");
                                        return 1;
                                    });
    ExportInfo show = TestExport("Show", 1, px714tool::ArgKind::Text, px714tool::ArgKind::Text,
                                 [](const px714tool::CallArguments& a) {
                                     g_seenText = a.text[0];
                                     OutputDebugStringA("no line end");
                                     return 0;
                                 });
    px714tool::Session session(machine);
    CallRecord find = session.Call(CallOf(px714tool::FindExport("FindLegacyPlayers"), {}));
    EXPECT_EQ(find.status, CallStatus::Ran);
    EXPECT_EQ(find.result, 1);
    EXPECT_TRUE(find.playerFound);
    EXPECT_EQ(find.playerIndex, 11u);
    EXPECT_EQ(find.displayName, "CMTech Music Box MP3 Player");

    CallRecord removal = session.Call(CallOf(&rewrite, {Variable(ArgSpec::Source::PlayerIndex),
                                                        Variable(ArgSpec::Source::DisplayName)}));
    EXPECT_EQ(g_seenNumber, 11);
    EXPECT_EQ(removal.arguments, (std::vector<std::string>{"11", "CMTech Music Box MP3 Player"}));
    EXPECT_EQ(removal.trace, (std::vector<std::string>{"\nFound ", "CMTech Music Box MP3 Player", "\n"}));
    EXPECT_EQ(px714tool::TraceLines(removal.trace), (std::vector<std::string>{"", "Found CMTech Music Box MP3 Player"}));
    EXPECT_TRUE(removal.displayNameRewritten);
    EXPECT_EQ(removal.displayNameAfter, "Music Box MP3 Player");

    // $name is the setup program's buffer: the rewrite shows in later calls.
    CallRecord later = session.Call(CallOf(&show, {Variable(ArgSpec::Source::DisplayName)}));
    EXPECT_EQ(g_seenText, "Music Box MP3 Player");
    EXPECT_EQ(px714tool::TraceLines(later.trace), std::vector<std::string>{"no line end"});
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST(ToolSessionTest, SkippedAndLeftOpenCalls) {
    sim::Machine machine(sim::Os::Win98);
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zumra]\n");
    px714tool::Session session(machine);
    g_seenNumber = -1;
    ExportInfo needsIndex = TestExport("NeedsIndex", 1, px714tool::ArgKind::PlayerIndex, px714tool::ArgKind::Text,
                                       [](const px714tool::CallArguments& a) {
                                           g_seenNumber = static_cast<int>(a.number);
                                           return 0;
                                       });
    ExportInfo leaks = TestExport("Leaks", 0, px714tool::ArgKind::Text, px714tool::ArgKind::Text,
                                  [](const px714tool::CallArguments&) {
                                      HKEY key = nullptr;
                                      return static_cast<int>(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Zumra", &key));
                                  });

    EXPECT_EQ(session.Call(CallOf(px714tool::FindExport("FindLegacyPlayers"), {})).result, 0);
    CallRecord skipped = session.Call(CallOf(&needsIndex, {Variable(ArgSpec::Source::PlayerIndex)}));
    EXPECT_EQ(skipped.status, CallStatus::Skipped);
    EXPECT_EQ(skipped.arguments, std::vector<std::string>{"$index"});
    EXPECT_EQ(g_seenNumber, -1);  // not called

    CallRecord leaked = session.Call(CallOf(&leaks, {}));
    EXPECT_EQ(leaked.status, CallStatus::Ran);
    EXPECT_EQ(leaked.leftOpen, 1u);
    EXPECT_NE(leaked.leftOpenReport.find("registry keys 1"), std::string::npos);
}

TEST(ToolSessionTest, NtEnumKeysOpenForReadingOnly) {
    const char* tree = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C]\n"
                       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi]\n"
                       "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_066F&PID_3400\\5&2C]\n";
    sim::Machine xp(sim::Os::WinXp);
    xp.LoadReg(tree);
    EXPECT_EQ(px714tool::RestrictNtEnum(xp), 4u);  // Enum, USB, the device and its instance
    sim::ScopedMachine scope(xp);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, "5&2C"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Vxscsi", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);  // the rest of SYSTEM is open
    RegCloseKey(key);
    EXPECT_EQ(xp.OpenHandleCount(), 0u);

    sim::Machine win98(sim::Os::Win98);  // 95/98/Me have no such rights
    win98.LoadReg(tree);
    EXPECT_EQ(px714tool::RestrictNtEnum(win98), 0u);
    EXPECT_FALSE(win98.registry.FindPath("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB")->restricted);
}

TEST(ToolSessionTest, PreviewRunsTheSetupSequenceInOrder) {
    std::vector<CallSpec> calls = px714tool::PreviewCalls(px714tool::PreviewArguments());
    std::vector<std::string> names;
    for (const CallSpec& c : calls) names.push_back(c.function->name);
    EXPECT_EQ(names, (std::vector<std::string>{"FindLegacyPlayers", "RemoveInstalledLegacyPlayer",
                                                "RemoveLegacyPlayerRemnants", "RemoveLegacyPlayerDrivers",
                                                "RemoveLegacyPlayerHook", "RemoveDeviceRegEntries",
                                                "RemoveVolumeRegEntries", "RemovePlayerRemnants", "CheckServiceName",
                                                "RegisterInf", "InstallFilter"}));
    EXPECT_EQ(calls[1].args[0].source, ArgSpec::Source::PlayerIndex);
    EXPECT_EQ(calls[1].args[1].source, ArgSpec::Source::DisplayName);
    EXPECT_EQ(calls[2].args[0].source, ArgSpec::Source::PlayerIndex);
    EXPECT_EQ(calls[8].args[0].text, "Vxfilter");
    EXPECT_LE(calls[10].args[0].text.size(), 23u);  // InstallFilter's service name buffer holds 23
}

// -------------------------------------------------------- changes and undo

// A machine with a bit of everything, and the same machine after a run
// changed it in every way a run can.
const char kBefore[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\n@=\"default\"\n\"Bytes\"=hex:01,02\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Deeper]\n\"Multi\"=hex(7):61,00,62,00,00,00\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kept]\n\"Changed\"=dword:00000001\n\"Retyped\"=\"1\"\n\"Removed\"=hex(2):25,00\n"
    "\"Quote \\\"q\\\"\"=\"C:\\\\x\"\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vxfilter]\n\"Start\"=dword:00000000\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2]\n"
    "\"HardwareID\"=hex(7):55,53,42,5c,56,69,64,00,00\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2\\Control]\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\SCSI\\ZMRA714_PX714___________1.00\\PX714&0]\n"
    "\"HardwareID\"=\"ZMRA714_PX714___________1.00,GenDisk\"\n"
    "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_066F]\n\"HardwareID\"=\"not an instance\"\n"
    "[HKEY_CURRENT_USER\\Software\\Menu]\n\"Order\"=hex:08\n"
    "[HKEY_CLASSES_ROOT\\Drive\\shellex\\ContextMenuHandlers\\Menu]\n@=\"{343DA396-6C33-42EB-9478-C1EAF35FB908}\"\n";

void ChangeLikeARun(sim::Machine& m) {
    sim::Key* software = m.registry.FindPath("HKLM\\SOFTWARE");
    software->RemoveSubkey(software->FindSubkey("Gone"));
    sim::Key* kept = m.registry.FindPath("HKLM\\SOFTWARE\\Kept");
    uint32_t two = 2;
    kept->SetValue("Changed", REG_DWORD, &two, 4);
    kept->SetValue("Retyped", REG_BINARY, "\x01", 1);
    kept->RemoveValue("Removed");
    kept->SetValue("New", REG_SZ, "", 1);
    // A key deleted and made anew under other letter case.
    software->RemoveSubkey(software->FindSubkey("Vxfilter"));
    m.registry.CreatePath("HKLM\\SOFTWARE\\VXFILTER")->SetValue("Start", REG_DWORD, "\0\0\0\0", 4);
    m.registry.CreatePath("HKLM\\SOFTWARE\\Made\\Below")->SetValue("", REG_SZ, "x", 2);
    sim::Key* usb = m.registry.FindPath("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB");
    usb->RemoveSubkey(usb->FindSubkey("Vid_066F&Pid_3400"));
    sim::Key* scsi = m.registry.FindPath("HKLM\\Enum\\SCSI");
    scsi->RemoveSubkey(scsi->FindSubkey("ZMRA714_PX714___________1.00"));
    sim::Key* enumUsb = m.registry.FindPath("HKLM\\Enum\\USB");
    enumUsb->RemoveSubkey(enumUsb->FindSubkey("VID_066F"));
    m.registry.FindPath("HKCU\\Software")->RemoveSubkey(m.registry.FindPath("HKCU\\Software\\Menu"));
    m.registry.FindPath("HKCR\\Drive\\shellex\\ContextMenuHandlers\\Menu")->SetValue("Default", REG_SZ, "", 1);
}

// Each change as one line: kind, path, value name, detail, value count.
std::vector<std::string> ChangeLines(const px714tool::Changes& changes) {
    std::vector<std::string> lines;
    for (const px714tool::Change& c : changes.items) {
        std::string line = std::string(px714tool::ChangeKindName(c.kind)) + " " + c.path;
        if (!c.valueName.empty()) line += " \"" + c.valueName + "\"";
        if (!c.detail.empty()) line += " (" + c.detail + ")";
        if (c.kind == ChangeKind::KeyDeleted) line += " " + std::to_string(c.count);
        lines.push_back(line);
    }
    return lines;
}

TEST(ToolChangesTest, EveryKeyValueAndDeviceNodeThatChanged) {
    sim::Machine before(sim::Os::WinXp);
    before.LoadReg(kBefore);
    sim::Machine after = before;
    ChangeLikeARun(after);
    px714tool::Changes changes = px714tool::DiffMachines(before, after);
    std::vector<std::string> lines = ChangeLines(changes);
    const std::string hklm = "HKEY_LOCAL_MACHINE\\";
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "keyDeleted " + hklm + "Enum\\SCSI\\ZMRA714_PX714___________1.00 0",
                         "keyDeleted " + hklm + "Enum\\SCSI\\ZMRA714_PX714___________1.00\\PX714&0 1",
                         "valueDeleted " + hklm + "Enum\\SCSI\\ZMRA714_PX714___________1.00\\PX714&0 \"HardwareID\"",
                         "deviceNodeRemoved SCSI\\ZMRA714_PX714___________1.00\\PX714&0 (ZMRA714_PX714___________1.00)",
                         "keyDeleted " + hklm + "Enum\\USB\\VID_066F 1",  // a device key, not an instance
                         "valueDeleted " + hklm + "Enum\\USB\\VID_066F \"HardwareID\"",
                         "valueAdded " + hklm + "SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu \"Default\"",
                         "keyDeleted " + hklm + "SOFTWARE\\Gone 2",
                         "valueDeleted " + hklm + "SOFTWARE\\Gone",
                         "valueDeleted " + hklm + "SOFTWARE\\Gone \"Bytes\"",
                         "keyDeleted " + hklm + "SOFTWARE\\Gone\\Deeper 1",
                         "valueDeleted " + hklm + "SOFTWARE\\Gone\\Deeper \"Multi\"",
                         "valueSet " + hklm + "SOFTWARE\\Kept \"Changed\"",
                         "valueSet " + hklm + "SOFTWARE\\Kept \"Retyped\"",
                         "valueDeleted " + hklm + "SOFTWARE\\Kept \"Removed\"",
                         "valueAdded " + hklm + "SOFTWARE\\Kept \"New\"",
                         "keyAdded " + hklm + "SOFTWARE\\Made",
                         "keyAdded " + hklm + "SOFTWARE\\Made\\Below",
                         "valueAdded " + hklm + "SOFTWARE\\Made\\Below",
                         "keyAdded " + hklm + "SOFTWARE\\VXFILTER",
                         "valueAdded " + hklm + "SOFTWARE\\VXFILTER \"Start\"",
                         "keyDeleted " + hklm + "SOFTWARE\\Vxfilter 1",
                         "valueDeleted " + hklm + "SOFTWARE\\Vxfilter \"Start\"",
                         "keyDeleted " + hklm + "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400 0",
                         "keyDeleted " + hklm + "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2 1",
                         "valueDeleted " + hklm + "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2 \"HardwareID\"",
                         "deviceNodeRemoved USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2 (USB\\Vid)",
                         "keyDeleted " + hklm + "SYSTEM\\CurrentControlSet\\Enum\\USB\\Vid_066F&Pid_3400\\5&2C3A4B1&0&2\\Control 0",
                         "keyDeleted HKEY_CURRENT_USER\\Software\\Menu 1",
                         "valueDeleted HKEY_CURRENT_USER\\Software\\Menu \"Order\"",
                     }));
    EXPECT_EQ(changes.Count(ChangeKind::DeviceNodeRemoved), 2u);
    EXPECT_TRUE(px714tool::DiffMachines(before, before).empty());
}

// Services as the service manager sees them, changed through its own
// functions and behind its back.
TEST(ToolChangesTest, ServicesCreatedDeletedStartedAndStopped) {
    const char* services =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Gone]\n\"Type\"=dword:00000001\n"
        "\"Start\"=dword:00000003\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Halted]\n\"Type\"=dword:00000010\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Kept]\n\"Type\"=dword:00000001\n"
        "\"Start\"=dword:00000002\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Marked]\n\"Type\"=dword:00000001\n"
        "\"Start\"=dword:00000000\n\"Group\"=\"SCSI miniport\"\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Remade]\n\"Type\"=dword:00000002\n"
        "\"Start\"=dword:00000000\n\"Group\"=\"filter\"\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Untouched]\n\"Type\"=dword:00000001\n";
    sim::Machine before(sim::Os::WinXp);
    before.LoadReg(services);
    for (const char* running : {"Halted", "Marked", "Untouched"}) before.services.SetRunning(running, true);
    sim::Machine after = before;
    {
        sim::ScopedMachine scope(after);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        auto open = [&](const char* name) { return OpenServiceA(manager, name, SERVICE_ALL_ACCESS); };
        SERVICE_STATUS status;
        SC_HANDLE s = open("Halted");
        EXPECT_TRUE(ControlService(s, SERVICE_CONTROL_STOP, &status));
        CloseServiceHandle(s);
        s = open("Kept");
        EXPECT_TRUE(StartServiceA(s, 0, nullptr));
        CloseServiceHandle(s);
        s = open("Marked");  // running: the deletion waits for its stop
        EXPECT_TRUE(DeleteService(s));
        CloseServiceHandle(s);
        s = open("Remade");  // deleted, then made anew as it was
        EXPECT_TRUE(DeleteService(s));
        CloseServiceHandle(s);
        for (const char* name : {"Remade", "Made"}) {
            s = CreateServiceA(manager, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_FILE_SYSTEM_DRIVER,
                               SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, "x.sys", "filter", nullptr, nullptr,
                               nullptr, nullptr);
            ASSERT_NE(s, nullptr) << name;
            if (std::strcmp(name, "Made") == 0) EXPECT_TRUE(StartServiceA(s, 0, nullptr));
            CloseServiceHandle(s);
        }
        CloseServiceHandle(manager);
        EXPECT_EQ(after.OpenHandleCount(), 0u);
    }
    sim::Key* all = after.registry.FindPath("HKLM\\SYSTEM\\CurrentControlSet\\Services");
    all->RemoveSubkey(all->FindSubkey("Gone"));  // a key deleted as a registry key

    px714tool::Changes changes;
    px714tool::DiffServices(before, after, &changes);
    EXPECT_EQ(ChangeLines(changes), (std::vector<std::string>{
                                        "serviceDeleted Gone (kernel driver, demand start)",
                                        "serviceStopped Halted",
                                        "serviceStarted Kept",
                                        "serviceCreated Made (file system driver, boot start, group filter)",
                                        "serviceStarted Made",
                                        "serviceDeleted Marked (marked for deletion: it goes once it has stopped)",
                                        "serviceDeleted Remade (file system driver, boot start, group filter)",
                                        "serviceCreated Remade (file system driver, boot start, group filter)",
                                    }));
    // The whole comparison puts them after the registry's changes.
    px714tool::Changes whole = px714tool::DiffMachines(before, after);
    ASSERT_GE(whole.items.size(), changes.items.size());
    EXPECT_EQ(whole.items.back().kind, ChangeKind::ServiceCreated);
    EXPECT_EQ(whole.Count(ChangeKind::ServiceDeleted), 3u);

    // 95/98/Me have no service database: their Services\Class keys are not services.
    sim::Machine win98(sim::Os::Win98);
    win98.LoadReg("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\VxMp3Player]\n");
    sim::Machine win98After(sim::Os::Win98);
    px714tool::Changes none;
    px714tool::DiffServices(win98, win98After, &none);
    EXPECT_TRUE(none.empty());
}

TEST(ToolChangesTest, FilesAndFoldersThatWentCameOrChanged) {
    sim::Machine before(sim::Os::WinXp);
    before.files.Load(R"(
        C:\Program Files\Vendor\Player\app.exe
        C:\Program Files\Vendor\Player\Skins\blue.skn
        C:\Program Files\Vendor\readme.txt readonly
        C:\Program Files\Other\keep.exe
        C:\WINDOWS\system32\hook.dll
        C:\WINDOWS\inf\oem0.inf
        C:\WINDOWS\Empty\
        C:\Was a folder\inner.txt
    )");
    before.files.SetFileText("C:\\WINDOWS\\inf\\oem1.inf", "[Version]\r\n");
    sim::Machine after = before;
    sim::FileSystem& fs = after.files;
    fs.Lookup("C:\\Program Files")->Remove("Vendor");  // a folder with everything in it
    fs.Lookup("C:\\WINDOWS\\system32")->Remove("hook.dll");
    fs.Lookup("C:\\WINDOWS")->Remove("Empty");
    fs.Lookup("C:\\")->Remove("Was a folder");
    fs.AddFile("C:\\Was a folder");                      // a file where the folder was
    fs.SetFileText("C:\\WINDOWS\\inf\\oem1.inf", "[Version]\r\nDriverVer=01/01/2004\r\n");
    fs.Lookup("C:\\WINDOWS\\inf\\oem0.inf")->attributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    fs.SetFileText("C:\\WINDOWS\\inf\\oem2.inf", "[Version]\r\n");
    fs.AddFolder("D:\\New\\Deeper\\");

    px714tool::Changes changes;
    px714tool::DiffFiles(before.files, after.files, &changes);
    EXPECT_EQ(ChangeLines(changes), (std::vector<std::string>{
                                        "fileDeleted C:\\Program Files\\Vendor\\Player\\app.exe",
                                        "fileDeleted C:\\Program Files\\Vendor\\Player\\Skins\\blue.skn",
                                        "folderRemoved C:\\Program Files\\Vendor\\Player\\Skins",
                                        "folderRemoved C:\\Program Files\\Vendor\\Player",
                                        "fileDeleted C:\\Program Files\\Vendor\\readme.txt",
                                        "folderRemoved C:\\Program Files\\Vendor",
                                        "fileDeleted C:\\Was a folder\\inner.txt",
                                        "folderRemoved C:\\Was a folder",
                                        "fileAdded C:\\Was a folder",
                                        "folderRemoved C:\\WINDOWS\\Empty",
                                        "fileChanged C:\\WINDOWS\\inf\\oem0.inf (attributes none -> readonly hidden)",
                                        "fileChanged C:\\WINDOWS\\inf\\oem1.inf (contents replaced)",
                                        "fileAdded C:\\WINDOWS\\inf\\oem2.inf",
                                        "fileDeleted C:\\WINDOWS\\system32\\hook.dll",
                                        "folderAdded D:\\New",
                                        "folderAdded D:\\New\\Deeper",
                                    }));
    px714tool::Changes none;
    px714tool::DiffFiles(before.files, before.files, &none);
    EXPECT_TRUE(none.empty());
}

TEST(ToolChangesTest, TheUndoFileImportedIntoTheAfterStateGivesBackTheMachine) {
    for (sim::RegFormat format : {sim::RegFormat::Version5, sim::RegFormat::Regedit4}) {
        SCOPED_TRACE(format == sim::RegFormat::Version5 ? "version 5" : "REGEDIT4");
        sim::Machine before(sim::Os::WinXp);
        before.LoadReg(kBefore);
        sim::Machine after = before;
        ChangeLikeARun(after);
        std::string undo = px714tool::UndoReg(before.registry, after.registry, format, 1252);

        // As a user would: the after-state exported, imported, and the undo file on top.
        sim::Machine restored(sim::Os::WinXp);
        sim::RegError error;
        ASSERT_TRUE(sim::ImportReg(restored.registry, sim::ExportAll(after.registry, sim::RegFormat::Version5, 1252), {},
                                   nullptr, &error))
            << error.message;
        ASSERT_TRUE(sim::ImportReg(restored.registry, undo, {}, nullptr, &error))
            << "line " << error.line << ": " << error.message;
        px714tool::Changes left = px714tool::DiffMachines(before, restored);
        EXPECT_TRUE(left.empty()) << left.items.size() << " differences, the first at " << left.items[0].path;
    }
}

TEST(ToolChangesTest, TheUndoFileSaysWhatItRestores) {
    sim::Machine before;
    before.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"old\"\n\"gone\"=dword:00000007\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Sub]\n@=\"s\"\n");
    sim::Machine after = before;
    after.LoadReg("[-HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Sub]\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"v\"=\"new\"\n"
                  "\"gone\"=-\n\"added\"=\"1\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\B\\C]\n");
    EXPECT_EQ(px714tool::UndoReg(before.registry, after.registry, sim::RegFormat::Regedit4, 1252),
              "REGEDIT4\r\n"
              "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\r\n"
              "\"v\"=\"old\"\r\n"
              "\"gone\"=dword:00000007\r\n"
              "\"added\"=-\r\n"
              "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\Sub]\r\n"
              "@=\"s\"\r\n"
              "\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\B]\r\n"
              "\r\n");
}

// ------------------------------------------------------------------- JSON

TEST(ToolJsonTest, EscapesAndNests) {
    std::string text;
    px714tool::JsonWriter json(&text);
    json.BeginObject();
    json.Member("text", "a\"b\\c\n\t\x01\xC3\xA9");
    json.Key("list");
    json.BeginArray();
    json.Number(-1);
    json.Bool(true);
    json.Null();
    json.BeginObject();
    json.EndObject();
    json.EndArray();
    json.Key("empty");
    json.BeginArray();
    json.EndArray();
    json.EndObject();
    EXPECT_EQ(text,
              "{\n"
              "  \"text\": \"a\\\"b\\\\c\\n\\t\\u0001\xC3\xA9\",\n"
              "  \"list\": [\n"
              "    -1,\n"
              "    true,\n"
              "    null,\n"
              "    {}\n"
              "  ],\n"
              "  \"empty\": []\n"
              "}\n");
}

// ----------------------------------------------------------- command line

struct Outcome {
    int code;
    std::string out, err;
};

Outcome Tool(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = px714tool::Main(args, out, err);
    return Outcome{code, out.str(), err.str()};
}

std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "px714sup_tool_test_" + name;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(ToolCommandLineTest, ExitCodesAndMessages) {
    std::string good = TempPath("good.reg"), bad = TempPath("bad.reg");
    WriteBytes(good, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n");
    WriteBytes(bad, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=dword:1g\r\n");
    struct Row {
        std::vector<std::string> args;
        int code;
        const char* err;  // a part of standard error ("" for none)
    } rows[] = {
        {{}, 1, "name a command"},
        {{"remove"}, 1, "unknown command 'remove'"},
        {{"preview", "--registry", good}, 1, "--os is required"},
        {{"preview", "--os", "win31", "--registry", good}, 1, "unknown version 'win31'"},
        {{"preview", "--os", "winxp"}, 1, "--registry FILE is required"},
        {{"preview", "--os", "winxp", "--registry"}, 1, "--registry needs a value"},
        {{"preview", "--os", "winxp", "--registry", good, "--codepage", "7"}, 1, "not a code page"},
        {{"preview", "--os", "winxp", "--registry", good, "--bogus"}, 1, "'--bogus' is not an option of preview"},
        {{"run", "--os", "winxp", "--registry", good}, 1, "name at least one CALL"},
        {{"run", "--os", "winxp", "--registry", good, "InstallFilter:x"}, 1, "separated by ','"},
        {{"demo", "--os", "winxp"}, 1, "'--os' is not an option of demo"},
        {{"preview", "--os", "winxp", "--registry", bad}, 2, "bad.reg:4:12: dword: takes hexadecimal digits only"},
        {{"preview", "--os", "winxp", "--registry", good, "--registry", TempPath("missing.reg")}, 2, "cannot read"},
        {{"check", "--registry", bad}, 2, "bad.reg:4:12:"},
        {{"preview", "--os", "winxp", "--registry", good, "--undo", "/nonexistent-dir/undo.reg"}, 3,
         "cannot write /nonexistent-dir/undo.reg"},
        {{"preview", "--os", "win98", "--registry", good}, 0, ""},
        {{"run", "--os", "nt4", "--registry", good, "FindLegacyPlayers"}, 0, ""},
        {{"help", "run"}, 0, ""},
        {{"preview", "--help"}, 0, ""},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& a : row.args) joined += a + " ";
        SCOPED_TRACE(joined);
        Outcome o = Tool(row.args);
        EXPECT_EQ(o.code, row.code) << o.err;
        if (*row.err) EXPECT_NE(o.err.find(row.err), std::string::npos) << o.err;
        if (row.code == 0) EXPECT_EQ(o.err, "");
        if (row.code == 2) {
            EXPECT_EQ(o.out, "");  // nothing was run
            EXPECT_NE(o.err.find("nothing was run"), std::string::npos);
        }
    }
}

TEST(ToolCommandLineTest, DemoPreviewsBothSampleMachines) {
    Outcome text = Tool({"demo"});
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("Windows 98 machine"), std::string::npos);
    EXPECT_NE(text.out.find("found player 0, \"Vantorix MP3 Player\""), std::string::npos);
    EXPECT_NE(text.out.find("Windows XP machine"), std::string::npos);
    EXPECT_NE(text.out.find("found player 11, \"CMTech Music Box MP3 Player\""), std::string::npos);
    EXPECT_NE(text.out.find("keys of the Enum tree open for reading only"), std::string::npos);
    // Every kind of effect shows: on 98 the player's five program files, two
    // uninstall files, three shortcuts and four driver files with their
    // four folders, and the INF copied from the driver disc; on XP also the
    // legacy services and the filter service made anew. Its program folder
    // held the uninstall folder when it was cleaned, so it stays, and so
    // does the company folder above it.
    for (const char* part : {
             "         14 files deleted, 4 folders removed, 1 file added\n",
             "  - folder C:\\Program Files\\Vantorix\n",
             "  + file   C:\\WINDOWS\\INF\\oem0.inf\n",
             "         1 service created, 3 services deleted, 1 service started\n"
             "         12 files deleted, 2 folders removed, 1 file added\n",
             "  - service Mp3Drv  (kernel driver, demand start)\n"
             "  - service Vxfilter  (file system driver, boot start, group filter)\n"
             "  + service Vxfilter  (file system driver, boot start, group filter)\n"
             "  * service Vxfilter  started\n"
             "  - service Vxscsi  (kernel driver, demand start, group SCSI miniport)\n",
             "  - folder C:\\Program Files\\CMTech\\Music Box\\Uninstall\n",
             "  + file   C:\\WINDOWS\\inf\\oem0.inf\n",
         })
        EXPECT_NE(text.out.find(part), std::string::npos) << part;
    EXPECT_EQ(text.out.find("  - folder C:\\Program Files\\CMTech\\Music Box\n"), std::string::npos);
    EXPECT_EQ(text.out.find("  - folder C:\\Program Files\\CMTech\n"), std::string::npos);
    Outcome json = Tool({"demo", "--json"});
    ASSERT_EQ(json.code, 0);
    EXPECT_EQ(json.out.rfind("{\n  \"command\": \"demo\",\n  \"runs\": [\n", 0), 0u);
    EXPECT_NE(json.out.find("\"displayName\": \"CMTech Music Box MP3 Player\""), std::string::npos);
}

// What the issue asks of a preview: its undo file, imported into its after
// file, gives back the machine it started from; on both sample machines.
TEST(ToolCommandLineTest, PreviewUndoImportedIntoItsAfterStateRestoresTheMachine) {
    for (const px714tool::Sample& sample : px714tool::Samples()) {
        SCOPED_TRACE(sample.file);
        std::string input = TempPath(std::string("in_") + sample.file);
        std::string undo = TempPath(std::string("undo_") + sample.file);
        std::string after = TempPath(std::string("after_") + sample.file);
        WriteBytes(input, std::string(sample.text));
        Outcome o = Tool({"preview", "--os", sim::OsName(sample.os), "--registry", input, "--undo", undo, "--after", after});
        ASSERT_EQ(o.code, 0) << o.err;

        sim::Machine original(sample.os);
        ASSERT_TRUE(sim::ImportReg(original.registry, sample.text, {}, nullptr, nullptr));
        sim::Machine restored(sample.os);
        sim::RegError error;
        ASSERT_TRUE(sim::ImportReg(restored.registry, ReadBytes(after), {}, nullptr, &error)) << error.message;
        ASSERT_TRUE(sim::ImportReg(restored.registry, ReadBytes(undo), {}, nullptr, &error)) << error.message;
        EXPECT_TRUE(px714tool::DiffMachines(original, restored).empty());
        // The undo file is what regedit imports: version 5, UTF-16LE.
        EXPECT_EQ(ReadBytes(undo).substr(0, 4), std::string("\xFF\xFEW\0", 4));
    }
}

// ------------------------------------------------------------ --files DIR

namespace fs = std::filesystem;

// A fresh folder for one test's host tree.
fs::path FreshFolder(const std::string& name) {
    fs::path dir = TempPath(name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// The host copy of a simulated file system: DIR/<drive>/..., each file
// with the text the machine holds for it, read-only files without write
// permission.
void CopyToHost(const sim::FileSystem& files, const fs::path& dir) {
    std::istringstream listing(files.Listing());
    std::string line;
    while (std::getline(listing, line)) {
        bool readOnly = line.find(" readonly") != std::string::npos;
        for (const char* word : {" readonly", " hidden", " system", " in-use"}) {
            size_t at = line.find(word);
            if (at != std::string::npos) line.erase(at, std::strlen(word));
        }
        bool folder = line.back() == '\\';
        std::string rest = line.substr(3);
        std::replace(rest.begin(), rest.end(), '\\', '/');
        fs::path host = dir / line.substr(0, 1) / rest;
        if (folder) {
            fs::create_directories(host);
            continue;
        }
        fs::create_directories(host.parent_path());
        const sim::FileNode* node = files.Lookup(line);
        WriteBytes(host.string(), node->text.value_or(""));
        if (readOnly) fs::permissions(host, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
}

// The report from the first call on, where the machines' descriptions end.
std::string CallsAndChanges(const std::string& report) {
    size_t start = report.find("\n[1] ");
    return start == std::string::npos ? std::string() : report.substr(start);
}

// A copy of each sample machine's drives, loaded with --files, is the
// machine the demo previews: the same listing, texts and outcome.
TEST(ToolFilesTest, AHostCopyOfTheSamplesLoadsAsTheSamples) {
    Outcome demo = Tool({"demo"});
    ASSERT_EQ(demo.code, 0) << demo.err;
    for (const px714tool::Sample& sample : px714tool::Samples()) {
        SCOPED_TRACE(sample.file);
        sim::Machine machine(sample.os);
        px714tool::LoadSampleFiles(sample, &machine.files);
        fs::path dir = FreshFolder(std::string("copy_") + sample.file);
        CopyToHost(machine.files, dir);

        sim::FileSystem loaded;
        std::vector<std::string> notes;
        std::string error;
        ASSERT_TRUE(px714tool::LoadHostFolder(dir.string(), sim::CodePage(1252), &loaded, &notes, &error)) << error;
        EXPECT_TRUE(notes.empty());
        // Only the read-only attribute comes from the host.
        std::string expected = machine.files.Listing();
        for (const char* word : {" hidden", " system", " in-use"}) {
            for (size_t at; (at = expected.find(word)) != std::string::npos;) expected.erase(at, std::strlen(word));
        }
        EXPECT_EQ(loaded.Listing(), expected);
        EXPECT_EQ(loaded.Lookup(px714tool::kSampleInfPath)->text, std::string(px714tool::SampleInfText()));
        EXPECT_EQ(loaded.Lookup(px714tool::kSampleInfPath)->size, px714tool::SampleInfText().size());
        EXPECT_FALSE(loaded.Lookup("D:\\Setup.exe")->text.has_value());  // not an INF: its contents are not read

        std::string reg = TempPath(std::string("copy_in_") + sample.file);
        WriteBytes(reg, std::string(sample.text));
        Outcome preview = Tool({"preview", "--os", sim::OsName(sample.os), "--registry", reg, "--files", dir.string()});
        ASSERT_EQ(preview.code, 0) << preview.err;
        px714tool::FileCensus census = px714tool::CountFiles(loaded);
        EXPECT_NE(preview.out.find("  files    " + dir.string() + ": 2 drives, " + std::to_string(census.folders) +
                                   " folders, " + std::to_string(census.files) + " files"),
                  std::string::npos);
        std::string section = demo.out.substr(demo.out.find(sample.title));
        section = section.substr(0, section.find("\n=========="));
        EXPECT_EQ(CallsAndChanges(preview.out), CallsAndChanges(section));
        EXPECT_NE(section.find(" files deleted, "), std::string::npos);
        fs::remove_all(dir);
    }
}

TEST(ToolFilesTest, NamesAttributesTextsAndWhatIsPassedOver) {
    fs::path dir = FreshFolder("names");
    fs::create_directories(dir / "c" / "Empty");
    fs::create_directories(dir / "c" / "WINDOWS" / "inf");
    WriteBytes((dir / "c" / "WINDOWS" / "inf" / "OEM1.INF").string(), "[Version]\r\n");
    WriteBytes((dir / "c" / "WINDOWS" / "Caf\xC3\xA9.txt").string(), "12345");  // UTF-8 on the host
    fs::path locked = dir / "c" / "WINDOWS" / "locked.dll";
    WriteBytes(locked.string(), "");
    fs::permissions(locked, fs::perms::owner_read);
    fs::create_symlink(dir / "c" / "WINDOWS" / "inf" / "OEM1.INF", dir / "c" / "link.inf");  // followed
    ASSERT_EQ(mkfifo((dir / "c" / "pipe").c_str(), 0600), 0);

    sim::FileSystem files;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(px714tool::LoadHostFolder(dir.string(), sim::CodePage(1252), &files, &notes, &error)) << error;
    EXPECT_EQ(files.Listing(), "C:\\Empty\\\n"
                               "C:\\link.inf\n"
                               "C:\\WINDOWS\\Caf\xE9.txt\n"  // code page 1252
                               "C:\\WINDOWS\\inf\\OEM1.INF\n"
                               "C:\\WINDOWS\\locked.dll readonly\n");
    EXPECT_EQ(files.Lookup("C:\\WINDOWS\\inf\\oem1.inf")->text, "[Version]\r\n");
    EXPECT_EQ(files.Lookup("C:\\link.inf")->text, "[Version]\r\n");
    EXPECT_EQ(files.Lookup("C:\\WINDOWS\\Caf\xE9.txt")->size, 5u);
    EXPECT_EQ(notes, std::vector<std::string>{dir.string() +
                                              ": 1 entries that are neither files nor folders (devices, pipes, "
                                              "sockets) passed over"});
    px714tool::FileCensus census = px714tool::CountFiles(files);
    EXPECT_EQ(census.drives, 1u);
    EXPECT_EQ(census.folders, 3u);
    EXPECT_EQ(census.files, 4u);
    EXPECT_EQ(census.readOnly, 1u);
    EXPECT_EQ(census.texts, 2u);
    fs::remove_all(dir);
}

// RegisterInf finds its source among the copied files, and its copy is
// reported with the folders the copy needed.
TEST(ToolFilesTest, TheInfCopyIsReportedWithTheFoldersItNeeded) {
    fs::path dir = FreshFolder("inf_copy");
    fs::create_directories(dir / "D" / "Drivers");
    WriteBytes((dir / "D" / "Drivers" / "px714.inf").string(), std::string(px714tool::SampleInfText()));
    std::string reg = TempPath("inf_copy.reg");
    WriteBytes(reg, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n");
    Outcome o = Tool({"run", "--os", "win2000", "--registry", reg, "--files", dir.string(),
                      "RegisterInf:D:\\Drivers\\,px714.inf", "RegisterInf:D:\\Drivers\\,px714.inf"});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.out.find("[1] RegisterInf(\"D:\\Drivers\\\", \"px714.inf\") = 0\n"
                         "[2] RegisterInf(\"D:\\Drivers\\\", \"px714.inf\") = -1\n"  // the same INF is there now
                         "\n"
                         "Changes: 1 file added, 2 folders added\n"
                         "  + folder C:\\WINNT\n"
                         "  + folder C:\\WINNT\\inf\n"
                         "  + file   C:\\WINNT\\inf\\oem0.inf\n"),
              std::string::npos)
        << o.out;
    fs::remove_all(dir);
}

TEST(ToolFilesTest, AFolderThatIsNoCopyOfDrivesIsRefused) {
    struct Row {
        const char* name;
        std::vector<std::string> files;    // below the folder, '/' separated
        std::vector<std::string> folders;
        const char* link;                  // a link C/loop to C, when set
        const char* message;
    } rows[] = {
        {"no_drive", {"WINDOWS/explorer.exe"}, {}, nullptr, "/WINDOWS: not a drive folder; --files DIR holds one folder per drive"},
        {"file_at_top", {"C/x", "readme.txt"}, {}, nullptr, "/readme.txt: not a drive folder"},
        {"empty", {}, {}, nullptr, ": no drive folder in it"},
        {"twice", {"C/x", "c/y"}, {}, nullptr, "drive C: is there twice"},
        {"colon", {"C/a:b"}, {}, nullptr, "/C/a:b: not a Windows file name: it holds ':'"},
        {"dot", {"C/WINDOWS/name."}, {}, nullptr, "not a Windows file name: it ends in a dot or a blank"},
        {"control", {"C/a\tb"}, {}, nullptr, "it holds a control character"},
        {"case", {"C/Setup/App.exe", "C/Setup/APP.EXE"}, {}, nullptr,
         "/C/Setup/App.exe: 'APP.EXE' is there too; names that differ only in letter case"},
        {"code_page", {"C/\xE2\x86\x92.txt"}, {}, nullptr, "holds a character code page 1252 cannot hold"},
        {"not_utf8", {"C/\xFF.txt"}, {}, nullptr, "the name is not UTF-8"},
        {"loop", {}, {"C/Sub"}, "C/Sub/up", "/C/Sub/up: a link back to a folder above it"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path dir = FreshFolder(std::string("refused_") + row.name);
        for (const std::string& folder : row.folders) fs::create_directories(dir / folder);
        for (const std::string& file : row.files) {
            fs::create_directories((dir / file).parent_path());
            WriteBytes((dir / file).string(), "");
        }
        if (row.link) fs::create_directory_symlink(dir / "C", dir / row.link);
        sim::FileSystem files;
        std::vector<std::string> notes;
        std::string error;
        EXPECT_FALSE(px714tool::LoadHostFolder(dir.string(), sim::CodePage(1252), &files, &notes, &error));
        EXPECT_NE(error.find(row.message), std::string::npos) << error;
        fs::remove_all(dir);
    }

    // On the command line: exit code 2, nothing run.
    std::string reg = TempPath("refused.reg");
    WriteBytes(reg, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n");
    fs::path dir = FreshFolder("refused_cli");
    WriteBytes((dir / "WINDOWS").string(), "");
    Outcome o = Tool({"preview", "--os", "winxp", "--registry", reg, "--files", dir.string()});
    EXPECT_EQ(o.code, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_NE(o.err.find("/WINDOWS: not a drive folder"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("nothing was run"), std::string::npos);
    o = Tool({"preview", "--os", "winxp", "--registry", reg, "--files", TempPath("refused_missing")});
    EXPECT_EQ(o.code, 2);
    EXPECT_NE(o.err.find("cannot read " + TempPath("refused_missing") + ": No such file or directory"),
              std::string::npos) << o.err;
    o = Tool({"preview", "--os", "winxp", "--registry", reg, "--files", dir.string(), "--files", dir.string()});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("--files is given once"), std::string::npos) << o.err;
    fs::remove_all(dir);
}

TEST(ToolCommandLineTest, CheckExportGivesBackWhatRegeditWrote) {
    std::string input = TempPath("check_in.reg"), output = TempPath("check_out.reg");
    const std::string text =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zumra]\r\n\"Bytes\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,"
        "0e,0f,10,11,12,13,14,15,\\\r\n  16,17\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zumra\\Sub]\r\n@=\"x\"\r\n\r\n";
    WriteBytes(input, text);
    Outcome o = Tool({"check", "--registry", input, "--export", output});
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_NE(o.out.find("2 keys, 2 values"), std::string::npos) << o.out;
    EXPECT_EQ(ReadBytes(output), text);
}

}  // namespace
