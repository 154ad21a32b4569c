#include "fileinfo/ImageComment.h"
#include "TestData.h"
#include "image/ImageLoading.h"

#include <FreeImage.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

namespace vantrel {
namespace {

using testing::AddTag;

BitmapHandle SmallBitmap() {
    return BitmapHandle(FreeImage_Allocate(4, 3, 24));
}

struct CommentCase {
    const char* name;
    const char* key;
    FREE_IMAGE_MDTYPE type;
    std::string bytes;
    std::string expected;
};

TEST(ImageComment, TagsOfTheCommentsModel) {
    using namespace std::string_literals;
    const CommentCase cases[] = {
        {"plain", "Comment", FIDT_ASCII, "hidden note"s, "hidden note"},
        {"counted NUL", "Comment", FIDT_ASCII, "note\0"s, "note"},
        {"cut at NUL", "Comment", FIDT_ASCII, "ab\0cd"s, "ab"},
        {"NUL first", "Comment", FIDT_ASCII, "\0cd"s, ""},
        {"Latin-1", "Comment", FIDT_ASCII, "caf\xE9 \xFF"s, "caf\xC3\xA9 \xC3\xBF"},
        {"bytes", "Comment", FIDT_UNDEFINED, "raw text"s, "raw text"},
        {"another key", "Title", FIDT_ASCII, "not it"s, ""},
        {"lowercase key", "comment", FIDT_ASCII, "not it"s, ""},
    };
    for (const CommentCase& c : cases) {
        const BitmapHandle bitmap = SmallBitmap();
        AddTag(bitmap.get(), c.key, c.bytes, c.type);
        EXPECT_EQ(GetImageComment(bitmap.get()), c.expected) << c.name;
    }
}

TEST(ImageComment, AbsentComments) {
    EXPECT_EQ(GetImageComment(nullptr), "");
    EXPECT_EQ(GetImageComment(SmallBitmap().get()), "");
}

// The comment travels through a file and the loader's conversion to a standard bitmap.
TEST(ImageComment, CommentsSurviveSavingAndLoading) {
    char folder[] = "/tmp/vantrel-comment-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::pair<FREE_IMAGE_FORMAT, std::string> formats[] = {
        {FIF_PNG, "/c.png"}, {FIF_JPEG, "/c.jpg"}, {FIF_BMP, "/c.bmp"}};
    for (const auto& [format, name] : formats) {
        const std::string path = folder + name;
        const BitmapHandle bitmap = SmallBitmap();
        AddTag(bitmap.get(), "Comment", "kept");
        ASSERT_TRUE(FreeImage_Save(format, bitmap.get(), path.c_str(), 0)) << name;
        const BitmapHandle loaded = testing::Loaded(path);
        ASSERT_TRUE(loaded) << name;
        // BMP has no place for a comment.
        EXPECT_EQ(GetImageComment(loaded.get()), format == FIF_BMP ? "" : "kept") << name;
        unlink(path.c_str());
    }
    rmdir(folder);
}

} // namespace
} // namespace vantrel
