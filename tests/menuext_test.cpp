// RemoveLegacyPlayerHook and the drive context-menu extension sequence.
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "legacy/menuext.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const char kApproved[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const char kMenu[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu";

// A full registration of the legacy hook, as its setup left it; HKCR\CLSID
// is stored below HKLM\SOFTWARE\Classes.
const char kRegistered[] = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{343DA396-6C33-42EB-9478-C1EAF35FB908}"="Drive menu"
"{00000000-1111-2222-3333-444444444444}"="Other extension"
[HKEY_CLASSES_ROOT\CLSID\{343DA396-6C33-42EB-9478-C1EAF35FB908}\InProcServer32]
@="C:\\WINDOWS\\system32\\vxmphook.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\{343DA396-6C33-42EB-9478-C1EAF35FB908}\InProcServer32]
@="vxmphook.dll"
[HKEY_CLASSES_ROOT\Drive\shellex\ContextMenuHandlers\Menu]
@="{343DA396-6C33-42EB-9478-C1EAF35FB908}"
"Default"="{343DA396-6C33-42EB-9478-C1EAF35FB908}"
)";

class MenuExtensionTest : public MachineTest {};

TEST_F(MenuExtensionTest, RemovesTheRegistrationOnBothFamilies) {
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        machine.LoadReg(kRegistered);
        EXPECT_EQ(RemoveLegacyPlayerHook(), 1);
        EXPECT_TRUE(trace().empty());
        EXPECT_EQ(machine.Dump(kApproved),
                  std::string("[") + kApproved + "]\n\"{00000000-1111-2222-3333-444444444444}\"=\"Other extension\"\n");
        EXPECT_EQ(machine.Dump("HKCR\\CLSID"), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID]\n");
        EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\{343DA396-6C33-42EB-9478-C1EAF35FB908}"));
        // "Default" is a value of that name: one zero byte of REG_SZ; the
        // unnamed value stays.
        EXPECT_EQ(machine.Dump(kMenu), std::string("[") + kMenu + "]\n@=\"{343DA396-6C33-42EB-9478-C1EAF35FB908}\"\n\"Default\"=\"\"\n");
        const sim::Value* value = machine.registry.FindPath(kMenu)->FindValue("Default");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->type, DWORD(REG_SZ));
        EXPECT_EQ(value->data, std::vector<uint8_t>{0});
    }
}

TEST_F(MenuExtensionTest, ClassKeyWithOtherSubkeysStaysOnNt) {
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        machine.LoadReg(kRegistered);
        machine.LoadReg("[HKEY_CLASSES_ROOT\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\ProgID]\n");
        RemoveLegacyPlayerHook();
        EXPECT_EQ(machine.Dump("HKCR\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}"),
                  machine.IsNtFamily()
                      ? "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}]\n\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\ProgID]\n"
                      : "");
    }
}

TEST_F(MenuExtensionTest, NothingRegisteredChangesNothing) {
    machine.LoadReg("[HKEY_CLASSES_ROOT\\Drive\\shellex]\n[HKEY_CLASSES_ROOT\\CLSID\\{0}]\n");
    const std::string before = machine.Dump("HKLM") + machine.Dump("HKCU");
    EXPECT_EQ(RemoveLegacyPlayerHook(), 1);
    EXPECT_EQ(machine.Dump("HKLM") + machine.Dump("HKCU"), before);  // no handler key is created
    EXPECT_TRUE(trace().empty());
}

TEST_F(MenuExtensionTest, OwnPlayersClsidInLowerCaseMatchesAnyCase) {
    Use(Os::Win2000);
    machine.LoadReg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved]
"{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}"="Own"
[HKEY_CLASSES_ROOT\CLSID\{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}\InProcServer32]
[HKEY_LOCAL_MACHINE\SOFTWARE\Classes\{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}\InProcServer32]
[HKEY_CLASSES_ROOT\CLSID\{343DA396-6C33-42EB-9478-C1EAF35FB908}\InProcServer32]
)");
    UnregisterDriveMenuExtension("{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}");
    EXPECT_EQ(machine.Dump(kApproved), std::string("[") + kApproved + "]\n");
    EXPECT_FALSE(machine.KeyExists("HKCR\\CLSID\\{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\{E625AA44-DD78-449D-8D1A-1E1903A6F8EE}"));
    EXPECT_TRUE(machine.KeyExists("HKCR\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\InProcServer32"));
}

TEST_F(MenuExtensionTest, EachStepStandsAlone) {
    // The class key below HKCR\CLSID does not open: only that step is left out.
    machine.LoadReg(kRegistered);
    machine.InjectFault("RegOpenKeyA", sim::Fault{1, true, ERROR_ACCESS_DENIED, "CLSID\\{343DA396"});
    RemoveLegacyPlayerHook();
    EXPECT_TRUE(machine.KeyExists("HKCR\\CLSID\\{343DA396-6C33-42EB-9478-C1EAF35FB908}\\InProcServer32"));
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Classes\\{343DA396-6C33-42EB-9478-C1EAF35FB908}"));
    EXPECT_EQ(machine.Dump(kApproved),
              std::string("[") + kApproved + "]\n\"{00000000-1111-2222-3333-444444444444}\"=\"Other extension\"\n");
    EXPECT_EQ(machine.registry.FindPath(kMenu)->FindValue("Default")->data, std::vector<uint8_t>{0});
}

TEST_F(MenuExtensionTest, TextThatIsNoClsidTouchesNothing) {
    // An empty text would name the CLSID key itself, and 95/98/Me delete a
    // key with everything below it.
    Use(Os::Win98);
    machine.LoadReg(kRegistered);
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}]\n");
    const std::string before = machine.Dump("HKLM");
    for (const char* text : {"", "CLSID", "{343DA396-6C33-42EB-9478-C1EAF35FB908}\\x", "{343DA396-6C33-42EB-9478-C1EAF35FB90}",
                             "{343DA396-6C33-42EB-9478-C1EAF35FB908}}", "{343DA396+6C33-42EB-9478-C1EAF35FB908}"}) {
        SCOPED_TRACE(text);
        machine.debugOutput.clear();
        UnregisterDriveMenuExtension(text);
        EXPECT_EQ(trace(), Pieces({"\tNot a CLSID text, extension left: ", text, "\n"}));
    }
    UnregisterDriveMenuExtension(nullptr);
    EXPECT_EQ(machine.Dump("HKLM"), before);
}

}  // namespace
