// Passwords a second of each reader on one real stego of its tool (the test fixtures), through the
// word-list driver on every core, beside the tool's own binary started once per password as the
// brute-force loops do (skipped where the tool is not installed). The list holds no right password,
// so every password costs what a wrong one costs.
#include "BenchSupport.h"
#include "jpeg/ReadCoefficients.h"
#include "passwords/GifColourTable.h"
#include "passwords/Ice.h"
#include "passwords/PasswordCovers.h"
#include "passwords/PasswordTools.h"
#include "passwords/WordListAttack.h"
#include "steghide/SteghideCover.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>

extern char** environ;

namespace vantrel::passwords {
namespace {

std::string Fixture(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/passwords/" + name;
}

std::vector<std::uint8_t> Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const JpegCoefficients& Jpeg() {
    static const JpegCoefficients jpeg = *ReadJpegCoefficients(Bytes(Fixture("og-default.jpg")));
    return jpeg;
}

std::unique_ptr<PasswordTool> Tool(const std::string& name) {
    if (name == "outguess") {
        return MakeOutguessTool(*OutguessJpegCover(Jpeg()));
    }
    if (name == "f5stegojs") {
        static const JpegCoefficients stego =
            *ReadJpegCoefficients(Bytes(Fixture("f5-colour.jpg")));
        return MakeF5stegoTool(*F5stegoJpegCover(stego));
    }
    if (name.starts_with("ss-file")) {
        // Its cover through the decoder process, as the command reads it.
        const std::string wanted[] = {"stegosuite"};
        Result<FileTools> loaded = LoadPasswordTools(Fixture(name), wanted);
        return std::move(loaded->tools.front());
    }
    if (name == "steghide") {
        return MakeSteghideTool(*SteghideJpegCover(Jpeg()));
    }
    const auto table = EncodeGifColourTable(Bytes(Fixture("gs-ice.gif")), 0);
    return MakeGifshuffleTool(*DecodeGifColourTable(*table));
}

std::string WrongWords(int count) {
    std::string words;
    for (int i = 0; i < count; ++i) {
        words += "wrong" + std::to_string(i * 7919) + "\n";
    }
    return words;
}

// Up to 9 characters, as most of a real list: gifshuffle's key is then one ICE level (16 rounds),
// where WrongWords' 13 or 14 characters take two.
std::string ShortWrongWords(int count) {
    std::string words;
    for (int i = 0; i < count; ++i) {
        words += 'w';
        words += std::to_string(i * 7919 % 100000000);
        words += '\n';
    }
    return words;
}

// Wrong passwords whose character sums all differ, for stegosuite's JPEG reader, which walks the
// coefficients once per sum.
std::string NewSumWords(int count) {
    std::string words;
    for (int i = 0; i < count; ++i) {
        words += std::string(static_cast<std::size_t>(i / 90), '~') +
                 static_cast<char>(33 + i % 90) + "\n";
    }
    return words;
}

// The reader through the driver: items are passwords.
using WordMaker = std::string (*)(int);
void Reader(benchmark::State& state, const std::string& name, WordMaker wordsOf = WrongWords) {
    const std::unique_ptr<PasswordTool> tool = Tool(name);
    const PasswordTool* tools[] = {tool.get()};
    const int count = static_cast<int>(state.range(0));
    const std::string words = wordsOf(count);
    std::uint64_t tried = 0;
    const std::clock_t start = std::clock();
    for (auto _ : state) {
        std::istringstream in(words);
        const PasswordAttackResult result = WordListAttack(tools, &in, {});
        tried += result.tried;
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(tried));
    // On a shared machine the CPU time of all threads is the steadier measure of one password.
    state.counters["cpu_us_per_password"] = static_cast<double>(std::clock() - start) /
                                            CLOCKS_PER_SEC * 1e6 / static_cast<double>(tried);
    state.SetLabel(std::string(tool->costPerPassword()));
}

// The tool's binary, once per password, its output thrown away.
void Binary(benchmark::State& state, const std::vector<std::string>& command) {
    std::int64_t runs = 0;
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    for (auto _ : state) {
        std::vector<std::string> words = command;
        for (std::string& word : words) {
            if (word == "PASS") {
                word = "wrong" + std::to_string(runs);
            }
        }
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t child = 0;
        const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (spawned != 0 || waitpid(child, &status, 0) != child) {
            state.SkipWithError((command[0] + " is not installed").c_str());
            return;
        }
        ++runs;
    }
    state.SetItemsProcessed(runs);
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    const auto micros = [](const timeval& t) { return t.tv_sec * 1e6 + t.tv_usec; };
    state.counters["cpu_us_per_password"] = (micros(after.ru_utime) + micros(after.ru_stime) -
                                             micros(before.ru_utime) - micros(before.ru_stime)) /
                                            static_cast<double>(std::max<std::int64_t>(runs, 1));
}

BENCHMARK_CAPTURE(Reader, outguess, std::string("outguess"))
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Binary, outguess,
                  std::vector<std::string>{"outguess", "-k", "PASS", "-r",
                                           Fixture("og-default.jpg"), "/dev/null"})
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, gifshuffle, std::string("gifshuffle"))
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, gifshuffle_9_characters, std::string("gifshuffle"), ShortWrongWords)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Binary, gifshuffle,
                  std::vector<std::string>{"gifshuffle", "-Q", "-p", "PASS", Fixture("gs-ice.gif")})
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, f5stegojs, std::string("f5stegojs"))
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
// Where tools/make_password_fixtures.sh installs it.
BENCHMARK_CAPTURE(Binary, f5stegojs,
                  std::vector<std::string>{"/tmp/f5stegojs/node_modules/.bin/f5stego", "-x", "-p",
                                           "PASS", Fixture("f5-colour.jpg"), "/dev/null"})
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, stegosuite, std::string("ss-file.bmp"))
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Binary, stegosuite,
                  std::vector<std::string>{"stegosuite", "extract", "-k", "PASS",
                                           Fixture("ss-file.bmp")})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, stegosuite_gif, std::string("ss-file.gif"))
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Binary, stegosuite_gif,
                  std::vector<std::string>{"stegosuite", "extract", "-k", "PASS",
                                           Fixture("ss-file.gif")})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// Its walk depends on the password's character sum alone: the list's 20,000 words have a few
// hundred sums, so most passwords reuse a walk; the tool keeps the walks of its sums, so one
// pass of 2000 words of as many sums measures a new sum's cost.
BENCHMARK_CAPTURE(Reader, stegosuite_jpeg, std::string("ss-file.jpg"))
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, stegosuite_jpeg_new_sums, std::string("ss-file.jpg"), NewSumWords)
    ->Arg(2000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_CAPTURE(Binary, stegosuite_jpeg,
                  std::vector<std::string>{"stegosuite", "extract", "-k", "PASS",
                                           Fixture("ss-file.jpg")})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(Reader, steghide, std::string("steghide"))
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// ICE over the blocks one gifshuffle password enciphers before its first message bit (the IV and
// 64 colours): the kernel side by side, the naive one block at a time through the byte interface.
constexpr std::size_t kIceBlocks = 65;
const IceKey& BenchIceKey() {
    static const IceKey key = [] {
        const std::array<std::uint8_t, 8> bytes{0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67};
        return IceKey(1, bytes);
    }();
    return key;
}
void IceBlocksKernel(benchmark::State& state) {
    std::vector<std::uint64_t> blocks(kIceBlocks);
    for (auto _ : state) {
        std::iota(blocks.begin(), blocks.end(), std::uint64_t{1});
        BenchIceKey().EncryptBlocks(blocks);
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kIceBlocks * 8));
}
void IceBlocksNaive(benchmark::State& state) {
    std::vector<std::array<std::uint8_t, 8>> blocks(kIceBlocks);
    for (auto _ : state) {
        for (std::size_t i = 0; i < kIceBlocks; ++i) {
            blocks[i] = {0, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(i + 1)};
            blocks[i] = BenchIceKey().Encrypt(blocks[i]);
        }
        benchmark::DoNotOptimize(blocks.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kIceBlocks * 8));
}
const bool kIceRegistered = [] {
    benchmark::RegisterBenchmark("IceBlocks/kernel", IceBlocksKernel);
    benchmark::RegisterBenchmark("IceBlocks/naive", IceBlocksNaive);
    bench::RegisterMemcpy("IceBlocks", kIceBlocks * 8);
    return true;
}();

} // namespace
} // namespace vantrel::passwords

BENCHMARK_MAIN();
