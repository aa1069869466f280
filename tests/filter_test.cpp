// InstallFilter and RemoveFilter: banner, failure, success and restart
// lines, the service afterwards, and the error-code results with the
// system's texts.
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;

const char kDriver[] = "C:\\WINDOWS\\system32\\drivers\\vxfilter.sys";
const char kKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter";

// The banner followed by the given lines.
std::vector<std::string> Banner(std::initializer_list<const char*> lines) {
    std::vector<std::string> all = {"\nVxfilter.sys Simple Installation Aid\n",
                                    "Part of the PX714 setup support library.\n",
                                    "(c) the px714sup developers. All rights reserved.\n"};
    all.insert(all.end(), lines.begin(), lines.end());
    return all;
}

const std::vector<std::string> kInstalled = Banner({"Driver successfully installed.\n\n",
                                                    "For the driver to take effect, the system must now be restarted.\n",
                                                    "Please restart the system after closing all applications and saving all data\n"});

// The service as a fresh installation leaves it: no ImagePath.
const char kInstalledKey[] =
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
    "\"Type\"=dword:00000002\n"
    "\"Start\"=dword:00000000\n"
    "\"ErrorControl\"=dword:00000001\n"
    "\"Group\"=\"filter\"\n"
    "\"DisplayName\"=\"Vxfilter\"\n";

class FilterTest : public MachineTest {
protected:
    // Counts the service manager calls that follow: none may be made.
    void WatchManager() { machine.InjectFault("OpenSCManagerA", sim::Fault{1000, false, 0, ""}); }
    int ManagerCalls() { return machine.faults["OpenSCManagerA"][0].calls; }
};

TEST_F(FilterTest, FreshInstallation) {
    EXPECT_EQ(InstallFilter("Vxfilter", kDriver), 0);
    EXPECT_EQ(trace(), kInstalled);
    EXPECT_EQ(machine.Dump(kKey), kInstalledKey);
    EXPECT_TRUE(machine.services.IsRunning("Vxfilter"));
}

// What the service is created with shows where its deletion is refused
// after ImagePath could not be removed.
TEST_F(FilterTest, CreationParameters) {
    machine.InjectFault("RegDeleteValueA", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    machine.InjectFault("DeleteService", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    EXPECT_EQ(InstallFilter("Vxfilter", "v.sys"), 0);
    EXPECT_EQ(trace(), Banner({"Could not delete ImagePath key\n"}));
    EXPECT_EQ(machine.Dump(kKey),
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
              "\"Type\"=dword:00000002\n"
              "\"Start\"=dword:00000000\n"
              "\"ErrorControl\"=dword:00000001\n"
              "\"ImagePath\"=hex(2):76,2e,73,79,73,00\n"
              "\"Group\"=\"filter\"\n"
              "\"DisplayName\"=\"Vxfilter\"\n");
    EXPECT_FALSE(machine.services.IsRunning("Vxfilter"));
}

TEST_F(FilterTest, ExistingServiceIsTakenOverAsConfigured) {
    machine.LoadReg(
        "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
        "\"Type\"=dword:00000001\n\"Start\"=dword:00000003\n\"ImagePath\"=\"old.sys\"\n\"DisplayName\"=\"Old Filter\"\n");
    EXPECT_EQ(InstallFilter("VXFILTER", kDriver), 0);
    EXPECT_EQ(trace(), kInstalled);
    EXPECT_EQ(machine.Dump(kKey),
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n"
              "\"Type\"=dword:00000001\n\"Start\"=dword:00000003\n\"DisplayName\"=\"Old Filter\"\n");
    EXPECT_TRUE(machine.services.IsRunning("Vxfilter"));
}

// A second installation of the same name finds the service without its
// ImagePath and, unless stopped since, running: that is the state wanted,
// not a failure that deletes the first installation's service.
TEST_F(FilterTest, SecondInstallationKeepsTheService) {
    for (bool stoppedBetween : {false, true}) {
        SCOPED_TRACE(stoppedBetween ? "stopped between" : "still running");
        machine = sim::Machine();
        ASSERT_EQ(InstallFilter("Vxfilter", kDriver), 0);
        if (stoppedBetween) machine.services.SetRunning("Vxfilter", false);
        machine.debugOutput.clear();
        EXPECT_EQ(InstallFilter("Vxfilter", kDriver), 0);
        EXPECT_EQ(trace(), kInstalled);
        EXPECT_EQ(machine.Dump(kKey), kInstalledKey);
        EXPECT_TRUE(machine.services.IsRunning("Vxfilter"));
        EXPECT_FALSE(machine.services.IsMarkedForDeletion("Vxfilter"));
    }
}

TEST_F(FilterTest, FailuresAfterTheServiceExistsDeleteItAndReturnZero) {
    struct Row {
        const char* what;
        const char* line;
        bool existing;  // a service of the name was there before
    } rows[] = {
        {"RegOpenKeyExA", "Key could not be opened for driver.\n", false},
        {"RegDeleteValueA", "Could not delete ImagePath key\n", false},
        {"StartServiceA", "Vxfilter could not be started (error 2).\n", false},
        {"RegOpenKeyExA", "Key could not be opened for driver.\n", true},
        {"StartServiceA", "Vxfilter could not be started (error 2).\n", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.what) + (row.existing ? ", existing" : ", new"));
        machine = sim::Machine();
        if (row.existing)
            machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n\"ImagePath\"=\"old.sys\"\n");
        if (std::string(row.what) == "StartServiceA")
            machine.services.SetStartResult("Vxfilter", ERROR_FILE_NOT_FOUND);  // the image cannot be found
        else
            machine.InjectFault(row.what, sim::Fault{1, false, ERROR_ACCESS_DENIED, ""});
        EXPECT_EQ(InstallFilter("Vxfilter", kDriver), 0);
        EXPECT_EQ(trace(), Banner({row.line}));
        EXPECT_FALSE(machine.KeyExists(kKey));
        EXPECT_FALSE(machine.services.IsRunning("Vxfilter"));
        EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
    }
}

TEST_F(FilterTest, ErrorCodesAreReturnedWithTheSystemText) {
    const char* const kOpenFailed = "The Service Control Manager could not be opened.\n";
    const char* const kNotInstalled = "Vxfilter could not be installed.\n";
    struct Row {
        const char* name;
        sim::Os os;
        const char* operation;  // the call that fails, with code; null for none injected
        DWORD code;
        const char* reg;        // registry before
        std::vector<std::string> trace;
    } rows[] = {
        {"manager refused", sim::Os::WinXp, "OpenSCManagerA", ERROR_ACCESS_DENIED, "",
         Banner({kOpenFailed, "Access is denied.\r\n"})},
        {"code without text", sim::Os::Win2000, "OpenSCManagerA", 0x2000ABCD, "", Banner({kOpenFailed, ""})},
        {"no manager on 98", sim::Os::Win98, nullptr, ERROR_CALL_NOT_IMPLEMENTED, "",
         Banner({kOpenFailed, "This function is not supported on this system.\r\n"})},
        {"display name taken", sim::Os::WinXp, nullptr, ERROR_DUPLICATE_SERVICE_NAME,
         "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Other]\n\"DisplayName\"=\"Vxfilter\"\n",
         Banner({kNotInstalled, "The name is already in use as either a service name or a service display name.\r\n"})},
        {"existing service refuses opening", sim::Os::Nt4, "OpenServiceA", ERROR_ACCESS_DENIED,
         "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n\"ImagePath\"=\"old.sys\"\n",
         Banner({kNotInstalled, "Access is denied.\r\n"})},
        {"creation refused", sim::Os::WinXp, "CreateServiceA", 0x2000ABCD, "", Banner({kNotInstalled, ""})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machine = sim::Machine(row.os);
        machine.LoadReg(row.reg);
        std::string before = machine.Dump("HKLM\\SYSTEM");
        if (row.operation != nullptr) machine.InjectFault(row.operation, sim::Fault{1, true, row.code, ""});
        EXPECT_EQ(InstallFilter("Vxfilter", kDriver), static_cast<int>(row.code));
        EXPECT_EQ(trace(), row.trace);
        EXPECT_EQ(machine.Dump("HKLM\\SYSTEM"), before);  // nothing changed
        EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
    }
}

TEST_F(FilterTest, ServiceMarkedForDeletionCannotBeInstalled) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n\"ImagePath\"=\"old.sys\"\n");
    machine.services.SetRunning("Vxfilter", true);
    ASSERT_EQ(RemoveFilter("Vxfilter", kDriver), 0);  // marked; it runs, so it stays
    machine.debugOutput.clear();
    EXPECT_EQ(InstallFilter("Vxfilter", kDriver), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_EQ(trace(), Banner({"Vxfilter could not be installed.\n",
                               "The specified service has been marked for deletion.\r\n"}));
}

TEST_F(FilterTest, OverlongNameOrPathIsRefusedBeforeTheManager) {
    const std::string name23(23, 'n');
    const std::string name24(24, 'n');
    const std::string path259 = "C:\\" + std::string(256, 'p');
    const std::string path260 = "C:\\" + std::string(257, 'p');
    const char* const kNameLine = "The service name is longer than 23 characters.\n";
    const char* const kPathLine = "The driver path is longer than 259 characters.\n";

    WatchManager();
    EXPECT_EQ(InstallFilter(name24.c_str(), kDriver), ERROR_INVALID_NAME);
    EXPECT_EQ(trace(), Banner({kNameLine}));
    machine.debugOutput.clear();
    EXPECT_EQ(InstallFilter("Vxfilter", path260.c_str()), ERROR_INVALID_NAME);
    EXPECT_EQ(trace(), Banner({kPathLine}));
    machine.debugOutput.clear();
    EXPECT_EQ(RemoveFilter(name24.c_str(), kDriver), ERROR_INVALID_NAME);
    EXPECT_EQ(trace(), Banner({kNameLine}));
    machine.debugOutput.clear();
    EXPECT_EQ(RemoveFilter("Vxfilter", path260.c_str()), ERROR_INVALID_NAME);
    EXPECT_EQ(trace(), Banner({kPathLine}));
    EXPECT_EQ(ManagerCalls(), 0);
    EXPECT_FALSE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services"));

    // The longest that fit are installed whole.
    machine.debugOutput.clear();
    EXPECT_EQ(InstallFilter(name23.c_str(), path259.c_str()), 0);
    EXPECT_EQ(trace(), kInstalled);
    EXPECT_TRUE(machine.services.IsRunning(name23));
    EXPECT_EQ(ManagerCalls(), 1);

    // The longest path is passed whole (seen where ImagePath stays).
    machine.InjectFault("RegDeleteValueA", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    machine.InjectFault("DeleteService", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    EXPECT_EQ(InstallFilter("Second", path259.c_str()), 0);
    const sim::Value* image =
        machine.registry.FindPath("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Second")->FindValue("ImagePath");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(std::string(image->data.begin(), image->data.end()), path259 + std::string(1, '\0'));
}

TEST_F(FilterTest, RemoveDeletesAnExistingService) {
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n\"Type\"=dword:00000002\n"
                    "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Keep]\n\"Type\"=dword:00000002\n");
    // The driver path is not used: any that fits, also an empty one.
    const std::string longPath(259, 'p');
    for (const char* path : {kDriver, "", longPath.c_str()}) {
        SCOPED_TRACE(path);
        machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n\"Type\"=dword:00000002\n");
        machine.debugOutput.clear();
        EXPECT_EQ(RemoveFilter("vxfilter", path), 0);
        EXPECT_EQ(trace(), Banner({}));
        EXPECT_FALSE(machine.KeyExists(kKey));
        EXPECT_TRUE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Keep"));
    }
}

TEST_F(FilterTest, RemoveDoesNotStopARunningService) {
    ASSERT_EQ(InstallFilter("Vxfilter", kDriver), 0);
    machine.debugOutput.clear();
    EXPECT_EQ(RemoveFilter("Vxfilter", kDriver), 0);
    EXPECT_EQ(trace(), Banner({}));
    // Marked for deletion; it goes once stopped.
    EXPECT_TRUE(machine.services.IsMarkedForDeletion("Vxfilter"));
    EXPECT_TRUE(machine.services.IsRunning("Vxfilter"));
    EXPECT_TRUE(machine.KeyExists(kKey));
}

TEST_F(FilterTest, RemoveResults) {
    const char* const kNotOpened = "The Vxfilter service could not be opened.\n";
    struct Row {
        const char* name;
        sim::Os os;
        const char* operation;  // injected failure, or null
        DWORD code;
        bool present;           // the service exists
        int result;
        std::vector<std::string> trace;
        bool keyAfter;
    } rows[] = {
        {"missing name", sim::Os::WinXp, nullptr, 0, false, ERROR_SERVICE_DOES_NOT_EXIST,
         Banner({kNotOpened, "The specified service does not exist as an installed service.\r\n"}), false},
        {"open refused", sim::Os::Win2000, "OpenServiceA", ERROR_ACCESS_DENIED, true, ERROR_ACCESS_DENIED,
         Banner({kNotOpened, "Access is denied.\r\n"}), true},
        {"deletion refused", sim::Os::WinXp, "DeleteService", ERROR_ACCESS_DENIED, true, 0, Banner({}), true},
        {"manager refused", sim::Os::Nt4, "OpenSCManagerA", ERROR_ACCESS_DENIED, true, ERROR_ACCESS_DENIED,
         Banner({"The Service Control Manager could not be opened.\n", "Access is denied.\r\n"}), true},
        {"no manager on Me", sim::Os::WinMe, nullptr, 0, true, ERROR_CALL_NOT_IMPLEMENTED,
         Banner({"The Service Control Manager could not be opened.\n",
                 "This function is not supported on this system.\r\n"}),
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machine = sim::Machine(row.os);
        if (row.present) machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\Vxfilter]\n");
        if (row.operation != nullptr) machine.InjectFault(row.operation, sim::Fault{1, true, row.code, ""});
        EXPECT_EQ(RemoveFilter("Vxfilter", kDriver), row.result);
        EXPECT_EQ(trace(), row.trace);
        EXPECT_EQ(machine.KeyExists(kKey), row.keyAfter);
        EXPECT_FALSE(machine.services.IsMarkedForDeletion("Vxfilter"));
        EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
    }
}

}  // namespace
