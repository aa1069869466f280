// RemoveDevicesByHardwareId on the simulated device installer.
#include <functional>
#include <string>
#include <vector>

#include "engine/devremove.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const char kGuid[] = "{C6178071-6A08-481E-A679-E9D95A658998}";
const char kUsbClass[] = "{36FC9E60-C465-11CF-8056-444553540000}";
const DWORD kGenFailure = 31;  // ERROR_GEN_FAILURE

using Lines = std::vector<std::string>;

void Append(Lines* trace, std::initializer_list<std::string> pieces) { trace->insert(trace->end(), pieces); }

Lines Opening(const std::string& enumerator, const std::string& prefix) {
    return {"\nSearching for: ", enumerator, " \\ ", prefix, "\n"};
}

class RemoveByIdTest : public MachineTest {
protected:
    std::string Node(const std::string& path) const { return sim::EnumRoot(machine) + "\\" + path; }
};

TEST_F(RemoveByIdTest, EveryMatchingIdOfADeviceIsActedOn) {
    // SCSI ignores the class text. The second removal of the same node is
    // refused by the device installer; on 95/98/Me the removed node's
    // device key goes after the first.
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____D", "1",
                       {"MP3_____PLAYER_____D", "GenDisk", "mp3_____player_____"}, kUsbClass);
        sim::AddDevice(machine, "SCSI", "OTHER", "1", {"OTHER"});
        RemoveDevicesByHardwareId("SCSI", "MP3_____PLAYER_____", kGuid);
        Lines expected = Opening("SCSI", "MP3_____PLAYER_____");
        Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "MP3_____PLAYER_____D", "\n",
                           "\nRemoving: ", "MP3_____PLAYER_____D", "\n", "Removed\n"});
        if (!machine.IsNtFamily()) expected.push_back("DeleteKey OK\n");
        Append(&expected, {"\nComparing ID: ", "GenDisk", "\n", "\nComparing ID: ", "mp3_____player_____", "\n",
                           "\nRemoving: ", "mp3_____player_____", "\n", "CallClassInstaller failed\n",
                           "On to the next\n", "Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "OTHER",
                           "\n", "On to the next\n", "\nDone\n"});
        EXPECT_EQ(trace(), expected);
        EXPECT_FALSE(machine.KeyExists(Node("SCSI\\MP3_____PLAYER_____D")));
        EXPECT_TRUE(machine.KeyExists(Node("SCSI\\OTHER\\1")));
        EXPECT_EQ(machine.devices.nodesRemoved, 1);
    }
}

TEST_F(RemoveByIdTest, ClassFilterForUsbEnumeratorsOnly) {
    // DEV_A is of another class, DEV_B of the wanted one (stored in lower
    // case), DEV_C has no class; C follows B so that a field left over
    // from B would match.
    struct Row {
        const char* enumerator;
        const char* classGuid;
        bool filtered;
    } rows[] = {
        {"USB", kGuid, true},     {"usbstor", kGuid, true}, {"UsbHub", kGuid, true},
        {"SCSI", kGuid, false},   {"USB", nullptr, false},
    };
    for (Os os : {Os::Win98, Os::WinXp}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(sim::OsName(os)) + " " + row.enumerator + (row.classGuid ? " with class" : ""));
            machine = sim::Machine(os);
            sim::AddDevice(machine, row.enumerator, "DEV_A", "1", {"DEV_A", "OTHER_A"}, kUsbClass);
            sim::AddDevice(machine, row.enumerator, "DEV_B", "1", {"DEV_B"}, "{c6178071-6a08-481e-a679-e9d95a658998}");
            sim::AddDevice(machine, row.enumerator, "DEV_C", "1", {"DEV_C"});
            sim::AddDevice(machine, row.enumerator, "KEEP", "1", {"KEEP"});
            RemoveDevicesByHardwareId(row.enumerator, "dev_", row.classGuid);

            bool scsiKeyDeleted = !machine.IsNtFamily() && std::string(row.enumerator) == "SCSI";
            Lines expected = Opening(row.enumerator, "dev_");
            for (std::string device : {"DEV_A", "DEV_B", "DEV_C"}) {
                Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", device, "\n"});
                if (row.filtered) {
                    expected.push_back("Checking GUID - ");
                    if (device != "DEV_B") {
                        Append(&expected, {"Mismatched\n", "On to the next\n"});
                        continue;
                    }
                    expected.push_back("Matched\n");
                }
                Append(&expected, {"\nRemoving: ", device, "\n", "Removed\n"});
                if (scsiKeyDeleted) expected.push_back("DeleteKey OK\n");
                if (device == "DEV_A") Append(&expected, {"\nComparing ID: ", "OTHER_A", "\n"});
                expected.push_back("On to the next\n");
            }
            Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "KEEP", "\n",
                               "On to the next\n", "\nDone\n"});
            EXPECT_EQ(trace(), expected);
            std::string enumerator = std::string(row.enumerator) + "\\";
            EXPECT_EQ(machine.KeyExists(Node(enumerator + "DEV_A\\1")), row.filtered);
            EXPECT_FALSE(machine.KeyExists(Node(enumerator + "DEV_B\\1")));
            EXPECT_EQ(machine.KeyExists(Node(enumerator + "DEV_C\\1")), row.filtered);
            EXPECT_TRUE(machine.KeyExists(Node(enumerator + "KEEP\\1")));
        }
    }
}

TEST_F(RemoveByIdTest, GrownBufferIsKeptForLaterDevices) {
    // 598 characters, their zero and the list's closing zero: 600 bytes.
    std::string longId(598, 'L');
    for (Os os : {Os::WinMe, Os::Win2000}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        sim::AddDevice(machine, "USB", "A", "1", {longId});
        sim::AddDevice(machine, "USB", "B", "1", {"USB\\B"});
        RemoveDevicesByHardwareId("USB", "USB\\Vid_066F", nullptr);
        Lines expected = Opening("USB", "USB\\Vid_066F");
        Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n",
                           "SetupDiGetDeviceRegistryProperty failed - allocating 664 bytes\n", "\nComparing ID: ", longId,
                           "\n", "On to the next\n", "Getting h/w IDs\n", "buffersize = 664\n", "\nComparing ID: ",
                           "USB\\B", "\n", "On to the next\n", "\nDone\n"});
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(machine.allocationCalls, 2);
    }
}

TEST_F(RemoveByIdTest, BufferLimitOf5120Bytes) {
    struct Row {
        size_t need;      // bytes of the first device's hardware-ID list
        const char* growth;
        bool goesOn;
    } rows[] = {
        {5055, "SetupDiGetDeviceRegistryProperty failed - allocating 5119 bytes\n", true},
        {5056, "SetupDiGetDeviceRegistryProperty failed - allocating 5120 bytes\n", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.need);
        machine = sim::Machine(Os::WinXp);
        std::string id(row.need - 2, 'L');
        sim::AddDevice(machine, "USB", "A", "1", {id});
        sim::AddDevice(machine, "USB", "B", "1", {"USB\\B"});
        RemoveDevicesByHardwareId("USB", "", nullptr);
        Lines expected = Opening("USB", "");
        Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n", row.growth});
        if (row.goesOn) {
            Append(&expected, {"\nComparing ID: ", id, "\n", "\nRemoving: ", id, "\n", "Removed\n", "On to the next\n",
                               "Getting h/w IDs\n", "buffersize = 5119\n", "\nComparing ID: ", "USB\\B", "\n",
                               "\nRemoving: ", "USB\\B", "\n", "Removed\n", "On to the next\n"});
        }
        expected.push_back("\nDone\n");
        EXPECT_EQ(trace(), expected);
        // The given-up call released its buffer once and allocated no other.
        EXPECT_EQ(machine.allocationCalls, row.goesOn ? 2 : 1);
        EXPECT_EQ(machine.KeyExists(Node("USB\\B\\1")), !row.goesOn);
    }
}

TEST_F(RemoveByIdTest, FailuresAlongTheWay) {
    struct Row {
        const char* name;
        std::function<void(sim::Machine&)> setUp;
        Lines tail;  // after the opening pieces
        bool bRemoved;
    } rows[] = {
        {"list refused",
         [](sim::Machine& m) { m.InjectFault("SetupDiGetClassDevsA", sim::Fault{1, false, kGenFailure, ""}); },
         {"\nGetClassDevs failed\n", "\nDone\n"}, false},
        {"first allocation",
         [](sim::Machine& m) { m.InjectFault("LocalAlloc", sim::Fault{1, false, ERROR_NOT_ENOUGH_MEMORY, ""}); },
         {"\nAllocation failed\n", "\nDone\n"}, false},
        {"growth allocation",
         [](sim::Machine& m) {
             sim::AddDevice(m, "USB", "A", "0", {std::string(598, 'L')});
             m.InjectFault("LocalAlloc", sim::Fault{2, false, ERROR_NOT_ENOUGH_MEMORY, ""});
         },
         {"Getting h/w IDs\n", "buffersize = 512\n", "SetupDiGetDeviceRegistryProperty failed - allocating 664 bytes\n",
          "\nAllocation failed\n", "\nDone\n"},
         false},
        {"hardware-ID read with another code",
         [](sim::Machine& m) {
             m.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, false, kGenFailure, "|HardwareID"});
         },
         {"Getting h/w IDs\n", "buffersize = 512\n", "GetDeviceRegistryProperty failed\n", "\nDone\n"}, false},
        {"device installer keeps asking for the size it has",
         [](sim::Machine& m) {
             m.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, true, ERROR_INSUFFICIENT_BUFFER, "|HardwareID"});
         },
         {"Getting h/w IDs\n", "buffersize = 512\n", "This thing is hosed\n",
          "SetupDiGetDeviceRegistryProperty failed - allocating 576 bytes\n", "This thing is hosed\n",
          "SetupDiGetDeviceRegistryProperty failed - allocating 576 bytes\n", "\nDone\n"},
         false},
        {"device without hardware IDs",
         [](sim::Machine& m) { sim::AddDevice(m, "USB", "A", "0", {}); },
         {"Getting h/w IDs\n", "buffersize = 512\n", "SetupDiGetDeviceRegistryProperty failed with invalid data\n",
          "Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "USB\\B", "\n", "\nRemoving: ", "USB\\B", "\n",
          "Removed\n", "On to the next\n", "\nDone\n"},
         true},
        {"enumeration ends with an unexpected error",
         [](sim::Machine& m) {
             sim::AddDevice(m, "USB", "A", "0", {"NO"});
             m.InjectFault("SetupDiEnumDeviceInfo", sim::Fault{2, false, kGenFailure, ""});
         },
         {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "NO", "\n", "On to the next\n",
          "EnumDeviceInfo failed", "\nDone\n"},
         false},
        {"removal refused",
         [](sim::Machine& m) { m.InjectFault("SetupDiCallClassInstaller", sim::Fault{1, false, ERROR_ACCESS_DENIED, ""}); },
         {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "USB\\B", "\n", "\nRemoving: ", "USB\\B", "\n",
          "CallClassInstaller failed\n", "On to the next\n", "\nDone\n"},
         false},
    };
    for (Os os : {Os::Win95, Os::WinXp}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(sim::OsName(os)) + ": " + row.name);
            machine = sim::Machine(os);
            sim::AddDevice(machine, "USB", "B", "1", {"USB\\B"});
            row.setUp(machine);
            RemoveDevicesByHardwareId("USB", "USB\\", nullptr);
            Lines expected = Opening("USB", "USB\\");
            expected.insert(expected.end(), row.tail.begin(), row.tail.end());
            EXPECT_EQ(trace(), expected);
            EXPECT_EQ(machine.KeyExists(Node("USB\\B\\1")), !row.bRemoved);
        }
    }
}

TEST_F(RemoveByIdTest, EnumeratorWithoutNodesOrWithoutKey) {
    // The device installer lists an empty enumerator, and refuses one it
    // has no key for.
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\PLAYER]\n");
    RemoveDevicesByHardwareId("PLAYER", "PLAYER\\VEN_066F&DEV_3400", nullptr);
    RemoveDevicesByHardwareId("MP3", "MP3\\VEN_066F&DEV_3400", nullptr);
    Lines expected = Opening("PLAYER", "PLAYER\\VEN_066F&DEV_3400");
    expected.push_back("\nDone\n");
    Lines second = Opening("MP3", "MP3\\VEN_066F&DEV_3400");
    expected.insert(expected.end(), second.begin(), second.end());
    Append(&expected, {"\nGetClassDevs failed\n", "\nDone\n"});
    EXPECT_EQ(trace(), expected);
}

TEST_F(RemoveByIdTest, ScsiKeyDeletionOn9598MeOnly) {
    // The device key named after the matching ID goes after a removal; a
    // refused deletion is traced with its path; a path that does not fit
    // its 64 bytes is left out whole, never cut short.
    std::string longId = "MP3_____PLAYER_____" + std::string(35, 'X');  // "Enum\\scsi\\" and 54: 65 bytes
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____A", "1", {"MP3_____PLAYER_____A"});
        sim::AddDevice(machine, "SCSI", "MP3_____PLAYER_____B", "1", {"MP3_____PLAYER_____B"});
        sim::AddDevice(machine, "SCSI", longId, "1", {longId});
        sim::AddDevice(machine, "SCSI", "ZZZ", "1", {"ZZZ"});
        machine.InjectFault("RegDeleteKeyA", sim::Fault{2, false, ERROR_ACCESS_DENIED, ""});
        RemoveDevicesByHardwareId("scsi", "MP3_____PLAYER_____", nullptr);
        bool nt = machine.IsNtFamily();
        Lines expected = Opening("scsi", "MP3_____PLAYER_____");
        Append(&expected, {"Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "MP3_____PLAYER_____A", "\n",
                           "\nRemoving: ", "MP3_____PLAYER_____A", "\n", "Removed\n"});
        if (!nt) expected.push_back("DeleteKey OK\n");
        Append(&expected, {"On to the next\n", "Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ",
                           "MP3_____PLAYER_____B", "\n", "\nRemoving: ", "MP3_____PLAYER_____B", "\n", "Removed\n"});
        if (!nt) Append(&expected, {"delete key failed ", "Enum\\scsi\\MP3_____PLAYER_____B", "\n"});
        Append(&expected, {"On to the next\n", "Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", longId,
                           "\n", "\nRemoving: ", longId, "\n", "Removed\n"});
        if (!nt) Append(&expected, {"Deletion path too long: ", longId, "\n"});
        Append(&expected, {"On to the next\n", "Getting h/w IDs\n", "buffersize = 512\n", "\nComparing ID: ", "ZZZ",
                           "\n", "On to the next\n", "\nDone\n"});
        EXPECT_EQ(trace(), expected);
        // NT's device installer takes emptied device keys along itself;
        // 95/98/Me leave them, and only the refused one stays behind here.
        EXPECT_FALSE(machine.KeyExists(Node("SCSI\\MP3_____PLAYER_____A")));
        EXPECT_EQ(machine.KeyExists(Node("SCSI\\MP3_____PLAYER_____B")), !nt);
        EXPECT_EQ(machine.KeyExists(Node("SCSI\\" + longId)), !nt);
        EXPECT_TRUE(machine.KeyExists(Node("SCSI\\ZZZ\\1")));
    }
}

}  // namespace
