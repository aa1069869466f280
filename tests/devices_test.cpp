// The simulated device installer: lists, properties, removal and faults, on
// both families' Enum trees.
#include <cstring>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using px714test::MachineTest;
using sim::Os;

const char kDiskClass[] = "{4d36e967-e325-11ce-bfc1-08002be10318}";
const GUID kDiskGuid = {0x4D36E967, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const char kPlayerClass[] = "{C6178071-6A08-481E-A679-E9D95A658998}";
const DWORD kGenFailure = 31;  // ERROR_GEN_FAILURE

class DeviceInstallerTest : public MachineTest {
protected:
    // Instance IDs of a list's members, in order; the list is destroyed.
    std::vector<std::string> Members(HDEVINFO list) {
        std::vector<std::string> ids;
        SP_DEVINFO_DATA data;
        data.cbSize = sizeof data;
        for (DWORD i = 0; SetupDiEnumDeviceInfo(list, i, &data); ++i) {
            char id[256] = {};
            DWORD size = 0;
            // The location text of these fixtures is the instance ID.
            EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_LOCATION_INFORMATION, nullptr,
                                                          reinterpret_cast<BYTE*>(id), sizeof id, &size));
            ids.push_back(id);
        }
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
        return ids;
    }
    void Add(const char* e, const char* d, const char* i, const char* cls, std::vector<std::string> ids = {"X"}) {
        sim::AddDevice(machine, e, d, i, ids, cls ? cls : "", "", std::string(e) + "\\" + d + "\\" + i);
    }
    void AddFixture() {
        Add("USB", "VID_066F&PID_3400", "1", kPlayerClass);
        Add("USB", "VID_066F&PID_3400", "2", "{c6178071-6a08-481e-a679-e9d95a658998}");
        Add("USB", "ROOT_HUB", "3", "{36FC9E60-C465-11CF-8056-444553540000}");
        Add("SCSI", "Disk&Ven_ZMRA714_", "4", kDiskClass);
        Add("USBSTOR", "Disk&Ven_ZMRA714_", "5", "{4D36E967-E325-11CE-BFC1-08002BE10318}");
        Add("STORAGE", "Volume", "6", nullptr);
    }
};

TEST_F(DeviceInstallerTest, ListsTheFamilysEnumTreeByEnumeratorAndClass) {
    for (Os os : {Os::WinXp, Os::Win98}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        AddFixture();
        // A node in the other family's tree is not seen.
        machine.LoadReg(os == Os::WinXp ? "[HKLM\\Enum\\USB\\Other\\9]\n\"ClassGUID\"=\"{C6178071-6A08-481E-A679-E9D95A658998}\"\n"
                                        : "[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Other\\9]\n\"ClassGUID\"=\"{C6178071-6A08-481E-A679-E9D95A658998}\"\n");

        HDEVINFO list = SetupDiGetClassDevsA(nullptr, "usb", nullptr, DIGCF_ALLCLASSES);
        ASSERT_NE(list, INVALID_HANDLE_VALUE);
        EXPECT_EQ(machine.OpenHandleCount(), 1u);
        EXPECT_EQ(Members(list), (std::vector<std::string>{"USB\\ROOT_HUB\\3", "USB\\VID_066F&PID_3400\\1",
                                                             "USB\\VID_066F&PID_3400\\2"}));
        // Flags 0: the nodes of one class, under every enumerator or one;
        // the stored class text is compared without regard to case.
        EXPECT_EQ(Members(SetupDiGetClassDevsA(&kDiskGuid, nullptr, nullptr, 0)),
                  (std::vector<std::string>{"SCSI\\Disk&Ven_ZMRA714_\\4", "USBSTOR\\Disk&Ven_ZMRA714_\\5"}));
        EXPECT_EQ(Members(SetupDiGetClassDevsA(&kDiskGuid, "USBSTOR", nullptr, 0)),
                  (std::vector<std::string>{"USBSTOR\\Disk&Ven_ZMRA714_\\5"}));
        // DIGCF_ALLCLASSES ignores the class.
        EXPECT_EQ(Members(SetupDiGetClassDevsA(&kDiskGuid, "STORAGE", nullptr, DIGCF_ALLCLASSES)),
                  (std::vector<std::string>{"STORAGE\\Volume\\6"}));
        EXPECT_EQ(machine.devices.OpenHandles(), 0u);
    }
}

TEST_F(DeviceInstallerTest, ListRefusals) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\EMPTY]\n");
    struct Row {
        const char* name;
        const GUID* guid;
        const char* enumerator;
        DWORD flags;
        DWORD error;
    } rows[] = {
        {"enumerator without a key", nullptr, "PLAYER", DIGCF_ALLCLASSES, ERROR_INVALID_DATA},
        {"no class and not all classes", nullptr, "EMPTY", 0, ERROR_INVALID_PARAMETER},
        {"presence is not modelled", &kDiskGuid, nullptr, DIGCF_PRESENT, ERROR_INVALID_FLAGS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(SetupDiGetClassDevsA(row.guid, row.enumerator, nullptr, row.flags), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), row.error);
    }
    // An enumerator key without nodes gives an empty list.
    HDEVINFO list = SetupDiGetClassDevsA(nullptr, "EMPTY", nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Members(list).empty());
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(list));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(DeviceInstallerTest, PropertyReads) {
    for (Os os : {Os::WinXp, Os::WinMe}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "5&1", {"USB\\VID_066F&PID_3400&REV_0100", "USB\\VID_066F&PID_3400"},
                       "{c6178071-6a08-481e-a679-e9d95a658998}", "{c6178071-6a08-481e-a679-e9d95a658998}\\0003", "Port_#0001");
        sim::AddDevice(machine, "USB", "VID_066F&PID_3410", "1", {});
        HDEVINFO list = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES);
        SP_DEVINFO_DATA data;
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 0, &data));
        EXPECT_EQ(data.Reserved, 0u);
        EXPECT_EQ(sim::GuidText(data.ClassGuid), "{C6178071-6A08-481E-A679-E9D95A658998}");

        const char ids[] = "USB\\VID_066F&PID_3400&REV_0100\0USB\\VID_066F&PID_3400\0";  // 55 bytes with the closing zero
        unsigned char buffer[80];
        std::memset(buffer, '#', sizeof buffer);
        DWORD type = 0, required = 0;
        SetLastError(0xDEADBEEF);
        EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, &type, buffer, 10, &required));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(required, sizeof ids);
        EXPECT_EQ(buffer[0], '#');
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, &type, buffer, sizeof ids, &required));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        EXPECT_EQ(std::memcmp(buffer, ids, sizeof ids), 0);
        EXPECT_EQ(buffer[sizeof ids], '#');

        char text[64];
        ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_CLASSGUID, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
        // The NT family hands the class out in upper case; 95/98/Me as stored.
        EXPECT_STREQ(text, os == Os::WinXp ? "{C6178071-6A08-481E-A679-E9D95A658998}" : "{c6178071-6a08-481e-a679-e9d95a658998}");
        ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_DRIVER, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
        EXPECT_STREQ(text, "{c6178071-6a08-481e-a679-e9d95a658998}\\0003");
        ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_LOCATION_INFORMATION, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
        EXPECT_STREQ(text, "Port_#0001");

        // A node without the value.
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 1, &data));
        required = 77;
        for (DWORD property : {DWORD(SPDRP_HARDWAREID), DWORD(SPDRP_CLASSGUID), DWORD(SPDRP_DRIVER)}) {
            EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(list, &data, property, nullptr, buffer, sizeof buffer, &required));
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
        }
        EXPECT_EQ(required, 77u);
        EXPECT_FALSE(SetupDiEnumDeviceInfo(list, 2, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
        // A record of another size, or one the list did not hand out.
        SP_DEVINFO_DATA forged = data;
        forged.DevInst += 100;
        EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(list, &forged, SPDRP_DRIVER, nullptr, buffer, sizeof buffer, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        forged = data;
        forged.cbSize = 32;
        EXPECT_FALSE(SetupDiEnumDeviceInfo(list, 0, &forged));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
    }
}

TEST_F(DeviceInstallerTest, RemovalTakesTheNodeAndItsDriverKey) {
    for (Os os : {Os::WinXp, Os::Win98}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        std::string enumRoot = sim::EnumRoot(machine);
        std::string classRoot = sim::ClassRoot(machine);
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "1", {"A"}, kPlayerClass, "{C6178071-6A08-481E-A679-E9D95A658998}\\0000");
        sim::AddDevice(machine, "USB", "VID_066F&PID_3400", "2", {"A"}, kPlayerClass, "{C6178071-6A08-481E-A679-E9D95A658998}\\0001");
        sim::AddDevice(machine, "PLAYER", "VEN_066F&DEV_3400", "1", {"B"});
        machine.LoadReg("[" + enumRoot + "\\USB\\VID_066F&PID_3400\\1\\Device Parameters]\n\"x\"=\"y\"\n"
                        "[" + classRoot + "\\{C6178071-6A08-481E-A679-E9D95A658998}\\0000\\Settings]\n"
                        "[" + classRoot + "\\{C6178071-6A08-481E-A679-E9D95A658998}\\0001]\n");
        // NT's Enum keys refuse deletion to everyone but the device installer.
        if (os == Os::WinXp) machine.RestrictKey(enumRoot + "\\USB\\VID_066F&PID_3400\\1");

        HDEVINFO list = SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
        SP_DEVINFO_DATA data;
        data.cbSize = sizeof data;
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 1, &data));  // USB\VID_066F&PID_3400\1
        SetLastError(0xDEADBEEF);
        EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
        EXPECT_FALSE(machine.KeyExists(enumRoot + "\\USB\\VID_066F&PID_3400\\1"));
        EXPECT_TRUE(machine.KeyExists(enumRoot + "\\USB\\VID_066F&PID_3400\\2"));
        EXPECT_EQ(machine.Dump(classRoot), "[" + classRoot + "]\n\n[" + classRoot + "\\{C6178071-6A08-481E-A679-E9D95A658998}]\n\n[" +
                                               classRoot + "\\{C6178071-6A08-481E-A679-E9D95A658998}\\0001]\n");

        // The member stays in the list; the node is gone for it.
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 1, &data));
        char text[64];
        EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
        EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));

        // On NT the last instance of a device takes the emptied device key,
        // and the emptied enumerator key, along; 95/98/Me leave both.
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 0, &data));  // PLAYER\VEN_066F&DEV_3400\1
        EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
        ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 2, &data));
        EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
        if (os == Os::WinXp)
            EXPECT_EQ(machine.Dump(enumRoot), "[" + enumRoot + "]\n");
        else
            EXPECT_EQ(machine.Dump(enumRoot), "[" + enumRoot + "]\n\n[" + enumRoot + "\\PLAYER]\n\n[" + enumRoot +
                                                  "\\PLAYER\\VEN_066F&DEV_3400]\n\n[" + enumRoot + "\\USB]\n\n[" + enumRoot +
                                                  "\\USB\\VID_066F&PID_3400]\n");
        EXPECT_EQ(machine.devices.nodesRemoved, 3);
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
    }
}

TEST_F(DeviceInstallerTest, InjectedFaults) {
    Add("USB", "VID_066F&PID_3400", "1", kPlayerClass);
    Add("USB", "VID_066F&PID_3410", "2", kPlayerClass);
    machine.InjectFault("SetupDiGetClassDevsA", sim::Fault{1, false, ERROR_NOT_ENOUGH_MEMORY, "USB"});
    EXPECT_EQ(SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

    machine.InjectFault("SetupDiGetDeviceRegistryPropertyA", sim::Fault{1, true, kGenFailure, "PID_3410\\2|HardwareID"});
    machine.InjectFault("SetupDiCallClassInstaller", sim::Fault{1, false, ERROR_ACCESS_DENIED, "PID_3400"});
    machine.InjectFault("SetupDiEnumDeviceInfo", sim::Fault{2, false, ERROR_INVALID_DATA, ""});
    HDEVINFO list = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data;
    data.cbSize = sizeof data;
    char text[64];
    ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 0, &data));
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_FALSE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(machine.KeyExists(sim::EnumRoot(machine) + "\\USB\\VID_066F&PID_3400\\1"));
    EXPECT_FALSE(SetupDiEnumDeviceInfo(list, 1, &data));  // the second enumeration call
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
    ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 1, &data));
    EXPECT_FALSE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(kGenFailure));
    EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &data, SPDRP_CLASSGUID, nullptr, reinterpret_cast<BYTE*>(text), sizeof text, nullptr));
    EXPECT_TRUE(SetupDiCallClassInstaller(DIF_REMOVE, list, &data));
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(list));
}

}  // namespace

namespace {

// The 95/98/Me Enum tree keeps HardwareID as a comma-separated text; the
// device installer reads it as the list it is.
TEST(DeviceInstaller9x, CommaSeparatedHardwareIdsReadAsAList) {
    sim::Machine machine(sim::Os::Win98);
    sim::ScopedMachine scope(machine);
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\Enum\\USB\\VID_066F&PID_3400\\1]\n"
                    "\"HardwareID\"=\"USB\\\\VID_066F&PID_3400&REV_0100,USB\\\\VID_066F&PID_3400\"\n");
    HDEVINFO list = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES);
    ASSERT_NE(list, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    ASSERT_TRUE(SetupDiEnumDeviceInfo(list, 0, &device));
    char ids[128];
    DWORD type = 0, required = 0;
    ASSERT_TRUE(SetupDiGetDeviceRegistryPropertyA(list, &device, SPDRP_HARDWAREID, &type,
                                                  reinterpret_cast<BYTE*>(ids), sizeof ids, &required));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    const std::string expected("USB\\VID_066F&PID_3400&REV_0100\0USB\\VID_066F&PID_3400\0\0", 54);
    EXPECT_EQ(std::string(ids, expected.size()), expected);
    SetupDiDestroyDeviceInfoList(list);
}

}  // namespace
