#pragma once
// What format a file is, told from its first bytes alone (it reads at most kSniffBytes): the one
// decision every reader starts from, so that the walk, the decoder's analyses and the callers
// that choose an analysis never disagree about a file.
#include <cstddef>
#include <cstdint>
#include <span>

namespace vantrel::bytes {

enum class FileFormat : std::uint8_t {
    Unknown,
    Png,
    Jpeg,
    Gif,
    Bmp,
    Webp,
    Tiff,
    Pnm,
    Psd,
    Jp2,        // the JP2 box structure
    CodeStream, // a bare JPEG 2000 code stream
    JpegXr
};

inline constexpr std::size_t kSniffBytes = 12;

FileFormat SniffFormat(std::span<const std::uint8_t> head);

// The first kSniffBytes of the file at `path` sniffed; Unknown when it cannot be read.
FileFormat SniffFileFormat(const char* path);

} // namespace vantrel::bytes
