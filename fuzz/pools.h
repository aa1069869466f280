// How the export fuzzer turns bytes into a machine and into arguments:
// choices among the names, paths and texts the exports look at, lengths at
// and around every buffer edge, and random bytes where nothing is known.
#ifndef PX714SUP_FUZZ_POOLS_H
#define PX714SUP_FUZZ_POOLS_H

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "sim/machine.h"

namespace px714fuzz {

sim::Os OsArg(FuzzedDataProvider& in);
// Code page, registry trees, device nodes, files, services, INF store and
// faults, from the bytes.
void BuildMachine(FuzzedDataProvider& in, sim::Machine& m);

std::string ServiceNameArg(FuzzedDataProvider& in);
std::string PathArg(FuzzedDataProvider& in);
std::string InfDirectoryArg(FuzzedDataProvider& in);
std::string InfNameArg(FuzzedDataProvider& in);
std::string HardwareIdPrefixArg(FuzzedDataProvider& in);
std::string DisplayNameArg(FuzzedDataProvider& in);
uint32_t DeviceTypeArg(FuzzedDataProvider& in);
uint32_t IndexArg(FuzzedDataProvider& in);

}  // namespace px714fuzz

#endif  // PX714SUP_FUZZ_POOLS_H
