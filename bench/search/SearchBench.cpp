// The similar image search over a generated tree: 320 images in six formats and several sizes,
// one in ten of the reference's size (near-copies, a JPEG and a GIF of it, unrelated pictures).
// The kernel reads sizes from headers, decodes only files of the reference's size and compares
// rows with an early stop; the naive version decodes every file and compares pixel by pixel with
// one FreeImage_GetPixelColor a pixel and image. Both must find the same hits.
#include "BenchSupport.h"

#include "image/ImageLoading.h"
#include "search/SimilarSearch.h"

#include <FreeImage.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace vantrel::bench {
namespace {

constexpr int kReferenceWidth = 800;
constexpr int kReferenceHeight = 600;
constexpr int kFiles = 320;
constexpr int kMatchPercent = 85;

using Hits = std::vector<std::pair<std::string, std::string>>;

// A smooth picture (so that encoding stays quick) whose MSB plane depends on the seed.
BitmapHandle Picture(int width, int height, unsigned seed) {
    BitmapHandle bitmap(FreeImage_Allocate(width, height, 24));
    const MutablePixelView view = MutableViewOfBitmap(bitmap.get());
    for (int y = 0; y < height; ++y) {
        std::uint8_t* pixel = view.row(y);
        for (int x = 0; x < width; ++x, pixel += 3) {
            pixel[FI_RGBA_RED] = static_cast<std::uint8_t>(x * 255 / width + seed * 53);
            pixel[FI_RGBA_GREEN] = static_cast<std::uint8_t>(y * 255 / height + seed * 29);
            pixel[FI_RGBA_BLUE] = static_cast<std::uint8_t>((x + y) / 3 + seed * 71);
        }
    }
    return bitmap;
}

// The reference with its low bits scrambled: a near-copy with an identical MSB plane.
BitmapHandle LowBitsChanged(const FIBITMAP* reference, unsigned seed) {
    BitmapHandle copy = CloneBitmap(reference);
    const MutablePixelView view = MutableViewOfBitmap(copy.get());
    std::mt19937 random(seed);
    for (int y = 0; y < view.height; ++y) {
        std::uint8_t* row = view.row(y);
        for (int i = 0; i < view.width * 3; ++i) {
            row[i] = static_cast<std::uint8_t>((row[i] & 0x80) | (random() & 0x7F));
        }
    }
    return copy;
}

void Save(const FIBITMAP* bitmap, const std::string& path) {
    FIBITMAP* image = const_cast<FIBITMAP*>(bitmap);
    const FREE_IMAGE_FORMAT format = FreeImage_GetFIFFromFilename(path.c_str());
    bool saved = false;
    if (format == FIF_GIF) {
        const BitmapHandle palette(FreeImage_ColorQuantize(image, FIQ_WUQUANT));
        saved = FreeImage_Save(format, palette.get(), path.c_str(), 0);
    } else {
        const int flags = format == FIF_PNG    ? PNG_Z_BEST_SPEED
                          : format == FIF_JPEG ? 90
                          : format == FIF_TIFF ? TIFF_NONE
                                               : 0;
        saved = FreeImage_Save(format, image, path.c_str(), flags);
    }
    if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

struct Tree {
    std::filesystem::path root;
    BitmapHandle reference;
    std::string referencePath;
    Hits expected;
    bool identical = false;

    ~Tree() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

Hits KernelSearch(const Tree& tree) {
    Hits hits;
    SearchEvents events;
    events.hit = [&](const std::string& path, const std::string& text) {
        hits.emplace_back(path, text);
    };
    SearchControl control;
    control.matchPercent = [] { return kMatchPercent; };
    SearchTree(
        SearchReference::Of(ShareImage(CloneBitmap(tree.reference.get()), tree.referencePath)),
        tree.root.string(), control, events);
    return hits;
}

// Every file decoded in full; the similarity counted with two single-pixel reads a pixel,
// column by column, with no early stop.
Hits NaiveSearch(const Tree& tree) {
    Hits hits;
    FIBITMAP* reference = tree.reference.get();
    const unsigned width = FreeImage_GetWidth(reference);
    const unsigned height = FreeImage_GetHeight(reference);
    BreadthFirstWalk walk(tree.root.string());
    while (std::optional<WalkStep> step = walk.next()) {
        for (const std::string& name : step->files) {
            const std::string path = JoinPath(step->directory, name);
            if (path == tree.referencePath) {
                continue;
            }
            const Result<BitmapHandle> loaded = LoadImageFile(path);
            if (!loaded || FreeImage_GetWidth(loaded->get()) != width ||
                FreeImage_GetHeight(loaded->get()) != height) {
                continue;
            }
            const BitmapHandle& candidate = *loaded;
            std::uint64_t difference = 0;
            RGBQUAD a{};
            RGBQUAD b{};
            for (unsigned x = 0; x < width; ++x) {
                for (unsigned y = 0; y < height; ++y) {
                    FreeImage_GetPixelColor(reference, x, y, &a);
                    FreeImage_GetPixelColor(candidate.get(), x, y, &b);
                    difference += ((a.rgbRed ^ b.rgbRed) & 0x80) != 0;
                    difference += ((a.rgbGreen ^ b.rgbGreen) & 0x80) != 0;
                    difference += ((a.rgbBlue ^ b.rgbBlue) & 0x80) != 0;
                }
            }
            const double similarity =
                1.0 - static_cast<double>(difference) / (3.0 * width * height);
            if (similarity >= kMatchPercent * 0.01) {
                hits.emplace_back(path, SimilarityText(similarity));
            }
        }
    }
    return hits;
}

std::unique_ptr<Tree> MakeTree() {
    auto made = std::make_unique<Tree>();
    Tree& tree = *made;
    tree.root = std::filesystem::temp_directory_path() /
                ("vantrel-search-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(tree.root);
    std::vector<std::filesystem::path> directories{tree.root};
    for (int d = 0; d < 4; ++d) {
        const auto level1 = tree.root / ("set" + std::to_string(d));
        directories.push_back(level1);
        for (int e = 0; e < 3; ++e) {
            directories.push_back(level1 / ("part" + std::to_string(e)));
        }
    }
    for (const auto& directory : directories) {
        std::filesystem::create_directories(directory);
    }
    tree.reference = Picture(kReferenceWidth, kReferenceHeight, 0);
    tree.referencePath = (tree.root / "reference.png").string();
    Save(tree.reference.get(), tree.referencePath);

    const char* formats[] = {"png", "bmp", "jpg", "tif", "gif", "png"};
    const int sizes[][2] = {{640, 480},   {1024, 768}, {1280, 960}, {1600, 1200}, {800, 601},
                            {1920, 1080}, {600, 800},  {1200, 900}, {960, 720}};
    for (int i = 0; i < kFiles; ++i) {
        const std::string format = formats[i % 6];
        const auto& directory = directories[static_cast<std::size_t>(i) % directories.size()];
        const std::string path =
            (directory / ("image" + std::to_string(i) + "." + format)).string();
        BitmapHandle picture;
        if (i % 10 == 0) {
            // Reference-sized: near-copies in lossless formats and JPEG or GIF copies of the
            // reference, and unrelated pictures.
            const int kind = (i / 10) % 4;
            picture = kind == 3   ? Picture(kReferenceWidth, kReferenceHeight, 7 + i)
                      : kind == 0 ? CloneBitmap(tree.reference.get())
                                  : LowBitsChanged(tree.reference.get(), i);
        } else {
            const auto& size = sizes[static_cast<std::size_t>(i) % std::size(sizes)];
            picture = Picture(size[0], size[1], 1 + i);
        }
        Save(picture.get(), path);
    }
    tree.expected = NaiveSearch(tree);
    tree.identical = KernelSearch(tree) == tree.expected && !tree.expected.empty();
    std::fprintf(stderr, "search tree: %d images, %zu hits at %d %%, kernel %s naive\n", kFiles,
                 tree.expected.size(), kMatchPercent,
                 tree.identical ? "agrees with" : "DIFFERS FROM");
    return made;
}

const Tree& TheTree() {
    static const std::unique_ptr<Tree> tree = MakeTree();
    return *tree;
}

void Run(benchmark::State& state, Hits (*search)(const Tree&)) {
    const Tree& tree = TheTree();
    if (!tree.identical) {
        state.SkipWithError("the kernel's hits differ from the naive search's");
        return;
    }
    for (auto _ : state) {
        const Hits hits = search(tree);
        if (hits != tree.expected) {
            state.SkipWithError("hits changed between runs");
            return;
        }
        benchmark::DoNotOptimize(hits.data());
    }
    state.counters["files"] = kFiles + 1;
    state.counters["hits"] = static_cast<double>(tree.expected.size());
}

const bool registered = [] {
    benchmark::RegisterBenchmark("SimilarSearch/kernel", [](benchmark::State& state) {
        Run(state, KernelSearch);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SimilarSearch/naive",
                                 [](benchmark::State& state) { Run(state, NaiveSearch); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    // The comparison reads the reference and each reference-sized candidate once.
    RegisterMemcpy("SimilarSearch", static_cast<std::size_t>(kFiles / 10) * kReferenceWidth *
                                        kReferenceHeight * 3 * 2);
    return true;
}();

} // namespace
} // namespace vantrel::bench

BENCHMARK_MAIN();
