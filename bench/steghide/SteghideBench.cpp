// steghide searches on a synthetic 640 x 427 JPEG's coefficients (4:2:0, about a quarter of them
// nonzero, as in a photograph at quality 75-85): one seed's check beside steghide's own way of
// making it, the seed search on every core with its projected time for all 2^32 seeds, and the
// word list's passphrases a second.
#include "BenchSupport.h"
#include "NaiveSteghide.h"

#include "steghide/SteghideAttack.h"

#include <ctime>
#include <sstream>

namespace vantrel::bench {
namespace {

// CPU time of all threads per item: on a shared machine a steadier measure than elapsed time.
void CountCpu(benchmark::State& state, std::clock_t start, std::uint64_t items) {
    state.counters["cpu_ns_per_item"] = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC *
                                        1e9 / static_cast<double>(items);
}

const SteghideCover& Cover() {
    static const SteghideCover cover = [] {
        JpegCoefficients jpeg;
        jpeg.width = 640;
        jpeg.height = 427;
        jpeg.maxHSampling = jpeg.maxVSampling = 2;
        std::mt19937 random(11);
        for (int c = 0; c < 3; ++c) {
            JpegComponent component;
            component.hSampling = component.vSampling = c == 0 ? 2 : 1;
            component.widthInBlocks = c == 0 ? 80 : 40;
            component.heightInBlocks = c == 0 ? 54 : 27;
            component.coefficients.resize(static_cast<std::size_t>(component.widthInBlocks) *
                                          component.heightInBlocks * 64);
            for (std::int16_t& coefficient : component.coefficients) {
                const unsigned draw = random() % 16;
                coefficient = static_cast<std::int16_t>(draw < 12 ? 0 : draw - 13);
            }
            jpeg.components.push_back(std::move(component));
        }
        return *SteghideJpegCover(jpeg);
    }();
    return cover;
}

// Seeds a SeedCheck iteration tries, kernel and naive alike.
constexpr std::uint64_t kSlice = 4096;

// One thread scanning seeds in order, as each core does in the search.
void SeedCheckKernel(benchmark::State& state) {
    const SteghideMagicCheck magic(Cover());
    std::vector<std::uint32_t> passing;
    std::uint64_t first = 0;
    for (auto _ : state) {
        magic.Scan(first, first + kSlice, passing);
        first += kSlice;
    }
    benchmark::DoNotOptimize(passing);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
    state.counters["samples"] = static_cast<double>(Cover().values.size());
}

// One passphrase's seed alone, as the word list checks it.
void PassphraseCheckKernel(benchmark::State& state) {
    const SteghideMagicCheck magic(Cover());
    std::uint32_t seed = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(magic(seed++));
    }
    state.SetItemsProcessed(state.iterations());
}

void SeedCheckNaive(benchmark::State& state) {
    std::uint32_t seed = 0;
    for (auto _ : state) {
        for (std::uint64_t i = 0; i < kSlice; ++i) {
            benchmark::DoNotOptimize(NaiveMagicAt(Cover(), seed++));
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSlice));
}

void PassphraseCheckNaive(benchmark::State& state) {
    std::uint32_t seed = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NaiveMagicAt(Cover(), seed++));
    }
    state.SetItemsProcessed(state.iterations());
}

// Every core, a slice of the seeds; the counter projects the time for all of them.
void SeedSearchAllCores(benchmark::State& state) {
    constexpr std::uint64_t kSearchSlice = std::uint64_t{1} << 24;
    std::uint64_t first = 0;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        SteghideSeedSearchOptions options;
        options.first = first;
        options.end = first + kSearchSlice;
        first += kSearchSlice;
        benchmark::DoNotOptimize(SteghideSeedSearch(Cover(), options));
    }
    CountCpu(state, start, state.iterations() * kSearchSlice);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kSearchSlice));
    // Elapsed time over the share of all seeds searched, in minutes.
    state.counters["all_seeds_minutes"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kSearchSlice) / 4294967296.0 * 60.0,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::string WordList() {
    std::string words;
    for (int i = 0; i < 200000; ++i) {
        words += "word" + std::to_string(i * 7919) + "\n";
    }
    return words;
}

void WordListKernel(benchmark::State& state) {
    static const std::string words = WordList();
    std::uint64_t tried = 0;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        std::istringstream stream(words);
        tried += SteghideWordListAttack(Cover(), &stream, {}).tried;
    }
    CountCpu(state, start, tried);
    state.SetItemsProcessed(static_cast<std::int64_t>(tried));
}

// One thread, a one-shot MD5 and steghide's own check per word.
void WordListNaive(benchmark::State& state) {
    static const std::string words = WordList();
    std::uint64_t tried = 0;
    for (auto _ : state) {
        std::istringstream stream(words);
        std::string word;
        while (std::getline(stream, word)) {
            benchmark::DoNotOptimize(NaiveMagicAt(Cover(), SteghideSeed(word)));
            ++tried;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(tried));
}

const bool kRegistered = [] {
    benchmark::RegisterBenchmark("SeedCheck/kernel", SeedCheckKernel);
    benchmark::RegisterBenchmark("SeedCheck/naive", SeedCheckNaive);
    benchmark::RegisterBenchmark("PassphraseCheck/kernel", PassphraseCheckKernel);
    benchmark::RegisterBenchmark("PassphraseCheck/naive", PassphraseCheckNaive);
    // About the sample bytes a slice's checks touch: two or three values of three samples each.
    RegisterMemcpy("SeedCheck", kSlice * 8);
    benchmark::RegisterBenchmark("SeedSearch/kernel", SeedSearchAllCores)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("WordList/kernel", WordListKernel)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("WordList/naive", WordListNaive)->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
