#include "extract/PayloadScan.h"

#include "extract/ToolFormats.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace vantrel::extract {

namespace {

// Runs `work` over [0, count) in blocks, reporting progress between blocks from this thread.
bool InBlocks(std::size_t count, double from, double to, const ScanOptions& options,
              const std::function<void(std::size_t)>& work) {
    constexpr std::size_t kBlock = 64;
    for (std::size_t start = 0; start < count; start += kBlock) {
        const std::size_t end = std::min(count, start + kBlock);
        tbb::parallel_for(start, end, [&](std::size_t i) { work(i); });
        if (options.progress &&
            !options.progress(from + (to - from) * double(end) / double(count))) {
            return false;
        }
    }
    return true;
}

// A finding that starts inside another of the same stream is a part of it (text inside a
// steggy message may run on into a few printable noise bytes).
bool Contains(const Finding& outer, const Finding& inner) {
    return outer.walkIndex == inner.walkIndex && !outer.ownStream && !inner.ownStream &&
           outer.offset <= inner.offset && inner.offset < outer.offset + outer.length &&
           (inner.offset > outer.offset || inner.length <= outer.length);
}

std::uint32_t FirstWord(const std::vector<std::uint8_t>& bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | bytes[3];
}

// A small length at the start of one stream is significant only if it is rare in this walk: a
// dark corner, or the zero bytes of another payload's header, start many streams low.
void WeighLengthPrefixes(std::vector<Finding>& findings,
                         const std::vector<std::vector<std::uint8_t>>& prefixes,
                         const std::vector<bool>& repeated) {
    for (Finding& finding : findings) {
        if (finding.kind != "length-prefixed" || finding.tier != Tier::Found) {
            continue;
        }
        const std::uint64_t length = finding.length - 4;
        std::size_t asLow = 0;
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            asLow += !repeated[i] && prefixes[i].size() >= 4 && FirstWord(prefixes[i]) <= length;
        }
        // The stream itself and its bit-reversed twin start low; a few more may be echoes of
        // its own header in neighbouring layouts, many mean the image starts dark.
        if (asLow > 2) {
            finding.tier = asLow > 8 ? Tier::Raw : Tier::Weak;
            finding.what += ", but " + std::to_string(asLow) + " streams start as low";
            finding.payload.clear();
        }
    }
}

// Most of `echo`'s bytes, as a multiset, occur in `source`: text read through a permuted,
// reversed or thinned layout keeps its letters.
bool BytesDrawnFrom(const std::vector<std::uint8_t>& echo,
                    const std::vector<std::uint8_t>& source) {
    if (echo.empty() || source.empty()) {
        return false;
    }
    std::array<std::size_t, 256> available{};
    for (const std::uint8_t byte : source) {
        ++available[byte];
    }
    std::size_t matched = 0;
    for (const std::uint8_t byte : echo) {
        if (available[byte] > 0) {
            --available[byte];
            ++matched;
        }
    }
    return matched * 10 >= echo.size() * 9;
}

// A payload shows through other layouts too: its text mirrored by a reversed order, the zero
// bytes of its header as a small length. A statistical finding that repeats a better one, or a
// length prefix beside a payload whose checksum or structure holds, is kept as weak.
void DemoteEchoes(std::vector<Finding>& ranked) {
    const bool verified = std::any_of(ranked.begin(), ranked.end(), [](const Finding& f) {
        return f.tier == Tier::Found && f.strength >= Strength::Structure;
    });
    const auto lengthPrefixes = std::count_if(ranked.begin(), ranked.end(), [](const Finding& f) {
        return f.tier == Tier::Found && f.kind == "length-prefixed";
    });
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        Finding& finding = ranked[i];
        if (finding.tier != Tier::Found || finding.strength != Strength::Statistics) {
            continue;
        }
        const Finding* echoed = nullptr;
        for (std::size_t j = 0; j < i && !echoed && finding.kind == "text"; ++j) {
            const Finding& better = ranked[j];
            if (better.tier == Tier::Found && better.walkIndex != finding.walkIndex &&
                BytesDrawnFrom(finding.payload, better.payload)) {
                echoed = &better;
            }
        }
        if (echoed) {
            finding.tier = Tier::Weak;
            finding.what += ", an echo of " + echoed->layout;
        } else if (finding.kind == "length-prefixed" && (verified || lengthPrefixes > 1)) {
            // Several candidates are echoes of one another's zero bytes: none is significant.
            finding.tier = Tier::Weak;
            finding.what += verified ? ", beside a verified payload"
                                     : ", one of " + std::to_string(lengthPrefixes) + " candidates";
        }
    }
}

} // namespace

const char* VerdictText(Verdict verdict) {
    switch (verdict) {
    case Verdict::Found:
        return "found";
    case Verdict::Weak:
        return "weak";
    case Verdict::Nothing:
        break;
    }
    return "nothing";
}

bool RanksBefore(const Finding& a, const Finding& b) {
    if (a.tier != b.tier) {
        return a.tier > b.tier;
    }
    if (a.strength != b.strength) {
        return a.strength > b.strength;
    }
    if (a.length != b.length) {
        return a.length > b.length;
    }
    if (a.walkIndex != b.walkIndex) {
        return a.walkIndex < b.walkIndex;
    }
    return a.offset < b.offset;
}

ScanResult ScanImage(const SampleImage& image, const ScanOptions& options) {
    ScanResult result;
    result.walk = WalkLayouts(image.channels(), options.all, options.prime);
    const std::size_t count = result.walk.size();
    CheckLimits limits = options.limits;
    limits.walkLayouts = count;

    // Each order (and prime choice) is gathered once, as far as its thinnest layout reads.
    std::vector<LayoutReader::Gathered> gathered(2 * kOrderCount);
    tbb::parallel_for(0, 2 * kOrderCount, [&](int group) {
        const auto order = static_cast<PixelOrder>(group / 2);
        const bool prime = group % 2 == 1;
        int thinnest = 0;
        for (const Layout& layout : result.walk) {
            if (layout.order == order && layout.prime == prime &&
                (thinnest == 0 || layout.bitsPerPixel() < thinnest)) {
                thinnest = layout.bitsPerPixel();
            }
        }
        if (thinnest > 0) {
            const std::uint64_t pixels = (options.prefixBytes * 8 + thinnest - 1) / thinnest;
            gathered[group] = LayoutReader::Gather(image, order, prime, pixels);
        }
    });
    std::vector<std::unique_ptr<LayoutReader>> readers(count);
    std::vector<std::vector<std::uint8_t>> prefixes(count);
    if (!InBlocks(count, 0.0, 0.3, options, [&](std::size_t i) {
            readers[i] = std::make_unique<LayoutReader>(image, result.walk[i]);
            const Layout& layout = result.walk[i];
            readers[i]->useGathered(gathered[2 * static_cast<int>(layout.order) + layout.prime]);
            prefixes[i] = readers[i]->read(options.prefixBytes);
        })) {
        result.cancelled = true;
        return result;
    }

    // Identical streams (grey images give r = g = b) are checked once, the others named beside.
    std::vector<std::vector<std::string>> sameAs(count);
    std::vector<bool> repeated(count, false);
    std::unordered_map<std::string_view, std::size_t> firstWith;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view key(reinterpret_cast<const char*>(prefixes[i].data()),
                                   prefixes[i].size());
        const auto [at, inserted] = firstWith.emplace(key, i);
        if (!inserted) {
            repeated[i] = true;
            sameAs[at->second].push_back(ToText(result.walk[i]));
        }
    }

    std::vector<std::vector<Finding>> perLayout(count);
    if (!InBlocks(count, 0.3, 0.95, options, [&](std::size_t i) {
            if (repeated[i] || prefixes[i].empty()) {
                return;
            }
            LayoutReader& reader = *readers[i];
            StreamBytes stream(
                prefixes[i], [&reader](std::span<std::uint8_t> out) { return reader.read(out); },
                limits.follow);
            perLayout[i] = CheckStream(stream, options.prefixBytes, limits);
            for (Finding& finding : perLayout[i]) {
                finding.layout = ToText(result.walk[i]);
                finding.walkIndex = i;
                finding.sameAs = sameAs[i];
            }
            readers[i].reset();
        })) {
        result.cancelled = true;
        return result;
    }

    std::vector<Finding> all;
    for (auto& findings : perLayout) {
        WeighLengthPrefixes(findings, prefixes, repeated);
        std::move(findings.begin(), findings.end(), std::back_inserter(all));
    }
    for (Finding& finding : CheckToolFormats(image, limits)) {
        const auto at = std::find_if(result.walk.begin(), result.walk.end(),
                                     [&](const Layout& l) { return ToText(l) == finding.layout; });
        finding.walkIndex = static_cast<std::size_t>(at - result.walk.begin());
        all.push_back(std::move(finding));
    }
    std::sort(all.begin(), all.end(), RanksBefore);
    DemoteEchoes(all);
    std::stable_sort(all.begin(), all.end(), RanksBefore);
    // A found finding inside another of the same stream is part of it, not a second payload.
    for (std::size_t i = 0; i < all.size(); ++i) {
        bool inside = false;
        for (std::size_t j = 0; j < i && !inside; ++j) {
            inside = all[j].tier == Tier::Found && all[i].tier == Tier::Found &&
                     Contains(all[j], all[i]);
        }
        for (std::size_t j = i + 1; j < all.size() && !inside; ++j) {
            inside = all[j].tier == Tier::Found && all[i].tier == Tier::Found &&
                     Contains(all[j], all[i]) && !Contains(all[i], all[j]);
        }
        if (!inside) {
            result.findings.push_back(std::move(all[i]));
        }
    }
    for (const Finding& finding : result.findings) {
        if (finding.tier == Tier::Found) {
            result.verdict = Verdict::Found;
        } else if (finding.tier == Tier::Weak && result.verdict == Verdict::Nothing) {
            result.verdict = Verdict::Weak;
        }
    }
    if (options.progress) {
        options.progress(1.0);
    }
    return result;
}

} // namespace vantrel::extract
