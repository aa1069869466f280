// SetupCopyOEMInfA over the current machine's INF store and file system.
//
// The source is a file of the file system; its text is what the machine
// holds for it (a file whose contents it does not hold reads as empty, and
// so has no [Version] section). A copy is written into the inf folder as
// oemN.inf with the source's text; SP_COPY_DELETESOURCE deletes the source.
//
// Without a copy style, an INF already in the inf folder (the same text) is
// not copied again and its name is reported; SP_COPY_NOOVERWRITE refuses it
// with ERROR_FILE_EXISTS. SP_COPY_REPLACEONLY copies only over a copy that
// is there (the same text, or a copy of a file of the same name), else
// ERROR_FILE_NOT_FOUND; SP_COPY_NEWER refuses, with ERROR_FILE_EXISTS, to
// put an older DriverVer over that copy.
#include <cstring>
#include <stdexcept>

#include "sim/machine.h"

using sim::Current;
using sim::FileNode;
using sim::InfCopy;

namespace {

BOOL Fail(DWORD code) {
    Current().lastError = code;
    return FALSE;
}

// "oem" followed by digits and ".inf", letter case ignored.
bool IsCopyName(std::string_view name) {
    if (name.size() < 8 || sim::CompareKeyNames(name.substr(0, 3), "oem") != 0 ||
        sim::CompareKeyNames(name.substr(name.size() - 4), ".inf") != 0)
        return false;
    for (char c : name.substr(3, name.size() - 7))
        if (c < '0' || c > '9') return false;
    return true;
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

// The folder's oemN.inf files are the copies: a record whose file has gone
// is dropped, a file the store has no record of is taken in (its origin
// unknown), and each record's text is its file's.
void MatchCopiesToFolder(sim::Machine& m) {
    sim::InfStore& store = m.infs;
    const FileNode* folder = m.files.Lookup(store.folder);
    auto fileOf = [&](const std::string& name) -> const FileNode* {
        const FileNode* file = folder != nullptr && folder->folder ? folder->Find(name) : nullptr;
        return file != nullptr && !file->folder ? file : nullptr;
    };
    std::vector<InfCopy> kept;
    for (InfCopy& copy : store.copies) {
        if (const FileNode* file = fileOf(copy.name)) {
            copy.text = file->text.value_or(std::string());
            kept.push_back(std::move(copy));
        }
    }
    store.copies = std::move(kept);
    if (folder == nullptr || !folder->folder) return;
    for (const FileNode& entry : folder->entries) {
        if (entry.folder || !IsCopyName(entry.name) || store.FindCopy(entry.name) != nullptr) continue;
        store.copies.push_back(InfCopy{entry.name, "", entry.text.value_or(std::string()), "", 0});
    }
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
    sim::ResolvedPath sourcePath;
    // As opening the file says it: a folder that is not there gives
    // ERROR_PATH_NOT_FOUND, a missing file in a folder that is ERROR_FILE_NOT_FOUND.
    if (DWORD error = m.files.Resolve(sourceInfFileName, m.codePage, &sourcePath); error != 0) return Fail(error);
    const FileNode* source = m.files.Node(sourcePath);
    if (source == nullptr) return Fail(m.files.MissingStatus(sourcePath));
    if (source->folder) return Fail(ERROR_ACCESS_DENIED);  // a folder does not open as a file
    const std::string text = source->text.value_or(std::string());
    sim::DriverVersion version;
    if (!sim::InfStore::ReadVersion(text, &version)) return Fail(sim::kErrorWrongInfStyle);
    std::string originalName(FileNamePart(sourceInfFileName));
    MatchCopiesToFolder(m);

    // The copy this file would be: the same text first, else a copy of a
    // file of the same name.
    InfCopy* same = nullptr;
    InfCopy* sameName = nullptr;
    for (InfCopy& copy : store.copies) {
        if (same == nullptr && copy.text == text) same = &copy;
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
    // The file first: an inf folder that cannot hold it (a file in its
    // place) leaves the store as it was.
    const std::string copyName = target != nullptr ? target->name : store.NextCopyName();
    try {
        m.files.SetFileText(store.folder + "\\" + copyName, text);
    } catch (const std::invalid_argument&) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    if (target == nullptr) {
        store.copies.push_back(InfCopy{copyName, "", "", "", 0});
        target = &store.copies.back();
    }
    target->originalName = originalName;
    target->text = text;
    target->mediaLocation = call.mediaLocation;
    target->mediaType = oemSourceMediaType;
    const InfCopy made = *target;
    if (copyStyle & SP_COPY_DELETESOURCE) {
        sim::ResolvedPath parent = sourcePath;
        parent.names.pop_back();
        m.files.Node(parent)->Remove(sourcePath.names.back());
    }
    return ReportName(made, destinationInfFileName, destinationInfFileNameSize, requiredSize,
                      destinationInfFileNameComponent);
}
