#include "diagnostics/text_util.h"

#include <gtest/gtest.h>

namespace hpk {
namespace {

TEST(TextUtil, SplitKeepsEmptyPieces) {
    struct Row {
        const char* text;
        const char* delimiter;
        std::vector<std::string> pieces;
    };
    const Row rows[] = {
        {"a&&b", "&", {"a", "", "b"}}, {"a&", "&", {"a", ""}},
        {"&a", "&", {"", "a"}},        {"", "&", {""}},
        {"abc", "&", {"abc"}},         {"a::b::", "::", {"a", "b", ""}},
        {"a:::b", "::", {"a", ":b"}},  {"abc", "", {"abc"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Split(row.text, row.delimiter), row.pieces);
    }
}

TEST(TextUtil, JoinTakesARangeOfPieces) {
    const std::vector<std::string> pieces = {"a", "b", "c", "d"};
    struct Row {
        std::size_t first;
        std::size_t count;
        const char* joined;
    };
    const Row rows[] = {
        {0, 4, "a/b/c/d"}, {1, 2, "b/c"}, {2, 100, "c/d"}, {3, 1, "d"},
        {4, 1, ""},        {9, 1, ""},    {0, 0, ""},      {1, static_cast<std::size_t>(-1), "b/c/d"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.first << "," << row.count);
        EXPECT_EQ(Join(pieces, "/", row.first, row.count), row.joined);
    }
    EXPECT_EQ(Join({}, "/", 0, 3), "");
}

TEST(TextUtil, ReplaceAllIsNonOverlappingAndNeverRescans) {
    struct Row {
        const char* text;
        const char* pattern;
        const char* replacement;
        const char* result;
    };
    const Row rows[] = {
        {"a.b.c", ".", "::", "a::b::c"}, {"aaa", "aa", "b", "ba"},     {"aa", "a", "aa", "aaaa"},
        {"abc", "", "x", "abc"},         {"", "a", "x", ""},           {"abab", "ab", "ab", "abab"},
        {"xyz", "q", "r", "xyz"},        {"%20%20", "%20", " ", "  "}, {"abc", "abc", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ReplaceAll(row.text, row.pattern, row.replacement), row.result);
    }
}

TEST(TextUtil, ToLowerAsciiTouchesOnlyAsciiLetters) {
    EXPECT_EQ(ToLowerAscii("GetArx-V1_Z@[`"), "getarx-v1_z@[`");
    EXPECT_EQ(ToLowerAscii("\xC3\x89T\xC3\x89"), "\xC3\x89t\xC3\x89");
    EXPECT_EQ(ToLowerAscii(""), "");
}

TEST(TextUtil, Base64EncodesWithPadding) {
    struct Row {
        std::string input;
        const char* encoded;
    };
    const Row rows[] = {
        {"", ""},
        {"a", "YQ=="},
        {"ab", "YWI="},
        {"abc", "YWJj"},
        {"abcd", "YWJjZA=="},
        {std::string("\xFB\xFF\x00", 3), "+/8A"},
        {"any carnal pleasure.", "YW55IGNhcm5hbCBwbGVhc3VyZS4="},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.encoded);
        EXPECT_EQ(Base64Encode(reinterpret_cast<const std::uint8_t*>(row.input.data()), row.input.size()), row.encoded);
    }
    EXPECT_EQ(Base64Encode(nullptr, 0), "");
}

}  // namespace
}  // namespace hpk
