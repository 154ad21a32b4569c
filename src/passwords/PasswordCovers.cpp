#include "passwords/PasswordCovers.h"

#include <FreeImage.h>

#include "bytes/FormatSniff.h"
#include "image/ImageLoading.h"
#include "jpeg/CoefficientsWire.h"
#include "jpeg/LoadCoefficients.h"
#include "passwords/GifColourTable.h"
#include "passwords/PasswordTools.h"
#include "steghide/SteghideInput.h"

#include <algorithm>

namespace vantrel::passwords {
namespace {

constexpr std::string_view kTools[] = {"steghide", "outguess", "f5stegojs", "stegosuite",
                                       "gifshuffle"};

// The samples OutGuess's PNM reader sees in the pixels of a lossless file: rows top first, R G B
// (grey: one sample a pixel). FreeImage keeps rows bottom first and colours as B G R.
Result<std::vector<std::uint8_t>> OutguessSamples(const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap); // FreeImage's getters take no const
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    const bool grey = bpp == 8 && FreeImage_GetColorType(bitmap) == FIC_MINISBLACK;
    if (FreeImage_GetImageType(bitmap) != FIT_BITMAP || (!grey && bpp != 24 && bpp != 32)) {
        return Failure("not the 8-bit grey or 24-bit colour pixels OutGuess writes");
    }
    const unsigned width = FreeImage_GetWidth(bitmap);
    const unsigned height = FreeImage_GetHeight(bitmap);
    const unsigned depth = grey ? 1 : 3;
    std::vector<std::uint8_t> samples;
    samples.reserve(static_cast<std::size_t>(width) * height * depth);
    for (unsigned row = height; row-- > 0;) {
        const BYTE* line = FreeImage_GetScanLine(bitmap, static_cast<int>(row));
        if (grey) {
            samples.insert(samples.end(), line, line + width);
            continue;
        }
        const unsigned step = bpp / 8;
        for (unsigned x = 0; x < width; ++x, line += step) {
            samples.push_back(line[FI_RGBA_RED]);
            samples.push_back(line[FI_RGBA_GREEN]);
            samples.push_back(line[FI_RGBA_BLUE]);
        }
    }
    return samples;
}

// The pixels as Java's getRGB gives them to stegosuite: 0xAARRGGBB, rows top first, opaque
// where the file stores no alpha.
Result<StegosuiteCover> StegosuiteCoverOf(const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap); // FreeImage's getters take no const
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (FreeImage_GetImageType(bitmap) != FIT_BITMAP || (bpp != 24 && bpp != 32)) {
        return Failure("not the 24-bit or 32-bit colour pixels stegosuite writes");
    }
    const unsigned width = FreeImage_GetWidth(bitmap);
    const unsigned height = FreeImage_GetHeight(bitmap);
    std::vector<std::uint32_t> argb;
    argb.reserve(static_cast<std::size_t>(width) * height);
    for (unsigned row = height; row-- > 0;) {
        const BYTE* line = FreeImage_GetScanLine(bitmap, static_cast<int>(row));
        for (unsigned x = 0; x < width; ++x, line += bpp / 8) {
            const std::uint32_t alpha = bpp == 32 ? line[FI_RGBA_ALPHA] : 0xFF;
            argb.push_back(alpha << 24 | std::uint32_t{line[FI_RGBA_RED]} << 16 |
                           std::uint32_t{line[FI_RGBA_GREEN]} << 8 | line[FI_RGBA_BLUE]);
        }
    }
    return StegosuitePixelCover(argb, width, height);
}

// A GIF's first image for stegosuite: the table it uses, from the decoder's reading of the file,
// over the indices of the same image decoded.
Result<StegosuiteCover> StegosuiteGifCoverOf(const GifFrameTable& frame,
                                             const FIBITMAP* constBitmap) {
    auto* bitmap = const_cast<FIBITMAP*>(constBitmap); // FreeImage's getters take no const
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    const unsigned width = FreeImage_GetWidth(bitmap);
    const unsigned height = FreeImage_GetHeight(bitmap);
    if (FreeImage_GetImageType(bitmap) != FIT_BITMAP || (bpp != 1 && bpp != 4 && bpp != 8) ||
        width != frame.width || height != frame.height) {
        return Failure("its first image did not decode to the palette indices its header claims");
    }
    std::vector<std::uint8_t> indices;
    indices.reserve(static_cast<std::size_t>(width) * height);
    const unsigned perByte = 8 / bpp;
    const unsigned mask = (1u << bpp) - 1;
    for (unsigned row = height; row-- > 0;) {
        const BYTE* line = FreeImage_GetScanLine(bitmap, static_cast<int>(row));
        for (unsigned x = 0; x < width; ++x) {
            const unsigned shift = (perByte - 1 - x % perByte) * bpp;
            indices.push_back(static_cast<std::uint8_t>(line[x / perByte] >> shift & mask));
        }
    }
    return StegosuiteGifCover(frame.table, indices, width, height);
}

bool Wanted(std::span<const std::string> wanted, std::string_view tool) {
    return std::find(wanted.begin(), wanted.end(), tool) != wanted.end();
}

} // namespace

std::span<const std::string_view> KnownPasswordTools() {
    return kTools;
}

Result<FileTools> LoadPasswordTools(const std::string& path, std::span<const std::string> wanted) {
    FileTools found;
    const auto skip = [&](std::string_view tool, const std::string& why) {
        found.notApplicable.push_back(std::string(tool) + ": " + why);
    };
    if (HasJpegSignature(path)) {
        Result<JpegCoefficients> jpeg = LoadJpegCoefficients(path);
        if (!jpeg) {
            return Failure(jpeg.error());
        }
        if (Wanted(wanted, "steghide")) {
            Result<SteghideCover> cover = SteghideJpegCover(*jpeg);
            cover ? found.tools.push_back(MakeSteghideTool(std::move(cover).value()))
                  : skip("steghide", cover.error());
        }
        if (Wanted(wanted, "outguess")) {
            found.outguessDetector = DetectOutguessBlockiness(*jpeg);
            Result<OutguessCover> cover = OutguessJpegCover(*jpeg);
            cover ? found.tools.push_back(MakeOutguessTool(std::move(cover).value()))
                  : skip("outguess", cover.error());
        }
        if (Wanted(wanted, "f5stegojs")) {
            Result<F5stegoCover> cover = F5stegoJpegCover(*jpeg);
            if (!cover) {
                // Its padding blocks, which the decoder keeps only when asked.
                const Result<JpegCoefficients> padded = AnalyseInDecoder<JpegCoefficients>(
                    path, kF5stegoCoefficientsAnalysis, DecodeJpegCoefficients);
                cover = padded ? F5stegoJpegCover(*padded) : Failure(padded.error());
            }
            cover ? found.tools.push_back(MakeF5stegoTool(std::move(cover).value()))
                  : skip("f5stegojs", cover.error());
        }
        if (Wanted(wanted, "stegosuite")) {
            // Its F5 walks the padding blocks of the MCUs too.
            const Result<JpegCoefficients> padded = AnalyseInDecoder<JpegCoefficients>(
                path, kF5stegoCoefficientsAnalysis, DecodeJpegCoefficients);
            Result<StegosuiteJpegCover> cover =
                padded ? StegosuiteJpegCoverOf(*padded) : Failure(padded.error());
            cover ? found.tools.push_back(MakeStegosuiteTool(std::move(cover).value()))
                  : skip("stegosuite", cover.error());
        }
        if (Wanted(wanted, "gifshuffle")) {
            skip("gifshuffle", "not a GIF");
        }
        return found;
    }
    DecodeOptions options;
    options.keepIndexed = true;
    const Result<BitmapHandle> bitmap = LoadImageFile(path, options);
    if (!bitmap) {
        return Failure(bitmap.error());
    }
    if (Wanted(wanted, "steghide")) {
        Result<SteghideCover> cover = LoadSteghideCover(path);
        cover ? found.tools.push_back(MakeSteghideTool(std::move(cover).value()))
              : skip("steghide", cover.error());
    }
    const Result<std::vector<GifColour>> table = AnalyseInDecoder<std::vector<GifColour>>(
        path, kGifColourTableAnalysis, DecodeGifColourTable);
    if (Wanted(wanted, "outguess")) {
        Result<std::vector<std::uint8_t>> samples =
            table ? Result<std::vector<std::uint8_t>>(Failure("a GIF's palette pixels"))
                  : OutguessSamples(bitmap->get());
        samples ? found.tools.push_back(MakeOutguessTool(OutguessSampleCover(*samples)))
                : skip("outguess", samples.error());
    }
    if (Wanted(wanted, "f5stegojs")) {
        skip("f5stegojs", "not a JPEG");
    }
    if (Wanted(wanted, "stegosuite")) {
        Result<StegosuiteCover> cover = Failure("");
        if (bytes::SniffFileFormat(path.c_str()) == bytes::FileFormat::Gif) {
            const Result<GifFrameTable> frame =
                AnalyseInDecoder<GifFrameTable>(path, kGifFrameTableAnalysis, DecodeGifFrameTable);
            cover = frame ? StegosuiteGifCoverOf(*frame, bitmap->get()) : Failure(frame.error());
        } else {
            cover = StegosuiteCoverOf(bitmap->get());
        }
        cover ? found.tools.push_back(MakeStegosuiteTool(std::move(cover).value()))
              : skip("stegosuite", cover.error());
    }
    if (Wanted(wanted, "gifshuffle")) {
        table ? found.tools.push_back(MakeGifshuffleTool(*table))
              : skip("gifshuffle", table.error());
    }
    return found;
}

} // namespace vantrel::passwords
