#include "tools/samples.h"

#include <cstddef>

namespace px714tool {

// Generated from tools/samples/*.reg at build time (tools/embed.cmake).
extern const unsigned char kSample_win98[];
extern const size_t kSample_win98_size;
extern const unsigned char kSample_winxp[];
extern const size_t kSample_winxp_size;

const std::vector<Sample>& Samples() {
    static const std::vector<Sample> samples = {
        {"win98.reg", "Windows 98 machine with a legacy player and an earlier PX714", sim::Os::Win98,
         std::string_view(reinterpret_cast<const char*>(kSample_win98), kSample_win98_size)},
        {"winxp.reg", "Windows XP machine with a legacy player and an earlier PX714", sim::Os::WinXp,
         std::string_view(reinterpret_cast<const char*>(kSample_winxp), kSample_winxp_size)},
    };
    return samples;
}

}  // namespace px714tool
