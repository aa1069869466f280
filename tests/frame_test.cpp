#include <cstring>

#include "frame/frame.h"
#include "tests/support.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

using px714test::MachineTest;
using sim::Os;

class ProbeTest : public MachineTest {};

TEST_F(ProbeTest, AnswerPerSystem) {
    struct Row {
        Os os;
        int nt, me, w9598;
    } rows[] = {
        {Os::Win95, 0, 0, 1}, {Os::Win98, 0, 0, 1},   {Os::WinMe, 0, 1, 0},      {Os::Nt4, 1, 0, 1},
        {Os::Win2000, 1, 0, 0}, {Os::WinXp, 1, 0, 0}, {Os::QueryFails, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        Use(row.os);
        EXPECT_EQ(IsNtPlatform(), row.nt);
        EXPECT_EQ(IsWindowsMe(), row.me);
        EXPECT_EQ(IsWindows9598(), row.w9598);
    }
}

TEST_F(ProbeTest, MinorVersionEdges) {
    // 4.10 is the last 95/98 minor version, 4.90 the first Me one; between
    // them neither probe holds. IsWindowsMe ignores the platform.
    struct Row {
        DWORD major, minor, platform;
        int me, w9598;
    } rows[] = {
        {4, 10, 1, 0, 1}, {4, 11, 1, 0, 0}, {4, 89, 1, 0, 0}, {4, 90, 1, 1, 0},
        {4, 200, 2, 1, 0}, {5, 0, 1, 0, 0}, {3, 10, 1, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.major << "." << row.minor);
        machine.version = sim::VersionInfo{row.major, row.minor, 0, row.platform, false, ""};
        EXPECT_EQ(IsWindowsMe(), row.me);
        EXPECT_EQ(IsWindows9598(), row.w9598);
        EXPECT_EQ(IsNtPlatform(), row.platform == 2 ? 1 : 0);
    }
}

TEST_F(ProbeTest, ProbesAskEveryTime) {
    Use(Os::Win98);
    EXPECT_EQ(IsWindows9598(), 1);
    Use(Os::WinXp);
    EXPECT_EQ(IsWindows9598(), 0);
}

TEST(EntryPoint, AcceptsEveryNotification) {
    int dummy = 0;
    for (DWORD reason : {DWORD(DLL_PROCESS_ATTACH), DWORD(DLL_THREAD_ATTACH), DWORD(DLL_THREAD_DETACH), DWORD(DLL_PROCESS_DETACH), DWORD(77)}) {
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), TRUE);
        EXPECT_EQ(DllMain(&dummy, reason, &dummy), TRUE);
    }
}

class TraceTest : public MachineTest {};

TEST_F(TraceTest, SendsExactlyTheTextGiven) {
    Trace("\nService not found\n");
    Trace("Found: ");
    Trace("");
    EXPECT_EQ(trace(), px714test::Pieces({"\nService not found\n", "Found: ", ""}));
}

class CompareTest : public MachineTest {};

TEST_F(CompareTest, SingleByteCodePageIgnoresAsciiCase) {
    EXPECT_EQ(CompareNoCase("AudioDev Player", "audiodev PLAYER"), 0);
    EXPECT_NE(CompareNoCase("AudioDev Player", "AudioDev Player2"), 0);
    EXPECT_NE(CompareNoCase("AudioDev", ""), 0);
    EXPECT_LT(CompareNoCase("abc", "abd"), 0);
    EXPECT_GT(CompareNoCase("abd", "ABC"), 0);
    EXPECT_EQ(CompareNoCaseN("MP3_____PLAYER_____X", "mp3_____player_____", 19), 0);
    EXPECT_NE(CompareNoCaseN("MP3_____PLAY", "MP3_____PLAYER_____", 19), 0);  // shorter name differs
    EXPECT_EQ(CompareNoCaseN("anything", "else", 0), 0);
    EXPECT_EQ(CompareBytesNoCaseN("usb\\VID_066F", "USB\\vid", 7), 0);
    EXPECT_NE(CompareBytesNoCaseN("US", "USB", 3), 0);
    EXPECT_EQ(CompareBytesNoCaseN("", "x", 0), 0);
}

TEST_F(CompareTest, DoubleByteTrailBytesAreNotCaseFolded) {
    // In code page 932, 0x83 0x61 and 0x83 0x41 are two different characters
    // whose trail bytes look like 'a' and 'A'.
    const char a[] = "\x83\x61X";
    const char b[] = "\x83\x41X";
    machine.codePage = 932;
    EXPECT_NE(CompareNoCase(a, b), 0);
    EXPECT_NE(CompareNoCaseN(a, b, 2), 0);
    EXPECT_EQ(CompareNoCase("\x83\x61x", "\x83\x61X"), 0);  // a single byte after it still folds
    // The byte-wise comparison knows no double-byte units.
    EXPECT_EQ(CompareBytesNoCaseN(a, b, 3), 0);
    // A single-byte code page folds the same bytes as letters.
    machine.codePage = 1252;
    EXPECT_EQ(CompareNoCase(a, b), 0);
    // A lead byte whose unit would cross n: only the bytes within n count.
    machine.codePage = 932;
    EXPECT_EQ(CompareNoCaseN("ab\x83\x61", "AB\x83\x41", 3), 0);
}

TEST(FormatTextTest, FormatsAndRefusesWhatDoesNotFit) {
    char buffer[16];
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "%04d|%x|%s", 5, 0xABCu, "ok"));
    EXPECT_STREQ(buffer, "0005|abc|ok");
    EXPECT_TRUE(FormatText(buffer, sizeof buffer, "%d %u %%", -42, 7u));
    EXPECT_STREQ(buffer, "-42 7 %");
    EXPECT_TRUE(FormatText(buffer, 6, "%s", "12345"));  // exactly fits with its terminator
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(FormatText(buffer, 6, "%s", "123456"));
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[6], '#');  // nothing written past the capacity
    EXPECT_FALSE(FormatText(buffer, 8, "Enum\\%s", "USB\\Vid"));
    EXPECT_STREQ(buffer, "");
}

}  // namespace
