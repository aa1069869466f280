// CheckServiceName: stop and delete a service on the NT family; remove the
// player's class registration on 95/98/Me, whatever the name.
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;

const char kKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PxDrv";

std::vector<std::string> NtLines(std::initializer_list<const char*> after) {
    std::vector<std::string> all = {"\nOpening Service Manager", "\nChecking for existing service"};
    all.insert(all.end(), after.begin(), after.end());
    return all;
}

const std::vector<std::string> kFoundAndOpened = NtLines(
    {"\nExisting service name found\n", "\nOpened service handle OK; stopping service"});

class CheckServiceNtTest : public MachineTest {
protected:
    void Install(const char* displayName = "PX714 Driver") {
        machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Services\\PxDrv]\n\"Type\"=dword:00000001\n"
                        "[HKLM\\SYSTEM\\CurrentControlSet\\Services\\PxDrv\\Enum]\n");
        sim::Key* key = machine.registry.FindPath(kKey);
        key->SetValue("DisplayName", REG_SZ, displayName, std::string(displayName).size() + 1);
    }
    static std::vector<std::string> With(std::initializer_list<const char*> after) {
        std::vector<std::string> all = kFoundAndOpened;
        all.insert(all.end(), after.begin(), after.end());
        return all;
    }
};

TEST_F(CheckServiceNtTest, NoSuchService) {
    for (sim::Os os : {sim::Os::Nt4, sim::Os::Win2000, sim::Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        EXPECT_EQ(CheckServiceName("PxDrv"), 0);
        EXPECT_EQ(trace(), NtLines({"\nService not found\n"}));
    }
}

TEST_F(CheckServiceNtTest, RunningServiceIsStoppedAndDeleted) {
    Install();
    machine.services.SetRunning("PxDrv", true);
    EXPECT_EQ(CheckServiceName("pxdrv"), 0);
    EXPECT_EQ(trace(), With({"\nService stopped", "\nService deleted\n"}));
    EXPECT_FALSE(machine.KeyExists(kKey));
    EXPECT_FALSE(machine.services.IsRunning("PxDrv"));
}

TEST_F(CheckServiceNtTest, StoppedServiceIsDeletedAllTheSame) {
    Install();
    EXPECT_EQ(CheckServiceName("PxDrv"), 0);
    EXPECT_EQ(trace(), With({"\nFailed to stop service", "\nService deleted\n"}));
    EXPECT_FALSE(machine.KeyExists(kKey));
    // Deleted and never there read the same.
    machine.debugOutput.clear();
    EXPECT_EQ(CheckServiceName("PxDrv"), 0);
    EXPECT_EQ(trace(), NtLines({"\nService not found\n"}));
}

// A display name that does not fit the 128-byte buffer still means the
// service exists.
TEST_F(CheckServiceNtTest, LongDisplayNameStillFindsTheService) {
    for (size_t length : {127u, 128u, 300u}) {
        SCOPED_TRACE(length);
        machine = sim::Machine();
        Install(std::string(length, 'D').c_str());
        EXPECT_EQ(CheckServiceName("PxDrv"), 0);
        EXPECT_EQ(trace(), With({"\nFailed to stop service", "\nService deleted\n"}));
        EXPECT_FALSE(machine.KeyExists(kKey));
    }
}

TEST_F(CheckServiceNtTest, ServiceLeftBehind) {
    struct Row {
        const char* operation;
        std::vector<std::string> trace;
    } rows[] = {
        {"OpenServiceA", NtLines({"\nExisting service name found\n", "\nFailed to open a handle to the service"})},
        {"DeleteService", With({"\nFailed to stop service", "\nFailed to delete service\n"})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        machine = sim::Machine();
        Install();
        machine.InjectFault(row.operation, sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
        EXPECT_EQ(CheckServiceName("PxDrv"), 1);
        EXPECT_EQ(trace(), row.trace);
        EXPECT_TRUE(machine.KeyExists(kKey));
        EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
    }

    // Already marked for deletion by an earlier call while it ran: the
    // stop lets it go once the handle closes, but this deletion fails.
    machine = sim::Machine();
    Install();
    machine.services.SetRunning("PxDrv", true);
    ASSERT_EQ(RemoveFilter("PxDrv", ""), 0);
    machine.debugOutput.clear();
    EXPECT_EQ(CheckServiceName("PxDrv"), 1);
    EXPECT_EQ(trace(), With({"\nService stopped", "\nFailed to delete service\n"}));
    EXPECT_FALSE(machine.KeyExists(kKey));
}

TEST_F(CheckServiceNtTest, ManagerCannotBeOpened) {
    Install();
    machine.InjectFault("OpenSCManagerA", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    EXPECT_EQ(CheckServiceName("PxDrv"), 0);
    EXPECT_EQ(trace(), Pieces({"\nOpening Service Manager", "\nFailed to open Service Manager\n"}));
    EXPECT_TRUE(machine.KeyExists(kKey));
}

const char kRegistration[] =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}";
const char kClassTree[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class";

class CheckServiceNineXTest : public MachineTest {
protected:
    CheckServiceNineXTest() : MachineTest(sim::Os::Win98) {}
    // The registration, with its Class value unless null, its class key
    // PX714, and a neighbour that must stay.
    void Register(const char* classValue) {
        machine.LoadReg("[HKLM\\System\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}]\n"
                        "[HKLM\\System\\CurrentControlSet\\Services\\Class\\{24ba5da1-036a-4499-a763-41480869e207}\\0000]\n"
                        "[HKLM\\System\\CurrentControlSet\\Services\\Class\\PX714\\0000]\n\"Driver\"=\"px.sys\"\n"
                        "[HKLM\\System\\CurrentControlSet\\Services\\Class\\MEDIA]\n");
        if (classValue != nullptr)
            machine.registry.FindPath(kRegistration)
                ->SetValue("Class", REG_SZ, classValue, std::string(classValue).size() + 1);
    }
};

TEST_F(CheckServiceNineXTest, RemovesTheRegistrationAndItsClassKeyWhateverTheName) {
    for (sim::Os os : {sim::Os::Win95, sim::Os::Win98, sim::Os::WinMe}) {
        for (const char* name : {"PxDrv", "", "Anything at all"}) {
            SCOPED_TRACE(std::string(sim::OsName(os)) + " '" + name + "'");
            machine = sim::Machine(os);
            Register("PX714");
            EXPECT_EQ(CheckServiceName(name), 1);
            EXPECT_EQ(trace(), Pieces({"\nChecking for service\n", "Service class found\n", "Service class deleted\n",
                                       "Service deleted\n"}));
            EXPECT_EQ(machine.Dump(kClassTree),
                      "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class]\n"
                      "\n[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\MEDIA]\n");
        }
    }
}

TEST_F(CheckServiceNineXTest, NoRegistration) {
    machine.LoadReg("[HKLM\\System\\CurrentControlSet\\Services\\Class\\PX714]\n");
    EXPECT_EQ(CheckServiceName("PxDrv"), 0);
    EXPECT_EQ(trace(), Pieces({"\nChecking for service\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\System\\CurrentControlSet\\Services\\Class\\PX714"));
}

// A Class value that names no class key leaves the second deletion out: an
// empty name would take the whole class tree.
TEST_F(CheckServiceNineXTest, UnusableClassValueLeavesTheSecondDeletionOut) {
    const std::string fitsPath(87, 'C');   // 40 + 87 = 127 characters
    const std::string overPath(88, 'C');   // fits the value buffer, not the path
    const std::string overValue(128, 'C');  // does not fit the value buffer
    struct Row {
        const char* name;
        const char* value;  // null: no Class value
        bool deleted;       // the named key went
        const char* extraLine;
    } rows[] = {
        {"missing", nullptr, false, nullptr},
        {"empty", "", false, nullptr},
        {"backslash", "\\", false, nullptr},
        {"too long for the buffer", overValue.c_str(), false, nullptr},
        {"too long for the path", overPath.c_str(), false,
         "The class name is too long for its registry path; its key is left in place.\n"},
        {"longest that fits", fitsPath.c_str(), true, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        machine = sim::Machine(sim::Os::Win98);
        Register(row.value);
        if (row.value != nullptr) machine.registry.CreatePath(std::string(kClassTree) + "\\" + row.value);
        EXPECT_EQ(CheckServiceName("PxDrv"), 1);
        std::vector<std::string> expected = {"\nChecking for service\n", "Service class found\n",
                                             "Service class deleted\n"};
        if (row.extraLine != nullptr) expected.push_back(row.extraLine);
        if (row.deleted) expected.push_back("Service deleted\n");
        EXPECT_EQ(trace(), expected);
        EXPECT_FALSE(machine.KeyExists(kRegistration));
        EXPECT_TRUE(machine.KeyExists(std::string(kClassTree) + "\\PX714\\0000"));
        EXPECT_TRUE(machine.KeyExists(std::string(kClassTree) + "\\MEDIA"));
        if (row.value != nullptr && *row.value != 0 && *row.value != '\\')
            EXPECT_EQ(machine.KeyExists(std::string(kClassTree) + "\\" + row.value), !row.deleted);
    }

    // A value stored as 128 bytes without a terminator.
    machine = sim::Machine(sim::Os::Win98);
    Register(nullptr);
    machine.registry.FindPath(kRegistration)->SetValue("Class", REG_SZ, overValue.data(), 128);
    EXPECT_EQ(CheckServiceName("PxDrv"), 1);
    EXPECT_EQ(trace(), Pieces({"\nChecking for service\n", "Service class found\n", "Service class deleted\n"}));
    EXPECT_TRUE(machine.KeyExists(std::string(kClassTree) + "\\MEDIA"));
}

TEST_F(CheckServiceNineXTest, FailedDeletionsAreSilent) {
    Register("PX714");
    machine.InjectFault("RegDeleteKeyA", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    EXPECT_EQ(CheckServiceName("PxDrv"), 1);
    EXPECT_EQ(trace(), Pieces({"\nChecking for service\n", "Service class found\n"}));
    EXPECT_TRUE(machine.KeyExists(kRegistration));
    EXPECT_TRUE(machine.KeyExists(std::string(kClassTree) + "\\PX714"));
}

}  // namespace
