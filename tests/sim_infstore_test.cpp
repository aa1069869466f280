// The simulated INF store: SetupCopyOEMInfA's copy styles over the inf folder.
#include <cstring>
#include <string>
#include <vector>

#include "tests/support.h"

namespace {

using px714test::MachineTest;
using sim::Os;

std::string Inf(const char* driverVer) {
    return std::string("; player driver\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer = ") + driverVer +
           "\r\n\r\n[Manufacturer]\r\n";
}

class InfStoreTest : public MachineTest {
protected:
    // Copies src with the style; name receives the reported copy path.
    BOOL Copy(const char* src, DWORD style) {
        std::memset(name, '#', sizeof name);
        name[sizeof name - 1] = 0;
        component = nullptr;
        required = 0;
        SetLastError(0xdeadbeef);
        return SetupCopyOEMInfA(src, "D:\\", SPOST_PATH, style, name, sizeof name, &required, &component);
    }
    std::string TextOf(const char* copy) {
        const sim::InfCopy* c = machine.infs.FindCopy(copy);
        return c ? c->text : "(none)";
    }
    char name[MAX_PATH];
    char* component = nullptr;
    DWORD required = 0;
};

TEST_F(InfStoreTest, CopiesAndReportsTheName) {
    machine.files.SetFileText("D:\\player.inf", Inf("05/01/2004,1.0.0.1"));
    ASSERT_TRUE(Copy("d:\\PLAYER.INF", 0));  // paths ignore letter case
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem0.inf");
    EXPECT_STREQ(component, "oem0.inf");
    EXPECT_EQ(required, 24u);
    ASSERT_EQ(machine.infs.copies.size(), 1u);
    EXPECT_EQ(machine.infs.copies[0].originalName, "PLAYER.INF");
    EXPECT_EQ(machine.infs.copies[0].mediaLocation, "D:\\");

    // The same INF again: no second copy, the one there is reported.
    ASSERT_TRUE(Copy("D:\\player.inf", 0));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem0.inf");
    EXPECT_EQ(machine.infs.copies.size(), 1u);

    // Too small a name buffer.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SetupCopyOEMInfA("D:\\player.inf", "D:\\", SPOST_PATH, 0, name, 23, &required, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 24u);
}

TEST_F(InfStoreTest, MissingOrMalformedSource) {
    machine.files.SetFileText("D:\\bad.inf", "[Strings]\r\nName=\"x\"\r\n");
    machine.files.Load("D:\\unread.inf\nD:\\Folder.inf\\\n");  // contents not held; a folder
    struct Row {
        const char* source;
        DWORD error;
    } rows[] = {
        {"D:\\none.inf", ERROR_FILE_NOT_FOUND},
        {"D:\\No Folder\\player.inf", ERROR_PATH_NOT_FOUND},  // as Wine shows
        {"D:\\bad.inf", sim::kErrorWrongInfStyle},     // no [Version] section
        {"D:\\unread.inf", sim::kErrorWrongInfStyle},  // reads as empty
        {"D:\\Folder.inf", ERROR_ACCESS_DENIED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source);
        EXPECT_FALSE(Copy(row.source, SP_COPY_NOOVERWRITE));
        EXPECT_EQ(GetLastError(), row.error);
    }
    EXPECT_TRUE(machine.infs.copies.empty());
    EXPECT_EQ(machine.infs.calls.size(), 5u);
    EXPECT_EQ(machine.files.Listing("C:\\"), "");  // nothing written
}

TEST_F(InfStoreTest, CopiesAreFilesOfTheInfFolder) {
    machine.files.Load("C:\\WINDOWS\\inf\\oem0.inf\nC:\\WINDOWS\\inf\\OEM2.INF\nC:\\WINDOWS\\inf\\oemx.inf\n"
                       "C:\\WINDOWS\\inf\\machine.inf\n");
    machine.files.SetFileText("C:\\WINDOWS\\inf\\oem1.inf", Inf("01/01/2003"));  // an earlier copy of the same file
    machine.files.SetFileText("D:\\player.inf", Inf("01/01/2003"));
    machine.files.SetFileText("D:\\newer.inf", Inf("05/01/2004,1.0.0.1"));

    EXPECT_FALSE(Copy("D:\\player.inf", SP_COPY_NOOVERWRITE));  // the same text is there
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");

    // The lowest name no file of the folder has.
    ASSERT_TRUE(Copy("D:\\newer.inf", SP_COPY_NOOVERWRITE | SP_COPY_DELETESOURCE));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem3.inf");
    const sim::FileNode* copy = machine.files.Lookup("C:\\WINDOWS\\inf\\oem3.inf");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text, Inf("05/01/2004,1.0.0.1"));
    EXPECT_EQ(copy->size, Inf("05/01/2004,1.0.0.1").size());
    EXPECT_EQ(machine.files.Listing("D:\\"), "D:\\player.inf\n");  // the source deleted

    // A copy whose file went is no copy any more: its name is free again.
    machine.files.Lookup("C:\\WINDOWS\\inf")->Remove("oem1.inf");
    ASSERT_TRUE(Copy("D:\\player.inf", SP_COPY_NOOVERWRITE));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
    EXPECT_EQ(machine.files.Listing("C:\\WINDOWS\\inf"),
              "C:\\WINDOWS\\inf\\machine.inf\nC:\\WINDOWS\\inf\\oem0.inf\nC:\\WINDOWS\\inf\\oem1.inf\n"
              "C:\\WINDOWS\\inf\\OEM2.INF\nC:\\WINDOWS\\inf\\oem3.inf\nC:\\WINDOWS\\inf\\oemx.inf\n");
    std::vector<std::string> names;
    for (const sim::InfCopy& c : machine.infs.copies) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"oem0.inf", "OEM2.INF", "oem3.inf", "oem1.inf"}));

    // An inf folder that is a file holds no copy.
    machine.files.AddFile("E:\\inf");
    machine.infs.folder = "E:\\inf";
    EXPECT_FALSE(Copy("D:\\player.inf", 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(machine.infs.copies.size(), 0u);  // the folder's copies: none

    // The folder is the version's own.
    machine.SetOs(Os::Win2000);
    ASSERT_TRUE(Copy("D:\\player.inf", 0));
    EXPECT_STREQ(name, "C:\\WINNT\\inf\\oem0.inf");
    EXPECT_TRUE(machine.files.Exists("C:\\WINNT\\inf\\oem0.inf"));
}

TEST_F(InfStoreTest, NoOverwriteRefusesOnlyTheSameInf) {
    machine.files.SetFileText("D:\\player.inf", Inf("05/01/2004,1.0.0.1"));
    ASSERT_TRUE(Copy("D:\\player.inf", SP_COPY_NOOVERWRITE));
    EXPECT_FALSE(Copy("D:\\player.inf", SP_COPY_NOOVERWRITE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem0.inf");  // the copy that is there

    // Another version of the file is another INF: copied beside it.
    machine.files.SetFileText("D:\\player.inf", Inf("06/01/2004,1.0.0.2"));
    ASSERT_TRUE(Copy("D:\\player.inf", SP_COPY_NOOVERWRITE));
    EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
    EXPECT_EQ(machine.infs.copies.size(), 2u);
}

TEST_F(InfStoreTest, ReplaceOnlyNewer) {
    const DWORD style = SP_COPY_REPLACEONLY | SP_COPY_NEWER;
    machine.files.SetFileText("D:\\player.inf", Inf("05/01/2004,1.0.0.1"));
    EXPECT_FALSE(Copy("D:\\player.inf", style));  // nothing to replace
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(machine.infs.copies.empty());

    machine.files.SetFileText("D:\\other.inf", Inf("01/01/2001"));
    ASSERT_TRUE(Copy("D:\\other.inf", 0));     // oem0.inf
    ASSERT_TRUE(Copy("D:\\player.inf", 0));    // oem1.inf
    struct Row {
        const char* driverVer;
        BOOL replaced;
    } rows[] = {
        {"05/01/2004,1.0.0.1", TRUE},   // the same
        {"05/01/2004,1.0.0.2", TRUE},   // same date, newer version
        {"05/01/2004,1.0.0.1", FALSE},  // older than what is there now
        {"04/30/2004,9.0.0.0", FALSE},  // older date, whatever the version
        {"01/01/2005", TRUE},           // newer date, no version
        {"12/31/2004,9.9.9.9", FALSE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.driverVer);
        std::string before = TextOf("oem1.inf");
        machine.files.SetFileText("D:\\player.inf", Inf(row.driverVer));
        EXPECT_EQ(Copy("D:\\player.inf", style), row.replaced);
        if (row.replaced) {
            EXPECT_STREQ(name, "C:\\WINDOWS\\inf\\oem1.inf");
            EXPECT_EQ(TextOf("oem1.inf"), Inf(row.driverVer));
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
            EXPECT_EQ(TextOf("oem1.inf"), before);
        }
        EXPECT_EQ(machine.infs.copies.size(), 2u);
        EXPECT_EQ(TextOf("oem0.inf"), Inf("01/01/2001"));
    }
}

TEST(InfVersion, ReadsTheVersionSection) {
    sim::DriverVersion v;
    ASSERT_TRUE(sim::InfStore::ReadVersion("[version]\nDRIVERVER=07/04/2003,5.1.2600.0 ; comment\n", &v));
    EXPECT_EQ(v.year, 2003u);
    EXPECT_EQ(v.month, 7u);
    EXPECT_EQ(v.day, 4u);
    EXPECT_EQ(v.parts[2], 2600u);
    // DriverVer outside [Version] does not count.
    ASSERT_TRUE(sim::InfStore::ReadVersion("[Version]\nClass=Media\n[Other]\nDriverVer=07/04/2003\n", &v));
    EXPECT_EQ(v.year, 0u);
    EXPECT_FALSE(sim::InfStore::ReadVersion("DriverVer=07/04/2003\n", &v));
}

}  // namespace
