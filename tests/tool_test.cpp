// The px714sup tool: call syntax, calls as a setup program makes them, the
// changes a run made, the undo file, and the command line's exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "legacy/catalogue.h"
#include "sim/machine.h"
#include "sim/regfile.h"
#include "tools/changes.h"
#include "tools/cli.h"
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

TEST(ToolChangesTest, EveryKeyValueAndDeviceNodeThatChanged) {
    sim::Machine before(sim::Os::WinXp);
    before.LoadReg(kBefore);
    sim::Machine after = before;
    ChangeLikeARun(after);
    px714tool::Changes changes = px714tool::DiffMachines(before, after);
    std::vector<std::string> lines;
    for (const px714tool::Change& c : changes.items) {
        std::string line = std::string(px714tool::ChangeKindName(c.kind)) + " " + c.path;
        if (!c.valueName.empty()) line += " \"" + c.valueName + "\"";
        if (!c.detail.empty()) line += " (" + c.detail + ")";
        if (c.kind == ChangeKind::KeyDeleted) line += " " + std::to_string(c.count);
        lines.push_back(line);
    }
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
        {{"preview", "--os", "winxp", "--registry", good, "--files", "/tmp"}, 1, "not available in this build"},
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
