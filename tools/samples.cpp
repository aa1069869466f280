#include "tools/samples.h"

#include <cstddef>

namespace px714tool {

// Generated from tools/samples/ at build time (tools/embed.cmake).
extern const unsigned char kSample_win98_reg[];
extern const size_t kSample_win98_reg_size;
extern const unsigned char kSample_win98_files[];
extern const size_t kSample_win98_files_size;
extern const unsigned char kSample_winxp_reg[];
extern const size_t kSample_winxp_reg_size;
extern const unsigned char kSample_winxp_files[];
extern const size_t kSample_winxp_files_size;
extern const unsigned char kSample_px714_inf[];
extern const size_t kSample_px714_inf_size;

namespace {
std::string_view View(const unsigned char* bytes, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(bytes), size);
}
}  // namespace

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"win98.reg", "win98.files", "Windows 98 machine with a legacy player and an earlier PX714", sim::Os::Win98,
         View(kSample_win98_reg, kSample_win98_reg_size), View(kSample_win98_files, kSample_win98_files_size)},
        {"winxp.reg", "winxp.files", "Windows XP machine with a legacy player and an earlier PX714", sim::Os::WinXp,
         View(kSample_winxp_reg, kSample_winxp_reg_size), View(kSample_winxp_files, kSample_winxp_files_size)},
    };
    return samples;
}

std::string_view SampleInfText() { return View(kSample_px714_inf, kSample_px714_inf_size); }

void LoadSampleFiles(const Sample& sample, sim::FileSystem* files) {
    files->Load(sample.files);
    files->SetFileText(kSampleInfPath, SampleInfText());
}

}  // namespace px714tool
