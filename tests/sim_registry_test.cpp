// The simulated registry against what Windows (and Wine in its version
// modes) does for the calls the library makes.
#include <cstring>

#include "tests/support.h"

namespace {

using px714test::MachineTest;
using sim::Os;

class RegistryTest : public MachineTest {
protected:
    void SetUp() override {
        machine.LoadReg(R"(REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Parent\b-second]
[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Parent\A-first]
[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Parent\C-third\Deep]
[HKEY_LOCAL_MACHINE\SOFTWARE\Test\Values]
"Text"="abc"
@="unnamed"
"Dword"=dword:0000002a
)");
    }
    LONG Delete(const char* path) { return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path); }
};

TEST_F(RegistryTest, DeletingAKeyWithSubkeysFollowsTheFamily) {
    struct Row {
        Os os;
        LONG status;
        bool gone;
    } rows[] = {
        {Os::Win95, 0, true}, {Os::Win98, 0, true}, {Os::WinMe, 0, true},
        {Os::Nt4, ERROR_ACCESS_DENIED, false}, {Os::Win2000, ERROR_ACCESS_DENIED, false},
        {Os::WinXp, ERROR_ACCESS_DENIED, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        SetUp();
        Use(row.os);
        EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\C-third"), row.status);
        EXPECT_EQ(machine.KeyExists("HKLM\\SOFTWARE\\Test\\Parent\\C-third\\Deep"), !row.gone);
        // A leaf goes on every family; a missing key is ERROR_FILE_NOT_FOUND.
        EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\A-first"), ERROR_SUCCESS);
        EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\A-first"), ERROR_FILE_NOT_FOUND);
    }
}

TEST_F(RegistryTest, EmptyNameDeletesTheKeyItselfOn9xOnly) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Values", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_ACCESS_DENIED);  // NT
    Use(Os::Win98);
    EXPECT_EQ(RegDeleteKeyA(key, ""), ERROR_SUCCESS);
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Test\\Values"));
    // The handle outlives its key; calls on it report the deletion.
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, PathSyntax) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Test", &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Test", 0, KEY_ALL_ACCESS, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(Delete("\\SOFTWARE\\Test\\Parent\\A-first"), ERROR_BAD_PATHNAME);
    // A trailing backslash names the key; names ignore letter case.
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\TEST\\parent\\", &key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\a-FIRST\\"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, EnumerationIsSortedAndRenumbersAfterADeletion) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Parent", &key), ERROR_SUCCESS);
    auto nameAt = [&](DWORD index, DWORD capacity, LONG* status) {
        char name[64];
        std::memset(name, '#', sizeof name);
        DWORD length = capacity;
        FILETIME written;
        *status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, &written);
        return *status == ERROR_SUCCESS ? std::string(name, length) : std::string();
    };
    LONG status;
    EXPECT_EQ(nameAt(0, 64, &status), "A-first");
    EXPECT_EQ(nameAt(1, 64, &status), "b-second");
    EXPECT_EQ(nameAt(2, 64, &status), "C-third");
    nameAt(3, 64, &status);
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    // A name needs its length plus the terminator.
    nameAt(0, 7, &status);
    EXPECT_EQ(status, ERROR_MORE_DATA);
    EXPECT_EQ(nameAt(0, 8, &status), "A-first");
    // After deleting number 0, the key that was number 1 moves into it.
    EXPECT_EQ(RegDeleteKeyA(key, "A-first"), ERROR_SUCCESS);
    EXPECT_EQ(nameAt(0, 64, &status), "b-second");
    DWORD subkeys = 99;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, QueryValueSizes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Values", &key), ERROR_SUCCESS);
    char data[8];
    DWORD type = 0, size = 3;
    std::memset(data, '#', sizeof data);
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(data[0], '#');
    size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "text", nullptr, &type, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
    EXPECT_STREQ(data, "abc");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
    EXPECT_STREQ(data, "unnamed");
    size = sizeof data;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_FILE_NOT_FOUND);
    // "Default" is a value of its own, not the unnamed one.
    const BYTE empty[1] = {0};
    EXPECT_EQ(RegSetValueExA(key, "Default", 0, REG_SZ, empty, 1), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(machine.Dump("HKLM\\SOFTWARE\\Test\\Values"),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Values]\n"
              "\"Text\"=\"abc\"\n"
              "@=\"unnamed\"\n"
              "\"Dword\"=dword:0000002a\n"
              "\"Default\"=\"\"\n");
}

TEST_F(RegistryTest, RestrictedKeysOnNt) {
    machine.RestrictKey("HKLM\\SOFTWARE\\Test\\Parent\\A-first");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Parent\\A-first", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Parent\\A-first", 0, KEY_READ, &key), ERROR_SUCCESS);
    const BYTE one[1] = {1};
    EXPECT_EQ(RegSetValueExA(key, "x", 0, REG_BINARY, one, 1), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Parent\\A-first", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\A-first"), ERROR_ACCESS_DENIED);
    // The 95/98/Me family has no key security.
    Use(Os::Win98);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Parent\\A-first", 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Delete("SOFTWARE\\Test\\Parent\\A-first"), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ClassesRootIsAViewOfMachineClasses) {
    machine.LoadReg("[HKEY_CLASSES_ROOT\\CLSID\\{X}]\n\"v\"=\"1\"\n");
    EXPECT_TRUE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\CLSID\\{X}"));
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID\\{x}", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_SUCCESS);
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\CLSID\\{X}"));
}

TEST_F(RegistryTest, HandlesAreCountedAndCheckedOnClose) {
    HKEY a = nullptr, b = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &a), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(a, "Test", 0, KEY_ALL_ACCESS, &b), ERROR_SUCCESS);
    EXPECT_EQ(machine.OpenHandleCount(), 2u);
    EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(b), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST_F(RegistryTest, FaultsHitTheNthMatchingCall) {
    machine.InjectFault("RegOpenKeyA", sim::Fault{2, false, ERROR_ACCESS_DENIED, "values"});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Values", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", &key), ERROR_SUCCESS);  // does not match
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Values", &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Test\\Values", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(machine.faults["RegOpenKeyA"][0].injected, 1);
}

class KernelTest : public MachineTest {};

TEST_F(KernelTest, VersionRecordPerSystem) {
    struct Row {
        Os os;
        DWORD major, minor, platform;
    } rows[] = {{Os::Win95, 4, 0, 1},   {Os::Win98, 4, 10, 1},   {Os::WinMe, 4, 90, 1},
                {Os::Nt4, 4, 0, 2},     {Os::Win2000, 5, 0, 2},  {Os::WinXp, 5, 1, 2}};
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        Use(row.os);
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_EQ(GetVersionExA(&info), TRUE);
        EXPECT_EQ(info.dwMajorVersion, row.major);
        EXPECT_EQ(info.dwMinorVersion, row.minor);
        EXPECT_EQ(info.dwPlatformId, row.platform);
    }
    static_assert(sizeof(OSVERSIONINFOA) == 148, "the ANSI record is 148 bytes");
    Use(Os::QueryFails);
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_EQ(GetVersionExA(&info), FALSE);
    EXPECT_EQ(info.dwMajorVersion, 0u);
}

TEST_F(KernelTest, LocalAllocCountsAndFails) {
    machine.InjectFault("LocalAlloc", sim::Fault{2, false, ERROR_NOT_ENOUGH_MEMORY, ""});
    HLOCAL first = LocalAlloc(LMEM_ZEROINIT, 512);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(first)[511], 0);
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LMEM_ZEROINIT, 64), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(machine.OpenHandleCount(), 1u);
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST(RegText, MalformedTextIsRefusedWithItsPositionAndChangesNothing) {
    sim::Machine m;
    EXPECT_THROW(m.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"x\"=dword:xyz\n"), std::runtime_error);
    EXPECT_FALSE(m.KeyExists("HKLM\\SOFTWARE\\A"));
    try {
        m.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\"x\"=\"ok\"\n\"y\"=hex:0g\n");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(m.KeyExists("HKLM\\SOFTWARE\\A"));
}

}  // namespace
