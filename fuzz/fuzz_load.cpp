// Fuzzes the load path as the windows use it. The first byte picks the file name's ending (one
// of the extension table's rows, or none), the rest is the file. A load must end in a standard
// bitmap or in null with a one-line reason naming the file; the fuzzer process itself (the
// caller) must never crash, whatever the decoder does.
#include "decoder/DecodeFallbacks.h"
#include "decoder/Decoding.h"
#include "image/ImageLoading.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace vantrel;

constexpr const char* kEndings[] = {".png", ".bmp", ".jpg", ".jp2", ".jxr", ".j2k", ".tif",
                                    "tiff", "webp", ".gif", ".psd", ".nef", ".raw"};

const std::string& WorkFile() {
    static const std::string folder = [] {
        char pattern[] = "/tmp/vantrel-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made);
    }();
    static const std::string file = folder + "/input";
    return file;
}

bool InProcess() {
    static const bool inProcess = std::getenv("VANTREL_FUZZ_IN_PROCESS") != nullptr;
    return inProcess;
}

// How the inputs ended, printed when the fuzzer exits: the caller never crashes, but how often
// the decoder did (or hung) is worth knowing.
struct Tally {
    long decoded = 0, failed = 0, crashed = 0, timedOut = 0, tooLarge = 0;
    ~Tally() {
        std::fprintf(stderr,
                     "fuzz_load: %ld decoded, %ld refused by the decoder, %ld decoder crashes, "
                     "%ld timeouts, %ld too large\n",
                     decoded, failed, crashed, timedOut, tooLarge);
    }
    void count(bool loaded, const std::string& error) {
        if (loaded) {
            ++decoded;
        } else if (error.starts_with("decoder crashed")) {
            ++crashed;
        } else if (error.starts_with("timed out")) {
            ++timedOut;
        } else if (error.starts_with("image too large")) {
            ++tooLarge;
        } else {
            ++failed;
        }
    }
};
Tally tally;

void Check(bool condition, const char* what, const std::string& detail) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_load: %s: %s\n", what, detail.c_str());
        std::abort();
    }
}

} // namespace

// Small limits keep each input at milliseconds; the limits themselves are tested elsewhere.
DecodeOptions FuzzOptions() {
    DecodeOptions options;
    options.limits.maxPixels = std::int64_t{1} << 22;
    options.limits.timeoutMilliseconds = 2000;
    return options;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string path = WorkFile() + kEndings[data[0] % std::size(kEndings)];
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    std::string error;
    const DecodeOptions options = FuzzOptions();
    BitmapHandle bitmap;
    if (InProcess()) {
        bitmap = DecodeImageInProcess(path, &error, options, DecodeWithFallbacks);
    } else if (Result<BitmapHandle> loaded = LoadImageFile(path, options)) {
        bitmap = std::move(loaded).value();
    } else {
        error = loaded.error();
    }
    tally.count(static_cast<bool>(bitmap), error);
    if (!bitmap) {
        Check(error.find(path) != std::string::npos, "reason does not name the file", error);
        Check(error.find('\n') == std::string::npos, "reason is not one line", error);
    } else {
        const PixelView view = ViewOfBitmap(bitmap.get());
        Check(!view.empty(), "not a standard 24/32-bit bitmap", path);
        // The analysis pass every loaded image meets: display picture and thumbnails.
        std::vector<std::uint8_t> picture(static_cast<std::size_t>(view.width) * view.height * 4);
        Check(CopyBitmapToBgrx(bitmap.get(), picture.data(), view.width * 4),
              "display conversion failed", path);
        FitLongSide(bitmap.get(), 300);
        FitLongSide(bitmap.get(), 100);
    }
    if (InProcess()) {
        const Size size2 =
            ReadImageSizeInProcess(path, nullptr, options.limits, DecodeWithFallbacks);
        Check(size2.width >= 0 && size2.height >= 0, "negative size", path);
    } else {
        ReadImageSize(path, options.limits); // must answer: a decoder that dies costs the file
    }
    std::remove(path.c_str());
    return 0;
}
