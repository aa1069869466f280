#include "fuzz/allowlist.h"

#include <algorithm>

#include <cstdio>
#include <sstream>

namespace px714check {

namespace {

// ---- The legacy players, as their documentation lists them -------------

struct Player {
    const char* uninstallKey;
    const char* classGuid;
    const char* vendorId;
    const char* productId;
};

const Player kPlayers[38] = {
    {"{5F7F166B-D837-4685-81BC-A58A611944F1}", "{FF646F80-8DEf-11D2-9449-00105A075F6B}", "VANTORIX", "VXMP3400"},
    {"{7363929D-2652-4011-A138-69834CAA094D}", "{46E19BC7-9DEB-43d0-8775-02864408F86D}", "VANTORIX", "VXMP3400M"},
    {"{A1385122-CC41-4CA5-88E5-DA08341F70F0}", "{C9FD586E-872E-4BD8-A084-82C6A5C1B45B}", "A-Line__", "HB360ST"},
    {"{E3C4EC88-67F7-49F0-A9E6-A7181FAF5E39}", "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}", "MP3_____", "PLAYER"},
    {"{E3C4EC88-67F7-49F0-A9E6-A7181FAF5E39}", "{9D200D8A-9F17-4F87-9B84-FAB3DDED4407}", "AMAX____", "PA-1X"},
    {"{E3C4EC88-67F7-49F0-A9E6-A7181FAF5E39}", "{D72978FC-4092-4D38-B687-BD269DD5D64B}", "ATLM____", "ET301ST"},
    {"{AA73E8CF-EEC0-4114-B608-303A246D5698}", "{FBD2F769-D8C5-4ff1-9ACA-F307AAA0DCA1}", "BBK_____", "BBKMP303"},
    {"{7363929D-2652-4011-A138-69834CAA094D}", "{4C243A4F-5A49-4B13-BD1F-E9BB38A65BEA}", "C2000S__", "DALLS"},
    {"{63BD1568-F593-48B9-9A1E-8747C83BCB76}", "{4B2F80A0-0B9D-4186-9B72-F858E93BD6C2}", "CHI_LONG", "DALLS"},
    {"{7BB45C43-71C6-4DBE-AD37-A91419137174}", "{3EE2FF9E-4D87-4564-B0CC-2DD5DF2915EB}", "VXMP3400", "MP6410"},
    {"{920E0240-31C0-4995-B742-68CB337DEEF8}", "{D83D1D2D-BFD9-4460-B9D9-29A138636747}", "VANTORIX", "TRANSMGR"},
    {"{1327F824-6BAA-43E4-B599-12D69B0CDEF8}", "{B6C57A62-5C17-467f-BB80-6570B6144506}", "CMTECH__", "MUSIC_BOX"},
    {"{B0F6FA69-D1B4-4CE0-93FC-2DFC20B43021}", "{8F6AB71A-8B4D-4715-A586-AAACE5698766}", "GPT_____", "MAGIC_DRIVE"},
    {"{07B6B77d-ABC5-4EE9-9460-C0FC5DED4586}", "{86752557-5267-4146-80B8-2B413FAD2DF0}", "X-Odio__", "HB330ST"},
    {"{1BECDDEF-1B51-4453-963A-81BFC1f6608B}", "{71441DFC-B42A-417D-B6CB-8BB395B26A9F}", "MP3_____", "MP3PLAYER"},
    {"{F5FF2C70-0516-47B7-AE7B-128AAB9D25BB}", "{E3d52237-27E2-4434-843D-1C72765f8550}", "PD095_02", "Hercules095"},
    {"{F5FF2C70-0516-47B7-AE7B-128AAb9D25BB}", "{E3d52237-27E2-4434-843D-1C72765f8550}", "PD09502_", "09502"},
    {"{46CECA4D-9E2D-42E8-Bf5D-2B3FE1AF48EE}", "{07B2B1CD-E655-46AE-8055-6D1107F5BF93}", "PD098_01", "Hercules098"},
    {"{46CECA4D-9E2D-42E8-Bf5D-2B3FE1AF48EE}", "{07B2B1CD-E655-46AE-8055-6D1107F5BF93}", "PD09801_", "FuXionGenie"},
    {"{14323673-D1B9-4FC6-BD4B-8D2FFD8B81E3}", "{801FF104-8E66-40E4-A577-7625D86B086B}", "VANTORIX", "VXMP34XXM"},
    {"{2375B9FD-65CA-4C85-A36B-F554EFABC71E}", "{21EBBFD5-2B30-4F02-A8FA-639535AE2270}", "VANTORIX", "VXMP34XX"},
    {"{3E512FCE-228A-44C8-8845-D15A4125842E}", "{9AAB0688-CD17-4699-88AB-586488C3B05A}", "DM-F30__", "DM-F30"},
    {"{F6B7DA94-1D92-488E-8B4A-546157CDDB9E}", "{04FA42E5-AF65-4BDA-A2D2-444C38FB8C17}", "AudioMMC", "AudioDev"},
    {"{9CEFD319-96D9-43B7-ABDB-AB64EF02ED40}", "{677A999A-B260-4D83-BE11-CEA94BC906E0}", "DIGITAL_", "AudioDev"},
    {"{86132C6F-0B8C-474B-9DB0-F9454221F5AA}", "{F376C5F2-A4B8-42FA-AFA7-0FD9896A648F}", "LEGEND__", "AudioDev"},
    {"{C6898816-2AB7-4024-99D5-81FEA2858C9E}", "{0150C8F8-AD0E-4BBF-B2A2-9A2C52183176}", "LEGEND__", "F6310"},
    {"{F0C04294-CEA4-4771-80E5-178AEBBE6EA7}", "{9D7B589B-93C4-4B66-907D-C97E1BF05931}", "LEGEND__", "LEGEND-0001"},
    {"{3587A200-4EA4-4DCC-B583-F0E9F5E262DF}", "{6DF504A1-B6D3-427A-B106-3664F230F67C}", "ZUMRA___", "MP3"},
    {"{3587A200-4EA4-4DCC-B583-F0E9F5E262DF}", "{6DF504A1-B6D3-427A-B106-3664F230F67C}", "ZUMRA___", "MP3xx"},
    {"{8AAE7079-0524-43A3-B290-CB98C07A1083}", "{32BC8F0B-7109-430B-A748-C7B8A2DAE625}", "X-ODIO__", "HB340ST"},
    {"{FB4EE427-8086-4222-86B6-C611E43537A8}", "{C64A8745-2EDF-4E2D-B53F-98E9E7E5DFD4}", "X-ODIO__", "HB350ST"},
    {"{644E1542-0A21-4A64-A95A-E8D1F36EF8F0}", "{12F921B9-FC23-42c4-B46D-CAAB3FD3AD64}", "MPULS3__", "MPOWER3"},
    {"{C962C435-82DC-4C90-981B-03D72D78FBF8}", "{12F921B9-FC23-42c4-B46D-CAAB3FD3AD64}", "MPULS3__", "MPOWER3B"},
    {"{3EF8D0A7-A10C-479E-B89E-E67E62ECE451}", "{CE14E196-B850-4e18-8B72-1A0A85C21EBE}", "ATLM____", "ET312ST"},
    {"00000000-0000-0000-0000-000000000000", "{140CAE67-39A4-4137-943B-AB5FDDD33CFD}", "VANTORIX", "VXMP3400"},
    {"00000000-0000-0000-0000-000000000000", "{CE656326-0652-4BB2-84A9-84119CD7BA94}", "VANTORIX", "VXMP3400M"},
    {"00000000-0000-0000-0000-000000000000", "{21EBBFD5-2B30-4F02-A8FA-639535AE2270}", "VANTORIX", "VXMP3400"},
    {"00000000-0000-0000-0000-000000000000", "{801FF104-8E66-40E4-A577-7625D86B086B}", "VANTORIX", "VXMP34XXM"},
};

// ---- Fixed names --------------------------------------------------------

const char kCcs[] = "HKLM\\SYSTEM\\CurrentControlSet";
const char kNtEnum[] = "HKLM\\SYSTEM\\CurrentControlSet\\Enum";
const char k9xEnum[] = "HKLM\\Enum";
const char kNtClassRoot[] = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class";
const char k9xClassRoot[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class";
const char kServices[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services";
const char kScsiAdapters[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Class\\SCSIAdapter";
const char kOwnClass[] = "{c6178071-6a08-481e-a679-e9d95a658998}";
const char kMassStorageClass[] = "{24ba5da1-036a-4499-a763-41480869e207}";
const char* const kMenuOrderKeys[3] = {
    "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
    "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
};
const char kAppPaths[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths";

// ---- The machine as the probes and the operations see it ---------------

struct Probes {
    bool nt;     // IsNtPlatform
    bool me;     // IsWindowsMe
    bool w9598;  // IsWindows9598
};

Probes ProbesOf(const sim::Machine& m) {
    const sim::VersionInfo& v = m.version;
    if (v.queryFails) return {false, false, false};
    return {v.platform == VER_PLATFORM_WIN32_NT, v.major == 4 && v.minor >= 90, v.major == 4 && v.minor <= 10};
}

unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// The text begins with the prefix, letter case ignored byte by byte (which
// also admits whatever a double-byte-aware comparison admits).
bool BeginsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string TextOf(const std::vector<uint8_t>& data) {
    std::string text(data.begin(), data.end());
    size_t zero = text.find('\0');
    if (zero != std::string::npos) text.resize(zero);
    return text;
}

// A value read as text into a buffer of `capacity` bytes: it exists, its
// data fit, and its text (up to its first zero) leaves room for one.
bool ReadsAsText(const sim::Key& key, const char* name, size_t capacity, std::string* text) {
    const sim::Value* v = key.FindValue(name);
    if (v == nullptr || v->data.size() > capacity) return false;
    *text = TextOf(v->data);
    return text->size() < capacity;
}

const sim::Key* FindKey(const sim::Machine& m, const std::string& fullPath) {
    std::vector<std::string> parts;
    if (!SplitKeyPath(fullPath, &parts)) return nullptr;
    std::string text = parts[0];
    for (size_t i = 1; i < parts.size(); ++i) text += "\\" + parts[i];
    return m.registry.FindPath(text);
}

// A name that names one key, file or folder: not empty, no separator, not
// made of dots and blanks alone. A double-byte character is one unit.
bool IsSingleName(const sim::Machine& m, const std::string& name) {
    bool onlyDotsAndBlanks = true;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (sim::IsLeadByteIn(m.codePage, c) && i + 1 < name.size()) {
            onlyDotsAndBlanks = false;
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') return false;
        if (c != '.' && c != ' ') onlyDotsAndBlanks = false;
    }
    return !onlyDotsAndBlanks;
}

// A registry key name: not empty and without a backslash.
bool IsKeyName(const std::string& name) { return !name.empty() && name.find('\\') == std::string::npos; }

// ---- Device nodes -------------------------------------------------------

struct Node {
    std::string enumerator, device, instance;
    const sim::Key* key;
};

// The nodes of the machine's device installer: instance keys three levels
// below its Enum key; of one enumerator when one is named.
std::vector<Node> Nodes(const sim::Machine& m, const char* enumerator) {
    std::vector<Node> nodes;
    const sim::Key* root = m.registry.FindPath(sim::EnumRoot(m));
    if (root == nullptr) return nodes;
    for (const auto& e : root->subkeys) {
        if (enumerator != nullptr && *enumerator != 0 && !SameName(e->name, enumerator)) continue;
        for (const auto& d : e->subkeys)
            for (const auto& i : d->subkeys) nodes.push_back(Node{e->name, d->name, i->name, i.get()});
    }
    return nodes;
}

// The node's hardware IDs as the device installer reports them. The
// 95/98/Me Enum tree may keep them as one comma-separated text.
std::vector<std::string> HardwareIds(const sim::Machine& m, const Node& node) {
    std::vector<std::string> ids;
    const sim::Value* v = node.key->FindValue("HardwareID");
    if (v == nullptr) return ids;
    const bool commaList = !m.IsNtFamily() && v->type == REG_SZ;
    std::string id;
    for (uint8_t byte : v->data) {
        if (commaList && byte == 0) break;
        if (byte == 0 || (commaList && byte == ',')) {
            if (!id.empty()) ids.push_back(id);
            id.clear();
        } else {
            id += static_cast<char>(byte);
        }
    }
    if (!id.empty()) ids.push_back(id);
    return ids;
}

std::string NodeText(const Node& node, const char* name) {
    const sim::Value* v = node.key->FindValue(name);
    return v == nullptr ? std::string() : TextOf(v->data);
}

// What DIF_REMOVE takes with a node: its instance key; on the NT family the
// device and enumerator keys that the removal leaves empty; and the node's
// driver key below the class key.
void AllowNodeRemoval(AllowList& allow, const sim::Machine& m, const Node& node) {
    std::vector<std::string> path;
    SplitKeyPath(sim::EnumRoot(m), &path);
    path.push_back(node.enumerator);
    if (m.IsNtFamily()) allow.KeyOnly(path);
    path.push_back(node.device);
    if (m.IsNtFamily()) allow.KeyOnly(path);
    path.push_back(node.instance);
    allow.KeySubtree(path);
    std::string driver = NodeText(node, "Driver");
    if (!driver.empty()) allow.KeySubtree(sim::ClassRoot(m) + "\\" + driver);
}

// Device removal by hardware ID: nodes of one enumerator with an ID that
// begins with the prefix (and of the class, for a USB enumerator with a
// class given); on 95/98/Me a removed SCSI node's key Enum\SCSI\ID.
void AllowDevicesByHardwareId(AllowList& allow, const sim::Machine& m, const std::string& enumerator,
                              const std::string& prefix, const char* classGuid) {
    const Probes probes = ProbesOf(m);
    const bool classFilter = classGuid != nullptr && BeginsWithNoCase(enumerator, "USB");
    const bool scsiKeys = !probes.nt && BeginsWithNoCase(enumerator, "SCSI");
    for (const Node& node : Nodes(m, enumerator.c_str())) {
        if (classFilter && !EqualNoCase(NodeText(node, "ClassGUID"), classGuid)) continue;
        bool matched = false;
        for (const std::string& id : HardwareIds(m, node)) {
            if (!BeginsWithNoCase(id, prefix)) continue;
            matched = true;
            if (scsiKeys) allow.KeySubtree(std::string(k9xEnum) + "\\" + enumerator + "\\" + id);
        }
        if (matched) AllowNodeRemoval(allow, m, node);
    }
}

// The class condition: a direct subkey whose "ClassGUID" (read into 80
// bytes) equals the class text.
bool HasSubkeyOfClass(const sim::Key& key, const char* classGuid) {
    for (const auto& sub : key.subkeys) {
        std::string value;
        if (ReadsAsText(*sub, "ClassGUID", 80, &value) && EqualNoCase(value, classGuid)) return true;
    }
    return false;
}

// A key destroyed with its subkeys, under the class condition if one is given.
void AllowDestroyKey(AllowList& allow, const sim::Machine& m, const std::string& parent, const std::string& name,
                     const char* classGuid) {
    if (!IsKeyName(name)) return;
    std::string path = parent + "\\" + name;
    const sim::Key* key = FindKey(m, path);
    if (key == nullptr) return;
    if (classGuid != nullptr && !HasSubkeyOfClass(*key, classGuid)) return;
    allow.KeySubtree(path);
}

// The SCSI enumerator's device keys whose names begin with the prefix.
void AllowDestroyScsiKeys(AllowList& allow, const sim::Machine& m, const std::string& prefix) {
    std::string enumerator = ProbesOf(m).w9598 ? "HKLM\\Enum\\SCSI" : std::string(kNtEnum) + "\\SCSI";
    const sim::Key* key = FindKey(m, enumerator);
    if (key == nullptr) return;
    for (const auto& sub : key->subkeys)
        if (BeginsWithNoCase(sub->name, prefix)) allow.KeySubtree(enumerator + "\\" + sub->name);
}

// The drive context-menu extension of one CLSID.
void AllowDriveMenuExtension(AllowList& allow, const char* clsid) {
    allow.ValueRemoval("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", clsid);
    allow.KeySubtree(std::string("HKCR\\CLSID\\") + clsid);
    allow.KeySubtree(std::string("HKLM\\SOFTWARE\\Classes\\") + clsid);
    allow.ValueSet("HKCR\\Drive\\shellex\\ContextMenuHandlers\\Menu", "Default", REG_SZ, {0});
}

// A valid service name names the key Services\NAME.
bool IsServiceName(const std::string& name) {
    return !name.empty() && name.size() <= 256 && name.find_first_of("\\/") == std::string::npos;
}

std::string WindowsDirectory(const sim::Machine& m, bool* available) {
    *available = !m.files.windowsDirectoryUnavailable;
    if (m.files.windowsDirectory) return *m.files.windowsDirectory;
    return sim::DefaultWindowsDirectory(m.version.platform, m.version.major, m.version.minor);
}

// ---- One list per export -----------------------------------------------

void CheckServiceNameTargets(AllowList& allow, const sim::Machine& m, const Call& call) {
    if (ProbesOf(m).nt) {
        // The service of that name: stopped and deleted.
        if (IsServiceName(call.text1)) allow.Service(call.text1);
        return;
    }
    // The player's class registration and the class key its "Class" names.
    std::string registration = std::string(k9xClassRoot) + "\\" + kMassStorageClass;
    allow.KeySubtree(registration);
    const sim::Key* key = FindKey(m, registration);
    std::string className;
    if (key != nullptr && ReadsAsText(*key, "Class", 128, &className) && IsKeyName(className))
        allow.KeySubtree(std::string(k9xClassRoot) + "\\" + className);
}

void DeviceTypeTargets(AllowList& allow, const sim::Machine& m, const Call& call) {
    struct Choice {
        bool list;
        const char* classGuid;   // null: every class
        const char* enumerator;  // null: every enumerator
    };
    struct Type {
        Choice nt, me, w9598;
    };
    static const char kUsb[] = "{36FC9E60-C465-11CF-8056-444553540000}";
    static const char kScsiAdapter[] = "{4D36E97B-E325-11CE-BFC1-08002BE10318}";
    static const char kDisk[] = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
    static const char kVolume[] = "{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
    static const char kMsc[] = "{24BA5DA1-036A-4499-A763-41480869E207}";
    static const char kPlayer[] = "{C6178071-6A08-481E-A679-E9D95A658998}";
    static const Type kTypes[7] = {
        {{true, kUsb, "USB"}, {true, kUsb, "USB"}, {true, kPlayer, "USB"}},
        {{true, kScsiAdapter, nullptr}, {true, kScsiAdapter, nullptr}, {true, kScsiAdapter, nullptr}},
        {{true, kDisk, "SCSI"}, {true, kDisk, "SCSI"}, {true, kDisk, "SCSI"}},
        {{true, kDisk, "USBSTOR"}, {true, nullptr, "USBSTOR"}, {false, nullptr, nullptr}},
        {{true, kMsc, "USB"}, {true, kMsc, "USB"}, {false, nullptr, nullptr}},
        {{true, kVolume, "STORAGE"}, {true, kVolume, "STORAGE"}, {true, kVolume, "STORAGE"}},
        {{true, kPlayer, "USB"}, {true, kPlayer, "USB"}, {true, kPlayer, "USB"}},
    };
    if (call.number > 6) return;
    const Probes probes = ProbesOf(m);
    const Type& type = kTypes[call.number];
    const Choice& choice = probes.nt ? type.nt : probes.me ? type.me : type.w9598;
    if (!choice.list) return;
    const std::string classRoot = probes.nt ? kNtClassRoot : k9xClassRoot;
    for (const Node& node : Nodes(m, choice.enumerator)) {
        if (choice.classGuid != nullptr && !EqualNoCase(NodeText(node, "ClassGUID"), choice.classGuid)) continue;
        bool matched = false;
        for (const std::string& id : HardwareIds(m, node))
            if (BeginsWithNoCase(id, call.text1)) matched = true;
        if (!matched) continue;
        AllowNodeRemoval(allow, m, node);
        // The node's driver key below the platform's class key.
        std::string driver = NodeText(node, "Driver");
        if (!driver.empty()) allow.KeySubtree(classRoot + "\\" + driver);
    }
}

void DeviceRegEntriesTargets(AllowList& allow, const sim::Machine& m) {
    const Probes probes = ProbesOf(m);
    if (!probes.w9598) return;
    AllowDevicesByHardwareId(allow, m, "SCSI", "ZMRA714_PX714______", nullptr);
    AllowDevicesByHardwareId(allow, m, "PX714", "PX714\\VEN_066F&DEV_8043", nullptr);
    AllowDevicesByHardwareId(allow, m, "USB", "USB\\VID_066F&PID_8043", kOwnClass);
    AllowDevicesByHardwareId(allow, m, "USB", "USB\\VID_066F&PID_0043", kOwnClass);
    const std::string enumRoot = probes.nt ? kNtEnum : k9xEnum;
    AllowDestroyKey(allow, m, enumRoot + "\\USB", "VID_066F&PID_8043", kOwnClass);
    AllowDestroyKey(allow, m, enumRoot + "\\USB", "VID_066F&PID_0043", kOwnClass);
    allow.KeySubtree(enumRoot + "\\PX714");
}

void InstalledPlayerTargets(AllowList& allow, const sim::Machine& m, const Call& call) {
    const unsigned index = call.number & 0xFFFFu;
    if (index >= 38) return;
    const Player& row = kPlayers[index];
    allow.KeySubtree(std::string("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + row.uninstallKey);
    allow.KeySubtree(std::string(kAppPaths) + "\\Vxmp3format.exe");
    allow.KeySubtree(std::string(kAppPaths) + "\\Vxmp3Update.exe");

    // The company word from the name as reported; from then on the
    // registered name of the "CMTech" alias.
    const std::string reported = call.text1;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    size_t start = 0;
    while (start < reported.size() && blank(reported[start])) ++start;
    size_t end = start;
    while (end < reported.size() && !blank(reported[end])) ++end;
    const std::string company = reported.substr(start, end - start);
    const std::string name =
        EqualNoCase(reported, "CMTech Music Box MP3 Player") ? std::string("Music Box MP3 Player") : reported;
    const bool nameGiven = start < reported.size();  // a name with something besides blanks

    // The product keys and the Params folders, found through the Params key.
    if (IsSingleName(m, company) && IsKeyName(company)) {
        const sim::Key* params = FindKey(m, "HKLM\\SOFTWARE\\" + company + "\\" + name + "\\Params");
        if (params != nullptr) {
            allow.KeySubtree("HKLM\\SOFTWARE\\" + company);
            std::string folder;
            if (ReadsAsText(*params, "Install Folder", 128, &folder)) allow.FolderCleaning(m, folder);
            if (ReadsAsText(*params, "Uninstall Folder", 128, &folder)) allow.FolderCleaning(m, folder);
        }
    }
    if (nameGiven)
        for (const char* menu : kMenuOrderKeys) allow.KeySubtree(std::string(menu) + "\\" + name);

    bool available = false;
    const std::string windows = WindowsDirectory(m, &available);
    if (!available) return;
    const std::string drive = windows.substr(0, 2);
    if (IsSingleName(m, name)) {
        allow.FolderCleaning(m, windows + "\\Start Menu\\Programs\\" + name);
        allow.FolderCleaning(m, drive + "\\Documents and Settings\\All Users\\Start Menu\\Programs\\" + name);
        allow.FolderCleaning(m, drive + "\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\" + name);
    }
    if (IsSingleName(m, company)) allow.FolderCleaning(m, drive + "\\Program Files\\" + company);
    // The hook library and driver files below the Windows directory.
    allow.FileRemoval(m, windows + "\\system32\\vxmphook.dll");
    allow.FileRemoval(m, windows + "\\system\\vxmphook.dll");
    allow.FileRemoval(m, windows + "\\system32\\drivers\\mp3drv.sys");
    allow.FileRemoval(m, windows + (ProbesOf(m).nt ? "\\system32\\drivers\\vxscsi.sys" : "\\system\\iosubsys\\vxscsi.mpd"));
}

void LegacyDriversTargets(AllowList& allow, const sim::Machine& m) {
    const bool layout9598 = ProbesOf(m).w9598;
    std::string classRoot;
    if (layout9598) {
        // Adapter instances 0000 to 0037 whose port driver is the legacy miniport.
        for (int i = 0; i < 38; ++i) {
            char number[8];
            std::snprintf(number, sizeof number, "%04d", i);
            std::string path = std::string(kScsiAdapters) + "\\" + number;
            const sim::Key* adapter = FindKey(m, path);
            std::string port;
            if (adapter != nullptr && ReadsAsText(*adapter, "PortDriver", 16, &port) && EqualNoCase(port, "VxScsi.MPD"))
                allow.KeySubtree(path);
        }
        classRoot = k9xClassRoot;
    } else {
        allow.KeySubtree(std::string(kServices) + "\\Vxscsi");
        allow.KeySubtree(std::string(kServices) + "\\Mp3Drv");
        classRoot = kNtClassRoot;
    }
    // Every row's class key; on the 95/98 layout also the class key its
    // "Class" value names. Instance keys lie within them.
    for (const Player& row : kPlayers) {
        std::string guidPath = classRoot + "\\" + row.classGuid;
        allow.KeySubtree(guidPath);
        if (!layout9598) continue;
        const sim::Key* key = FindKey(m, guidPath);
        std::string className;
        if (key != nullptr && ReadsAsText(*key, "Class", 32, &className) && IsKeyName(className))
            allow.KeySubtree(classRoot + "\\" + className);
    }
}

void LegacyRemnantsTargets(AllowList& allow, const sim::Machine& m, const Call& call) {
    const int32_t index = static_cast<int32_t>(call.number);
    if (index < 0 || index >= 38) return;
    const Player& row = kPlayers[index];
    const std::string product = row.productId;
    const Probes probes = ProbesOf(m);

    // The SCSI side, where the player's own enumerator is in the 95/98/Me layout.
    if (FindKey(m, "HKLM\\Enum\\" + product + "\\VEN_066F&DEV_3400") != nullptr ||
        FindKey(m, "HKLM\\Enum\\" + product + "\\VEN_066F&DEV_3410") != nullptr) {
        std::string padded = product.substr(0, 11);
        padded.resize(11, '_');
        const std::string prefix = std::string(row.vendorId) + padded;
        AllowDevicesByHardwareId(allow, m, "SCSI", prefix, nullptr);
        AllowDestroyScsiKeys(allow, m, prefix);
    }
    AllowDevicesByHardwareId(allow, m, product, product + "\\VEN_066F&DEV_3400", nullptr);
    AllowDevicesByHardwareId(allow, m, product, product + "\\VEN_066F&DEV_3410", nullptr);
    AllowDevicesByHardwareId(allow, m, "USB", "USB\\Vid_066F&Pid_3400", row.classGuid);
    AllowDevicesByHardwareId(allow, m, "USB", "USB\\Vid_066F&Pid_3410", row.classGuid);
    const std::string enumRoot = probes.nt ? kNtEnum : k9xEnum;
    AllowDestroyKey(allow, m, enumRoot + "\\USB", "Vid_066F&Pid_3410", row.classGuid);
    AllowDestroyKey(allow, m, enumRoot + "\\USB", "Vid_066F&Pid_3400", row.classGuid);
    AllowDestroyKey(allow, m, enumRoot, product, row.classGuid);
    const std::string database = std::string(kCcs) + "\\Control\\CriticalDeviceDatabase\\";
    allow.KeySubtree(database + product + "#ven_066f&dev_3400");
    allow.KeySubtree(database + product + "#ven_066f&dev_3410");
}

void PlayerRemnantsTargets(AllowList& allow, const sim::Machine& m) {
    AllowDriveMenuExtension(allow, "{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}");
    for (const char* menu : kMenuOrderKeys) allow.KeySubtree(std::string(menu) + "\\ZUMRA PX714 Multimedia Player");
    for (const char* tool : {"Vxmp3Format.exe", "Vxmp3Update.exe", "VxUsbMscFormat.exe", "VxUsbMscUpdate.exe"})
        allow.KeySubtree(std::string(kAppPaths) + "\\" + tool);
    allow.KeySubtree(std::string(kNtClassRoot) + "\\" + kMassStorageClass);
    if (!ProbesOf(m).w9598) return;
    // Adapter instances of the player's port driver: "PortDriver" read into
    // 16 bytes, its first 8 characters "Zmra714s".
    if (const sim::Key* adapters = FindKey(m, kScsiAdapters)) {
        for (const auto& sub : adapters->subkeys) {
            std::string port;
            if (ReadsAsText(*sub, "PortDriver", 16, &port) && BeginsWithNoCase(port, "Zmra714s"))
                allow.KeySubtree(std::string(kScsiAdapters) + "\\" + sub->name);
        }
    }
    // The player's device class registration and the class it names.
    std::string registration = std::string(k9xClassRoot) + "\\" + kOwnClass;
    allow.KeySubtree(registration);
    const sim::Key* key = FindKey(m, registration);
    std::string className;
    if (key != nullptr && ReadsAsText(*key, "Class", 32, &className) && IsKeyName(className))
        allow.KeySubtree(std::string(k9xClassRoot) + "\\" + className);
}

void VolumeTargets(AllowList& allow, const sim::Machine& m) {
    const std::string usbstor = std::string(kNtEnum) + "\\USBSTOR";
    const sim::Key* devices = FindKey(m, usbstor);
    if (devices == nullptr) return;
    // The first device key of the player that opens with full access; every
    // matching one when a fault may refuse an open.
    const bool faultsOnOpen = m.faults.count("RegOpenKeyExA") != 0;
    for (const auto& device : devices->subkeys) {
        if (!BeginsWithNoCase(device->name, "Disk&Ven_ZMRA714_&Prod_PX714&Rev")) continue;
        for (const auto& instance : device->subkeys) {
            std::string parentIdPrefix;
            if (!ReadsAsText(*instance, "ParentIdPrefix", 32, &parentIdPrefix)) continue;
            const std::string node = std::string(kNtEnum) + "\\STORAGE\\RemovableMedia\\" + parentIdPrefix + "&RM";
            allow.KeySubtree(node);
            const sim::Key* nodeKey = FindKey(m, node);
            std::string driver;
            if (nodeKey != nullptr && ReadsAsText(*nodeKey, "Driver", 64, &driver) && !driver.empty())
                allow.KeySubtree(std::string(kNtClassRoot) + "\\" + driver);
        }
        const bool opens = !(m.IsNtFamily() && device->restricted);
        if (opens && !faultsOnOpen) break;
    }
}

void InfTargets(AllowList& allow, const sim::Machine& m, const Call& call, bool update) {
    const sim::FileNode* source = m.files.Lookup(call.text1 + call.text2);
    if (source == nullptr || source->folder) return;
    const std::string text = source->text.value_or(std::string());
    // The copy is a file of the inf folder; its content is checked through
    // the INF store's record of it.
    allow.InfFolder(m, m.infs.folder);
    if (update)
        allow.InfReplacement(text);
    else
        allow.InfAddition(text);
}

}  // namespace

const char* ExportName(Export which) {
    static const char* const kNames[kExportCount] = {
        "CheckServiceName",          "FindLegacyPlayers",        "InstallFilter",
        "RegisterInf",               "RemoveDeviceForDeviceType", "RemoveDeviceRegEntries",
        "RemoveFilter",              "RemoveInstalledLegacyPlayer", "RemoveLegacyPlayerDrivers",
        "RemoveLegacyPlayerHook",    "RemoveLegacyPlayerRemnants", "RemovePlayerRemnants",
        "RemoveVolumeRegEntries",    "UpdateInf",
    };
    return kNames[static_cast<int>(which)];
}

void AllowList::KeySubtree(const std::string& fullPath, bool anyChange) {
    std::vector<std::string> parts;
    if (SplitKeyPath(fullPath, &parts)) KeySubtree(parts, anyChange);
}

void AllowList::KeySubtree(const std::vector<std::string>& path, bool anyChange) {
    // A root is never a target.
    if (path.size() > 1) subtrees_.push_back(Subtree{path, anyChange});
}

void AllowList::KeyOnly(const std::vector<std::string>& path) {
    if (path.size() > 1) keysOnly_.push_back(path);
}

void AllowList::ValueRemoval(const std::string& keyPath, const std::string& valueName) {
    std::vector<std::string> parts;
    if (SplitKeyPath(keyPath, &parts)) values_.push_back(ValueRule{parts, valueName, true, 0, {}});
}

void AllowList::ValueSet(const std::string& keyPath, const std::string& valueName, DWORD type,
                         std::vector<uint8_t> data) {
    std::vector<std::string> parts;
    if (SplitKeyPath(keyPath, &parts)) values_.push_back(ValueRule{parts, valueName, false, type, std::move(data)});
}

namespace {

// A resolved path as the list keeps it: "X:" and the names below it.
std::vector<std::string> Components(const sim::ResolvedPath& resolved) {
    std::vector<std::string> path{std::string(1, resolved.drive) + ":"};
    path.insert(path.end(), resolved.names.begin(), resolved.names.end());
    return path;
}

}  // namespace

void AllowList::FolderCleaning(const sim::Machine& machine, const std::string& folderPath) {
    if (folderPath.empty()) return;
    // The folder the text names, and the folder its entries are reached in:
    // as the last name of a path its trailing dots and blanks go, before an
    // entry's name they stay ("Foo ..\a.txt" lies in "Foo ..", while
    // "Foo .." itself names "Foo").
    for (const char* entry : {"", "\\entry"}) {
        sim::ResolvedPath resolved;
        if (machine.files.Resolve(folderPath + entry, machine.codePage, &resolved) != 0) continue;
        if (*entry != 0 && !resolved.names.empty()) resolved.names.pop_back();
        if (resolved.names.empty()) continue;  // a drive's root is nobody's folder
        std::vector<std::string> path = Components(resolved);
        if (std::find(folders_.begin(), folders_.end(), path) == folders_.end()) folders_.push_back(path);
    }
}

void AllowList::FileRemoval(const sim::Machine& machine, const std::string& filePath) {
    sim::ResolvedPath resolved;
    if (machine.files.Resolve(filePath, machine.codePage, &resolved) != 0 || resolved.names.empty()) return;
    files_.push_back(Components(resolved));
}

void AllowList::InfFolder(const sim::Machine& machine, const std::string& folderPath) {
    sim::ResolvedPath resolved;
    if (machine.files.Resolve(folderPath, machine.codePage, &resolved) != 0) return;
    infFolders_.push_back(Components(resolved));
}

void AllowList::Service(const std::string& name) {
    services_.push_back(name);
    std::vector<std::string> path;
    if (!SplitKeyPath(std::string(kServices) + "\\" + name, &path)) return;
    KeySubtree(path, true);
    for (path.pop_back(); path.size() > 1; path.pop_back()) creatable_.push_back(path);
}

void AllowList::InfAddition(const std::string& text) { infAdditions_.push_back(text); }

void AllowList::InfReplacement(const std::string& text) { infReplacements_.push_back(text); }

bool AllowList::Permits(const Change& change, const sim::Machine& before, const sim::Machine& after) const {
    auto inSubtree = [&](bool needAnyChange) {
        for (const Subtree& s : subtrees_)
            if ((s.anyChange || !needAnyChange) && AtOrBelow(change.path, s.path)) return true;
        return false;
    };
    auto samePath = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
        return a.size() == b.size() && AtOrBelow(a, b);
    };
    switch (change.kind) {
    case Change::KeyRemoved:
        if (inSubtree(false)) return true;
        for (const auto& key : keysOnly_)
            if (samePath(change.path, key)) return true;
        return false;
    case Change::KeyAdded:
        for (const auto& key : creatable_)
            if (samePath(change.path, key)) return true;
        return inSubtree(true);
    case Change::KeyFlagsChanged:
        return false;
    case Change::ValueAdded:
    case Change::ValueChanged:
    case Change::ValueRemoved:
        if (inSubtree(true)) return true;
        for (const ValueRule& rule : values_) {
            if (!samePath(change.path, rule.key) || !SameName(change.name, rule.name)) continue;
            if (rule.removal && change.kind == Change::ValueRemoved) return true;
            if (!rule.removal && change.kind != Change::ValueRemoved && change.newType == rule.type &&
                change.newData == rule.data)
                return true;
        }
        return false;
    case Change::FileRemoved:
        for (const auto& folder : folders_) {
            if (samePath(change.path, folder)) return true;
            if (!change.folder && change.path.size() == folder.size() + 1 && AtOrBelow(change.path, folder)) return true;
        }
        for (const auto& file : files_)
            if (!change.folder && samePath(change.path, file)) return true;
        return false;
    case Change::FileAdded:
    case Change::FileChanged:
        // An INF copy: a file directly in the inf folder named *.inf; the
        // folder itself (and the folders on its way) where the machine had
        // none, as every Windows has one.
        for (const auto& folder : infFolders_)
            if (change.kind == Change::FileAdded && change.folder && AtOrBelow(folder, change.path)) return true;
        for (const auto& folder : infFolders_)
            if (!change.folder && change.path.size() == folder.size() + 1 && AtOrBelow(change.path, folder) &&
                change.path.back().size() > 4 &&
                sim::CompareKeyNames(change.path.back().substr(change.path.back().size() - 4), ".inf") == 0)
                return true;
        return false;
    case Change::ServiceStateChanged:
        for (const std::string& name : services_)
            if (SameName(name, change.name)) return true;
        return false;
    case Change::InfCopyAdded: {
        const sim::InfCopy* copy = after.infs.FindCopy(change.name);
        for (const std::string& text : infAdditions_)
            if (copy != nullptr && copy->text == text) return true;
        return false;
    }
    case Change::InfCopyChanged: {
        const sim::InfCopy* was = before.infs.FindCopy(change.name);
        const sim::InfCopy* now = after.infs.FindCopy(change.name);
        if (was == nullptr || now == nullptr) return false;
        sim::DriverVersion old, replacement;
        sim::InfStore::ReadVersion(was->text, &old);
        sim::InfStore::ReadVersion(now->text, &replacement);
        for (const std::string& text : infReplacements_)
            if (now->text == text && replacement.Compare(old) >= 0) return true;
        return false;
    }
    case Change::InfCopyRemoved:
        return false;
    }
    return false;
}

std::string AllowList::Describe() const {
    std::ostringstream out;
    auto join = [](const std::vector<std::string>& path) {
        std::string text;
        for (const std::string& part : path) text += (text.empty() ? "" : "\\") + part;
        return text;
    };
    for (const Subtree& s : subtrees_) out << (s.anyChange ? "  any change in " : "  removal of ") << join(s.path) << "\n";
    for (const auto& key : keysOnly_) out << "  removal of the key " << join(key) << "\n";
    for (const ValueRule& rule : values_)
        out << (rule.removal ? "  removal of value " : "  setting of value ") << join(rule.key) << " \"" << rule.name << "\"\n";
    for (const auto& folder : folders_) out << "  cleaning of folder " << join(folder) << "\n";
    for (const auto& file : files_) out << "  removal of file " << join(file) << "\n";
    for (const std::string& name : services_) out << "  service " << name << "\n";
    for (size_t i = 0; i < infAdditions_.size(); ++i) out << "  INF copy addition\n";
    for (size_t i = 0; i < infReplacements_.size(); ++i) out << "  INF copy replacement\n";
    return out.str();
}

AllowList AllowedChanges(const sim::Machine& before, const Call& call) {
    AllowList allow;
    switch (call.which) {
    case Export::CheckServiceName: CheckServiceNameTargets(allow, before, call); break;
    case Export::FindLegacyPlayers: break;  // reads only
    case Export::InstallFilter:
    case Export::RemoveFilter:
        if (IsServiceName(call.text1)) allow.Service(call.text1);
        break;
    case Export::RegisterInf: InfTargets(allow, before, call, false); break;
    case Export::UpdateInf: InfTargets(allow, before, call, true); break;
    case Export::RemoveDeviceForDeviceType: DeviceTypeTargets(allow, before, call); break;
    case Export::RemoveDeviceRegEntries: DeviceRegEntriesTargets(allow, before); break;
    case Export::RemoveInstalledLegacyPlayer: InstalledPlayerTargets(allow, before, call); break;
    case Export::RemoveLegacyPlayerDrivers: LegacyDriversTargets(allow, before); break;
    case Export::RemoveLegacyPlayerHook: AllowDriveMenuExtension(allow, "{343DA396-6C33-42EB-9478-C1EAF35FB908}"); break;
    case Export::RemoveLegacyPlayerRemnants: LegacyRemnantsTargets(allow, before, call); break;
    case Export::RemovePlayerRemnants: PlayerRemnantsTargets(allow, before); break;
    case Export::RemoveVolumeRegEntries: VolumeTargets(allow, before); break;
    }
    return allow;
}

std::vector<Change> Violations(const sim::Machine& before, const sim::Machine& after, const Call& call) {
    AllowList allow = AllowedChanges(before, call);
    std::vector<std::string> names = allow.ServiceNames();
    if (IsServiceName(call.text1)) names.push_back(call.text1);
    std::vector<Change> violations;
    int infChanges = 0;
    for (const Change& change : Diff(before, after, names)) {
        if (change.kind == Change::InfCopyAdded || change.kind == Change::InfCopyChanged) ++infChanges;
        if (!allow.Permits(change, before, after) ||
            ((change.kind == Change::InfCopyAdded || change.kind == Change::InfCopyChanged) && infChanges > 1))
            violations.push_back(change);
    }
    return violations;
}

}  // namespace px714check
