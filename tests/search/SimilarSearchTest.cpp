#include "SearchFixtures.h"

#include "TestData.h"
#include "search/SimilarSearch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>

namespace vantrel {
namespace {

using testing::MakeBitmap;
using testing::MakePaletteBitmap;
using testing::Pattern;
using testing::Rgb;
using testing::SaveImage;
using testing::TempTree;

constexpr int kWidth = 16;
constexpr int kHeight = 12;

Rgb Reference(int x, int y) {
    return Pattern(x, y, 1);
}

Rgb Flipped(int x, int y, std::uint8_t bits) {
    return testing::Flip(Reference(x, y), bits);
}

void Save(const std::string& path, int width, int height,
          const std::function<Rgb(int, int)>& colours) {
    SaveImage(MakeBitmap(width, height, 24, colours).get(), path);
}

using Hits = std::vector<std::pair<std::string, std::string>>;

// ref.png at the top; hits and misses of every kind below it.
class SearchTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.directory("A/A1");
        tree.directory("B");
        Save(tree.path("ref.png"), kWidth, kHeight, Reference);
        Save(tree.path("low.tif"), kWidth, kHeight,
             [](int x, int y) { return Flipped(x, y, 0x7F); });
        Save(tree.path("A/inverted.bmp"), kWidth, kHeight,
             [](int x, int y) { return Flipped(x, y, 0x80); });
        Save(tree.path("A/quarter.png"), kWidth, kHeight,
             [](int x, int y) { return Flipped(x, y, x < kWidth / 4 ? 0x80 : 0); });
        Save(tree.path("B/small.png"), kWidth / 2, kHeight / 2, Reference);
        Save(tree.path("B/tall.png"), kWidth, kHeight + 1, Reference);
        tree.write("B/bad.png", "not an image at all");
        std::filesystem::copy_file(tree.path("ref.png"), tree.path("A/A1/copy.png"));
        Save(tree.path("A/A1/half.png"), kWidth, kHeight,
             [](int x, int y) { return Flipped(x, y, y >= kHeight / 2 ? 0x80 : 0); });
        ASSERT_FALSE(ReferenceAt(tree.path("ref.png")).image->empty());
    }

    // The image at the path, which the search skips.
    static SearchReference ReferenceAt(const std::string& path) {
        return SearchReference::Of(ShareImage(testing::Loaded(path), path));
    }

    Hits search(int threshold, const std::string& start, const std::string& referencePath,
                SearchEvents events = {}, SearchControl control = {}) {
        Hits hits;
        events.hit = [&](const std::string& path, const std::string& text) {
            hits.emplace_back(std::filesystem::relative(path, tree.root()).string(), text);
        };
        events.problem = [&](const std::string& message) { problems.push_back(message); };
        control.matchPercent = [threshold] { return threshold; };
        summary = SearchTree(ReferenceAt(referencePath), start, control, events);
        return hits;
    }

    Hits search(int threshold) { return search(threshold, tree.path(), tree.path("ref.png")); }

    TempTree tree;
    std::vector<std::string> problems;
    SearchSummary summary;
};

// Equality with the threshold is a match.
TEST_F(SearchTreeTest, HitsInWalkOrderAtOrAboveTheThreshold) {
    const Hits same{{"low.tif", "100.00%"}, {"A/A1/copy.png", "100.00%"}};
    const Hits quarter{{"low.tif", "100.00%"}, {"A/quarter.png", "75.00%"}, same[1]};
    const Hits all{
        same[0], {"A/inverted.bmp", "0.00%"}, quarter[1], same[1], {"A/A1/half.png", "50.00%"}};
    for (const auto& [threshold, hits] : std::vector<std::pair<int, Hits>>{
             {85, same}, {0, all}, {75, quarter}, {76, same}, {100, same}}) {
        EXPECT_EQ(search(threshold), hits) << threshold;
        EXPECT_EQ(summary.filesTested, 9u);
        EXPECT_EQ(summary.hits, hits.size());
        EXPECT_FALSE(summary.stopped);
    }
}

// Undecodable files are reported, one line each, and the walk goes on.
TEST_F(SearchTreeTest, EachProblemIsOneLine) {
    // The JPEG 2000 decoder ends its messages with a line break.
    for (const char* name : {"pattern.jp2", "pattern.j2k"}) {
        std::ifstream whole(std::string(VANTREL_TEST_DATA) + "/" + name, std::ios::binary);
        std::string head(20, '\0');
        whole.read(head.data(), static_cast<std::streamsize>(head.size()));
        tree.write(std::string("B/cut-") + name, head);
    }
    EXPECT_EQ(search(85).size(), 2u);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(summary.problems, 3u);
    EXPECT_NE(problems[0].find("B/bad.png"), std::string::npos) << problems[0];
    for (const std::string& problem : problems) {
        EXPECT_EQ(problem.find_first_of("\r\n"), std::string::npos) << problem;
        EXPECT_NE(problem.back(), ' ') << problem;
    }
}

// Memory refused for one huge candidate costs that file only.
TEST_F(SearchTreeTest, ACandidateThatThrowsIsThatFilesProblemAndTheWalkGoesOn) {
    SearchControl control;
    control.testCandidate = [](const SearchReference& reference, const std::string& path,
                               int percent) {
        if (path.ends_with("/copy.png")) {
            throw std::bad_alloc();
        }
        return TestCandidateFile(reference, path, percent);
    };
    const Hits hits = search(85, tree.path(), tree.path("ref.png"), {}, control);
    EXPECT_EQ(hits, (Hits{{"low.tif", "100.00%"}}));
    EXPECT_EQ(summary.filesTested, 9u);
    EXPECT_EQ(problems.size(), 2u); // bad.png and copy.png
    EXPECT_NE(std::find(problems.begin(), problems.end(),
                        tree.path("A/A1/copy.png") + ": std::bad_alloc"),
              problems.end());
}

TEST_F(SearchTreeTest, AFileThatVanishesIsReportedAndTheWalkGoesOn) {
    SearchEvents events;
    events.testing = [&](const std::string& path, std::size_t) {
        if (path.ends_with("/inverted.bmp")) {
            std::filesystem::remove(path);
        }
    };
    const Hits hits = search(0, tree.path(), tree.path("ref.png"), events);
    EXPECT_EQ(hits.size(), 4u);
    EXPECT_EQ(problems.size(), 2u); // the vanished file and bad.png
}

// The reference file is skipped whichever way the walk's paths are spelled; a copy is not.
TEST_F(SearchTreeTest, TheReferenceIsSkippedUnderAnySpellingOfItsPath) {
    const Hits expected{{"low.tif", "100.00%"}, {"A/A1/copy.png", "100.00%"}};
    EXPECT_EQ(search(85, tree.path() + "/", tree.path("ref.png")), expected);
    EXPECT_EQ(search(85, tree.path() + "//", tree.path("ref.png")), expected);
    EXPECT_EQ(search(85, tree.path(), tree.path() + "//ref.png"), expected);
}

TEST_F(SearchTreeTest, TheReferenceReachedThroughALinkIsSkipped) {
    // "0link" sorts before "A": the walk meets A/A1 through the link first.
    std::filesystem::create_directory_symlink(tree.path("A/A1"), tree.path("0link"));
    const Hits hits = search(85, tree.path(), tree.path("A/A1/copy.png"));
    EXPECT_EQ(hits, (Hits{{"low.tif", "100.00%"}, {"ref.png", "100.00%"}}));
}

TEST_F(SearchTreeTest, StopEndsTheWalkAfterTheFileBeingTestedAndKeepsTheHits) {
    SearchEvents events;
    SearchControl control;
    int tested = 0;
    events.testing = [&](const std::string&, std::size_t) { ++tested; };
    control.stopRequested = [&] { return tested >= 3; };
    const Hits hits = search(0, tree.path(), tree.path("ref.png"), events, control);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.filesTested, 3u);
    // low.tif, ref.png (the reference, skipped) and A/inverted.bmp.
    EXPECT_EQ(hits, (Hits{{"low.tif", "100.00%"}, {"A/inverted.bmp", "0.00%"}}));
}

TEST_F(SearchTreeTest, DirectoriesAreReportedWithTheirFilesInWalkOrder) {
    SearchEvents events;
    std::vector<std::string> reached;
    events.directoryReached = [&](const WalkStep& step, std::size_t) {
        reached.push_back(std::filesystem::relative(step.directory, tree.root()).string() + ":" +
                          std::to_string(step.files.size()));
    };
    search(85, tree.path(), tree.path("ref.png"), events);
    EXPECT_EQ(reached, (std::vector<std::string>{".:2", "A:2", "B:3", "A/A1:2"}));
}

TEST_F(SearchTreeTest, CandidateSizeComesFromTheHeaderWithoutDecoding) {
    SaveImage(MakeBitmap(100, 80, 24, Reference).get(), tree.path("big.bmp"));
    // Only the header is left: a decoder would fail on it, the header still tells the size.
    std::filesystem::resize_file(tree.path("big.bmp"), 60);
    const SearchReference reference = ReferenceAt(tree.path("ref.png"));
    // Same width, other height: never compared either.
    for (const char* name : {"big.bmp", "B/tall.png"}) {
        const Result<CandidateResult> result = TestCandidateFile(reference, tree.path(name), 0);
        ASSERT_TRUE(result) << result.error();
        EXPECT_EQ(result->verdict, CandidateVerdict::SizeDiffers) << name;
        EXPECT_EQ(result->similarityText, "") << name;
    }
}

TEST_F(SearchTreeTest, TheReferenceIsNotLoaded) {
    tree.write("ref.png", "garbage that would fail to decode");
    const Result<CandidateResult> result =
        TestCandidateFile(ReferenceAt(tree.path("ref.png")), tree.path("ref.png"), 0);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->verdict, CandidateVerdict::Reference);
}

// Palette images are compared by their colours, not as if every pixel were zero.
TEST(TestCandidateFile, TwoDifferentPaletteImagesAreNotAlike) {
    TempTree tree;
    std::vector<Rgb> dark;
    std::vector<Rgb> mixed;
    for (std::uint8_t i = 0; i < 8; ++i) {
        dark.push_back({static_cast<std::uint8_t>(10 * i), static_cast<std::uint8_t>(5 * i), 3});
        mixed.push_back(i < 4 ? dark.back() : Rgb{200, 201, 202});
    }
    const std::vector<std::uint8_t> indices{0, 1, 2, 3, 4, 5, 6, 7};
    SaveImage(MakePaletteBitmap(4, 2, dark, indices).get(), tree.path("dark.gif"));
    SaveImage(MakePaletteBitmap(4, 2, mixed, indices).get(), tree.path("mixed.gif"));
    const SharedImage reference =
        ShareImage(testing::Loaded(tree.path("dark.gif")), tree.path("dark.gif"));
    ASSERT_FALSE(reference->empty());
    const Result<CandidateResult> result =
        TestCandidateFile(SearchReference::Of(reference), tree.path("mixed.gif"), 0);
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->verdict, CandidateVerdict::Match);
    EXPECT_EQ(result->similarityText, "50.00%");
}

} // namespace
} // namespace vantrel
