#include "decoder/DecodeFallbacks.h"

#include "bytes/FormatSniff.h"
#include "decoder/Decoding.h"

#include <FreeImage.h>

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <cstring>

namespace vantrel {
namespace {} // namespace

BitmapHandle DecodeWithFallbacks(const std::string& path, int format, std::int64_t maxPixels,
                                 std::string* error) {
    const bytes::FileFormat sniffed = bytes::SniffFileFormat(path.c_str());
    if (sniffed == bytes::FileFormat::JpegXr) {
        return DecodeJpegXr(path, maxPixels, error);
    }
    if (sniffed == bytes::FileFormat::Bmp) {
        return DecodeBmpWithQt(path, maxPixels, error);
    }
    if (format == FIF_JXR) {
        return DecodeJpegXr(path, maxPixels, error);
    }
    return nullptr;
}

BitmapHandle DecodeBmpWithQt(const std::string& path, std::int64_t maxPixels, std::string* error) {
    QImageReader reader(QFile::decodeName(path.c_str()), "bmp");
    const QSize claimed = reader.size();
    if (claimed.isValid()) {
        if (std::string refusal = RefusalOfSize(claimed.width(), claimed.height(), path, maxPixels);
            !refusal.empty()) {
            *error = std::move(refusal);
            return nullptr;
        }
    }
    // Qt's own allocation cap is lower than the pixel limit; the limit above is the one we keep.
    const std::int64_t megabytes = maxPixels * 4 / (1024 * 1024) + 1;
    QImageReader::setAllocationLimit(static_cast<int>(std::min<std::int64_t>(megabytes, 1 << 30)));
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        *error = "Could not decode " + path + ": " + reader.errorString().toStdString();
        return nullptr;
    }
    const bool alpha = image.hasAlphaChannel();
    image = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
    const int width = image.width();
    const int height = image.height();
    const int bitsPerPixel = alpha ? 32 : 24;
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel, FI_RGBA_RED_MASK,
                                           FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
    if (!bitmap || image.isNull()) {
        return nullptr;
    }
    // Qt's ARGB32 is B, G, R, A in memory on this platform and BGR888 is B, G, R: FreeImage's
    // byte order. Only the row order differs (FreeImage stores the bottom row first).
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (bitsPerPixel / 8);
    for (int y = 0; y < height; ++y) {
        std::memcpy(FreeImage_GetScanLine(bitmap.get(), height - 1 - y), image.constScanLine(y),
                    rowBytes);
    }
    return bitmap;
}

} // namespace vantrel
