/* The conformance driver: runs the scenarios of one Windows version mode
 * against the real px714sup.dll, as a setup program would call it.
 *
 *   px714conf.exe MODE OUTPUT SCENARIO-FILE...
 *
 * It loads px714sup.dll by its file name, resolves every export by name and
 * by ordinal, captures the DLL's OutputDebugStringA pieces by pointing its
 * import of that function at a recorder, and calls each export through a
 * thunk that measures the stack clean-up. For each scenario of MODE it sets
 * up the registry keys, files and services the scenario owns, makes the
 * calls, shows what came out and removes what it owns again. OUTPUT
 * receives "== NAME" and the lines each scenario showed; the comparison
 * with the simulated machine is made on the host. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "scenario.h"

long __cdecl CallExport(void* function, const unsigned long* args, unsigned long count, long* removed,
                        unsigned long* clobbered);

/* ---- Debug output capture ---------------------------------------------- */

static ScLines g_captured;

static void WINAPI CaptureDebugString(LPCSTR text) {
    if (text != NULL) ScLinesAdd(&g_captured, text);
}

/* Points the module's import of dll!function at replacement. */
static int PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR* imp;
    int patched = 0;
    if (dir->VirtualAddress == 0) return 0;
    for (imp = (IMAGE_IMPORT_DESCRIPTOR*)(base + dir->VirtualAddress); imp->Name != 0; ++imp) {
        IMAGE_THUNK_DATA *names, *slots;
        if (lstrcmpiA((const char*)(base + imp->Name), dll) != 0) continue;
        names = (IMAGE_THUNK_DATA*)(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk));
        slots = (IMAGE_THUNK_DATA*)(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            IMAGE_IMPORT_BY_NAME* byName;
            DWORD old;
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            byName = (IMAGE_IMPORT_BY_NAME*)(base + names->u1.AddressOfData);
            if (strcmp((const char*)byName->Name, function) != 0) continue;
            if (!VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old)) return 0;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            ++patched;
        }
    }
    return patched;
}

/* ---- Small helpers ------------------------------------------------------- */

static void AddFormat(ScLines* lines, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    ScLinesAdd(lines, text);
}

static HKEY RootKey(const char* longRoot) {
    if (strcmp(longRoot, "HKEY_LOCAL_MACHINE") == 0) return HKEY_LOCAL_MACHINE;
    if (strcmp(longRoot, "HKEY_CURRENT_USER") == 0) return HKEY_CURRENT_USER;
    if (strcmp(longRoot, "HKEY_CLASSES_ROOT") == 0) return HKEY_CLASSES_ROOT;
    return HKEY_USERS;
}

/* ---- Registry ----------------------------------------------------------- */

/* Deletes root\path with its subkeys, leaf first (the NT modes refuse a key
 * that has subkeys). 0 when it is gone or was never there. */
static LONG DeleteTree(HKEY root, const char* path) {
    HKEY key;
    LONG status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_FILE_NOT_FOUND) return 0;
    if (status != 0) return status;
    for (;;) {
        char name[256], sub[1024];
        DWORD n = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &n, NULL, NULL, NULL, NULL) != 0) break;
        snprintf(sub, sizeof sub, "%s\\%s", path, name);
        status = DeleteTree(root, sub);
        if (status != 0) break;
    }
    RegCloseKey(key);
    if (status != 0) return status;
    return RegDeleteKeyA(root, path);
}

static LONG DeleteKeyPath(const char* fullPath) {
    const char *root, *rest;
    if (!ScSplitRoot(fullPath, &root, &rest)) return ERROR_BAD_PATHNAME;
    return DeleteTree(RootKey(root), rest);
}

/* One .reg value line's name and data; 0 when malformed. */
static int ParseRegValue(const char* line, char* name, BYTE* data, DWORD* size, DWORD* type, int* remove) {
    const char* p = line;
    size_t n = 0;
    *remove = 0;
    if (*p == '@') {
        ++p;
    } else if (*p == '"') {
        for (++p; *p != '"'; ++p) {
            if (*p == 0) return 0;
            if (*p == '\\' && p[1] != 0) ++p;
            name[n++] = *p;
        }
        ++p;
    } else {
        return 0;
    }
    name[n] = 0;
    if (*p++ != '=') return 0;
    *size = 0;
    if (strcmp(p, "-") == 0) {
        *remove = 1;
        return 1;
    }
    if (*p == '"') {
        for (++p; *p != '"'; ++p) {
            if (*p == 0) return 0;
            if (*p == '\\' && p[1] != 0) ++p;
            data[(*size)++] = (BYTE)*p;
        }
        if (p[1] != 0) return 0;
        data[(*size)++] = 0;
        *type = REG_SZ;
        return 1;
    }
    if (strncmp(p, "dword:", 6) == 0) {
        unsigned long v;
        char hex[16];
        if (strlen(p + 6) != 8) return 0;
        snprintf(hex, sizeof hex, "0x%s", p + 6);
        if (!ScParseNumber(hex, &v)) return 0;
        memcpy(data, &v, 4);
        *size = 4;
        *type = REG_DWORD;
        return 1;
    }
    if (strncmp(p, "hex", 3) == 0) {
        p += 3;
        *type = REG_BINARY;
        if (*p == '(') {
            char* close;
            *type = strtoul(p + 1, &close, 16);
            if (*close != ')') return 0;
            p = close + 1;
        }
        if (*p++ != ':') return 0;
        while (*p != 0) {
            unsigned v;
            if (sscanf(p, "%2x", &v) != 1) return 0;
            data[(*size)++] = (BYTE)v;
            p += 2;
            if (*p == ',') ++p;
        }
        return 1;
    }
    return 0;
}

/* Applies the scenario's .reg lines; a failed step becomes a line. */
static void ApplyReg(const ScLines* reg, ScLines* problems) {
    static BYTE data[65536 + 1];
    HKEY current = NULL;
    int i;
    for (i = 0; i < reg->count; ++i) {
        const char* line = reg->items[i];
        if (line[0] == '[') {
            char path[1024];
            const char *root, *rest;
            int remove = line[1] == '-';
            snprintf(path, sizeof path, "%s", line + (remove ? 2 : 1));
            if (strlen(path) > 0 && path[strlen(path) - 1] == ']') path[strlen(path) - 1] = 0;
            if (current != NULL) RegCloseKey(current);
            current = NULL;
            if (!ScSplitRoot(path, &root, &rest)) {
                AddFormat(problems, "setup: unknown root in %s", path);
                continue;
            }
            if (remove) {
                DeleteTree(RootKey(root), rest);
            } else {
                LONG status = RegCreateKeyA(RootKey(root), rest, &current);
                if (status != 0) {
                    AddFormat(problems, "setup: RegCreateKeyA %s gave %ld", path, status);
                    current = NULL;
                }
            }
        } else {
            char name[1024];
            DWORD size, type;
            int remove;
            LONG status;
            if (!ParseRegValue(line, name, data, &size, &type, &remove)) {
                AddFormat(problems, "setup: not a value line: %s", line);
                continue;
            }
            if (current == NULL) continue;
            /* A byte that is not zero after the data: NT's RegSetValueExA
             * adds a terminator to a text whose size leaves it out when a
             * zero follows, and the scenario gives the bytes to store. */
            data[size] = 1;
            status = remove ? RegDeleteValueA(current, name) : RegSetValueExA(current, name, 0, type, data, size);
            if (status != 0 && !remove) AddFormat(problems, "setup: RegSetValueExA %s gave %ld", line, status);
        }
    }
    if (current != NULL) RegCloseKey(current);
}

static void DumpKey(HKEY root, const char* rest, const char* shown, ScLines* out) {
    static char name[16384];
    static BYTE data[65536];
    HKEY key;
    DWORD i;
    ScLines subkeys = {0, 0, 0};
    int j;
    if (RegOpenKeyExA(root, rest, 0, KEY_READ, &key) != 0) return;
    AddFormat(out, "[%s]", shown);
    for (i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        char* line;
        if (RegEnumValueA(key, i, name, &nameSize, NULL, &type, data, &dataSize) != 0) break;
        line = ScValueLine(name, type, data, dataSize);
        ScLinesAdd(out, line);
        free(line);
    }
    for (i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, NULL, NULL, NULL, NULL) != 0) break;
        ScLinesAdd(&subkeys, name);
    }
    RegCloseKey(key);
    for (j = 0; j < subkeys.count; ++j) {
        char subRest[1024], subShown[1024];
        snprintf(subRest, sizeof subRest, "%s\\%s", rest, subkeys.items[j]);
        snprintf(subShown, sizeof subShown, "%s\\%s", shown, subkeys.items[j]);
        DumpKey(root, subRest, subShown, out);
    }
    ScLinesFree(&subkeys);
}

static void ShowKey(const char* fullPath, ScLines* out) {
    const char *root, *rest;
    int from = out->count;
    if (!ScSplitRoot(fullPath, &root, &rest)) return;
    DumpKey(RootKey(root), rest, fullPath, out);
    if (out->count == from)
        AddFormat(out, "[-%s]", fullPath);
    else
        ScSortValueRuns(out, from);
}

/* ---- Files ------------------------------------------------------------- */

enum { MaxHeld = 16 };
static HANDLE g_held[MaxHeld];          /* files held open (in use) */
static char g_heldPath[MaxHeld][MAX_PATH];
static int g_heldCount;

static void ReleaseHeld(void) {
    int i;
    for (i = 0; i < g_heldCount; ++i) CloseHandle(g_held[i]);
    g_heldCount = 0;
}

static int IsHeld(const char* path) {
    int i;
    for (i = 0; i < g_heldCount; ++i)
        if (lstrcmpiA(g_heldPath[i], path) == 0) return 1;
    return 0;
}

static void DeletePath(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WIN32_FIND_DATAA found;
        char pattern[MAX_PATH + 4];
        HANDLE search;
        snprintf(pattern, sizeof pattern, "%s\\*", path);
        search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                char entry[MAX_PATH * 2];
                if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
                snprintf(entry, sizeof entry, "%s\\%s", path, found.cFileName);
                DeletePath(entry);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path);
    } else {
        DeleteFileA(path);
    }
}

static void MakeFolders(const char* path, int includeLast) {
    char partial[MAX_PATH * 2];
    size_t i, n = strlen(path);
    for (i = 3; i <= n; ++i) {
        if (path[i] == '\\' || (i == n && includeLast)) {
            memcpy(partial, path, i);
            partial[i] = 0;
            CreateDirectoryA(partial, NULL);
        }
    }
}

/* The do-nothing driver image that "driver-image" files get (next to this
 * program). */
static char g_driverImage[MAX_PATH];

static void MakeFiles(const ScLines* files, ScLines* problems) {
    int i;
    for (i = 0; i < files->count; ++i) {
        char path[MAX_PATH * 2];
        DWORD attributes = 0;
        int inUse = 0, driverImage = 0, changed = 1;
        size_t n;
        snprintf(path, sizeof path, "%s", files->items[i]);
        /* The attribute words are the last ones. */
        while (changed) {
            char* blank = strrchr(path, ' ');
            changed = 0;
            if (blank == NULL) break;
            if (strcmp(blank + 1, "readonly") == 0) attributes |= FILE_ATTRIBUTE_READONLY, changed = 1;
            else if (strcmp(blank + 1, "hidden") == 0) attributes |= FILE_ATTRIBUTE_HIDDEN, changed = 1;
            else if (strcmp(blank + 1, "system") == 0) attributes |= FILE_ATTRIBUTE_SYSTEM, changed = 1;
            else if (strcmp(blank + 1, "in-use") == 0) inUse = 1, changed = 1;
            else if (strcmp(blank + 1, "driver-image") == 0) driverImage = 1, changed = 1;
            if (changed) *blank = 0;
        }
        n = strlen(path);
        if (n > 0 && path[n - 1] == '\\') {
            path[n - 1] = 0;
            MakeFolders(path, 1);
        } else if (driverImage) {
            MakeFolders(path, 0);
            if (!CopyFileA(g_driverImage, path, FALSE))
                AddFormat(problems, "setup: CopyFileA %s to %s gave %lu", g_driverImage, path, GetLastError());
        } else {
            HANDLE file;
            MakeFolders(path, 0);
            file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
            if (file == INVALID_HANDLE_VALUE) {
                AddFormat(problems, "setup: CreateFileA %s gave %lu", path, GetLastError());
                continue;
            }
            if (inUse && g_heldCount < MaxHeld) {
                g_held[g_heldCount] = file;
                snprintf(g_heldPath[g_heldCount], MAX_PATH, "%s", path);
                ++g_heldCount;
            } else {
                CloseHandle(file);
            }
        }
        if (attributes != 0 && !SetFileAttributesA(path, attributes))
            AddFormat(problems, "setup: SetFileAttributesA %s gave %lu", path, GetLastError());
    }
}

static void Suffix(char* line, size_t capacity, DWORD attributes, const char* path) {
    if (attributes & FILE_ATTRIBUTE_READONLY) strncat(line, " readonly", capacity - strlen(line) - 1);
    if (attributes & FILE_ATTRIBUTE_HIDDEN) strncat(line, " hidden", capacity - strlen(line) - 1);
    if (attributes & FILE_ATTRIBUTE_SYSTEM) strncat(line, " system", capacity - strlen(line) - 1);
    if (IsHeld(path)) strncat(line, " in-use", capacity - strlen(line) - 1);
}

/* path: the real path; shown: as the listing writes it. */
static void ListPath(const char* path, const char* shown, DWORD attributes, ScLines* out) {
    char line[MAX_PATH * 3];
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        snprintf(line, sizeof line, "%s", shown);
        Suffix(line, sizeof line, attributes, path);
        ScLinesAdd(out, line);
    } else {
        WIN32_FIND_DATAA found;
        char pattern[MAX_PATH * 2];
        HANDLE search;
        int entries = 0;
        snprintf(pattern, sizeof pattern, "%s\\*", path);
        search = FindFirstFileA(pattern, &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                char entry[MAX_PATH * 2], entryShown[MAX_PATH * 2];
                if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
                ++entries;
                snprintf(entry, sizeof entry, "%s\\%s", path, found.cFileName);
                snprintf(entryShown, sizeof entryShown, "%s\\%s", shown, found.cFileName);
                ListPath(entry, entryShown, found.dwFileAttributes, out);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (entries == 0) {
            snprintf(line, sizeof line, "%s\\", shown);
            Suffix(line, sizeof line, attributes & ~FILE_ATTRIBUTE_DIRECTORY, path);
            ScLinesAdd(out, line);
        }
    }
}

static void ShowPath(const char* path, ScLines* out) {
    DWORD attributes = GetFileAttributesA(path);
    int from = out->count;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        AddFormat(out, "gone %s", path);
        return;
    }
    ListPath(path, path, attributes, out);
    ScSortLines(out, from);
}

/* ---- Services ----------------------------------------------------------- */

/* The value of KEY= among a service line's tokens, unquoted; null if absent. */
static const char* ServiceField(const ScLines* tokens, const char* key, char* buffer, int capacity) {
    int i;
    size_t n = strlen(key);
    for (i = 2; i < tokens->count; ++i) {
        const char* t = tokens->items[i];
        if (strncmp(t, key, n) == 0 && t[n] == '=') {
            if (t[n + 1] == '"') return ScUnquote(t + n + 1, buffer, capacity) >= 0 ? buffer : NULL;
            snprintf(buffer, (size_t)capacity, "%s", t + n + 1);
            return buffer;
        }
    }
    return NULL;
}

static void DeleteService_(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service;
    SERVICE_STATUS status;
    if (manager == NULL) return;
    service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (service != NULL) {
        int wait;
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            for (wait = 0; wait < 50 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; ++wait)
                Sleep(100);
        DeleteService(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

static void MakeServices(const ScLines* services, ScLines* problems) {
    int i;
    for (i = 0; i < services->count; ++i) {
        ScLines tokens = {0, 0, 0};
        char type[32], start[32], error[32], image[1024], group[256], display[512], running[8];
        SC_HANDLE manager, service;
        ScTokenize(services->items[i], &tokens);
        manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
        if (manager == NULL) {
            AddFormat(problems, "setup: OpenSCManagerA gave %lu", GetLastError());
            ScLinesFree(&tokens);
            continue;
        }
        service = CreateServiceA(
            manager, tokens.items[1], ServiceField(&tokens, "display", display, sizeof display), SERVICE_ALL_ACCESS,
            strtoul(ServiceField(&tokens, "type", type, sizeof type) ? type : "1", NULL, 0),
            strtoul(ServiceField(&tokens, "start", start, sizeof start) ? start : "3", NULL, 0),
            strtoul(ServiceField(&tokens, "error", error, sizeof error) ? error : "1", NULL, 0),
            ServiceField(&tokens, "image", image, sizeof image) ? image : "", ServiceField(&tokens, "group", group, sizeof group),
            NULL, NULL, NULL, NULL);
        if (service == NULL) {
            AddFormat(problems, "setup: CreateServiceA %s gave %lu", tokens.items[1], GetLastError());
        } else {
            if (ServiceField(&tokens, "running", running, sizeof running) && strcmp(running, "1") == 0 &&
                !StartServiceA(service, 0, NULL))
                AddFormat(problems, "setup: StartServiceA %s gave %lu", tokens.items[1], GetLastError());
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        ScLinesFree(&tokens);
    }
}

static void ShowService(const char* name, ScLines* out) {
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS), service;
    SERVICE_STATUS status;
    if (manager == NULL) {
        AddFormat(out, "service %s: no service manager (%lu)", name, GetLastError());
        return;
    }
    service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service == NULL) {
        AddFormat(out, "service %s gone", name);
    } else {
        if (QueryServiceStatus(service, &status))
            AddFormat(out, "service %s %s", name, status.dwCurrentState == SERVICE_STOPPED ? "stopped" : "running");
        else
            AddFormat(out, "service %s status unknown (%lu)", name, GetLastError());
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

/* ---- INF files ---------------------------------------------------------- */

static void WriteTextFile(const char* path, const char* text, ScLines* problems) {
    HANDLE file;
    DWORD written;
    MakeFolders(path, 0);
    file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        AddFormat(problems, "setup: CreateFileA %s gave %lu", path, GetLastError());
        return;
    }
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
}

/* The system's INF folder. */
static void InfFolder(char* folder, size_t capacity) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    snprintf(folder, capacity, "%s\\inf", windows);
}

/* The copies the scenario's INF files may have left: oemN.inf with their
 * .pnf files, and copies under a source's own name (with its .pnf). */
static void RemoveInfCopies(const ScLines* sources) {
    char folder[MAX_PATH], pattern[MAX_PATH + 16];
    const char* kinds[2] = {"oem*.inf", "oem*.pnf"};
    int k, i;
    InfFolder(folder, sizeof folder);
    for (i = 0; i < sources->count; ++i) {
        const char* name = strrchr(sources->items[i], '\\');
        char path[MAX_PATH * 2];
        size_t n;
        name = name ? name + 1 : sources->items[i];
        snprintf(path, sizeof path, "%s\\%s", folder, name);
        DeleteFileA(path);
        n = strlen(path);
        if (n > 4 && _stricmp(path + n - 4, ".inf") == 0) {
            strcpy(path + n - 4, ".pnf");
            DeleteFileA(path);
        }
    }
    for (k = 0; k < 2; ++k) {
        WIN32_FIND_DATAA found;
        HANDLE search;
        snprintf(pattern, sizeof pattern, "%s\\%s", folder, kinds[k]);
        search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            char path[MAX_PATH * 2];
            snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName);
            DeleteFileA(path);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
}

/* The .inf files of the INF folder, by name. */
static void InfFiles(ScLines* names) {
    char folder[MAX_PATH], pattern[MAX_PATH + 16];
    WIN32_FIND_DATAA found;
    HANDLE search;
    InfFolder(folder, sizeof folder);
    snprintf(pattern, sizeof pattern, "%s\\*.inf", folder);
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        ScLinesAdd(names, found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static int Listed(const ScLines* names, const char* name) {
    int i;
    for (i = 0; i < names->count; ++i)
        if (lstrcmpiA(names->items[i], name) == 0) return 1;
    return 0;
}

/* "inf copy DRIVERVER-LINE" for each .inf file of the INF folder that was
 * not there before the calls: the copies they made (the name a copy gets
 * is the device installer's choice and not shown), sorted. */
static void ShowInfCopies(const ScLines* before, ScLines* out) {
    char folder[MAX_PATH];
    ScLines now = {0, 0, 0};
    int from = out->count, i;
    InfFolder(folder, sizeof folder);
    InfFiles(&now);
    for (i = 0; i < now.count; ++i) {
        char path[MAX_PATH * 2], text[4096], version[256], *line;
        DWORD read = 0;
        HANDLE file;
        if (Listed(before, now.items[i])) continue;
        snprintf(path, sizeof path, "%s\\%s", folder, now.items[i]);
        file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        text[0] = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, text, sizeof text - 1, &read, NULL);
            text[read] = 0;
            CloseHandle(file);
        }
        snprintf(version, sizeof version, "no DriverVer");
        for (line = text; *line != 0;) {
            size_t n = strcspn(line, "\r\n");
            if (_strnicmp(line, "DriverVer", 9) == 0 && strcmp(version, "no DriverVer") == 0)
                snprintf(version, sizeof version, "%.*s", (int)n, line);
            line += n;
            while (*line == '\r' || *line == '\n') ++line;
        }
        AddFormat(out, "inf copy %s", version);
    }
    ScLinesFree(&now);
    ScSortLines(out, from);
}

/* ---- Exports ------------------------------------------------------------ */

typedef struct Resolved {
    void* byName;
    void* byOrdinal;
} Resolved;

static HMODULE g_dll;
static ScSuite g_suite;
static Resolved* g_resolved;

/* The harmless-or-real call of one export with argument tokens; renders
 * what a scenario shows for it unless `quiet`. Returns bytes removed. */
typedef struct CallState {
    unsigned short index;
    char name[ScNameBufferSize];
} CallState;

/* The system's texts of the scenario's `message` codes. */
static ScLines g_messageCodes;
static char** g_messageTexts;

static void LoadMessages(const ScLines* codes) {
    int i;
    g_messageCodes = *codes;
    g_messageTexts = (char**)calloc((size_t)codes->count + 1, sizeof(char*));
    for (i = 0; i < codes->count; ++i) {
        unsigned long code = 0;
        g_messageTexts[i] = (char*)calloc(MAX_PATH, 1);
        ScParseNumber(codes->items[i], &code);
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, 0, g_messageTexts[i], MAX_PATH, NULL);
    }
}

static void FreeMessages(void) {
    int i;
    for (i = 0; i < g_messageCodes.count; ++i) free(g_messageTexts[i]);
    free(g_messageTexts);
    g_messageTexts = NULL;
    memset(&g_messageCodes, 0, sizeof g_messageCodes);
}

static long CallWith(void* function, const char* exportName, const ScLines* tokens, unsigned long lastError,
                     CallState* state, ScLines* out, int quiet, int showLastError) {
    unsigned long args[16];
    ScArg* parsed = (ScArg*)calloc((size_t)(tokens->count + 1), sizeof(ScArg));
    char before[ScNameBufferSize];
    long result, removed = 0;
    unsigned long clobbered = 0, after;
    int i, usesIndex = 0, usesName = 0;
    for (i = 0; i < tokens->count && i < 16; ++i) {
        ScParseArgument(tokens->items[i], &parsed[i]);
        switch (parsed[i].kind) {
        case ScArgNumber: args[i] = parsed[i].number; break;
        case ScArgText: args[i] = (unsigned long)(ULONG_PTR)parsed[i].text; break;
        case ScArgIndexPointer: args[i] = (unsigned long)(ULONG_PTR)&state->index; usesIndex = 1; break;
        case ScArgNamePointer: args[i] = (unsigned long)(ULONG_PTR)state->name; usesName = 1; break;
        case ScArgIndexValue: args[i] = state->index; break;
        }
    }
    memcpy(before, state->name, sizeof before);
    ScLinesFree(&g_captured);
    SetLastError(lastError);
    result = CallExport(function, args, (unsigned long)tokens->count, &removed, &clobbered);
    after = GetLastError();
    if (!quiet) {
        AddFormat(out, "call %s", exportName);
        AddFormat(out, "result %ld", result);
        if (showLastError) AddFormat(out, "lasterror %lu", after);
        if (removed != 4L * tokens->count)
            AddFormat(out, "stack: %s removed %ld bytes, %d expected", exportName, removed, 4 * tokens->count);
        if (clobbered != 0)
            AddFormat(out, "registers: %s changed%s%s%s", exportName, (clobbered & 1) ? " EBX" : "",
                      (clobbered & 2) ? " ESI" : "", (clobbered & 4) ? " EDI" : "");
        if (usesIndex) AddFormat(out, "index %u", state->index);
        if (usesName) {
            char* line = ScNameLine(state->name, before);
            ScLinesAdd(out, line);
            free(line);
        }
        for (i = 0; i < g_captured.count; ++i) {
            char* line = ScTraceLine(g_captured.items[i], &g_messageCodes, g_messageTexts);
            ScLinesAdd(out, line);
            free(line);
        }
    } else if (clobbered != 0) {
        AddFormat(out, "registers: %s changed%s%s%s", exportName, (clobbered & 1) ? " EBX" : "",
                  (clobbered & 2) ? " ESI" : "", (clobbered & 4) ? " EDI" : "");
    }
    ScLinesFree(&g_captured);
    free(parsed);
    return removed;
}

/* The export table as the DLL has it: each row by name and ordinal, the
 * bytes a call removes, and any export the table does not list. */
static void ShowExports(ScLines* out) {
    BYTE* base = (BYTE*)g_dll;
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY* dir = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    int i;
    for (i = 0; i < g_suite.exportCount; ++i) {
        const ScExport* row = &g_suite.exports[i];
        const Resolved* r = &g_resolved[i];
        CallState state;
        if (r->byName == NULL && r->byOrdinal == NULL) {
            AddFormat(out, "export %s missing", row->name);
        } else if (r->byName == NULL) {
            AddFormat(out, "export %s missing by name", row->name);
        } else if (r->byOrdinal == NULL) {
            AddFormat(out, "export %s @%d missing", row->name, row->ordinal);
        } else if (r->byName != r->byOrdinal) {
            AddFormat(out, "export %s @%d is another function", row->name, row->ordinal);
        } else {
            long removed;
            state.index = ScIndexFilling;
            ScFillName(state.name);
            removed = CallWith(r->byOrdinal, row->name, &row->args, 0, &state, out, 1, 0);
            AddFormat(out, "export %s @%d removes %ld bytes", row->name, row->ordinal, removed);
        }
    }
    if (dir->VirtualAddress != 0) {
        IMAGE_EXPORT_DIRECTORY* exports = (IMAGE_EXPORT_DIRECTORY*)(base + dir->VirtualAddress);
        DWORD* names = (DWORD*)(base + exports->AddressOfNames);
        WORD* ordinals = (WORD*)(base + exports->AddressOfNameOrdinals);
        DWORD k;
        for (k = 0; k < exports->NumberOfNames; ++k) {
            const char* name = (const char*)(base + names[k]);
            if (ScFindExport(&g_suite, name) == NULL)
                AddFormat(out, "export %s @%lu not in the table", name, (unsigned long)(ordinals[k] + exports->Base));
        }
        if (exports->NumberOfFunctions != exports->NumberOfNames)
            AddFormat(out, "exports: %lu functions, %lu names", (unsigned long)exports->NumberOfFunctions,
                      (unsigned long)exports->NumberOfNames);
    }
}

/* ---- Scenarios ---------------------------------------------------------- */

static void Teardown(const ScView* view) {
    int i;
    ReleaseHeld();
    for (i = 0; i < view->owns.count; ++i) DeleteKeyPath(view->owns.items[i]);
    for (i = 0; i < view->paths.count; ++i) DeletePath(view->paths.items[i]);
    for (i = 0; i < view->serviceNames.count; ++i) DeleteService_(view->serviceNames.items[i]);
    for (i = 0; i < view->infPaths.count; ++i) DeletePath(view->infPaths.items[i]);
    if (view->infPaths.count > 0) RemoveInfCopies(&view->infPaths);
}

static void RunScenario(const ScView* view, ScLines* out) {
    ScLines infBefore = {0, 0, 0};
    CallState state;
    int i;
    Teardown(view);
    if (view->windir != NULL) {
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        if (strcmp(windows, view->windir) != 0) AddFormat(out, "windir %s", windows);
    }
    ApplyReg(&view->reg, out);
    MakeFiles(&view->files, out);
    MakeServices(&view->services, out);
    for (i = 0; i < view->infPaths.count; ++i) WriteTextFile(view->infPaths.items[i], view->infTexts.items[i], out);

    if (view->infPaths.count > 0) InfFiles(&infBefore);
    LoadMessages(&view->messages);
    state.index = ScIndexFilling;
    ScFillName(state.name);
    if (view->showExports) ShowExports(out);
    for (i = 0; i < view->callCount; ++i) {
        const ScCall* call = &view->calls[i];
        int row;
        for (row = 0; row < g_suite.exportCount; ++row)
            if (strcmp(g_suite.exports[row].name, call->exportName) == 0) break;
        if (g_resolved[row].byName == NULL) {
            AddFormat(out, "call %s: not exported", call->exportName);
            continue;
        }
        CallWith(g_resolved[row].byName, call->exportName, &call->args, call->lastError, &state, out, 0,
                 view->showLastError);
    }

    for (i = 0; i < view->owns.count; ++i) ShowKey(view->owns.items[i], out);
    for (i = 0; i < view->paths.count; ++i) ShowPath(view->paths.items[i], out);
    ReleaseHeld();
    for (i = 0; i < view->serviceNames.count; ++i) ShowService(view->serviceNames.items[i], out);
    if (view->infPaths.count > 0) ShowInfCopies(&infBefore, out);
    ScLinesFree(&infBefore);
    FreeMessages();
    Teardown(view);
}

static int CheckVersion(int mode) {
    static const DWORD expected[ScModeCount][3] = {{4, 0, 1}, {4, 10, 1}, {4, 90, 1}, {4, 0, 2}, {5, 0, 2}, {5, 1, 2}};
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    if (info.dwMajorVersion == expected[mode][0] && info.dwMinorVersion == expected[mode][1] &&
        info.dwPlatformId == expected[mode][2])
        return 1;
    printf("px714conf: mode %s, but the system reports version %lu.%lu on platform %lu\n", ScModeNames[mode],
           info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId);
    return 0;
}

int main(int argc, char** argv) {
    int mode, i, run = 0, passed = 0;
    FILE* output;
    setvbuf(stdout, NULL, _IONBF, 0);
    if (argc < 4 || (mode = ScModeOf(argv[1])) < 0) {
        printf("usage: px714conf MODE OUTPUT SCENARIO-FILE...\n");
        return 2;
    }
    for (i = 3; i < argc; ++i) {
        if (ScLoadFile(&g_suite, argv[i]) != 0) {
            printf("px714conf: %s\n", g_suite.error);
            return 2;
        }
    }
    if (!CheckVersion(mode)) return 3;

    {
        char* slash;
        GetModuleFileNameA(NULL, g_driverImage, sizeof g_driverImage);
        slash = strrchr(g_driverImage, '\\');
        snprintf(slash ? slash + 1 : g_driverImage, sizeof g_driverImage - (size_t)(slash ? slash + 1 - g_driverImage : 0),
                 "px714null.sys");
    }
    g_dll = LoadLibraryA("px714sup.dll");
    if (g_dll == NULL) {
        printf("px714conf: px714sup.dll was not loaded (%lu)\n", GetLastError());
        return 3;
    }
    if (!PatchImport(g_dll, "KERNEL32.dll", "OutputDebugStringA", (void*)CaptureDebugString)) {
        printf("px714conf: px714sup.dll does not import KERNEL32!OutputDebugStringA\n");
        return 3;
    }
    g_resolved = (Resolved*)calloc((size_t)g_suite.exportCount + 1, sizeof(Resolved));
    for (i = 0; i < g_suite.exportCount; ++i) {
        g_resolved[i].byName = (void*)GetProcAddress(g_dll, g_suite.exports[i].name);
        g_resolved[i].byOrdinal = (void*)GetProcAddress(g_dll, (LPCSTR)(ULONG_PTR)g_suite.exports[i].ordinal);
    }

    output = fopen(argv[2], "wb");
    if (output == NULL) {
        printf("px714conf: %s cannot be written\n", argv[2]);
        return 2;
    }
    for (i = 0; i < g_suite.scenarioCount; ++i) {
        const ScScenario* s = &g_suite.scenarios[i];
        ScView view;
        ScLines out = {0, 0, 0};
        char* diff;
        int k;
        if ((s->modes & (1u << mode)) == 0 || s->hostOnly != NULL) continue;
        ++run;
        if (ScMakeView(&g_suite, s, mode, &view) != 0) {
            AddFormat(&out, "scenario error: %s", view.error);
        } else {
            RunScenario(&view, &out);
            ScSortUnordered(&out, &view);
            ScSortUnordered(&view.expect, &view);
        }
        fprintf(output, "== %s\n", s->name);
        for (k = 0; k < out.count; ++k) fprintf(output, "%s\n", out.items[k]);
        fflush(output);
        diff = ScDiff(&view.expect, &out, "expected", "wine");
        if (diff == NULL) {
            ++passed;
        } else {
            printf("%s %s differs from its expectation:\n%s", ScModeNames[mode], s->name, diff);
            free(diff);
        }
        ScFreeView(&view);
        ScLinesFree(&out);
    }
    fclose(output);
    printf("wine %s: %d scenarios run, %d as expected, %d differing\n", ScModeNames[mode], run, passed, run - passed);
    FreeLibrary(g_dll);
    ScFreeSuite(&g_suite);
    return 0;
}
