// What a run changed: the machine before it against the machine after it.
#ifndef PX714SUP_TOOLS_CHANGES_H
#define PX714SUP_TOOLS_CHANGES_H

#include <cstddef>
#include <string>
#include <vector>

#include "sim/machine.h"
#include "sim/regfile.h"

namespace px714tool {

enum class ChangeKind {
    KeyDeleted,         // path; count = values the key held (each also listed as ValueDeleted)
    KeyAdded,           // path (its values follow as ValueAdded)
    ValueDeleted,       // path, valueName, before
    ValueAdded,         // path, valueName, after
    ValueSet,           // path, valueName, before, after
    DeviceNodeRemoved,  // path = device instance ID, detail = its first hardware ID
    ServiceCreated,     // path = service name
    ServiceDeleted,     // path = service name
    FileDeleted,        // path = file path
    FolderRemoved,      // path = folder path
};

const char* ChangeKindName(ChangeKind kind);  // "keyDeleted" ...

struct Change {
    ChangeKind kind = ChangeKind::KeyAdded;
    std::string path;       // see ChangeKind
    std::string valueName;  // value changes
    sim::Value before;      // the value before (deleted, set)
    sim::Value after;       // the value after (added, set)
    std::string detail;     // device nodes: the first hardware ID
    size_t count = 0;       // deleted keys: how many values went with them
};

struct Changes {
    std::vector<Change> items;  // in the order of the registry's keys
    size_t Count(ChangeKind kind) const;
    bool empty() const { return items.empty(); }
};

// Every difference between two machines. The registry: every key and value
// deleted, added or set (key names compare as the registry does, value
// order does not count); device nodes whose Enum instance keys went. The
// service and file differences join here as those parts of the machine
// grow their own comparisons.
Changes DiffMachines(const sim::Machine& before, const sim::Machine& after);
void DiffRegistry(const sim::Registry& before, const sim::Registry& after, Changes* changes);

// A .reg file that, imported with regedit into the registry `after`, gives
// back `before`: [-KEY] for keys the run created, deleted keys re-created
// with their values and subkeys, changed and deleted values set again, new
// values deleted.
std::string UndoReg(const sim::Registry& before, const sim::Registry& after, sim::RegFormat format,
                    unsigned codePage);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_CHANGES_H
