#include "files/FileNames.h"

#include <FreeImage.h>

#include <fnmatch.h>

namespace vantrel {

bool MatchesFilePattern(const std::string& name, std::string_view pattern) {
    std::size_t begin = 0;
    while (begin <= pattern.size()) {
        std::size_t end = pattern.find(';', begin);
        if (end == std::string_view::npos) {
            end = pattern.size();
        }
        const std::string one(pattern.substr(begin, end - begin));
        if (!one.empty() && fnmatch(one.c_str(), name.c_str(), FNM_PERIOD) == 0) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

bool IsSearchImageName(const std::string& name) {
    return MatchesFilePattern(name, kImageFilePattern);
}

bool DecoderKnowsName(const std::string& name) {
    if (name.find('.') == std::string::npos) {
        return false; // FreeImage would take a bare "png" for an extension
    }
    // FreeImage's plugin table holds every extension its readers claim, compared without regard
    // to case; it is a superset of our own table, which only picks load flags.
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(name.c_str());
    return format != FIF_UNKNOWN && FreeImage_FIFSupportsReading(format);
}

} // namespace vantrel
