// The structure walk of a 24-megapixel PNG (RGB and palette) and JPEG against FreeImage's decode of
// the same file, the budget it must keep (at most 1.5 x the PNG decode, 1.1 x the JPEG decode).
// Registered as
// "/kernel" (the walk) and "/naive" (the decode), so bench/run's "x naive" column is the decode
// time over the walk time: at least 0.67 for PNG and 0.91 for JPEG keeps the budget.
#include "BenchSupport.h"

#include "structure/FileStructure.h"

#include <FreeImage.h>

namespace vantrel::bench {
namespace {

// A photograph-like picture: smooth gradients with a little noise, which deflate and the JPEG
// coder treat as they treat photographs (noise alone would store PNG rows nearly uncompressed).
BitmapHandle PhotoLikeBitmap() {
    BitmapHandle bitmap(FreeImage_Allocate(kWidth, kHeight, 24));
    std::mt19937 random(5);
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.row(y);
        for (int x = 0; x < view.width; ++x) {
            const std::uint32_t r = random();
            row[3 * x] = std::uint8_t((x / 24 + (r & 7)) & 0xFF);
            row[3 * x + 1] = std::uint8_t((y / 16 + ((r >> 3) & 7)) & 0xFF);
            row[3 * x + 2] = std::uint8_t(((x + y) / 40 + ((r >> 6) & 7)) & 0xFF);
        }
    }
    return bitmap;
}

// `palette`: quantized to 256 colours, so the walk also reads every pixel's index to learn
// which palette entries no pixel uses.
std::vector<std::uint8_t> Encode(FREE_IMAGE_FORMAT format, int flags, bool palette = false) {
    static const BitmapHandle bitmap = PhotoLikeBitmap();
    const BitmapHandle quantized(palette ? FreeImage_ColorQuantize(bitmap.get(), FIQ_WUQUANT)
                                         : nullptr);
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(format, palette ? quantized.get() : bitmap.get(), memory, flags);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    std::vector<std::uint8_t> bytes(data, data + size);
    FreeImage_CloseMemory(memory);
    return bytes;
}

// The JPEG with a camera's EXIF thumbnail (160 pixels wide) after SOI: the walk then also
// compares the thumbnail with the picture, decoding the picture at an eighth of its size.
std::vector<std::uint8_t> WithThumbnail(const std::vector<std::uint8_t>& jpeg) {
    static const BitmapHandle bitmap = PhotoLikeBitmap();
    BitmapHandle small(FreeImage_Rescale(bitmap.get(), 160, 107, FILTER_BOX));
    FIMEMORY* memory = FreeImage_OpenMemory();
    FreeImage_SaveToMemory(FIF_JPEG, small.get(), memory, JPEG_QUALITYGOOD);
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    const std::vector<std::uint8_t> thumbnail(data, data + size);
    FreeImage_CloseMemory(memory);
    std::vector<std::uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](unsigned v) {
        tiff.push_back(std::uint8_t(v));
        tiff.push_back(std::uint8_t(v >> 8));
    };
    auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    auto entry = [&](unsigned tag, unsigned type, unsigned value) {
        put16(tag);
        put16(type);
        put32(1);
        put32(value);
    };
    put16(1); // IFD0: orientation, then IFD1 at 26
    entry(0x0112, 3, 1);
    put32(26);
    put16(2); // IFD1: the thumbnail at 56
    entry(0x0201, 4, 56);
    entry(0x0202, 4, unsigned(thumbnail.size()));
    put32(0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
    const std::size_t length = 2 + 6 + tiff.size();
    const std::uint8_t header[] = {
        0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length), 'E', 'x',
        'i',  'f',  0,    0};
    std::vector<std::uint8_t> out(std::begin(header), std::end(header));
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

void Walk(benchmark::State& state, const std::vector<std::uint8_t>* file) {
    for (auto _ : state) {
        auto walked = structure::WalkStructure(*file);
        if (!walked.ok() || !walked->anomalies.empty()) {
            state.SkipWithError("the walk of a clean file failed or found anomalies");
            return;
        }
        benchmark::DoNotOptimize(walked);
    }
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>* file,
            FREE_IMAGE_FORMAT format, int flags) {
    for (auto _ : state) {
        FIMEMORY* memory =
            FreeImage_OpenMemory(const_cast<BYTE*>(file->data()), DWORD(file->size()));
        BitmapHandle bitmap(FreeImage_LoadFromMemory(format, memory, flags));
        FreeImage_CloseMemory(memory);
        benchmark::DoNotOptimize(bitmap.get());
    }
}

const bool registered = [] {
    static const std::vector<std::uint8_t> png = Encode(FIF_PNG, PNG_DEFAULT);
    static const std::vector<std::uint8_t> jpeg = Encode(FIF_JPEG, JPEG_QUALITYGOOD);
    benchmark::RegisterBenchmark("StructurePng/kernel", Walk, &png)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("StructurePng/naive", Decode, &png, FIF_PNG, PNG_DEFAULT)
        ->Unit(benchmark::kMillisecond);
    RegisterMemcpy("StructurePng", png.size());
    static const std::vector<std::uint8_t> palette = Encode(FIF_PNG, PNG_DEFAULT, true);
    benchmark::RegisterBenchmark("StructurePalettePng/kernel", Walk, &palette)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("StructurePalettePng/naive", Decode, &palette, FIF_PNG,
                                 PNG_DEFAULT)
        ->Unit(benchmark::kMillisecond);
    RegisterMemcpy("StructurePalettePng", palette.size());
    benchmark::RegisterBenchmark("StructureJpeg/kernel", Walk, &jpeg)
        ->Unit(benchmark::kMillisecond);
    // The decode Vantrel makes of a JPEG: the accurate DCT.
    benchmark::RegisterBenchmark("StructureJpeg/naive", Decode, &jpeg, FIF_JPEG, JPEG_ACCURATE)
        ->Unit(benchmark::kMillisecond);
    RegisterMemcpy("StructureJpeg", jpeg.size());
    static const std::vector<std::uint8_t> camera = WithThumbnail(jpeg);
    benchmark::RegisterBenchmark("StructureJpegThumbnail/kernel", Walk, &camera)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("StructureJpegThumbnail/naive", Decode, &camera, FIF_JPEG,
                                 JPEG_ACCURATE)
        ->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
