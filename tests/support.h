// Shared test helpers: a machine made current for the test, and checks of
// the trace and of what is left open.
#ifndef PX714SUP_TESTS_SUPPORT_H
#define PX714SUP_TESTS_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/machine.h"

namespace px714test {

// A fixture whose machine is current during the test; at the end nothing
// may be left open.
class MachineTest : public ::testing::Test {
protected:
    explicit MachineTest(sim::Os os = sim::Os::WinXp) : machine(os), scope(machine) {}
    void TearDown() override {
        EXPECT_EQ(machine.OpenHandleCount(), 0u) << machine.OpenHandleReport();
    }
    void Use(sim::Os os) { machine.SetOs(os); }
    const std::vector<std::string>& trace() const { return machine.debugOutput; }

    sim::Machine machine;
    sim::ScopedMachine scope;
};

inline std::vector<std::string> Pieces(std::initializer_list<const char*> list) {
    return std::vector<std::string>(list.begin(), list.end());
}

}  // namespace px714test

#endif  // PX714SUP_TESTS_SUPPORT_H
