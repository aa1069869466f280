// The simulated machine's INF store (SetupCopyOEMInfA).
//
// Source INF files are registered with the store by their full path; the
// system's copies live in the inf folder as oemN.inf, each remembering the
// name its source had and the media location it came from. Two INFs are
// the same INF when their texts are identical, as the device installer
// compares the files byte for byte; a copy made from a file of the same
// name is the copy an update replaces.
#ifndef PX714SUP_SIM_INFSTORE_H
#define PX714SUP_SIM_INFSTORE_H

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32.h"
#include "sim/services.h"

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

    // Registers (or replaces) the source INF at path.
    void AddSource(std::string_view path, std::string_view text);
    void RemoveSource(std::string_view path);
    // The text of the source at path; null when there is none.
    const std::string* Source(std::string_view path) const;
    // True when a source lies directly in the folder (no trailing backslash).
    bool HasSourceIn(std::string_view folder) const;

    std::vector<InfCopy> copies;  // in the order they were made
    std::vector<InfCall> calls;   // every SetupCopyOEMInfA call, in order
    const InfCopy* FindCopy(std::string_view name) const;

    // [Version] DriverVer of an INF text; false when the text has no
    // [Version] section. A missing or unreadable DriverVer reads as zeros.
    static bool ReadVersion(std::string_view text, DriverVersion* version);
    // The lowest free oemN.inf name.
    std::string NextCopyName() const;

    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }

private:
    std::map<std::string, std::string, NoCaseLess> sources_;  // path -> text
};

}  // namespace sim

#endif  // PX714SUP_SIM_INFSTORE_H
