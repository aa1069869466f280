// Kernel functions of platform/win32.h over the current machine: last
// error, version, debug output, local memory, the ANSI code page.
#include <cstdlib>
#include <cstring>

#include "sim/machine.h"

using sim::Current;

DWORD GetLastError() { return Current().lastError; }

void SetLastError(DWORD code) { Current().lastError = code; }

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    sim::Machine& m = Current();
    if (info == nullptr) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    // Only the 148-byte ANSI record (or the 156-byte extended one) is accepted.
    if (info->dwOSVersionInfoSize != 148 && info->dwOSVersionInfoSize != 156) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (m.version.queryFails) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    info->dwMajorVersion = m.version.major;
    info->dwMinorVersion = m.version.minor;
    info->dwBuildNumber = m.version.build;
    info->dwPlatformId = m.version.platform;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::strncpy(info->szCSDVersion, m.version.servicePack.c_str(), sizeof(info->szCSDVersion) - 1);
    return TRUE;
}

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    Current().debugOutput.emplace_back(text);
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    sim::Machine& m = Current();
    ++m.allocationCalls;
    if (auto code = m.CheckFault("LocalAlloc")) {
        m.lastError = *code ? *code : ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    void* block = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (block == nullptr) {
        m.lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    m.allocations[block] = bytes;
    return block;
}

HLOCAL LocalFree(HLOCAL mem) {
    if (mem == nullptr) return nullptr;
    sim::Machine& m = Current();
    auto it = m.allocations.find(mem);
    if (it == m.allocations.end()) {
        m.lastError = ERROR_INVALID_HANDLE;
        return mem;
    }
    m.allocations.erase(it);
    std::free(mem);
    return nullptr;
}

int lstrlenA(LPCSTR text) { return text ? static_cast<int>(std::strlen(text)) : 0; }

UINT GetACP() { return Current().codePage; }

BOOL IsDBCSLeadByte(BYTE c) { return sim::IsLeadByteIn(Current().codePage, c) ? TRUE : FALSE; }
