#include "search/SearchFixtures.h"

#include "files/DirectoryWalk.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {
namespace {

using testing::TempTree;

TEST(JoinPath, NeverDoublesTheSeparator) {
    EXPECT_EQ(JoinPath("/", "a.png"), "/a.png");
    EXPECT_EQ(JoinPath("/img", "a.png"), "/img/a.png");
    EXPECT_EQ(JoinPath("/img/", "a.png"), "/img/a.png");
    EXPECT_EQ(JoinPath("", "a.png"), "/a.png");
    EXPECT_EQ(JoinPath("rel", "a.png"), "rel/a.png");
}

TEST(NormalPath, DropsRepeatedAndTrailingSeparators) {
    EXPECT_EQ(NormalPath("/"), "/");
    EXPECT_EQ(NormalPath("//"), "/");
    EXPECT_EQ(NormalPath("/img/"), "/img");
    EXPECT_EQ(NormalPath("/img//a/./b/"), "/img/a/b");
    EXPECT_EQ(NormalPath("/img/../b"), "/img/../b");
    EXPECT_EQ(NormalPath("rel/x/"), "rel/x");
    EXPECT_EQ(NormalPath(""), ".");
}

TEST(MatchesFilePattern, TheImageExtensionsInEitherCase) {
    for (const char* name : {"a.png", "a.PNG", "b.bmp", "c.jpg", "d.JPG", "e.jp2", "f.jxr", "g.j2k",
                             "h.tif", "i.gif", "j.psd", "k.nef", "K.NEF", "x.y.png"}) {
        EXPECT_TRUE(MatchesFilePattern(name)) << name;
    }
    for (const char* name : {"a.Png", "a.jpeg", "a.tiff", "a.webp", "png", "a.png.txt", "a.txt",
                             ".png", ".hidden.png"}) {
        EXPECT_FALSE(MatchesFilePattern(name)) << name;
    }
}

// FreeImage's readers claim these extensions (FreeImage_GetFIFExtensionList), in any case.
TEST(DecoderKnowsName, EveryExtensionAReaderClaims) {
    for (const char* name : {"a.png", "b.JPEG", "c.webp", "d.TIFF", "e.ppm", "f.pgm", "g.j2c",
                             "h.Nef", "x.y.jpg", "i.tga"}) {
        EXPECT_TRUE(DecoderKnowsName(name)) << name;
    }
    for (const char* name : {"a.txt", "png", "jpeg", "a.png.txt", "a.", "a.g3"}) {
        EXPECT_FALSE(DecoderKnowsName(name)) << name;
    }
}

// start holds A and B, A holds A1; the names are made in an order unlike the sorted one.
class WalkTree : public ::testing::Test {
protected:
    void SetUp() override {
        tree.directory("B");
        tree.directory("A/A1");
        tree.write("z.png", "");
        tree.write("a.png", "");
        tree.write("notes.txt", "");
        tree.write(".hidden.png", "");
        tree.write("A/x.jpg", "");
        tree.write("A/A1/y.gif", "");
        tree.write("B/b.bmp", "");
        tree.directory(".cache");
        tree.write(".cache/c.png", "");
    }

    std::vector<WalkStep> walkAll(const std::string& start) {
        std::vector<WalkStep> steps;
        BreadthFirstWalk walk(start,
                              [this](const std::string& message) { problems.push_back(message); });
        while (std::optional<WalkStep> step = walk.next()) {
            steps.push_back(*step);
        }
        return steps;
    }

    std::vector<std::string> directories(const std::vector<WalkStep>& steps) const {
        std::vector<std::string> names;
        for (const WalkStep& step : steps) {
            names.push_back(std::filesystem::relative(step.directory, tree.root()).string());
        }
        return names;
    }

    TempTree tree;
    std::vector<std::string> problems;
};

TEST_F(WalkTree, BreadthFirstWithSortedImageFiles) {
    const std::vector<WalkStep> steps = walkAll(tree.path());
    EXPECT_EQ(directories(steps), (std::vector<std::string>{".", "A", "B", "A/A1"}));
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].directory, tree.path());
    EXPECT_EQ(steps[0].files, (std::vector<std::string>{"a.png", "z.png"}));
    EXPECT_EQ(steps[1].files, (std::vector<std::string>{"x.jpg"}));
    EXPECT_EQ(steps[3].directory, tree.path() + "/A/A1");
    EXPECT_TRUE(problems.empty());
}

TEST_F(WalkTree, AStartWithATrailingSeparatorGivesTheSamePaths) {
    const std::vector<WalkStep> steps = walkAll(tree.path() + "/");
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].directory, tree.path());
    EXPECT_EQ(steps[1].directory, tree.path() + "/A");
}

TEST_F(WalkTree, LinksToAncestorsAreEnteredOnce) {
    std::filesystem::create_directory_symlink(tree.path(), tree.path("A/A1/up"));
    std::filesystem::create_directory_symlink(tree.path("A"), tree.path("B/toA"));
    std::filesystem::create_directory_symlink(tree.path("A/A1"), tree.path("A/self"));
    const std::vector<WalkStep> steps = walkAll(tree.path());
    EXPECT_EQ(directories(steps), (std::vector<std::string>{".", "A", "B", "A/A1"}));
}

TEST_F(WalkTree, ADirectoryThatVanishesIsReportedAndPassedOver) {
    BreadthFirstWalk walk(tree.path(), [this](const std::string& m) { problems.push_back(m); });
    ASSERT_TRUE(walk.next()); // start: A and B are queued
    EXPECT_EQ(walk.directoriesLeft(), 2u);
    ASSERT_TRUE(walk.next()); // A: A1 is queued
    std::filesystem::remove_all(tree.path("B"));
    const std::optional<WalkStep> next = walk.next();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->directory, tree.path("A/A1"));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(tree.path("B")), std::string::npos) << problems[0];
    EXPECT_FALSE(walk.next());
}

TEST_F(WalkTree, AnUnreadableDirectoryIsReportedAndPassedOver) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "permissions do not keep the superuser out";
    }
    std::filesystem::permissions(tree.path("A"), std::filesystem::perms::none);
    const std::vector<WalkStep> steps = walkAll(tree.path());
    EXPECT_EQ(directories(steps), (std::vector<std::string>{".", "B"}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(tree.path("A")), std::string::npos);
}

TEST_F(WalkTree, AStartThatCannotBeReadEndsTheWalkWithAProblem) {
    EXPECT_TRUE(walkAll(tree.path("missing")).empty());
    EXPECT_EQ(problems.size(), 1u);
}

TEST_F(WalkTree, OnlyRegularFilesAreListed) {
    // A pipe with an image name would block the first read of it for ever.
    ASSERT_EQ(mkfifo(tree.path("pipe.png").c_str(), 0600), 0);
    std::filesystem::create_symlink(tree.path("a.png"), tree.path("link.png"));
    std::filesystem::create_symlink(tree.path("gone.png"), tree.path("broken.png"));
    const DirectoryListing listing = ListDirectory(tree.path());
    ASSERT_TRUE(listing.readable);
    EXPECT_EQ(listing.files, (std::vector<std::string>{"a.png", "link.png", "z.png"}));
    ASSERT_EQ(listing.directories.size(), 2u);
    EXPECT_EQ(listing.directories[0].first, "A");
}

} // namespace
} // namespace vantrel
