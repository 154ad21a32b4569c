#include "passwords/PasswordTools.h"

#include "passwords/PayloadVerdict.h"
#include "steghide/SteghideCrypto.h"
#include "steghide/SteghideFormat.h"
#include "steghide/SteghideSelector.h"

namespace vantrel::passwords {
namespace {

class OutguessTool final : public PasswordTool {
public:
    explicit OutguessTool(OutguessCover cover) : cover_(std::move(cover)) {}
    std::string_view name() const override { return "outguess"; }
    std::string_view costPerPassword() const override {
        return "two MD5s, two RC4 key schedules and 264 RC4 bytes (the 32-bit header and the "
               "first 8 payload bytes); the whole payload only where the header fits";
    }
    std::optional<PasswordHit> Try(std::string_view password) const override {
        constexpr std::size_t kStart = 8;
        const std::optional<OutguessRead> start = OutguessReadAt(cover_, password, kStart);
        if (!start) {
            return std::nullopt;
        }
        const bool defaultSeed = start->header.seed < 256;
        if (!defaultSeed && !PromisingStart(start->payload)) {
            return std::nullopt;
        }
        OutguessRead read = *start;
        if (start->header.length > kStart) {
            std::optional<OutguessRead> whole =
                OutguessReadAt(cover_, password, start->header.length);
            if (!whole) {
                return std::nullopt; // the walk leaves the cover before the payload's end
            }
            read = std::move(*whole);
        }
        const PayloadVerdict verdict = JudgePayload(read.payload);
        if (!verdict.recognised && !defaultSeed) {
            return std::nullopt;
        }
        PasswordHit hit;
        hit.tool = "outguess";
        hit.password = std::string(password);
        hit.verified = verdict.recognised;
        hit.proof = (verdict.recognised ? verdict.what
                                        : "a header that fits over " + verdict.what +
                                              " (OutGuess stores no checksum)") +
                    ", seed " + std::to_string(read.header.seed);
        hit.payload = std::move(read.payload);
        return hit;
    }

private:
    OutguessCover cover_;
};

class GifshuffleTool final : public PasswordTool {
public:
    // A compressed reading this English is listed as a candidate: one wrong reading in 4096.
    static constexpr double kCandidateBits = 12;

    explicit GifshuffleTool(std::span<const GifColour> table) : cover_(table) {}
    std::string_view name() const override { return "gifshuffle"; }
    std::string_view costPerPassword() const override {
        return "an ICE key schedule, one ICE block per distinct colour, a sort and a permutation "
               "rank, then one ICE block per message bit until the first hopeless byte";
    }
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
            PasswordHit hit;
            hit.tool = "gifshuffle";
            hit.password = std::string(password);
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

private:
    GifshuffleCover cover_;
};

class F5stegoTool final : public PasswordTool {
public:
    explicit F5stegoTool(F5stegoCover cover) : cover_(std::move(cover)) {}
    std::string_view name() const override { return "f5stegojs"; }
    std::string_view costPerPassword() const override {
        return "an RC4 key schedule, 4 RC4 bytes and a modulo per luminance coefficient (the "
               "shuffle), and the shuffled coefficients up to the length and first 8 payload "
               "bytes; the whole payload only where they look like a message";
    }
    std::optional<PasswordHit> Try(std::string_view password) const override {
        constexpr std::size_t kStart = 8;
        std::optional<F5stegoRead> read = F5stegoReadAt(cover_, password, kStart);
        if (!read) {
            return std::nullopt;
        }
        const std::size_t header = read->length < 32768 ? 2 : 3;
        // f5stegojs falls back to the next smaller code when the one it picked overflows.
        const int chosen = F5stegoChosenCode(cover_, header + read->length);
        const bool codeFits = read->k == chosen || read->k + 1 == chosen;
        if (!codeFits && !PromisingStart(read->payload)) {
            return std::nullopt;
        }
        if (read->length > kStart) {
            read = F5stegoReadAt(cover_, password, read->length);
            if (!read) {
                return std::nullopt; // the coefficients run out before the payload's end
            }
        }
        const PayloadVerdict verdict = JudgePayload(read->payload);
        if (!verdict.recognised && !codeFits) {
            return std::nullopt;
        }
        PasswordHit hit;
        hit.tool = "f5stegojs";
        hit.password = std::string(password);
        hit.verified = verdict.recognised;
        hit.proof =
            (verdict.recognised
                 ? verdict.what
                 : "a header that fits over " + verdict.what + " (f5stegojs stores no checksum)") +
            ", code (" + std::to_string((1 << read->k) - 1) + ", " + std::to_string(read->k) + ")";
        hit.payload = std::move(read->payload);
        return hit;
    }

private:
    F5stegoCover cover_;
};

class StegosuiteTool final : public PasswordTool {
public:
    explicit StegosuiteTool(StegosuiteCover cover) : cover_(std::move(cover)) {}
    std::string_view name() const override { return "stegosuite"; }
    std::string_view costPerPassword() const override {
        return "an MD5 and one java.util.Random draw (a 32-bit modulo) per usable pixel, traced "
               "back for the eight pixels of the 24-bit length (twice where flat areas make a "
               "second order); 65,536 PBKDF2-HMAC-SHA1 rounds, AES-CTR and inflate only where the "
               "length fits the cover";
    }
    std::optional<PasswordHit> Try(std::string_view password) const override {
        std::optional<StegosuitePayload> read = StegosuiteRead(cover_, password);
        if (!read) {
            return std::nullopt;
        }
        // The first block is the hit's payload; a message and files together are rare.
        StegosuiteBlock& first = read->blocks.front();
        PasswordHit hit;
        hit.tool = "stegosuite";
        hit.password = std::string(password);
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

private:
    StegosuiteCover cover_;
};

class SteghideTool final : public PasswordTool {
public:
    explicit SteghideTool(SteghideCover cover) : cover_(std::move(cover)), magic_(cover_) {}
    std::string_view name() const override { return "steghide"; }
    std::string_view costPerPassword() const override {
        return "an MD5 and the few samples until the first wrong bit of steghide's magic";
    }
    std::optional<PasswordHit> Try(std::string_view password) const override {
        const std::uint32_t seed = SteghideSeed(password);
        if (!magic_(seed)) {
            return std::nullopt;
        }
        const std::optional<SteghideHeader> header = SteghideHeaderAt(cover_, seed);
        if (!header) {
            return std::nullopt;
        }
        PasswordHit hit;
        hit.tool = "steghide";
        hit.password = std::string(password);
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
    SteghideCover cover_;
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
    return std::make_unique<StegosuiteTool>(std::move(cover));
}

std::unique_ptr<PasswordTool> MakeSteghideTool(SteghideCover cover) {
    return std::make_unique<SteghideTool>(std::move(cover));
}

} // namespace vantrel::passwords
