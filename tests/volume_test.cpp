#include <string>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;

const char kMachine[] = R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USBSTOR\CdRom&Ven_Other&Prod_X&Rev_1.0\1&2]
"ParentIdPrefix"="7&aaa&0"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USBSTOR\DISK&VEN_ZMRA714_&PROD_PX714&REV_1.00\0001]
"ParentIdPrefix"="7&1a2b&0"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USBSTOR\DISK&VEN_ZMRA714_&PROD_PX714&REV_1.00\0002]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\USBSTOR\Disk&Ven_ZMRA714_&Prod_PX714&Rev_2.00\0003]
"ParentIdPrefix"="7&later&0"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\STORAGE\RemovableMedia\7&1a2b&0&RM]
"Driver"="{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0002"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\STORAGE\RemovableMedia\7&1a2b&0&RM\Control]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\STORAGE\RemovableMedia\7&1a2b&0&RM\LogConf]

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\STORAGE\RemovableMedia\7&later&0&RM]
"Driver"="{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0003"

[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}\0002]
[HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class\{71A27CDD-812A-11D0-BEC7-08002BE2092F}\0003]
)";

const char kMedia[] = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\";
const char kVolumeClass[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\";

class RemoveVolumeRegEntriesTest : public MachineTest {
protected:
    void SetUp() override { machine.LoadReg(kMachine); }
    bool Has(const std::string& path) { return machine.KeyExists(path); }
};

TEST_F(RemoveVolumeRegEntriesTest, FirstMatchingDeviceKeyOnly) {
    EXPECT_EQ(RemoveVolumeRegEntries(), 0);
    EXPECT_EQ(trace(), Pieces({
        "\nDeleting Volume registry entries\n", "Disk&Ven_ZMRA714_&Prod_PX714&Rev", "\n",
        "CdRom&Ven_Other&Prod_X&Rev_1.0", "\n",
        "DISK&VEN_ZMRA714_&PROD_PX714&REV_1.00", "\n",
        "0001", "\n", "Querying device instance\n", "ParentIdPrefix: ", "7&1a2b&0", "\n",
        "Querying driver class instance\n", "Driver instance:", "{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0002", "\n",
        "Deleting:", "{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0002", "\n",
        "Deleting:", "SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&1a2b&0&RM", "\n",
        "0002", "\n", "Querying device instance\n",
        "Key closed.  Returning\n"}));
    EXPECT_FALSE(Has(std::string(kMedia) + "7&1a2b&0&RM"));
    EXPECT_FALSE(Has(std::string(kVolumeClass) + "0002"));
    // The later revision's key is not processed.
    EXPECT_TRUE(Has(std::string(kMedia) + "7&later&0&RM"));
    EXPECT_TRUE(Has(std::string(kVolumeClass) + "0003"));
    // Nothing below USBSTOR goes.
    EXPECT_TRUE(Has("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\DISK&VEN_ZMRA714_&PROD_PX714&REV_1.00\\0001"));
}

TEST_F(RemoveVolumeRegEntriesTest, NoUsbStorKey) {
    machine = sim::Machine(sim::Os::Win98);
    EXPECT_EQ(RemoveVolumeRegEntries(), 0);
    EXPECT_EQ(trace(), Pieces({"\nDeleting Volume registry entries\n", "Disk&Ven_ZMRA714_&Prod_PX714&Rev", "\n"}));
}

TEST_F(RemoveVolumeRegEntriesTest, UsbStorRefusingFullAccessEndsSilently) {
    // NT's Enum keys open for reading only.
    machine.RestrictKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR");
    EXPECT_EQ(RemoveVolumeRegEntries(), 0);
    EXPECT_EQ(trace().size(), 3u);
    EXPECT_TRUE(Has(std::string(kMedia) + "7&1a2b&0&RM"));
}

TEST_F(RemoveVolumeRegEntriesTest, ParentIdPrefixThatDoesNotFitIsPassedOver) {
    struct Row {
        std::string prefix;
        bool processed;
    } rows[] = {{std::string(31, 'p'), true}, {std::string(32, 'p'), false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.prefix.size());
        machine = sim::Machine();
        machine.LoadReg("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\Disk&Ven_ZMRA714_&Prod_PX714&Rev_1\\X]\n"
                        "\"ParentIdPrefix\"=\"" + row.prefix + "\"\n"
                        "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\" + row.prefix + "&RM]\n"
                        "\"Driver\"=\"{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\\\0009\"\n");
        RemoveVolumeRegEntries();
        EXPECT_EQ(Has(std::string(kMedia) + row.prefix + "&RM"), !row.processed);
        bool traced = false;
        for (auto& piece : trace()) traced = traced || piece == "ParentIdPrefix: ";
        EXPECT_EQ(traced, row.processed);
    }
}

TEST_F(RemoveVolumeRegEntriesTest, NodeWithAThirdSubkeyStaysOnNt) {
    machine.LoadReg(std::string("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&1a2b&0&RM\\Device Parameters]\n"));
    RemoveVolumeRegEntries();
    EXPECT_EQ(machine.Dump(std::string(kMedia) + "7&1a2b&0&RM"),
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&1a2b&0&RM]\n"
              "\"Driver\"=\"{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\\\0002\"\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&1a2b&0&RM\\Device Parameters]\n");
    EXPECT_FALSE(Has(std::string(kVolumeClass) + "0002"));
}

TEST_F(RemoveVolumeRegEntriesTest, ClassKeyThatWillNotOpen) {
    machine.RestrictKey("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class");
    RemoveVolumeRegEntries();
    EXPECT_TRUE(Has(std::string(kVolumeClass) + "0002"));
    EXPECT_FALSE(Has(std::string(kMedia) + "7&1a2b&0&RM"));
    for (auto& piece : trace()) EXPECT_NE(piece, "{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0002\n");
    int deleting = 0;
    for (auto& piece : trace()) deleting += piece == "Deleting:";
    EXPECT_EQ(deleting, 1);  // only the node's line
}

TEST_F(RemoveVolumeRegEntriesTest, EmptyDriverTextNeverAddressesTheClassKey) {
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\7&1a2b&0&RM]\n\"Driver\"=\"\"\n");
    machine.SetOs(sim::Os::Win98);  // where deleting a key takes its subkeys along
    RemoveVolumeRegEntries();
    EXPECT_TRUE(Has(std::string(kVolumeClass) + "0002"));
    EXPECT_FALSE(Has(std::string(kMedia) + "7&1a2b&0&RM"));
}

}  // namespace
