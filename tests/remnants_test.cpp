// RemoveLegacyPlayerRemnants: a legacy player's device nodes, device keys
// and critical device database entries.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "legacy/catalogue.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

using Lines = std::vector<std::string>;

const char kCdd[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase";

// The steps a trace shows, one line each: device searches and removals,
// SCSI sweeps, and the keys the destroyers found and deleted.
Lines Steps(const Lines& t) {
    Lines steps;
    for (size_t i = 0; i < t.size(); ++i) {
        auto next = [&](size_t k) { return i + k < t.size() ? t[i + k] : std::string("?"); };
        if (t[i] == "\nSearching for: ") steps.push_back("search " + next(1) + " \\ " + next(3));
        else if (t[i] == "\nGetClassDevs failed\n") steps.push_back("no list");
        else if (t[i] == "\nRemoving: ") steps.push_back("remove " + next(1));
        else if (t[i] == "DeleteKey OK\n") steps.push_back("key deleted");
        else if (t[i] == "delete key failed ") steps.push_back("key not deleted " + next(1));
        else if (t[i] == "EnumAndDestroySCSIKeys: ") steps.push_back("scsi keys " + next(1));
        else if (t[i] == "\nEnumAndDestory SCSI key: ") steps.push_back("scsi key " + next(1));
        else if (t[i] == "Found: ") steps.push_back("found " + next(1));
        else if (t[i] == "Deleting: ") steps.push_back("delete " + next(1));
    }
    return steps;
}

class RemnantsTest : public MachineTest {};

TEST_F(RemnantsTest, NothingInstalledOnXp) {
    EXPECT_EQ(RemoveLegacyPlayerRemnants(3), 0);
    EXPECT_EQ(trace(), Pieces({
                           "\nSearching for: ", "PLAYER", " \\ ", "PLAYER\\VEN_066F&DEV_3400", "\n", "\nGetClassDevs failed\n", "\nDone\n",
                           "\nSearching for: ", "PLAYER", " \\ ", "PLAYER\\VEN_066F&DEV_3410", "\n", "\nGetClassDevs failed\n", "\nDone\n",
                           "\nSearching for: ", "USB", " \\ ", "USB\\Vid_066F&Pid_3400", "\n", "\nGetClassDevs failed\n", "\nDone\n",
                           "\nSearching for: ", "USB", " \\ ", "USB\\Vid_066F&Pid_3410", "\n", "\nGetClassDevs failed\n", "\nDone\n",
                           "EnumAndDestroyKeys\n", "EnumAndDestroyKeys\n", "EnumAndDestroyKeys\n"}));
}

TEST_F(RemnantsTest, Row3OnWindows98) {
    Use(Os::Win98);
    const char g[] = "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}";
    // The player's own enumerator (the probes find it), its SCSI disk and
    // a SCSI device key without IDs, its USB nodes: one removable, one of
    // its class without IDs, one of another class.
    sim::AddDevice(machine, "PLAYER", "VEN_066F&DEV_3400", "1", {"PLAYER\\VEN_066F&DEV_3400"}, g);
    sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____D", "1", {"MP3_____PLAYER_____D", "GenDisk"},
                   "{4D36E967-E325-11CE-BFC1-08002BE10318}");
    sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____E", "1", {});
    sim::AddDevice(machine, "SCSI", "OTHER", "1", {"OTHER"});
    sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"USB\\VID_066F&PID_3400"}, "{9d200d8a-9f17-4f87-9b84-fab3dded4407}");
    sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "2", {}, g);
    sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "1", {}, "{36FC9E60-C465-11CF-8056-444553540000}");
    machine.LoadReg(std::string("[") + kCdd + "\\PLAYER#ven_066f&dev_3400]\n[" + kCdd + "\\usb#vid_1234]\n");

    EXPECT_EQ(RemoveLegacyPlayerRemnants(3), 0);
    EXPECT_EQ(Steps(trace()), Pieces({
                                  "search SCSI \\ MP3_____PLAYER_____", "remove MP3_____PLAYER_____D", "key deleted",
                                  "scsi keys MP3_____PLAYER_____", "scsi key MP3_____PLAYER_____E",
                                  "found Enum\\SCSI\\MP3_____PLAYER_____E", "delete Enum\\SCSI\\MP3_____PLAYER_____E",
                                  "search PLAYER \\ PLAYER\\VEN_066F&DEV_3400", "remove PLAYER\\VEN_066F&DEV_3400",
                                  "search PLAYER \\ PLAYER\\VEN_066F&DEV_3410",
                                  "search USB \\ USB\\Vid_066F&Pid_3400", "remove USB\\VID_066F&PID_3400",
                                  "search USB \\ USB\\Vid_066F&Pid_3410",
                                  "found Enum\\USB\\Vid_066F&Pid_3410",
                                  "found Enum\\USB\\Vid_066F&Pid_3400", "delete Enum\\USB\\Vid_066F&Pid_3400",
                                  // Its direct subkeys are device keys, which carry no class.
                                  "found Enum\\PLAYER"}));
    const std::string enumDump =
        "[HKEY_LOCAL_MACHINE\\Enum]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\PLAYER]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\PLAYER\\VEN_066F&DEV_3400]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\SCSI]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\SCSI\\OTHER]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\SCSI\\OTHER\\1]\n"
        "\"HardwareID\"=hex(7):4f,54,48,45,52,00,00\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\USB]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_066F&PID_3410]\n\n"
        "[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_066F&PID_3410\\1]\n"
        "\"ClassGUID\"=\"{36FC9E60-C465-11CF-8056-444553540000}\"\n";
    EXPECT_EQ(machine.Dump("HKLM\\Enum"), enumDump);
    EXPECT_EQ(machine.Dump(kCdd), std::string("[") + kCdd + "]\n\n[" + kCdd + "\\usb#vid_1234]\n");

    // A second call finds what is left and changes nothing.
    EXPECT_EQ(RemoveLegacyPlayerRemnants(3), 0);
    EXPECT_EQ(machine.Dump("HKLM\\Enum"), enumDump);
}

TEST_F(RemnantsTest, ProbesLookOnlyInThe9598MeLayout) {
    // The SCSI side runs where HKLM\Enum\P holds either device ID, whatever
    // the platform; its prefix is V and P padded to 11 characters.
    struct Row {
        Os os;
        unsigned index;
        const char* probeKey;    // below HKLM\Enum, or null
        const char* scsiPrefix;  // null: the SCSI side does not run
    } rows[] = {
        {Os::Win98, 3, nullptr, nullptr},
        {Os::Win98, 3, "PLAYER\\VEN_066F&DEV_3410", "MP3_____PLAYER_____"},
        {Os::Win95, 15, "Hercules095\\VEN_066F&DEV_3400", "PD095_02Hercules095"},
        {Os::Win98, 3, "PLAYER\\VEN_066F&DEV_3411", nullptr},
        {Os::WinXp, 22, "AudioDev\\VEN_066F&DEV_3400", "AudioMMCAudioDev___"},
        {Os::WinXp, 22, nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(sim::OsName(row.os)) + " " + (row.probeKey ? row.probeKey : "no probe key"));
        machine = sim::Machine(row.os);
        if (row.probeKey) machine.LoadReg(std::string("[HKLM\\Enum\\") + row.probeKey + "]\n");
        EXPECT_EQ(RemoveLegacyPlayerRemnants(static_cast<int>(row.index)), 0);
        Lines steps = Steps(trace());
        ASSERT_FALSE(steps.empty());
        if (row.scsiPrefix) {
            ASSERT_GE(steps.size(), 3u);
            EXPECT_EQ(steps[0], std::string("search SCSI \\ ") + row.scsiPrefix);
            EXPECT_EQ(steps[2], std::string("scsi keys ") + row.scsiPrefix);
        } else {
            EXPECT_EQ(steps[0], std::string("search ") + LegacyPlayerCatalogue[row.index].ProductId + " \\ " +
                                    LegacyPlayerCatalogue[row.index].ProductId + "\\VEN_066F&DEV_3400");
        }
    }
}

TEST_F(RemnantsTest, WindowsMeSplitsItsPaths) {
    // Me: the device installer and the USB and enumerator keys are in the
    // 95/98/Me layout, but the SCSI key sweep asks IsWindows9598 and looks
    // in the NT layout.
    Use(Os::WinMe);
    const char g[] = "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}";
    machine.LoadReg("[HKLM\\Enum\\PLAYER\\VEN_066F&DEV_3410]\n"
                    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____X]\n");
    sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____D", "1", {"MP3_____PLAYER_____D"});
    sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____Y", "1", {});
    sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "1", {}, g);
    EXPECT_EQ(RemoveLegacyPlayerRemnants(3), 0);
    EXPECT_EQ(Steps(trace()), Pieces({
                                  "search SCSI \\ MP3_____PLAYER_____", "remove MP3_____PLAYER_____D", "key deleted",
                                  "scsi keys MP3_____PLAYER_____", "scsi key MP3_____PLAYER_____X",
                                  "found SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____X",
                                  "delete SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____X",
                                  "search PLAYER \\ PLAYER\\VEN_066F&DEV_3400",
                                  "search PLAYER \\ PLAYER\\VEN_066F&DEV_3410",
                                  "search USB \\ USB\\Vid_066F&Pid_3400", "search USB \\ USB\\Vid_066F&Pid_3410",
                                  "found Enum\\USB\\Vid_066F&Pid_3410", "delete Enum\\USB\\Vid_066F&Pid_3410",
                                  "found Enum\\PLAYER"}));
    EXPECT_FALSE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____X"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\SCSI\\MP3_____PLAYER_____D"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\SCSI\\MP3_____PLAYER_____Y\\1"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\VID_066F&PID_3410"));
}

TEST_F(RemnantsTest, XpWithRestrictedEnumKeys) {
    // Row 0's class is stored in mixed case; the device keys refuse full
    // access, so only the device installer removes anything in the Enum tree.
    const char g[] = "{ff646f80-8def-11d2-9449-00105a075f6b}";
    sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "5&1", {"USB\\VID_066F&PID_3400&REV_0100", "USB\\VID_066F&PID_3400"}, g);
    sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "5&2", {"USB\\VID_066F&PID_3410"}, "{36FC9E60-C465-11CF-8056-444553540000}");
    sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "5&3", {}, g);
    machine.RestrictKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_066F&PID_3410");
    machine.LoadReg(std::string("[") + kCdd + "\\VXMP3400#ven_066f&dev_3400]\n[" + kCdd + "\\VXMP3400#ven_066f&dev_3410]\n");
    EXPECT_EQ(RemoveLegacyPlayerRemnants(0), 0);
    EXPECT_EQ(Steps(trace()), Pieces({
                                  "search VXMP3400 \\ VXMP3400\\VEN_066F&DEV_3400", "no list",
                                  "search VXMP3400 \\ VXMP3400\\VEN_066F&DEV_3410", "no list",
                                  "search USB \\ USB\\Vid_066F&Pid_3400", "remove USB\\VID_066F&PID_3400&REV_0100",
                                  "search USB \\ USB\\Vid_066F&Pid_3410"}));
    // Both IDs matched, but after the removal the node's class can no longer
    // be read, so the second ID is a mismatch.
    EXPECT_EQ(std::count(trace().begin(), trace().end(), "Mismatched\n"), 2);
    EXPECT_FALSE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_066F&PID_3400"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_066F&PID_3410\\5&3"));
    EXPECT_EQ(machine.Dump(kCdd), std::string("[") + kCdd + "]\n");
}

TEST_F(RemnantsTest, IndexOutsideTheCatalogue) {
    for (int index : {-1, 38, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        machine = sim::Machine(Os::Win98);
        machine.LoadReg("[HKLM\\Enum\\PLAYER\\VEN_066F&DEV_3400]\n");
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"USB\\VID_066F&PID_3400"}, "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}");
        machine.LoadReg(std::string("[") + kCdd + "\\PLAYER#ven_066f&dev_3400]\n");
        std::string before = machine.Dump("HKLM");
        EXPECT_EQ(RemoveLegacyPlayerRemnants(index), 0);
        EXPECT_EQ(trace(), Lines{"No legacy player at index " + std::to_string(index) + "\n"});
        EXPECT_EQ(machine.Dump("HKLM"), before);
        EXPECT_EQ(machine.devices.listsMade, 0);
    }
}

}  // namespace
