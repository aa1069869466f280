// The registry key destroyers: EnumAndDestroyKeys, EnumAndDestroySCSIKeys,
// PadProductId.
#include <string>
#include <vector>

#include "engine/destroy.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const char kGuid[] = "{C6178071-6A08-481E-A679-E9D95A658998}";

class DestroyKeysTest : public MachineTest {
protected:
    // Runs on a fresh machine of the given system.
    void Fresh(Os os) { machine = sim::Machine(os); }
};

TEST_F(DestroyKeysTest, KeyWithoutSubkeysIsDeleted) {
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\Enum\\USB\\Dev]\n\"v\"=\"1\"\n[HKLM\\Enum\\USB\\Other]\n");
        EXPECT_EQ(EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", nullptr), 0);
        EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n", "Deleting: ",
                                   "Enum\\USB\\Dev", "\n"}));
        EXPECT_EQ(machine.Dump("HKLM\\Enum"), "[HKEY_LOCAL_MACHINE\\Enum]\n\n[HKEY_LOCAL_MACHINE\\Enum\\USB]\n\n"
                                               "[HKEY_LOCAL_MACHINE\\Enum\\USB\\Other]\n");
    }
}

TEST_F(DestroyKeysTest, KeyThatDoesNotOpenWithFullAccessIsLeftAlone) {
    // Missing on any system; NT's restricted Enum keys open for reading only.
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Dev\\1]\n");
    machine.RestrictKey("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Dev");
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB", "Dev", kGuid);
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB", "Missing", nullptr);
    EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "EnumAndDestroyKeys\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USB\\Dev\\1"));
}

TEST_F(DestroyKeysTest, WalkPassesOverRenumberedSubkeys) {
    // S1 goes at number 0, S3 (now number 1) at 1; the read at 2 ends the
    // walk. S2 and S4 are left to the final deletion.
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\S1]\n[HKLM\\Enum\\USB\\Dev\\S2]\n[HKLM\\Enum\\USB\\Dev\\S3]\n"
                        "[HKLM\\Enum\\USB\\Dev\\S4]\n");
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", nullptr);
        std::vector<std::string> expected = Pieces({"EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n",
                                                    "Deleting ", "S1", "\n", "Deleting ", "S3", "\n", "Deleting: ",
                                                    "Enum\\USB\\Dev", "\n"});
        if (machine.IsNtFamily()) {
            // NT refuses a key that still has subkeys.
            expected.push_back("\nError deleting key: 5\n");
            EXPECT_EQ(machine.Dump("HKLM\\Enum\\USB\\Dev"),
                      "[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev]\n\n[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev\\S2]\n\n"
                      "[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev\\S4]\n");
        } else {
            EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\Dev"));
        }
        EXPECT_EQ(trace(), expected);
    }
}

TEST_F(DestroyKeysTest, InnerCallThenOuterDeleteFails) {
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\A\\A1]\n[HKLM\\Enum\\USB\\Dev\\B]\n");
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", nullptr);
        std::vector<std::string> expected = Pieces({
            "EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n", "Deleting ", "A", "\n",
            // The inner call deletes A itself ...
            "EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev\\A", "\n", "Deleting ", "A1", "\n", "Deleting: ",
            "Enum\\USB\\Dev\\A", "\n",
            // ... so the outer delete of A finds nothing, and the walk ends.
            "status: ", "2", "\n", "Deleting: ", "Enum\\USB\\Dev", "\n"});
        if (machine.IsNtFamily()) {
            expected.push_back("\nError deleting key: 5\n");
            EXPECT_EQ(machine.Dump("HKLM\\Enum\\USB\\Dev"),
                      "[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev]\n\n[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev\\B]\n");
        } else {
            EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\Dev"));
        }
        EXPECT_EQ(trace(), expected);
    }
}

TEST_F(DestroyKeysTest, ChildThatDoesNotOpenIsStillDeleted) {
    // NT: a restricted child opens for reading only: no "Deleting " line, and
    // its delete is refused.
    machine.LoadReg("[HKLM\\SYSTEM\\Dev\\Locked]\n[HKLM\\SYSTEM\\Dev\\Open]\n");
    machine.RestrictKey("HKLM\\SYSTEM\\Dev\\Locked");
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "SYSTEM", "Dev", nullptr);
    EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "Found: ", "SYSTEM\\Dev", "\n", "status: ", "5", "\n",
                               "Deleting: ", "SYSTEM\\Dev", "\n", "\nError deleting key: 5\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SYSTEM\\Dev\\Open"));
}

TEST_F(DestroyKeysTest, ClassConditionUnmetTracesTheNamesAndDeletesNothing) {
    for (Os os : {Os::Win98, Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\S1]\n\"ClassGUID\"=\"{36FC9E60-C465-11CF-8056-444553540000}\"\n"
                        "[HKLM\\Enum\\USB\\Dev\\S2]\n\"Class\"=\"USB\"\n[HKLM\\Enum\\USB\\Empty]\n");
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", kGuid);
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Empty", kGuid);
        // The read that ends the walk repeats the last name, or is an empty line.
        EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n", "S1", "\n", "S2", "\n",
                                   "S2", "\n", "EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Empty", "\n", "", "\n"}));
        EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\USB\\Dev\\S1"));
        EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\USB\\Empty"));
    }
}

TEST_F(DestroyKeysTest, ClassConditionMatchesInAnyCaseAnywhere) {
    struct Row {
        const char* name;
        const char* values[3];  // ClassGUID of S1, S2, S3; null: none
        bool destroyed;
        bool firstUnopenable;  // the probe of S1 fails
    } rows[] = {
        {"first, same case", {kGuid, nullptr, nullptr}, true, false},
        {"last, lower case", {nullptr, "{36FC9E60-C465-11CF-8056-444553540000}", "{c6178071-6a08-481e-a679-e9d95a658998}"}, true, false},
        {"middle, mixed case", {"x", "{c6178071-6A08-481e-A679-e9d95a658998}", "y"}, true, false},
        {"prefix only", {"{C6178071-6A08-481E-A679-E9D95A658998", nullptr, nullptr}, false, false},
        {"longer text", {"{C6178071-6A08-481E-A679-E9D95A658998} ", nullptr, nullptr}, false, false},
        {"match in a subkey that does not open", {kGuid, nullptr, nullptr}, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fresh(Os::Win98);
        if (row.firstUnopenable) machine.InjectFault("RegOpenKeyA", sim::Fault{1, false, ERROR_ACCESS_DENIED, "S1"});
        for (int i = 0; i < 3; ++i) {
            std::string key = "[HKLM\\Enum\\USB\\Dev\\S" + std::to_string(i + 1) + "]\n";
            machine.LoadReg(row.values[i] ? key + "\"ClassGUID\"=\"" + row.values[i] + "\"\n" : key);
        }
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", kGuid);
        EXPECT_EQ(machine.KeyExists("HKLM\\Enum\\USB\\Dev"), !row.destroyed);
        // Every name is read whatever the walk found.
        EXPECT_EQ(std::vector<std::string>(trace().begin() + 4, trace().begin() + 12),
                  Pieces({"S1", "\n", "S2", "\n", "S3", "\n", "S3", "\n"}));
    }
}

TEST_F(DestroyKeysTest, ClassValueStoredWithoutTerminator) {
    // Raw class data read whole, no zero: compared as the text it holds.
    machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\S1]\n");
    machine.registry.FindPath("HKLM\\Enum\\USB\\Dev\\S1")->SetValue("ClassGUID", REG_SZ, kGuid, 38);
    Use(Os::Win98);
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", kGuid);
    EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\Dev"));

    // 80 bytes without a zero fill the read: longer than any class text, and
    // never read past.
    machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\S1]\n");
    std::string raw = std::string(kGuid) + std::string(42, ' ');
    machine.registry.FindPath("HKLM\\Enum\\USB\\Dev\\S1")->SetValue("ClassGUID", REG_SZ, raw.data(), raw.size());
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", kGuid);
    EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\USB\\Dev"));
}

TEST_F(DestroyKeysTest, ReopenAfterInnerCallFails) {
    // The third full-access open of the key's path is the reopen: the delete
    // that needed it is left out, never issued on a closed handle, and the
    // final deletion still runs.
    for (Os os : {Os::Win98, Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\A\\A1]\n");
        machine.InjectFault("RegOpenKeyExA", sim::Fault{3, false, ERROR_ACCESS_DENIED, "USB\\Dev"});
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", nullptr);
        EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n", "Deleting ", "A", "\n",
                                   "EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev\\A", "\n", "Deleting ", "A1",
                                   "\n", "Deleting: ", "Enum\\USB\\Dev\\A", "\n", "Key not reopened: ",
                                   "Enum\\USB\\Dev", "\n", "Deleting: ", "Enum\\USB\\Dev", "\n"}));
        EXPECT_EQ(machine.faults["RegOpenKeyExA"][0].injected, 1);
        EXPECT_FALSE(machine.KeyExists("HKLM\\Enum\\USB\\Dev"));
    }
}

TEST_F(DestroyKeysTest, ParentThatDoesNotOpen) {
    machine.LoadReg("[HKLM\\Enum\\USB\\Dev\\S1]\n");
    machine.InjectFault("RegOpenKeyA", sim::Fault{1, false, ERROR_ACCESS_DENIED, ""});
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "Dev", nullptr);
    EXPECT_EQ(trace(), Pieces({"EnumAndDestroyKeys\n", "Found: ", "Enum\\USB\\Dev", "\n", "Deleting ", "S1", "\n",
                               "Parent key not opened: ", "Enum\\USB", "\n"}));
    EXPECT_EQ(machine.Dump("HKLM\\Enum\\USB"),
              "[HKEY_LOCAL_MACHINE\\Enum\\USB]\n\n[HKEY_LOCAL_MACHINE\\Enum\\USB\\Dev]\n");
}

TEST_F(DestroyKeysTest, KeyPathThatDoesNotFitIsNeverCutShort) {
    // The inner call's path would be 256 characters: it is left out whole.
    // The outer delete of the child by its own name still goes: the 95/98/Me
    // rule takes its subtree along, NT refuses it.
    std::string parent = "Enum\\" + std::string(200, 'P');                 // 205 characters
    std::string child(256 - 205 - 1 - 3 - 1, 'C');                         // "parent\\Dev\\child": 256
    for (Os os : {Os::Win98, Os::WinXp}) {
        SCOPED_TRACE(sim::OsName(os));
        Fresh(os);
        machine.LoadReg("[HKLM\\" + parent + "\\Dev\\" + child + "\\Deep]\n");
        EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, parent.c_str(), "Dev", nullptr);
        std::vector<std::string> expected = {"EnumAndDestroyKeys\n", "Found: ", parent + "\\Dev", "\n", "Deleting ",
                                             child, "\n", "EnumAndDestroyKeys\n", "Key path too long: ", child, "\n"};
        if (machine.IsNtFamily()) {
            for (const char* piece : {"status: ", "5", "\n"}) expected.push_back(piece);
            for (std::string piece : {std::string("Deleting: "), parent + "\\Dev", std::string("\n"),
                                      std::string("\nError deleting key: 5\n")})
                expected.push_back(piece);
            EXPECT_TRUE(machine.KeyExists("HKLM\\" + parent + "\\Dev\\" + child + "\\Deep"));
        } else {
            for (std::string piece : {std::string("Deleting: "), parent + "\\Dev", std::string("\n")})
                expected.push_back(piece);
            EXPECT_FALSE(machine.KeyExists("HKLM\\" + parent + "\\Dev"));
        }
        EXPECT_EQ(trace(), expected);
        EXPECT_TRUE(machine.KeyExists("HKLM\\" + parent));
    }

    // The key's own path does not fit, or the name is empty: nothing is opened.
    machine.LoadReg("[HKLM\\Enum\\" + std::string(250, 'Q') + "]\n[HKLM\\Enum\\USB\\Keep]\n");
    machine.debugOutput.clear();
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum", std::string(251, 'Q').c_str(), nullptr);
    EnumAndDestroyKeys(HKEY_LOCAL_MACHINE, "Enum\\USB", "", nullptr);
    EXPECT_EQ(trace(), (std::vector<std::string>{"EnumAndDestroyKeys\n", "Key path too long: ", std::string(251, 'Q'),
                                                 "\n", "EnumAndDestroyKeys\n", "No key name\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\USB\\Keep"));
}

class ScsiKeysTest : public MachineTest {};

TEST_F(ScsiKeysTest, PrefixSweepPerLayout) {
    // Sorted: AAA, MP3_____PLAY, mp3_____player_____D, MP3_____PLAYER_____E, ZZZ.
    // D matches in other letter case and is destroyed; E moves into its
    // number and is passed over; a key holding only the prefix's start does
    // not match.
    const char prefix[] = "MP3_____PLAYER_____";
    struct Row {
        Os os;
        const char* path;
    } rows[] = {
        {Os::Win95, "Enum\\SCSI"}, {Os::Win98, "Enum\\SCSI"}, {Os::Nt4, "Enum\\SCSI"},
        {Os::WinMe, "SYSTEM\\CurrentControlSet\\Enum\\SCSI"}, {Os::Win2000, "SYSTEM\\CurrentControlSet\\Enum\\SCSI"},
        {Os::WinXp, "SYSTEM\\CurrentControlSet\\Enum\\SCSI"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        std::string root = std::string("HKEY_LOCAL_MACHINE\\") + row.path;
        for (const char* key : {"AAA", "MP3_____PLAY", "mp3_____player_____D", "MP3_____PLAYER_____E", "ZZZ"})
            machine.LoadReg("[" + root + "\\" + key + "\\1]\n");
        EnumAndDestroySCSIKeys(prefix);
        std::string device = std::string(row.path) + "\\mp3_____player_____D";
        EXPECT_EQ(trace(), (std::vector<std::string>{
                               "EnumAndDestroySCSIKeys: ", prefix, "\n", "AAA", "\n", "MP3_____PLAY", "\n",
                               "mp3_____player_____D", "\n", "\nEnumAndDestory SCSI key: ", "mp3_____player_____D", "\n",
                               "EnumAndDestroyKeys\n", "Found: ", device, "\n", "Deleting ", "1", "\n", "Deleting: ",
                               device, "\n", "ZZZ", "\n", "ZZZ", "\n"}));
        EXPECT_EQ(machine.Dump(root), "[" + root + "]\n\n[" + root + "\\AAA]\n\n[" + root + "\\AAA\\1]\n\n[" + root +
                                          "\\MP3_____PLAY]\n\n[" + root + "\\MP3_____PLAY\\1]\n\n[" + root +
                                          "\\MP3_____PLAYER_____E]\n\n[" + root + "\\MP3_____PLAYER_____E\\1]\n\n[" +
                                          root + "\\ZZZ]\n\n[" + root + "\\ZZZ\\1]\n");
    }
}

TEST_F(ScsiKeysTest, EmptyPrefixSelectsEveryKeyButPassesOverTheNext) {
    Use(Os::Win98);
    machine.LoadReg("[HKLM\\Enum\\SCSI\\X]\n[HKLM\\Enum\\SCSI\\Y]\n[HKLM\\Enum\\SCSI\\Z]\n");
    EnumAndDestroySCSIKeys("");
    EXPECT_EQ(trace(), Pieces({"EnumAndDestroySCSIKeys: ", "", "\n", "X", "\n", "\nEnumAndDestory SCSI key: ", "X",
                               "\n", "EnumAndDestroyKeys\n", "Found: ", "Enum\\SCSI\\X", "\n", "Deleting: ",
                               "Enum\\SCSI\\X", "\n", "Z", "\n", "\nEnumAndDestory SCSI key: ", "Z", "\n",
                               "EnumAndDestroyKeys\n", "Found: ", "Enum\\SCSI\\Z", "\n", "Deleting: ", "Enum\\SCSI\\Z",
                               "\n", "Z", "\n"}));
    EXPECT_EQ(machine.Dump("HKLM\\Enum\\SCSI"), "[HKEY_LOCAL_MACHINE\\Enum\\SCSI]\n\n[HKEY_LOCAL_MACHINE\\Enum\\SCSI\\Y]\n");
}

TEST_F(ScsiKeysTest, NameOf128CharactersEndsTheWalk) {
    Use(Os::Win98);
    std::string fits(127, 'B');
    std::string tooLong(128, 'C');
    machine.LoadReg("[HKLM\\Enum\\SCSI\\A]\n[HKLM\\Enum\\SCSI\\" + fits + "]\n[HKLM\\Enum\\SCSI\\" + tooLong +
                    "]\n[HKLM\\Enum\\SCSI\\D]\n");
    EnumAndDestroySCSIKeys("D");
    EXPECT_EQ(trace(), (std::vector<std::string>{"EnumAndDestroySCSIKeys: ", "D", "\n", "A", "\n", fits, "\n", fits, "\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\Enum\\SCSI\\D"));
}

TEST_F(ScsiKeysTest, MissingEnumerator) {
    Use(Os::Win98);
    machine.LoadReg("[HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____]\n");
    EnumAndDestroySCSIKeys("MP3_____PLAYER_____");
    EXPECT_EQ(trace(), Pieces({"EnumAndDestroySCSIKeys: ", "MP3_____PLAYER_____", "\n"}));
    EXPECT_TRUE(machine.KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\SCSI\\MP3_____PLAYER_____"));
}

TEST(PadProductId, ElevenCharactersAndATerminator) {
    struct Row {
        const char* in;
        const char* out;
    } rows[] = {
        {"PLAYER", "PLAYER_____"},     {"Hercules095", "Hercules095"}, {"FourteenChars!", "FourteenCha"},
        {"", "___________"},           {"MP3", "MP3________"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.in);
        char out[16];
        std::fill(out, out + sizeof out, '#');
        PadProductId(out, row.in);
        EXPECT_STREQ(out, row.out);
        EXPECT_EQ(out[12], '#');
    }
}

}  // namespace
