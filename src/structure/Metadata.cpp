// Metadata blocks shared by several containers: XMP packets, IPTC-IIM records, Photoshop
// image resources and the Photo Mechanic trailer.
#include "structure/Walk.h"

#include <algorithm>
#include <string_view>

namespace vantrel::structure::detail {

namespace {

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        static constexpr std::pair<std::string_view, char> kEntities[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(i, entity.size()) == entity) {
                out += c;
                i += entity.size() - 1;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += '&';
        }
    }
    return out;
}

bool Blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isspace((unsigned char)c); });
}

bool Structural(std::string_view name) {
    return name.starts_with("rdf:") || name.starts_with("x:") || name.starts_with("xmlns") ||
           name == "xml:lang";
}

} // namespace

void XmpTexts(Walk& walk, std::uint64_t offset, std::uint64_t length) {
    if (!walk.has(offset, length)) {
        return;
    }
    const std::string_view xml(reinterpret_cast<const char*>(walk.at(offset)),
                               std::min<std::uint64_t>(length, 16u << 20));
    std::vector<std::string_view> open; // element names from the root
    std::size_t pos = 0;
    while (pos < xml.size()) {
        const std::size_t lt = xml.find('<', pos);
        if (lt == std::string_view::npos) {
            break;
        }
        if (lt > pos && !open.empty() && !Blank(xml.substr(pos, lt - pos))) {
            // Text content belongs to the innermost property, past rdf:Alt/Seq/Bag/li.
            auto property = std::find_if(open.rbegin(), open.rend(),
                                         [](std::string_view n) { return !Structural(n); });
            if (property != open.rend()) {
                walk.text("XMP", std::string(*property), Unescaped(xml.substr(pos, lt - pos)),
                          offset + pos);
            }
        }
        const std::size_t gt = xml.find('>', lt);
        if (gt == std::string_view::npos) {
            break;
        }
        std::string_view tag = xml.substr(lt + 1, gt - lt - 1);
        pos = gt + 1;
        if (tag.starts_with('?') || tag.starts_with('!')) {
            continue;
        }
        if (tag.starts_with('/')) {
            if (!open.empty()) {
                open.pop_back();
            }
            continue;
        }
        const bool empty = tag.ends_with('/');
        const std::size_t nameEnd = std::min(tag.find_first_of(" \t\r\n/"), tag.size());
        const std::string_view name = tag.substr(0, nameEnd);
        // Attributes name="value" are properties too (the short form editors write).
        std::size_t a = nameEnd;
        while (a < tag.size()) {
            const std::size_t eq = tag.find('=', a);
            if (eq == std::string_view::npos || eq + 1 >= tag.size()) {
                break;
            }
            const char quote = tag[eq + 1];
            const std::size_t close = tag.find(quote, eq + 2);
            if ((quote != '"' && quote != '\'') || close == std::string_view::npos) {
                break;
            }
            std::string_view key = tag.substr(a, eq - a);
            while (!key.empty() && std::isspace((unsigned char)key.front())) {
                key.remove_prefix(1);
            }
            const std::string_view value = tag.substr(eq + 2, close - eq - 2);
            if (key.find(':') != std::string_view::npos && !Structural(key) && !value.empty()) {
                walk.text("XMP", std::string(key), Unescaped(value), offset + lt + 1 + eq + 2);
            }
            a = close + 1;
        }
        if (!empty && open.size() < 64) {
            open.push_back(name);
        }
    }
}

void IptcTexts(Walk& walk, std::uint64_t offset, std::uint64_t length) {
    if (!walk.has(offset, length)) {
        return;
    }
    static constexpr std::pair<int, const char*> kNames[] = {
        {5, "ObjectName"}, {25, "Keywords"},         {40, "SpecialInstructions"},
        {80, "By-line"},   {85, "By-lineTitle"},     {90, "City"},
        {101, "Country"},  {105, "Headline"},        {110, "Credit"},
        {115, "Source"},   {116, "CopyrightNotice"}, {120, "Caption-Abstract"},
        {122, "Writer"}};
    std::uint64_t pos = offset;
    const std::uint64_t end = offset + length;
    while (pos + 5 <= end && walk.u8(pos) == 0x1C) {
        const int record = walk.u8(pos + 1), dataset = walk.u8(pos + 2);
        std::uint64_t size = walk.be16(pos + 3);
        std::uint64_t data = pos + 5;
        if (size & 0x8000) { // extended length: the next (size & 0x7FFF) bytes hold it
            const std::uint64_t digits = size & 0x7FFF;
            if (digits > 4 || data + digits > end) {
                break;
            }
            size = 0;
            for (std::uint64_t k = 0; k < digits; ++k) {
                size = size << 8 | walk.u8(data + k);
            }
            data += digits;
        }
        if (size > end - data) {
            walk.anomaly(AnomalyKind::BadMetadata, pos, end - pos, "an IPTC record is cut short");
            break;
        }
        if (record == 2 && dataset != 0) {
            std::string key = "2:" + std::to_string(dataset);
            for (const auto& [number, name] : kNames) {
                if (number == dataset) {
                    key = name;
                }
            }
            walk.text("IPTC", key, Latin1(walk.at(data), size), data);
            CheckEmbedded(walk, data, size, ("IPTC " + key).c_str());
        }
        pos = data + size;
    }
}

bool PhotoshopResources(Walk& walk, std::uint64_t offset, std::uint64_t length, Part& part,
                        bool quietCut) {
    std::uint64_t pos = offset;
    const std::uint64_t end = offset + length;
    for (int blocks = 0; blocks < 10000 && pos + 12 <= end && walk.has(pos, 12) &&
                         walk.matches(pos, "8BIM") && !walk.full();
         ++blocks) {
        const std::uint16_t id = walk.be16(pos + 4);
        std::uint64_t at = pos + 6;
        const std::uint64_t nameLength = walk.u8(at);
        at += (nameLength + 2) & ~std::uint64_t(1); // Pascal name padded to even
        if (at + 4 > end) {
            break;
        }
        const std::uint64_t size = walk.be32(at);
        at += 4;
        if (size > end - at) {
            if (!quietCut) {
                walk.anomaly(AnomalyKind::BadMetadata, pos, end - pos,
                             "a Photoshop resource is cut short");
            }
            return false;
        }
        walk.add(part.children, pos, at + size - pos, "resource", "8BIM " + std::to_string(id));
        if (id == 0x0404) {
            IptcTexts(walk, at, size);
        } else if (id == 0x0424) {
            XmpTexts(walk, at, size);
        }
        pos = at + size + (size & 1);
    }
    return true;
}

std::uint64_t PhotoMechanicTrailer(Walk& walk, std::uint64_t end) {
    if (end < 12 || !walk.has(end - 12, 12) || !walk.matches(end - 8, "cbipcbbl")) {
        return 0;
    }
    const std::uint64_t size = walk.be32(end - 12);
    return size + 12 <= end ? size + 12 : 0;
}

} // namespace vantrel::structure::detail
