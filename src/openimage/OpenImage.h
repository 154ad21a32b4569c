#pragma once
// The open-image flow: everything a window shows about a file it opens, decoded in the decoder
// process, with its file information and comment. It sits above both decoding and the file
// information, which know nothing of each other.
#include "fileinfo/FileInfo.h"
#include "image/Image.h"
#include "image/ImageLoading.h"

#include <string>

namespace vantrel {

// Everything a window shows about a file it opens: the decoded image (never null; its bitmap is
// null when the file could not be decoded, and `error` holds the one-line reason), the file
// information and the image's comment.
struct OpenedImage {
    SharedImage image;
    std::string error;
    FileInfoRecord information;
    std::string comment;

    bool decoded() const { return !image->empty(); }

    // The file information block, ending in the comment.
    std::string informationText() const;
};

OpenedImage OpenImageFile(const std::string& path, const DecodeOptions& options = {});

} // namespace vantrel
