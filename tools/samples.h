// The built-in sample machines of `px714sup demo`: .reg texts kept in
// tools/samples/ and compiled into the tool.
#ifndef PX714SUP_TOOLS_SAMPLES_H
#define PX714SUP_TOOLS_SAMPLES_H

#include <string_view>
#include <vector>

#include "sim/machine.h"

namespace px714tool {

struct Sample {
    const char* file;    // its name in tools/samples/
    const char* title;   // what the demo calls it
    sim::Os os;
    std::string_view text;
};

const std::vector<Sample>& Samples();

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_SAMPLES_H
