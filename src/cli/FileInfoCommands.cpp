#include "cli/Cli.h"

#include "fileinfo/FileInfo.h"
#include "fileinfo/ImageComment.h"
#include "image/ImageLoading.h"
#include "viewer/ViewerMaths.h"

#include <clocale>
#include <iostream>

namespace vantrel::cli {
namespace {

int RunFileInfo(const Arguments& args) {
    if (args.size() != 1) {
        throw UsageError("fileinfo takes PATH");
    }
    // Time stamps in the user's own date and time notation.
    std::setlocale(LC_ALL, "");
    FileInfoRecord record;
    if (!GetFileInformation(args[0], record)) {
        throw InputError("No file information for " + args[0] + ": the path cannot be queried");
    }
    // A file that does not decode has no comment; its facts are shown all the same.
    const Result<BitmapHandle> bitmap = LoadImageFile(args[0]);
    std::cout << FileInfoText(record, GetImageComment(bitmap ? bitmap->get() : nullptr)) << '\n';
    return 0;
}

int RunReadout(const Arguments& args) {
    if (args.size() != 3) {
        throw UsageError("readout takes IMAGE X Y");
    }
    const int x = ParseInt(args[1], "X");
    const int y = ParseInt(args[2], "Y");
    const BitmapHandle bitmap = LoadOrThrow(args[0]);
    std::cout << ReadoutText(ReadPixelUnderPointer(ViewOfBitmap(bitmap.get()),
                                                   static_cast<float>(x), static_cast<float>(y)))
              << '\n';
    return 0;
}

} // namespace

std::vector<Command> FileInfoCommands() {
    return {
        {"fileinfo", "PATH",
         "the file information block of PATH, ending in the comment of the image it holds",
         RunFileInfo},
        {"readout", "IMAGE X Y",
         "the full-size viewer's readout line for the pointer at display position (X, Y)",
         RunReadout},
    };
}

} // namespace vantrel::cli
