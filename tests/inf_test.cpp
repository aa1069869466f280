// RegisterInf and UpdateInf: the joined source path, the copy styles, the
// results, and nothing traced.
#include <string>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;

std::string Inf(const char* driverVer) {
    return std::string("[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Media\r\nDriverVer=") + driverVer + "\r\n";
}

class InfExportTest : public MachineTest {
protected:
    const sim::InfCall& LastCall() { return machine.infs.calls.back(); }
};

TEST_F(InfExportTest, PathsAreJoinedAsTheyAre) {
    struct Row {
        const char* directory;
        const char* file;
        const char* source;  // what the device installer is given
    } rows[] = {
        {"D:\\Setup\\", "player.inf", "D:\\Setup\\player.inf"},
        {"D:\\Setup", "player.inf", "D:\\Setupplayer.inf"},  // no backslash inserted
        {"D:\\Setup\\player.inf", "", "D:\\Setup\\player.inf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.directory) + " + " + row.file);
        machine = sim::Machine();
        machine.files.SetFileText(row.source, Inf("05/01/2004,1.0.0.1"));
        ASSERT_EQ(RegisterInf(row.directory, row.file), 0);
        ASSERT_EQ(machine.infs.calls.size(), 1u);
        EXPECT_EQ(LastCall().source, row.source);
        EXPECT_TRUE(LastCall().mediaLocationGiven);
        EXPECT_EQ(LastCall().mediaLocation, row.directory);  // the directory, not the joined path
        EXPECT_EQ(LastCall().mediaType, static_cast<DWORD>(SPOST_PATH));
        EXPECT_EQ(LastCall().copyStyle, static_cast<DWORD>(SP_COPY_NOOVERWRITE));

        ASSERT_EQ(UpdateInf(row.directory, row.file), 0);
        EXPECT_EQ(LastCall().source, row.source);
        EXPECT_EQ(LastCall().mediaLocation, row.directory);
        EXPECT_EQ(LastCall().copyStyle, static_cast<DWORD>(SP_COPY_REPLACEONLY | SP_COPY_NEWER));
        EXPECT_TRUE(trace().empty());
    }
}

TEST_F(InfExportTest, RegisterCopiesOnlyWhereTheInfIsNotThere) {
    machine.files.SetFileText("D:\\Setup\\player.inf", Inf("05/01/2004,1.0.0.1"));
    EXPECT_EQ(RegisterInf("D:\\Setup\\", "player.inf"), 0);
    ASSERT_EQ(machine.infs.copies.size(), 1u);
    EXPECT_EQ(machine.infs.copies[0].name, "oem0.inf");

    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterInf("D:\\Setup\\", "player.inf"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));  // the device installer's, left as it was
    EXPECT_EQ(machine.infs.copies.size(), 1u);

    EXPECT_EQ(RegisterInf("D:\\Setup\\", "missing.inf"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(trace().empty());
}

TEST_F(InfExportTest, UpdateReplacesOnlyWithTheSameOrANewerVersion) {
    machine.files.SetFileText("D:\\Setup\\player.inf", Inf("05/01/2004,1.0.0.1"));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(UpdateInf("D:\\Setup\\", "player.inf"), -1);  // nothing there to replace
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(machine.infs.copies.empty());

    ASSERT_EQ(RegisterInf("D:\\Setup\\", "player.inf"), 0);
    machine.files.SetFileText("E:\\New\\player.inf", Inf("06/01/2004,1.0.0.2"));
    EXPECT_EQ(UpdateInf("E:\\New\\", "player.inf"), 0);
    ASSERT_EQ(machine.infs.copies.size(), 1u);
    EXPECT_EQ(machine.infs.copies[0].text, Inf("06/01/2004,1.0.0.2"));
    EXPECT_EQ(machine.infs.copies[0].mediaLocation, "E:\\New\\");

    EXPECT_EQ(UpdateInf("D:\\Setup\\", "player.inf"), -1);  // older than the copy now there
    EXPECT_EQ(machine.infs.copies[0].text, Inf("06/01/2004,1.0.0.2"));
    EXPECT_TRUE(trace().empty());
}

TEST_F(InfExportTest, DeviceInstallerFailurePassesThrough) {
    machine.files.SetFileText("D:\\player.inf", Inf("05/01/2004"));
    machine.InjectFault("SetupCopyOEMInfA", sim::Fault{1, true, ERROR_ACCESS_DENIED, ""});
    EXPECT_EQ(RegisterInf("D:\\", "player.inf"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(UpdateInf("D:\\", "player.inf"), -1);
    EXPECT_TRUE(machine.infs.copies.empty());
}

TEST_F(InfExportTest, JoinedPathLongerThan259IsRefusedWithoutACall) {
    const std::string directory = "D:\\" + std::string(196, 'd') + "\\";  // 200 characters
    const std::string fits(59, 'f');                                     // 259 together
    const std::string tooLong(60, 'f');                                  // 260 together
    machine.files.SetFileText(directory + fits, Inf("05/01/2004"));
    machine.files.SetFileText(directory + tooLong, Inf("05/01/2004"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(RegisterInf(directory.c_str(), tooLong.c_str()), -1);
    EXPECT_EQ(UpdateInf(directory.c_str(), tooLong.c_str()), -1);
    EXPECT_TRUE(machine.infs.calls.empty());
    EXPECT_EQ(GetLastError(), 0xdeadbeefu);

    EXPECT_EQ(RegisterInf(directory.c_str(), fits.c_str()), 0);
    ASSERT_EQ(machine.infs.calls.size(), 1u);
    EXPECT_EQ(LastCall().source, directory + fits);
    EXPECT_TRUE(trace().empty());
}

}  // namespace
