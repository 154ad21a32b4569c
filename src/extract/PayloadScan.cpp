#include "extract/PayloadScan.h"

#include "bytes/ByteOrder.h"
#include "extract/ToolFormats.h"
#include "image/DetectorState.h"
#include "image/EnumText.h"

#include <tbb/parallel_for.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace vantrel::extract {

namespace {

constexpr std::uint64_t kShortestTopBitText = 64;

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
    return bytes::Be32(bytes.data());
}

// The sample bits a layout's first four bytes come from, as (pixel, channel, bit) keys, sorted:
// two layouts whose keys meet read the same length prefix, one an echo of the other.
using Footprint = std::vector<std::uint64_t>;

// The first pixels of one order and prime choice, as far as any layout of the group looks for
// its footprint: where each lies (y * width + x) and its samples (kChannelCount a pixel). Every
// layout of the group reads them, so they are found once, not once a layout.
struct OrderStart {
    std::vector<std::uint64_t> places;
    std::vector<std::uint8_t> samples;
};
OrderStart StartOfOrder(const SampleImage& image, PixelOrder order, bool prime,
                        std::uint64_t pixels, PrimeIndices& primes) {
    OrderStart start;
    for (std::uint64_t index = 0; index < pixels; ++index) {
        const std::uint64_t place = prime ? primes.nth(index) : index;
        if (place >= image.pixelCount()) {
            break;
        }
        const PixelAt at = PixelInOrder(order, image.width(), image.height(), place);
        start.places.push_back(std::uint64_t(at.y) * std::uint64_t(image.width()) +
                               std::uint64_t(at.x));
        start.samples.resize(start.samples.size() + kChannelCount);
        image.pixel(at.x, at.y, start.samples.data() + start.samples.size() - kChannelCount);
    }
    return start;
}

// The pixels a layout's footprint and flatness look at: the prefix's 32 bits and 33 samples
// after them.
std::uint64_t FootprintPixels(const Layout& layout) {
    const int perPixel = layout.bitsPerPixel();
    return perPixel > 0 ? std::uint64_t((32 + 33 * layout.bitsPerSample() - 1) / perPixel + 1) : 0;
}

// `flat`: most samples just after the prefix repeat the one before them in their channel, as in
// a clipped corner or a JPEG's even blocks, where zero bits are the image's and say nothing of a
// length. Behind a true prefix the payload's random bits rarely leave a sample as it was.
Footprint FirstWordBits(const OrderStart& start, const Layout& layout, bool& flat) {
    Footprint keys;
    std::array<int, kChannelCount> previous;
    previous.fill(-1);
    int repeats = 0, compared = 0;
    const int perSample = layout.bitsPerSample(), perPixel = layout.bitsPerPixel();
    for (int k = 0; k < 32 + 33 * perSample && perPixel > 0; ++k) {
        const auto index = static_cast<std::size_t>(k / perPixel);
        if (index >= start.places.size()) {
            break;
        }
        const auto channel =
            static_cast<int>(*(layout.channels.begin() + (k % perPixel) / perSample));
        if (k >= 32 && k % perSample == 0) {
            const int sample = start.samples[index * kChannelCount + std::size_t(channel)];
            if (previous[channel] >= 0) {
                repeats += sample == previous[channel];
                ++compared;
            }
            previous[channel] = sample;
        }
        if (k >= 32) {
            continue;
        }
        keys.push_back((start.places[index] * kChannelCount + std::uint64_t(channel)) * 8 +
                       std::uint64_t(k % perSample));
    }
    flat = compared >= 4 && 2 * repeats >= compared;
    std::sort(keys.begin(), keys.end());
    return keys;
}

bool Meet(const Footprint& a, const Footprint& b) {
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end();) {
        if (*i == *j) {
            return true;
        }
        *i < *j ? ++i : ++j;
    }
    return false;
}

// Past the end of a hidden block the cover's own bits return: the top bit a sample of each
// channel keeps between neighbouring pixels far more often than random bits would (one time in
// two). An echo whose top bits are the cover's keeps them inside its block too, and so does a
// stretch of the image that merely starts dark; the LSBs of a noisy cover look random anywhere.
struct BlockEdges {
    double inside = 0.5; // top bits kept, in the block's last pixels
    double after = 0.5;  // and in the 32 pixels after it
};
BlockEdges TopBitsKept(const SampleImage& image, const Layout& layout, std::uint64_t end) {
    constexpr std::uint64_t kPixels = 256;
    const auto perPixel = std::uint64_t(layout.bitsPerPixel());
    const auto perSample = std::uint64_t(layout.bitsPerSample());
    const std::uint64_t last = end * 8 / perPixel; // the last pixel wholly inside the block
    const std::uint64_t first = 32 / perPixel + 1; // the first wholly past the prefix
    const std::uint64_t resumes = (end * 8 + perPixel - 1) / perPixel;
    if (last < first + 32) {
        return {};
    }
    const std::uint64_t bitsNeeded = (resumes + kPixels) * perPixel;
    const std::vector<std::uint8_t> bytes =
        ExtractBytes(image, layout, static_cast<std::size_t>((bitsNeeded + 7) / 8));
    if (bytes.size() * 8 < bitsNeeded) {
        return {};
    }
    auto bit = [&](std::uint64_t k) {
        const int within = static_cast<int>(k % 8);
        return (bytes[k / 8] >> (layout.msbFirstBitLow ? within : 7 - within)) & 1;
    };
    // The share of top bits kept from the pixel before, over pixels [from, to).
    auto keptShare = [&](std::uint64_t from, std::uint64_t to) {
        std::size_t kept = 0, compared = 0;
        for (std::uint64_t p = from; p < to; ++p) {
            for (std::uint64_t c = 0; c < layout.channels.size(); ++c) {
                const std::uint64_t at = p * perPixel + c * perSample;
                kept += bit(at) == bit(at - perPixel);
                ++compared;
            }
        }
        return double(kept) / double(compared);
    };
    const std::uint64_t bodyFrom = std::max(first + 1, last > kPixels ? last - kPixels : 0);
    // Right after the end: an echo that stops short reads on into the payload for a while.
    return {keptShare(bodyFrom, last), keptShare(resumes + 1, resumes + 33)};
}

// Weighs a found length prefix against the layout's own bits around and past its block.
void WeighAgainstLayout(Finding& finding, const SampleImage& image, const Layout& layout,
                        std::size_t layouts) {
    LayoutReader reader(image, layout);
    const std::vector<std::uint8_t> bytes =
        reader.read(static_cast<std::size_t>(finding.length + kCoverSampleBits / 8 + 4));
    WeighAgainstCover(finding, bytes, layout.bitsPerPixel(), layout.msbFirstBitLow, layouts);
}

// A small length at the start of one stream is significant only if no unrelated stream starts
// low too: streams that share its first bits start low with it, but on a clean image another
// stream of separate bits does so about as rarely as this one, so one more means the image itself
// starts flat or dark there.
void WeighLengthPrefixes(std::vector<Finding>& findings, const SampleImage& image,
                         const std::vector<Layout>& walk,
                         const std::vector<std::vector<std::uint8_t>>& prefixes,
                         const std::vector<bool>& repeated, const std::vector<Footprint>& bits,
                         const std::vector<char>& flat) {
    // The lengths the walk admits at all: any other stream starting this low counts.
    const double bound = 1e-3 * 4294967296.0 / double(std::max<std::size_t>(prefixes.size(), 1));
    for (Finding& finding : findings) {
        if (finding.kind != "length-prefixed" || finding.tier != Tier::Found) {
            continue;
        }
        if (flat[finding.walkIndex]) {
            finding.tier = Tier::Weak;
            finding.what += ", but read from a flat stretch of the image";
            finding.payload.clear();
            continue;
        }
        WeighAgainstLayout(finding, image, walk[finding.walkIndex], walk.size());
        if (finding.tier != Tier::Found) {
            continue;
        }
        std::size_t asLow = 0;
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            asLow += !repeated[i] && prefixes[i].size() >= 4 && FirstWord(prefixes[i]) <= bound &&
                     !Meet(bits[i], bits[finding.walkIndex]);
        }
        if (asLow > 0) {
            finding.tier = asLow > 8 ? Tier::Raw : Tier::Weak;
            finding.what += ", but " + std::to_string(asLow) + " unrelated streams start low too";
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
// length prefix read from bits a better finding also reads, is kept as weak. Among length
// prefixes the shortest is the better: an echo mixes other bits into the prefix's zero bytes.
void DemoteEchoes(std::vector<Finding>& ranked, const std::vector<Footprint>& bits,
                  const SampleImage& image, const std::vector<Layout>& walk) {
    // Among prefixes read from the same bits, the true one ends where the cover resumes.
    std::vector<char> sharp(walk.size(), 0);
    for (Finding& f : ranked) {
        if (f.kind == "length-prefixed" && f.tier == Tier::Found && f.walkIndex < walk.size()) {
            const BlockEdges edges = TopBitsKept(image, walk[f.walkIndex], f.length);
            // Random bits keep about half, within 0.03 over 256 pixels: 0.65 is five of those.
            sharp[f.walkIndex] = edges.inside < 0.65 && edges.after >= 0.75;
            if (edges.inside >= 0.65) {
                f.tier = Tier::Weak;
                f.what += ", but its samples' top bits run on as an image's do";
            }
        }
    }
    auto footprint = [&](const Finding& f) -> const Footprint* {
        return f.walkIndex < bits.size() ? &bits[f.walkIndex] : nullptr;
    };
    auto better = [&](const Finding& prefix, const Finding& other) {
        if (other.kind != "length-prefixed") {
            return other.strength > Strength::Statistics;
        }
        if (sharp[other.walkIndex] != sharp[prefix.walkIndex]) {
            return bool(sharp[other.walkIndex]);
        }
        return other.length != prefix.length ? other.length < prefix.length
                                             : other.walkIndex < prefix.walkIndex;
    };
    // Best first, each prefix is kept unless one kept before it reads some of the same bits.
    std::vector<std::size_t> order(ranked.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const bool aPrefix = ranked[a].kind == "length-prefixed";
        const bool bPrefix = ranked[b].kind == "length-prefixed";
        return aPrefix == bPrefix ? aPrefix && better(ranked[b], ranked[a]) : bPrefix;
    });
    std::vector<Finding> kept;
    for (const std::size_t i : order) {
        Finding& finding = ranked[i];
        const bool verified =
            finding.tier == Tier::Found && finding.strength > Strength::Statistics;
        if (verified) {
            kept.push_back(finding);
        }
        if (finding.tier != Tier::Found || finding.strength != Strength::Statistics) {
            continue;
        }
        const Finding* echoed = nullptr;
        for (std::size_t j = 0; j < i && !echoed && finding.kind == "text"; ++j) {
            const Finding& other = ranked[j];
            if (other.tier == Tier::Found && other.walkIndex != finding.walkIndex &&
                BytesDrawnFrom(finding.payload, other.payload)) {
                echoed = &other;
            }
        }
        for (std::size_t j = 0; j < kept.size() && !echoed && finding.kind == "length-prefixed";
             ++j) {
            const Finding& other = kept[j];
            if (other.walkIndex != finding.walkIndex && footprint(finding) && footprint(other) &&
                Meet(*footprint(finding), *footprint(other))) {
                echoed = &other;
            }
        }
        if (echoed) {
            finding.tier = Tier::Weak;
            finding.what += ", an echo of " + echoed->layout;
        } else if (finding.kind == "length-prefixed" && !kept.empty() &&
                   kept.front().strength > Strength::Statistics) {
            // A verified payload's zero bytes show through orders that cross its pixels
            // anywhere, not only where the prefixes begin.
            finding.tier = Tier::Weak;
            finding.what += ", beside a verified payload";
        } else if (finding.kind == "length-prefixed") {
            kept.push_back(finding);
        }
    }
}

} // namespace

const char* VerdictText(Verdict verdict) {
    static constexpr const char* kTexts[] = {"nothing", "weak", "found"};
    return EnumText<Verdict::Found>(verdict, kTexts, Verdict::Nothing);
}

Verdict VerdictOf(const std::vector<Finding>& findings) {
    Verdict verdict = Verdict::Nothing;
    for (const Finding& finding : findings) {
        if (finding.tier == Tier::Found) {
            return Verdict::Found;
        }
        if (finding.tier == Tier::Weak) {
            verdict = Verdict::Weak;
        }
    }
    return verdict;
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
                // Whole sample values of a smooth gradient run through letter codes: a few
                // words read with the top bits are the image's, not a message.
                if (finding.kind == "text" && finding.tier == Tier::Found &&
                    (result.walk[i].mask & 0x80) && finding.length < kShortestTopBitText) {
                    finding.tier = Tier::Weak;
                    finding.what += ", but short and read with the samples' top bits";
                    finding.payload.clear();
                }
                finding.layout = ToText(result.walk[i]);
                finding.walkIndex = i;
                finding.sameAs = sameAs[i];
            }
            readers[i].reset();
        })) {
        result.cancelled = true;
        return result;
    }

    std::vector<Footprint> bits(count);
    std::vector<char> flat(count);
    PrimeIndices primes(image.pixelCount());
    std::vector<std::uint64_t> footprintPixels(2 * kOrderCount, 0);
    for (const Layout& layout : result.walk) {
        std::uint64_t& pixels = footprintPixels[2 * static_cast<int>(layout.order) + layout.prime];
        pixels = std::max(pixels, FootprintPixels(layout));
    }
    std::vector<OrderStart> starts(2 * kOrderCount);
    for (int group = 0; group < 2 * kOrderCount; ++group) {
        starts[group] = StartOfOrder(image, static_cast<PixelOrder>(group / 2), group % 2 == 1,
                                     footprintPixels[group], primes);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Layout& layout = result.walk[i];
        bool isFlat = false;
        bits[i] = FirstWordBits(starts[2 * static_cast<int>(layout.order) + layout.prime], layout,
                                isFlat);
        flat[i] = isFlat;
    }
    std::vector<Finding> all;
    for (auto& findings : perLayout) {
        WeighLengthPrefixes(findings, image, result.walk, prefixes, repeated, bits, flat);
        std::move(findings.begin(), findings.end(), std::back_inserter(all));
    }
    for (Finding& finding : CheckToolFormats(image, limits)) {
        const auto at = std::find_if(result.walk.begin(), result.walk.end(),
                                     [&](const Layout& l) { return ToText(l) == finding.layout; });
        finding.walkIndex = static_cast<std::size_t>(at - result.walk.begin());
        all.push_back(std::move(finding));
    }
    std::sort(all.begin(), all.end(), RanksBefore);
    DemoteEchoes(all, bits, image, result.walk);
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
    result.verdict = VerdictOf(result.findings);
    if (options.progress) {
        options.progress(1.0);
    }
    return result;
}

std::string FindingJson(const Finding& f) {
    JsonObject finding;
    finding.add("layout", f.layout)
        .add("kind", f.kind)
        .add("tier", TierText(f.tier))
        .add("offset", f.offset)
        .add("length", f.length)
        .add("what", f.what)
        .raw("same_as", JsonStringArray(f.sameAs));
    AddState(finding, DetectorState::Ok()).add("flagged", f.tier == Tier::Found);
    if (f.kind == "length-prefixed") {
        finding.add("chance", f.chance).add("threshold", kLengthChanceBound);
    }
    return finding.str();
}

} // namespace vantrel::extract
