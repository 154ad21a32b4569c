#pragma once
// The one reader of image sizes from file headers, on bytes already read. It runs in the decoder
// process only: the pixel limit is checked against these claims before any decoder allocates,
// and size requests for formats whose decoder has no header-only mode are answered from them.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vantrel {

struct HeaderSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    // False where the decoder may give another size (a JPEG 2000 image whose first component
    // is subsampled): the claim still counts against the pixel limit.
    bool decoderAgrees = true;
    friend bool operator==(const HeaderSize&, const HeaderSize&) = default;
};

// How many leading bytes of a file the reader looks at.
inline constexpr std::size_t kHeaderBytes = 64 * 1024;

// PNG (IHDR), GIF (the first image descriptor, as the decoder gives it, not the logical
// screen), BMP (all header versions; a negative height marks rows stored top first), JPEG 2000
// code streams (the SIZ image area) bare or in JP2 boxes. Nothing for other bytes, for a
// header cut short, or for a side that is not positive.
std::optional<HeaderSize> ReadHeaderSize(std::span<const std::uint8_t> bytes);

} // namespace vantrel
