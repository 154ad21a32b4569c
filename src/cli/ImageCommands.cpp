#include "cli/Cli.h"

#include "image/ImageLoading.h"

#include <iostream>

namespace vantrel::cli {
namespace {

int RunPicture(const Arguments& args) {
    if (args.size() != 2) {
        throw UsageError("picture takes IMAGE OUT.png");
    }
    const BitmapHandle bitmap = LoadOrThrow(args[0]);
    WritePng24(PictureOf(bitmap.get()).view(), args[1]);
    return 0;
}

int RunThumbnail(const Arguments& args) {
    if (args.size() != 3) {
        throw UsageError("thumbnail takes IMAGE L OUT.png");
    }
    const int longSide = ParseInt(args[1], "L");
    if (longSide <= 0) {
        throw UsageError("L must be positive");
    }
    const BitmapHandle bitmap = LoadOrThrow(args[0]);
    const BitmapHandle thumbnail = FitLongSide(bitmap.get(), longSide);
    if (!thumbnail) {
        throw InputError("No thumbnail of " + args[0] +
                         ": a side would be 0 pixels at L = " + args[1]);
    }
    WritePng24(PictureOf(thumbnail.get()).view(), args[2]);
    return 0;
}

// Decodes every file given through the same load path as the windows, one answer line a file:
// "PATH: W x H" or the reason it failed. The robustness benchmark drives it over thousands of
// hostile files, so one file's failure never stops the others.
int RunDecode(const Arguments& args) {
    if (args.empty()) {
        throw UsageError("decode takes IMAGE...");
    }
    int failures = 0;
    for (const std::string& path : args) {
        const Result<BitmapHandle> bitmap = LoadImageFile(path);
        if (bitmap) {
            std::cout << path << ": " << BitmapWidth(bitmap->get()) << " x "
                      << BitmapHeight(bitmap->get()) << '\n';
        } else {
            std::cout << path << ": " << bitmap.error() << '\n';
            ++failures;
        }
    }
    std::cout.flush();
    return failures == 0 ? 0 : 1;
}

} // namespace

std::vector<Command> ImageCommands() {
    return {
        {"picture", "IMAGE OUT.png", "the full-size displayed picture as a 24-bit PNG", RunPicture},
        {"thumbnail", "IMAGE L OUT.png", "the thumbnail with long side L as a 24-bit PNG",
         RunThumbnail},
        {"decode", "IMAGE...", "decodes each image and prints its size or why it failed",
         RunDecode},
    };
}

} // namespace vantrel::cli
