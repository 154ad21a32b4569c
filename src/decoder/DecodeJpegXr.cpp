// JPEG XR through libjxr's glue layer: the decoder reads the file, a format converter turns any
// 8-bit RGB layout into FreeImage's B, G, R[, A] byte order.
#include "decoder/DecodeFallbacks.h"

#include "decoder/Decoding.h"

// Before FreeImage.h: that header defines _WINDOWS_, which changes what libjxr's headers declare.
#include <JXRGlue.h>

#include <FreeImage.h>

#include <memory>

namespace vantrel {
namespace {

struct DecoderRelease {
    void operator()(PKImageDecode* decoder) const { decoder->Release(&decoder); }
};
struct ConverterRelease {
    void operator()(PKFormatConverter* converter) const { converter->Release(&converter); }
};

// Null with `refusal` empty when libjxr cannot read the file; with it set when it is too large.
BitmapHandle ReadJpegXr(const std::string& path, std::int64_t maxPixels, std::string* refusal) {
    PKImageDecode* rawDecoder = nullptr;
    if (Failed(PKImageDecode_Create_WMP(&rawDecoder))) {
        return nullptr;
    }
    std::unique_ptr<PKImageDecode, DecoderRelease> decoder(rawDecoder);
    WMPStream* stream = nullptr;
    if (Failed(CreateWS_File(&stream, path.c_str(), "rb"))) {
        return nullptr;
    }
    if (Failed(decoder->Initialize(decoder.get(), stream))) {
        stream->Close(&stream);
        return nullptr;
    }
    decoder->fStreamOwner = !0; // the decoder's Release closes the stream from here on
    I32 width = 0;
    I32 height = 0;
    PKPixelFormatGUID source{};
    if (Failed(decoder->GetSize(decoder.get(), &width, &height)) ||
        Failed(decoder->GetPixelFormat(decoder.get(), &source)) || width <= 0 || height <= 0) {
        return nullptr;
    }
    *refusal = RefusalOfSize(width, height, path, maxPixels);
    if (!refusal->empty()) {
        return nullptr;
    }
    PKPixelInfo info{};
    info.pGUIDPixFmt = &source;
    const bool alpha =
        !Failed(PixelFormatLookup(&info, LOOKUP_FORWARD)) && (info.grBit & PK_pixfmtHasAlpha) != 0;
    PKFormatConverter* rawConverter = nullptr;
    if (Failed(PKCodecFactory_CreateFormatConverter(&rawConverter))) {
        return nullptr;
    }
    std::unique_ptr<PKFormatConverter, ConverterRelease> converter(rawConverter);
    char extension[] = ".bmp";
    if (Failed(converter->Initialize(converter.get(), decoder.get(), extension,
                                     alpha ? GUID_PKPixelFormat32bppBGRA
                                           : GUID_PKPixelFormat24bppBGR))) {
        return nullptr;
    }
    BitmapHandle bitmap(FreeImage_Allocate(width, height, alpha ? 32 : 24, FI_RGBA_RED_MASK,
                                           FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!bitmap) {
        return nullptr;
    }
    const PKRect all{0, 0, width, height};
    if (Failed(converter->Copy(converter.get(), &all, FreeImage_GetBits(bitmap.get()),
                               FreeImage_GetPitch(bitmap.get())))) {
        return nullptr;
    }
    // libjxr writes the top row first; FreeImage keeps the bottom row first.
    FreeImage_FlipVertical(bitmap.get());
    return bitmap;
}

} // namespace

BitmapHandle DecodeJpegXr(const std::string& path, std::int64_t maxPixels, std::string* error) {
    std::string refusal;
    BitmapHandle bitmap = ReadJpegXr(path, maxPixels, &refusal);
    if (!bitmap) {
        *error = refusal.empty() ? "Could not decode " + path + ": not a readable JPEG XR file"
                                 : refusal;
    }
    return bitmap;
}

} // namespace vantrel
