// RemoveInstalledLegacyPlayer and its two file operations.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "frame/px714sup.h"
#include "legacy/files.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const char kUninstall[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// Row 0's identity as the second trace line shows it.
const char kRow0Line[] = "\t\t{5F7F166B-D837-4685-81BC-A58A611944F1} VXMP3400 VANTORIX\n";

class RemoveInstalledTest : public MachineTest {
protected:
    // Calls the export with the name in a 128-byte buffer, as the setup
    // program holds it after FindLegacyPlayers.
    int Remove(unsigned int index, const std::string& displayName) {
        std::memset(name, '#', sizeof name);
        std::memcpy(name, displayName.c_str(), displayName.size() + 1);
        return RemoveInstalledLegacyPlayer(index, name);
    }
    char name[128];
};

TEST_F(RemoveInstalledTest, AliasPlayerIsRemovedUnderItsRegisteredName) {
    machine.LoadReg(R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{1327F824-6BAA-43E4-B599-12D69B0CDEF8}]
"DisplayName"="Music Box MP3 Player"
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Other]
[HKEY_LOCAL_MACHINE\SOFTWARE\CMTech\Music Box MP3 Player\Params]
"Install Folder"="C:\\Program Files\\CMTech\\Music Box"
"Uninstall Folder"="C:\\Program Files\\CMTech\\Uninstall"
[HKEY_LOCAL_MACHINE\SOFTWARE\CMTech\Music Box MP3 Player\Params\3400]
[HKEY_LOCAL_MACHINE\SOFTWARE\CMTech\Music Box MP3 Player\1.00.000]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\Vxmp3format.exe]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\VXMP3UPDATE.EXE]
[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Apps Paths\Other.exe]
[HKEY_CURRENT_USER\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MenuOrder\Start Menu\&Programs\Music Box MP3 Player]
)");
    machine.files.Load(R"(
        C:\Program Files\CMTech\Music Box\player.exe
        C:\Program Files\CMTech\Music Box\readme.txt
        C:\Program Files\CMTech\Uninstall\uninst.exe
        C:\WINDOWS\Start Menu\Programs\Music Box MP3 Player\Player.lnk
        C:\Documents and Settings\All Users\Start Menu\Programs\Music Box MP3 Player\Player.lnk
        C:\Documents and Settings\All Users\Start Menu\Programs\Other\Other.lnk
        C:\WINDOWS\system32\vxmphook.dll
        C:\WINDOWS\system\vxmphook.dll
        C:\WINDOWS\system32\drivers\mp3drv.sys
        C:\WINDOWS\system32\drivers\vxscsi.sys
        C:\WINDOWS\system\iosubsys\vxscsi.mpd
        C:\WINDOWS\system32\kernel32.dll
    )");
    const std::string hkcuBefore = machine.Dump("HKEY_CURRENT_USER");

    // The high bits of the index are not looked at.
    EXPECT_EQ(Remove(0x7FFF0000u | 11, "CMTech Music Box MP3 Player"), 1);

    EXPECT_STREQ(name, "Music Box MP3 Player");
    EXPECT_EQ(name[28], '#');  // nothing written past the caller's text
    EXPECT_EQ(trace(), Pieces({
                           "\nFound CMTech Music Box MP3 Player\n",
                           "\t\t{1327F824-6BAA-43E4-B599-12D69B0CDEF8} MUSIC_BOX CMTECH__\n",
                           "\t\tCompany: CMTech  Model: MUSIC_BOX\n",
                           "\t\tInstall folder: C:\\Program Files\\CMTech\\Music Box\n",
                           "\t\tUninstall folder: C:\\Program Files\\CMTech\\Uninstall\n",
                           "\tDeleting C:\\Program Files\\CMTech\\Music Box\n",
                           "\tC:\\Program Files\\CMTech\\Music Box\\player.exe\n",
                           "\tC:\\Program Files\\CMTech\\Music Box\\readme.txt\n",
                           "\tDeleting C:\\Program Files\\CMTech\\Uninstall\n",
                           "\tC:\\Program Files\\CMTech\\Uninstall\\uninst.exe\n",
                           "\tDeleting C:\\WINDOWS\\Start Menu\\Programs\\Music Box MP3 Player\n",
                           "\tC:\\WINDOWS\\Start Menu\\Programs\\Music Box MP3 Player\\Player.lnk\n",
                           "\tDeleting C:\\Program Files\\CMTech\n",
                           "\tDeleting C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Music Box MP3 Player\n",
                           "\tC:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Music Box MP3 Player\\Player.lnk\n",
                           "\tDeleting C:\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\Music Box MP3 Player\n",
                       }));
    EXPECT_EQ(machine.Dump(kUninstall), std::string("[") + kUninstall + "]\n\n[" + kUninstall + "\\Other]\n");
    EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\CMTech"));
    EXPECT_EQ(machine.Dump("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths"),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\Other.exe]\n");
    // The menu order paths begin with a backslash, which RegOpenKeyA refuses
    // (ERROR_BAD_PATHNAME): the menu order entries stay.
    EXPECT_EQ(machine.Dump("HKEY_CURRENT_USER"), hkcuBefore);
    // XP: the NT driver file goes, the 95/98/Me one stays.
    EXPECT_EQ(machine.files.Listing(),
              "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Other\\Other.lnk\n"
              "C:\\Program Files\\\n"
              "C:\\WINDOWS\\Start Menu\\Programs\\\n"
              "C:\\WINDOWS\\system\\iosubsys\\vxscsi.mpd\n"
              "C:\\WINDOWS\\system32\\drivers\\\n"
              "C:\\WINDOWS\\system32\\kernel32.dll\n");
    EXPECT_EQ(machine.registry.flushCount, 1);
}

TEST_F(RemoveInstalledTest, FoldersInOrderOnTheWindowsDirectorysDrive) {
    machine.files.windowsDirectory = "D:\\WINNT";
    machine.files.Load("D:\\Program Files\\Foo\\foo.exe\nC:\\Program Files\\Foo\\other.exe\n");
    EXPECT_EQ(Remove(0, "Foo Player"), 1);
    EXPECT_EQ(trace(), Pieces({
                           "\nFound Foo Player\n",
                           kRow0Line,
                           "\t\tCompany: Foo  Model: VXMP3400\n",
                           "\tDeleting D:\\WINNT\\Start Menu\\Programs\\Foo Player\n",
                           "\tDeleting D:\\Program Files\\Foo\n",
                           "\tD:\\Program Files\\Foo\\foo.exe\n",
                           "\tDeleting D:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Foo Player\n",
                           "\tDeleting D:\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\Foo Player\n",
                       }));
    EXPECT_EQ(machine.files.Listing(), "C:\\Program Files\\Foo\\other.exe\nD:\\Program Files\\\n");
    EXPECT_EQ(machine.files.searched,
              (std::vector<std::string>{
                  "D:\\WINNT\\Start Menu\\Programs\\Foo Player\\*.*",
                  "D:\\Program Files\\Foo\\*.*",
                  "D:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Foo Player\\*.*",
                  "D:\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\Foo Player\\*.*",
              }));
}

TEST_F(RemoveInstalledTest, ProductKeysLeafFirstOnNtAgainstTheWholeTreeOn9x) {
    // Known subkeys go leaf first, so NT can delete the product and company
    // keys; an unknown subkey ("Skins") keeps them on NT only.
    const char* product = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Foo\Foo Player\Params]
[HKEY_LOCAL_MACHINE\SOFTWARE\Foo\Foo Player\Params\3400]
[HKEY_LOCAL_MACHINE\SOFTWARE\Foo\Foo Player\Params\3410]
[HKEY_LOCAL_MACHINE\SOFTWARE\Foo\Foo Player\1.00.000]
)";
    for (Os os : sim::AllOs()) {
        for (bool extra : {false, true}) {
            SCOPED_TRACE(testing::Message() << sim::OsName(os) << (extra ? " with Skins" : ""));
            machine = sim::Machine(os);
            machine.LoadReg(product);
            if (extra) machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\Foo Player\\Skins]\n");
            Remove(0, "Foo Player");
            std::string left = machine.Dump("HKLM\\SOFTWARE\\Foo");
            if (extra && machine.IsNtFamily())
                EXPECT_EQ(left, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\Foo Player]\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\Foo Player\\Skins]\n");
            else
                EXPECT_EQ(left, "");
        }
    }
}

TEST_F(RemoveInstalledTest, DigitalAudioDevKeysGoOnlyWithItsParamsKey) {
    const char* keys = R"(
[HKEY_LOCAL_MACHINE\SOFTWARE\Digital\AudioDev Player\1.00.000]
[HKEY_LOCAL_MACHINE\SOFTWARE\Digital\Other Product]
)";
    for (bool params : {false, true}) {
        SCOPED_TRACE(params ? "with Params" : "without Params");
        machine = sim::Machine(Os::WinXp);
        machine.LoadReg(keys);
        if (params) machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Digital\\Digital AudioDev Player\\Params]\n");
        EXPECT_EQ(Remove(23, "digital audiodev PLAYER"), 1);
        EXPECT_STREQ(name, "digital audiodev PLAYER");  // not rewritten
        EXPECT_EQ(machine.KeyExists("HKLM\\SOFTWARE\\Digital\\AudioDev Player"), !params);
        EXPECT_FALSE(machine.KeyExists("HKLM\\SOFTWARE\\Digital\\Digital AudioDev Player"));
        // NT keeps the company key while another product lives in it.
        EXPECT_TRUE(machine.KeyExists("HKLM\\SOFTWARE\\Digital\\Other Product"));
        EXPECT_EQ(trace()[2], "\t\tCompany: digital  Model: AudioDev\n");
    }
}

TEST_F(RemoveInstalledTest, FolderValues) {
    struct Row {
        std::string reg;  // the Params values
        std::vector<std::string> lines;  // what follows the Company line
        std::vector<std::string> searched;
    } rows[] = {
        {"\"Install Folder\"=\"C:\\\\Foo\"\n",
         {"\t\tInstall folder: C:\\Foo\n", "\tDeleting C:\\Foo\n"},
         {"C:\\Foo\\*.*"}},
        // An empty value would search the current drive's root.
        {"\"Install Folder\"=\"\"\n\"Uninstall Folder\"=\"C:\\\\\"\n",
         {"\t\tInstall folder: \n", "\t\tUninstall folder: C:\\\n", "\tNot a folder to clean: ", "", "\n",
          "\tNot a folder to clean: ", "C:\\", "\n"},
         {}},
        // 127 characters fit the 128-byte buffer but not the trace line.
        {"\"Install Folder\"=\"C:\\\\" + std::string(124, 'L') + "\"\n",
         {"\t\tToo long, left out: Install folder line\n", "\tDeleting C:\\" + std::string(124, 'L') + "\n"},
         {"C:\\" + std::string(124, 'L') + "\\*.*"}},
        // 128 characters do not fit: not read, not traced, not cleaned.
        {"\"Install Folder\"=\"C:\\\\" + std::string(125, 'L') + "\"\n\"Uninstall Folder\"=hex:43,3a,5c,55\n",
         {"\t\tUninstall folder: C:\\U\n", "\tDeleting C:\\U\n"},
         {"C:\\U\\*.*"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reg);
        machine = sim::Machine(Os::WinXp);
        machine.files.windowsDirectoryUnavailable = true;  // only the Params folders
        machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\Foo Player\\Params]\n" + row.reg);
        Remove(0, "Foo Player");
        std::vector<std::string> expected = {"\nFound Foo Player\n", kRow0Line, "\t\tCompany: Foo  Model: VXMP3400\n"};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        expected.push_back("\t\tNo Windows directory: its folders are left\n");
        expected.push_back("\t\tNo Windows directory: driver files left\n");
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(machine.files.searched, row.searched);
    }
}

TEST_F(RemoveInstalledTest, IndexThatNamesNoPlayer) {
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\Foo Player\\Params]\n");
    machine.files.Load("C:\\WINDOWS\\system32\\vxmphook.dll\n");
    const std::string before = machine.Dump("HKLM");
    for (unsigned int index : {38u, 0xFFFFu, 0x10026u}) {
        SCOPED_TRACE(index);
        machine.debugOutput.clear();
        EXPECT_EQ(Remove(index, "Foo Player"), 1);
        EXPECT_EQ(trace(), Pieces({index == 0xFFFFu ? "\nPlayer index 65535 names no legacy player\n"
                                                    : "\nPlayer index 38 names no legacy player\n"}));
        EXPECT_STREQ(name, "Foo Player");
    }
    EXPECT_EQ(machine.Dump("HKLM"), before);
    EXPECT_EQ(machine.files.Listing(), "C:\\WINDOWS\\system32\\vxmphook.dll\n");
    EXPECT_TRUE(machine.files.searched.empty());
    EXPECT_EQ(machine.registry.flushCount, 0);
}

TEST_F(RemoveInstalledTest, NamesThatCannotNameAKeyOrFolder) {
    const std::string word63(63, 'W');
    const std::string word64(64, 'W');
    const std::string pf = "C:\\Program Files\\";
    const std::string sm = "C:\\WINDOWS\\Start Menu\\Programs\\";
    const std::string au = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\";
    const std::string au6 = "C:\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\";
    struct Row {
        std::string name;
        std::vector<std::string> lines;  // after the row line, the driver files aside
    } rows[] = {
        // A name of one word is its own company word; leading blanks are passed over.
        {" \t Solo", {"\t\tCompany: Solo  Model: VXMP3400\n", "\tDeleting " + sm + " \t Solo\n",
                      "\tDeleting " + pf + "Solo\n", "\tDeleting " + au + " \t Solo\n",
                      "\tDeleting " + au6 + " \t Solo\n"}},
        {" \t\r\n\v\f ", {"\t\tBlank display name: its keys and folders are left\n"}},
        {"", {"\t\tBlank display name: its keys and folders are left\n"}},
        {word63 + " X",
         {"\t\tCompany: " + word63 + "  Model: VXMP3400\n", "\t\tToo long, left out: Params key path\n",
          "\tDeleting " + sm + word63 + " X\n", "\tDeleting " + pf + word63 + "\n", "\tDeleting " + au + word63 + " X\n",
          "\tDeleting " + au6 + word63 + " X\n"}},  // 127 characters: the longest that fits
        {word64 + " X",
         {"\t\tToo long, left out: company word\n", "\tDeleting " + sm + word64 + " X\n",
          "\tDeleting " + au + word64 + " X\n", "\t\tToo long, left out: All Users.WINNT folder\n"}},
        // ".." would name the parent folder: C:\Program Files\.. is the root.
        {"..", {"\t\tNot a single name, left out: company word\n",
                "\t\tNot a single name, left out: display name folders\n"}},
        {".. Player", {"\t\tNot a single name, left out: company word\n", "\tDeleting " + sm + ".. Player\n",
                       "\tDeleting " + au + ".. Player\n",
                       "\tDeleting " + au6 + ".. Player\n"}},
        {"Foo\\..\\..\\x", {"\t\tNot a single name, left out: company word\n",
                            "\t\tNot a single name, left out: display name folders\n"}},
        {"Foo /..", {"\t\tCompany: Foo  Model: VXMP3400\n", "\t\tNot a single name, left out: display name folders\n",
                     "\tDeleting " + pf + "Foo\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // 95/98/Me: deleting the subkey "" of SOFTWARE would delete SOFTWARE.
        machine = sim::Machine(Os::Win98);
        machine.files.Load(R"(
            C:\Program Files\keep.txt
            C:\WINDOWS\Start Menu\Programs\keep.lnk
            C:\Documents and Settings\All Users\Start Menu\Programs\keep.lnk
            C:\WINDOWS\system32\vxmphook.dll
        )");
        machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Keep]\n");
        EXPECT_EQ(Remove(0, row.name), 1);
        std::vector<std::string> expected = {"\nFound " + row.name + "\n", kRow0Line};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        EXPECT_EQ(trace(), expected);
        EXPECT_EQ(machine.files.Listing(),
                  "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\keep.lnk\n"
                  "C:\\Program Files\\keep.txt\n"
                  "C:\\WINDOWS\\Start Menu\\Programs\\keep.lnk\n"
                  "C:\\WINDOWS\\system32\\\n");
        EXPECT_TRUE(machine.KeyExists("HKLM\\SOFTWARE\\Keep"));
    }
}

TEST_F(RemoveInstalledTest, LongNameLeavesOutItsTraceLineAndParamsKey) {
    const std::string longName = "Foo " + std::string(123, 'N');  // 127 characters
    machine.files.windowsDirectoryUnavailable = true;
    machine.LoadReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Foo\\" + longName + "\\Params]\n");
    EXPECT_EQ(Remove(0, longName), 1);
    EXPECT_EQ(trace(), Pieces({
                           "\t\tToo long, left out: Found line\n",
                           kRow0Line,
                           "\t\tCompany: Foo  Model: VXMP3400\n",
                           "\t\tToo long, left out: Params key path\n",
                           "\t\tNo Windows directory: its folders are left\n",
                           "\t\tNo Windows directory: driver files left\n",
                       }));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SOFTWARE\\Foo"));
}

TEST_F(RemoveInstalledTest, WindowsDirectoryThatCannotServe) {
    const std::string long130 = "C:\\" + std::string(127, 'W');
    struct Row {
        const char* label;
        std::optional<std::string> folder;  // nullopt: unavailable
        std::vector<std::string> lines;
        bool driverFilesGo;
    } rows[] = {
        {"unavailable", std::nullopt,
         {"\t\tNo Windows directory: its folders are left\n", "\t\tNo Windows directory: driver files left\n"}, false},
        {"no drive", std::string("C"),
         {"\t\tNo Windows directory: its folders are left\n", "\t\tNo Windows directory: driver files left\n"}, false},
        // Too long for the export's 128 bytes, not for the driver files' 260.
        {"130 characters", long130, {"\t\tToo long, left out: Windows directory\n"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        machine = sim::Machine(Os::WinXp);
        machine.files.Load("C:\\WINDOWS\\system32\\vxmphook.dll\n" + long130 + "\\system32\\vxmphook.dll\n");
        if (row.folder)
            machine.files.windowsDirectory = *row.folder;
        else
            machine.files.windowsDirectoryUnavailable = true;
        Remove(0, "Foo Player");
        std::vector<std::string> expected = {"\nFound Foo Player\n", kRow0Line, "\t\tCompany: Foo  Model: VXMP3400\n"};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        EXPECT_EQ(trace(), expected);
        EXPECT_TRUE(machine.files.searched.empty());
        EXPECT_EQ(machine.files.Listing(), "C:\\WINDOWS\\system32\\vxmphook.dll\n" + long130 +
                                               (row.driverFilesGo ? "\\system32\\\n" : "\\system32\\vxmphook.dll\n"));
        EXPECT_EQ(machine.registry.flushCount, 1);
    }
}

// ---- The two file operations -------------------------------------------

class DeleteFolderTest : public MachineTest {};

TEST_F(DeleteFolderTest, FilesGoSubfoldersAndRefusedFilesStay) {
    machine.files.Load(R"(
        C:\Program Files\Foo\a.exe
        C:\Program Files\Foo\Data\x.dat
        C:\Program Files\Foo\hidden.ini hidden system
        C:\Program Files\Foo\locked.dll in-use
        C:\Program Files\Foo\ro.txt readonly
    )");
    DeleteFolder("C:\\Program Files\\Foo");
    EXPECT_EQ(trace(), Pieces({
                           "\tDeleting C:\\Program Files\\Foo\n",
                           "\tC:\\Program Files\\Foo\\a.exe\n",
                           "\tC:\\Program Files\\Foo\\Data\n",
                           "\tC:\\Program Files\\Foo\\hidden.ini\n",
                           "\tC:\\Program Files\\Foo\\locked.dll\n",
                           "\tC:\\Program Files\\Foo\\ro.txt\n",
                       }));
    EXPECT_EQ(machine.files.Listing(),
              "C:\\Program Files\\Foo\\Data\\x.dat\n"
              "C:\\Program Files\\Foo\\locked.dll in-use\n"
              "C:\\Program Files\\Foo\\ro.txt readonly\n");
}

TEST_F(DeleteFolderTest, PathsItTakesAndPathsItRefuses) {
    machine.files.Load("C:\\Foo\\a.txt\nC:\\root.txt\nC:\\Setup\\setup.exe\n");
    machine.files.currentDirectory = "C:\\Setup";
    // A trailing backslash names the same folder; the entries show it doubled.
    DeleteFolder("C:\\Foo\\");
    EXPECT_EQ(trace(), Pieces({"\tDeleting C:\\Foo\\\n", "\tC:\\Foo\\\\a.txt\n"}));
    EXPECT_FALSE(machine.files.Exists("C:\\Foo"));

    for (const char* path : {"", "C:", "C:\\", "c:\\\\", "\\", "Setup", "..\\Setup", "C:\\Setup\\..", "C:\\Setup\\. \\",
                             "\\\\server\\share\\Foo"}) {
        SCOPED_TRACE(path);
        machine.debugOutput.clear();
        DeleteFolder(path);
        EXPECT_EQ(trace(), Pieces({"\tNot a folder to clean: ", path, "\n"}));
    }
    EXPECT_EQ(machine.files.searched, (std::vector<std::string>{"C:\\Foo\\\\*.*"}));
    EXPECT_EQ(machine.files.Listing(), "C:\\root.txt\nC:\\Setup\\setup.exe\n");
}

TEST_F(DeleteFolderTest, EntryWhosePathDoesNotFitIsLeftOut) {
    const std::string folder = "C:\\" + std::string(200, 'F');
    const std::string shortName = std::string(55, 's');  // path of 259 characters
    const std::string longName = std::string(56, 'z');   // 260: too long
    machine.files.AddFile(folder + "\\" + shortName);
    machine.files.AddFile(folder + "\\" + longName);
    DeleteFolder(folder.c_str());
    EXPECT_EQ(trace(), Pieces({("\tDeleting " + folder + "\n").c_str(), ("\t" + folder + "\\" + shortName + "\n").c_str(),
                               "\tToo long, left out: entry ", longName.c_str(), "\n"}));
    EXPECT_EQ(machine.files.Listing(), folder + "\\" + longName + "\n");
}

class DriverFilesTest : public MachineTest {};

TEST_F(DriverFilesTest, FourthFileFollowsTheFamily) {
    const char* files = R"(
        C:\WINDOWS\system32\vxmphook.dll
        C:\WINDOWS\system\vxmphook.dll
        C:\WINDOWS\system32\drivers\mp3drv.sys
        C:\WINDOWS\system32\drivers\vxscsi.sys
        C:\WINDOWS\system\iosubsys\vxscsi.mpd
        C:\WINNT\system32\vxmphook.dll
        C:\WINNT\system\vxmphook.dll
        C:\WINNT\system32\drivers\mp3drv.sys
        C:\WINNT\system32\drivers\vxscsi.sys
        C:\WINNT\system\iosubsys\vxscsi.mpd
    )";
    const std::string windowsUntouched =
        "C:\\WINDOWS\\system\\iosubsys\\vxscsi.mpd\nC:\\WINDOWS\\system\\vxmphook.dll\n"
        "C:\\WINDOWS\\system32\\drivers\\mp3drv.sys\nC:\\WINDOWS\\system32\\drivers\\vxscsi.sys\n"
        "C:\\WINDOWS\\system32\\vxmphook.dll\n";
    const std::string winntUntouched =
        "C:\\WINNT\\system\\iosubsys\\vxscsi.mpd\nC:\\WINNT\\system\\vxmphook.dll\n"
        "C:\\WINNT\\system32\\drivers\\mp3drv.sys\nC:\\WINNT\\system32\\drivers\\vxscsi.sys\n"
        "C:\\WINNT\\system32\\vxmphook.dll\n";
    struct Row {
        Os os;
        std::string left;
    } rows[] = {
        {Os::Win95, "C:\\WINDOWS\\system\\iosubsys\\\nC:\\WINDOWS\\system32\\drivers\\vxscsi.sys\n" + winntUntouched},
        {Os::Win98, "C:\\WINDOWS\\system\\iosubsys\\\nC:\\WINDOWS\\system32\\drivers\\vxscsi.sys\n" + winntUntouched},
        {Os::WinMe, "C:\\WINDOWS\\system\\iosubsys\\\nC:\\WINDOWS\\system32\\drivers\\vxscsi.sys\n" + winntUntouched},
        {Os::Nt4, windowsUntouched + "C:\\WINNT\\system\\iosubsys\\vxscsi.mpd\nC:\\WINNT\\system32\\drivers\\\n"},
        {Os::Win2000, windowsUntouched + "C:\\WINNT\\system\\iosubsys\\vxscsi.mpd\nC:\\WINNT\\system32\\drivers\\\n"},
        {Os::WinXp, "C:\\WINDOWS\\system\\iosubsys\\vxscsi.mpd\nC:\\WINDOWS\\system32\\drivers\\\n" + winntUntouched},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        machine.files.Load(files);
        DeleteLegacyDriverFiles();
        EXPECT_EQ(machine.files.Listing(), row.left);
        EXPECT_TRUE(trace().empty());
    }
}

TEST_F(DriverFilesTest, RefusedFilesStayAndTheOthersGo) {
    machine.files.Load(R"(
        C:\WINDOWS\system32\vxmphook.dll in-use
        C:\WINDOWS\system\vxmphook.dll readonly
        C:\WINDOWS\system32\drivers\mp3drv.sys
    )");
    DeleteLegacyDriverFiles();
    EXPECT_EQ(machine.files.Listing(),
              "C:\\WINDOWS\\system\\vxmphook.dll readonly\n"
              "C:\\WINDOWS\\system32\\drivers\\\n"
              "C:\\WINDOWS\\system32\\vxmphook.dll in-use\n");
}

}  // namespace
