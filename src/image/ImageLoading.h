#pragma once
// Decoding as callers see it: a file decoded in the decoder process, and its size read there.
// Paths are UTF-8 byte strings (the file system's own bytes on this platform).
#include "image/Bitmap.h"
#include "image/Result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// The rules a decode runs under. Files come from analysts who do not trust them: a decode may
// be refused before it starts (pixel limit), and a decoder that crashes or hangs costs one file,
// never the caller.
struct DecodeLimits {
    // A header that claims more pixels than this is refused before any decoder allocates for
    // it. 2^28 admits a 200-megapixel photo and refuses a forged 20000 x 20000 header.
    std::int64_t maxPixels = std::int64_t{1} << 28;
    // Address space of one decoder process (not applied in sanitizer builds, whose shadow
    // memory reserves terabytes of address space).
    std::int64_t maxMemoryBytes = std::int64_t{6} << 30;
    // A decode that takes longer is killed.
    int timeoutMilliseconds = 30000;
    friend bool operator==(const DecodeLimits&, const DecodeLimits&) = default;
};

struct DecodeOptions {
    DecodeLimits limits;
    // Palette and grey images of up to 8 bits come back as they are stored (palette, and the
    // transparency table where there is one) instead of as 24/32-bit colours: what readers of
    // the stored indices need.
    bool keepIndexed = false;
    friend bool operator==(const DecodeOptions&, const DecodeOptions&) = default;
};

// Decodes the file in a decoder process. The table's decoder comes first; when the name matches
// no row, or that decoder fails, the format is identified from the file's content. Whatever was
// decoded comes back as a standard 24-bit bitmap, or 32-bit where the image has transparency,
// with its metadata (never null). When nothing could decode it, a one-line reason naming the file.
Result<BitmapHandle> LoadImageFile(const std::string& path, const DecodeOptions& options = {});

// The image size (both sides positive), read by the decoder process from the file's header
// alone where the format allows it (otherwise by decoding).
Result<Size> ReadImageSize(const std::string& path, const DecodeLimits& limits = {});

// How many decoder processes run at once (2 to 4, by the cores); a load beyond that waits for
// one. Whatever runs loads side by side sizes its threads from this.
int DecoderPoolCapacity();

// Runs the named analysis of the file's bytes in a decoder process and returns its flat encoding
// (the analysis's own folder reads it back, checking every field); a one-line failure otherwise.
Result<std::vector<std::uint8_t>> AnalyseInDecoder(const std::string& path,
                                                   const std::string& analysis,
                                                   const DecodeLimits& limits = {});

// The same, the encoding left where the decoder process put it (see decoding::ReplyBytes): for
// the analyses whose replies are large.
namespace decoding {
class ReplyBytes;
}
Result<decoding::ReplyBytes> AnalyseInDecoderInPlace(const std::string& path,
                                                     const std::string& analysis,
                                                     const DecodeLimits& limits = {});

// The same, read back by the analysis's own checked decoding (bytes -> Result<T>).
template <typename T, typename Decode>
Result<T> AnalyseInDecoder(const std::string& path, const std::string& analysis,
                           const Decode& decode, const DecodeLimits& limits = {}) {
    const Result<std::vector<std::uint8_t>> bytes = AnalyseInDecoder(path, analysis, limits);
    if (!bytes) {
        return Failure(bytes.error());
    }
    return decode(*bytes);
}

// Ends every decoder process at once and starts no more: for a program about to exit, so that no
// helper outlives it. Loads still in flight fail.
void StopDecoders();

} // namespace vantrel
