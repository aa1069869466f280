// The Win32 subset the library calls, by the platform's own names.
//
// On Windows this is the SDK: <windows.h> and <setupapi.h>. On the host it
// is our own declaration of the same functions, types sized as on 32-bit
// Windows (LONG and DWORD are 32 bits), implemented by the simulated machine
// in sim/. The library includes nothing else for its platform calls.
#ifndef PX714SUP_PLATFORM_WIN32_H
#define PX714SUP_PLATFORM_WIN32_H

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <setupapi.h>

#else  // host build: the simulated machine

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef ULONG_PTR SIZE_T;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef void* HWND;
typedef void* HLOCAL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef BOOL* LPBOOL;
typedef WORD* LPWORD;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD ACCESS_MASK;

struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

struct SC_HANDLE__;
typedef SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

typedef void* HDEVINFO;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)

// Predefined registry roots.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

// Status and last-error codes.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_KEY_DELETED 1018L
#define ERROR_DEPENDENT_SERVICES_RUNNING 1051L
#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053L
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_SERVICE_DISABLED 1058L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072L
#define ERROR_SERVICE_EXISTS 1073L
#define ERROR_DUPLICATE_SERVICE_NAME 1078L
#define ERROR_INVALID_CLASS 0xE0000206L

// Registry value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11

// Registry access rights.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define MAXIMUM_ALLOWED 0x02000000
#define DELETE 0x00010000
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_ALL 0x10000000u

// Version.
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

// Entry point notifications.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Local memory.
#define LMEM_FIXED 0x0000
#define LMEM_MOVEABLE 0x0002
#define LMEM_ZEROINIT 0x0040
#define LPTR 0x0040

// Files.
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

// Messages.
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

// Device installer.
#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define SPDRP_DEVICEDESC 0x00000000
#define SPDRP_HARDWAREID 0x00000001
#define SPDRP_COMPATIBLEIDS 0x00000002
#define SPDRP_SERVICE 0x00000004
#define SPDRP_CLASS 0x00000007
#define SPDRP_CLASSGUID 0x00000008
#define SPDRP_DRIVER 0x00000009
#define SPDRP_MFG 0x0000000B
#define SPDRP_FRIENDLYNAME 0x0000000C
#define SPDRP_LOCATION_INFORMATION 0x0000000D

#define DIF_REMOVE 0x00000005
typedef UINT DI_FUNCTION;

#define SPOST_NONE 0
#define SPOST_PATH 1
#define SPOST_URL 2

#define SP_COPY_DELETESOURCE 0x0000001
#define SP_COPY_REPLACEONLY 0x0000002
#define SP_COPY_NEWER 0x0000004
#define SP_COPY_NEWER_OR_SAME SP_COPY_NEWER
#define SP_COPY_NOOVERWRITE 0x0000008

// Services.
#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_ALL_ACCESS 0xF003F
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_ALL_ACCESS 0xF01FF

#define SERVICE_KERNEL_DRIVER 0x00000001
#define SERVICE_FILE_SYSTEM_DRIVER 0x00000002
#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_WIN32_SHARE_PROCESS 0x00000020

#define SERVICE_BOOT_START 0x00000000
#define SERVICE_SYSTEM_START 0x00000001
#define SERVICE_AUTO_START 0x00000002
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_DISABLED 0x00000004

#define SERVICE_ERROR_IGNORE 0x00000000
#define SERVICE_ERROR_NORMAL 0x00000001
#define SERVICE_ERROR_SEVERE 0x00000002
#define SERVICE_ERROR_CRITICAL 0x00000003

#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_INTERROGATE 0x00000004

#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004

struct FILETIME {
    DWORD dwLowDateTime;   // low 32 bits of the 100-ns count
    DWORD dwHighDateTime;  // high 32 bits
};
typedef FILETIME* PFILETIME;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;  // 148 for this ANSI form
    DWORD dwMajorVersion;       // 4 on 95/98/Me/NT 4.0, 5 on 2000/XP
    DWORD dwMinorVersion;       // 0, 10, 90 on 95/98/Me; 0, 1 on 2000/XP
    DWORD dwBuildNumber;        // build number
    DWORD dwPlatformId;         // VER_PLATFORM_WIN32_WINDOWS or _NT
    CHAR szCSDVersion[128];     // service pack text
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;       // FILE_ATTRIBUTE_* bits
    FILETIME ftCreationTime;      // not modelled
    FILETIME ftLastAccessTime;    // not modelled
    FILETIME ftLastWriteTime;     // not modelled
    DWORD nFileSizeHigh;          // size, high part
    DWORD nFileSizeLow;           // size, low part
    DWORD dwReserved0;            // unused
    DWORD dwReserved1;            // unused
    CHAR cFileName[MAX_PATH];     // entry name, no folder
    CHAR cAlternateFileName[14];  // 8.3 name, empty here
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

struct GUID {
    uint32_t Data1;    // first group
    uint16_t Data2;    // second group
    uint16_t Data3;    // third group
    uint8_t Data4[8];  // last two groups
};
typedef GUID* LPGUID;
typedef const GUID* LPCGUID;

// The 32-bit layout: 28 bytes. Reserved is a DWORD here (ULONG_PTR on
// Windows) so that cbSize matches the DLL's on a 64-bit host.
struct SP_DEVINFO_DATA {
    DWORD cbSize;    // 28
    GUID ClassGuid;  // the node's class
    DWORD DevInst;   // the simulated machine's node number
    DWORD Reserved;  // list member index
};
typedef SP_DEVINFO_DATA* PSP_DEVINFO_DATA;

struct SERVICE_STATUS {
    DWORD dwServiceType;              // SERVICE_*_DRIVER / _PROCESS
    DWORD dwCurrentState;             // SERVICE_STOPPED ... SERVICE_RUNNING
    DWORD dwControlsAccepted;         // SERVICE_ACCEPT_* bits
    DWORD dwWin32ExitCode;            // exit code
    DWORD dwServiceSpecificExitCode;  // service's own code
    DWORD dwCheckPoint;               // progress counter
    DWORD dwWaitHint;                 // milliseconds
};
typedef SERVICE_STATUS* LPSERVICE_STATUS;

// Kernel.
DWORD GetLastError();
void SetLastError(DWORD code);
BOOL GetVersionExA(LPOSVERSIONINFOA info);
void OutputDebugStringA(LPCSTR text);
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL mem);
int lstrlenA(LPCSTR text);
BOOL IsDBCSLeadByte(BYTE test);
UINT GetACP();
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void* arguments);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL FindNextFileA(HANDLE search, LPWIN32_FIND_DATAA data);
BOOL FindClose(HANDLE search);
BOOL DeleteFileA(LPCSTR path);
BOOL RemoveDirectoryA(LPCSTR path);

// Registry.
LONG RegOpenKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyA(HKEY key, LPCSTR subKey, PHKEY result);
LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPSTR className, LPDWORD classLength, PFILETIME lastWriteTime);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataLength);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataLength);
LONG RegQueryInfoKeyA(HKEY key, LPSTR className, LPDWORD classLength, LPDWORD reserved,
                      LPDWORD subKeys, LPDWORD maxSubKeyLength, LPDWORD maxClassLength,
                      LPDWORD values, LPDWORD maxValueNameLength, LPDWORD maxValueLength,
                      LPDWORD securityDescriptor, PFILETIME lastWriteTime);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataLength);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);
LONG RegCloseKey(HKEY key);
LONG RegFlushKey(HKEY key);

// Service control manager.
SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD access);
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                         DWORD access, DWORD serviceType, DWORD startType, DWORD errorControl,
                         LPCSTR binaryPathName, LPCSTR loadOrderGroup, LPDWORD tagId,
                         LPCSTR dependencies, LPCSTR serviceStartName, LPCSTR password);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD access);
BOOL StartServiceA(SC_HANDLE service, DWORD argumentCount, LPCSTR* arguments);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);
BOOL GetServiceDisplayNameA(SC_HANDLE manager, LPCSTR serviceName, LPSTR displayName,
                            LPDWORD size);

// Device installer.
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND parent,
                              DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO list, DWORD memberIndex, PSP_DEVINFO_DATA data);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO list, PSP_DEVINFO_DATA data, DWORD property,
                                       LPDWORD propertyRegDataType, LPBYTE buffer,
                                       DWORD bufferSize, LPDWORD requiredSize);
BOOL SetupDiCallClassInstaller(DI_FUNCTION installFunction, HDEVINFO list,
                               PSP_DEVINFO_DATA data);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO list);
BOOL SetupCopyOEMInfA(LPCSTR sourceInfFileName, LPCSTR oemSourceMediaLocation,
                      DWORD oemSourceMediaType, DWORD copyStyle, LPSTR destinationInfFileName,
                      DWORD destinationInfFileNameSize, LPDWORD requiredSize,
                      LPSTR* destinationInfFileNameComponent);

#endif  // host build

#endif  // PX714SUP_PLATFORM_WIN32_H
