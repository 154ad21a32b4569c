#pragma once
// Image sizes read from file headers for the formats whose decoder has no header-only mode.
#include "image/ImageLoading.h"

#include <optional>
#include <string>

namespace vantrel {

// The size of a GIF's first image, as its decoder gives it: the width and height of the first
// image descriptor (not the logical screen). Nothing when the file is not a readable GIF.
std::optional<Size> GifImageSize(const std::string& path);

// The size of a JPEG 2000 image, from the SIZ segment of its code stream, bare (J2K) or in the
// JP2 file format: the image area, as the decoder gives it when the first component is not
// subsampled. Nothing when the file is neither, or is cut short, or the first component is
// subsampled.
std::optional<Size> Jpeg2000ImageSize(const std::string& path);

// The size from the header for the formats above, chosen by what the file holds; nothing for
// other files.
std::optional<Size> HeaderImageSize(const std::string& path);

} // namespace vantrel
