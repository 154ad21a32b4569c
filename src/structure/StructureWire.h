#pragma once
// The structure as the decoder process sends it back, read back with every field checked: the
// caller shows offsets and texts from it and cuts carved bytes at those offsets, so nothing in
// it may be taken on trust.
#include "image/Result.h"
#include "structure/FileStructure.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::structure {

inline constexpr const char* kStructureAnalysis = "structure";

std::vector<std::uint8_t> EncodeStructure(const FileStructure& structure);
Result<FileStructure> DecodeStructure(std::span<const std::uint8_t> bytes);

} // namespace vantrel::structure
