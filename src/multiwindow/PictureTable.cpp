#include "multiwindow/PictureTable.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vantrel {
namespace {

constexpr int kChannelOfRow[kGridRows] = {kAllColours, kRed, kGreen, kBlue, kAlpha};

// The single-channel blocks of eight pictures, in index order.
constexpr int kChannelOfBlock[kSingleChannels] = {kRed, kGreen, kBlue, kAlpha};

int RowOfChannel(int channel) {
    for (int row = 0; row < kGridRows; ++row) {
        if (kChannelOfRow[row] == channel) {
            return row;
        }
    }
    return kRowAllColours;
}

constexpr Bgr kBlack = Colour(0, 0, 0);
constexpr Bgr kGrewTone = Colour(255, 100, 100);
constexpr Bgr kShrankTone = Colour(100, 100, 255);
constexpr Bgr kGrewValue = Colour(200, 100, 100);
constexpr Bgr kShrankValue = Colour(100, 100, 200);

// The colour of a lit single-channel bit (and of a changed value in the comparison window).
Bgr ToneOf(int channel) {
    switch (channel) {
    case kRed:
        return Colour(255, 100, 100);
    case kGreen:
        return Colour(100, 255, 100);
    case kBlue:
        return Colour(100, 100, 255);
    default:
        return Colour(255, 255, 255);
    }
}

// Direction codes of the three-channel pictures: 0 black, 1-3 grew by one to three channels,
// 4-6 shrank by one to three.
constexpr Bgr kScoreColour[7] = {kBlack,
                                 Colour(66, 33, 33),
                                 Colour(132, 66, 66),
                                 Colour(200, 100, 100),
                                 Colour(33, 33, 66),
                                 Colour(66, 66, 132),
                                 Colour(100, 100, 200)};

} // namespace

PictureIndexEntry PictureIndex(int index) {
    if (index < 0 || index >= kPictureCount) {
        return {};
    }
    if (index < kFirstWholeBytePicture) {
        const int bit = index % kBitsPerChannel;
        const int channel =
            index < kFirstColourBitPicture ? kChannelOfBlock[index / kBitsPerChannel] : kAllColours;
        return {channel, bit, RowOfChannel(channel), kBitsPerChannel - bit};
    }
    const int channel =
        index == kColourPicture ? kAllColours : kChannelOfBlock[index - kFirstWholeBytePicture];
    return {channel, kAllBits, RowOfChannel(channel), 0};
}

int PictureAt(int gridRow, int gridColumn) {
    for (int index = 0; index < kPictureCount; ++index) {
        const PictureIndexEntry entry = PictureIndex(index);
        if (entry.gridRow == gridRow && entry.gridColumn == gridColumn) {
            return index;
        }
    }
    return -1;
}

const std::array<int, kPictureCount>& PictureOrder() {
    static const std::array<int, kPictureCount> order = [] {
        std::array<int, kPictureCount> made{};
        int next = 0;
        for (int index = kFirstWholeBytePicture; index <= kColourPicture; ++index) {
            made[next++] = index;
        }
        for (int index = kFirstColourBitPicture; index < kFirstWholeBytePicture; ++index) {
            made[next++] = index;
        }
        for (int index = 0; index < kFirstColourBitPicture; ++index) {
            made[next++] = index;
        }
        return made;
    }();
    return order;
}

bool CountsSamples(int index) {
    return (index >= kFirstColourBitPicture && index < kFirstWholeBytePicture) ||
           index == kColourPicture;
}

std::int64_t ChangeTotal(int index, int width, int height) {
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
    return CountsSamples(index) ? 3 * pixels : pixels;
}

std::string CountLabel(std::int64_t changes, std::int64_t total,
                       std::string_view thousandsSeparator) {
    if (changes < 1) {
        return "-";
    }
    const std::string digits = std::to_string(changes);
    std::string label;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            label += thousandsSeparator;
        }
        label += digits[i];
    }
    const double share = total > 0 ? 100.0 * static_cast<double>(changes) / total : 0.0;
    label += '-';
    label += std::to_string(static_cast<long long>(std::nearbyint(share)));
    label += '%';
    return label;
}

PictureFormat FormatOf(PlaneKind kind, int index) {
    const PictureIndexEntry entry = PictureIndex(index);
    const bool single = entry.channel != kAllColours;
    const bool wholeByte = entry.bit == kAllBits;
    PictureFormat format;
    auto& palette = format.palette;
    if (kind == PlaneKind::Direction) {
        format.bitsPerPixel = 4;
        if (single) {
            palette[1] = wholeByte ? kGrewValue : kGrewTone;
            palette[2] = wholeByte ? kShrankValue : kShrankTone;
            format.codes = 3; // grown or shrunk, never both
        } else {
            std::copy(std::begin(kScoreColour), std::end(kScoreColour), palette.begin());
            format.codes = 7;
        }
    } else if (kind == PlaneKind::Planes && index == kColourPicture) {
        format.bitsPerPixel = 24;
    } else if (kind == PlaneKind::Planes && single && wholeByte) {
        format.bitsPerPixel = 8;
        for (int value = 0; value < 256; ++value) {
            const int red = entry.channel == kRed || entry.channel == kAlpha ? value : 0;
            const int green = entry.channel == kGreen || entry.channel == kAlpha ? value : 0;
            const int blue = entry.channel == kBlue || entry.channel == kAlpha ? value : 0;
            palette[value] = Colour(red, green, blue);
        }
    } else if (single) {
        // A lit bit, or (comparison) a changed value.
        format.bitsPerPixel = 1;
        palette[1] = ToneOf(entry.channel);
    } else {
        // One bit a colour channel: red, green and blue each full or off.
        format.bitsPerPixel = 4;
        format.codes = 8;
        for (int code = 0; code < 8; ++code) {
            palette[code] = Colour(code & 4 ? 255 : 0, code & 2 ? 255 : 0, code & 1 ? 255 : 0);
        }
    }
    return format;
}

std::optional<std::array<int, 3>> ChannelSources(PlaneKind kind, int index) {
    const PictureIndexEntry entry = PictureIndex(index);
    if (kind == PlaneKind::Direction || entry.channel != kAllColours) {
        return std::nullopt; // a score is no one channel's
    }
    // The colour image is its channels' bytes; a colour bit plane (comparing: the changed bits
    // or values of the colours) is full (255) in a channel where that channel's own picture
    // lights, whose tone carries 255 in its own channel.
    const auto source = [&](int channel) {
        for (int i = 0; i < kPictureCount; ++i) {
            const PictureIndexEntry other = PictureIndex(i);
            if (other.channel == channel && other.bit == entry.bit) {
                return i;
            }
        }
        return -1;
    };
    return std::array<int, 3>{source(kBlue), source(kGreen), source(kRed)};
}

} // namespace vantrel
