#include "cli/Cli.h"

#include "multiwindow/AnalysisBitmaps.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

namespace vantrel::cli {
namespace {

std::string PicturePath(const std::string& outDir, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "picture-%02d.png", index);
    return (std::filesystem::path(outDir) / name).string();
}

std::string SizeText(const FIBITMAP* bitmap) {
    return std::to_string(BitmapWidth(bitmap)) + " x " + std::to_string(BitmapHeight(bitmap));
}

// The 45 pictures of one window on the images, in index order: each picture's line (its lit
// pixels for the bit-plane window, its count label for the other two) and, with an output
// folder, the picture as a 24-bit PNG.
int RunPictures(PlaneKind kind, const FIBITMAP* first, const FIBITMAP* second,
                const std::string* outDir) {
    if (outDir != nullptr) {
        std::error_code error;
        std::filesystem::create_directories(*outDir, error);
        if (error) {
            throw InputError("Could not create " + *outDir + ": " + error.message());
        }
    }
    AnalysisBitmaps bitmaps;
    bitmaps.start(kind, BitmapWidth(first), BitmapHeight(first));
    for (int index = 0; index < kPictureCount; ++index) {
        std::int64_t changes = 0;
        if (!bitmaps.compute(index, ViewOfBitmap(first), ViewOfBitmap(second), &changes)) {
            throw InputError("Not enough memory for analysis picture " + std::to_string(index) +
                             " of " + SizeText(first) + " pixels");
        }
        if (kind == PlaneKind::Planes) {
            std::cout << index << '\t' << bitmaps.litPixels(index) << '\n';
        } else {
            const std::int64_t total = ChangeTotal(index, bitmaps.width(), bitmaps.height());
            std::cout << index << '\t' << CountLabel(changes, total, ",") << '\n';
        }
        if (outDir != nullptr) {
            const BitmapHandle full = bitmaps.fullBitmap(index);
            if (!full) {
                throw InputError("Not enough memory to write " + PicturePath(*outDir, index));
            }
            WritePng24(ViewOfBitmap(full.get()), PicturePath(*outDir, index));
        }
        // Only the current picture is needed from here on.
        bitmaps.start(kind, bitmaps.width(), bitmaps.height());
    }
    return 0;
}

int RunPlanes(const Arguments& args) {
    if (args.empty() || args.size() > 2) {
        throw UsageError("planes takes IMAGE [OUTDIR]");
    }
    const BitmapHandle image = LoadOrThrow(args[0]);
    return RunPictures(PlaneKind::Planes, image.get(), nullptr,
                       args.size() > 1 ? &args[1] : nullptr);
}

int RunPair(PlaneKind kind, const char* name, const Arguments& args) {
    if (args.size() < 2 || args.size() > 3) {
        throw UsageError(std::string(name) + " takes IMAGE1 IMAGE2 [OUTDIR]");
    }
    const BitmapHandle first = LoadOrThrow(args[0]);
    const BitmapHandle second = LoadOrThrow(args[1]);
    if (BitmapWidth(first.get()) != BitmapWidth(second.get()) ||
        BitmapHeight(first.get()) != BitmapHeight(second.get())) {
        throw InputError("Cannot compare images of different sizes: " + args[0] + " is " +
                         SizeText(first.get()) + " pixels, " + args[1] + " is " +
                         SizeText(second.get()) + " pixels");
    }
    return RunPictures(kind, first.get(), second.get(), args.size() > 2 ? &args[2] : nullptr);
}

} // namespace

std::vector<Command> MultiWindowCommands() {
    return {
        {"planes", "IMAGE [OUTDIR]",
         "the 45 bit-plane pictures: index and lit pixels; with OUTDIR picture-NN.png", RunPlanes},
        {"compare", "IMAGE1 IMAGE2 [OUTDIR]",
         "the 45 comparison pictures: index and count label; with OUTDIR picture-NN.png",
         [](const Arguments& args) { return RunPair(PlaneKind::Comparison, "compare", args); }},
        {"direction", "IMAGE1 IMAGE2 [OUTDIR]",
         "the 45 direction-of-change pictures: index and count label; with OUTDIR picture-NN.png",
         [](const Arguments& args) { return RunPair(PlaneKind::Direction, "direction", args); }},
    };
}

} // namespace vantrel::cli
