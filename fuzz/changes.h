// What one export call changed on the simulated machine: the differences
// between a copy of the machine taken before the call and the machine
// after it, one entry per key, value, file, service or INF copy.
//
// Only what the call leaves behind counts: the trace, the last error, the
// flush counter, the search and call logs and the fault counters are not
// compared.
#ifndef PX714SUP_FUZZ_CHANGES_H
#define PX714SUP_FUZZ_CHANGES_H

#include <string>
#include <vector>

#include "sim/machine.h"

namespace px714check {

struct Change {
    enum Kind {
        KeyAdded,            // a registry key that was not there
        KeyRemoved,          // a registry key that is gone (each key of a removed subtree)
        KeyFlagsChanged,     // a key's access restriction changed
        ValueAdded,          // a value in a key that was there before
        ValueRemoved,
        ValueChanged,        // type or data
        FileAdded,           // a file or folder
        FileRemoved,         // each entry of a removed folder too
        FileChanged,         // attributes, in-use state, size, or file turned folder
        ServiceStateChanged, // running or marked-for-deletion state
        InfCopyAdded,
        InfCopyRemoved,
        InfCopyChanged,
    };
    Kind kind;
    // Registry: the root's long name and the key names below it. Files: the
    // drive letter with its colon ("C:") and the names below the drive.
    std::vector<std::string> path;
    std::string name;     // value name, service name or INF copy name
    bool folder = false;  // file changes: the entry is (or was) a folder
    // ValueAdded / ValueChanged: the value as it is afterwards.
    DWORD newType = 0;
    std::vector<uint8_t> newData;

    std::string Describe() const;
};

// The differences between two states of one machine. Service states are
// compared for every service either registry holds, and for the extra
// names given.
std::vector<Change> Diff(const sim::Machine& before, const sim::Machine& after,
                         const std::vector<std::string>& extraServiceNames = {});

// Registry paths as the allow-lists write them ("HKLM\\SOFTWARE\\X",
// HKCR mapped to HKLM\SOFTWARE\Classes) split into a root's long name and
// key names, by the registry's own rules; false for a path that names no
// key (unknown root, empty name inside, leading backslash).
bool SplitKeyPath(const std::string& fullPath, std::vector<std::string>* parts);

// Letter case ignored, as the registry and the file system compare names.
bool SameName(const std::string& a, const std::string& b);
// True when `path` is `base` or lies below it.
bool AtOrBelow(const std::vector<std::string>& path, const std::vector<std::string>& base);

}  // namespace px714check

#endif  // PX714SUP_FUZZ_CHANGES_H
