// RemoveDeviceForDeviceType on the simulated device installer.
#include <functional>
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

using Lines = std::vector<std::string>;

const char kUsbClass[] = "{36FC9E60-C465-11CF-8056-444553540000}";
const char kPlayerClass[] = "{C6178071-6A08-481E-A679-E9D95A658998}";
const char kMassStorageClass[] = "{24ba5da1-036a-4499-a763-41480869e207}";
const char kDiskClass[] = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
const char kScsiAdapterClass[] = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
const char kVolumeClass[] = "{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
const DWORD kGenFailure = 31;  // ERROR_GEN_FAILURE

void Append(Lines* lines, std::initializer_list<std::string> pieces) { lines->insert(lines->end(), pieces); }

class DeviceTypeTest : public MachineTest {
protected:
    std::string Node(const std::string& path) const { return sim::EnumRoot(machine) + "\\" + path; }
};

TEST_F(DeviceTypeTest, EachTypeListsItsClassAndEnumeratorPerPlatform) {
    // One node per class and enumerator; the empty prefix acts on the first
    // ID of every listed node.
    struct NodeSpec {
        const char* path;  // ENUMERATOR\DEVICE, instance "1"
        const char* cls;
    } nodes[] = {
        {"USB\\A", kUsbClass},      {"USB\\B", kPlayerClass},        {"USB\\C", kMassStorageClass},
        {"SCSI\\D", kDiskClass},    {"ROOT\\E", kScsiAdapterClass},  {"USBSTOR\\F", kDiskClass},
        {"USBSTOR\\G", kVolumeClass}, {"STORAGE\\H", kVolumeClass},  {"USBSTOR\\I", ""},
    };
    const char* typeTraces[] = {"DeviceType: DEVICETYPE_USB\n",    "DeviceType: DEVICETYPE_SCSI\n",
                                "DeviceType: DEVICETYPE_DISK\n",   "DeviceType: DEVICETYPE_USBSTOR\n",
                                "DeviceType: DEVICETYPE_USBMSC\n", "DeviceType: DEVICETYPE_VOLUME\n",
                                "DeviceType: DEVICETYPE_MP3_USB\n"};
    // The nodes each type's list holds, in list order, per platform; null:
    // "GetClassDevs failed"; "1": the call returns 1 at once.
    struct Row {
        unsigned type;
        const char* nt;
        const char* me;
        const char* w9598;
    } rows[] = {
        {DEVICETYPE_USB, "A", "A", "B"},
        {DEVICETYPE_SCSI, "E", "E", "E"},
        {DEVICETYPE_DISK, "D", "D", "D"},
        {DEVICETYPE_USBSTOR, "F", "FGI", nullptr},
        {DEVICETYPE_USBMSC, "C", "C", "1"},
        {DEVICETYPE_VOLUME, "H", "H", "H"},
        {DEVICETYPE_MP3_USB, "B", "B", "B"},
    };
    for (Os os : sim::AllOs()) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(sim::OsName(os)) + " " + typeTraces[row.type]);
            machine = sim::Machine(os);
            for (const NodeSpec& n : nodes) {
                std::string path = n.path;
                std::string device = path.substr(path.find('\\') + 1);
                sim::AddDevice(machine, path.substr(0, path.find('\\')), device, "1", {"ID_" + device}, n.cls);
            }
            bool nt = os == Os::Nt4 || os == Os::Win2000 || os == Os::WinXp;
            const char* listed = nt ? row.nt : os == Os::WinMe ? row.me : row.w9598;
            machine.lastError = 0;
            int result = RemoveDeviceForDeviceType("", row.type);

            Lines expected = {"Trying to remove: ", "", "\n", typeTraces[row.type]};
            if (os == Os::WinMe && row.type == DEVICETYPE_USBSTOR) expected.push_back("Windows Me\n");
            if (listed == nullptr) {
                expected.push_back("GetClassDevs failed\n");
                EXPECT_EQ(result, 0);  // the last error was 0
            } else if (std::string(listed) == "1") {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(machine.devices.listsMade, 0);
            } else {
                for (const char* d = listed; *d; ++d)
                    Append(&expected, {"Compare device ID: ", std::string("ID_") + *d, "\n", "Found\n", "Removed\n"});
                EXPECT_EQ(result, 1);  // the walk ended with ERROR_NO_MORE_ITEMS
            }
            EXPECT_EQ(trace(), expected);
            int removed = listed && std::string(listed) != "1" ? static_cast<int>(std::string(listed).size()) : 0;
            EXPECT_EQ(machine.devices.nodesRemoved, removed);
        }
    }
}

TEST_F(DeviceTypeTest, OnlyTheFirstMatchingIdIsActedOn) {
    for (Os os : {Os::Win98, Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"USB\\VID_066F&PID_3400&REV_0100", "usb\\vid_066f&pid_3400"},
                       kPlayerClass);
        sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "1", {"USB\\COMPOSITE", "USB\\Vid_066F&Pid_3410"}, kPlayerClass);
        sim::AddDevice(machine, "USB", "VID_1234", "1", {"USB\\VID_1234"}, kPlayerClass);
        EXPECT_EQ(RemoveDeviceForDeviceType("USB\\Vid_066F", DEVICETYPE_MP3_USB), 1);
        EXPECT_EQ(trace(), Pieces({"Trying to remove: ", "USB\\Vid_066F", "\n", "DeviceType: DEVICETYPE_MP3_USB\n",
                                   "Compare device ID: ", "USB\\VID_066F&PID_3400&REV_0100", "\n", "Found\n", "Removed\n",
                                   "Compare device ID: ", "USB\\COMPOSITE", "\n", "Compare device ID: ",
                                   "USB\\Vid_066F&Pid_3410", "\n", "Found\n", "Removed\n", "Compare device ID: ",
                                   "USB\\VID_1234", "\n"}));
        EXPECT_EQ(machine.devices.nodesRemoved, 2);
        EXPECT_TRUE(machine.KeyExists(Node("USB\\VID_1234\\1")));
    }
}

TEST_F(DeviceTypeTest, PrefixIsComparedByteByByte) {
    // On a double-byte code page the lead byte 0x82 and the trail byte 'a'
    // are one character; compared byte by byte, 'a' and 'A' still agree.
    machine.codePage = 932;
    sim::AddDevice(machine, "USB", "X", "1", {"\x82" "A1"}, kPlayerClass);
    EXPECT_EQ(RemoveDeviceForDeviceType("\x82" "a", DEVICETYPE_MP3_USB), 1);
    EXPECT_EQ(machine.devices.nodesRemoved, 1);
}

TEST_F(DeviceTypeTest, DriverKeyBelowThePlatformsClassKey) {
    const char driver[] = "{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001";
    struct Row {
        const char* name;
        bool refuseRemoval;
        const char* driverValue;
        bool failDriverRead;
    } rows[] = {
        {"removed: the device installer took the driver key along", false, driver, false},
        {"removal refused: the key is deleted here", true, driver, false},
        {"empty driver name: the class key is never named", false, "", false},
        {"driver name not read", true, driver, true},
    };
    for (Os os : {Os::Win98, Os::WinMe, Os::Nt4, Os::WinXp}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(sim::OsName(os)) + ": " + row.name);
            machine = sim::Machine(os);
            sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"USB\\VID_066F&PID_3400"}, kPlayerClass,
                           row.driverValue, "Port_#0001");
            if (row.driverValue[0] == 0) {
                // Written empty: the read gives "".
                machine.registry.FindPath(Node("USB\\VID_066F&PID_3400\\1"))->SetValue("Driver", REG_SZ, "", 1);
            }
            std::string classRoot = sim::ClassRoot(machine);
            machine.LoadReg("[" + classRoot + "\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001]\n"
                            "[" + classRoot + "\\{4D36E967-E325-11CE-BFC1-08002BE10318}\\0002]\n");
            if (row.refuseRemoval)
                machine.InjectFault("SetupDiCallClassInstaller", sim::Fault{1, false, ERROR_ACCESS_DENIED, ""});
            if (row.failDriverRead)
                machine.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, false, kGenFailure, "|Driver"});
            EXPECT_EQ(RemoveDeviceForDeviceType("USB\\VID_066F&PID_3400", DEVICETYPE_MP3_USB), 1);

            Lines expected = {"Trying to remove: ", "USB\\VID_066F&PID_3400", "\n", "DeviceType: DEVICETYPE_MP3_USB\n",
                              "Compare device ID: ", "USB\\VID_066F&PID_3400", "\n", "Found\n", "Location Info:",
                              "Port_#0001", "\n"};
            expected.push_back(row.refuseRemoval ? "SetupDiCallClassInstaller(DIF_REMOVE) failed\n" : "Removed\n");
            bool named = row.driverValue[0] != 0 && !row.failDriverRead;
            if (named) {
                std::string path = std::string(machine.IsNtFamily() ? "System\\CurrentControlSet\\Control\\Class\\"
                                                                     : "System\\CurrentControlSet\\Services\\Class\\") +
                                   driver;
                Append(&expected, {"Deleting:", path, "\n", row.refuseRemoval ? "Deleted\n" : "Delete failed\n"});
            }
            EXPECT_EQ(trace(), expected);
            std::string key = classRoot + "\\{4D36E967-E325-11CE-BFC1-08002BE10318}";
            // Gone when the device installer removed its node, or when it was deleted here.
            bool gone = row.driverValue[0] != 0 && (!row.refuseRemoval || named);
            EXPECT_EQ(machine.KeyExists(key + "\\0001"), !gone);
            EXPECT_TRUE(machine.KeyExists(key + "\\0002"));
        }
    }
}

TEST_F(DeviceTypeTest, CallsThatEndBeforeAnyDevice) {
    struct Row {
        const char* name;
        Os os;
        unsigned type;
        DWORD lastError;  // left by earlier operations
        Lines tail;       // after "Trying to remove: ", "P", "\n"
        int result;
    } rows[] = {
        {"type 7", Os::WinXp, 7, 0, {"GetClassDevs failed\n"}, 0},
        {"type 0xFFFFFFFF", Os::Win98, 0xFFFFFFFFu, ERROR_ACCESS_DENIED, {"GetClassDevs failed\n"}, 1},
        {"USBMSC on 95", Os::Win95, DEVICETYPE_USBMSC, 0, {"DeviceType: DEVICETYPE_USBMSC\n"}, 1},
        {"USBSTOR on 98", Os::Win98, DEVICETYPE_USBSTOR, 0, {"DeviceType: DEVICETYPE_USBSTOR\n", "GetClassDevs failed\n"}, 0},
        {"a failed version query reads as 95/98", Os::QueryFails, DEVICETYPE_USBMSC, 0, {"DeviceType: DEVICETYPE_USBMSC\n"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machine = sim::Machine(row.os);
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"P1"}, kMassStorageClass);
        machine.lastError = row.lastError;
        EXPECT_EQ(RemoveDeviceForDeviceType("P", row.type), row.result);
        Lines expected = {"Trying to remove: ", "P", "\n"};
        expected.insert(expected.end(), row.tail.begin(), row.tail.end());
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(machine.devices.listsMade, 0);
        EXPECT_EQ(machine.allocationCalls, 0);
    }

    // A list without devices allocates nothing and returns 1.
    machine = sim::Machine(Os::WinXp);
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE]\n");
    EXPECT_EQ(RemoveDeviceForDeviceType("P", DEVICETYPE_VOLUME), 1);
    EXPECT_EQ(trace(), Pieces({"Trying to remove: ", "P", "\n", "DeviceType: DEVICETYPE_VOLUME\n"}));
    EXPECT_EQ(machine.allocationCalls, 0);
}

TEST_F(DeviceTypeTest, BufferGrowthAndFailures) {
    std::string id1998(1998, 'L');  // 2000 bytes with the two zeros
    std::string id5054(5054, 'L');  // 5056 bytes: 5120 with the slack
    struct Row {
        const char* name;
        std::function<void(sim::Machine&)> setUp;
        Lines tail;  // after the type's trace
        bool bRemoved;
    } rows[] = {
        {"growth kept for later devices",
         [&](sim::Machine& m) { sim::AddDevice(m, "USB", "A", "1", {id1998}, kPlayerClass); },
         {"SetupDiGetDeviceRegistryProperty failed - allocating 2064 bytes\n", "Compare device ID: ", id1998, "\n",
          "Compare device ID: ", "USB\\B", "\n", "Found\n", "Removed\n"},
         true},
        {"5120 bytes or more: given up without a trace",
         [&](sim::Machine& m) { sim::AddDevice(m, "USB", "A", "1", {id5054}, kPlayerClass); }, {}, false},
        {"device installer keeps asking for the size it has",
         [](sim::Machine& m) {
             m.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, true, ERROR_INSUFFICIENT_BUFFER, "|HardwareID"});
         },
         {"This thing is hosed\n", "SetupDiGetDeviceRegistryProperty failed - allocating 1088 bytes\n",
          "This thing is hosed\n"},
         false},
        {"first allocation",
         [](sim::Machine& m) { m.InjectFault("LocalAlloc", sim::Fault{1, false, ERROR_NOT_ENOUGH_MEMORY, ""}); },
         {"Allocation failed\n"}, false},
        {"growth allocation",
         [&](sim::Machine& m) {
             sim::AddDevice(m, "USB", "A", "1", {id1998}, kPlayerClass);
             m.InjectFault("LocalAlloc", sim::Fault{2, false, ERROR_NOT_ENOUGH_MEMORY, ""});
         },
         {"SetupDiGetDeviceRegistryProperty failed - allocating 2064 bytes\n", "\nAllocation failed\n"}, false},
        {"hardware-ID read with another code",
         [](sim::Machine& m) {
             m.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, false, kGenFailure, "|HardwareID"});
         },
         {"GetDeviceRegistryProperty failed\n"}, false},
        {"device without hardware IDs is passed over silently",
         [](sim::Machine& m) { sim::AddDevice(m, "USB", "A", "1", {}, kPlayerClass); },
         {"Compare device ID: ", "USB\\B", "\n", "Found\n", "Removed\n"}, true},
        {"enumeration ends with an unexpected error",
         [](sim::Machine& m) { m.InjectFault("SetupDiEnumDeviceInfo", sim::Fault{1, false, kGenFailure, ""}); },
         {"EnumDeviceInfo failed"}, false},
        {"list refused",
         [](sim::Machine& m) { m.InjectFault("SetupDiGetClassDevsA", sim::Fault{1, false, kGenFailure, ""}); },
         {"GetClassDevs failed\n"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machine = sim::Machine(Os::Win2000);
        sim::AddDevice(machine, "USB", "B", "1", {"USB\\B"}, kPlayerClass);
        row.setUp(machine);
        // Every one of these ends with a nonzero last error.
        EXPECT_EQ(RemoveDeviceForDeviceType("USB\\", DEVICETYPE_MP3_USB), 1);
        Lines expected = {"Trying to remove: ", "USB\\", "\n", "DeviceType: DEVICETYPE_MP3_USB\n"};
        expected.insert(expected.end(), row.tail.begin(), row.tail.end());
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(machine.KeyExists(Node("USB\\B\\1")), !row.bRemoved);
    }
}

}  // namespace
