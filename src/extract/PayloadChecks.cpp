#include "extract/PayloadChecks.h"

#include "bytes/ByteOrder.h"
#include "extract/PayloadCheckParts.h"
#include "image/EnumText.h"

#include <algorithm>
#include <cstring>

namespace vantrel::extract {

using detail::MakeFinding;
using detail::Printable;

const char* TierText(Tier tier) {
    static constexpr const char* kTexts[] = {"raw", "weak", "found"};
    return EnumText<Tier::Found>(tier, kTexts, Tier::Raw);
}

StreamBytes::StreamBytes(std::vector<std::uint8_t> prefix, Source more, std::uint64_t cap)
    : bytes_(std::move(prefix)), more_(std::move(more)), cap_(cap) {}

StreamBytes::StreamBytes(std::span<const std::uint8_t> whole)
    : bytes_(whole.begin(), whole.end()), cap_(whole.size()), ended_(true) {}

bool StreamBytes::has(std::uint64_t end) {
    if (end <= bytes_.size()) {
        return true;
    }
    if (ended_ || !more_ || end > cap_) {
        return false;
    }
    // Grow at least geometrically so that following a long stream byte by byte stays linear.
    const std::uint64_t target =
        std::min<std::uint64_t>(cap_, std::max<std::uint64_t>(end, 2 * bytes_.size()));
    const std::size_t old = bytes_.size();
    bytes_.resize(target);
    const std::size_t got = more_(std::span<std::uint8_t>(bytes_.data() + old, target - old));
    bytes_.resize(old + got);
    ended_ = old + got < target;
    return end <= bytes_.size();
}

std::uint32_t StreamBytes::be32(std::uint64_t i) const {
    return bytes::Be32(bytes_.data() + i);
}
std::uint16_t StreamBytes::le16(std::uint64_t i) const {
    return bytes::Le16(bytes_.data() + i);
}
std::uint32_t StreamBytes::le32(std::uint64_t i) const {
    return bytes::Le32(bytes_.data() + i);
}
std::uint64_t StreamBytes::le64(std::uint64_t i) const {
    return bytes::Le64(bytes_.data() + i);
}

std::vector<Finding> CheckStream(StreamBytes& stream, std::size_t prefix,
                                 const CheckLimits& limits) {
    std::vector<Finding> findings;
    stream.has(prefix);
    const std::uint64_t scan = std::min<std::uint64_t>(prefix, stream.held());
    for (std::uint64_t at = 0; at < scan; ++at) {
        for (const detail::Signature& signature : detail::Signatures()) {
            if ((at > 0 && !signature.anywhere) ||
                stream.at(at) != std::uint8_t(signature.bytes[0]) ||
                !stream.has(at + signature.size) ||
                std::memcmp(stream.data() + at, signature.bytes, signature.size) != 0) {
                continue;
            }
            Finding finding;
            if (signature.check(stream, at, limits, finding)) {
                findings.push_back(std::move(finding));
            }
        }
    }
    const bool atStart = std::any_of(findings.begin(), findings.end(),
                                     [](const Finding& f) { return f.offset == 0; });
    if (!atStart) {
        Finding zlib;
        if (detail::CheckZlib(stream, 0, limits, zlib)) {
            findings.push_back(std::move(zlib));
        }
    }
    detail::CheckText(stream, prefix, limits, findings);
    detail::CheckLengthPrefixed(stream, limits, findings);
    const bool named = std::any_of(findings.begin(), findings.end(),
                                   [](const Finding& f) { return f.tier != Tier::Raw; });
    if (limits.magic && !named && scan >= 64 && !detail::LooksLikeNoise({stream.data(), 64})) {
        // A name from libmagic alone matches noise in clean photos: listed, never more than raw.
        // Streams of noise are not asked: file headers repeat bytes (zeros, letters), and a
        // libmagic look costs as much as the rest of a layout's checks together.
        if (std::string name = detail::MagicName({stream.data(), scan}); !name.empty()) {
            findings.push_back(
                MakeFinding("magic", Tier::Raw, Strength::Signature, 0, scan, "libmagic: " + name));
        }
    }
    for (Finding& finding : findings) {
        if (finding.tier == Tier::Found && stream.has(finding.offset + finding.length)) {
            finding.payload.assign(stream.data() + finding.offset,
                                   stream.data() + finding.offset + finding.length);
        }
    }
    return findings;
}

std::string DescribePayload(std::span<const std::uint8_t> payload, bool* recognised) {
    StreamBytes stream(payload);
    CheckLimits limits;
    limits.magic = false;
    const auto findings = CheckStream(stream, payload.size(), limits);
    for (const Finding& finding : findings) {
        if (finding.tier == Tier::Found && finding.offset == 0) {
            if (recognised) {
                *recognised = true;
            }
            return finding.what;
        }
    }
    if (recognised) {
        *recognised = false;
    }
    const bool printable = std::all_of(payload.begin(), payload.end(),
                                       [](std::uint8_t c) { return Printable(c) || c >= 0x80; });
    return printable ? "text" : "binary data";
}

} // namespace vantrel::extract
