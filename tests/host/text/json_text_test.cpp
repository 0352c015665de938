// Laying out JSON text for the host's documents.
#include <gtest/gtest.h>

#include "text/json_text.h"

namespace hpk::host {
namespace {

TEST(JsonText, IndentsMembersAndElementsAndKeepsStringsAndEmptyContainers) {
    struct Row {
        const char* compact;
        const char* pretty;
    };
    const Row rows[] = {
        {"5", "5"},
        {"{}", "{}"},
        {"[]", "[]"},
        {R"({"a":1})", "{\n  \"a\": 1\n}"},
        {R"({"a":[1,{}],"b":[]})", "{\n  \"a\": [\n    1,\n    {}\n  ],\n  \"b\": []\n}"},
        {R"(["x,{y}:[\"z\"]"])", "[\n  \"x,{y}:[\\\"z\\\"]\"\n]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.compact);
        EXPECT_EQ(IndentJson(row.compact), row.pretty);
    }
}

TEST(JsonText, PrettyLayoutOfAValueMatchesItsCompactText) {
    BindingValue value;
    value.Member("filters").Append().SetString("filter_level_42");
    value.Member("locale").SetString("pl_PL");
    EXPECT_EQ(JsonText(value, JsonLayout::Compact), R"({"filters":["filter_level_42"],"locale":"pl_PL"})");
    EXPECT_EQ(JsonText(value, JsonLayout::Pretty),
              "{\n  \"filters\": [\n    \"filter_level_42\"\n  ],\n  \"locale\": \"pl_PL\"\n}");
}

}  // namespace
}  // namespace hpk::host
