// Calls of the exports on a simulated machine, as a setup program makes
// them: FindLegacyPlayers's outputs kept for the calls after it, each
// call's trace captured, and anything a call leaves open noted.
#ifndef PX714SUP_TOOLS_SESSION_H
#define PX714SUP_TOOLS_SESSION_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/codepage.h"
#include "sim/machine.h"
#include "tools/exports.h"

namespace px714tool {

// One argument as the user wrote it: a value, or FindLegacyPlayers's
// outputs ($index, $name).
struct ArgSpec {
    enum class Source { Literal, PlayerIndex, DisplayName };
    Source source = Source::Literal;
    std::string text;     // a Text or DisplayName value, in the machine's code page
    uint32_t number = 0;  // a DeviceType or PlayerIndex value
};

struct CallSpec {
    const ExportInfo* function = nullptr;
    std::vector<ArgSpec> args;  // function->argCount of them
};

// Reads a call written as NAME or NAME:ARG[,ARG] (the last argument takes
// the rest of the text, commas included). Texts arrive as UTF-8 and are
// converted to the machine's code page. False and a message when the text
// names no export or its arguments do not fit.
bool ParseCall(std::string_view text, const sim::CodePage& codePage, CallSpec* call, std::string* error);

// The standard sequence of a PX714 setup program.
struct PreviewArguments {
    std::string checkService = "Vxfilter";                       // CheckServiceName
    std::string service = "Vxfilter";                            // InstallFilter: at most 23 characters
    std::string driver = "System32\\DRIVERS\\Vxfilter.sys";     // InstallFilter
    std::string infDirectory = "D:\\Drivers\\";                 // RegisterInf, with its backslash
    std::string infName = "px714.inf";                           // RegisterInf
};
std::vector<CallSpec> PreviewCalls(const PreviewArguments& arguments);

enum class CallStatus {
    Ran,       // the export ran; result and trace are its own
    Skipped,   // $index or $name was asked for and no player has been found
    Failed,    // the simulated machine raised an error inside the call
};

struct CallRecord {
    std::string function;                // the export's name
    std::vector<std::string> arguments;  // as passed (texts in the code page)
    std::vector<bool> textArguments;     // which of them are texts
    CallStatus status = CallStatus::Ran;
    std::string note;                    // why skipped or failed
    int result = 0;
    std::vector<std::string> trace;      // OutputDebugStringA pieces, in order
    // FindLegacyPlayers's outputs, when it reported a player.
    bool playerFound = false;
    unsigned playerIndex = 0;
    std::string displayName;
    // A display name the call rewrote in place.
    bool displayNameRewritten = false;
    std::string displayNameAfter;
    // Handles, device lists, searches or memory the call left open.
    size_t leftOpen = 0;
    std::string leftOpenReport;
};

class Session {
public:
    explicit Session(sim::Machine& machine) : machine_(machine) {}
    CallRecord Call(const CallSpec& call);

private:
    sim::Machine& machine_;
    // The setup program's variables for FindLegacyPlayers's outputs.
    bool found_ = false;
    unsigned short index_ = 0;
    char name_[128] = {};
};

// Windows NT, 2000 and XP keep the Enum tree for SYSTEM: a setup program
// run by an administrator opens those keys for reading only and cannot
// delete them (the device installer removes device nodes on its own
// rights). Marks HKLM\SYSTEM\CurrentControlSet\Enum and every key below it
// so on an NT-family machine; returns how many keys (0 elsewhere).
size_t RestrictNtEnum(sim::Machine& machine);

// The trace as a debug-output viewer shows it: the pieces joined and split
// into lines at their line feeds.
std::vector<std::string> TraceLines(const std::vector<std::string>& pieces);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_SESSION_H
