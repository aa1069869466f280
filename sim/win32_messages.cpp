// FormatMessageA over the system's message table: the English texts of the
// codes the simulated machine's operations give, as Windows words them,
// each ending in "\r\n". A code the table does not hold has no text.
#include <cstring>

#include "sim/machine.h"

using sim::Current;

namespace {

const DWORD kErrorMrMidNotFound = 317;  // ERROR_MR_MID_NOT_FOUND: no text for the code

struct Message {
    DWORD code;        // the error code
    const char* text;  // its text, with the line ending Windows gives
};

const Message kSystemMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {234, "More data is available.\r\n"},
    {259, "No more data is available.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1051, "A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058, "The service cannot be started, either because it is disabled or because it has no enabled "
           "devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1065, "The database specified does not exist.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1078, "The name is already in use as either a service name or a service display name.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
};

const char* SystemText(DWORD code) {
    for (const Message& m : kSystemMessages)
        if (m.code == code) return m.text;
    return nullptr;
}

}  // namespace

// Only FORMAT_MESSAGE_FROM_SYSTEM is modelled, with or without
// FORMAT_MESSAGE_IGNORE_INSERTS and FORMAT_MESSAGE_ALLOCATE_BUFFER; the
// texts have no inserts, and every language reads the English table.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     void* arguments) {
    (void)source;
    (void)languageId;
    (void)arguments;
    sim::Machine& m = Current();
    const DWORD known = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~known & 0xFFFFFF00u) != 0 || buffer == nullptr) {
        m.lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const char* text = SystemText(messageId);
    if (text == nullptr) {
        m.lastError = kErrorMrMidNotFound;  // the buffer is not touched
        return 0;
    }
    DWORD length = static_cast<DWORD>(std::strlen(text));
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // buffer is the address of a pointer that receives a LocalAlloc block
        // of at least size bytes.
        DWORD bytes = length + 1 > size ? length + 1 : size;
        char* block = static_cast<char*>(LocalAlloc(LMEM_FIXED, bytes));
        if (block == nullptr) return 0;
        std::memcpy(block, text, length + 1);
        *reinterpret_cast<char**>(buffer) = block;
        return length;
    }
    if (length + 1 > size) {
        m.lastError = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return length;
}
