// RemoveDeviceRegEntries and RemovePlayerRemnants: what earlier
// installations of this player left behind.
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const char kUsbClass[] = "{c6178071-6a08-481e-a679-e9d95a658998}";

class RemoveDeviceRegEntriesTest : public MachineTest {
protected:
    // A 95/98 machine with every kind of node the export looks for.
    void Populate() {
        sim::AddDevice(machine, "SCSI", "ZMRA714_PX714______", "1&2&0", {"ZMRA714_PX714______1.00"});
        sim::AddDevice(machine, "PX714", "VEN_066F&DEV_8043", "0000", {"PX714\\VEN_066F&DEV_8043"});
        sim::AddDevice(machine, "USB", "VID_066F&PID_8043", "5&1", {"USB\\VID_066F&PID_8043&REV_0100"}, kUsbClass);
        // A node without hardware IDs is not the device installer's to
        // remove; the enumerator key with it goes by its class.
        sim::AddDevice(machine, "USB", "VID_066F&PID_8043", "5&9", {}, kUsbClass);
        // Same identity, other class: stays.
        sim::AddDevice(machine, "USB", "VID_066F&PID_0043", "5&2", {"USB\\VID_066F&PID_0043"},
                       "{36FC9E60-C465-11CF-8056-444553540000}");
    }
};

TEST_F(RemoveDeviceRegEntriesTest, DoesNothingWhereThe9598LayoutIsNot) {
    for (Os os : {Os::WinMe, Os::Win2000, Os::WinXp, Os::QueryFails}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        Populate();
        sim::Machine before = machine;
        EXPECT_EQ(RemoveDeviceRegEntries(), 0);
        EXPECT_TRUE(trace().empty());
        EXPECT_EQ(machine.Dump("HKLM"), before.Dump("HKLM"));
        EXPECT_EQ(machine.devices.OpenHandles(), 0u);
    }
}

TEST_F(RemoveDeviceRegEntriesTest, Windows98Sequence) {
    machine = sim::Machine(Os::Win98);
    Populate();
    EXPECT_EQ(RemoveDeviceRegEntries(), 0);
    const auto& t = trace();
    ASSERT_GE(t.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 5),
              Pieces({"\nSearching for: ", "SCSI", " \\ ", "ZMRA714_PX714______", "\n"}));
    // The searches run in this order, the class filter only for USB.
    std::vector<std::string> searches;
    for (size_t i = 0; i + 3 < t.size(); ++i)
        if (t[i] == "\nSearching for: ") searches.push_back(t[i + 1] + " " + t[i + 3]);
    EXPECT_EQ(searches, Pieces({"SCSI ZMRA714_PX714______", "PX714 PX714\\VEN_066F&DEV_8043",
                                "USB USB\\VID_066F&PID_8043", "USB USB\\VID_066F&PID_0043"}));
    // The model key's enumerator went with its node's removal or stays for
    // the final deletion; either way it ends gone, and the trace closes so.
    EXPECT_EQ(std::vector<std::string>(t.end() - 3, t.end()), Pieces({"Deleting model: ", "Enum\\PX714", "\n"}));
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\PX714"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\SCSI\\ZMRA714_PX714______\\1&2&0"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\VID_066F&PID_8043"));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\USB\\VID_066F&PID_0043\\5&2"));
}

TEST_F(RemoveDeviceRegEntriesTest, MissingModelKeyAndNtPaths) {
    struct Row {
        Os os;
        const char* modelPath;
    } rows[] = {{Os::Win95, "Enum\\PX714"}, {Os::Nt4, "SYSTEM\\CurrentControlSet\\Enum\\PX714"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        EXPECT_EQ(RemoveDeviceRegEntries(), 0);
        const auto& t = trace();
        ASSERT_GE(t.size(), 4u);
        EXPECT_EQ(std::vector<std::string>(t.end() - 4, t.end()),
                  Pieces({"Deleting model: ", row.modelPath, "\n", "error deleting key - 2\n"}));
    }
}

TEST_F(RemoveDeviceRegEntriesTest, Nt4DestroysUsbKeysUnderTheNtTree) {
    machine = sim::Machine(Os::Nt4);
    sim::AddDevice(machine, "USB", "VID_066F&PID_0043", "7&1", {}, kUsbClass);
    RemoveDeviceRegEntries();
    EXPECT_FALSE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_066F&PID_0043"));
}

const char kRemnants95[] = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}"="PX714 menu"
"{other}"="kept"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}\InProcServer32]
@="px714ext.dll"

[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Drive\shellex\ContextMenuHandlers\Menu]
@="{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\Vxmp3Format.exe]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\VxUsbMscUpdate.exe]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\Other.exe]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\Vxmp3Format.exe]

[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\Programs\ZUMRA PX714 Multimedia Player]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{24ba5da1-036a-4499-a763-41480869e207}]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\SCSIAdapter\0000]
"PortDriver"="ZMRA714S.MPD"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\SCSIAdapter\0001]
"PortDriver"="Zmra714"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\SCSIAdapter\0002]
"PortDriver"="zmra714s"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\SCSIAdapter\0003]
"PortDriver"="Zmra714s.mpd.old"
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\SCSIAdapter\0004]
"PortDriver"="esdi_506.pdr"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\{c6178071-6a08-481e-a679-e9d95a658998}]
"Class"="PX714Class"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\PX714Class\0000]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\PX714Class\0029]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\PX714Class\0030]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Class\MEDIA\0000]
)";

class RemovePlayerRemnantsTest : public MachineTest {
protected:
    bool Has(const char* path) { return machine.KeyExists(path); }
};

TEST_F(RemovePlayerRemnantsTest, NtFamilyAndMeRunTheCommonStepsOnly) {
    for (Os os : {Os::WinMe, Os::Win2000, Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        machine.LoadReg(kRemnants95);
        EXPECT_EQ(RemovePlayerRemnants(), 1);
        EXPECT_EQ(trace(), Pieces({"Searching for player remnants\n", "Completed remnant search\n"}));
        // Shell extension, application paths under "Apps Paths" only.
        EXPECT_EQ(machine.Dump("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"),
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved]\n"
                  "\"{other}\"=\"kept\"\n");
        EXPECT_FALSE(Has("HKLM\\SOFTWARE\\Classes\\CLSID\\{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}"));
        EXPECT_FALSE(Has("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\Vxmp3Format.exe"));
        EXPECT_FALSE(Has("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\VxUsbMscUpdate.exe"));
        EXPECT_TRUE(Has("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\Other.exe"));
        EXPECT_TRUE(Has("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vxmp3Format.exe"));
        // The menu-order paths begin with a backslash, which the registry refuses.
        EXPECT_TRUE(Has("HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\"
                        "ZUMRA PX714 Multimedia Player"));
        EXPECT_FALSE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{24ba5da1-036a-4499-a763-41480869e207}"));
        // The 95/98 steps do not run.
        EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0000"));
        EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class\\0000"));
        EXPECT_EQ(machine.registry.flushCount, 1);
    }
}

TEST_F(RemovePlayerRemnantsTest, Windows95AdapterSweepAndClassRegistration) {
    machine = sim::Machine(Os::Win95);
    machine.LoadReg(kRemnants95);
    EXPECT_EQ(RemovePlayerRemnants(), 1);
    EXPECT_EQ(trace(), Pieces({"Searching for player remnants\n", "Completed remnant search\n"}));
    // 0000 matches in any case; deleting it moves 0001 into number 0, and the
    // walk goes on at number 1: 0001 is not examined in this call (it would
    // not match anyway: 7 characters). 0002 moved into number 1 and matched,
    // so 0003 moved into number 1 and was passed over.
    EXPECT_EQ(machine.Dump("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter"),
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter]\n"
              "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0001]\n"
              "\"PortDriver\"=\"Zmra714\"\n"
              "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0003]\n"
              "\"PortDriver\"=\"Zmra714s.mpd.old\"\n"
              "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0004]\n"
              "\"PortDriver\"=\"esdi_506.pdr\"\n");
    EXPECT_FALSE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{c6178071-6a08-481e-a679-e9d95a658998}"));
    EXPECT_FALSE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class"));
    EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\0000"));
}

TEST_F(RemovePlayerRemnantsTest, PortDriverMatchesItsFirstEightCharacters) {
    struct Row {
        const char* value;
        bool deleted;
    } rows[] = {
        {"Zmra714s", true}, {"ZMRA714S.MPD", true}, {"zmra714sABCDEFG", true},  // 15 characters fit
        {"Zmra714", false}, {"Zmra714sABCDEFGH", false},                          // 16 do not fit
        {"Zmra714x.mpd", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        machine = sim::Machine(Os::Win98);
        machine.LoadReg(std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0007]\n"
                                    "\"PortDriver\"=\"") + row.value + "\"\n");
        RemovePlayerRemnants();
        EXPECT_EQ(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0007"), !row.deleted);
    }
}

TEST_F(RemovePlayerRemnantsTest, InstanceKeysOneByOneUnlessTheClassHasAnInfPath) {
    // On NT 4.0 (the 95/98 layout by the version numbers, the NT deletion
    // rule) the class key goes only once its instance keys are gone.
    struct Row {
        const char* infPath;
        const char* traceLine;
        bool classKeyGone;
    } rows[] = {
        {nullptr, nullptr, false},                                         // 0030 keeps it
        {"oem3.inf", "\t\tMp3Drv OEM Name: oem3.inf\n", false},            // 0000 stays too
        {"0123456789012345678901234567890", "\t\tMp3Drv OEM Name: 0123456789012345678901234567890\n", false},
        {"01234567890123456789012345678901", nullptr, false},              // 32: does not fit, counts as absent
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.infPath ? row.infPath : "none");
        machine = sim::Machine(Os::Nt4);
        machine.LoadReg(kRemnants95);
        if (row.infPath != nullptr)
            machine.LoadReg(std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class]\n"
                                        "\"InfPath\"=\"") + row.infPath + "\"\n");
        RemovePlayerRemnants();
        std::vector<std::string> expected = {"Searching for player remnants\n"};
        if (row.traceLine) expected.push_back(row.traceLine);
        expected.push_back("Completed remnant search\n");
        EXPECT_EQ(trace(), expected);
        const bool oneByOne = row.traceLine == nullptr;
        EXPECT_EQ(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class\\0000"), !oneByOne);
        EXPECT_EQ(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class\\0029"), !oneByOne);
        EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class\\0030"));
        EXPECT_FALSE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{c6178071-6a08-481e-a679-e9d95a658998}"));
    }
}

TEST_F(RemovePlayerRemnantsTest, UnreadableClassNameNeverAddressesTheClassRoot) {
    // Windows 98 deletes a key with everything below it: an empty class name
    // would take every device class along.
    for (const char* classValue : std::vector<const char*>{"", "0123456789012345678901234567890123", "MEDIA\\0000", nullptr}) {
        SCOPED_TRACE(classValue ? classValue : "missing");
        machine = sim::Machine(Os::Win98);
        machine.LoadReg(kRemnants95);
        sim::Key* registration = machine.registry.FindPath(
            "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{c6178071-6a08-481e-a679-e9d95a658998}");
        if (classValue == nullptr) registration->RemoveValue("Class");
        else registration->SetValue("Class", REG_SZ, classValue, std::string(classValue).size() + 1);
        RemovePlayerRemnants();
        EXPECT_FALSE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{c6178071-6a08-481e-a679-e9d95a658998}"));
        EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\0000"));
        EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714Class\\0000"));
    }
}

TEST_F(RemovePlayerRemnantsTest, NothingThereStillReturnsOne) {
    machine = sim::Machine(Os::Win98);
    sim::Machine before = machine;
    EXPECT_EQ(RemovePlayerRemnants(), 1);
    EXPECT_EQ(machine.Dump("HKLM"), before.Dump("HKLM"));
    EXPECT_EQ(machine.registry.flushCount, 1);
}

}  // namespace
