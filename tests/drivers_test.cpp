// RemoveLegacyPlayerDrivers on both registry layouts.
#include <string>

#include "frame/px714sup.h"
#include "tests/support.h"

namespace {

using px714test::MachineTest;
using px714test::Pieces;
using sim::Os;

const std::string kServices = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services";
const std::string kNtClass = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class";
const std::string k9xClass = kServices + "\\Class";
// Class GUIDs of catalogue rows 0, 1, 2 and 3 (row 4 shares row 3's).
const std::string kRow0 = "{FF646F80-8DEf-11D2-9449-00105A075F6B}";
const std::string kRow1 = "{46E19BC7-9DEB-43d0-8775-02864408F86D}";
const std::string kRow2 = "{C9FD586E-872E-4BD8-A084-82C6A5C1B45B}";
const std::string kRow3 = "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}";

std::string Key(const std::string& path) { return "[" + path + "]\n"; }

class RemoveDriversTest : public MachineTest {
protected:
    void Run() {
        EXPECT_EQ(RemoveLegacyPlayerDrivers(), 1);
        EXPECT_EQ(machine.registry.flushCount, 1);
    }
};

TEST_F(RemoveDriversTest, ServicesAndClassKeysOutsideThe9598Layout) {
    const std::string reg =
        Key(kServices + "\\Vxscsi\\Enum") + Key(kServices + "\\Vxscsi\\Parameters\\Device") +
        Key(kServices + "\\Vxscsi\\Parameters\\PnpInterface") + Key(kServices + "\\Vxscsi\\Security") +
        Key(kServices + "\\Mp3Drv\\Enum") + Key(kServices + "\\Mp3Drv\\Security") + Key(kServices + "\\Other\\Enum") +
        // Row 0's class (stored in upper case) has an OEM name: its instances
        // are not deleted one by one.
        Key(kNtClass + "\\{FF646F80-8DEF-11D2-9449-00105A075F6B}") + "\"InfPath\"=\"oem3.inf\"\n" +
        Key(kNtClass + "\\{FF646F80-8DEF-11D2-9449-00105A075F6B}\\0000") +
        // Row 1's class has none: 0000 to 0029 go, 0031 waits for the class key.
        Key(kNtClass + "\\" + kRow1) + "\"Class\"=\"Vxmp3\"\n" + Key(kNtClass + "\\" + kRow1 + "\\0000") +
        Key(kNtClass + "\\" + kRow1 + "\\0001") + Key(kNtClass + "\\" + kRow1 + "\\0029") +
        Key(kNtClass + "\\" + kRow1 + "\\0031") + Key(kNtClass + "\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0000");
    const std::string media = "\n" + Key(kNtClass + "\\{4D36E96C-E325-11CE-BFC1-08002BE10318}") + "\n" +
                              Key(kNtClass + "\\{4D36E96C-E325-11CE-BFC1-08002BE10318}\\0000");
    struct Row {
        Os os;
        std::string classes;
    } rows[] = {
        // Me: the 95/98/Me deletion rule takes every class key with its subkeys.
        {Os::WinMe, Key(kNtClass) + media},
        // NT refuses a key that still has subkeys.
        {Os::Win2000, Key(kNtClass) + "\n" + Key(kNtClass + "\\" + kRow1) + "\"Class\"=\"Vxmp3\"\n\n" +
                          Key(kNtClass + "\\" + kRow1 + "\\0031") + media + "\n" +
                          Key(kNtClass + "\\{FF646F80-8DEF-11D2-9449-00105A075F6B}") + "\"InfPath\"=\"oem3.inf\"\n\n" +
                          Key(kNtClass + "\\{FF646F80-8DEF-11D2-9449-00105A075F6B}\\0000")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        machine.LoadReg(reg);
        Run();
        EXPECT_EQ(trace(), Pieces({"\t\tMp3Drv OEM Name: oem3.inf\n"}));
        EXPECT_EQ(machine.Dump(kServices), Key(kServices) + "\n" + Key(kServices + "\\Other") + "\n" +
                                                Key(kServices + "\\Other\\Enum"));
        EXPECT_EQ(machine.Dump(kNtClass), row.classes);
    }
}

TEST_F(RemoveDriversTest, ScsiAdaptersAndClassNamesOnThe9598Layout) {
    const std::string adapters = k9xClass + "\\SCSIAdapter";
    const std::string reg =
        Key(adapters + "\\0000") + "\"PortDriver\"=\"ESDI_506.pdr\"\n" +
        Key(adapters + "\\0005") + "\"PortDriver\"=\"vxscsi.mpd\"\n" +
        Key(adapters + "\\0007") + "\"PortDriver\"=\"VxScsi.MPD.old\"\n" +
        Key(adapters + "\\0012") + "\"PortDriver\"=\"VXSCSI.MPD\"\n" +
        Key(adapters + "\\0038") + "\"PortDriver\"=\"VxScsi.MPD\"\n" +  // beyond the 38 looked at
        Key(k9xClass + "\\" + kRow1) + "\"Class\"=\"Vxmp3\"\n" +
        Key(k9xClass + "\\Vxmp3\\0000") + Key(k9xClass + "\\Vxmp3\\0001") + Key(k9xClass + "\\Vxmp3\\0031") +
        Key(k9xClass + "\\MEDIA\\0000") + Key(kServices + "\\Vxscsi\\Enum");
    const std::string adaptersLeft = Key(adapters) + "\n" + Key(adapters + "\\0000") + "\"PortDriver\"=\"ESDI_506.pdr\"\n\n" +
                                     Key(adapters + "\\0007") + "\"PortDriver\"=\"VxScsi.MPD.old\"\n\n" +
                                     Key(adapters + "\\0038") + "\"PortDriver\"=\"VxScsi.MPD\"\n";
    struct Row {
        Os os;
        std::string vxmp3;  // what is left of the class key named by the class name
    } rows[] = {
        {Os::Win95, ""},
        {Os::Win98, ""},
        // NT 4.0 takes the 95/98 layout with the NT deletion rule.
        {Os::Nt4, Key(k9xClass + "\\Vxmp3") + "\n" + Key(k9xClass + "\\Vxmp3\\0031")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        machine.LoadReg(reg);
        Run();
        EXPECT_EQ(trace(), Pieces({"\t\tSCSI index: 0005   VxScsi InfSection: vxscsi.mpd\n",
                                   "\t\tSCSI index: 0012   VxScsi InfSection: VXSCSI.MPD\n"}));
        EXPECT_EQ(machine.Dump(adapters), adaptersLeft);
        EXPECT_FALSE(machine.KeyExists(k9xClass + "\\" + kRow1));
        EXPECT_EQ(machine.Dump(k9xClass + "\\Vxmp3"), row.vxmp3);
        EXPECT_TRUE(machine.KeyExists(k9xClass + "\\MEDIA\\0000"));
        EXPECT_TRUE(machine.KeyExists(kServices + "\\Vxscsi\\Enum"));  // no service removal here
    }
}

TEST_F(RemoveDriversTest, RowWithoutAUsableClassNameLeavesItsNameStepsOut) {
    // An empty class name would address the class root: on Windows 95 the
    // deletion of its subkey "" would take every device class.
    Use(Os::Win95);
    machine.LoadReg(Key(k9xClass + "\\" + kRow0) + "\"Class\"=\"\"\n" + Key(k9xClass + "\\" + kRow1) +
                    Key(k9xClass + "\\" + kRow2) + "\"Class\"=\"" + std::string(32, 'C') + "\"\n" +
                    Key(k9xClass + "\\" + kRow3) + "\"Class\"=\"Vx\\\\MEDIA\"\n" +
                    Key(k9xClass + "\\MEDIA\\0000") + Key(k9xClass + "\\0000"));
    Run();
    EXPECT_TRUE(trace().empty());
    EXPECT_EQ(machine.Dump(k9xClass), Key(k9xClass) + "\n" + Key(k9xClass + "\\0000") + "\n" + Key(k9xClass + "\\MEDIA") +
                                          "\n" + Key(k9xClass + "\\MEDIA\\0000"));

    // NT 4.0: row 1 has no class name and must not take row 0's, whose class
    // key stays (it keeps an instance) and would be visited again.
    machine = sim::Machine(Os::Nt4);
    machine.LoadReg(Key(k9xClass + "\\" + kRow0) + "\"Class\"=\"Alpha\"\n" + Key(k9xClass + "\\Alpha") +
                    "\"InfPath\"=\"oem7.inf\"\n" + Key(k9xClass + "\\Alpha\\0000") + Key(k9xClass + "\\" + kRow1));
    Run();
    EXPECT_EQ(trace(), Pieces({"\t\tMp3Drv OEM Name: oem7.inf\n"}));
    EXPECT_EQ(machine.Dump(k9xClass), Key(k9xClass) + "\n" + Key(k9xClass + "\\Alpha") + "\"InfPath\"=\"oem7.inf\"\n\n" +
                                          Key(k9xClass + "\\Alpha\\0000"));
}

TEST_F(RemoveDriversTest, SharedClassIsVisitedAgainWhileItStays) {
    // Rows 3 and 4 share a class GUID. NT refuses the class key while its
    // instance stays, so the second row repeats every step; Me deletes it
    // on the first visit.
    const std::string reg = Key(kNtClass + "\\" + kRow3) + "\"InfPath\"=\"oem1.inf\"\n" + Key(kNtClass + "\\" + kRow3 + "\\0000");
    struct Row {
        Os os;
        int lines;
    } rows[] = {{Os::WinXp, 2}, {Os::WinMe, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(sim::OsName(row.os));
        machine = sim::Machine(row.os);
        machine.LoadReg(Key(kServices) + reg);
        Run();
        EXPECT_EQ(trace(), std::vector<std::string>(row.lines, "\t\tMp3Drv OEM Name: oem1.inf\n"));
    }
}

TEST_F(RemoveDriversTest, NothingToRemove) {
    for (Os os : sim::AllOs()) {
        SCOPED_TRACE(sim::OsName(os));
        machine = sim::Machine(os);
        Run();
        // Without a Services key only the other layout says so.
        if (machine.version.major == 4 && machine.version.minor <= 10)
            EXPECT_TRUE(trace().empty());
        else
            EXPECT_EQ(trace(), Pieces({"Error opening Services key\n"}));
    }
}

TEST_F(RemoveDriversTest, FailedReopenLeavesItsDeletionOut) {
    // XP: the class key's reopen before instance 0000 fails (its fourth
    // open: the GUID key, the class key, 0000, then the reopen).
    machine.LoadReg(Key(kServices) + Key(kNtClass + "\\" + kRow1 + "\\0000") + Key(kNtClass + "\\" + kRow1 + "\\0001"));
    machine.InjectFault("RegOpenKeyA", sim::Fault{4, false, ERROR_ACCESS_DENIED, kRow1});
    Run();
    EXPECT_EQ(machine.Dump(kNtClass + "\\" + kRow1), Key(kNtClass + "\\" + kRow1) + "\n" + Key(kNtClass + "\\" + kRow1 + "\\0000"));

    // 98: the SCSIAdapter reopen after matching 0001 fails (its third open).
    machine = sim::Machine(Os::Win98);
    const std::string adapters = k9xClass + "\\SCSIAdapter";
    machine.LoadReg(Key(adapters + "\\0001") + "\"PortDriver\"=\"VxScsi.MPD\"\n" + Key(adapters + "\\0002") +
                    "\"PortDriver\"=\"VxScsi.MPD\"\n");
    machine.InjectFault("RegOpenKeyA", sim::Fault{3, false, ERROR_ACCESS_DENIED, "SCSIAdapter"});
    Run();
    EXPECT_EQ(trace(), Pieces({"\t\tSCSI index: 0001   VxScsi InfSection: VxScsi.MPD\n",
                               "\t\tSCSI index: 0002   VxScsi InfSection: VxScsi.MPD\n"}));
    EXPECT_EQ(machine.Dump(adapters), Key(adapters) + "\n" + Key(adapters + "\\0001") + "\"PortDriver\"=\"VxScsi.MPD\"\n");
}

}  // namespace
