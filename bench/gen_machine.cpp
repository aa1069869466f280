// Generates a large Windows XP machine as regedit would export it: a
// version 5 .reg file (UTF-16LE with its byte-order mark), keys in regedit's
// order with every key written, hex data wrapped as regedit wraps it.
//
// The machine holds tens of thousands of COM classes, file types, services
// and per-user settings, thousands of device nodes (USB, USBSTOR, STORAGE,
// SCSI) with their class instances, and every legacy player of the
// catalogue installed: uninstall registration, product keys, class keys,
// device nodes, critical device database entries, services and the drive
// menu extension; and the remnants of an earlier PX714 installation.
//
// Usage: gen_machine OUTPUT.reg [SCALE]   (SCALE 1 gives about 110 MB)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "legacy/catalogue.h"

namespace {

// Keys in the registry's order: letter case of a-z ignored, shorter first.
struct KeyOrder {
    bool operator()(const std::string& a, const std::string& b) const {
        size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};

enum class Kind { Text, Dword, Binary, Expand, Multi };

struct Value {
    std::string name;  // "" is @
    Kind kind;
    std::string text;                // Text, Expand
    std::vector<std::string> texts;  // Multi
    uint32_t number = 0;             // Dword
    std::vector<uint8_t> bytes;      // Binary
};

struct Node {
    std::vector<Value> values;
    std::map<std::string, std::unique_ptr<Node>, KeyOrder> children;
};

Node g_root;  // its children are the root keys
size_t g_keys = 0;
size_t g_deviceNodes = 0;

Node& KeyAt(const std::string& path) {
    Node* node = &g_root;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        auto& child = node->children[part];
        if (!child) {
            child = std::make_unique<Node>();
            ++g_keys;
        }
        node = child.get();
        start = end + 1;
    }
    return *node;
}

// Sets a value: one of the same name (letter case ignored) is replaced.
void Set(Node& node, Value value) {
    for (Value& v : node.values)
        if (!KeyOrder()(v.name, value.name) && !KeyOrder()(value.name, v.name)) {
            v = std::move(value);
            return;
        }
    node.values.push_back(std::move(value));
}

struct K {
    Node& node;
    K& S(const std::string& name, const std::string& text) {
        Set(node, Value{name, Kind::Text, text, {}, 0, {}});
        return *this;
    }
    K& D(const std::string& name, uint32_t number) {
        Set(node, Value{name, Kind::Dword, "", {}, number, {}});
        return *this;
    }
    K& B(const std::string& name, std::vector<uint8_t> bytes) {
        Set(node, Value{name, Kind::Binary, "", {}, 0, std::move(bytes)});
        return *this;
    }
    K& E(const std::string& name, const std::string& text) {
        Set(node, Value{name, Kind::Expand, text, {}, 0, {}});
        return *this;
    }
    K& M(const std::string& name, std::vector<std::string> texts) {
        Set(node, Value{name, Kind::Multi, "", std::move(texts), 0, {}});
        return *this;
    }
};
K Key(const std::string& path) { return K{KeyAt(path)}; }

uint64_t g_seed = 0x2545F4914F6CDD1Dull;
uint64_t Next() {
    g_seed ^= g_seed << 13;
    g_seed ^= g_seed >> 7;
    g_seed ^= g_seed << 17;
    return g_seed;
}
std::string Hex(uint64_t v, int digits) {
    static const char d[] = "0123456789ABCDEF";
    std::string s(digits, '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) s[i] = d[v & 15];
    return s;
}
std::string Guid() {
    return "{" + Hex(Next(), 8) + "-" + Hex(Next(), 4) + "-" + Hex(Next(), 4) + "-" + Hex(Next(), 4) + "-" +
           Hex(Next(), 12) + "}";
}
std::vector<uint8_t> Bytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (auto& x : b) x = static_cast<uint8_t>(Next());
    return b;
}
std::string Dec(uint64_t v, int width) {
    std::string s = std::to_string(v);
    return std::string(width > static_cast<int>(s.size()) ? width - s.size() : 0, '0') + s;
}

// ---------------------------------------------------------------- writing

std::string g_out;  // UTF-16LE bytes

void Put(const std::string& ascii) {
    for (char c : ascii) {
        g_out.push_back(c);
        g_out.push_back('\0');
    }
}

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

void PutHex(size_t column, const std::vector<uint8_t>& data) {
    static const char d[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        std::string pair{d[data[i] >> 4], d[data[i] & 15]};
        if (i + 1 == data.size()) {
            Put(pair);
            break;
        }
        Put(pair + ",");
        column += 3;
        if (column >= 77) {
            Put("\\\r\n  ");
            column = 2;
        }
    }
    Put("\r\n");
}

std::vector<uint8_t> Utf16(const std::string& ascii) {
    std::vector<uint8_t> out;
    for (char c : ascii) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

void PutValue(const Value& v) {
    std::string prefix = v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
    switch (v.kind) {
    case Kind::Text: Put(prefix + "\"" + Escape(v.text) + "\"\r\n"); break;
    case Kind::Dword: {
        char buffer[20];
        std::snprintf(buffer, sizeof buffer, "dword:%08x\r\n", v.number);
        Put(prefix + buffer);
        break;
    }
    case Kind::Binary:
        Put(prefix + "hex:");
        PutHex(prefix.size() + 4, v.bytes);
        break;
    case Kind::Expand:
        Put(prefix + "hex(2):");
        PutHex(prefix.size() + 7, Utf16(v.text + std::string(1, '\0')));
        break;
    case Kind::Multi: {
        std::string joined;
        for (const std::string& t : v.texts) joined += t + std::string(1, '\0');
        joined += std::string(1, '\0');
        Put(prefix + "hex(7):");
        PutHex(prefix.size() + 7, Utf16(joined));
        break;
    }
    }
}

void PutKey(const std::string& path, const Node& node) {
    Put("\r\n[" + path + "]\r\n");
    for (const Value& v : node.values) PutValue(v);
    for (auto& [name, child] : node.children) PutKey(path + "\\" + name, *child);
}

// ------------------------------------------------------------ the machine

const char* const L = "HKEY_LOCAL_MACHINE";
const std::string CCS = std::string(L) + "\\SYSTEM\\CurrentControlSet";
const std::string CV = std::string(L) + "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

void DeviceNode(const std::string& enumerator, const std::string& device, const std::string& instance,
                std::vector<std::string> hardwareIds, const std::string& classGuid, const std::string& className,
                const std::string& driver, const std::string& service) {
    std::string path = CCS + "\\Enum\\" + enumerator + "\\" + device + "\\" + instance;
    ++g_deviceNodes;
    Key(path)
        .S("DeviceDesc", className + " device " + instance)
        .D("Capabilities", 0x84)
        .D("UINumber", 0)
        .M("HardwareID", std::move(hardwareIds))
        .M("CompatibleIDs", {enumerator + "\\Class_08&SubClass_06&Prot_50", enumerator + "\\Class_08"})
        .S("ClassGUID", classGuid)
        .S("Class", className)
        .S("Driver", driver)
        .S("Mfg", "(Standard " + className + ")")
        .S("Service", service)
        .S("LocationInformation", "Port_#0001.Hub_#0002")
        .D("ConfigFlags", 0);
    Key(path + "\\Device Parameters").S("SymbolicName", "\\??\\" + enumerator + "#" + device + "#" + instance);
    Key(path + "\\LogConf");
    Key(path + "\\Control").S("ActiveService", service);
}

void Build(int scale) {
    Key(std::string(L) + "\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion")
        .S("ProductName", "Microsoft Windows XP")
        .S("CurrentVersion", "5.1")
        .S("CurrentBuildNumber", "2600")
        .S("CSDVersion", "Service Pack 3");
    Key(CV).S("ProgramFilesDir", "C:\\Program Files").E("DevicePath", "%SystemRoot%\\inf");

    // COM classes and file types: the bulk of a real machine's registry.
    for (int i = 0; i < 40000 * scale; ++i) {
        std::string clsid = std::string(L) + "\\SOFTWARE\\Classes\\CLSID\\" + Guid();
        Key(clsid).S("", "Component " + std::to_string(i) + " of Some Application Suite");
        Key(clsid + "\\InProcServer32")
            .E("", "%SystemRoot%\\system32\\component" + std::to_string(i) + ".dll")
            .S("ThreadingModel", "Both");
        Key(clsid + "\\ProgID").S("", "Suite.Component." + std::to_string(i));
        Key(clsid + "\\TypeLib").S("", Guid());
        Key(clsid + "\\Implemented Categories\\" + Guid());
    }
    for (int i = 0; i < 30000 * scale; ++i) {
        std::string prog = std::string(L) + "\\SOFTWARE\\Classes\\Suite.Document." + std::to_string(i);
        Key(prog).S("", "Suite Document " + std::to_string(i)).B("EditFlags", {0, 0, 1, 0});
        Key(prog + "\\DefaultIcon").S("", "C:\\Program Files\\Suite\\suite.exe," + std::to_string(i % 40));
        Key(prog + "\\shell\\open\\command").S("", "\"C:\\Program Files\\Suite\\suite.exe\" \"%1\"");
    }
    // Per-user settings with binary state.
    for (int i = 0; i < 25000 * scale; ++i) {
        std::string app = "HKEY_CURRENT_USER\\Software\\Vendor" + std::to_string(i % 97) + "\\Application" +
                          std::to_string(i) + "\\Settings";
        Key(app).B("WindowPlacement", Bytes(44)).S("LastFolder", "C:\\Documents and Settings\\user\\My Documents")
            .D("Flags", static_cast<uint32_t>(Next()));
        Key(app + "\\Recent").B("MRUListEx", Bytes(24 + Next() % 200));
    }
    // Services.
    for (int i = 0; i < 2000 * scale; ++i) {
        std::string s = CCS + "\\Services\\Service" + Dec(i, 5);
        Key(s).D("Type", 1).D("Start", 3).D("ErrorControl", 1)
            .E("ImagePath", "system32\\DRIVERS\\service" + std::to_string(i) + ".sys")
            .S("DisplayName", "Service " + std::to_string(i));
        Key(s + "\\Security").B("Security", Bytes(160));
        Key(s + "\\Enum").S("0", "ROOT\\LEGACY_SERVICE" + Dec(i, 5) + "\\0000").D("Count", 1).D("NextInstance", 1);
    }
    // Device nodes: USB devices with their disks and volumes.
    const std::string usbClass = "{36FC9E60-C465-11CF-8056-444553540000}";
    const std::string diskClass = "{4D36E967-E325-11CE-BFC1-08002BE10318}";
    const std::string volumeClass = "{71A27CDD-812A-11D0-BEC7-08002BE2092F}";
    for (int i = 0; i < 3000 * scale; ++i) {
        std::string vid = Hex(0x0400 + i % 700, 4), pid = Hex(Next() & 0xFFFF, 4);
        std::string device = "Vid_" + vid + "&Pid_" + pid;
        std::string instance = "5&" + Hex(Next(), 7) + "&0&" + std::to_string(i % 8 + 1);
        DeviceNode("USB", device, instance, {"USB\\" + device + "&Rev_0100", "USB\\" + device}, usbClass, "USB",
                   usbClass + "\\" + Dec(i, 4), "USBSTOR");
        std::string disk = "Disk&Ven_Vendor" + std::to_string(i % 50) + "&Prod_Stick" + std::to_string(i % 300) + "&Rev_1.00";
        std::string prefix = "8&" + Hex(Next(), 8) + "&0";
        DeviceNode("USBSTOR", disk, "7&" + Hex(Next(), 8) + "&0", {"USBSTOR\\" + disk, "GenDisk"}, diskClass,
                   "DiskDrive", diskClass + "\\" + Dec(i, 4), "disk");
        Key(CCS + "\\Enum\\USBSTOR\\" + disk + "\\7&" + Hex(Next(), 8) + "&0").S("ParentIdPrefix", prefix);
        DeviceNode("STORAGE", "RemovableMedia", prefix + "&RM", {"STORAGE\\RemovableMedia"}, volumeClass, "Volume",
                   volumeClass + "\\" + Dec(i, 4), "");
        Key(CCS + "\\Control\\Class\\" + diskClass + "\\" + Dec(i, 4)).S("InfPath", "disk.inf").S("DriverDesc", "Disk drive");
        Key(CCS + "\\Control\\Class\\" + volumeClass + "\\" + Dec(i, 4)).S("InfPath", "volume.inf").S("DriverDesc", "Generic volume");
    }
    Key(CCS + "\\Control\\Class\\" + diskClass).S("", "Disk drives").S("Class", "DiskDrive");
    Key(CCS + "\\Control\\Class\\" + volumeClass).S("", "Storage volumes").S("Class", "Volume");

    // Every legacy player of the catalogue, installed.
    const std::string hook = "{343DA396-6C33-42EB-9478-C1EAF35FB908}";
    Key(CV + "\\Shell Extensions\\Approved").S(hook, "Drive Menu").S("{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}", "PX714 Drive Menu");
    Key(std::string(L) + "\\SOFTWARE\\Classes\\CLSID\\" + hook + "\\InProcServer32").S("", "C:\\WINDOWS\\system32\\vxmphook.dll");
    Key(std::string(L) + "\\SOFTWARE\\Classes\\Drive\\shellex\\ContextMenuHandlers\\Menu").S("", hook);
    for (unsigned row = 0; row < LegacyPlayerCount; ++row) {
        const LegacyPlayerEntry& e = LegacyPlayerCatalogue[row];
        std::string company = "Maker" + std::to_string(row);
        std::string name = company + " MP3 Player " + e.ProductId;
        Key(CV + "\\Uninstall\\" + e.UninstallKey).S("DisplayName", name).S("Publisher", company);
        std::string product = std::string(L) + "\\SOFTWARE\\" + company + "\\" + name;
        Key(product + "\\1.00.000").S("Version", "1.00.000");
        Key(product + "\\Params").S("Install Folder", "C:\\Program Files\\" + company).S("Uninstall Folder", "C:\\Program Files\\" + company + "\\Uninstall");
        Key(product + "\\Params\\3400").S("Model", e.ProductId);
        std::string cls = CCS + "\\Control\\Class\\" + e.ClassGuid;
        Key(cls).S("", name).S("Class", std::string("Mp3Player") + e.ProductId);
        for (int i = 0; i < 3; ++i) Key(cls + "\\" + Dec(i, 4)).S("DriverDesc", name).S("InfPath", "oem" + std::to_string(row) + ".inf");
        for (const char* pid : {"3400", "3410"}) {
            std::string device = std::string("Vid_066F&Pid_") + pid;
            DeviceNode("USB", device, "5&" + Hex(Next(), 7) + "&0&" + std::to_string(row), {"USB\\" + device + "&Rev_0100", "USB\\" + device},
                       e.ClassGuid, "Mp3Player", std::string(e.ClassGuid) + "\\0000", "Mp3Drv");
            std::string legacy = std::string("VEN_066F&DEV_") + pid;
            DeviceNode(e.ProductId, legacy, "6&" + Hex(Next(), 7) + "&0&0", {std::string(e.ProductId) + "\\" + legacy},
                       "{4D36E97B-E325-11CE-BFC1-08002BE10318}", "SCSIAdapter", "{4D36E97B-E325-11CE-BFC1-08002BE10318}\\0001", "Vxscsi");
            Key(CCS + "\\Control\\CriticalDeviceDatabase\\" + e.ProductId + "#ven_066f&dev_" + pid).S("Service", "Vxscsi");
        }
    }
    Key(CV + "\\Apps Paths\\Vxmp3format.exe").S("", "C:\\Program Files\\Maker0\\Vxmp3format.exe");
    Key(CV + "\\Apps Paths\\Vxmp3Update.exe").S("", "C:\\Program Files\\Maker0\\Vxmp3Update.exe");
    for (const char* service : {"Vxscsi", "Mp3Drv"}) {
        std::string s = CCS + "\\Services\\" + service;
        Key(s).D("Type", 1).D("Start", 3).E("ImagePath", std::string("system32\\DRIVERS\\") + service + ".sys");
        Key(s + "\\Enum").D("Count", 0);
        Key(s + "\\Security").B("Security", Bytes(160));
    }
    Key(CCS + "\\Services\\Vxscsi\\Parameters\\Device").D("NumberOfRequests", 32);
    Key(CCS + "\\Services\\Vxscsi\\Parameters\\PnpInterface").D("5", 1);

    // An earlier PX714 installation.
    DeviceNode("USBSTOR", "Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00", "7&3a2b1c0d&0",
               {"USBSTOR\\DiskZMRA714_PX714___________1.00", "GenDisk"}, diskClass, "DiskDrive", diskClass + "\\9999", "disk");
    Key(CCS + "\\Enum\\USBSTOR\\Disk&Ven_ZMRA714_&Prod_PX714&Rev_1.00\\7&3a2b1c0d&0").S("ParentIdPrefix", "8&1a2b3c4d&0");
    DeviceNode("STORAGE", "RemovableMedia", "8&1a2b3c4d&0&RM", {"STORAGE\\RemovableMedia"}, volumeClass, "Volume",
               volumeClass + "\\9999", "");
    Key(CCS + "\\Control\\Class\\" + volumeClass + "\\9999").S("DriverDesc", "Generic volume");
    Key(CCS + "\\Control\\Class\\{24ba5da1-036a-4499-a763-41480869e207}").S("Class", "Px714Msc");
    Key(std::string(L) + "\\SOFTWARE\\Classes\\CLSID\\{e625aa44-dd78-449d-8d1a-1e1903a6f8ee}\\InProcServer32").S("", "px714ext.dll");
    Key(CCS + "\\Services\\Vxfilter").D("Type", 2).D("Start", 0).D("ErrorControl", 1).S("Group", "filter");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen_machine OUTPUT.reg [SCALE]\n");
        return 1;
    }
    int scale = argc > 2 ? std::atoi(argv[2]) : 1;
    if (scale < 1) scale = 1;
    Build(scale);
    g_out = "\xFF\xFE";
    Put("Windows Registry Editor Version 5.00\r\n");
    for (auto& [rootName, root] : g_root.children)
        for (auto& [name, child] : root->children) PutKey(rootName + "\\" + name, *child);
    Put("\r\n");
    FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr || std::fwrite(g_out.data(), 1, g_out.size(), f) != g_out.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("%s: %zu keys, %zu device nodes, %.1f MB\n", argv[1], g_keys - g_root.children.size(), g_deviceNodes,
                g_out.size() / 1e6);
    return 0;
}
