#include "image/Json.h"
#include "image/DetectorState.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace vantrel {
namespace {

// Every value kind in one object, in the layout the commands print, nested through raw; a
// literal must land as a string, not as the bool it would otherwise convert to.
TEST(JsonObject, WritesEveryKindInOrder) {
    JsonObject inner;
    inner.add("n", std::uint64_t{18446744073709551615u}).add("m", -3);
    JsonObject object;
    object.add("file", "a\"b\\c\n")
        .add("x", 0.1)
        .add("nan", std::numeric_limits<double>::quiet_NaN())
        .add("flag", false)
        .null("none")
        .raw("inner", inner.str())
        .raw("list", JsonStringArray({"p", "q"}));
    EXPECT_EQ(object.str(), R"({"file": "a\"b\\c\u000a", "x": 0.1, "nan": 0, "flag": false, )"
                            R"("none": null, "inner": {"n": 18446744073709551615, "m": -3}, )"
                            R"("list": ["p", "q"]})");
    EXPECT_EQ(JsonObject().str(), "{}");
    EXPECT_EQ(JsonArray({}), "[]");
}

TEST(DetectorState, ReasonOnlyWhenNotOk) {
    struct Row {
        DetectorState state;
        const char* json;
        const char* line;
    };
    for (const Row& row :
         {Row{DetectorState::Ok(), R"({"state": "ok"})", ""},
          Row{DetectorState::NotApplicable("flat"),
              R"({"state": "not_applicable", "reason": "flat"})", "not applicable: flat"},
          Row{DetectorState::Failed("cut"), R"({"state": "failed", "reason": "cut"})",
              "failed: cut"}}) {
        JsonObject object;
        EXPECT_EQ(AddState(object, row.state).str(), row.json);
        EXPECT_EQ(StateLine(row.state), row.line);
    }
}

} // namespace
} // namespace vantrel
