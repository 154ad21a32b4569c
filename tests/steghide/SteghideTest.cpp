// The steghide reader against stegos made by the real steghide 0.5.1
// (tools/make_steghide_fixtures.sh), whose payload is the script's own sentence.
#include "SteghideTestFiles.h"

#include "jpeg/ReadCoefficients.h"
#include "steghide/SteghideAttack.h"
#include "steghide/SteghideCrypto.h"
#include "steghide/SteghideFileHead.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

namespace vantrel {
namespace {

const std::string kMessage = "The quick brown fox jumps over the lazy dog.\n";

std::string Fixture(const std::string& name) {
    return std::string(VANTREL_TEST_DATA) + "/steghide/" + name;
}

SteghideCover Cover(const std::string& name) {
    Result<SteghideCover> cover = test::ReadSteghideCover(Fixture(name));
    EXPECT_TRUE(cover.ok()) << cover.error();
    return cover ? *cover : SteghideCover{};
}

struct Stego {
    const char* file;
    const char* passphrase;
    const char* algorithm;
    const char* mode;
    bool compressed;
    bool checksum;
};

// The options each fixture was embedded with, from the script.
const Stego kStegos[] = {
    {"jpeg-default.jpg", "vantrel", "rijndael-128", "cbc", true, true},
    {"bmp24-default.bmp", "rosebud", "rijndael-128", "cbc", true, true},
    {"bmp8-default.bmp", "greyhound", "rijndael-128", "cbc", true, true},
    {"jpeg-none.jpg", "secret", "none", "cbc", true, true},
    {"jpeg-none-uncompressed.jpg", "plainly", "none", "cbc", false, true},
    {"bmp24-none.bmp", "opensesame", "none", "cbc", false, true},
    {"bmp8-none.bmp", "swordfish", "none", "cbc", true, true},
    {"bmp4-none.bmp", "sixteen", "none", "cbc", true, true},
    {"bmp1-default.bmp", "monochrome", "rijndael-128", "cbc", true, true},
    {"jpeg-z1.jpg", "level-one", "rijndael-128", "cbc", true, true},
    {"jpeg-nocrc.jpg", "unchecked", "rijndael-128", "cbc", true, false},
    {"jpeg-rijndael-ecb.jpg", "mode-ecb", "rijndael-128", "ecb", true, true},
    {"jpeg-rijndael-cfb.jpg", "mode-cfb", "rijndael-128", "cfb", true, true},
    {"jpeg-rijndael-ofb.jpg", "mode-ofb", "rijndael-128", "ofb", true, true},
    {"jpeg-rijndael-ncfb.jpg", "mode-ncfb", "rijndael-128", "ncfb", true, true},
    {"jpeg-rijndael-nofb.jpg", "mode-nofb", "rijndael-128", "nofb", true, true},
    {"jpeg-rijndael-ctr.jpg", "mode-ctr", "rijndael-128", "ctr", true, true},
    {"jpeg-tripledes.jpg", "triple", "tripledes", "cbc", true, true},
    {"jpeg-des.jpg", "algo-des", "des", "cbc", true, true},
    {"jpeg-cast-128.jpg", "algo-cast-128", "cast-128", "cbc", true, true},
    {"jpeg-blowfish.jpg", "algo-blowfish", "blowfish", "cbc", true, true},
    {"jpeg-rc2.jpg", "algo-rc2", "rc2", "cbc", true, true},
};

TEST(Steghide, ReadsWhatSteghideEmbedded) {
    for (const Stego& stego : kStegos) {
        SCOPED_TRACE(stego.file);
        const SteghideCover cover = Cover(stego.file);
        Result<SteghidePayload> payload = SteghideExtract(cover, stego.passphrase);
        ASSERT_TRUE(payload.ok()) << payload.error();
        EXPECT_EQ(std::string(payload->data.begin(), payload->data.end()), kMessage);
        EXPECT_EQ(payload->name, "msg.txt");
        EXPECT_EQ(SteghideAlgorithmName(payload->header.algorithm), stego.algorithm);
        EXPECT_EQ(SteghideModeName(payload->header.mode), stego.mode);
        EXPECT_EQ(payload->compressed, stego.compressed);
        EXPECT_EQ(payload->hasChecksum, stego.checksum);
        EXPECT_TRUE(payload->checksumOk);
        // Wrong passphrases: near misses and another fixture's.
        for (const char* wrong : {"", "Vantrel", "vantrel ", "secret2", "rosebud"}) {
            if (std::string(wrong) != stego.passphrase) {
                EXPECT_FALSE(SteghideHeaderAt(cover, SteghideSeed(wrong))) << wrong;
                EXPECT_FALSE(SteghideExtract(cover, wrong).ok()) << wrong;
            }
        }
    }
}

TEST(Steghide, RefusesCiphersLibcryptoLacksButFindsTheirHeader) {
    const SteghideCover cover = Cover("jpeg-twofish.jpg");
    const std::optional<SteghideHeader> header = SteghideHeaderAt(cover, SteghideSeed("twofish"));
    ASSERT_TRUE(header);
    EXPECT_EQ(SteghideAlgorithmName(header->algorithm), "twofish");
    Result<SteghidePayload> payload = SteghideExtract(cover, "twofish");
    ASSERT_FALSE(payload.ok());
    EXPECT_NE(payload.error().find("twofish"), std::string::npos);
}

TEST(Steghide, WordListFindsThePassphraseAndNothingOnCleanCovers) {
    struct Case {
        const char* file;
        const char* passphrase; // null: no hit
    };
    const Case cases[] = {{"jpeg-default.jpg", "vantrel"},   {"bmp24-default.bmp", "rosebud"},
                          {"bmp8-default.bmp", "greyhound"}, {"cover.jpg", nullptr},
                          {"cover24.bmp", nullptr},          {"cover8.bmp", nullptr},
                          {"cover4.bmp", nullptr},           {"cover1.bmp", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream words(Fixture("words.txt"));
        SteghideWordListOptions options;
        options.fileName = Fixture(c.file);
        options.keepGoing = true;
        const SteghideWordListResult result =
            SteghideWordListAttack(Cover(c.file), &words, options);
        // 7 words, the empty passphrase, the name with and without its extension.
        EXPECT_EQ(result.tried, 10u);
        if (!c.passphrase) {
            EXPECT_TRUE(result.hits.empty());
            continue;
        }
        ASSERT_EQ(result.hits.size(), 1u);
        EXPECT_EQ(result.hits[0].passphrase, c.passphrase);
        ASSERT_TRUE(result.hits[0].payload);
        EXPECT_EQ(result.hits[0].payload->name, "msg.txt");
    }
}

TEST(Steghide, WordListTriesTheFileNameAndStopsWhenAsked) {
    // "jpeg-none" is not the passphrase of jpeg-none.jpg; pretend the file was called secret.jpg.
    SteghideWordListOptions options;
    options.fileName = "/somewhere/secret.jpg";
    const SteghideCover cover = Cover("jpeg-none.jpg");
    const SteghideWordListResult byName = SteghideWordListAttack(cover, nullptr, options);
    ASSERT_EQ(byName.hits.size(), 1u);
    EXPECT_EQ(byName.hits[0].passphrase, "secret");

    // The first hit ends the run unless asked to go on.
    for (const bool keepGoing : {false, true}) {
        std::istringstream twice("secret\nsecret\nother\n");
        options.fileName.clear();
        options.keepGoing = keepGoing;
        const SteghideWordListResult run = SteghideWordListAttack(cover, &twice, options);
        EXPECT_EQ(run.hits.size(), keepGoing ? 2u : 1u);
        EXPECT_EQ(run.tried, keepGoing ? 4u : 2u);
    }

    std::atomic<bool> cancel{true};
    options.cancel = &cancel;
    std::istringstream words("a\nb\nsecret\n");
    const SteghideWordListResult stopped = SteghideWordListAttack(cover, &words, options);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.tried, 0u);
}

TEST(Steghide, SeedSearchReadsAnUnencryptedPayloadWithoutThePassphrase) {
    // MD5("secret") folded by hand (Python's hashlib): the seed steghide used.
    constexpr std::uint32_t kSeed = 0x9d5a63ee;
    EXPECT_EQ(SteghideSeed("secret"), kSeed);
    EXPECT_EQ(SteghideSeed(""), 0x3b75655eu);
    SteghideSeedSearchOptions options;
    options.first = kSeed - 40000;
    options.end = std::uint64_t{kSeed} + 40000;
    std::uint64_t lastDone = 0;
    options.progress = [&](const SteghideProgress& p) { lastDone = p.done; };
    const SteghideSeedSearchResult result = SteghideSeedSearch(Cover("jpeg-none.jpg"), options);
    EXPECT_EQ(result.searched, 80000u);
    EXPECT_EQ(lastDone, 80000u);
    ASSERT_FALSE(result.hits.empty());
    EXPECT_EQ(result.hits[0].seed, kSeed);
    EXPECT_EQ(result.hits[0].rank, 0);
    ASSERT_TRUE(result.hits[0].payload);
    EXPECT_EQ(std::string(result.hits[0].payload->data.begin(), result.hits[0].payload->data.end()),
              kMessage);
    // The encrypted one around its own seed: found, ranked as steghide's default, not read.
    const std::uint32_t encrypted = SteghideSeed("vantrel");
    options.first = encrypted - 1000;
    options.end = std::uint64_t{encrypted} + 1000;
    const SteghideSeedSearchResult found = SteghideSeedSearch(Cover("jpeg-default.jpg"), options);
    ASSERT_EQ(found.hits.size(), 1u);
    EXPECT_EQ(found.hits[0].seed, encrypted);
    EXPECT_EQ(found.hits[0].rank, 1);
    EXPECT_FALSE(found.hits[0].payload);
}

// steghide's own formula in doubles, against ours, most of all where the double product rounds
// up to the next whole number.
TEST(Steghide, RandomNumbersMatchSteghidesDoubles) {
    // Newton's iteration for the inverse of an odd number mod 2^32.
    const auto inverse = [](std::uint32_t odd) {
        std::uint32_t x = odd;
        for (int i = 0; i < 5; ++i) {
            x *= 2u - odd * x;
        }
        return x;
    };
    const std::uint32_t stepBack = inverse(1367208549u);
    std::mt19937 random(9);
    int roundedUp = 0;
    for (int trial = 0; trial < 200000; ++trial) {
        const std::uint32_t n = static_cast<std::uint32_t>(random()) | 1u;
        // Half the states put the low word of n * state just below 2^32, where the double
        // product may round up; the rest are random.
        const std::uint32_t state = trial % 2 ? static_cast<std::uint32_t>(random())
                                              : (0u - (random() % 2048 + 1)) * inverse(n);
        const auto expected = static_cast<std::uint32_t>(
            static_cast<double>(n) * (static_cast<double>(state) / 4294967296.0));
        roundedUp += expected != static_cast<std::uint32_t>((std::uint64_t{n} * state) >> 32);
        SteghideRandom generator((state - 1u) * stepBack); // its next state is `state`
        ASSERT_EQ(generator.Below(n), expected) << n << " " << state;
    }
    EXPECT_GT(roundedUp, 1000); // the shortcut met many of the cases it must not take
}

TEST(Steghide, PermutationIsAPermutationWhicheverTableDrawsIt) {
    std::mt19937 random(7);
    for (const std::uint32_t range : {1u, 2u, 3u, 50u, 200u}) {
        for (int trial = 0; trial < 20; ++trial) {
            const std::uint32_t seed = static_cast<std::uint32_t>(random());
            SteghidePermutation<LargeDrawTable> large(seed, range);
            SteghidePermutation<SmallDrawTable> small(seed, range);
            std::set<std::uint32_t> seen;
            for (std::uint32_t i = 0; i < range; ++i) {
                const std::uint32_t position = large.Next();
                ASSERT_EQ(small.Next(), position);
                ASSERT_LT(position, range);
                seen.insert(position);
            }
            EXPECT_EQ(seen.size(), range) << "seed " << seed;
        }
    }
}

// Covers planted so that one seed reads the magic, on so few samples that the first draws often
// meet: the batched scan must agree with the plain bit reader on every seed around it.
TEST(Steghide, MagicScanAgreesWithTheBitReader) {
    struct Grouping {
        int samplesPerValue, bitsPerValue;
    };
    std::mt19937 random(5);
    for (const Grouping g : {Grouping{3, 1}, Grouping{2, 2}, Grouping{3, 2}, Grouping{2, 1}}) {
        for (int trial = 0; trial < 25; ++trial) {
            SteghideCover cover;
            cover.samplesPerValue = g.samplesPerValue;
            cover.bitsPerValue = g.bitsPerValue;
            cover.modulus = 1 << g.bitsPerValue;
            cover.values.assign(80, 0);
            const std::uint32_t planted = static_cast<std::uint32_t>(random());
            SteghidePermutation<LargeDrawTable> positions(planted, 80);
            for (int bit = 0; bit < kSteghideMagicBits; bit += g.bitsPerValue) {
                cover.values[positions.Next()] =
                    static_cast<std::uint8_t>((kSteghideMagic >> bit) & (cover.modulus - 1));
                for (int s = 1; s < g.samplesPerValue; ++s) {
                    positions.Next();
                }
            }
            const SteghideMagicCheck magic(cover);
            std::vector<std::uint32_t> scanned;
            magic.Scan(std::uint64_t{planted} - 100, std::uint64_t{planted} + 100, scanned);
            std::vector<std::uint32_t> expected;
            for (std::uint32_t seed = planted - 100; seed != planted + 100; ++seed) {
                SteghideBitReader<LargeDrawTable> reader(cover, seed);
                const bool reads = reader.Bits(kSteghideMagicBits) == kSteghideMagic;
                EXPECT_EQ(magic(seed), reads) << seed;
                if (reads) {
                    expected.push_back(seed);
                }
            }
            EXPECT_EQ(scanned, expected);
            EXPECT_NE(std::find(scanned.begin(), scanned.end(), planted), scanned.end());
        }
    }
}

TEST(Steghide, ChecksumIsLibmhashCrc32) {
    // CRC-32/BZIP2's published check value.
    const std::string check = "123456789";
    EXPECT_EQ(SteghideCrc32(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()),
              0xFC891918u);
}

TEST(Steghide, BmpSampleValuesFollowSteghide) {
    struct Case {
        int bits;
        int width;
        std::vector<std::uint8_t> row;
        std::vector<std::uint8_t> values;
        int samplesPerValue;
    };
    const Case cases[] = {
        // B, G, R: (R^G)&1 is the high bit, (R^B)&1 the low one.
        {24, 3, {0, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0}, {3, 1, 0}, 2},
        {8, 5, {0, 1, 2, 7, 252, 0, 0, 0}, {0, 1, 2, 3, 0}, 3},
        // The first pixel in the high nibble; only the lowest index bit counts.
        {4, 3, {0x1E, 0x30, 0, 0}, {1, 0, 1}, 2},
        {1, 10, {0xA0, 0x40, 0, 0}, {1, 0, 1, 0, 0, 0, 0, 0, 0, 1}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        BmpPixelData bmp{c.width, 1, c.bits, c.row.size(), c.row};
        Result<SteghideCover> cover = SteghideBmpCover(bmp);
        ASSERT_TRUE(cover.ok()) << cover.error();
        EXPECT_EQ(cover->values, c.values);
        EXPECT_EQ(cover->samplesPerValue, c.samplesPerValue);
    }
}

// What steghide 0.5.1 says of each file (its own run, or its BmpFile.cc where it dies): the headers
// it refuses are refused, the others read at the OS/2 or Windows offset of the bit depth.
TEST(Steghide, FileHeadAgreesWithSteghide) {
    const auto bytesOf = [](const std::string& name) {
        std::ifstream file(Fixture(name), std::ios::binary);
        return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
    };
    const auto patched = [&](const std::string& name, std::size_t at, std::uint8_t byte) {
        std::vector<std::uint8_t> bytes = bytesOf(name);
        bytes.at(at) = byte;
        return bytes;
    };
    std::vector<std::uint8_t> topDown = bytesOf("bmp24-default.bmp");
    const std::int32_t height = -(topDown[22] | topDown[23] << 8);
    for (int i = 0; i < 4; ++i) {
        topDown[22 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(height) >> 8 * i);
    }
    // 'B' 'M', sizes, a 12-byte OS/2 header: 3 x 2 pixels, one plane, 4 bits.
    const std::vector<std::uint8_t> os2 = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0,
                                           0,   12,  0, 0, 0, 3, 0, 2, 0, 1, 0,  4, 0};
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        int bits; // 0: a JPEG; -1: refused with `refusal`
        const char* refusal;
    };
    const Case cases[] = {
        {"jpeg", bytesOf("cover.jpg"), 0, ""},
        {"1-bit", bytesOf("bmp1-default.bmp"), 1, ""},
        {"8-bit", bytesOf("bmp8-default.bmp"), 8, ""},
        {"os/2 4-bit", os2, 4, ""},
        {"16-bit", bytesOf("cover16.bmp"), -1, "not 16-bit"},
        {"32-bit", bytesOf("cover32.bmp"), -1, "not 32-bit"},
        {"top-down", topDown, -1, "top-down"},
        {"rle8", patched("bmp8-default.bmp", 30, 1), -1, "uncompressed"},
        {"v5 header", patched("bmp24-default.bmp", 14, 124), -1, "not a 124-byte one"},
        {"cut", {os2.begin(), os2.end() - 1}, -1, "cut short"},
        {"text", bytesOf("words.txt"), -1, "neither a JPEG nor a BMP"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Result<std::vector<std::uint8_t>> wire = EncodeSteghideFileHead(c.bytes, 0);
        if (c.bits < 0) {
            ASSERT_FALSE(wire.ok());
            EXPECT_NE(wire.error().find(c.refusal), std::string::npos) << wire.error();
            continue;
        }
        ASSERT_TRUE(wire.ok()) << wire.error();
        const Result<SteghideFileHead> head = DecodeSteghideFileHead(*wire);
        ASSERT_TRUE(head.ok());
        EXPECT_EQ(head->kind, c.bits == 0 ? SteghideFileKind::Jpeg : SteghideFileKind::Bmp);
        EXPECT_EQ(head->bmpBits, c.bits);
    }
    EXPECT_FALSE(DecodeSteghideFileHead({1, 16}).ok());
}

TEST(Steghide, DamagedInputsFailCleanly) {
    // Pixel rows or coefficient arrays shorter than the size claimed.
    EXPECT_FALSE(SteghideBmpCover({64, 48, 24, 192, std::vector<std::uint8_t>(100)}).ok());
    EXPECT_FALSE(SteghideBmpCover({64, 48, 16, 128, std::vector<std::uint8_t>(128 * 48)}).ok());
    Result<JpegCoefficients> jpeg = test::ReadJpegCoefficients(Fixture("jpeg-none.jpg"));
    ASSERT_TRUE(jpeg.ok());
    JpegCoefficients cut = *jpeg;
    cut.components[0].heightInBlocks -= 1;
    cut.components[0].coefficients.resize(cut.components[0].coefficients.size() - 64 * 20);
    EXPECT_FALSE(SteghideJpegCover(cut).ok());

    // A stego file cut short: refused by the reader, or read with too little to extract.
    std::ifstream file(Fixture("jpeg-default.jpg"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() * 2 / 3);
    Result<JpegCoefficients> truncated = ReadJpegCoefficients(bytes);
    if (truncated.ok()) {
        Result<SteghideCover> shortCover = SteghideJpegCover(*truncated);
        EXPECT_TRUE(!shortCover.ok() || !SteghideExtract(*shortCover, "vantrel").ok());
    }

    // Too few samples for even the magic, and a cover with its tail cut off.
    SteghideCover cover = *SteghideJpegCover(*jpeg);
    SteghideCover tiny = cover;
    tiny.values.resize(70);
    EXPECT_FALSE(SteghideMagicCheck(tiny)(SteghideSeed("secret")));
    EXPECT_FALSE(SteghideExtract(tiny, "secret").ok());
    SteghideCover tail = cover;
    tail.values.resize(tail.values.size() / 2);
    EXPECT_FALSE(SteghideExtract(tail, "secret").ok());

    // Flipped samples: whatever still passes the header must fail its checks, never crash.
    std::mt19937 random(3);
    for (int trial = 0; trial < 30; ++trial) {
        SteghideCover damaged = cover;
        for (int flip = 0; flip < 40; ++flip) {
            damaged.values[random() % damaged.values.size()] ^= 1;
        }
        Result<SteghidePayload> payload = SteghideExtract(damaged, "secret");
        if (payload.ok()) {
            EXPECT_TRUE(std::string(payload->data.begin(), payload->data.end()) == kMessage ||
                        !payload->checksumOk);
        }
    }
}

} // namespace
} // namespace vantrel
