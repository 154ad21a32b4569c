#pragma once
// Bit layouts: which bits of which samples, in which pixel order, make a byte stream. The text
// form `b<n>,<channels>,<lsb|msb>,<order>[,prime]` is the one analysts already compare with.
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::extract {

enum class Channel : std::uint8_t { Red, Green, Blue, Alpha, Index };
inline constexpr int kChannelCount = 5;

// The first letter names the coordinate that runs fastest; upper case runs it backwards.
enum class PixelOrder : std::uint8_t { xy, Xy, xY, XY, yx, Yx, yX, YX };
inline constexpr int kOrderCount = 8;

// Up to five channels in the order written, held in place (layouts are copied freely).
class ChannelList {
public:
    ChannelList() = default;
    ChannelList(std::initializer_list<Channel> channels) {
        for (const Channel channel : channels) {
            push_back(channel);
        }
    }
    void push_back(Channel channel) {
        if (count_ < kChannelCount) {
            items_[count_++] = channel;
        }
    }
    void clear() { count_ = 0; }
    std::size_t size() const { return count_; }
    const Channel* begin() const { return items_.data(); }
    const Channel* end() const { return items_.data() + count_; }
    friend bool operator==(const ChannelList& a, const ChannelList& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    std::array<Channel, kChannelCount> items_{};
    std::uint8_t count_ = 0;
};

struct Layout {
    std::uint8_t mask = 1;    // the bits taken from each sample, highest first
    bool maskWritten = false; // written as a mask rather than a count (kept for the text)
    ChannelList channels = {Channel::Red, Channel::Green, Channel::Blue};
    bool msbFirstBitLow = false; // `msb`: the first extracted bit becomes bit 0 of its byte
    PixelOrder order = PixelOrder::xy;
    bool prime = false;

    int bitsPerSample() const;
    int bitsPerPixel() const { return bitsPerSample() * static_cast<int>(channels.size()); }
    friend bool operator==(const Layout&, const Layout&) = default;
};

struct LayoutParse {
    std::optional<Layout> layout;
    std::string error; // one line when the text is not a layout
};

LayoutParse ParseLayout(const std::string& text);
std::string ToText(const Layout& layout);
std::string ToText(PixelOrder order);
char ChannelLetter(Channel channel);

// What the image offers beyond red, green and blue.
struct ImageChannels {
    bool alpha = false;   // the file stores alpha
    bool palette = false; // a palette index exists
};

// The layouts a scan walks, nested order, prime, bits, channels, then lsb before msb.
// Default: bits 1-4 in `xy` order. All: bits 1-8 in the eight orders, with prime when asked.
std::vector<Layout> WalkLayouts(ImageChannels channels, bool all, bool withPrime);

} // namespace vantrel::extract
