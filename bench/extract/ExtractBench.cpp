// Payload extraction on a 24-megapixel noise image. "ExtractWalk": the full 640-layout walk
// reading 256 bytes a layout, the checks and the tools' decoders included; its naive version
// reads the same prefixes with one FreeImage_GetPixelColor a pixel (no checks). "WholeStream":
// the whole b1,rgb,lsb,xy stream by the row kernel, by GetPixelColor, and a memcpy of the rows.
// "SyntheticRecovery" counts, over payloads hidden under random layouts of the prime walk in
// natural-looking images, how many come back exactly as found, and any other found finding.
#include "BenchSupport.h"

#include "extract/PayloadScan.h"
#include "reference/ExtractSupport.h"

#include <FreeImage.h>
#include <openssl/evp.h>

#include <cstdlib>

namespace vantrel::bench {
namespace {

using namespace vantrel::extract;

const FIBITMAP* Noise() {
    static const BitmapHandle bitmap = SyntheticBitmap(24, 12);
    return bitmap.get();
}

// The layout's first `count` bytes, one library call a pixel, bit by bit as the rules read.
std::vector<std::uint8_t> NaivePrefix(FIBITMAP* bitmap, const Layout& layout, std::size_t count) {
    const int width = static_cast<int>(FreeImage_GetWidth(bitmap));
    const int height = static_cast<int>(FreeImage_GetHeight(bitmap));
    std::vector<std::uint8_t> bytes;
    int bits = 0, value = 0;
    const std::uint64_t pixels = std::uint64_t(width) * height;
    for (std::uint64_t k = 0; k < pixels && bytes.size() < count; ++k) {
        const PixelAt at = PixelInOrder(layout.order, width, height, k);
        RGBQUAD colour{};
        FreeImage_GetPixelColor(bitmap, at.x, height - 1 - at.y, &colour);
        for (const Channel channel : layout.channels) {
            const int sample = channel == Channel::Red     ? colour.rgbRed
                               : channel == Channel::Green ? colour.rgbGreen
                               : channel == Channel::Blue  ? colour.rgbBlue
                                                           : 255;
            for (int bit = 7; bit >= 0; --bit) {
                if (!((layout.mask >> bit) & 1)) {
                    continue;
                }
                const int b = (sample >> bit) & 1;
                value = layout.msbFirstBitLow ? value | (b << bits) : (value << 1) | b;
                if (++bits == 8) {
                    bytes.push_back(static_cast<std::uint8_t>(value));
                    bits = value = 0;
                }
            }
        }
    }
    bytes.resize(std::min(bytes.size(), count));
    return bytes;
}

void WalkKernel(benchmark::State& state) {
    const auto image = SampleImage::Of(Noise());
    for (auto _ : state) {
        const ScanResult result = ScanImage(*image);
        if (result.walk.size() != 640 || result.verdict == Verdict::Found) {
            std::abort(); // noise holds no payload
        }
        benchmark::DoNotOptimize(result.findings.data());
    }
}

void WalkNaive(benchmark::State& state) {
    auto* bitmap = const_cast<FIBITMAP*>(Noise());
    const auto walk = WalkLayouts({}, true, false);
    const auto image = SampleImage::Of(bitmap);
    // The naive prefixes must be the kernel's, checked once outside the timing.
    for (const Layout& layout : {walk[0], walk[333], walk[639]}) {
        if (NaivePrefix(bitmap, layout, 256) != ExtractBytes(*image, layout, 256)) {
            std::abort();
        }
    }
    for (auto _ : state) {
        std::size_t total = 0;
        for (const Layout& layout : walk) {
            total += NaivePrefix(bitmap, layout, 256).size();
        }
        benchmark::DoNotOptimize(total);
    }
}

void StreamKernel(benchmark::State& state) {
    const auto image = SampleImage::Of(Noise());
    for (auto _ : state) {
        const auto bytes = ExtractWholeStream(*image, Layout{});
        benchmark::DoNotOptimize(bytes.data());
    }
}

void StreamNaive(benchmark::State& state) {
    auto* bitmap = const_cast<FIBITMAP*>(Noise());
    const auto image = SampleImage::Of(bitmap);
    if (NaivePrefix(bitmap, Layout{}, 1 << 16) != ExtractBytes(*image, Layout{}, 1 << 16)) {
        std::abort();
    }
    for (auto _ : state) {
        const auto bytes = NaivePrefix(bitmap, Layout{}, std::size_t(kWidth) * kHeight);
        benchmark::DoNotOptimize(bytes.data());
    }
}

// steggy's framing: 8-byte length, SHA-256, message.
std::vector<std::uint8_t> SteggyFrame(const std::vector<std::uint8_t>& message) {
    std::vector<std::uint8_t> frame(40);
    for (int i = 0; i < 8; ++i) {
        frame[7 - i] = static_cast<std::uint8_t>(std::uint64_t(message.size()) >> (8 * i));
    }
    unsigned int size = 0;
    EVP_Digest(message.data(), message.size(), frame.data() + 8, &size, EVP_sha256(), nullptr);
    frame.insert(frame.end(), message.begin(), message.end());
    return frame;
}

void SyntheticRecovery(benchmark::State& state) {
    using namespace vantrel::extract::testing;
    const auto walk = WalkLayouts({}, true, true);
    const std::vector<std::pair<std::string, Bytes>> payloads = {
        {"png", Png()},
        {"zip", Zip()},
        {"zlib", Deflated(BytesOf(kProse), 15)},
        {"gzip", Deflated(BytesOf(kProse), 31)},
        {"text", BytesOf(kProse)},
        {"length-prefixed", LengthPrefixed()},
        {"steggy", BytesOf(kProse)},
    };
    int trials = 0, recovered = 0, otherFound = 0;
    for (auto _ : state) {
        trials = recovered = otherFound = 0;
        std::mt19937 random(1);
        for (int trial = 0; trial < 140; ++trial) {
            const auto& [kind, payload] = payloads[trial % payloads.size()];
            const bool steggy = kind == "steggy";
            const Layout layout = steggy ? Layout{} : walk[random() % walk.size()];
            BitmapHandle bitmap = NaturalBitmap(200, 150, 24, 100 + trial);
            if (!Embed(bitmap.get(), layout, steggy ? SteggyFrame(payload) : payload)) {
                continue; // larger than the layout holds
            }
            ++trials;
            ScanOptions options;
            options.prime = true;
            const ScanResult result = ScanImage(*SampleImage::Of(bitmap.get()), options);
            for (const Finding& finding : result.findings) {
                if (finding.tier != Tier::Found) {
                    continue;
                }
                const bool expected = finding.kind == kind && finding.payload == payload &&
                                      finding.layout == ToText(layout);
                recovered += expected;
                otherFound += !expected;
            }
        }
    }
    state.counters["trials"] = trials;
    state.counters["recovered"] = recovered;
    state.counters["other_found"] = otherFound;
}

const bool registered = [] {
    benchmark::RegisterBenchmark("ExtractWalk/kernel", WalkKernel)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("ExtractWalk/naive", WalkNaive)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("WholeStream/kernel", StreamKernel)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("WholeStream/naive", StreamNaive)->Unit(benchmark::kMillisecond);
    RegisterMemcpy("WholeStream", std::size_t(kWidth) * kHeight * 3);
    benchmark::RegisterBenchmark("SyntheticRecovery", SyntheticRecovery)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
