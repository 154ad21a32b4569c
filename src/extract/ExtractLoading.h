#pragma once
// The one place where the extraction front ends (window and command line) decode an image file.
#include "extract/BitStream.h"
#include "image/Image.h"
#include "image/Result.h"

#include <string>

namespace vantrel::extract {

// A decoded image with its samples as the layouts read them; the image owns the rows the
// samples borrow.
struct ExtractionImage {
    SharedImage image;
    SampleImage samples;
};

// Decodes the file with palette images as stored, so that their indices can be read; the
// failure names the file.
Result<ExtractionImage> LoadImageForExtraction(const std::string& path);

} // namespace vantrel::extract
