// The per-export allow-lists (fuzz/allowlist.h) and what fuzzing found.
//
// The allow-lists say what one call may change. These tests check both
// sides: that each export, run on a machine holding its targets and their
// neighbours, stays inside its list (and does change something), and that
// the list refuses the changes a faulty export would make next door.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/devremove.h"
#include "frame/px714sup.h"
#include "fuzz/allowlist.h"
#include "tests/support.h"

namespace {

using px714check::Call;
using px714check::Change;
using px714check::Export;

std::string Describe(const std::vector<Change>& changes) {
    std::string text;
    for (const Change& change : changes) text += change.Describe() + "\n";
    return text;
}

// Every export's targets, and keys, files and services beside them that no
// export may touch. The Enum trees of both layouts are there, so that each
// system finds its own.
const char kNeighbourhood[] =
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{E3C4EC88-67F7-49F0-A9E6-A7181FAF5E39}]\n"
    "\"DisplayName\"=\"MP3 Player\"\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{11111111-2222-3333-4444-555555555555}]\n"
    "\"DisplayName\"=\"Another program\"\n"
    "[HKLM\\SOFTWARE\\MP3\\MP3 Player\\Params]\n"
    "\"Install Folder\"=\"C:\\\\Program Files\\\\MP3\\\\Player\"\n"
    "[HKLM\\SOFTWARE\\MP3\\MP3 Player\\1.00.000]\n"
    "[HKLM\\SOFTWARE\\MP3Tools]\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\Vxmp3format.exe]\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\VxUsbMscFormat.exe]\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\Other.exe]\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vxmp3format.exe]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi\\Enum]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi\\Parameters\\Device]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Mp3Drv]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi2]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
    "\"Type\"=dword:00000002\n"
    "\"ImagePath\"=\"system32\\\\drivers\\\\vxfilter.sys\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Disk]\n"
    "\"Type\"=dword:00000001\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0005]\n"
    "\"PortDriver\"=\"VxScsi.MPD\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0006]\n"
    "\"PortDriver\"=\"Zmra714s.mpd\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0007]\n"
    "\"PortDriver\"=\"ESDI_506.pdr\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}]\n"
    "\"Class\"=\"MP3PLAYER\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MP3PLAYER\\0000]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\0000]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{c6178071-6a08-481e-a679-e9d95a658998}]\n"
    "\"Class\"=\"PX714\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714\\0000]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}]\n"
    "\"Class\"=\"PX714MSC\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714MSC\\0000]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}\\0000]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{24ba5da1-036a-4499-a763-41480869e207}]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0009]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0003]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase\\PLAYER#ven_066f&dev_3400]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase\\PX714#ven_066f&dev_8043]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00\\1&2&3]\n"
    "\"ParentIdPrefix\"=\"7&2a1b3c4d&0\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_Other&Prod_Disk&Rev_1.00\\4&5&6]\n"
    "\"ParentIdPrefix\"=\"7&99&0\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&2a1b3c4d&0&RM]\n"
    "\"Driver\"=\"{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\\\0003\"\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&2a1b3c4d&0&RM\\Control]\n"
    "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&99&0&RM]\n"
    "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved]\n"
    "\"{343DA396-6C33-42EB-9478-C1EAF35FB908}\"=\"hook\"\n"
    "\"{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}\"=\"own\"\n"
    "\"{00000000-0000-0000-0000-000000000001}\"=\"other\"\n"
    "[HKLM\\SOFTWARE\\Classes\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\InProcServer32]\n"
    "[HKLM\\SOFTWARE\\Classes\\CLSID\\{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}\\InProcServer32]\n"
    "[HKLM\\SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}\\InProcServer32]\n"
    "[HKLM\\SOFTWARE\\Classes\\{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}\\InProcServer32]\n"
    "[HKLM\\SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu]\n"
    "@=\"{343DA396-6C33-42EB-9478-C1EAF35FB908}\"\n"
    "[HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\MP3 Player]\n"
    "[HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Accessories]\n";

// A machine of the given system with every export's targets and neighbours.
void Populate(sim::Machine& m) {
    m.LoadReg(kNeighbourhood);
    const char kRowClass[] = "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}";
    const char kOwnClass[] = "{c6178071-6a08-481e-a679-e9d95a658998}";
    const char kDisk[] = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
    sim::AddDevice(m, "USB", "Vid_066F&Pid_3400", "0000", {"USB\\Vid_066F&Pid_3400&Rev_0100"}, kRowClass,
                   std::string(kRowClass) + "\\0000");
    sim::AddDevice(m, "USB", "VID_066F&PID_8043", "0000", {"USB\\VID_066F&PID_8043&REV_0001"}, kOwnClass);
    sim::AddDevice(m, "USB", "VID_1234&PID_0001", "0000", {"USB\\VID_1234&PID_0001"}, kOwnClass);
    sim::AddDevice(m, "PLAYER", "VEN_066F&DEV_3400", "0000", {"PLAYER\\VEN_066F&DEV_3400"});
    sim::AddDevice(m, "SCSI", "MP3_____PLAYER_____1.00", "0000", {"MP3_____PLAYER_____1.00"}, kDisk,
                   std::string(kDisk) + "\\0001");
    sim::AddDevice(m, "SCSI", "ZMRA714_PX714______1.00", "0000", {"ZMRA714_PX714______1.00"}, kDisk);
    sim::AddDevice(m, "SCSI", "OTHER___DISK_______1.00", "0000", {"OTHER___DISK_______1.00"}, kDisk,
                   std::string(kDisk) + "\\0009");
    sim::AddDevice(m, "PX714", "VEN_066F&DEV_8043", "0000", {"PX714\\VEN_066F&DEV_8043"});
    std::string windows = sim::DefaultWindowsDirectory(m.version.platform, m.version.major, m.version.minor);
    m.files.Load("C:\\Program Files\\MP3\\Player\\readme.txt\n"
                 "C:\\Program Files\\MP3\\setup.log\n"
                 "C:\\Program Files\\MP3\\Data\\song.mp3\n"
                 "C:\\Program Files\\MP3Tools\\tool.exe\n" +
                 windows + "\\system32\\vxmphook.dll\n" + windows + "\\system32\\drivers\\mp3drv.sys\n" + windows +
                 "\\system32\\drivers\\disk.sys\n" + windows + "\\Start Menu\\Programs\\MP3 Player\\Player.lnk\n");
    m.services.SetRunning("Vxfilter", true);
    m.files.SetFileText("D:\\Setup\\player.inf", "[Version]\nDriverVer=05/06/2004,1.2.0.0\n");
    m.files.SetFileText(m.infs.folder + "\\oem0.inf", "[Version]\nDriverVer=01/02/2003,1.0.0.0\n");
    m.infs.copies.push_back(sim::InfCopy{"oem0.inf", "player.inf", "[Version]\nDriverVer=01/02/2003,1.0.0.0\n",
                                         "D:\\Setup\\", SPOST_PATH});
}

struct Case {
    Call call;
    std::function<int(const Call&)> run;
};

std::vector<Case> EveryExport() {
    return {
        {{Export::CheckServiceName, "Vxfilter"}, [](const Call& c) { return CheckServiceName(c.text1.c_str()); }},
        {{Export::FindLegacyPlayers},
         [](const Call&) {
             unsigned short index = 0;
             char name[128];
             return FindLegacyPlayers(&index, name);
         }},
        {{Export::InstallFilter, "Vxfilter2", "system32\\drivers\\vxfilter.sys"},
         [](const Call& c) { return InstallFilter(c.text1.c_str(), c.text2.c_str()); }},
        {{Export::RegisterInf, "D:\\Setup\\", "player.inf"},
         [](const Call& c) { return RegisterInf(c.text1.c_str(), c.text2.c_str()); }},
        {{Export::RemoveDeviceForDeviceType, "MP3_____", "", 2},
         [](const Call& c) { return RemoveDeviceForDeviceType(c.text1.c_str(), c.number); }},
        {{Export::RemoveDeviceForDeviceType, "USB\\VID_066F", "", 6},
         [](const Call& c) { return RemoveDeviceForDeviceType(c.text1.c_str(), c.number); }},
        {{Export::RemoveDeviceRegEntries}, [](const Call&) { return RemoveDeviceRegEntries(); }},
        {{Export::RemoveFilter, "Vxfilter", ""}, [](const Call& c) { return RemoveFilter(c.text1.c_str(), c.text2.c_str()); }},
        {{Export::RemoveInstalledLegacyPlayer, "MP3 Player", "", 3},
         [](const Call& c) {
             std::vector<char> name(c.text1.begin(), c.text1.end());
             name.push_back(0);
             return RemoveInstalledLegacyPlayer(c.number, name.data());
         }},
        {{Export::RemoveLegacyPlayerDrivers}, [](const Call&) { return RemoveLegacyPlayerDrivers(); }},
        {{Export::RemoveLegacyPlayerHook}, [](const Call&) { return RemoveLegacyPlayerHook(); }},
        {{Export::RemoveLegacyPlayerRemnants, "", "", 3},
         [](const Call& c) { return RemoveLegacyPlayerRemnants(static_cast<int>(c.number)); }},
        {{Export::RemovePlayerRemnants}, [](const Call&) { return RemovePlayerRemnants(); }},
        {{Export::RemoveVolumeRegEntries}, [](const Call&) { return RemoveVolumeRegEntries(); }},
        {{Export::UpdateInf, "D:\\Setup\\", "player.inf"},
         [](const Call& c) { return UpdateInf(c.text1.c_str(), c.text2.c_str()); }},
    };
}

// Each export, on every system, changes only its own targets, and on some
// system it changes something (FindLegacyPlayers, which only reads, aside).
TEST(AllowListTest, EveryExportStaysInsideItsTargets) {
    for (const Case& c : EveryExport()) {
        SCOPED_TRACE(px714check::ExportName(c.call.which));
        bool changedSomewhere = false;
        for (sim::Os os : sim::AllOs()) {
            SCOPED_TRACE(sim::OsName(os));
            sim::Machine machine(os);
            Populate(machine);
            sim::ScopedMachine scope(machine);
            const sim::Machine before = machine;
            c.run(c.call);
            EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
            std::vector<Change> outside = px714check::Violations(before, machine, c.call);
            EXPECT_TRUE(outside.empty()) << Describe(outside) << "Trace:\n" << machine.TraceText();
            if (!px714check::Diff(before, machine).empty()) changedSomewhere = true;
        }
        EXPECT_EQ(changedSomewhere, c.call.which != Export::FindLegacyPlayers);
    }
}

// What a faulty export would do next door: each change lies just outside
// the targets of the call, and the list refuses it; the change beside it
// that the call may make is permitted.
TEST(AllowListTest, RefusesTheChangeNextDoor) {
    struct Row {
        const char* name;
        sim::Os os;
        Call call;
        std::function<void(sim::Machine&)> permitted;  // a change inside the targets
        std::function<void(sim::Machine&)> refused;    // a change just outside them
    };
    auto removeKey = [](const char* path) {
        return [path](sim::Machine& m) {
            sim::Key* key = m.registry.FindPath(path);
            ASSERT_NE(key, nullptr) << path;
            key->parent->RemoveSubkey(key);
        };
    };
    auto removeFile = [](const char* path) {
        return [path](sim::Machine& m) {
            sim::ResolvedPath resolved;
            ASSERT_EQ(m.files.Resolve(path, 1252, &resolved), 0u);
            std::string name = resolved.names.back();
            resolved.names.pop_back();
            ASSERT_TRUE(m.files.Node(resolved)->Remove(name)) << path;
        };
    };
    auto setHandler = [](const char* text) {
        return [text](sim::Machine& m) {
            m.registry.FindPath("HKLM\\SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu")
                ->SetValue("Default", REG_SZ, text, std::string(text).size() + 1);
        };
    };
    const Row rows[] = {
        {"services next to the legacy drivers", sim::Os::WinXp, {Export::RemoveLegacyPlayerDrivers},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi\\Parameters\\Device"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxscsi2")},
        {"a class that is no catalogue row's", sim::Os::WinXp, {Export::RemoveLegacyPlayerDrivers},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}\\0000"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001")},
        {"an adapter of another port driver", sim::Os::Win98, {Export::RemoveLegacyPlayerDrivers},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0005"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\0007")},
        {"a class the Class value does not name", sim::Os::Win98, {Export::RemoveLegacyPlayerDrivers},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MP3PLAYER\\0000"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\0000")},
        {"a node whose ID does not match", sim::Os::WinXp, {Export::RemoveDeviceForDeviceType, "MP3_____", "", 2},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____1.00\\0000"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\OTHER___DISK_______1.00\\0000")},
        {"the driver key of a node not removed", sim::Os::WinXp, {Export::RemoveDeviceForDeviceType, "MP3_____", "", 2},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0009")},
        {"a USB node of another class", sim::Os::Win98, {Export::RemoveLegacyPlayerRemnants, "", "", 3},
         removeKey("HKLM\\Enum\\USB\\Vid_066F&Pid_3400\\0000"), removeKey("HKLM\\Enum\\USB\\VID_066F&PID_8043\\0000")},
        {"a subfolder of the program folder", sim::Os::WinXp, {Export::RemoveInstalledLegacyPlayer, "MP3 Player", "", 3},
         removeFile("C:\\Program Files\\MP3\\setup.log"), removeFile("C:\\Program Files\\MP3\\Data\\song.mp3")},
        {"another company's folder", sim::Os::WinXp, {Export::RemoveInstalledLegacyPlayer, "MP3 Player", "", 3},
         removeFile("C:\\Program Files\\MP3\\Player\\readme.txt"), removeFile("C:\\Program Files\\MP3Tools\\tool.exe")},
        {"another company's key", sim::Os::WinXp, {Export::RemoveInstalledLegacyPlayer, "MP3 Player", "", 3},
         removeKey("HKLM\\SOFTWARE\\MP3\\MP3 Player\\1.00.000"), removeKey("HKLM\\SOFTWARE\\MP3Tools")},
        {"another driver file", sim::Os::WinXp, {Export::RemoveInstalledLegacyPlayer, "MP3 Player", "", 3},
         removeFile("C:\\WINDOWS\\system32\\drivers\\mp3drv.sys"), removeFile("C:\\WINDOWS\\system32\\drivers\\disk.sys")},
        {"the handler value set to a text", sim::Os::WinXp, {Export::RemoveLegacyPlayerHook}, setHandler(""),
         setHandler("{343DA396-6C33-42EB-9478-C1EAF35FB908}")},
        {"another extension's class", sim::Os::WinXp, {Export::RemovePlayerRemnants},
         removeKey("HKLM\\SOFTWARE\\Classes\\CLSID\\{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}\\InProcServer32"),
         removeKey("HKLM\\SOFTWARE\\Classes\\CLSID\\{00000000-0000-0000-0000-000000000001}\\InProcServer32")},
        {"another volume's node", sim::Os::WinXp, {Export::RemoveVolumeRegEntries},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&2a1b3c4d&0&RM\\Control"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&99&0&RM")},
        {"another service", sim::Os::WinXp, {Export::CheckServiceName, "Vxfilter"},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Disk")},
        {"a class key the registration does not name", sim::Os::Win98, {Export::CheckServiceName, "Vxfilter"},
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\PX714MSC\\0000"),
         removeKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\MEDIA\\0000")},
        {"anything, for a reading export", sim::Os::WinXp, {Export::FindLegacyPlayers},
         [](sim::Machine&) {},
         removeKey("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{E3C4EC88-67F7-49F0-A9E6-A7181FAF5E39}")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim::Machine before(row.os);
        Populate(before);
        sim::Machine permitted = before;
        row.permitted(permitted);
        EXPECT_TRUE(px714check::Violations(before, permitted, row.call).empty())
            << Describe(px714check::Violations(before, permitted, row.call));
        sim::Machine refused = permitted;
        row.refused(refused);
        EXPECT_FALSE(px714check::Violations(before, refused, row.call).empty());
    }
}

// An INF copy is the registration's target only with the source's text, and
// an update only replaces a copy with the same or a newer version.
TEST(AllowListTest, InfCopiesFollowTheirSource) {
    sim::Machine before;
    Populate(before);
    const Call registration{Export::RegisterInf, "D:\\Setup\\", "player.inf"};
    sim::Machine added = before;
    added.infs.copies.push_back(sim::InfCopy{"oem1.inf", "player.inf", "[Version]\nDriverVer=05/06/2004,1.2.0.0\n",
                                             "D:\\Setup\\", SPOST_PATH});
    EXPECT_TRUE(px714check::Violations(before, added, registration).empty());
    added.infs.copies.back().text = "[Version]\nDriverVer=05/06/2004,9.9.9.9\n";
    EXPECT_FALSE(px714check::Violations(before, added, registration).empty());

    const Call update{Export::UpdateInf, "D:\\Setup\\", "player.inf"};
    sim::Machine replaced = before;
    replaced.infs.copies[0].text = "[Version]\nDriverVer=05/06/2004,1.2.0.0\n";
    EXPECT_TRUE(px714check::Violations(before, replaced, update).empty());
    sim::Machine older = before;
    older.files.SetFileText("D:\\Setup\\player.inf", "[Version]\nDriverVer=01/01/2000,0.1.0.0\n");
    sim::Machine olderReplaced = older;
    olderReplaced.infs.copies[0].text = "[Version]\nDriverVer=01/01/2000,0.1.0.0\n";
    EXPECT_FALSE(px714check::Violations(older, olderReplaced, update).empty());
}

// ---- Findings of the fuzzer, each kept as it was found ------------------

class FindingTest : public px714test::MachineTest {};

// 95/98/Me: a registration whose "Class" value holds a backslash names no
// class key; "MEDIA\\0000" reached into the MEDIA class and deleted its
// instance 0000.
TEST_F(FindingTest, CheckServiceNameLeavesABackslashedClassName) {
    const char* const values[] = {"MEDIA\\0000", "MEDIA\\", "C:\\Program Files\\Foo\\.."};
    for (const char* value : values) {
        SCOPED_TRACE(value);
        sim::Machine m(sim::Os::Win98);
        sim::ScopedMachine scope(m);
        m.LoadReg("[HKLM\\System\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}]\n"
                  "[HKLM\\System\\CurrentControlSet\\Services\\Class\\MEDIA\\0000]\n"
                  "[HKLM\\System\\CurrentControlSet\\Services\\Class\\C:\\Program Files\\Foo\\..\\Other]\n");
        m.registry.FindPath("HKLM\\System\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}")
            ->SetValue("Class", REG_SZ, value, std::string(value).size() + 1);
        EXPECT_EQ(CheckServiceName("any"), 1);
        EXPECT_EQ(m.debugOutput, px714test::Pieces({"\nChecking for service\n", "Service class found\n",
                                                    "Service class deleted\n"}));
        EXPECT_TRUE(m.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\MEDIA\\0000"));
        EXPECT_TRUE(m.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\C:\\Program Files\\Foo\\..\\Other"));
        EXPECT_EQ(m.OpenHandleCount(), 0u);
    }
}

// Both device removers share one hardware-ID block among the devices of a
// call. A device whose list ends without its closing empty text (here a
// REG_SZ of one ID) was read on into the IDs the device before had left in
// the block, and removed for an ID it does not have.
TEST_F(FindingTest, AHardwareIdListIsNotReadOnIntoTheDeviceBefore) {
    const std::vector<std::pair<const char*, std::function<void()>>> removers = {
        {"by hardware ID", [] { RemoveDevicesByHardwareId("USB", "USB\\VID_066F&PID_3400", 0); }},
        {"by device type", [] { RemoveDeviceForDeviceType("USB\\VID_066F&PID_3400", 6); }},
    };
    for (const auto& [name, remove] : removers) {
        SCOPED_TRACE(name);
        sim::Machine m(sim::Os::WinXp);
        sim::ScopedMachine scope(m);
        const char kClass[] = "{C6178071-6A08-481E-A679-E9D95A658998}";
        sim::AddDevice(m, "USB", "VID_066F&PID_3400", "1", {"AAAA", "USB\\VID_066F&PID_3400"}, kClass);
        sim::AddDevice(m, "USB", "VID_1234&PID_0001", "1", {"BBBB"}, kClass);
        m.registry.FindPath("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001\\1")
            ->SetValue("HardwareID", REG_SZ, "BBBB", 5);
        remove();
        EXPECT_FALSE(m.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_066F&PID_3400"));
        EXPECT_TRUE(m.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_1234&PID_0001\\1"));
        // The second device's only ID is compared, and nothing after it.
        const std::string trace = m.TraceText();
        const size_t second = trace.find("BBBB");
        ASSERT_NE(second, std::string::npos) << trace;
        EXPECT_EQ(trace.find("VID_066F&PID_3400", second), std::string::npos) << trace;
        EXPECT_EQ(m.OpenHandleCount(), 0u) << m.OpenHandleReport();
    }
}

// The file system's building helper: an inner folder name that ends in a
// dot keeps it (Windows trims only a path's last name); the helper looked
// the folder up again by its re-spelt path, found nothing and crashed.
TEST_F(FindingTest, AddFileBelowAFolderNameEndingInADot) {
    machine.files.AddFile("C:\\abc.\\file.txt");
    EXPECT_EQ(machine.files.Listing("C:\\"), "C:\\abc.\\file.txt\n");
}


// An install folder whose last name ends in dots and blanks: the folder's
// entries are searched as "Foo ..\\*.*", in the folder named "Foo ..", while
// the folder named by the text alone is "Foo". The allow-list took only the
// second and called the export's cleaning of "Foo .." a change outside it.
TEST(AllowListFindingTest, AFolderNameEndingInDotsIsCleanedWhereItsEntriesLie) {
    sim::Machine m(sim::Os::WinXp);
    sim::ScopedMachine scope(m);
    m.LoadReg("[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{3587A200-4EA4-4DCC-B583-F0E9F5E262DF}]\n"
              "\"DisplayName\"=\"Foo ..\"\n"
              "[HKLM\\SOFTWARE\\Foo\\Foo ..\\Params]\n"
              "\"Install Folder\"=\"C:\\\\Program Files\\\\Foo\\\\Foo ..\"\n");
    m.files.AddFile("C:\\Program Files\\Foo\\Foo ..\\readme.txt");
    m.files.AddFile("C:\\Program Files\\Foo\\Foo\\keep.txt");
    m.files.AddFile("C:\\Program Files\\Other\\keep.txt");
    const sim::Machine before = m;
    const Call call{Export::RemoveInstalledLegacyPlayer, "Foo ..", "", 27};
    EXPECT_EQ(RemoveInstalledLegacyPlayer(27, "Foo .."), 1);
    EXPECT_FALSE(m.files.Exists("C:\\Program Files\\Foo\\Foo ..\\readme.txt"));
    EXPECT_TRUE(m.files.Exists("C:\\Program Files\\Foo\\Foo\\keep.txt"));
    EXPECT_TRUE(m.files.Exists("C:\\Program Files\\Other\\keep.txt"));
    EXPECT_FALSE(m.KeyExists("HKLM\\SOFTWARE\\Foo"));
    std::vector<Change> outside = px714check::Violations(before, m, call);
    EXPECT_TRUE(outside.empty()) << Describe(outside) << "Trace:\n" << m.TraceText();
    EXPECT_EQ(m.OpenHandleCount(), 0u) << m.OpenHandleReport();
}

}  // namespace
