#include "passwords/PasswordTools.h"

#include "passwords/PayloadVerdict.h"
#include "steghide/SteghideCrypto.h"
#include "steghide/SteghideFormat.h"
#include "steghide/SteghideSelector.h"

namespace vantrel::passwords {
namespace {

// A tool's reader on one cover, kept for every password, with its name and what a password
// costs it.
template <class Cover> class CoverTool : public PasswordTool {
public:
    CoverTool(Cover cover, std::string_view name, std::string_view cost)
        : cover_(std::move(cover)), name_(name), cost_(cost) {}
    std::string_view name() const final { return name_; }
    std::string_view costPerPassword() const final { return cost_; }

protected:
    Cover cover_;

private:
    std::string_view name_;
    std::string_view cost_;
};

PasswordHit HitOf(std::string_view tool, std::string_view password) {
    PasswordHit hit;
    hit.tool = std::string(tool);
    hit.password = std::string(password);
    return hit;
}

// What a tool that stores no checksum read under one password: the payload's verdict, and
// whether the tool's own parameters (a default seed, the code it would pick) fit its length.
template <class Read> struct UncheckedRead {
    Read read;
    PayloadVerdict verdict;
};

// Reads the first payload bytes, and the whole payload only where they look like a message or
// the parameters `fits` of the first reading vouch for it; nothing where the payload is neither
// recognised nor vouched for. `readAt(bytes)` reads that many payload bytes.
template <class Read, class ReadAt, class Fits, class Length>
std::optional<UncheckedRead<Read>> ReadUnchecked(const ReadAt& readAt, const Fits& fits,
                                                 const Length& length) {
    constexpr std::size_t kStart = 8;
    std::optional<Read> read = readAt(kStart);
    if (!read) {
        return std::nullopt;
    }
    const bool fit = fits(*read);
    if (!fit && !PromisingStart(read->payload)) {
        return std::nullopt;
    }
    if (length(*read) > kStart) {
        read = readAt(length(*read));
        if (!read) {
            return std::nullopt; // the cover ends before the payload does
        }
    }
    PayloadVerdict verdict = JudgePayload(read->payload);
    if (!verdict.recognised && !fit) {
        return std::nullopt;
    }
    return UncheckedRead<Read>{std::move(*read), std::move(verdict)};
}

// The hit of such a reading, if there is one; `detail(read)` names its parameters.
template <class Read, class Detail>
std::optional<PasswordHit>
UncheckedHit(std::string_view tool, std::string_view shownTool, std::string_view password,
             std::optional<UncheckedRead<Read>> read, const Detail& detail) {
    if (!read) {
        return std::nullopt;
    }
    PasswordHit hit = HitOf(tool, password);
    hit.verified = read->verdict.recognised;
    hit.proof = (read->verdict.recognised ? read->verdict.what
                                          : "a header that fits over " + read->verdict.what + " (" +
                                                std::string(shownTool) + " stores no checksum)") +
                ", " + detail(read->read);
    hit.payload = std::move(read->read.payload);
    return hit;
}

class OutguessTool final : public CoverTool<OutguessCover> {
public:
    explicit OutguessTool(OutguessCover cover)
        : CoverTool(
              std::move(cover), "outguess",
              "two MD5s, two RC4 key schedules and 132 RC4 bytes (the 32-bit header); the "
              "first 8 payload bytes only where the header fits, the whole payload only where "
              "they look like a message or the seed is below 256") {}
    std::optional<PasswordHit> Try(std::string_view password) const override {
        return UncheckedHit(
            "outguess", "OutGuess", password,
            ReadUnchecked<OutguessRead>(
                [&](std::size_t bytes) { return OutguessReadAt(cover_, password, bytes); },
                [](const OutguessRead& start) { return start.header.seed < 256; },
                [](const OutguessRead& start) { return std::size_t{start.header.length}; }),
            [](const OutguessRead& read) { return "seed " + std::to_string(read.header.seed); });
    }
};

class GifshuffleTool final : public CoverTool<GifshuffleCover> {
public:
    // A compressed reading this English is listed as a candidate: one wrong reading in 4096.
    static constexpr double kCandidateBits = 12;

    explicit GifshuffleTool(std::span<const GifColour> table)
        : CoverTool(
              GifshuffleCover(table), "gifshuffle",
              "an ICE key schedule, one ICE block per distinct colour, a sort and a permutation "
              "rank, then one ICE block per message bit until the first hopeless byte") {}
    std::optional<PasswordHit> Try(std::string_view password) const override {
        std::optional<PasswordHit> best;
        for (GifshuffleCover::Message& message : cover_.Read(password)) {
            // Random bits through the English code book come out as English letters at English
            // frequencies: only the letter pairs can tell a compressed message from them, and a
            // short one cannot gather the evidence of a proof.
            const PayloadVerdict verdict = message.compressed
                                               ? JudgeText(message.bytes, GifshuffleHuffmanNoise())
                                               : JudgePayload(message.bytes);
            const bool candidate = message.compressed && verdict.evidence >= kCandidateBits;
            if (!verdict.recognised && (!candidate || best)) {
                continue;
            }
            PasswordHit hit = HitOf("gifshuffle", password);
            hit.verified = verdict.recognised;
            hit.proof = verdict.what + " in the colour order" +
                        (password.empty()         ? ""
                         : message.encryptedOrder ? " (ICE, colours ranked by their encryption)"
                                                  : " (ICE, -1: colours in natural order)") +
                        (message.compressed ? ", Huffman-compressed (-C)" : "");
            hit.payload = std::move(message.bytes);
            best = std::move(hit);
            if (best->verified) {
                break;
            }
        }
        return best;
    }
};

class F5stegoTool final : public CoverTool<F5stegoCover> {
public:
    explicit F5stegoTool(F5stegoCover cover)
        : CoverTool(std::move(cover), "f5stegojs",
                    "an RC4 key schedule, 4 RC4 bytes and a modulo per luminance coefficient (the "
                    "shuffle), and the shuffled coefficients up to the length and first 8 payload "
                    "bytes; the whole payload only where they look like a message") {}
    std::optional<PasswordHit> Try(std::string_view password) const override {
        // f5stegojs falls back to the next smaller code when the one it picked overflows.
        const auto codeFits = [this](const F5stegoRead& start) {
            const std::size_t header = start.length < 32768 ? 2 : 3;
            const int chosen = F5stegoChosenCode(cover_, header + start.length);
            return start.k == chosen || start.k + 1 == chosen;
        };
        return UncheckedHit(
            "f5stegojs", "f5stegojs", password,
            ReadUnchecked<F5stegoRead>(
                [&](std::size_t bytes) { return F5stegoReadAt(cover_, password, bytes); }, codeFits,
                [](const F5stegoRead& start) { return std::size_t{start.length}; }),
            [](const F5stegoRead& read) {
                return "code (" + std::to_string((1 << read.k) - 1) + ", " +
                       std::to_string(read.k) + ")";
            });
    }
};

// Its pixel embeddings (BMP, PNG, GIF) and its F5 (JPEG) read the same payload.
template <class Cover> class StegosuiteTool final : public CoverTool<Cover> {
public:
    StegosuiteTool(Cover cover, std::string_view cost)
        : CoverTool<Cover>(std::move(cover), "stegosuite", cost) {}
    std::optional<PasswordHit> Try(std::string_view password) const override {
        std::optional<StegosuitePayload> read = StegosuiteRead(this->cover_, password);
        if (!read) {
            return std::nullopt;
        }
        // The first block is the hit's payload; a message and files together are rare.
        StegosuiteBlock& first = read->blocks.front();
        PasswordHit hit = HitOf("stegosuite", password);
        hit.verified = true;
        hit.proof = std::string("stegosuite's deflate stream (Adler-32) and blocks, ") +
                    (first.file ? "a file" : "a message") +
                    (read->blocks.size() > 1
                         ? " and " + std::to_string(read->blocks.size() - 1) + " more blocks"
                         : "") +
                    (read->filtered ? "" : ", noise detection off");
        hit.name = std::move(first.name);
        hit.payload = std::move(first.data);
        return hit;
    }
};

class SteghideTool final : public CoverTool<SteghideCover> {
public:
    explicit SteghideTool(SteghideCover cover)
        : CoverTool(std::move(cover), "steghide",
                    "an MD5 and the few samples until the first wrong bit of steghide's magic"),
          magic_(cover_) {}
    std::optional<PasswordHit> Try(std::string_view password) const override {
        const std::uint32_t seed = SteghideSeed(password);
        if (!magic_(seed)) {
            return std::nullopt;
        }
        const std::optional<SteghideHeader> header = SteghideHeaderAt(cover_, seed);
        if (!header) {
            return std::nullopt;
        }
        PasswordHit hit = HitOf("steghide", password);
        if (!SteghideCanDecrypt(header->algorithm, header->mode)) {
            hit.proof = "a header that fits; its " +
                        std::string(SteghideAlgorithmName(header->algorithm)) +
                        " cipher is not read here";
            return hit;
        }
        Result<SteghidePayload> payload = SteghideExtractAt(cover_, seed, password);
        if (!payload || (payload->hasChecksum && !payload->checksumOk)) {
            return std::nullopt;
        }
        hit.verified = payload->hasChecksum || payload->compressed;
        hit.proof = payload->hasChecksum  ? "steghide's CRC-32"
                    : payload->compressed ? "steghide's compressed payload inflates"
                                          : "a header that fits (no checksum stored)";
        hit.name = payload->name;
        hit.payload = std::move(payload->data);
        return hit;
    }

private:
    SteghideMagicCheck magic_;
};

} // namespace

std::unique_ptr<PasswordTool> MakeOutguessTool(OutguessCover cover) {
    return std::make_unique<OutguessTool>(std::move(cover));
}

std::unique_ptr<PasswordTool> MakeGifshuffleTool(std::span<const GifColour> table) {
    return std::make_unique<GifshuffleTool>(table);
}

std::unique_ptr<PasswordTool> MakeF5stegoTool(F5stegoCover cover) {
    return std::make_unique<F5stegoTool>(std::move(cover));
}

std::unique_ptr<PasswordTool> MakeStegosuiteTool(StegosuiteCover cover) {
    return std::make_unique<StegosuiteTool<StegosuiteCover>>(
        std::move(cover),
        "an MD5 and one java.util.Random draw (a 32-bit modulo) per usable pixel, traced back for "
        "the pixels of the 24-bit length (8 in a BMP or PNG, 32 in a GIF; twice where flat areas "
        "make a second order); 65,536 PBKDF2-HMAC-SHA1 rounds, AES-CTR and inflate only where "
        "the length fits the cover");
}

std::unique_ptr<PasswordTool> MakeStegosuiteTool(StegosuiteJpegCover cover) {
    return std::make_unique<StegosuiteTool<StegosuiteJpegCover>>(
        std::move(cover),
        "one SHA-1 per 5 coefficients (SHA1PRNG's 4 bytes a draw of F5's shuffle of every "
        "coefficient), the shuffled coefficients up to the 32-bit header and the 3-byte length "
        "it repeats; 65,536 PBKDF2-HMAC-SHA1 rounds, AES-CTR and inflate only where both agree");
}

std::unique_ptr<PasswordTool> MakeSteghideTool(SteghideCover cover) {
    return std::make_unique<SteghideTool>(std::move(cover));
}

} // namespace vantrel::passwords
