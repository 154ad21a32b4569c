// The JPEG kernels on a synthetic 24-megapixel JPEG (noise over a gradient, 4:2:0, quality 85,
// encoded here by libjpeg), in the same run as a plain libjpeg pixel decode of the same file:
// reading the coefficients, the JSteg chi-square (both pairings, all components) and the F5
// calibrated beta and its first-table estimate for files saved twice, each beside a naive version
// and a memcpy of the coefficient bytes. At the end
// the budget table: each kernel's time over the decode's (read <= 1, JSteg <= 0.5, F5 <= 2).
#include "BenchSupport.h"

#include "jpeg/DoubleCompression.h"
#include "jpeg/F5Calibration.h"
#include "jpeg/JstegChiSquare.h"
#include "jpeg/ReadCoefficients.h"

#include "../tests/jpeg/NaiveJpeg.h"

#include <boost/math/special_functions/gamma.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>

#include <jpeglib.h>

namespace vantrel::bench {
namespace {

std::vector<std::uint8_t> Encode(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(85);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int gradient = (x * 200 / width + y * 55 / height + c * 20) % 256;
                const int noise = static_cast<int>(random() % 41) - 20;
                rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(gradient + noise, 0, 255));
            }
        }
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.next_scanline) * width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

const std::vector<std::uint8_t>& File() {
    static const std::vector<std::uint8_t> file = Encode(kWidth, kHeight);
    return file;
}

const JpegCoefficients& Coefficients() {
    static const JpegCoefficients jpeg = *ReadJpegCoefficients(File());
    return jpeg;
}

// 1500 x 1000 of the luminance, for the naive kernels that would take minutes on the whole.
const JpegCoefficients& Tile() {
    static const JpegCoefficients tile = [] {
        static const std::vector<std::uint8_t> file = Encode(1500, 1000);
        return *ReadJpegCoefficients(file);
    }();
    return tile;
}

std::size_t CoefficientBytes(const JpegCoefficients& jpeg) {
    std::size_t bytes = 0;
    for (const JpegComponent& c : jpeg.components) {
        bytes += c.coefficients.size() * sizeof(std::int16_t);
    }
    return bytes;
}

struct Times {
    double elapsed = 1e9;
    double cpu = 1e9; // of all threads: on a shared machine steadier than elapsed time
};

// The fastest iteration of each benchmark, for the budget table.
std::map<std::string, Times>& Best() {
    static std::map<std::string, Times> best;
    return best;
}

template <typename Work> void Timed(benchmark::State& state, const std::string& name, Work work) {
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        work();
        Times& best = Best()[name];
        best.cpu =
            std::min(best.cpu, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        best.elapsed = std::min(
            best.elapsed,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.counters["cpu_ms_all_threads"] = best.cpu * 1e3;
    }
}

void PixelDecode() {
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, File().data(), File().size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(info.output_width) * 3);
    JSAMPROW rows[1] = {row.data()};
    while (info.output_scanline < info.output_height) {
        jpeg_read_scanlines(&info, rows, 1);
    }
    benchmark::DoNotOptimize(row.data());
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
}

// What a verdict runs: both pairings over the luminance and over all components.
void JstegBoth(const JpegCoefficients& jpeg) {
    benchmark::DoNotOptimize(JstegChiSquareEverywhere(jpeg));
}

// Each curve point counted again from the start, in natural block order through the whole
// array: the chi-square as the definition reads, without the single running histogram.
void NaiveJsteg(const JpegCoefficients& jpeg) {
    for (const JstegPairing pairing : {JstegPairing::Twos, JstegPairing::Magnitude}) {
        const std::uint64_t usable = JstegChiSquareAttack(jpeg, pairing, JstegScope::AllComponents)
                                         .usable; // the prefix lengths
        for (int point = 1; point <= kJstegCurvePoints; ++point) {
            const std::uint64_t end = usable * static_cast<std::uint64_t>(point) / 100;
            std::map<int, std::uint64_t> counts;
            std::uint64_t seen = 0;
            for (const JpegComponent& c : jpeg.components) {
                for (std::size_t i = 0; i < c.coefficients.size() && seen < end; ++i) {
                    const int v = c.coefficients[i];
                    const bool use =
                        pairing == JstegPairing::Twos ? (v != 0 && v != 1) : std::abs(v) >= 2;
                    if (i % 64 != 0 && use) {
                        ++counts[v];
                        ++seen;
                    }
                }
            }
            double chi = 0;
            int pairs = 0;
            for (const auto& [value, count] : counts) {
                if (value % 2 == 0) {
                    const int odd =
                        pairing == JstegPairing::Twos || value > 0 ? value + 1 : value - 1;
                    const double expected = (static_cast<double>(count) + counts[odd]) / 2;
                    if (expected >= 5) {
                        chi += (count - expected) * (count - expected) / expected;
                        ++pairs;
                    }
                }
            }
            if (pairs > 1) {
                benchmark::DoNotOptimize(boost::math::gamma_q((pairs - 1) / 2.0, chi / 2));
            }
        }
    }
}

// The first-table estimate on the whole luminance: the kernel, and naively every candidate's
// histogram by two divisions in double per value, as the method reads.
void PrimaryTable() {
    const JpegCoefficients& jpeg = Coefficients();
    static const F5ComponentEstimate estimate = F5CalibratedBeta(jpeg).components[0];
    F5ComponentEstimate luminance = estimate;
    benchmark::DoNotOptimize(
        CalibrateWithPrimaryTable(jpeg.components[0], jpeg.quantTables[0], luminance));
}

void NaivePrimaryTable() {
    const JpegCoefficients& jpeg = Coefficients();
    const auto& table = jpeg.quantTables[0];
    const std::vector<std::array<float, 5>> values =
        CalibratedModeValues(jpeg.components[0], table);
    for (int quality = kLowestPrimaryQuality; quality <= 100; ++quality) {
        const QuantTable first = ScaledTable(AnnexKLuminance(), quality);
        std::array<std::array<std::uint64_t, kCalibratedBins>, 5> counts{};
        for (const std::array<float, 5>& f : values) {
            for (std::size_t m = 0; m < 5; ++m) {
                const double q1 = first[static_cast<std::size_t>(kCalibratedModes[m])];
                const double q2 = table[static_cast<std::size_t>(kCalibratedModes[m])];
                const double d = std::floor(std::floor(std::fabs(f[m]) / q1 + 0.5) * q1 / q2 + 0.5);
                if (d < kCalibratedBins) {
                    ++counts[m][static_cast<std::size_t>(d)];
                }
            }
        }
        benchmark::DoNotOptimize(counts);
    }
}

void Register() {
    const auto add = [](const std::string& name, auto work) {
        benchmark::RegisterBenchmark(
            name.c_str(), [name, work](benchmark::State& state) { Timed(state, name, work); })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    };
    add("JpegPixelDecode/kernel", [] { PixelDecode(); });
    add("JpegReadCoefficients/kernel",
        [] { benchmark::DoNotOptimize(ReadJpegCoefficients(File())); });
    RegisterMemcpy("JpegReadCoefficients", CoefficientBytes(Coefficients()));
    add("JstegChiSquare/kernel", [] { JstegBoth(Coefficients()); });
    RegisterMemcpy("JstegChiSquare", CoefficientBytes(Coefficients()));
    // The JSteg layouts' byte stream (twos pairing, every component): whole, and the 256 bytes a
    // clean file's finder reads, beside the bit-a-byte pass and packing it replaced.
    const auto jstegBytes = [](std::size_t count) {
        JstegByteReader reader(Coefficients(), JstegPairing::Twos, JstegScope::AllComponents);
        std::vector<std::uint8_t> piece(std::min<std::size_t>(count, 65536));
        for (std::size_t got = 0; got < count;) {
            const std::size_t more = reader.read(piece);
            benchmark::DoNotOptimize(piece.data());
            got = more == 0 ? count : got + more;
        }
    };
    add("JstegStream/kernel", [jstegBytes] { jstegBytes(SIZE_MAX); });
    add("JstegStream/naive", [] {
        benchmark::DoNotOptimize(PackBits(
            JstegBits(Coefficients(), JstegPairing::Twos, JstegScope::AllComponents), true));
    });
    RegisterMemcpy("JstegStream", CoefficientBytes(Coefficients()));
    add("JstegPrefix256/kernel", [jstegBytes] { jstegBytes(256); });
    add("F5Beta/kernel", [] { benchmark::DoNotOptimize(F5CalibratedBeta(Coefficients())); });
    RegisterMemcpy("F5Beta", CoefficientBytes(Coefficients()));
    add("F5PrimaryTable/kernel", [] { PrimaryTable(); });
    add("F5PrimaryTable/naive", [] { NaivePrimaryTable(); });
    RegisterMemcpy("F5PrimaryTable", CoefficientBytes(Coefficients()));
    // The naive kernels on the 1.5 MP tile, beside the kernels on the same tile.
    add("JstegChiSquareTile/kernel", [] {
        benchmark::DoNotOptimize(JstegChiSquareBothPairings(Tile(), JstegScope::AllComponents));
    });
    add("JstegChiSquareTile/naive", [] { NaiveJsteg(Tile()); });
    add("F5BetaLuminanceTile/kernel", [] {
        JpegCoefficients luminance = Tile();
        luminance.components.resize(1);
        benchmark::DoNotOptimize(F5CalibratedBeta(luminance));
    });
    add("F5BetaLuminanceTile/naive", [] {
        const JpegComponent& c = Tile().components[0];
        benchmark::DoNotOptimize(test::NaiveF5Beta(c, Tile().quantTables[0]));
    });
}

void PrintBudget() {
    const auto& best = Best();
    const auto decode = best.find("JpegPixelDecode/kernel");
    if (decode == best.end()) {
        return;
    }
    std::printf("\nOn %d x %d, against the plain libjpeg pixel decode (%.0f ms elapsed, %.0f ms "
                "CPU):\n",
                kWidth, kHeight, decode->second.elapsed * 1e3, decode->second.cpu * 1e3);
    for (const auto& [name, budget] :
         std::vector<std::pair<std::string, double>>{{"JpegReadCoefficients/kernel", 1.0},
                                                     {"JstegChiSquare/kernel", 0.5},
                                                     {"F5Beta/kernel", 2.0}}) {
        if (const auto at = best.find(name); at != best.end()) {
            std::printf("  %-28s %6.2f x decode elapsed, %6.2f x its CPU (budget %.1f)\n",
                        name.c_str(), at->second.elapsed / decode->second.elapsed,
                        at->second.cpu / decode->second.cpu, budget);
        }
    }
}

} // namespace
} // namespace vantrel::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::Register();
    benchmark::RunSpecifiedBenchmarks();
    vantrel::bench::PrintBudget();
    benchmark::Shutdown();
    return 0;
}
