#include "reference/ExtractSupport.h"

#include <FreeImage.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace vantrel::extract::testing {

BitmapHandle NaturalBitmap(int width, int height, int bitsPerPixel, unsigned seed) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, bitsPerPixel));
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 2.0);
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = view.row(y) + x * view.bytesPerPixel;
            for (int c = 0; c < 3; ++c) {
                const double field = 120 + 60 * std::sin(0.05 * x + c) * std::cos(0.07 * y - c);
                pixel[c] = static_cast<std::uint8_t>(
                    std::clamp(std::lrint(field + noise(random)), 0L, 255L));
            }
            if (view.bytesPerPixel == 4) {
                pixel[3] = 255;
            }
        }
    }
    return bitmap;
}

bool Embed(FIBITMAP* bitmap, const Layout& layout, const std::vector<std::uint8_t>& bytes) {
    const MutablePixelView view = MutableViewOfBitmap(bitmap);
    std::vector<int> shifts;
    for (int bit = 7; bit >= 0; --bit) {
        if ((layout.mask >> bit) & 1) {
            shifts.push_back(bit);
        }
    }
    PrimeIndices primes(std::uint64_t(view.width) * view.height);
    const std::size_t totalBits = bytes.size() * 8;
    std::size_t next = 0;
    for (std::uint64_t n = 0; next < totalBits; ++n) {
        const std::uint64_t k = layout.prime ? primes.nth(n) : n;
        if (k >= std::uint64_t(view.width) * view.height) {
            return false;
        }
        const PixelAt at = PixelInOrder(layout.order, view.width, view.height, k);
        std::uint8_t* pixel = view.row(at.y) + at.x * view.bytesPerPixel;
        for (const Channel channel : layout.channels) {
            static constexpr int kOffset[] = {kRed, kGreen, kBlue, kAlpha, -1};
            std::uint8_t& sample = pixel[kOffset[static_cast<int>(channel)]];
            for (const int shift : shifts) {
                if (next == totalBits) {
                    return true;
                }
                const int bitInByte = layout.msbFirstBitLow ? next % 8 : 7 - next % 8;
                const int bit = (bytes[next / 8] >> bitInByte) & 1;
                sample = static_cast<std::uint8_t>((sample & ~(1 << shift)) | (bit << shift));
                ++next;
            }
        }
    }
    return true;
}

Layout LayoutOf(const char* text) {
    const LayoutParse parsed = ParseLayout(text);
    if (!parsed.layout) {
        throw std::invalid_argument(parsed.error);
    }
    return *parsed.layout;
}

std::vector<std::uint8_t> BytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

const std::string kProse = "The committee will meet again on Thursday, after the harvest fair, "
                           "to settle the question of the north bridge.";

Bytes Png() {
    BitmapHandle bitmap = NaturalBitmap(9, 7, 24, 1);
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_PNG, bitmap.get(), memory);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    Bytes png(data, data + size);
    FreeImage_CloseMemory(memory);
    return png;
}

Bytes Deflated(const Bytes& input, int windowBits) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(input.size() + 64);
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void Put(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(i < 4 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
    }
}

// One deflated member, its central directory entry and the end record.
Bytes Zip() {
    const Bytes content = BytesOf(kProse + kProse);
    const Bytes packed = Deflated(content, -15);
    const auto crc = static_cast<std::uint32_t>(crc32(0, content.data(), content.size()));
    Bytes zip;
    auto header = [&](std::uint32_t signature, bool central) {
        Put(zip, signature, 4);
        Put(zip, 20, central ? 4 : 2); // versions
        Put(zip, 0, 2);
        Put(zip, 8, 2);
        Put(zip, 0, 4);
        Put(zip, crc, 4);
        Put(zip, static_cast<std::uint32_t>(packed.size()), 4);
        Put(zip, static_cast<std::uint32_t>(content.size()), 4);
        Put(zip, 5, 2);
        Put(zip, 0, central ? 16 : 2);
        zip.insert(zip.end(), {'n', 'o', 't', 'e', 's'});
    };
    header(0x04034b50, false);
    zip.insert(zip.end(), packed.begin(), packed.end());
    const auto directory = static_cast<std::uint32_t>(zip.size());
    header(0x02014b50, true);
    const auto directorySize = static_cast<std::uint32_t>(zip.size()) - directory;
    Put(zip, 0x06054b50, 4);
    Put(zip, 0, 4);
    Put(zip, 0x00010001, 4);
    Put(zip, directorySize, 4);
    Put(zip, directory, 4);
    Put(zip, 0, 2);
    return zip;
}

Bytes LengthPrefixed() {
    std::mt19937 random(11);
    Bytes bytes = {0, 0, 0x01, 0x00};
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    return bytes;
}

} // namespace vantrel::extract::testing
