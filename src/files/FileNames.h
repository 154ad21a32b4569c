#pragma once
// Which file names a walk takes: the search window's wildcard list, or every name the decoder has
// a reader for (the tree scan).
#include <functional>
#include <string>
#include <string_view>

namespace vantrel {

// The image files the search lists; names are matched case-sensitively.
inline constexpr std::string_view kImageFilePattern =
    "*.png;*.bmp;*.jpg;*.jp2;*.jxr;*.j2k;*.tif;*.gif;*.psd;*.nef;"
    "*.PNG;*.BMP;*.JPG;*.JP2;*.JXR;*.J2K;*.TIF;*.GIF;*.PSD;*.NEF";

// True when the name fits one of the pattern's ";"-separated wildcard patterns.
bool MatchesFilePattern(const std::string& name, std::string_view pattern = kImageFilePattern);

// The search's names: those kImageFilePattern fits.
bool IsSearchImageName(const std::string& name);

// True when the decoder has a reader for the name's extension, in any letter case ("a.JPEG",
// "b.ppm", "c.j2c", "d.webp"): the files a scan takes. The name alone decides; the file is not
// opened.
bool DecoderKnowsName(const std::string& name);

// Which regular files a listing keeps, by name.
using NameFilter = std::function<bool(const std::string& name)>;

} // namespace vantrel
