// The password tools' readers on plain data: the ICE cipher against its published vectors, the
// OutGuess walk against a payload the real outguess embedded, the English score's false-alarm
// bound, the GIF colour tables' readers on cut files, and the word-list driver's order and stops.
#include "jpeg/ReadCoefficients.h"
#include "passwords/F5stegoFormat.h"
#include "passwords/GifColourTable.h"
#include "passwords/Ice.h"
#include "passwords/Md5.h"
#include "passwords/OutguessBlockiness.h"
#include "passwords/OutguessFormat.h"
#include "passwords/PayloadVerdict.h"
#include "passwords/WordListAttack.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <sstream>

namespace vantrel::passwords {
namespace {

std::vector<std::uint8_t> Bytes(const std::string& name) {
    std::ifstream in(std::string(VANTREL_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(OutguessBlockiness, FlagsTheToolsStegosAndNotCleanOrForeignFiles) {
    struct Case {
        std::string file;
        DetectorState::Kind state;
        bool flagged;
    } const cases[] = {
        {"passwords/og-default.jpg", DetectorState::Kind::Ok, true},
        {"passwords/og-binary.jpg", DetectorState::Kind::Ok, true},
        {"jpeg/chelsea-q75.jpg", DetectorState::Kind::Ok, false},
        {"jpeg/chelsea-q95.jpg", DetectorState::Kind::Ok, false},
        {"jpeg/chelsea-q85-progressive.jpg", DetectorState::Kind::NotApplicable, false},
        {"pattern.jpg", DetectorState::Kind::NotApplicable, false},
    };
    for (const Case& c : cases) {
        const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(Bytes(c.file));
        ASSERT_TRUE(jpeg) << c.file;
        const OutguessBlockiness result = DetectOutguessBlockiness(*jpeg);
        EXPECT_EQ(result.state.kind, c.state) << c.file << " " << result.state.reason;
        EXPECT_EQ(result.flagged, c.flagged) << c.file << " " << result.estimate;
        EXPECT_NE(OutguessBlockinessJson(result).find(c.flagged ? "\"flagged\": true"
                                                                : "\"flagged\": false"),
                  std::string::npos);
    }
}

TEST(Ice, PublishedVectors) {
    // Kwan's paper: plaintext fedcba9876543210 under Thin-ICE, ICE and ICE-2.
    struct Case {
        int level;
        std::vector<std::uint8_t> key;
        std::array<std::uint8_t, 8> cipher;
    } const cases[] = {
        {0,
         {0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67},
         {0xde, 0x24, 0x0d, 0x83, 0xa0, 0x0a, 0x9c, 0xc0}},
        {1,
         {0xde, 0xad, 0xbe, 0xef, 0x01, 0x23, 0x45, 0x67},
         {0x7d, 0x6e, 0xf1, 0xef, 0x30, 0xd4, 0x7a, 0x96}},
        {2,
         {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee,
          0xff},
         {0xf9, 0x48, 0x40, 0xd8, 0x69, 0x72, 0xf2, 0x1c}},
    };
    // One key object re-keyed up and down the levels must hold no subkey of an earlier key.
    IceKey reused;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[pass == 0 ? i : std::size(cases) - 1 - i];
            const std::array<std::uint8_t, 8> plain = {0xfe, 0xdc, 0xba, 0x98,
                                                       0x76, 0x54, 0x32, 0x10};
            EXPECT_EQ(IceKey(c.level, c.key).Encrypt(plain), c.cipher) << "level " << c.level;
            reused.Rekey(c.level, c.key);
            EXPECT_EQ(reused.Encrypt(plain), c.cipher) << "re-keyed, level " << c.level;
        }
    }
}

// Blocks side by side (vectors of 8 or 16, pairs of them, scalar lanes beside them, a padded
// tail) against one at a time, for counts on each side of every width, in every kernel.
TEST(Ice, BlocksSideBySideMatchOneAtATime) {
    std::mt19937_64 random(30);
    for (const int level : {0, 1, 2, 5}) {
        std::vector<std::uint8_t> key(static_cast<std::size_t>(std::max(level, 1)) * 8);
        for (std::uint8_t& byte : key) {
            byte = static_cast<std::uint8_t>(random());
        }
        const IceKey ice(level, key);
        for (const std::size_t count : {1, 7, 8, 9, 16, 17, 24, 25, 31, 32, 33, 41, 65, 100}) {
            std::vector<std::uint64_t> blocks(count);
            std::vector<std::uint64_t> expected(count);
            for (std::size_t i = 0; i < count; ++i) {
                blocks[i] = random();
                std::array<std::uint8_t, 8> bytes{};
                for (std::size_t b = 0; b < 8; ++b) {
                    bytes[b] = static_cast<std::uint8_t>(blocks[i] >> (56 - 8 * b));
                }
                for (const std::uint8_t byte : ice.Encrypt(bytes)) {
                    expected[i] = expected[i] << 8 | byte;
                }
            }
            for (const IceKey::Kernel kernel :
                 {IceKey::Kernel::Portable, IceKey::Kernel::Avx2, IceKey::Kernel::Avx512}) {
                std::vector<std::uint64_t> enciphered = blocks;
                ice.EncryptBlocks(enciphered, kernel);
                EXPECT_EQ(enciphered, expected) << "level " << level << ", " << count
                                                << " blocks, kernel " << static_cast<int>(kernel);
            }
        }
    }
}

// RFC 1321's test suite, split between prefix and text anywhere, and across the padding's edges.
TEST(Md5, RfcVectors) {
    struct Case {
        std::string_view prefix, text;
        std::string_view hex;
    } const cases[] = {
        {"", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "", "0cc175b9c0f1b6a831c399e269772661"},
        {"ab", "c", "900150983cd24fb0d6963f7d28e17f72"},
        {"message ", "digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklm", "nopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", "0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"1234567890123456789012345678901234567890", "1234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) {
        const std::array<std::uint8_t, 16> digest = Md5(c.prefix, c.text);
        std::string hex;
        for (const std::uint8_t byte : digest) {
            hex += "0123456789abcdef"[byte >> 4];
            hex += "0123456789abcdef"[byte & 15];
        }
        EXPECT_EQ(hex, c.hex) << c.prefix << c.text;
    }
}

TEST(Outguess, ReadsWhatTheToolEmbeddedAndNothingUnderOtherPasswords) {
    const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(Bytes("passwords/og-binary.jpg"));
    ASSERT_TRUE(jpeg) << jpeg.error();
    const Result<OutguessCover> cover = OutguessJpegCover(*jpeg);
    ASSERT_TRUE(cover) << cover.error();
    const std::optional<OutguessRead> read = OutguessReadAt(*cover, "noise", 1 << 16);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->payload, Bytes("passwords/msg.bin")); // no checks recognise it: the walk alone
    for (const char* wrong : {"", "Noise", "noise ", "vantrel"}) {
        const std::optional<OutguessRead> other = OutguessReadAt(*cover, wrong, 1 << 16);
        EXPECT_TRUE(!other || other->payload != read->payload) << wrong;
    }
    JpegCoefficients progressive = *jpeg;
    progressive.progressive = true;
    EXPECT_FALSE(OutguessJpegCover(progressive));
}

TEST(F5stego, ReadsWhatTheToolEmbeddedAndRefusesPaddingItCannotSee) {
    const Result<JpegCoefficients> jpeg = ReadJpegCoefficients(Bytes("passwords/f5-binary.jpg"));
    ASSERT_TRUE(jpeg) << jpeg.error();
    const Result<F5stegoCover> cover = F5stegoJpegCover(*jpeg);
    ASSERT_TRUE(cover) << cover.error();
    const std::optional<F5stegoRead> read = F5stegoReadAt(*cover, "noise", 1 << 16);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->payload, Bytes("passwords/msg.bin"));
    EXPECT_EQ(read->k, F5stegoChosenCode(*cover, 2 + read->payload.size()));
    for (const char* wrong : {"", "Noise", "noise ", "vantrel"}) {
        const std::optional<F5stegoRead> other = F5stegoReadAt(*cover, wrong, 1 << 16);
        EXPECT_TRUE(!other || other->payload != read->payload) << wrong;
    }
    // One pixel more: the 4:2:0 frame's luminance gets padding blocks the decoder did not keep.
    JpegCoefficients padded = *jpeg;
    padded.width += 1;
    EXPECT_FALSE(F5stegoJpegCover(padded));
    padded.progressive = true;
    EXPECT_TRUE(F5stegoJpegCover(padded));
}

TEST(EnglishEvidence, ProvesSentencesAndKeepsItsBoundOnNoise) {
    for (const std::string text : {"meet me at six", "The quick brown fox jumps over the lazy dog.",
                                   "attack at dawn, bring the maps\n"}) {
        EXPECT_GE(EnglishEvidence({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()},
                                  UniformBytes()),
                  kEnglishProofBits)
            << text;
    }
    // Random bytes score t bits or more at most once in 2^t (three times that allowed for chance).
    std::mt19937 random(7);
    int over = 0;
    constexpr int kDraws = 20000;
    for (int draw = 0; draw < kDraws; ++draw) {
        std::vector<std::uint8_t> text(4 + random() % 40);
        for (std::uint8_t& c : text) {
            c = static_cast<std::uint8_t>(random());
        }
        over += EnglishEvidence(text, UniformBytes()) >= 10;
    }
    EXPECT_LE(over, 3 * kDraws / 1024);
}

TEST(GifColourTable, ReadsTheGlobalTableAndRefusesCutOrForeignFiles) {
    const std::vector<std::uint8_t> gif = Bytes("passwords/cover.gif");
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(gif.begin(), gif.begin() + static_cast<long>(size));
    };
    std::vector<std::uint8_t> noTable = gif;
    noTable[10] &= 0x7f;
    struct Case {
        std::vector<std::uint8_t> file;
        const char* failure; // null: read
    } const cases[] = {
        {gif, nullptr},
        {cut(13 + 64 * 3 - 1), "cut short in its colour table"},
        {cut(11), "cut short in its header"},
        {noTable, "without a global colour table"},
        {Bytes("passwords/og-default.jpg"), "not a GIF"},
        {{}, "not a GIF"},
    };
    for (const Case& c : cases) {
        const Result<std::vector<std::uint8_t>> table = EncodeGifColourTable(c.file, 0);
        if (!c.failure) {
            ASSERT_TRUE(table) << table.error();
            const Result<std::vector<GifColour>> colours = DecodeGifColourTable(*table);
            ASSERT_TRUE(colours);
            EXPECT_EQ(colours->size(), 64u);
            EXPECT_EQ(colours->front(), (GifColour{gif[13], gif[14], gif[15]}));
        } else {
            ASSERT_FALSE(table);
            EXPECT_NE(table.error().find(c.failure), std::string::npos) << table.error();
        }
    }
    EXPECT_FALSE(DecodeGifColourTable(std::vector<std::uint8_t>(7)));
}

TEST(GifFrameTable, ReadsTheFirstImagesTableAndSize) {
    using Bytes = std::vector<std::uint8_t>;
    const auto concat = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& part : parts) {
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    };
    // A 3x2 screen; `global` its packed byte (0x80: two colours follow).
    const auto head = [](std::uint8_t global) {
        return Bytes{'G', 'I', 'F', '8', '9', 'a', 3, 0, 2, 0, global, 0, 0};
    };
    const Bytes two{1, 2, 3, 4, 5, 6};
    const Bytes four{9, 9, 9, 8, 8, 8, 7, 7, 7, 6, 6, 6};
    const auto image = [](std::uint8_t packed) {
        return Bytes{0x2C, 0, 0, 0, 0, 3, 0, 2, 0, packed};
    };
    const Bytes control{0x21, 0xF9, 4, 0, 0, 0, 0, 0};
    const Bytes pixels{2, 1, 0, 0, 0x3B};
    struct Case {
        Bytes file;
        std::size_t colours; // 0: refused
        std::uint8_t first;  // the first colour's red
        const char* failure = "";
    } const cases[] = {
        {concat({head(0x80), two, image(0), pixels}), 2, 1},
        {concat({head(0x80), two, control, image(0x81), four, pixels}), 4, 9},
        {concat({head(0), image(0x81), four, pixels}), 4, 9},
        {concat({head(0), image(0), pixels}), 0, 0, "without a colour table"},
        {concat({head(0x80), two, Bytes{0x3B}}), 0, 0, "without an image"},
        {concat({head(0x80), two, control, Bytes{0x2C, 0}}), 0, 0, "before its first image"},
        {concat({head(0x80), two, image(0x81), Bytes{9, 9}}), 0, 0, "first image's colour table"},
    };
    for (const Case& c : cases) {
        const Result<std::vector<std::uint8_t>> encoded = EncodeGifFrameTable(c.file, 0);
        if (c.colours == 0) {
            ASSERT_FALSE(encoded);
            EXPECT_NE(encoded.error().find(c.failure), std::string::npos) << encoded.error();
            continue;
        }
        ASSERT_TRUE(encoded) << encoded.error();
        const Result<GifFrameTable> frame = DecodeGifFrameTable(*encoded);
        ASSERT_TRUE(frame) << frame.error();
        EXPECT_EQ(frame->table.size(), c.colours);
        EXPECT_EQ(frame->table.front()[0], c.first);
        EXPECT_EQ(frame->width, 3u);
        EXPECT_EQ(frame->height, 2u);
    }
    EXPECT_FALSE(DecodeGifFrameTable(Bytes{1, 2, 3, 4, 5, 6, 0, 0, 2, 0})); // zero width
}

// A tool that knows its passwords: the verified ones, and those that only fit.
class ListedTool final : public PasswordTool {
public:
    ListedTool(std::string name, std::vector<std::string> verified, std::vector<std::string> fits)
        : name_(std::move(name)), verified_(std::move(verified)), fits_(std::move(fits)) {}
    std::string_view name() const override { return name_; }
    std::string_view costPerPassword() const override { return "a lookup"; }
    std::optional<PasswordHit> Try(std::string_view password) const override {
        {
            const std::lock_guard lock(mutex_);
            tried_.emplace_back(password);
        }
        const bool verified =
            std::find(verified_.begin(), verified_.end(), password) != verified_.end();
        if (!verified && std::find(fits_.begin(), fits_.end(), password) == fits_.end()) {
            return std::nullopt;
        }
        return PasswordHit{name_, std::string(password), verified, "listed", {}, ""};
    }
    std::vector<std::string> tried() const { return tried_; }

private:
    std::string name_;
    std::vector<std::string> verified_, fits_;
    mutable std::mutex mutex_;
    mutable std::vector<std::string> tried_;
};

std::vector<std::string> HitPasswords(const PasswordAttackResult& result) {
    std::vector<std::string> passwords;
    for (const PasswordHit& hit : result.hits) {
        passwords.push_back(hit.tool + ":" + hit.password + (hit.verified ? "" : "?"));
    }
    return passwords;
}

TEST(WordListAttack, FirstPasswordsThenTheListVerifiedFirstAndStopsWhenAllAreFound) {
    std::string many;
    std::vector<std::string> fits;
    for (int i = 0; i < 40; ++i) {
        many += "fit" + std::to_string(i) + "\n";
        fits.push_back("fit" + std::to_string(i));
    }
    struct Case {
        std::string words;
        bool keepGoing;
        std::vector<std::string> hits;
        std::uint64_t candidates;
    } const cases[] = {
        // The file name and its stem come before the list; a CR ends a line like LF.
        {"a\r\nsecret\r\n", false, {"one:cover.jpg", "two:secret"}, 0},
        {"", false, {"one:cover.jpg"}, 0},
        {"secret\nfit3\n", true, {"one:cover.jpg", "two:secret", "two:fit3?"}, 1},
        // Every candidate counts; the listing keeps the first few of a tool.
        {many + "secret", true,
         [&] {
             std::vector<std::string> h{"one:cover.jpg", "two:secret"};
             for (std::size_t i = 0; i < kCandidatesKept; ++i) {
                 h.push_back("two:fit" + std::to_string(i) + "?");
             }
             return h;
         }(),
         40},
        {"no\nnewline at the end secret", false, {"one:cover.jpg"}, 0},
    };
    for (const Case& c : cases) {
        const ListedTool one("one", {"cover.jpg"}, {});
        const ListedTool two("two", {"secret"}, fits);
        const PasswordTool* tools[] = {&one, &two};
        std::istringstream words(c.words);
        PasswordAttackOptions options;
        options.fileName = "/some/folder/cover.jpg";
        options.keepGoing = c.keepGoing;
        const PasswordAttackResult result = WordListAttack(tools, &words, options);
        EXPECT_EQ(HitPasswords(result), c.hits) << c.words;
        EXPECT_EQ(result.candidates, c.candidates) << c.words;
        const std::vector<std::string> tried = two.tried();
        ASSERT_GE(tried.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(tried.begin(), tried.begin() + 3),
                  (std::vector<std::string>{"", "cover.jpg", "cover"}));
        // "one" was settled by the file's name and tried nothing after it.
        EXPECT_EQ(one.tried().size(), c.keepGoing ? tried.size() : 2u) << c.words;
    }
}

TEST(WordListAttack, StopsWhenCancelled) {
    const ListedTool tool("one", {"never"}, {});
    const PasswordTool* tools[] = {&tool};
    std::string words;
    for (int i = 0; i < 200000; ++i) {
        words += "w" + std::to_string(i) + "\n";
    }
    std::istringstream in(words);
    std::atomic<bool> cancel{true};
    PasswordAttackOptions options;
    options.cancel = &cancel;
    const PasswordAttackResult result = WordListAttack(tools, &in, options);
    EXPECT_TRUE(result.cancelled);
    EXPECT_LT(result.tried, 200000u);
}

} // namespace
} // namespace vantrel::passwords
