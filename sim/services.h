// The simulated machine's service control manager.
#ifndef PX714SUP_SIM_SERVICES_H
#define PX714SUP_SIM_SERVICES_H

#include <cstddef>
#include <string>

namespace sim {

struct ServiceManager {
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }
};

}  // namespace sim

#endif  // PX714SUP_SIM_SERVICES_H
