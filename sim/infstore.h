// The simulated machine's INF store (SetupCopyOEMInfA).
#ifndef PX714SUP_SIM_INFSTORE_H
#define PX714SUP_SIM_INFSTORE_H

#include <cstddef>
#include <string>

namespace sim {

struct InfStore {
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }
};

}  // namespace sim

#endif  // PX714SUP_SIM_INFSTORE_H
