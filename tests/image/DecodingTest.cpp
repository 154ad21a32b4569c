// The isolated load path: what the decoder process hands back, how a crash, a hang or a forged
// header ends, the fallback readers, and the hostile corpus in tests/data/hostile.
#include "decoder/Decoding.h"
#include "TestData.h"
#include "decoder/HeaderSize.h"
#include "image/DecodeProtocol.h"
#include "image/ImageLoading.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using testing::Data;

// The size the decoder process reads; zero when it reads none.
Size SizeRead(const std::string& path) {
    const Result<Size> size = ReadImageSize(path);
    return size ? *size : Size{};
}

using testing::AddTag;
using testing::Colours;
using testing::NoiseBitmap;

std::string Comment(FIBITMAP* bitmap, const char* key) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_COMMENTS, bitmap, key, &tag)) {
        return "<none>";
    }
    return static_cast<const char*>(FreeImage_GetTagValue(tag));
}

// A comment the way PNG files give it, counted with its NUL.
void SetComment(FIBITMAP* bitmap, const char* key, const std::string& text) {
    AddTag(bitmap, key, std::string(text.c_str(), text.size() + 1));
}

std::vector<std::uint8_t> Payload(const FIBITMAP* bitmap) {
    std::vector<std::uint8_t> bytes(decoding::BitmapPayloadSize(bitmap));
    EXPECT_TRUE(decoding::EncodeBitmapPayload(bitmap, bytes));
    return bytes;
}

struct ShapeCase {
    int width, height, bitsPerPixel;
};

class PayloadRoundTrip : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(PayloadRoundTrip, KeepsPixelsResolutionAndComments) {
    const ShapeCase& c = GetParam();
    BitmapHandle original = NoiseBitmap(c.width, c.height, c.bitsPerPixel, 7);
    SetComment(original.get(), "Comment", "seen by the hub");
    SetComment(original.get(), "comment", "written by another tool");
    // A tag of no bytes, as some cameras' maker notes hold: dropped, never the image refused.
    AddTag(original.get(), "empty", std::string(), FIDT_UNDEFINED);
    FreeImage_SetDotsPerMeterX(original.get(), 3780);
    FreeImage_SetDotsPerMeterY(original.get(), 2835);

    const BitmapHandle copy = decoding::DecodeBitmapPayload(Payload(original.get()));
    ASSERT_TRUE(copy);
    EXPECT_EQ(BitmapBitsPerPixel(copy.get()), c.bitsPerPixel);
    EXPECT_EQ(Colours(copy.get(), true), Colours(original.get(), true));
    EXPECT_EQ(Comment(copy.get(), "Comment"), "seen by the hub");
    EXPECT_EQ(Comment(copy.get(), "comment"), "written by another tool");
    EXPECT_EQ(Comment(copy.get(), "empty"), "<none>");
    EXPECT_EQ(FreeImage_GetDotsPerMeterX(copy.get()), 3780u);
    EXPECT_EQ(FreeImage_GetDotsPerMeterY(copy.get()), 2835u);
}

// Odd widths leave padding at the end of each 24-bit row.
INSTANTIATE_TEST_SUITE_P(Shapes, PayloadRoundTrip,
                         ::testing::Values(ShapeCase{4, 3, 24}, ShapeCase{5, 2, 24},
                                           ShapeCase{1, 1, 24}, ShapeCase{7, 3, 32}));

struct Corruption {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> apply;
};

class CorruptPayloads : public ::testing::TestWithParam<Corruption> {};

// Field offsets of the payload header: magic 0, bpp 4, width 8, height 12, pitch 16, then
// resolution, metadata size 32, ICC size 40, pixel offset 48; metadata records from 56.
TEST_P(CorruptPayloads, AreRefusedNotTrusted) {
    BitmapHandle original = NoiseBitmap(5, 3, 24, 1);
    SetComment(original.get(), "Comment", "x");
    std::vector<std::uint8_t> bytes = Payload(original.get());
    GetParam().apply(bytes);
    EXPECT_FALSE(decoding::DecodeBitmapPayload(bytes)) << GetParam().what;
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CorruptPayloads,
    ::testing::Values(Corruption{"one byte short", [](auto& b) { b.pop_back(); }},
                      Corruption{"one byte long", [](auto& b) { b.push_back(0); }},
                      Corruption{"magic", [](auto& b) { b[0] ^= 1; }},
                      Corruption{"8 bits a pixel", [](auto& b) { Put32(b, 4, 8); }},
                      Corruption{"width 0", [](auto& b) { Put32(b, 8, 0); }},
                      Corruption{"width past the rows", [](auto& b) { Put32(b, 8, 0x7FFFFFFF); }},
                      Corruption{"height past the bytes", [](auto& b) { Put32(b, 12, 4); }},
                      Corruption{"pitch", [](auto& b) { Put32(b, 16, 15); }},
                      Corruption{"metadata size", [](auto& b) { Put32(b, 32, 0xFFFFFF); }},
                      Corruption{"tag key longer than the metadata",
                                 [](auto& b) { Put32(b, 56 + 12, 999); }},
                      Corruption{"tag model", [](auto& b) { Put32(b, 56, 77); }}));

TEST(CorruptPayloads, EveryTruncationIsRefused) {
    BitmapHandle original = NoiseBitmap(3, 2, 32, 3);
    SetComment(original.get(), "Comment", "truncate me");
    const std::vector<std::uint8_t> bytes = Payload(original.get());
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(decoding::DecodeBitmapPayload({bytes.data(), size})) << size;
    }
}

// Every load goes through these packets; what no load shows is checked here.
TEST(Packets, RoundTripAndRefuseGarbage) {
    const decoding::Request request{
        decoding::RequestKind::Analyse, true, true, 12345, "/a/b c.png", "structure"};
    decoding::Request parsed;
    ASSERT_TRUE(decoding::ParseRequest(decoding::EncodeRequest(request), &parsed));
    EXPECT_TRUE(parsed.sharedMemory && parsed.keepIndexed);
    EXPECT_EQ(parsed.analysis, "structure");
    EXPECT_EQ(parsed.path, "/a/b c.png");
    decoding::Request longName = request;
    longName.analysis.assign(decoding::kMaxAnalysisName + 1, 'x');
    EXPECT_FALSE(decoding::ParseRequest(decoding::EncodeRequest(longName), &parsed));
    decoding::Reply reply;
    reply.retire = true;
    reply.pixelAddress = 0x7000;
    reply.rowsAddress = 0x9000;
    reply.rowsBytes = 12;
    decoding::Reply back;
    ASSERT_TRUE(decoding::ParseReplyHeader(decoding::EncodeReplyHeader(reply), &back));
    EXPECT_TRUE(back.retire);
    EXPECT_EQ(back.pixelAddress, 0x7000u);
    EXPECT_EQ(back.rowsAddress, 0x9000u);
    EXPECT_EQ(back.rowsBytes, 12u);

    std::vector<std::uint8_t> packet = decoding::EncodeRequest(request);
    packet.pop_back();
    EXPECT_FALSE(decoding::ParseRequest(packet, &parsed));
    packet = decoding::EncodeRequest(request);
    packet[4] = 9; // no such request kind
    EXPECT_FALSE(decoding::ParseRequest(packet, &parsed));
    EXPECT_FALSE(decoding::ParseReplyHeader(packet, &back));
}

// An analysis is read in place only from a memfd sealed against writes: an unsealed one is
// copied, so that its sender changing it later cannot change what the caller checked.
TEST(AnalysisReplies, SealedAreFixedUnsealedAreCopied) {
    const std::vector<std::uint8_t> sent = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const struct {
        bool sealed;
        std::uint64_t maxBytes;
        bool read;
    } cases[] = {{true, 9, true}, {false, 9, true}, {true, 8, false}, {false, 8, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sealed << " " << c.maxBytes);
        int memfd = decoding::WriteBytesToMemfd(sent);
        if (!c.sealed) {
            close(memfd);
            memfd = memfd_create("unsealed", MFD_CLOEXEC);
            ASSERT_EQ(write(memfd, sent.data(), sent.size()), ssize_t(sent.size()));
        }
        ASSERT_GE(memfd, 0);
        decoding::ReplyBytes reply;
        ASSERT_EQ(reply.read(memfd, c.maxBytes), c.read);
        const std::uint8_t changed = 0xEE;
        const bool written = pwrite(memfd, &changed, 1, 0) == 1;
        EXPECT_EQ(written, !c.sealed);
        if (c.read) {
            EXPECT_EQ(std::vector<std::uint8_t>(reply.bytes().begin(), reply.bytes().end()), sent);
        }
        close(memfd);
    }
}

// The two ways pixels travel: a memfd holding the whole payload, or the head in the reply and
// the rows read from the decoder's memory (here: this process's own).
TEST(PixelTransfer, MemfdAndRemoteReadGiveTheSameBitmap) {
    BitmapHandle original = NoiseBitmap(301, 7, 24, 9);
    SetComment(original.get(), "Comment", "travels both ways");

    const int memfd = decoding::WriteBitmapToMemfd(original.get());
    ASSERT_GE(memfd, 0);
    const BitmapHandle viaMemfd = decoding::ReadBitmapFromMemfd(memfd);
    close(memfd);
    ASSERT_TRUE(viaMemfd);
    EXPECT_EQ(Colours(viaMemfd.get()), Colours(original.get()));

    const std::vector<std::uint8_t> head = decoding::EncodePayloadHead(original.get());
    BitmapHandle viaRead =
        decoding::BitmapFromPayloadHead(head, decoding::BitmapPixelBytes(original.get()));
    ASSERT_TRUE(viaRead);
    int failure = 0;
    const auto address = reinterpret_cast<std::uintptr_t>(FreeImage_GetBits(original.get()));
    ASSERT_TRUE(decoding::ReadRemotePixels(getpid(), address, viaRead.get(), &failure)) << failure;
    EXPECT_EQ(Colours(viaRead.get()), Colours(original.get()));
    EXPECT_EQ(Comment(viaRead.get(), "Comment"), "travels both ways");

    // A wrong address is a failed read, not a crash.
    EXPECT_FALSE(decoding::ReadRemotePixels(getpid(), 16, viaRead.get(), &failure));
    EXPECT_EQ(failure, EFAULT);
    // Pixel bytes that do not match the head's rows are refused.
    EXPECT_FALSE(
        decoding::BitmapFromPayloadHead(head, decoding::BitmapPixelBytes(original.get()) + 4));

    // An analysis's encoding with the rows lent beside it: the rows become the bitmap's own.
    const std::vector<std::uint8_t> message = {1, 2, 3};
    decoding::ReplyBytes lent;
    ASSERT_TRUE(lent.readRemote(getpid(), reinterpret_cast<std::uintptr_t>(message.data()),
                                message.size(), &failure, address,
                                decoding::BitmapPixelBytes(original.get())));
    EXPECT_EQ(std::vector<std::uint8_t>(lent.bytes().begin(), lent.bytes().end()), message);
    const BitmapHandle overRows = decoding::BitmapOverPayloadHead(head, lent.takeRows());
    ASSERT_TRUE(overRows);
    EXPECT_EQ(Colours(overRows.get()), Colours(original.get()));
    EXPECT_EQ(Comment(overRows.get(), "Comment"), "travels both ways");
    EXPECT_FALSE(decoding::BitmapOverPayloadHead(head, lent.takeRows())); // taken once
    EXPECT_FALSE(decoding::BitmapOverPayloadHead(
        head, PixelMemory(decoding::BitmapPixelBytes(original.get()) + 4)));
}

// Large decoded bitmaps live in pages mapped by us: they must behave like any other bitmap.
TEST(LargePageBitmaps, BehaveLikeFreeImagesOwn) {
    for (const int bitsPerPixel : {24, 32}) {
        BitmapHandle mapped = AllocateZeroedBitmap(1601, 1500, bitsPerPixel);
        BitmapHandle plain(FreeImage_Allocate(1601, 1500, bitsPerPixel));
        ASSERT_TRUE(mapped);
        EXPECT_EQ(FreeImage_GetPitch(mapped.get()), FreeImage_GetPitch(plain.get()));
        const MutablePixelView view = MutableViewOfBitmap(mapped.get());
        ASSERT_FALSE(view.empty());
        EXPECT_EQ(view.row(view.height - 1)[0], 0); // zeroed like FreeImage_Allocate's
        view.row(0)[0] = 200;                       // top-left blue
        view.row(view.height - 1)[view.width * view.bytesPerPixel - 1] = 100;
        const BitmapHandle clone = CloneBitmap(mapped.get());
        mapped.reset(); // the clone owns its own rows
        const PixelView copy = ViewOfBitmap(clone.get());
        EXPECT_EQ(copy.row(0)[0], 200);
        EXPECT_EQ(copy.row(copy.height - 1)[copy.width * copy.bytesPerPixel - 1], 100);
        const BitmapHandle thumbnail = FitLongSide(clone.get(), 100);
        EXPECT_EQ(BitmapWidth(thumbnail.get()), 100);
    }
    EXPECT_FALSE(AllocateZeroedBitmap(0, 10, 24));
    EXPECT_FALSE(AllocateZeroedBitmap(10, 10, 16));
}

// Files this FreeImage build cannot read alone: v4/v5 and RLE8 BMPs (Qt), JPEG XR (libjxr).
class FallbackFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(FallbackFiles, GiveTheSamePixelsAsThePng) {
    const BitmapHandle reference = testing::Loaded(Data("pattern.png"));
    const Result<BitmapHandle> loaded = LoadImageFile(Data(GetParam()));
    ASSERT_TRUE(loaded) << loaded.error();
    const BitmapHandle& bitmap = *loaded;
    ASSERT_FALSE(ViewOfBitmap(bitmap.get()).empty());
    EXPECT_EQ(BitmapWidth(bitmap.get()), 4);
    EXPECT_EQ(BitmapHeight(bitmap.get()), 3);
    EXPECT_EQ(Colours(bitmap.get()), Colours(reference.get()));
    EXPECT_EQ(SizeRead(Data(GetParam())), (Size{4, 3}));
}

INSTANTIATE_TEST_SUITE_P(Files, FallbackFiles,
                         ::testing::Values("pattern-v5.bmp", "pattern-v4.bmp", "pattern-rle8.bmp",
                                           "pattern.jxr"));

TEST(Isolation, ACrashingDecoderCostsOneFile) {
    const std::string path = Data("truncated.psd");
    EXPECT_EQ(LoadImageFile(path).error(), "decoder crashed on " + path);
    // The next load gets a fresh decoder.
    const Result<BitmapHandle> next = LoadImageFile(Data("pattern.png"));
    EXPECT_TRUE(next) << next.error();
    EXPECT_EQ(SizeRead(Data("pattern.psd")), (Size{4, 3}));
}

// Every forged size is square: side x side.
class ForgedHeaders : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(ForgedHeaders, AreRefusedBeforeDecoding) {
    const auto& [file, side] = GetParam();
    const std::string path = Data(file);
    const std::string size = std::to_string(side);
    EXPECT_EQ(LoadImageFile(path).error(),
              "image too large: " + size + " x " + size + " (" + path + ")");
}

INSTANTIATE_TEST_SUITE_P(Files, ForgedHeaders,
                         ::testing::ValuesIn(std::vector<std::pair<const char*, int>>{
                             {"huge-header.png", 100000},
                             {"hostile/pattern-forged.png", 20000},
                             {"hostile/pattern-forged.bmp", 20000},
                             {"hostile/pattern-v5-forged.bmp", 20000},
                             {"hostile/pattern-forged.jpg", 20000},
                             {"hostile/pattern-forged.jp2", 20000},
                             {"hostile/pattern-forged.j2k", 20000},
                             {"hostile/pattern-forged.tif", 20000},
                             {"hostile/pattern-forged.psd", 30000}}));

TEST(PixelLimit, AdmitsTheLimitAndRefusesOnePixelMore) {
    const std::int64_t limit = DecodeLimits{}.maxPixels;
    EXPECT_GE(limit, 200'000'000);                          // a 200-megapixel photo loads
    EXPECT_EQ(RefusalOfSize(16384, 16384, "x", limit), ""); // 2^28: the limit itself
    EXPECT_EQ(RefusalOfSize(20000, 20000, "x", limit), "image too large: 20000 x 20000 (x)");
    EXPECT_EQ(RefusalOfSize(-5, 100000, "x", limit), ""); // malformed, left to the decoder

    DecodeOptions options;
    options.limits.maxPixels = 11; // pattern.png has 12
    EXPECT_EQ(LoadImageFile(Data("pattern.png"), options).error(),
              "image too large: 4 x 3 (" + Data("pattern.png") + ")");
    options.limits.maxPixels = 12;
    EXPECT_TRUE(LoadImageFile(Data("pattern.png"), options));
}

TEST(ReadImageSize, ReadsTheHeaderWithoutDecoding) {
    // Too large to decode, but the header alone answers.
    EXPECT_EQ(SizeRead(Data("huge-header.png")), (Size{100000, 100000}));
    const Result<Size> text = ReadImageSize(Data("text.png"));
    EXPECT_FALSE(text);
    EXPECT_NE(text.error().find("text.png"), std::string::npos) << text.error();
}

// A large PNG of noise, written once: slow enough to decode to outlast a 1 ms limit.
std::string NoisePng() {
    const std::string path = (fs::temp_directory_path() / "vantrel-decoding-noise.png").string();
    if (!fs::exists(path)) {
        const BitmapHandle noise = NoiseBitmap(3000, 3000, 24, 11);
        EXPECT_TRUE(FreeImage_Save(FIF_PNG, noise.get(), path.c_str(), PNG_Z_BEST_SPEED));
    }
    return path;
}

TEST(Isolation, AHungDecoderIsKilledAtTheTimeLimit) {
    const std::string path = NoisePng();
    {
        DecodeOptions options;
        options.limits.timeoutMilliseconds = 1;
        EXPECT_EQ(LoadImageFile(path, options).error(), "timed out decoding " + path);
    }
    const Result<BitmapHandle> bitmap = LoadImageFile(path);
    ASSERT_TRUE(bitmap) << bitmap.error();
    EXPECT_EQ(BitmapWidth(bitmap->get()), 3000);
}

TEST(Isolation, TheMemoryLimitStopsADecoder) {
    if (decoding::kAddressSanitizer) {
        GTEST_SKIP() << "no address-space limit under AddressSanitizer";
    }
    const std::string path = NoisePng();
    DecodeOptions options;
    options.limits.maxMemoryBytes = 64 << 20; // the 27 MB bitmap, its copy and the libraries
    // do not fit
    const Result<BitmapHandle> bitmap = LoadImageFile(path, options);
    EXPECT_FALSE(bitmap);
    EXPECT_NE(bitmap.error().find(path), std::string::npos) << bitmap.error();
}

TEST(Isolation, ThreadsShareThePool) {
    const std::vector<std::pair<std::string, bool>> files = {
        {Data("pattern.png"), true},    {Data("pattern.jxr"), true},
        {Data("truncated.psd"), false}, {Data("pattern-v4.bmp"), true},
        {Data("scan.TIFF"), true},      {Data("hostile/pattern-forged.png"), false}};
    const auto reference = Colours(testing::Loaded(Data("pattern.png")).get());
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 12; ++i) {
                const auto& [path, loads] = files[(t + i) % files.size()];
                const Result<BitmapHandle> bitmap = LoadImageFile(path);
                if (loads != bitmap.ok() || (bitmap && Colours(bitmap->get()) != reference) ||
                    (!bitmap && bitmap.error().find(path) == std::string::npos)) {
                    failures[t] += path + " -> " + bitmap.error() + "\n";
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::string& failure : failures) {
        EXPECT_EQ(failure, "");
    }
}

// Every hostile file loads as nothing with a one-line reason naming it, or as a valid standard
// bitmap that the display conversion and the thumbnail rule accept.
TEST(HostileCorpus, LoadsAsNothingOrAsAValidBitmap) {
    int files = 0;
    for (const auto& entry : fs::directory_iterator(Data("hostile"))) {
        const std::string path = entry.path().string();
        ++files;
        const Result<BitmapHandle> loaded = LoadImageFile(path);
        if (!loaded) {
            EXPECT_NE(loaded.error().find(path), std::string::npos) << loaded.error();
            EXPECT_EQ(loaded.error().find('\n'), std::string::npos) << loaded.error();
        } else {
            const BitmapHandle& bitmap = *loaded;
            const PixelView view = ViewOfBitmap(bitmap.get());
            ASSERT_FALSE(view.empty()) << path;
            std::vector<std::uint8_t> rows(static_cast<std::size_t>(view.width) * view.height * 4);
            EXPECT_TRUE(CopyBitmapToBgrx(bitmap.get(), rows.data(), view.width * 4)) << path;
            FitLongSide(bitmap.get(), 100);
        }
        // Whatever decodes has a size; the rest must still answer.
        const Result<Size> size = ReadImageSize(path);
        EXPECT_TRUE(size || !loaded) << path << ": " << size.error();
    }
    EXPECT_GE(files, 60);
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The header reader agrees with a full decode, format by format; ReadImageSize (answered by
// the decoder process) agrees too.
TEST(HeaderSize, GivesTheSizeTheDecoderGives) {
    // A forged GIF logical screen is no claim: the decoder gives the first image.
    for (const char* name : {"pattern.png", "pattern.gif", "pattern.bmp", "pattern-v5.bmp",
                             "pattern.jp2", "pattern.j2k", "hostile/pattern-forged.gif"}) {
        const BitmapHandle decoded = testing::Loaded(Data(name));
        ASSERT_TRUE(decoded) << name;
        const Size size{BitmapWidth(decoded.get()), BitmapHeight(decoded.get())};
        EXPECT_EQ(ReadHeaderSize(FileBytes(Data(name))), (HeaderSize{size.width, size.height}))
            << name;
        EXPECT_EQ(SizeRead(Data(name)), size) << name;
    }
}

TEST(HeaderSize, EditedAndCutHeaders) {
    const std::vector<std::uint8_t> gif = FileBytes(Data("pattern.gif"));
    std::vector<std::uint8_t> screen = gif; // a logical screen larger than the first image
    screen[6] = 40;
    screen[8] = 30;
    std::vector<std::uint8_t> commented = gif; // a comment of two sub-blocks before the image
    const std::size_t tableEnd =
        13 + ((gif[10] & 0x80) ? 3 * (std::size_t{2} << (gif[10] & 7)) : 0);
    const std::uint8_t comment[] = {0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
    commented.insert(commented.begin() + static_cast<std::ptrdiff_t>(tableEnd), std::begin(comment),
                     std::end(comment));
    const std::vector<std::uint8_t> jp2 = FileBytes(Data("pattern.jp2"));
    // The file type box (at 12) rewritten with a 64-bit length: 1, the type, then 8 + 20 bytes.
    std::vector<std::uint8_t> extended(jp2.begin(), jp2.begin() + 12);
    const std::uint8_t longBox[] = {0, 0, 0, 1, 'f', 't', 'y', 'p', 0, 0, 0, 0, 0, 0, 0, 0x1C};
    extended.insert(extended.end(), std::begin(longBox), std::end(longBox));
    extended.insert(extended.end(), jp2.begin() + 20, jp2.end());
    EXPECT_EQ(ReadHeaderSize(screen), (HeaderSize{4, 3}));
    EXPECT_EQ(ReadHeaderSize(commented), (HeaderSize{4, 3}));
    EXPECT_EQ(ReadHeaderSize(extended), (HeaderSize{4, 3}));

    const std::vector<std::uint8_t> j2k = FileBytes(Data("pattern.j2k"));
    for (const auto& cut :
         {std::vector<std::uint8_t>(gif.begin(), gif.begin() + 20),
          std::vector<std::uint8_t>(j2k.begin(), j2k.begin() + 30),
          std::vector<std::uint8_t>(jp2.begin(), jp2.begin() + 90), FileBytes(Data("text.png"))}) {
        const std::optional<HeaderSize> size = ReadHeaderSize(cut);
        EXPECT_FALSE(size && size->decoderAgrees);
    }
}

} // namespace
} // namespace vantrel
