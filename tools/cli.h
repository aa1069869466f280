// The px714sup command line.
#ifndef PX714SUP_TOOLS_CLI_H
#define PX714SUP_TOOLS_CLI_H

#include <ostream>
#include <string>
#include <vector>

namespace px714tool {

enum ExitCode {
    kExitOk = 0,           // done, whatever the calls returned
    kExitUsage = 1,        // unknown command or option, a missing or bad value, a bad CALL
    kExitBadInput = 2,     // an input file is unreadable or not a well-formed .reg file; nothing ran
    kExitCannotWrite = 3,  // an output file cannot be written
    kExitInternal = 4,     // the simulated machine failed inside a call
};

// Runs one command line (without the program name); the report goes to
// out, errors and progress to err.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_CLI_H
