// The simulated machine's file system.
#ifndef PX714SUP_SIM_FILESYSTEM_H
#define PX714SUP_SIM_FILESYSTEM_H

#include <cstddef>
#include <string>

namespace sim {

struct FileSystem {
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }
};

}  // namespace sim

#endif  // PX714SUP_SIM_FILESYSTEM_H
