#include "fuzz/pools.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "legacy/catalogue.h"

namespace px714fuzz {

namespace {

// Lengths at and around the buffer edges of the exports: 16, 24, 32, 64,
// 80, 128, 256, 260, the hardware-ID buffers (512, 1024, 5120 - 64).
const size_t kEdges[] = {0,   1,   7,   8,   9,   15,  16,  17,  22,  23,  24,  25,  31,  32,  33,  37,  38,
                         39,  63,  64,  65,  79,  80,  81,  87,  88,  119, 120, 127, 128, 129, 255, 256, 257,
                         259, 260, 261, 511, 512, 513, 1023, 1024, 1025, 5055, 5056, 5057};

const char* const kGuids[] = {
    "{c6178071-6a08-481e-a679-e9d95a658998}", "{C6178071-6A08-481E-A679-E9D95A658998}",
    "{24ba5da1-036a-4499-a763-41480869e207}", "{36FC9E60-C465-11CF-8056-444553540000}",
    "{4D36E97B-E325-11CE-BFC1-08002BE10318}", "{4D36E967-E325-11CE-BFC1-08002BE10318}",
    "{71A27CDD-812A-11D0-BEC7-08002BE2092F}", "{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}",
    "{343DA396-6C33-42EB-9478-C1EAF35FB908}", "{00000000-0000-0000-0000-000000000000}",
};

const char* const kTexts[] = {
    "", "\\", "..", ".", "MEDIA", "SCSIAdapter", "MEDIA\\0000", "Foo\\", "\\Foo", "Mp3Drv", "Vxscsi",
    "VxScsi.MPD", "vxscsi.mpd", "VxScsi.MPDx", "VxScsi.MP", "Zmra714s", "Zmra714s.mpd", "ZMRA714S.MPD", "Zmra714",
    "zmra714sXXXXXXXX", "ESDI_506.pdr", "oem3.inf", "C:\\Program Files\\Foo", "C:\\Program Files\\Foo\\Bin", "C:\\",
    "C:", "", "..\\..", "C:\\WINDOWS", "C:\\Program Files\\Foo\\..", "D:\\Setup\\", "Foo", "Foo Player",
    "7&2a1b3c4d&0", "8&1234&0&1", "{4D36E967-E325-11CE-BFC1-08002BE10318}\\0001",
    "{71A27CDD-812A-11D0-BEC7-08002BE2092F}\\0002", "{c6178071-6a08-481e-a679-e9d95a658998}\\0000",
    "{4D36E967-E325-11CE-BFC1-08002BE10318}", "Port_#0001.Hub_#0002", "\x83\x5c", "\x83\x5c\x83\x5c Player",
};

const char* const kHardwareIds[] = {
    "USB\\Vid_066F&Pid_3400&Rev_0100", "USB\\VID_066F&PID_3410", "USB\\VID_066F&PID_8043&REV_0001",
    "USB\\VID_066F&PID_0043", "USB\\Vid_066F&Pid_3400", "ZMRA714_PX714______1.00", "ZMRA714_PX714______",
    "MP3_____PLAYER_____", "VANTORIXVXMP3400___", "PLAYER\\VEN_066F&DEV_3400", "PX714\\VEN_066F&DEV_8043",
    "VXMP3400\\VEN_066F&DEV_3410", "SCSI\\DiskZMRA714_PX714______1.00", "USBSTOR\\DiskZMRA714_PX714___",
    "STORAGE\\RemovableMedia", "USB\\ROOT_HUB", "GenDisk", "",
};

const char* const kEnumerators[] = {"USB", "SCSI", "PX714", "USBSTOR", "STORAGE", "PLAYER", "VXMP3400", "ROOT",
                                    "Usb", "scsi", "MP3", "HB360ST"};
const char* const kDevices[] = {"Vid_066F&Pid_3400", "VID_066F&PID_3410", "VID_066F&PID_8043", "VID_066F&PID_0043",
                                "VEN_066F&DEV_3400", "VEN_066F&DEV_3410", "VEN_066F&DEV_8043",
                                "ZMRA714_PX714______1.00", "MP3_____PLAYER_____", "Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00",
                                "RemovableMedia", "ROOT_HUB", "LEGACY_VXSCSI"};
const char* const kInstances[] = {"0000", "0001", "1&2&3", "5&abc&0&1", "7&2a1b3c4d&0&RM", "PX714"};
const char* const kServiceNames[] = {"Vxfilter", "Vxscsi", "Mp3Drv", "PX714Filter", "Vxfilter2", "ABCDEFGHIJKLMNOPQRSTUVW",
                                     "ABCDEFGHIJKLMNOPQRSTUVWX", "Disk", "USBSTOR"};
const char* const kCompanies[] = {"Foo", "CMTech", "Digital", "MP3", "VANTORIX", "Music"};
const char* const kNames[] = {"Foo Player", "Music Box MP3 Player", "Digital AudioDev Player", "AudioDev Player",
                              "CMTech Music Box MP3 Player", "Foo", "MP3 Player", ".."};
const char* const kDisplayNames[] = {"AudioDev Player", "Music Box MP3 Player", "CMTech Music Box MP3 Player",
                                     "Digital AudioDev Player", "Foo Player", "  Foo  Player", "Foo", "", " ",
                                     "..", ". Player", "Foo\\Bar Player", "Foo/Bar", "\x83\x5c Player", "audiodev player",
                                     "cmtech music box mp3 player", "Foo ..", "Foo \\"};
const char* const kFileNames[] = {"vxmphook.dll", "mp3drv.sys", "vxscsi.sys", "vxscsi.mpd", "readme.txt", "a b.txt"};

// Names and arguments are C texts: they end at their first zero byte.
std::string CText(std::string text) {
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

std::string RandomName(FuzzedDataProvider& in, size_t maxLength) { return CText(in.ConsumeRandomLengthString(maxLength)); }

const char* Pick(FuzzedDataProvider& in, const char* const* pool, size_t count) {
    return pool[in.ConsumeIntegralInRange<size_t>(0, count - 1)];
}
template <size_t N>
const char* Pick(FuzzedDataProvider& in, const char* const (&pool)[N]) {
    return Pick(in, pool, N);
}

const LegacyPlayerEntry& Row(FuzzedDataProvider& in) {
    return LegacyPlayerCatalogue[in.ConsumeIntegralInRange(0, LegacyPlayerCount - 1)];
}

std::string FlipCase(FuzzedDataProvider& in, std::string text) {
    if (!in.ConsumeBool()) return text;
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A text to some edge length: the text cut or filled out with one byte.
std::string ToEdge(FuzzedDataProvider& in, std::string text) {
    size_t length = kEdges[in.ConsumeIntegralInRange<size_t>(0, sizeof kEdges / sizeof kEdges[0] - 1)];
    if (in.ConsumeBool() && length > 0) length += in.ConsumeIntegralInRange<size_t>(0, 2) - 1;
    char fill = static_cast<char>(in.ConsumeIntegralInRange<int>('!', 'z'));
    if (text.size() > length) text.resize(length);
    while (text.size() < length) text += fill;
    return text;
}

// A text from the pools, changed in case, length or content.
std::string AnyText(FuzzedDataProvider& in) {
    std::string text;
    switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: text = Pick(in, kGuids); break;
    case 1: text = Row(in).ClassGuid; break;
    case 2: text = Pick(in, kHardwareIds); break;
    case 3: text = in.ConsumeRandomLengthString(300); break;
    case 4: text = Row(in).ProductId; break;
    default: text = Pick(in, kTexts); break;
    }
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: text = FlipCase(in, text); break;
    case 1: text = ToEdge(in, text); break;
    case 2: text += in.ConsumeRandomLengthString(8); break;
    default: break;
    }
    return text;
}

std::string KeyName(FuzzedDataProvider& in, const char* const* pool, size_t count) {
    if (in.ConsumeIntegralInRange(0, 7) == 0) return RandomName(in, 40);
    return FlipCase(in, Pick(in, pool, count));
}
template <size_t N>
std::string KeyName(FuzzedDataProvider& in, const char* const (&pool)[N]) {
    return KeyName(in, pool, N);
}

std::string Number(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", value);
    return text;
}

// ---- Registry ------------------------------------------------------------

std::string ClassRootFor(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class"
                            : "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class";
}

std::string EnumRootFor(FuzzedDataProvider& in) {
    return in.ConsumeBool() ? "HKLM\\SYSTEM\\CurrentControlSet\\Enum" : "HKLM\\Enum";
}

// A key path near what one export reads.
std::string AnchorPath(FuzzedDataProvider& in) {
    static const char* const kMenus[] = {
        "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
        "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
        "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
    };
    static const char* const kTools[] = {"Vxmp3format.exe", "Vxmp3Update.exe", "VxUsbMscFormat.exe", "VxUsbMscUpdate.exe",
                                         "Other.exe"};
    static const char* const kProductSubkeys[] = {"Params", "1.00.000", "params\\3400", "params\\3410", "params", "Other"};
    static const char* const kServiceSubkeys[] = {"Enum", "Security", "Parameters", "Parameters\\Device",
                                                  "Parameters\\PnpInterface", "Other"};
    static const char* const kClassNames[] = {"MEDIA", "MP3Player", "SCSIAdapter", "USB", "DiskDrive"};
    static const char* const kNodeSubkeys[] = {"Control", "LogConf", "Device Parameters"};
    switch (in.ConsumeIntegralInRange(0, 14)) {
    case 0:
        return std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
               (in.ConsumeBool() ? FlipCase(in, Row(in).UninstallKey) : KeyName(in, kGuids));
    case 1: {
        std::string company = KeyName(in, kCompanies);
        std::string path = "HKLM\\SOFTWARE\\" + company;
        if (in.ConsumeBool()) path += "\\" + KeyName(in, kNames) + "\\" + Pick(in, kProductSubkeys);
        return path;
    }
    case 2: return std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths\\") + KeyName(in, kTools);
    case 3: return std::string(Pick(in, kMenus)) + "\\" + KeyName(in, kNames);
    case 4: {
        std::string path = ClassRootFor(in) + "\\";
        switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: path += FlipCase(in, Row(in).ClassGuid); break;
        case 1: path += KeyName(in, kGuids); break;
        default: path += KeyName(in, kClassNames); break;
        }
        if (in.ConsumeBool()) path += "\\" + Number(in.ConsumeIntegralInRange(0, 33));
        return path;
    }
    case 5:
        return "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter\\" +
               (in.ConsumeIntegralInRange(0, 7) ? Number(in.ConsumeIntegralInRange(0, 40)) : RandomName(in, 140));
    case 6: {
        std::string path = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + KeyName(in, kServiceNames);
        if (in.ConsumeBool()) path += std::string("\\") + Pick(in, kServiceSubkeys);
        return path;
    }
    case 7: {
        std::string path = EnumRootFor(in) + "\\" + KeyName(in, kEnumerators);
        if (in.ConsumeBool()) path += "\\" + KeyName(in, kDevices);
        if (in.ConsumeBool()) path += "\\" + KeyName(in, kInstances);
        return path;
    }
    case 8: {
        std::string path = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\" +
                           (in.ConsumeBool() ? FlipCase(in, "Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00") : KeyName(in, kDevices));
        if (in.ConsumeBool()) path += "\\" + KeyName(in, kInstances);
        return path;
    }
    case 9: {
        std::string path = "HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\" +
                           (in.ConsumeBool() ? std::string("7&2a1b3c4d&0&RM") : AnyText(in) + "&RM");
        if (in.ConsumeBool()) path += std::string("\\") + Pick(in, kNodeSubkeys);
        return path;
    }
    case 10: {
        static const char* const kShell[] = {
            "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
            "HKLM\\SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu",
            "HKLM\\SOFTWARE\\Classes\\CLSID\\", "HKLM\\SOFTWARE\\Classes\\", "HKCU\\SOFTWARE\\Classes\\CLSID\\"};
        int which = in.ConsumeIntegralInRange(0, 4);
        std::string path = kShell[which];
        if (which >= 2) {
            path += KeyName(in, kGuids);
            if (in.ConsumeBool()) path += in.ConsumeBool() ? "\\InProcServer32" : "\\Other";
        }
        return path;
    }
    case 11:
        return "HKLM\\SYSTEM\\CurrentControlSet\\Control\\CriticalDeviceDatabase\\" + std::string(Row(in).ProductId) +
               (in.ConsumeBool() ? "#ven_066f&dev_3400" : in.ConsumeBool() ? "#ven_066f&dev_3410" : "#other");
    case 12:
        return ClassRootFor(in) + "\\" + FlipCase(in, in.ConsumeBool() ? "{24ba5da1-036a-4499-a763-41480869e207}"
                                                                       : "{c6178071-6a08-481e-a679-e9d95a658998}");
    case 13: return "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class";
    default: {
        static const char* const kRoots[] = {"HKLM", "HKCU", "HKLM\\SOFTWARE", "HKLM\\SYSTEM\\CurrentControlSet",
                                             "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class", "HKLM\\Enum"};
        return std::string(Pick(in, kRoots)) + "\\" + RandomName(in, 60);
    }
    }
}

const char* const kValueNames[] = {"",           "ClassGUID",      "HardwareID",       "Driver",
                                   "PortDriver", "Class",          "InfPath",          "DisplayName",
                                   "Install Folder", "Uninstall Folder", "ParentIdPrefix", "LocationInformation",
                                   "ImagePath",  "Default",        "Type",             "Start",
                                   "{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}", "{343DA396-6C33-42EB-9478-C1EAF35FB908}"};

void SetValue(FuzzedDataProvider& in, sim::Key* key) {
    std::string name = in.ConsumeIntegralInRange(0, 9) ? FlipCase(in, Pick(in, kValueNames))
                                                        : RandomName(in, 20);
    static const DWORD kTypes[] = {REG_SZ, REG_SZ, REG_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_NONE};
    DWORD type = kTypes[in.ConsumeIntegralInRange<size_t>(0, 7)];
    std::string text;
    if (type == REG_MULTI_SZ || (name == "HardwareID" && in.ConsumeBool())) {
        int count = in.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < count; ++i) text += (in.ConsumeBool() ? std::string(Pick(in, kHardwareIds)) : AnyText(in)) + '\0';
    } else {
        text = AnyText(in);
    }
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: break;                      // no terminator
    case 1: text += std::string(2, '\0'); break;
    default: text += '\0'; break;
    }
    key->SetValue(name, type, text.data(), text.size());
}

void AddKey(FuzzedDataProvider& in, sim::Machine& m) {
    std::string path = AnchorPath(in);
    if (in.ConsumeIntegralInRange(0, 5) == 0) path += "\\" + RandomName(in, 30);
    path = CText(path);
    sim::Key* key = m.registry.CreatePath(path);
    if (key == nullptr) return;
    int values = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < values; ++i) SetValue(in, key);
    if (in.ConsumeIntegralInRange(0, 9) == 0) key->restricted = true;
}

// ---- Devices -------------------------------------------------------------

void AddNode(FuzzedDataProvider& in, sim::Machine& m) {
    std::string enumerator = in.ConsumeIntegralInRange(0, 3) ? KeyName(in, kEnumerators) : Row(in).ProductId;
    std::string device = KeyName(in, kDevices);
    std::string instance = KeyName(in, kInstances);
    std::vector<std::string> ids;
    int count = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < count; ++i) ids.push_back(in.ConsumeIntegralInRange(0, 2) ? FlipCase(in, Pick(in, kHardwareIds)) : AnyText(in));
    std::string classGuid = in.ConsumeIntegralInRange(0, 2) ? (in.ConsumeBool() ? std::string(Row(in).ClassGuid)
                                                                                : FlipCase(in, Pick(in, kGuids)))
                                                            : AnyText(in);
    std::string driver = in.ConsumeBool() ? AnyText(in) : std::string();
    std::string location = in.ConsumeBool() ? AnyText(in) : std::string();
    for (std::string& id : ids) id = CText(id);
    std::string id = sim::AddDevice(m, CText(enumerator), CText(device), CText(instance), ids, CText(classGuid),
                                    CText(driver), CText(location));
    driver = CText(driver);
    sim::Key* key = m.registry.FindPath(sim::EnumRoot(m) + "\\" + id);
    if (key != nullptr && in.ConsumeIntegralInRange(0, 4) == 0) SetValue(in, key);
    // A driver key for the node below the class key.
    if (!driver.empty() && in.ConsumeBool()) {
        if (sim::Key* driverKey = m.registry.CreatePath(sim::ClassRoot(m) + "\\" + driver))
            if (in.ConsumeBool()) driverKey->AddSubkey("Other");
    }
}

// ---- Files ---------------------------------------------------------------

std::string WindowsFolder(const sim::Machine& m) {
    if (m.files.windowsDirectory) return *m.files.windowsDirectory;
    return sim::DefaultWindowsDirectory(m.version.platform, m.version.major, m.version.minor);
}

void AddFileEntry(FuzzedDataProvider& in, sim::Machine& m) {
    std::string w = WindowsFolder(m);
    std::string folder;
    switch (in.ConsumeIntegralInRange(0, 10)) {
    case 0: folder = w + "\\system32"; break;
    case 1: folder = w + "\\system"; break;
    case 2: folder = w + "\\system32\\drivers"; break;
    case 3: folder = w + "\\system\\iosubsys"; break;
    case 4: folder = w + "\\Start Menu\\Programs\\" + KeyName(in, kNames); break;
    case 5: folder = "C:\\Program Files\\" + KeyName(in, kCompanies); break;
    case 6: folder = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\" + KeyName(in, kNames); break;
    case 7: folder = "C:\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\" + KeyName(in, kNames); break;
    case 8: folder = "C:\\Program Files\\Foo\\Bin"; break;
    case 9: folder = "C:"; break;
    default: folder = w; break;
    }
    std::string name = in.ConsumeIntegralInRange(0, 4) ? std::string(Pick(in, kFileNames)) : RandomName(in, 20);
    DWORD attributes = 0;
    if (in.ConsumeIntegralInRange(0, 4) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (in.ConsumeIntegralInRange(0, 4) == 0) attributes |= FILE_ATTRIBUTE_HIDDEN;
    bool inUse = in.ConsumeIntegralInRange(0, 5) == 0;
    if (in.ConsumeIntegralInRange(0, 4) == 0)
        m.files.AddFolder(folder + "\\" + name + "\\", attributes);
    else
        m.files.AddFile(folder + "\\" + name, attributes, inUse);
    if (in.ConsumeIntegralInRange(0, 6) == 0) m.files.AddFile(folder + "\\sub\\inner.txt");
}

void SetWindowsDirectory(FuzzedDataProvider& in, sim::Machine& m) {
    switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0: m.files.windowsDirectoryUnavailable = true; break;
    case 1: m.files.windowsDirectory = "D:\\WINNT"; m.files.AddDrive('D'); break;
    case 2: m.files.windowsDirectory = "C:"; break;
    case 3: m.files.windowsDirectory = "C:\\"; break;
    case 4: m.files.windowsDirectory = ""; break;
    case 5: m.files.windowsDirectory = "WINDOWS"; break;
    case 6: m.files.windowsDirectory = ToEdge(in, "C:\\WINDOWS\\"); break;
    case 7: m.files.windowsDirectory = "C:\\" + RandomName(in, 40); break;
    default: m.files.currentDirectory = "C:\\Program Files\\Foo"; break;
    }
}

// ---- Whole structures ----------------------------------------------------
// Single keys seldom line up into what a player's setup or a device leaves
// behind; these steps build such structures whole, so that the removal
// walks run through full trees (and their deletions meet the allow-lists).

// Subkeys below a key, up to depth more levels, some with values.
void AddSubtree(FuzzedDataProvider& in, sim::Key* key, int depth) {
    static const char* const kChildren[] = {"Device Parameters", "Control", "LogConf", "Properties", "0000", "Sub"};
    const int children = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < children; ++i) {
        sim::Key* child = key->AddSubkey(FlipCase(in, Pick(in, kChildren)));
        if (in.ConsumeBool()) SetValue(in, child);
        if (depth > 0 && in.ConsumeBool()) AddSubtree(in, child, depth - 1);
    }
}

void SetText(sim::Key* key, const std::string& name, const std::string& text) {
    key->SetValue(name, REG_SZ, text.c_str(), text.size() + 1);
}

// A legacy player as its setup installed it: the uninstall key with its
// display name, the product keys below its maker's company word with the
// Params folders, and files in those folders.
void AddInstalledPlayer(FuzzedDataProvider& in, sim::Machine& m) {
    const LegacyPlayerEntry& row = Row(in);
    const std::string name = in.ConsumeIntegralInRange(0, 3) ? Pick(in, kNames) : Pick(in, kDisplayNames);
    const std::string company = name.substr(0, name.find(' '));
    SetText(m.registry.CreatePath(std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
                                  FlipCase(in, row.UninstallKey)),
            "DisplayName", name);
    if (company.empty() || name.find('\\') != std::string::npos) return;  // the company word is part of the name
    const std::string product = "HKLM\\SOFTWARE\\" + company + "\\" + name;
    sim::Key* params = m.registry.CreatePath(product + "\\Params");
    std::string folders[2] = {"C:\\Program Files\\" + company + "\\" + name, WindowsFolder(m) + "\\Start Menu\\Programs\\" + name};
    static const char* const kOddFolders[] = {"", "C:\\", "C:", "C:\\Program Files", "C:\\Program Files\\..", "D:\\"};
    for (std::string& folder : folders)
        if (in.ConsumeIntegralInRange(0, 4) == 0) folder = in.ConsumeBool() ? Pick(in, kOddFolders) : ToEdge(in, folder);
    if (in.ConsumeIntegralInRange(0, 5)) SetText(params, "Install Folder", folders[0]);
    if (in.ConsumeIntegralInRange(0, 5)) SetText(params, "Uninstall Folder", folders[1]);
    if (in.ConsumeBool()) AddSubtree(in, params, 1);
    if (in.ConsumeBool()) m.registry.CreatePath(product + "\\1.00.000");
    if (in.ConsumeBool()) m.registry.CreatePath(product + "\\params\\3400");
    if (in.ConsumeBool()) m.registry.CreatePath(product + "\\params\\3410");
    if (in.ConsumeBool()) m.registry.CreatePath("HKLM\\SOFTWARE\\" + company + "\\Other Product\\Params");
    for (const std::string& folder : folders) {
        const int files = in.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < files; ++i) {
            std::string path = folder + "\\" + Pick(in, kFileNames);
            if (in.ConsumeBool()) path = folder + "\\sub\\" + Pick(in, kFileNames);
            m.files.AddFile(path, in.ConsumeIntegralInRange(0, 4) ? 0 : FILE_ATTRIBUTE_READONLY,
                            in.ConsumeIntegralInRange(0, 5) == 0);
        }
    }
}

// A device node of a legacy player or of this player, in the Enum tree of
// the machine's family (or now and then in the other one), with subkeys.
void AddDeviceTree(FuzzedDataProvider& in, sim::Machine& m) {
    const LegacyPlayerEntry& row = Row(in);
    std::string padded = row.ProductId;
    padded.resize(11, '_');
    std::string enumerator, device;
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0:
        enumerator = "SCSI";
        device = std::string(row.VendorId) + padded + (in.ConsumeBool() ? "1.00" : "");
        break;
    case 1:
        enumerator = row.ProductId;
        device = in.ConsumeBool() ? "VEN_066F&DEV_3400" : "VEN_066F&DEV_3410";
        break;
    case 2:
        enumerator = "USB";
        device = in.ConsumeBool() ? "Vid_066F&Pid_3400" : "Vid_066F&Pid_3410";
        break;
    case 3:
        enumerator = "USBSTOR";
        device = "Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00";
        break;
    default:
        enumerator = KeyName(in, kEnumerators);
        device = KeyName(in, kDevices);
        break;
    }
    enumerator = FlipCase(in, enumerator);
    device = FlipCase(in, device);
    const std::string classGuid = in.ConsumeIntegralInRange(0, 3) ? FlipCase(in, row.ClassGuid) : Pick(in, kGuids);
    const int instances = in.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < instances; ++i) {
        const std::string instance = Pick(in, kInstances);
        sim::Key* key;
        if (in.ConsumeIntegralInRange(0, 5) == 0) {
            key = m.registry.CreatePath(EnumRootFor(in) + "\\" + enumerator + "\\" + device + "\\" + instance);
        } else {
            std::vector<std::string> ids{FlipCase(in, Pick(in, kHardwareIds))};
            if (in.ConsumeBool()) ids.push_back(enumerator + "\\" + device);
            const std::string driver = in.ConsumeBool() ? classGuid + "\\" + Number(i) : std::string();
            const std::string id = sim::AddDevice(m, enumerator, device, instance, ids, classGuid, driver);
            key = m.registry.FindPath(sim::EnumRoot(m) + "\\" + id);
            if (!driver.empty() && in.ConsumeBool()) AddSubtree(in, m.registry.CreatePath(sim::ClassRoot(m) + "\\" + driver), 1);
        }
        if (key != nullptr) AddSubtree(in, key, 2);
    }
}

// This player's disk volume: the USBSTOR instance with its ParentIdPrefix,
// the removable-media node it leads to, and that node's driver key.
void AddVolume(FuzzedDataProvider& in, sim::Machine& m) {
    static const char* const kPrefixes[] = {"7&2a1b3c4d&0", "8&1234&0", "7&2A1B3C4D&0"};
    std::string prefix = in.ConsumeIntegralInRange(0, 3) ? Pick(in, kPrefixes) : ToEdge(in, "7&2a1b3c4d&0");
    prefix = CText(prefix);
    if (prefix.find('\\') != std::string::npos) return;
    const std::string device = in.ConsumeIntegralInRange(0, 4) ? "Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00"
                                                                : FlipCase(in, "Disk&Ven_ZMRA714_&Prod_PX714&Rev_2.00");
    sim::Key* instance = m.registry.CreatePath("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\USBSTOR\\" + device + "\\" +
                                               Pick(in, kInstances));
    if (in.ConsumeIntegralInRange(0, 5)) SetText(instance, "ParentIdPrefix", prefix);
    if (in.ConsumeBool()) AddSubtree(in, instance, 1);
    sim::Key* node =
        m.registry.CreatePath("HKLM\\SYSTEM\\CurrentControlSet\\Enum\\STORAGE\\RemovableMedia\\" + prefix + "&RM");
    const std::string driver = "{4D36E967-E325-11CE-BFC1-08002BE10318}\\" + Number(in.ConsumeIntegralInRange(0, 12));
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: break;
    case 1: SetText(node, "Driver", ""); break;
    case 2: SetText(node, "Driver", ToEdge(in, driver)); break;
    default: SetText(node, "Driver", driver); break;
    }
    AddSubtree(in, node, 1);
    if (in.ConsumeBool()) AddSubtree(in, m.registry.CreatePath("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\" + driver), 1);
}

// ---- Services, INF store, faults -----------------------------------------

void AddService(FuzzedDataProvider& in, sim::Machine& m) {
    std::string name = KeyName(in, kServiceNames);
    sim::Key* key = m.registry.CreatePath("HKLM\\SYSTEM\\CurrentControlSet\\Services\\" + name);
    if (key == nullptr) return;
    DWORD type = in.ConsumeBool() ? 1 : 2;
    key->SetValue("Type", REG_DWORD, &type, 4);
    if (in.ConsumeBool()) {
        std::string image = "system32\\drivers\\" + name + ".sys";
        key->SetValue("ImagePath", REG_EXPAND_SZ, image.c_str(), image.size() + 1);
    }
    if (in.ConsumeBool()) {
        std::string display = ToEdge(in, name + " display name");
        key->SetValue("DisplayName", REG_SZ, display.c_str(), display.size() + 1);
    }
    if (in.ConsumeBool()) m.services.SetRunning(key->name, true);
    static const DWORD kStartResults[] = {0, 0, 2, 5, 1056, 1058, 577};
    m.services.SetStartResult(name, kStartResults[in.ConsumeIntegralInRange<size_t>(0, 6)]);
}

std::string InfText(FuzzedDataProvider& in) {
    static const char* const kTexts[] = {
        "[Version]\nSignature=\"$Windows NT$\"\nDriverVer=01/02/2003,1.0.0.0\n",
        "[Version]\nDriverVer=05/06/2004,1.2.0.0\n",
        "[Version]\nDriverVer=12/31/1999\n",
        "[Version]\n",
        "[Strings]\nName=\"Player\"\n",
    };
    std::string text = Pick(in, kTexts);
    if (in.ConsumeBool()) text += in.ConsumeRandomLengthString(30);
    return text;
}

void AddInf(FuzzedDataProvider& in, sim::Machine& m) {
    // Sources and copies are files of the machine; a path the file system
    // refuses (the fuzzer's own texts) is simply not there.
    try {
        if (in.ConsumeBool()) {
            m.files.SetFileText(InfDirectoryArg(in) + InfNameArg(in), InfText(in));
        } else {
            sim::InfCopy copy{m.infs.NextCopyName(), InfNameArg(in), InfText(in), "D:\\Setup\\", SPOST_PATH};
            m.files.SetFileText(m.infs.folder + "\\" + copy.name, copy.text);
            m.infs.copies.push_back(copy);
        }
    } catch (const std::exception&) {
    }
}

void AddFault(FuzzedDataProvider& in, sim::Machine& m) {
    static const char* const kOperations[] = {
        "RegOpenKeyA", "RegOpenKeyExA", "RegEnumKeyExA", "RegQueryValueExA", "RegDeleteKeyA", "RegDeleteValueA",
        "RegSetValueExA", "SetupDiGetClassDevsA", "SetupDiEnumDeviceInfo", "SetupDiGetDeviceRegistryPropertyA",
        "SetupDiCallClassInstaller", "LocalAlloc", "FindFirstFileA", "FindNextFileA", "DeleteFileA",
        "RemoveDirectoryA", "GetWindowsDirectoryA", "OpenSCManagerA", "CreateServiceA", "OpenServiceA",
        "StartServiceA", "ControlService", "DeleteService", "GetServiceDisplayNameA", "SetupCopyOEMInfA"};
    static const DWORD kCodes[] = {2, 5, 6, 8, 13, 87, 122, 161, 234, 259, 1056, 1060, 1062, 1072, 1073, 0xE0000209};
    static const char* const kMatches[] = {"", "", "", "USB", "SCSI", "Class", "HardwareID", "Driver", "0000",
                                           "Vxfilter", "Enum", "ClassGUID"};
    sim::Fault fault;
    fault.failAt = in.ConsumeIntegralInRange(1, 12);
    fault.sticky = in.ConsumeIntegralInRange(0, 3) == 0;
    fault.code = kCodes[in.ConsumeIntegralInRange<size_t>(0, sizeof kCodes / sizeof kCodes[0] - 1)];
    fault.match = Pick(in, kMatches);
    m.InjectFault(Pick(in, kOperations), fault);
}

}  // namespace

sim::Os OsArg(FuzzedDataProvider& in) {
    static const sim::Os kOs[] = {sim::Os::Win95, sim::Os::Win98, sim::Os::WinMe, sim::Os::Nt4,
                                  sim::Os::Win2000, sim::Os::WinXp, sim::Os::QueryFails};
    return kOs[in.ConsumeIntegralInRange(0, 6)];
}

void BuildMachine(FuzzedDataProvider& in, sim::Machine& m) {
    m.codePage = in.ConsumeBool() ? 932 : 1252;
    const int steps = in.ConsumeIntegralInRange(0, 40);
    for (int i = 0; i < steps && in.remaining_bytes() > 0; ++i) {
        // The building helpers refuse malformed names and paths: such a step
        // adds nothing.
        try {
            switch (in.ConsumeIntegralInRange(0, 18)) {
            case 0: case 1: case 2: case 3: case 4: case 5: AddKey(in, m); break;
            case 6: case 7: case 8: AddNode(in, m); break;
            case 9: case 10: AddFileEntry(in, m); break;
            case 11: SetWindowsDirectory(in, m); break;
            case 12: AddService(in, m); break;
            case 13: AddInf(in, m); break;
            case 14: AddInstalledPlayer(in, m); break;
            case 15: AddDeviceTree(in, m); break;
            case 16: AddVolume(in, m); break;
            default: AddFault(in, m); break;
            }
        } catch (const std::invalid_argument&) {
        } catch (const std::runtime_error&) {
        }
    }
}

std::string ServiceNameArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 4)) {
    case 0: return RandomName(in, 40);
    case 1: return ToEdge(in, "Vxfilter");
    default: return Pick(in, kServiceNames);
    }
}

std::string PathArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return "";
    case 1: return ToEdge(in, "C:\\WINDOWS\\system32\\drivers\\vxfilter.sys");
    default: return "system32\\drivers\\vxfilter.sys";
    }
}

std::string InfDirectoryArg(FuzzedDataProvider& in) {
    static const char* const kDirectories[] = {"D:\\Setup\\", "D:\\Setup", "", "C:\\"};
    if (in.ConsumeIntegralInRange(0, 5) == 0) return ToEdge(in, "D:\\Setup\\");
    return Pick(in, kDirectories);
}

std::string InfNameArg(FuzzedDataProvider& in) {
    static const char* const kNames[] = {"player.inf", "PLAYER.INF", "", "other.inf"};
    if (in.ConsumeIntegralInRange(0, 5) == 0) return ToEdge(in, "player.inf");
    return Pick(in, kNames);
}

std::string HardwareIdPrefixArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: return "";
    case 1: return CText(AnyText(in));
    default: {
        std::string id = FlipCase(in, Pick(in, kHardwareIds));
        if (in.ConsumeBool()) id.resize(in.ConsumeIntegralInRange<size_t>(0, id.size()));
        return id;
    }
    }
}

std::string DisplayNameArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: return ToEdge(in, "Foo Player ");
    case 1: return CText(AnyText(in));
    default: return Pick(in, kDisplayNames);
    }
}

uint32_t DeviceTypeArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: return 7;
    case 1: return 0xFFFFFFFFu;
    case 2: return in.ConsumeIntegral<uint32_t>();
    default: return in.ConsumeIntegralInRange<uint32_t>(0, 6);
    }
}

uint32_t IndexArg(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: return 38;
    case 1: return 0xFFFFFFFFu;
    case 2: return 0x10000u + in.ConsumeIntegralInRange<uint32_t>(0, 40);
    case 3: return in.ConsumeIntegral<uint32_t>();
    default: return in.ConsumeIntegralInRange<uint32_t>(0, 37);
    }
}

}  // namespace px714fuzz
