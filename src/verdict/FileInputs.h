#pragma once
// The caller's side of the "file-inputs" request: everything a file's analyses read, from one
// round trip to a decoder process, each part checked on arrival.
#include "image/Bitmap.h"
#include "image/ImageLoading.h"
#include "image/Result.h"
#include "jpeg/JpegCoefficients.h"
#include "steghide/SteghideFileHead.h"
#include "structure/FileStructure.h"

#include <optional>
#include <string>

namespace vantrel::verdict {

struct FileInputs {
    Result<structure::FileStructure> structure = Failure("not walked");
    // Only for a file with a JPEG signature, whatever its name says.
    std::optional<Result<JpegCoefficients>> coefficients;
    Result<SteghideFileHead> steghideHead = Failure("not read");
    // Palette and grey images as stored (indices), everything else 24/32-bit.
    Result<BitmapHandle> pixels = Failure("not decoded");

    bool isJpeg() const { return coefficients.has_value(); }
};

// Fails only when the decoder process gave no answer at all (crashed, timed out, malformed).
Result<FileInputs> LoadFileInputs(const std::string& path, const DecodeLimits& limits = {});

} // namespace vantrel::verdict
