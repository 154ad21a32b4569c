#pragma once
// Image sizes read from file headers for the formats whose decoder has no header-only mode.
#include "image/ImageLoading.h"

#include <optional>
#include <string>

namespace vantrel {

// The size of a GIF's first image, as its decoder gives it: the width and height of the first
// image descriptor (not the logical screen). Nothing when the file is not a readable GIF.
std::optional<Size> GifImageSize(const std::string& path);

} // namespace vantrel
