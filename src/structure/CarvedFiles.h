#pragma once
// What a caller writes out of a walked file: a carved region, byte for byte, and a cut PNG with
// its true size put back. The walk gives offsets and digests; here the bytes are only copied
// and patched at those offsets, never parsed, so the GUI and the command line may run it.
#include "image/Result.h"
#include "structure/FileStructure.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::structure {

// The carved bytes: those the walk joined or inflated, or else the extent of the file itself,
// refused unless their digest is the one the walk reported (the file changed under us).
Result<std::vector<std::uint8_t>> CarvedBytes(const std::string& path, const Carved& carved);

// Writes the carved bytes to `target`; the number of bytes written.
Result<std::uint64_t> SaveCarved(const std::string& path, const Carved& carved,
                                 const std::string& target);

// The PNG with IHDR's width and height set to the true size the walk found and IHDR's CRC
// recomputed; everything else is left as it is. Refused when the walk found no true size or no
// IHDR where a PNG has it.
Result<std::vector<std::uint8_t>> RepairedPng(std::span<const std::uint8_t> file,
                                              const FileStructure& walked);

} // namespace vantrel::structure
