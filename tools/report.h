// The report of one run: what was loaded, each call with its result and
// trace, and what changed. As text for people, as JSON for programs.
#ifndef PX714SUP_TOOLS_REPORT_H
#define PX714SUP_TOOLS_REPORT_H

#include <ostream>
#include <string>
#include <vector>

#include "sim/codepage.h"
#include "tools/changes.h"
#include "tools/json.h"
#include "tools/session.h"

namespace px714tool {

struct LoadedFile {
    std::string name;              // as given (or the sample's name)
    sim::RegImportStats stats;
};

struct RunReport {
    std::string title;             // "Preview", "Windows 98 sample machine" ...
    sim::Os os = sim::Os::WinXp;
    unsigned codePage = 1252;
    std::vector<LoadedFile> files;
    std::vector<std::string> notes;  // how the machine was set up, warnings
    std::vector<CallRecord> calls;
    Changes changes;
};

// A value as one line of text: REG_SZ "text", REG_DWORD 0x0000002a (42) ...
// Texts are ANSI in the code page; the line is UTF-8.
std::string DescribeValue(const sim::Value& value, const sim::CodePage& codePage);

void WriteText(const RunReport& report, std::ostream& out);
void WriteJson(const RunReport& report, JsonWriter& json);  // one object

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_REPORT_H
