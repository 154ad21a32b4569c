// The checks of bytes that carry no format of their own: prose, a length-prefixed block, and
// libmagic's name for what nothing else matched.
#include "extract/PayloadCheckParts.h"

#include <magic.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

namespace vantrel::extract {

namespace detail {

bool IsLetter(std::uint8_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void CheckText(StreamBytes& s, std::size_t prefix, const CheckLimits& limits,
               std::vector<Finding>& findings) {
    const std::uint64_t scan = std::min<std::uint64_t>(prefix, s.held());
    std::uint64_t pos = 0;
    while (pos < scan) {
        if (!Printable(s.at(pos))) {
            ++pos;
            continue;
        }
        // Bright even regions read as long printable runs under 8-bit layouts: judge the first
        // 4 KB, and follow prose on as far as 1 MB.
        std::uint64_t end = pos;
        auto followTo = [&](std::uint64_t most) {
            const std::uint64_t limit = std::min<std::uint64_t>(limits.follow, most);
            while (end - pos < limit && s.has(end + 1) && Printable(s.at(end))) {
                ++end;
            }
        };
        followTo(4096);
        if (end - pos == 4096 && ReadsLikeProse({s.data() + pos, end - pos})) {
            followTo(1u << 20);
        }
        // Noise after a message is printable about one byte in three: a sentence end among
        // the last few bytes is where the message most likely stopped.
        for (std::uint64_t k = end; k > pos && end - k < 4; --k) {
            if (std::strchr(".!?", s.at(k - 1)) && k < end) {
                end = k;
                break;
            }
        }
        const std::uint64_t length = end - pos;
        if (length >= 16 && ReadsLikeProse({s.data() + pos, length})) {
            Finding finding = MakeFinding("text", Tier::Found, Strength::Statistics, pos, length,
                                          "text reading like prose, " + Bytes(length));
            findings.push_back(std::move(finding));
        } else if (length >= 32) {
            findings.push_back(MakeFinding("text", Tier::Raw, Strength::Signature, pos, length,
                                           "printable bytes, not prose"));
        }
        pos = end;
    }
}

// A 32-bit big-endian length and that many random-looking bytes. Any four bytes form a length,
// so the length must be small enough that noise across the whole walk would rarely give one.
void CheckLengthPrefixed(StreamBytes& s, const CheckLimits& limits,
                         std::vector<Finding>& findings) {
    if (!s.has(4)) {
        return;
    }
    const std::uint32_t length = s.be32(0);
    const double chance = (double(length) + 1) / 4294967296.0 * double(limits.walkLayouts);
    if (length < 32 || chance > kLengthChanceBound || !s.has(4 + std::uint64_t(length))) {
        return;
    }
    if (!LooksRandom({s.data() + 4, length})) {
        return;
    }
    Finding finding = MakeFinding(
        "length-prefixed", Tier::Found, Strength::Statistics, 0, 4 + std::uint64_t(length),
        "32-bit length " + std::to_string(length) + " followed by random-looking bytes");
    finding.chance = chance;
    findings.push_back(std::move(finding));
}

// 64 random bytes hold about 56 distinct values; a file header far fewer.
bool LooksLikeNoise(std::span<const std::uint8_t> bytes) {
    std::array<bool, 256> seen{};
    int distinct = 0;
    for (const std::uint8_t byte : bytes) {
        distinct += !seen[byte];
        seen[byte] = true;
    }
    return distinct > 40;
}

// libmagic without its decompressors, on a bounded buffer; one handle a thread.
std::string MagicName(std::span<const std::uint8_t> bytes) {
    struct Closer {
        void operator()(magic_set* set) const { magic_close(set); }
    };
    thread_local std::unique_ptr<magic_set, Closer> handle = [] {
        const int flags = MAGIC_NO_CHECK_COMPRESS | MAGIC_NO_CHECK_TAR | MAGIC_NO_CHECK_ENCODING |
                          MAGIC_NO_CHECK_TEXT | MAGIC_NO_CHECK_CDF | MAGIC_NO_CHECK_TOKENS |
                          MAGIC_NO_CHECK_ELF | MAGIC_NO_CHECK_JSON | MAGIC_NO_CHECK_CSV;
        std::unique_ptr<magic_set, Closer> set(magic_open(flags));
        if (set && magic_load(set.get(), nullptr) != 0) {
            set.reset();
        }
        return set;
    }();
    if (!handle) {
        return {};
    }
    const char* name = magic_buffer(handle.get(), bytes.data(), bytes.size());
    const std::string text = name ? name : "";
    return text == "data" || text.empty() ? std::string() : text;
}

} // namespace detail

using detail::IsLetter;

bool ReadsLikeProse(std::span<const std::uint8_t> text) {
    std::size_t letters = 0, spaces = 0, vowels = 0, words = 0, goodWords = 0, wordLetters = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\n' || text[i] == '\t' || text[i] == '\r') {
            ++spaces;
            ++i;
            continue;
        }
        // A word: optional opening punctuation, letters (an apostrophe or hyphen inside), then
        // closing punctuation; capitals only at its start, or throughout.
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '\t' &&
               text[i] != '\r') {
            ++i;
        }
        std::size_t a = start, b = i;
        while (a < b && std::strchr("\"'([", text[a])) {
            ++a;
        }
        while (b > a && std::strchr(".,;:!?\"')]", text[b - 1])) {
            --b;
        }
        ++words;
        bool shaped = b > a;
        std::size_t capitals = 0, inner = 0;
        for (std::size_t j = a; j < b; ++j) {
            const std::uint8_t c = text[j];
            if (IsLetter(c)) {
                ++inner;
                capitals += c < 'a';
                vowels += std::strchr("aeiouyAEIOUY", c) != nullptr;
            } else if (!((c == '\'' || c == '-') && j > a && j + 1 < b) &&
                       !(c >= '0' && c <= '9' && b - a <= 4)) {
                shaped = false;
            }
        }
        letters += inner;
        shaped &= capitals == 0 || capitals == inner ||
                  (capitals == 1 && IsLetter(text[a]) && text[a] < 'a');
        goodWords += shaped;
        wordLetters += shaped ? inner : 0;
    }
    const double n = double(text.size());
    if (words < 3 || goodWords < 3 || letters == 0) {
        return false;
    }
    const double meanWord = double(wordLetters) / double(goodWords);
    const double vowelShare = double(vowels) / double(letters);
    return letters / n >= 0.6 && spaces / n >= 0.08 && spaces / n <= 0.3 &&
           double(goodWords) / double(words) >= 0.8 && meanWord >= 2.0 && meanWord <= 10.0 &&
           vowelShare >= 0.2 && vowelShare <= 0.6;
}

} // namespace vantrel::extract
