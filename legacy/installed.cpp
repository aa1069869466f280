// RemoveInstalledLegacyPlayer: what a legacy player's own setup left on the
// machine, found by its catalogue row, its maker's company word and its
// display name.
#include "frame/frame.h"
#include "frame/px714sup.h"
#include "legacy/catalogue.h"
#include "legacy/files.h"

namespace {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Apps Paths";
// Passed to RegOpenKeyA exactly as the players' setups wrote them, each
// with its leading backslash.
const char* const kMenuOrderKeys[3] = {
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\&Programs",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs",
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs",
};

enum { kKeyPathSize = 128, kTraceSize = 120, kCompanySize = 64, kFolderValueSize = 128, kWindowsSize = 128 };

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

enum CompanyResult { CompanyTaken, CompanyBlankName, CompanyTooLong, CompanyNotSingle };

// The first word of the display name: leading blanks skipped, up to the
// next blank or the end.
CompanyResult TakeCompanyWord(const char* name, char* company) {
    company[0] = 0;
    while (IsBlank(*name)) ++name;
    if (*name == 0) return CompanyBlankName;
    size_t length = 0;
    while (name[length] != 0 && !IsBlank(name[length])) ++length;
    if (length >= kCompanySize) return CompanyTooLong;
    for (size_t i = 0; i < length; ++i) company[i] = name[i];
    company[length] = 0;
    if (!IsSingleName(company)) {
        company[0] = 0;
        return CompanyNotSingle;
    }
    return CompanyTaken;
}

void TraceFolderValue(const char* format, const char* value, const char* what) {
    char line[kTraceSize];
    if (FormatText(line, sizeof line, format, value))
        Trace(line);
    else
        TraceTooLong(what);
}

// Step 7: the product keys below SOFTWARE and the two folders that the
// Params key names. Runs only when the Params key opens.
void RemoveProductKeys(const char* company, const char* name) {
    char path[kKeyPathSize];
    if (!FormatText(path, sizeof path, "SOFTWARE\\%s\\%s\\Params", company, name)) {
        TraceTooLong("Params key path");
        return;
    }
    KeyHolder params;
    if (!params.Open(HKEY_LOCAL_MACHINE, path)) return;

    char installFolder[kFolderValueSize];
    char uninstallFolder[kFolderValueSize];
    bool installRead = ReadTextValue(params.Get(), "Install Folder", installFolder, sizeof installFolder);
    if (installRead) TraceFolderValue("\t\tInstall folder: %s\n", installFolder, "Install folder line");
    bool uninstallRead = ReadTextValue(params.Get(), "Uninstall Folder", uninstallFolder, sizeof uninstallFolder);
    if (uninstallRead) TraceFolderValue("\t\tUninstall folder: %s\n", uninstallFolder, "Uninstall folder line");
    params.Close();

    // Leaf first: on NT a key that still has subkeys is not deleted.
    KeyHolder product;
    if (FormatText(path, sizeof path, "SOFTWARE\\%s\\%s", company, name) && product.Open(HKEY_LOCAL_MACHINE, path)) {
        RegDeleteKeyA(product.Get(), "1.00.000");
        RegDeleteKeyA(product.Get(), "params\\3400");
        RegDeleteKeyA(product.Get(), "params\\3410");
        RegDeleteKeyA(product.Get(), "params");
        product.Close();
    }

    KeyHolder software;
    if (software.Open(HKEY_LOCAL_MACHINE, "SOFTWARE")) {
        if (FormatText(path, sizeof path, "%s\\%s", company, name)) RegDeleteKeyA(software.Get(), path);
        // The reported name of the "AudioDev Player" alias is not reversed;
        // its registered product key goes by this separate step.
        if (CompareNoCase(name, DisplayNameAliases[0].reported) == 0) {
            RegDeleteKeyA(software.Get(), "Digital\\AudioDev Player\\1.00.000");
            RegDeleteKeyA(software.Get(), "Digital\\AudioDev Player");
        }
        RegDeleteKeyA(software.Get(), company);
        software.Close();
    }

    // An empty value is refused by DeleteFolder: it would name the root.
    if (installRead) DeleteFolder(installFolder);
    if (uninstallRead) DeleteFolder(uninstallFolder);
}

// Composes one folder path and cleans it, or says that it is too long.
void CleanFolder(const char* format, const char* base, const char* leaf, const char* what) {
    char path[kKeyPathSize];
    if (FormatText(path, sizeof path, format, base, leaf))
        DeleteFolder(path);
    else
        TraceTooLong(what);
}

}  // namespace

extern "C" int WINAPI RemoveInstalledLegacyPlayer(unsigned int playerIndex, char* displayName) {
    char line[kTraceSize];
    unsigned int index = playerIndex & 0xFFFFu;
    const LegacyPlayerEntry* row = LegacyPlayerAt(index);
    if (row == 0) {
        // Nothing outside the catalogue is read and nothing is deleted.
        if (FormatText(line, sizeof line, "\nPlayer index %u names no legacy player\n", index)) Trace(line);
        return 1;
    }
    const char* name = displayName != 0 ? displayName : "";

    if (FormatText(line, sizeof line, "\nFound %s\n", name))
        Trace(line);
    else
        TraceTooLong("Found line");
    if (FormatText(line, sizeof line, "\t\t%s %s %s\n", row->UninstallKey, row->ProductId, row->VendorId)) Trace(line);

    // The company word comes from the name as reported, before any rewrite.
    char company[kCompanySize];
    CompanyResult word = TakeCompanyWord(name, company);
    switch (word) {
    case CompanyTaken:
        if (FormatText(line, sizeof line, "\t\tCompany: %s  Model: %s\n", company, row->ProductId)) Trace(line);
        break;
    case CompanyBlankName:
        Trace("\t\tBlank display name: its keys and folders are left\n");
        break;
    case CompanyTooLong:
        TraceTooLong("company word");
        break;
    case CompanyNotSingle:
        Trace("\t\tNot a single name, left out: company word\n");
        break;
    }
    const bool haveCompany = word == CompanyTaken;
    const bool haveName = word != CompanyBlankName;

    KeyHolder uninstall;
    if (uninstall.Open(HKEY_LOCAL_MACHINE, kUninstallKey)) {
        RegDeleteKeyA(uninstall.Get(), row->UninstallKey);
        uninstall.Close();
    }

    // From here on the registered name: the caller sees the rewrite.
    if (displayName != 0 && CompareNoCase(displayName, DisplayNameAliases[1].reported) == 0)
        CopyText(displayName, TextLength(displayName) + 1, DisplayNameAliases[1].registered);

    if (haveCompany) RemoveProductKeys(company, name);

    KeyHolder appPaths;
    if (appPaths.Open(HKEY_LOCAL_MACHINE, kAppPathsKey)) {
        RegDeleteKeyA(appPaths.Get(), "Vxmp3format.exe");
        RegDeleteKeyA(appPaths.Get(), "Vxmp3Update.exe");
        appPaths.Close();
    }

    char windows[kWindowsSize];
    WindowsDirectoryResult windowsResult = ReadWindowsDirectory(windows, sizeof windows);

    if (haveName) {
        for (int i = 0; i < 3; ++i) {
            KeyHolder menuOrder;
            if (menuOrder.Open(HKEY_CURRENT_USER, kMenuOrderKeys[i])) RegDeleteKeyA(menuOrder.Get(), name);
        }
    }

    if (windowsResult == WindowsDirectoryTooLong) {
        TraceTooLong("Windows directory");
    } else if (windowsResult == WindowsDirectoryUnavailable) {
        Trace("\t\tNo Windows directory: its folders are left\n");
    } else {
        const bool nameIsFolder = haveName && IsSingleName(name);
        if (haveName && !nameIsFolder) Trace("\t\tNot a single name, left out: display name folders\n");
        if (nameIsFolder) CleanFolder("%s\\Start Menu\\Programs\\%s", windows, name, "Start Menu folder");
        windows[2] = 0;  // the drive letter and colon: every later folder is on this drive
        if (haveCompany) CleanFolder("%s\\Program Files\\%s", windows, company, "Program Files folder");
        if (nameIsFolder) {
            CleanFolder("%s\\Documents and Settings\\All Users\\Start Menu\\Programs\\%s", windows, name,
                        "All Users folder");
            CleanFolder("%s\\Documents and Settings\\All Users.WINNT\\Start Menu\\Programs\\%s", windows, name,
                        "All Users.WINNT folder");
        }
    }

    DeleteLegacyDriverFiles();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    return 1;
}
