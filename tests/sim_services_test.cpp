// The simulated service control manager and system message table: what the
// filter-driver and service-check exports rely on.
#include <cstring>
#include <string>

#include "tests/support.h"

namespace {

using px714test::MachineTest;

const char kServices[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";

class ServiceManagerTest : public MachineTest {
protected:
    void SetUp() override {
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
    }
    void TearDown() override {
        if (manager != nullptr) EXPECT_TRUE(CloseServiceHandle(manager));
        MachineTest::TearDown();
    }
    // A file-system driver, boot start, group "filter".
    SC_HANDLE Create(const char* name, const char* display, DWORD access = SERVICE_ALL_ACCESS) {
        SetLastError(0xdeadbeef);
        return CreateServiceA(manager, name, display, access, SERVICE_FILE_SYSTEM_DRIVER, SERVICE_BOOT_START,
                              SERVICE_ERROR_NORMAL, "d.sys", "filter", nullptr, nullptr, nullptr, nullptr);
    }
    SC_HANDLE Open(const char* name, DWORD access = SERVICE_ALL_ACCESS) {
        SetLastError(0xdeadbeef);
        return OpenServiceA(manager, name, access);
    }
    std::string Path(const char* name) { return std::string(kServices) + "\\" + name; }

    SC_HANDLE manager = nullptr;
};

TEST_F(ServiceManagerTest, CreateWritesTheServiceKey) {
    SC_HANDLE service = Create("Vxfilter", "Vx Filter");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(machine.Dump(Path("vxfilter")),
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
              "\"Type\"=dword:00000002\n"
              "\"Start\"=dword:00000000\n"
              "\"ErrorControl\"=dword:00000001\n"
              "\"ImagePath\"=hex(2):64,2e,73,79,73,00\n"
              "\"Group\"=\"filter\"\n"
              "\"DisplayName\"=\"Vx Filter\"\n");
    EXPECT_FALSE(machine.services.IsRunning("Vxfilter"));
    EXPECT_EQ(machine.services.OpenHandles(), 2u);  // the manager and the service
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_TRUE(machine.KeyExists(Path("Vxfilter")));  // closing deletes nothing
}

TEST_F(ServiceManagerTest, CreateRefusals) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Taken]\n\"DisplayName\"=\"Taken Display\"\n"
                    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Plain]\n");
    struct Row {
        const char* name;
        const char* display;
        DWORD error;
    } rows[] = {
        {"TAKEN", "New", ERROR_SERVICE_EXISTS},                // the name, letter case ignored
        {"New", "taken display", ERROR_DUPLICATE_SERVICE_NAME},  // another's display name
        {"New", "PLAIN", ERROR_DUPLICATE_SERVICE_NAME},        // another's name, its display name by default
        {"", "New", ERROR_INVALID_NAME},
        {"a\\b", "New", ERROR_INVALID_NAME},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " / " + row.display);
        EXPECT_EQ(Create(row.name, row.display), nullptr);
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_EQ(Create(nullptr, "New"), nullptr);
    EXPECT_EQ(GetLastError(), sim::kErrorInvalidAddress);
    EXPECT_FALSE(machine.KeyExists(Path("New")));

    // Creating needs SC_MANAGER_CREATE_SERVICE; reading access does not give it.
    SC_HANDLE reader = OpenSCManagerA(nullptr, nullptr, GENERIC_READ);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(reader, "New", "New", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                             SERVICE_ERROR_NORMAL, "n.sys", nullptr, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseServiceHandle(reader));
}

TEST_F(ServiceManagerTest, TagsOrderBootDriversOfAGroup) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Earlier]\n\"Group\"=\"Filter\"\n\"Tag\"=dword:00000004\n");
    DWORD tag = 0;
    SC_HANDLE service = CreateServiceA(manager, "Tagged", "Tagged", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL, "t.sys", "filter", &tag, nullptr,
                                       nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(tag, 5u);
    EXPECT_TRUE(CloseServiceHandle(service));
    // No tag for a demand start driver.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateServiceA(manager, "Demand", "Demand", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "t.sys", "filter", &tag, nullptr, nullptr,
                             nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ServiceManagerTest, TheRegistryIsTheDatabase) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Loaded]\n\"Type\"=dword:00000001\n");
    SC_HANDLE service = Open("LOADED");
    ASSERT_NE(service, nullptr);
    EXPECT_TRUE(CloseServiceHandle(service));

    EXPECT_EQ(Open("Missing"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(Open("Loaded\\Sub"), nullptr);  // never a path into the key
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_EQ(Open(""), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));

    // A key removed behind the manager's back takes the service with it.
    machine.LoadReg("[-HKLM\\SYSTEM\\CurrentControlSet\\Services\\Loaded]\n");
    EXPECT_EQ(Open("Loaded"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceManagerTest, StartAndStop) {
    SC_HANDLE service = Create("Drv", "Drv");
    ASSERT_NE(service, nullptr);
    SERVICE_STATUS status;

    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_NOT_ACTIVE));

    EXPECT_TRUE(StartServiceA(service, 0, nullptr));
    EXPECT_TRUE(machine.services.IsRunning("drv"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_ALREADY_RUNNING));

    std::memset(&status, 0xCC, sizeof status);
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(status.dwServiceType, static_cast<DWORD>(SERVICE_FILE_SYSTEM_DRIVER));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_FALSE(machine.services.IsRunning("Drv"));

    // A driver whose image cannot be found.
    machine.services.SetStartResult("DRV", ERROR_FILE_NOT_FOUND);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(machine.services.IsRunning("Drv"));

    // A disabled service.
    machine.services.SetStartResult("Drv", 0);
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Drv]\n\"Start\"=dword:00000004\n");
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DISABLED));
    EXPECT_TRUE(CloseServiceHandle(service));

    // Rights: a handle for reading may neither start, stop nor delete.
    SC_HANDLE reader = Open("Drv", GENERIC_READ);
    ASSERT_NE(reader, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(StartServiceA(reader, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ControlService(reader, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteService(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseServiceHandle(reader));
}

TEST_F(ServiceManagerTest, DeletionWaitsForTheStopAndTheLastHandle) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Drv]\n\"Type\"=dword:00000002\n"
                    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Drv\\Enum]\n\"Count\"=dword:00000001\n");
    machine.services.SetRunning("Drv", true);
    SC_HANDLE first = Open("Drv");
    SC_HANDLE second = Open("drv");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    EXPECT_TRUE(DeleteService(first));
    EXPECT_TRUE(machine.services.IsMarkedForDeletion("Drv"));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteService(second));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    // Marked: it cannot be started or created again, but it can be opened and stopped.
    EXPECT_FALSE(StartServiceA(second, 0, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
    EXPECT_EQ(Create("Drv", "Drv"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));

    EXPECT_TRUE(CloseServiceHandle(first));
    EXPECT_TRUE(machine.KeyExists(Path("Drv")));  // a handle is open and it runs
    SERVICE_STATUS status;
    EXPECT_TRUE(ControlService(second, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(machine.KeyExists(Path("Drv")));  // stopped, but a handle is open
    EXPECT_TRUE(CloseServiceHandle(second));
    EXPECT_FALSE(machine.KeyExists(Path("Drv")));  // the key goes with its subkeys
    EXPECT_FALSE(machine.services.IsMarkedForDeletion("Drv"));
    EXPECT_EQ(Open("Drv"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

    // The name is free again, for a service that starts out stopped.
    SC_HANDLE again = Create("Drv", "Drv");
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(machine.services.IsRunning("Drv"));
    EXPECT_TRUE(CloseServiceHandle(again));

    // A service that is still running when its last handle closes stays
    // marked until a later stop and close.
    machine.services.SetRunning("Drv", true);
    SC_HANDLE h = Open("Drv");
    EXPECT_TRUE(DeleteService(h));
    EXPECT_TRUE(CloseServiceHandle(h));
    EXPECT_TRUE(machine.KeyExists(Path("Drv")));
    h = Open("Drv");
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(ControlService(h, SERVICE_CONTROL_STOP, &status));
    EXPECT_TRUE(CloseServiceHandle(h));
    EXPECT_FALSE(machine.KeyExists(Path("Drv")));
}

TEST_F(ServiceManagerTest, DisplayNameBufferRule) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Named]\n\"DisplayName\"=\"Named Driver\"\n"
                    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Bare]\n");
    struct Row {
        const char* name;
        DWORD size;
        BOOL result;
        DWORD error;
        DWORD sizeAfter;
        const char* text;  // the buffer afterwards
    } rows[] = {
        {"Named", 13, TRUE, 0xdeadbeef, 12, "Named Driver"},
        {"named", 100, TRUE, 0xdeadbeef, 12, "Named Driver"},
        // No room for the terminator: twice the length, and the empty text
        // where the buffer has room for it (Wine shows both).
        {"Named", 12, FALSE, ERROR_INSUFFICIENT_BUFFER, 24, ""},
        {"Named", 1, FALSE, ERROR_INSUFFICIENT_BUFFER, 24, ""},
        {"Named", 0, FALSE, ERROR_INSUFFICIENT_BUFFER, 24, "########"},
        {"Bare", 5, TRUE, 0xdeadbeef, 4, "Bare"},  // no DisplayName: the service name
        {"Missing", 100, FALSE, ERROR_SERVICE_DOES_NOT_EXIST, 100, "########"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " size " + std::to_string(row.size));
        char buffer[100];
        std::memset(buffer, '#', sizeof buffer);
        buffer[8] = 0;
        DWORD size = row.size;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GetServiceDisplayNameA(manager, row.name, buffer, &size), row.result);
        EXPECT_EQ(GetLastError(), row.error);
        EXPECT_EQ(size, row.sizeAfter);
        EXPECT_STREQ(buffer, row.text);
    }
}

TEST_F(ServiceManagerTest, HandlesAreCountedAndCheckedByKind) {
    SC_HANDLE service = Create("Drv", "Drv");
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(machine.OpenHandleCount(), 2u);
    DWORD size = 10;
    char buffer[10];
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetServiceDisplayNameA(service, "Drv", buffer, &size));  // a service handle is no manager
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(DeleteService(manager));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(machine.OpenHandleCount(), 1u);
}

TEST(ServiceManagerOpen, RefusedOn9xAndByInjectedFault) {
    for (sim::Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        sim::Machine machine(os);
        sim::ScopedMachine scope(machine);
        SetLastError(0xdeadbeef);
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (machine.IsNtFamily()) {
            ASSERT_NE(manager, nullptr);
            EXPECT_TRUE(CloseServiceHandle(manager));
        } else {
            EXPECT_EQ(manager, nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
        }
        machine.InjectFault("OpenSCManagerA", sim::Fault{1, false, ERROR_ACCESS_DENIED, ""});
        if (machine.IsNtFamily()) {
            EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS), nullptr);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
        EXPECT_EQ(machine.OpenHandleCount(), 0u);
    }
}

TEST(SystemMessages, TextsAsWindowsGivesThem) {
    sim::Machine machine;
    sim::ScopedMachine scope(machine);
    struct Row {
        DWORD code;
        const char* text;
    } rows[] = {
        {2, "The system cannot find the file specified.\r\n"},
        {5, "Access is denied.\r\n"},
        {80, "The file exists.\r\n"},
        {120, "This function is not supported on this system.\r\n"},
        {1056, "An instance of the service is already running.\r\n"},
        {1060, "The specified service does not exist as an installed service.\r\n"},
        {1062, "The service has not been started.\r\n"},
        {1072, "The specified service has been marked for deletion.\r\n"},
        {1073, "The specified service already exists.\r\n"},
        {1078, "The name is already in use as either a service name or a service display name.\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        char buffer[260];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, row.code, 0, buffer, sizeof buffer, nullptr),
                  std::strlen(row.text));
        EXPECT_STREQ(buffer, row.text);
    }

    // No text: 0, the buffer untouched.
    char buffer[260];
    std::memset(buffer, '#', sizeof buffer);
    buffer[259] = 0;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x2000ABCDu, 0, buffer, sizeof buffer, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 317u);  // ERROR_MR_MID_NOT_FOUND
    EXPECT_EQ(std::string(buffer), std::string(259, '#'));

    // A buffer that cannot take the text and its terminator.
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 19, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, 20, nullptr), 19u);
}

}  // namespace
