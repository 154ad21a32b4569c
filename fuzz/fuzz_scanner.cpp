// Fuzzes what the payload scanner parses: extracted bytes are as untrusted as any file. The
// input is checked as a stream (every format check, prose, length prefix, libmagic), and read as
// the pixels of a small image for the tools' decoders and a default walk.
#include "extract/PayloadScan.h"
#include "extract/ToolFormats.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel::extract;
    CheckLimits limits;
    limits.follow = 1 << 20;
    limits.inflated = 1 << 20;
    StreamBytes stream(std::span<const std::uint8_t>(data, size));
    for (const Finding& finding : CheckStream(stream, 256, limits)) {
        if (finding.tier == Tier::Found && finding.offset + finding.length > size) {
            std::abort(); // a carved extent beyond the bytes there are
        }
    }
    if (size < 4) {
        return 0;
    }
    const int width = 1 + data[0] % 64, height = 1 + data[1] % 64;
    const int bytesPerPixel = (data[2] & 1) ? 4 : 3;
    std::vector<std::uint8_t> pixels(std::size_t(width) * height * bytesPerPixel);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = data[3 + i % (size - 3)];
    }
    const SampleImage image =
        SampleImage::OfRows(width, height, bytesPerPixel, width * bytesPerPixel, pixels.data());
    CheckToolFormats(image, limits);
    ScanOptions options;
    options.all = false;
    options.limits = limits;
    ScanImage(image, options);
    return 0;
}
