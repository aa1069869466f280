// The simulated machine's INF store (SetupCopyOEMInfA).
//
// Source INFs are files of the machine's file system whose text it holds
// (FileSystem::SetFileText). The system's copies live in the inf folder as
// oemN.inf files; the store remembers, for each, the name its source had
// and the media location it came from. Two INFs are the same INF when
// their texts are identical, as the device installer compares the files
// byte for byte; a copy made from a file of the same name is the copy an
// update replaces.
#ifndef PX714SUP_SIM_INFSTORE_H
#define PX714SUP_SIM_INFSTORE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"

namespace sim {

constexpr DWORD kErrorWrongInfStyle = 0xE0000100;  // ERROR_WRONG_INF_STYLE: no [Version] section

// DriverVer=mm/dd/yyyy[,w.x.y.z] of an INF's [Version] section; an INF
// without one is older than any that has one.
struct DriverVersion {
    unsigned year = 0, month = 0, day = 0;  // the date
    unsigned parts[4] = {0, 0, 0, 0};       // the version numbers
    // Date first, then version: <0, 0 or >0.
    int Compare(const DriverVersion& other) const;
};

struct InfCopy {
    std::string name;           // "oem0.inf" ..., in the inf folder
    std::string originalName;   // the source file's own name ("player.inf")
    std::string text;           // the contents
    std::string mediaLocation;  // OEMSourceMediaLocation as given ("" for none)
    DWORD mediaType = 0;        // SPOST_*
};

// One SetupCopyOEMInfA call, as made.
struct InfCall {
    std::string source;         // SourceInfFileName
    std::string mediaLocation;  // OEMSourceMediaLocation ("" for none)
    bool mediaLocationGiven = false;
    DWORD mediaType = 0;        // OEMSourceMediaType
    DWORD copyStyle = 0;        // CopyStyle
};

class InfStore {
public:
    std::string folder = "C:\\WINDOWS\\inf";  // where the copies live

    // The copies, in the order they were made; oemN.inf files found in the
    // folder are taken in as copies of unknown origin (SetupCopyOEMInfA
    // brings this list in line with the folder before it looks at it).
    std::vector<InfCopy> copies;
    std::vector<InfCall> calls;   // every SetupCopyOEMInfA call, in order
    const InfCopy* FindCopy(std::string_view name) const;

    // [Version] DriverVer of an INF text; false when the text has no
    // [Version] section. A missing or unreadable DriverVer reads as zeros.
    static bool ReadVersion(std::string_view text, DriverVersion* version);
    // The lowest free oemN.inf name.
    std::string NextCopyName() const;

    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }
};

}  // namespace sim

#endif  // PX714SUP_SIM_INFSTORE_H
