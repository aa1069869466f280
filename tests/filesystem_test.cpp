// The simulated file system: what the file functions of platform/win32.h
// do on the machine, as Windows does it.
#include <cstring>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using px714test::MachineTest;
using sim::Os;

class FileSystemTest : public MachineTest {
protected:
    // Every name a search gives, in order, with the last error after the
    // last FindNextFileA; {"error N"} when FindFirstFileA fails.
    std::vector<std::string> Search(const char* pattern, DWORD* endError = nullptr) {
        WIN32_FIND_DATAA data;
        machine.lastError = 0xDEADBEEF;
        HANDLE search = FindFirstFileA(pattern, &data);
        if (search == INVALID_HANDLE_VALUE) return {"error " + std::to_string(machine.lastError)};
        EXPECT_EQ(machine.OpenHandleCount(), 1u);
        std::vector<std::string> names;
        do names.push_back(data.cFileName);
        while (FindNextFileA(search, &data));
        if (endError != nullptr) *endError = machine.lastError;
        EXPECT_TRUE(FindClose(search));
        return names;
    }
};

TEST_F(FileSystemTest, SearchGivesDotsThenEveryEntrySortedLetterCaseIgnored) {
    machine.files.Load(R"(
        C:\Foo\zeta.txt
        C:\Foo\Beta.dll hidden system
        C:\Foo\alpha.SYS readonly
        C:\Foo\_under
        C:\Foo\Sub\inner.txt
        C:\Foo\noext
    )");
    DWORD endError = 0;
    EXPECT_EQ(Search("C:\\Foo\\*.*", &endError),
              (std::vector<std::string>{".", "..", "alpha.SYS", "Beta.dll", "noext", "Sub", "zeta.txt", "_under"}));
    EXPECT_EQ(endError, DWORD(ERROR_NO_MORE_FILES));
    // The same folder by another spelling of its path.
    EXPECT_EQ(Search("c:/FOO//.\\sub\\..\\*").size(), 8u);
    // A literal name finds the entry alone; other patterns match as wildcards.
    EXPECT_EQ(Search("C:\\FOO\\BETA.DLL"), (std::vector<std::string>{"Beta.dll"}));
    EXPECT_EQ(Search("C:\\Foo\\*.t?t"), (std::vector<std::string>{"zeta.txt"}));
    // A drive's root has no "." and "..".
    EXPECT_EQ(Search("C:\\*.*"), (std::vector<std::string>{"Foo"}));
    EXPECT_EQ(machine.files.searched.front(), "C:\\Foo\\*.*");
}

TEST_F(FileSystemTest, FindDataCarriesAttributes) {
    machine.files.Load("C:\\F\\h.txt hidden system\nC:\\F\\plain.txt\nC:\\F\\Ro\\ readonly\n");
    WIN32_FIND_DATAA data;
    std::vector<DWORD> attributes;
    HANDLE search = FindFirstFileA("C:\\F\\*.*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do attributes.push_back(data.dwFileAttributes);
    while (FindNextFileA(search, &data));
    FindClose(search);
    EXPECT_EQ(attributes, (std::vector<DWORD>{FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY,
                                               FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, FILE_ATTRIBUTE_NORMAL,
                                               FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY}));
}

TEST_F(FileSystemTest, SearchFailures) {
    machine.files.Load("C:\\Foo\\a.txt\nC:\\Empty\\\n");
    struct Row {
        const char* pattern;
        std::vector<std::string> result;
    } rows[] = {
        {"C:\\Missing\\*.*", {"error 3"}},             // ERROR_PATH_NOT_FOUND
        {"Q:\\Foo\\*.*", {"error 3"}},                 // no such drive
        {"C:\\Foo\\a.txt\\x\\*.*", {"error 3"}},       // a file on the way
        {"C:\\Foo\\a.txt\\*.*", {"error 267"}},        // ERROR_DIRECTORY
        {"C:\\Foo\\*.dll", {"error 2"}},               // ERROR_FILE_NOT_FOUND
        {"C:\\Foo\\", {"error 2"}},                    // a trailing backslash names nothing
        {"C:\\Fo*\\*.*", {"error 123"}},               // ERROR_INVALID_NAME
        {"\\\\server\\share\\*.*", {"error 53"}},      // ERROR_BAD_NETPATH
        {"C:\\Empty\\*.*", {".", ".."}},               // an empty folder still has its dots
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(Search(row.pattern), row.result);
    }
    WIN32_FIND_DATAA data;
    machine.lastError = 0;
    EXPECT_FALSE(FindNextFileA(reinterpret_cast<HANDLE>(0x1234), &data));
    EXPECT_EQ(machine.lastError, DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(0x1234)));
}

TEST_F(FileSystemTest, DeleteFileRefusals) {
    machine.files.Load(R"(
        C:\W\plain.dll
        C:\W\ro.dll readonly
        C:\W\busy.dll in-use
        C:\W\both.dll readonly in-use
        C:\W\hidden.dll hidden system
        C:\W\Sub\
    )");
    struct Row {
        const char* path;
        BOOL result;
        DWORD error;
    } rows[] = {
        {"c:\\w\\PLAIN.DLL", TRUE, 0xDEADBEEF},  // last error untouched on success
        {"C:\\W\\hidden.dll", TRUE, 0xDEADBEEF},
        {"C:\\W\\ro.dll", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\W\\busy.dll", FALSE, ERROR_SHARING_VIOLATION},
        {"C:\\W\\both.dll", FALSE, ERROR_SHARING_VIOLATION},
        {"C:\\W\\plain.dll", FALSE, ERROR_FILE_NOT_FOUND},  // already gone
        {"C:\\Nowhere\\plain.dll", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\W\\Sub", FALSE, ERROR_ACCESS_DENIED},  // a folder
        {"C:\\W\\*.dll", FALSE, ERROR_INVALID_NAME},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        machine.lastError = 0xDEADBEEF;
        EXPECT_EQ(DeleteFileA(row.path), row.result);
        EXPECT_EQ(machine.lastError, row.error);
    }
    EXPECT_EQ(machine.files.Listing(), "C:\\W\\both.dll readonly in-use\nC:\\W\\busy.dll in-use\nC:\\W\\ro.dll readonly\nC:\\W\\Sub\\\n");
}

TEST_F(FileSystemTest, RemoveDirectoryTakesAnEmptyFolderOnly) {
    machine.files.Load("C:\\A\\file.txt\nC:\\A\\Empty\\\nC:\\A\\Ro\\ readonly\n");
    struct Row {
        const char* path;
        BOOL result;
        DWORD error;
    } rows[] = {
        {"C:\\A", FALSE, ERROR_DIR_NOT_EMPTY},
        {"C:\\A\\file.txt", FALSE, 267},  // ERROR_DIRECTORY
        {"C:\\A\\Ro", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\A\\Missing", FALSE, ERROR_FILE_NOT_FOUND},
        {"C:\\B\\Missing", FALSE, ERROR_PATH_NOT_FOUND},
        {"C:\\", FALSE, ERROR_ACCESS_DENIED},
        {"C:\\a\\EMPTY\\", TRUE, 0xDEADBEEF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        machine.lastError = 0xDEADBEEF;
        EXPECT_EQ(RemoveDirectoryA(row.path), row.result);
        EXPECT_EQ(machine.lastError, row.error);
    }
    EXPECT_EQ(machine.files.Listing("C:\\A"), "C:\\A\\file.txt\nC:\\A\\Ro\\ readonly\n");
    // The current directory, and the folders it lies in, are held open.
    machine.files.Load("C:\\Setup\\Disk1\\");
    machine.files.currentDirectory = "C:\\Setup\\Disk1";
    machine.lastError = 0;
    EXPECT_FALSE(RemoveDirectoryA("C:\\Setup\\Disk1"));
    EXPECT_EQ(machine.lastError, DWORD(ERROR_SHARING_VIOLATION));
}

TEST_F(FileSystemTest, PathsWithoutADriveFollowTheCurrentDirectory) {
    machine.files.Load("C:\\Setup\\a.txt\nC:\\root.txt\nD:\\d.txt\n");
    machine.files.currentDirectory = "C:\\Setup";
    EXPECT_EQ(Search("*.*"), (std::vector<std::string>{".", "..", "a.txt"}));
    EXPECT_EQ(Search("\\*.*"), (std::vector<std::string>{"root.txt", "Setup"}));
    EXPECT_EQ(Search("D:*.*"), (std::vector<std::string>{"d.txt"}));
    EXPECT_TRUE(DeleteFileA("a.txt. "));  // trailing dots and blanks are dropped
    EXPECT_EQ(machine.files.Listing("C:\\Setup"), "C:\\Setup\\\n");
}

TEST_F(FileSystemTest, DoubleByteTrailBackslashIsNoSeparator) {
    // 0x83 0x5C is one Shift-JIS character whose second byte is a backslash.
    machine.codePage = 932;
    const std::string folder = "C:\\\x83\x5C";
    {
        sim::FileNode* root = machine.files.Lookup("C:\\");
        root->Add("\x83\x5C", true)->Add("f.txt", false);
    }
    EXPECT_EQ(Search((folder + "\\*.*").c_str()), (std::vector<std::string>{".", "..", "f.txt"}));
    EXPECT_EQ(Search((folder).c_str()), (std::vector<std::string>{"\x83\x5C"}));
}

TEST_F(FileSystemTest, WindowsDirectoryPerVersionAndBufferRule) {
    struct Row {
        Os os;
        const char* folder;
    } rows[] = {{Os::Win95, "C:\\WINDOWS"}, {Os::Win98, "C:\\WINDOWS"}, {Os::WinMe, "C:\\WINDOWS"},
                {Os::Nt4, "C:\\WINNT"},     {Os::Win2000, "C:\\WINNT"}, {Os::WinXp, "C:\\WINDOWS"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        Use(row.os);
        char buffer[128];
        EXPECT_EQ(GetWindowsDirectoryA(buffer, sizeof buffer), std::strlen(row.folder));
        EXPECT_STREQ(buffer, row.folder);
    }
    machine.files.windowsDirectory = "D:\\WINNT";
    char small[9];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(GetWindowsDirectoryA(small, 8), 9u);  // too small: the size needed, terminator included
    EXPECT_EQ(small[0], '#');
    EXPECT_EQ(GetWindowsDirectoryA(small, 9), 8u);
    EXPECT_STREQ(small, "D:\\WINNT");

    machine.files.windowsDirectoryUnavailable = true;
    machine.lastError = 0;
    EXPECT_EQ(GetWindowsDirectoryA(small, 9), 0u);
    EXPECT_NE(machine.lastError, 0u);
}

TEST_F(FileSystemTest, LoadAndListingAgree) {
    const std::string text =
        "C:\\Program Files\\Foo\\Data\\\n"
        "C:\\Program Files\\Foo\\Foo.exe readonly hidden system in-use\n"
        "C:\\WINDOWS\\system32\\vxmphook.dll\n"
        "D:\\Empty\\ hidden\n";
    machine.files.Load(text);
    EXPECT_EQ(machine.files.Listing(), text);
    EXPECT_EQ(machine.files.Listing("c:\\program files"),
              "C:\\Program Files\\Foo\\Data\\\nC:\\Program Files\\Foo\\Foo.exe readonly hidden system in-use\n");
    EXPECT_EQ(machine.files.Listing("C:\\Nowhere"), "");
    EXPECT_THROW(machine.files.Load("relative\\file.txt"), std::invalid_argument);
    EXPECT_THROW(machine.files.AddFolder("C:\\WINDOWS\\system32\\vxmphook.dll\\x"), std::invalid_argument);
}

}  // namespace
