#include "extract/BitLayout.h"

#include <bit>
#include <sstream>

namespace vantrel::extract {

namespace {

constexpr const char* kOrderNames[kOrderCount] = {"xy", "Xy", "xY", "XY", "yx", "Yx", "yX", "YX"};

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, ',')) {
        fields.push_back(field);
    }
    if (!text.empty() && text.back() == ',') {
        fields.emplace_back();
    }
    return fields;
}

bool AllBinary(const std::string& digits) {
    return !digits.empty() && digits.find_first_not_of("01") == std::string::npos;
}

// The bits field: `b3`, `3b`, `b00001000`, `0x08`. One digit is a count, two or more binary
// digits a mask.
std::optional<std::string> ParseBits(const std::string& field, Layout& layout) {
    if (field.size() > 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
        const std::string hex = field.substr(2);
        if (hex.size() > 2 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return "the mask " + field + " is not one hexadecimal byte";
        }
        layout.mask = static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16));
        layout.maskWritten = true;
        return layout.mask == 0 ? std::optional<std::string>("the mask takes no bits")
                                : std::nullopt;
    }
    std::string digits;
    if (field.size() >= 2 && field[0] == 'b') {
        digits = field.substr(1);
    } else if (field.size() == 2 && field[1] == 'b') {
        digits = field.substr(0, 1);
    } else {
        return "the bits " + field + " are not b<n>, <n>b, a mask b<binary> or 0x<hex>";
    }
    if (digits.size() == 1) {
        if (digits[0] < '1' || digits[0] > '8') {
            return "the bit count must lie between 1 and 8: " + field;
        }
        layout.mask = static_cast<std::uint8_t>((1u << (digits[0] - '0')) - 1);
        layout.maskWritten = false;
        return std::nullopt;
    }
    if (!AllBinary(digits) || digits.size() > 8) {
        return "the mask " + field + " is not up to eight binary digits";
    }
    layout.mask = static_cast<std::uint8_t>(std::stoul(digits, nullptr, 2));
    layout.maskWritten = true;
    return layout.mask == 0 ? std::optional<std::string>("the mask takes no bits") : std::nullopt;
}

std::optional<std::string> ParseChannels(const std::string& field, Layout& layout) {
    if (field.empty()) {
        return std::string("no channels given");
    }
    layout.channels.clear();
    for (const char letter : field) {
        const std::string letters = "rgbai";
        const auto at = letters.find(letter);
        if (at == std::string::npos) {
            return "unknown channel '" + std::string(1, letter) + "' (r, g, b, a, i)";
        }
        const auto channel = static_cast<Channel>(at);
        for (const Channel seen : layout.channels) {
            if (seen == channel) {
                return "the channel '" + std::string(1, letter) + "' is given twice";
            }
        }
        layout.channels.push_back(channel);
    }
    return std::nullopt;
}

} // namespace

int Layout::bitsPerSample() const {
    return std::popcount(static_cast<unsigned>(mask));
}

char ChannelLetter(Channel channel) {
    return "rgbai"[static_cast<int>(channel)];
}

std::string ToText(PixelOrder order) {
    return kOrderNames[static_cast<int>(order)];
}

LayoutParse ParseLayout(const std::string& text) {
    const std::vector<std::string> fields = SplitFields(text);
    if (fields.size() != 4 && fields.size() != 5) {
        return {std::nullopt, "a layout is b<n>,<channels>,<lsb|msb>,<order>[,prime]: " + text};
    }
    Layout layout;
    if (auto error = ParseBits(fields[0], layout)) {
        return {std::nullopt, *error};
    }
    if (auto error = ParseChannels(fields[1], layout)) {
        return {std::nullopt, *error};
    }
    if (fields[2] != "lsb" && fields[2] != "msb") {
        return {std::nullopt, "the bit packing must be lsb or msb: " + fields[2]};
    }
    layout.msbFirstBitLow = fields[2] == "msb";
    bool orderKnown = false;
    for (int order = 0; order < kOrderCount; ++order) {
        if (fields[3] == kOrderNames[order]) {
            layout.order = static_cast<PixelOrder>(order);
            orderKnown = true;
        }
    }
    if (!orderKnown) {
        return {std::nullopt, "unknown pixel order " + fields[3] + " (xy Xy xY XY yx Yx yX YX)"};
    }
    if (fields.size() == 5) {
        if (fields[4] != "prime") {
            return {std::nullopt, "the fifth field can only be prime: " + fields[4]};
        }
        layout.prime = true;
    }
    return {layout, {}};
}

std::string ToText(const Layout& layout) {
    std::string text = "b";
    const bool lowRun = (layout.mask & (layout.mask + 1)) == 0;
    if (lowRun && !layout.maskWritten) {
        text += static_cast<char>('0' + layout.bitsPerSample());
    } else {
        for (int bit = 7; bit >= 0; --bit) {
            text += ((layout.mask >> bit) & 1) ? '1' : '0';
        }
    }
    text += ',';
    for (const Channel channel : layout.channels) {
        text += ChannelLetter(channel);
    }
    text.append(layout.msbFirstBitLow ? ",msb," : ",lsb,").append(ToText(layout.order));
    if (layout.prime) {
        text += ",prime";
    }
    return text;
}

std::vector<Layout> WalkLayouts(ImageChannels channels, bool all, bool withPrime) {
    using C = Channel;
    std::vector<ChannelList> sets = {{C::Red}, {C::Green}, {C::Blue}};
    if (channels.alpha) {
        sets.push_back({C::Alpha});
    }
    sets.push_back({C::Red, C::Green, C::Blue});
    sets.push_back({C::Blue, C::Green, C::Red});
    if (channels.alpha) {
        sets.push_back({C::Red, C::Green, C::Blue, C::Alpha});
        sets.push_back({C::Alpha, C::Blue, C::Green, C::Red});
    }
    if (channels.palette) {
        sets.push_back({C::Index});
    }
    const int orders = all ? kOrderCount : 1;
    const int maxBits = all ? 8 : 4;
    std::vector<Layout> layouts;
    for (int order = 0; order < orders; ++order) {
        for (const bool prime : {false, true}) {
            if (prime && !(all && withPrime)) {
                continue;
            }
            for (int bits = 1; bits <= maxBits; ++bits) {
                for (const auto& set : sets) {
                    for (const bool msb : {false, true}) {
                        Layout layout;
                        layout.mask = static_cast<std::uint8_t>((1u << bits) - 1);
                        layout.channels = set;
                        layout.msbFirstBitLow = msb;
                        layout.order = static_cast<PixelOrder>(order);
                        layout.prime = prime;
                        layouts.push_back(std::move(layout));
                    }
                }
            }
        }
    }
    return layouts;
}

} // namespace vantrel::extract
