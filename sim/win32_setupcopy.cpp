// SetupCopyOEMInfA over the current machine's INF store.
//
// Without a copy style, an INF already in the inf folder (the same text) is
// not copied again and its name is reported; SP_COPY_NOOVERWRITE refuses it
// with ERROR_FILE_EXISTS. SP_COPY_REPLACEONLY copies only over a copy that
// is there (the same text, or a copy of a file of the same name), else
// ERROR_FILE_NOT_FOUND; SP_COPY_NEWER refuses, with ERROR_FILE_EXISTS, to
// put an older DriverVer over that copy.
#include <cstring>

#include "sim/machine.h"

using sim::Current;
using sim::InfCopy;

namespace {

BOOL Fail(DWORD code) {
    Current().lastError = code;
    return FALSE;
}

std::string_view FileNamePart(std::string_view path) {
    size_t slash = path.find_last_of("\\/:");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The copy's full path into the caller's buffer, as the call reports it.
BOOL ReportName(const InfCopy& copy, LPSTR buffer, DWORD size, LPDWORD requiredSize, LPSTR* component) {
    const std::string& folder = Current().infs.folder;
    std::string full = folder + "\\" + copy.name;
    DWORD need = static_cast<DWORD>(full.size() + 1);
    if (requiredSize != nullptr) *requiredSize = need;
    if (buffer == nullptr) return TRUE;
    if (size < need) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, full.c_str(), need);
    if (component != nullptr) *component = buffer + folder.size() + 1;
    return TRUE;
}

}  // namespace

BOOL SetupCopyOEMInfA(LPCSTR sourceInfFileName, LPCSTR oemSourceMediaLocation, DWORD oemSourceMediaType,
                      DWORD copyStyle, LPSTR destinationInfFileName, DWORD destinationInfFileNameSize,
                      LPDWORD requiredSize, LPSTR* destinationInfFileNameComponent) {
    sim::Machine& m = Current();
    sim::InfStore& store = m.infs;
    sim::InfCall call;
    call.source = sourceInfFileName ? sourceInfFileName : "";
    call.mediaLocationGiven = oemSourceMediaLocation != nullptr;
    call.mediaLocation = oemSourceMediaLocation ? oemSourceMediaLocation : "";
    call.mediaType = oemSourceMediaType;
    call.copyStyle = copyStyle;
    store.calls.push_back(call);

    if (sourceInfFileName == nullptr || oemSourceMediaType > SPOST_URL ||
        (destinationInfFileName == nullptr && destinationInfFileNameSize != 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (auto code = m.CheckFault("SetupCopyOEMInfA", sourceInfFileName)) return Fail(*code);
    const std::string* text = store.Source(sourceInfFileName);
    if (text == nullptr) {
        // As opening the file says it: a folder that is not there (neither
        // in the file system nor holding a source; a drive's root always
        // is) gives ERROR_PATH_NOT_FOUND.
        std::string_view source(sourceInfFileName);
        size_t slash = source.find_last_of('\\');
        std::string_view folder = slash == std::string_view::npos ? std::string_view() : source.substr(0, slash);
        const sim::FileNode* node = folder.empty() ? nullptr : m.files.Lookup(folder);
        bool folderThere = folder.empty() || (folder.size() == 2 && folder[1] == ':') ||
                           (node != nullptr && node->folder) || store.HasSourceIn(folder);
        return Fail(folderThere ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }
    sim::DriverVersion version;
    if (!sim::InfStore::ReadVersion(*text, &version)) return Fail(sim::kErrorWrongInfStyle);
    std::string originalName(FileNamePart(sourceInfFileName));

    // The copy this file would be: the same text first, else a copy of a
    // file of the same name.
    InfCopy* same = nullptr;
    InfCopy* sameName = nullptr;
    for (InfCopy& copy : store.copies) {
        if (same == nullptr && copy.text == *text) same = &copy;
        if (sameName == nullptr && sim::CompareKeyNames(copy.originalName, originalName) == 0) sameName = &copy;
    }

    InfCopy* target = nullptr;
    if (same != nullptr) {
        if (copyStyle & SP_COPY_NOOVERWRITE) {
            ReportName(*same, destinationInfFileName, destinationInfFileNameSize, requiredSize,
                       destinationInfFileNameComponent);
            return Fail(ERROR_FILE_EXISTS);
        }
        target = same;
    } else if (sameName != nullptr && (copyStyle & (SP_COPY_REPLACEONLY | SP_COPY_NEWER))) {
        target = sameName;
    } else if (copyStyle & SP_COPY_REPLACEONLY) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }

    if (target != nullptr && (copyStyle & SP_COPY_NEWER)) {
        sim::DriverVersion present;
        sim::InfStore::ReadVersion(target->text, &present);
        if (version.Compare(present) < 0) return Fail(ERROR_FILE_EXISTS);
    }
    if (target == nullptr) {
        store.copies.push_back(InfCopy{store.NextCopyName(), "", "", "", 0});
        target = &store.copies.back();
    }
    target->originalName = originalName;
    target->text = *text;
    target->mediaLocation = call.mediaLocation;
    target->mediaType = oemSourceMediaType;
    const InfCopy made = *target;
    if (copyStyle & SP_COPY_DELETESOURCE) store.RemoveSource(sourceInfFileName);
    return ReportName(made, destinationInfFileName, destinationInfFileNameSize, requiredSize,
                      destinationInfFileNameComponent);
}
