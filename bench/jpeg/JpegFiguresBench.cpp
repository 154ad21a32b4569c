// The JPEG window's block map on the luminance of a 24-megapixel JPEG (750 x 500 blocks of
// synthetic coefficients, about a tenth of the AC ones nonzero, as at quality 85): the kernel, a
// naive version that fetches each block and reads its AC coefficients by (row, column), and a
// memcpy of the coefficient bytes.
#include "BenchSupport.h"

#include "jpeg/JpegFigures.h"

namespace vantrel::bench {
namespace {

const JpegComponent& Luminance() {
    static const JpegComponent component = [] {
        JpegComponent made;
        made.widthInBlocks = kWidth / 8;
        made.heightInBlocks = kHeight / 8;
        made.coefficients.resize(static_cast<std::size_t>(made.widthInBlocks) *
                                 static_cast<std::size_t>(made.heightInBlocks) * 64);
        std::mt19937 random(21);
        for (std::int16_t& value : made.coefficients) {
            const std::uint32_t r = random();
            value = r % 10 == 0 ? static_cast<std::int16_t>(static_cast<int>(r >> 8) % 7 - 3) : 0;
        }
        return made;
    }();
    return component;
}

void NonzeroAcKernel(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(NonzeroAcPerBlock(Luminance()).nonzeroAc.data());
    }
}

void NonzeroAcNaive(benchmark::State& state) {
    const JpegComponent& component = Luminance();
    for (auto _ : state) {
        std::vector<std::uint8_t> counts;
        for (int row = 0; row < component.heightInBlocks; ++row) {
            for (int column = 0; column < component.widthInBlocks; ++column) {
                const auto block = component.block(row, column);
                int count = 0;
                for (int u = 0; u < 8; ++u) {
                    for (int v = 0; v < 8; ++v) {
                        count +=
                            (u != 0 || v != 0) && block[static_cast<std::size_t>(u * 8 + v)] != 0;
                    }
                }
                counts.push_back(static_cast<std::uint8_t>(count));
            }
        }
        benchmark::DoNotOptimize(counts.data());
    }
}

} // namespace
} // namespace vantrel::bench

int main(int argc, char** argv) {
    using namespace vantrel::bench;
    benchmark::RegisterBenchmark("NonzeroAcPerBlock/kernel", NonzeroAcKernel)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("NonzeroAcPerBlock/naive", NonzeroAcNaive)
        ->Unit(benchmark::kMillisecond);
    RegisterMemcpy("NonzeroAcPerBlock", Luminance().coefficients.size() * 2);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
