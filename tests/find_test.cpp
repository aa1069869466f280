#include <cstring>
#include <string>

#include "frame/px714sup.h"
#include "legacy/catalogue.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;

const char kUninstall[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class FindLegacyPlayersTest : public MachineTest {
protected:
    // Registers a row's uninstall key, with a DisplayName unless name is null.
    void Install(int row, const char* name) {
        sim::Key* key = machine.registry.CreatePath(std::string(kUninstall) + LegacyPlayerCatalogue[row].UninstallKey);
        if (name != nullptr) key->SetValue("DisplayName", REG_SZ, name, std::strlen(name) + 1);
    }
    // Calls the export with poisoned outputs.
    int Find() {
        index = 0xBEEF;
        std::memset(name, '#', sizeof name);
        return FindLegacyPlayers(&index, name);
    }
    unsigned short index = 0;
    char name[200];
};

TEST_F(FindLegacyPlayersTest, NothingInstalledLeavesOutputsUntouched) {
    EXPECT_EQ(Find(), 0);
    EXPECT_EQ(index, 0xBEEF);
    EXPECT_EQ(name[0], '#');
    EXPECT_TRUE(trace().empty());
}

TEST_F(FindLegacyPlayersTest, ReportsTheFirstRowWithADisplayName) {
    Install(12, "Magic Drive Player");
    Install(20, "Later Player");
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(index, 12);
    EXPECT_STREQ(name, "Magic Drive Player");
    EXPECT_EQ(name[std::strlen("Magic Drive Player") + 1], '#');  // nothing written after the zero
    EXPECT_TRUE(trace().empty());
}

TEST_F(FindLegacyPlayersTest, KeyWithoutDisplayNameIsPassedOver) {
    Install(2, nullptr);
    Install(6, "BBK Player");
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(index, 6);
}

TEST_F(FindLegacyPlayersTest, RowsSharingAnUninstallKeyReportTheFirst) {
    // Rows 4, 5, 7, 16, 18 and 28 share their key with an earlier row; row
    // 34 is the only reportable placeholder row.
    struct Row {
        int installed, reported;
    } rows[] = {{4, 3}, {5, 3}, {7, 1}, {16, 15}, {18, 17}, {28, 27}, {35, 34}, {37, 34}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.installed);
        machine = sim::Machine(sim::Os::WinXp);
        Install(row.installed, "Shared");
        ASSERT_EQ(Find(), 1);
        EXPECT_EQ(index, row.reported);
    }
}

TEST_F(FindLegacyPlayersTest, DisplayNameLengthBoundary) {
    std::string name127(127, 'N');
    Install(0, name127.c_str());
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(std::string(name), name127);

    std::string name128(128, 'L');
    Install(0, name128.c_str());
    Install(9, "Next");
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(index, 9);
    EXPECT_STREQ(name, "Next");
}

TEST_F(FindLegacyPlayersTest, AliasesInAnyLetterCase) {
    struct Row {
        const char* registered;
        const char* reported;
    } rows[] = {
        {"AudioDev Player", "Digital AudioDev Player"},
        {"AUDIODEV player", "Digital AudioDev Player"},
        {"music box mp3 PLAYER", "CMTech Music Box MP3 Player"},
        {"Digital AudioDev Player", "Digital AudioDev Player"},
        {"AudioDev Player 2", "AudioDev Player 2"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.registered);
        Install(22, row.registered);
        ASSERT_EQ(Find(), 1);
        EXPECT_EQ(index, 22);
        EXPECT_STREQ(name, row.reported);
    }
}

TEST_F(FindLegacyPlayersTest, DataWithoutTerminatorStaysInsideTheBuffer) {
    sim::Key* key = machine.registry.CreatePath(std::string(kUninstall) + LegacyPlayerCatalogue[0].UninstallKey);
    std::string raw(128, 'R');
    key->SetValue("DisplayName", REG_BINARY, raw.data(), raw.size());
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(std::string(name), std::string(127, 'R'));

    key->SetValue("DisplayName", REG_SZ, "Short", 5);  // stored without its zero
    ASSERT_EQ(Find(), 1);
    EXPECT_STREQ(name, "Short");
}

TEST_F(FindLegacyPlayersTest, NullOutputsAreRefused) {
    Install(0, "Player");
    char buffer[128];
    unsigned short i = 7;
    EXPECT_EQ(FindLegacyPlayers(nullptr, buffer), 0);
    EXPECT_EQ(FindLegacyPlayers(&i, nullptr), 0);
    EXPECT_EQ(i, 7);
}

TEST_F(FindLegacyPlayersTest, RegistryFailuresCountAsNotInstalled) {
    Install(0, "First");
    Install(1, "Second");
    machine.InjectFault("RegOpenKeyA", sim::Fault{1, false, ERROR_ACCESS_DENIED, LegacyPlayerCatalogue[0].UninstallKey});
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(index, 1);
}

TEST(Catalogue, RowsAsPublished) {
    EXPECT_EQ(sizeof(LegacyPlayerEntry), 102u);
    EXPECT_STREQ(LegacyPlayerCatalogue[0].ClassGuid, "{FF646F80-8DEf-11D2-9449-00105A075F6B}");
    EXPECT_STREQ(LegacyPlayerCatalogue[15].ProductId, "Hercules095");
    EXPECT_STREQ(LegacyPlayerCatalogue[16].UninstallKey, "{F5FF2C70-0516-47B7-AE7B-128AAb9D25BB}");
    EXPECT_STREQ(LegacyPlayerCatalogue[37].UninstallKey, "00000000-0000-0000-0000-000000000000");
    EXPECT_STREQ(LegacyPlayerCatalogue[37].ProductId, "VXMP34XXM");
    for (int row = 0; row < LegacyPlayerCount; ++row) {
        SCOPED_TRACE(row);
        const LegacyPlayerEntry& e = LegacyPlayerCatalogue[row];
        EXPECT_EQ(std::strlen(e.VendorId), 8u);
        EXPECT_GE(std::strlen(e.ProductId), 3u);
        EXPECT_LE(std::strlen(e.ProductId), 11u);
        EXPECT_EQ(std::strlen(e.ClassGuid), 38u);
        // Fields are zero-filled after their text.
        for (size_t i = std::strlen(e.UninstallKey); i < sizeof e.UninstallKey; ++i) EXPECT_EQ(e.UninstallKey[i], 0);
    }
    EXPECT_EQ(LegacyPlayerAt(38), nullptr);
    EXPECT_EQ(LegacyPlayerAt(0xFFFFFFFFu), nullptr);
    EXPECT_EQ(LegacyPlayerAt(37), &LegacyPlayerCatalogue[37]);
}

}  // namespace
