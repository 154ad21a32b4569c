#pragma once
// The open-image flow: everything a window shows about a file it opens, decoded in the decoder
// process, with its file information and comment. It sits above both decoding and the file
// information, which know nothing of each other.
#include "fileinfo/FileInfo.h"
#include "image/ImageLoading.h"

#include <string>

namespace vantrel {

// Everything a window shows about a file it opens: the decoded bitmap (null when it could not
// be decoded, with the one-line reason), its size, the file information and the image's comment.
struct OpenedImage {
    std::string path;
    BitmapHandle bitmap;
    int width = 0;
    int height = 0;
    std::string error;
    FileInfoRecord information;
    std::string comment;

    // The file information block, ending in the comment.
    std::string informationText() const;
};

OpenedImage OpenImageFile(const std::string& path, const DecodeOptions& options = {});

struct LoadedImage {
    BitmapHandle bitmap;
    std::string path;
    int width = 0;
    int height = 0;

    // Takes the bitmap and reads its size (0 x 0 for null).
    void assign(BitmapHandle newBitmap, std::string newPath);
    void reset();
};

} // namespace vantrel
