// The simulated machine's device installer (SetupDi*).
#ifndef PX714SUP_SIM_DEVICES_H
#define PX714SUP_SIM_DEVICES_H

#include <cstddef>
#include <string>

namespace sim {

struct DeviceInstaller {
    // Open handles of this kind, for the leak check.
    size_t OpenHandles() const { return 0; }
};

}  // namespace sim

#endif  // PX714SUP_SIM_DEVICES_H
