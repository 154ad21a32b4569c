#pragma once
// The caller's way to a file's structure: walked in a decoder process, checked on arrival.
#include "image/ImageLoading.h"
#include "image/Result.h"
#include "structure/FileStructure.h"

#include <string>

namespace vantrel::structure {

Result<FileStructure> LoadFileStructure(const std::string& path, const DecodeLimits& limits = {});

} // namespace vantrel::structure
