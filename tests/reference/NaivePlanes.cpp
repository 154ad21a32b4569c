#include "reference/NaivePlanes.h"

#include <FreeImage.h>

namespace vantrel::naive {
namespace {

RGBQUAD Rgb(int red, int green, int blue) {
    RGBQUAD quad{};
    quad.rgbRed = static_cast<BYTE>(red);
    quad.rgbGreen = static_cast<BYTE>(green);
    quad.rgbBlue = static_cast<BYTE>(blue);
    return quad;
}

// The byte a single-channel picture examines: 0-7 red, 8-15 green, 16-23 blue, 24-31 alpha,
// and 40-43 in the same order.
int ChannelByte(const RGBQUAD& q, int index) {
    const int block = index < 32 ? index / 8 : index - 40;
    switch (block) {
    case 0:
        return q.rgbRed;
    case 1:
        return q.rgbGreen;
    case 2:
        return q.rgbBlue;
    default:
        return q.rgbReserved;
    }
}

RGBQUAD Tone(int index) {
    const int block = index < 32 ? index / 8 : index - 40;
    switch (block) {
    case 0:
        return Rgb(255, 100, 100);
    case 1:
        return Rgb(100, 255, 100);
    case 2:
        return Rgb(100, 100, 255);
    default:
        return Rgb(255, 255, 255);
    }
}

RGBQUAD PlanesRule(int index, const RGBQUAD& q) {
    if (index < 32) {
        const int m = 1 << (index % 8);
        return (ChannelByte(q, index) & m) != 0 ? Tone(index) : Rgb(0, 0, 0);
    }
    if (index < 40) {
        const int m = 1 << (index - 32);
        return Rgb(q.rgbRed & m ? 255 : 0, q.rgbGreen & m ? 255 : 0, q.rgbBlue & m ? 255 : 0);
    }
    switch (index) {
    case 40:
        return Rgb(q.rgbRed, 0, 0);
    case 41:
        return Rgb(0, q.rgbGreen, 0);
    case 42:
        return Rgb(0, 0, q.rgbBlue);
    case 43:
        return Rgb(q.rgbReserved, q.rgbReserved, q.rgbReserved);
    default:
        return Rgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
}

RGBQUAD ComparisonRule(int index, const RGBQUAD& a, const RGBQUAD& b, std::int64_t& count) {
    const bool threeChannels = (index >= 32 && index < 40) || index == 44;
    const int m = index < 40 ? 1 << (index % 8) : 0xFF;
    if (!threeChannels) {
        if ((ChannelByte(a, index) & m) != (ChannelByte(b, index) & m)) {
            ++count;
            return Tone(index);
        }
        return Rgb(0, 0, 0);
    }
    const bool red = (a.rgbRed & m) != (b.rgbRed & m);
    const bool green = (a.rgbGreen & m) != (b.rgbGreen & m);
    const bool blue = (a.rgbBlue & m) != (b.rgbBlue & m);
    count += red + green + blue;
    return Rgb(red ? 255 : 0, green ? 255 : 0, blue ? 255 : 0);
}

RGBQUAD DirectionRule(int index, const RGBQUAD& a, const RGBQUAD& b, std::int64_t& count) {
    const bool threeChannels = (index >= 32 && index < 40) || index == 44;
    const int m = index < 40 ? 1 << (index % 8) : 0xFF;
    if (!threeChannels) {
        const int difference = (ChannelByte(b, index) & m) - (ChannelByte(a, index) & m);
        if (difference != 0) {
            ++count;
        }
        if (index < 32) {
            return difference > 0   ? Rgb(255, 100, 100)
                   : difference < 0 ? Rgb(100, 100, 255)
                                    : Rgb(0, 0, 0);
        }
        return difference > 0   ? Rgb(200, 100, 100)
               : difference < 0 ? Rgb(100, 100, 200)
                                : Rgb(0, 0, 0);
    }
    int score = 0;
    const int differences[3] = {(b.rgbRed & m) - (a.rgbRed & m),
                                (b.rgbGreen & m) - (a.rgbGreen & m),
                                (b.rgbBlue & m) - (a.rgbBlue & m)};
    for (const int difference : differences) {
        if (difference > 0) {
            ++score;
        } else if (difference < 0) {
            --score;
        }
        if (difference != 0) {
            ++count;
        }
    }
    switch (score) {
    case 3:
        return Rgb(200, 100, 100);
    case 2:
        return Rgb(132, 66, 66);
    case 1:
        return Rgb(66, 33, 33);
    case -1:
        return Rgb(33, 33, 66);
    case -2:
        return Rgb(66, 66, 132);
    case -3:
        return Rgb(100, 100, 200);
    default:
        return Rgb(0, 0, 0);
    }
}

} // namespace

std::int64_t NaivePicture(PlaneKind kind, int index, FIBITMAP* first, FIBITMAP* second,
                          FIBITMAP* out) {
    const unsigned width = first ? FreeImage_GetWidth(first) : 0;
    const unsigned height = first ? FreeImage_GetHeight(first) : 0;
    RGBQUAD a{};
    RGBQUAD b{};
    std::int64_t count = 0;
    for (unsigned x = 0; x < width; ++x) {
        for (unsigned y = 0; y < height; ++y) {
            FreeImage_GetPixelColor(first, x, y, &a);
            RGBQUAD result{};
            switch (kind) {
            case PlaneKind::Planes:
                result = PlanesRule(index, a);
                break;
            case PlaneKind::Comparison:
                FreeImage_GetPixelColor(second, x, y, &b);
                result = ComparisonRule(index, a, b, count);
                break;
            case PlaneKind::Direction:
                FreeImage_GetPixelColor(second, x, y, &b);
                result = DirectionRule(index, a, b, count);
                break;
            }
            result.rgbReserved = 0;
            FreeImage_SetPixelColor(out, x, y, &result);
        }
    }
    return count;
}

} // namespace vantrel::naive
