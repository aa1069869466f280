// The built-in sample machines of `px714sup demo`: .reg texts and file
// listings kept in tools/samples/ and compiled into the tool.
#ifndef PX714SUP_TOOLS_SAMPLES_H
#define PX714SUP_TOOLS_SAMPLES_H

#include <string_view>
#include <vector>

#include "sim/filesystem.h"
#include "sim/machine.h"

namespace px714tool {

struct Sample {
    const char* file;        // its .reg in tools/samples/
    const char* filesFile;   // its folders and files in tools/samples/ (FileSystem::Load syntax)
    const char* title;       // what the demo calls it
    sim::Os os;
    std::string_view text;   // the .reg
    std::string_view files;  // the listing
};

const std::vector<Sample>& Samples();

// Where the samples' driver disc keeps the player's INF, as the setup
// program's RegisterInf call names it, and that INF's text.
constexpr const char* kSampleInfPath = "D:\\Drivers\\px714.inf";
std::string_view SampleInfText();

// The sample's folders and files: its listing, and the text of the INF on
// its driver disc.
void LoadSampleFiles(const Sample& sample, sim::FileSystem* files);

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_SAMPLES_H
