#include "diagnostics/positional_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace hpk {
namespace {

struct Row {
    const char* format;
    std::vector<FormatArgument> args;
    const char* expected;
};

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        EXPECT_EQ(FormatPositionalArgs(row.format, row.args.data(), row.args.size()), row.expected);
    }
}

TEST(PositionalFormat, ShortFormUsesTheDefaultConversion) {
    RunRows({
        {"Unknown argument '%1' for '%2'.", {"x", "F"}, "Unknown argument 'x' for 'F'."},
        {"%2 %1", {"a", "b"}, "b a"},
        {"%1", {-42}, "-42"},
        {"%1", {4000000000u}, "4000000000"},
        {"%1", {-9000000000LL}, "-9000000000"},
        {"%1", {18446744073709551615ULL}, "18446744073709551615"},
        {"%1", {2.5}, "2.5"},
        {"%1", {'q'}, "q"},
        {"%1", {std::string("text")}, "text"},
        {"%1", {std::string_view("viewed text").substr(0, 6)}, "viewed"},
        {"%1", {static_cast<const char*>(nullptr)}, "(null)"},
        {"%2d", {1, 2}, "2d"},
        {"%1%1%1", {7}, "777"},
        {"100%%", {}, "100%"},
        {"no directives", {}, "no directives"},
    });
}

TEST(PositionalFormat, LongFormChecksTheConversionAgainstTheType) {
    RunRows({
        {"%1$05d", {42}, "00042"},
        {"%1$s", {42}, "42"},
        {"%1$x", {255}, "ff"},
        {"%1$s", {2.5}, "2.5"},
        {"%1$.3f", {2.5}, "2.500"},
        {"%1$d", {"text"}, "text"},
        {"%1$-6s|", {"ab"}, "ab    |"},
        {"%1$.2s", {std::string_view("abcdef")}, "ab"},
        {"%2$s-%1$s", {"a", "b"}, "b-a"},
        {"%1$c", {65}, "A"},
        {"%1$d", {'A'}, "65"},
        {"%1$X", {std::uint64_t{0xABCDEF0123ULL}}, "ABCDEF0123"},
        {"%1$5", {7}, "    7"},
    });
}

TEST(PositionalFormat, LengthModifierFollowsTheArgument) {
    RunRows({
        {"%1$lld", {5}, "5"},
        {"%1$d", {-9000000000LL}, "-9000000000"},
        {"%1$hhd", {300}, "44"},
        {"%1$hu", {70000u}, "4464"},
        {"%1$ls", {"wide?"}, "wide?"},
        {"%1$Lf", {1.5}, "1.500000"},
        {"%1$lc", {'z'}, "z"},
        {"%1$016llX", {"already hex"}, "     already hex"},
    });
}

TEST(PositionalFormat, SequentialSpecsAndStars) {
    RunRows({
        {"%d %d", {1, 2}, "1 2"},
        {"%s=%d", {"k", 3}, "k=3"},
        {"%*d|", {5, 42}, "   42|"},
        {"%-*d|", {4, 7}, "7   |"},
        {"%*d|", {-4, 7}, "7   |"},
        {"%.*f", {2, 3.14159}, "3.14"},
        {"%.*f", {-1, 0.5}, "0.500000"},
        {"%*2$d|", {9, 3}, "  9|"},
        {"%1 %d", {8}, "8 8"},
        {"%5d|", {3}, "    3|"},
        {"%10s|", {"ab"}, "        ab|"},
        {"%s and %s", {"a", "b"}, "a and b"},
        {"%+d % d %#x %#o", {5, 5, 255, 8}, "+5  5 0xff 010"},
        {"%lu", {4000000000u}, "4000000000"},
        {"%zu", {std::size_t{12}}, "12"},
        {"end %", {"x"}, "end x"},
        {"%q", {2.0}, "2"},
    });
}

TEST(PositionalFormat, StopsAtAnArgumentThatDoesNotExist) {
    RunRows({
        // A positional index with no argument stops the formatting.
        {"a %2$s b", {"x"}, "a "},
        {"a %4$d b", {1, 2, 3}, "a "},
        {"%d %d %d", {1, 2}, "1 2 "},
        {"before %s after", {}, "before "},
        {"%1 after", {}, ""},
        // A short "%N" above the count is a width of the next argument (as in "%2d").
        {"'%1' for '%2'", {"x"}, "'x' for ' x"},
        // A "*" must name an argument that can serve as an integer.
        {"a %*d b", {"wide", 1}, "a "},
        {"a %*9$d b", {1}, "a "},
        {"a %1$*2$d b", {1, 2.0}, "a "},
        {"a %*d b", {4000000000LL, 1}, "a "},
    });
}

TEST(PositionalFormat, StopsAtASpecLongerThan59Characters) {
    const std::string fits = "%" + std::string(57, '-') + "d|";     // 59 characters
    const std::string tooLong = "%" + std::string(58, '-') + "d|";  // 60 characters
    const FormatArgument args[] = {5};
    EXPECT_EQ(FormatPositionalArgs("x" + fits, args, 1), "x5|");
    EXPECT_EQ(FormatPositionalArgs("x" + tooLong, args, 1), "x");
}

TEST(PositionalFormat, CapsHugeFieldsInsteadOfPaddingForever) {
    const FormatArgument args[] = {1};
    const std::string padded = FormatPositionalArgs("%999999999d", args, 1);
    EXPECT_EQ(padded, std::string(4095, ' '));
    const FormatArgument star[] = {2000000000, 1};
    EXPECT_EQ(FormatPositionalArgs("%-*d|", star, 2), "1" + std::string(4094, ' '));
}

TEST(PositionalFormat, CutsMessagesAt4095Characters) {
    const std::string longText(5000, 'y');
    EXPECT_EQ(FormatPositional("%1", longText), std::string(4095, 'y'));
    EXPECT_EQ(FormatPositional(std::string(5000, 'z') + "%1", 1), std::string(4095, 'z'));
    EXPECT_EQ(FormatPositional(std::string(4094, 'z') + "%1", 123), std::string(4094, 'z') + "1");
    EXPECT_EQ(FormatPositional(std::string(4094, 'z') + "%%", 1), std::string(4094, 'z') + "%");
}

TEST(PositionalFormat, SmallBuffersStayTerminated) {
    const FormatArgument args[] = {"abcdef", 12345};
    struct Case {
        std::size_t size;
        std::size_t length;
        const char* text;
    };
    const Case cases[] = {{1, 0, ""}, {2, 1, "<"}, {4, 3, "<ab"}, {9, 8, "<abcdef|"}, {11, 10, "<abcdef|12"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(FormatPositionalTo(buffer, c.size, "<%1|%2>", args, 2), c.length);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(buffer[c.size], '#');
    }
    char untouched = '#';
    EXPECT_EQ(FormatPositionalTo(&untouched, 0, "abc", args, 2), 0u);
    EXPECT_EQ(untouched, '#');
}

TEST(PositionalFormat, TemplateHelperTakesMixedArguments) {
    const std::string plugin = "hpk-be-arx-content-targeting";
    EXPECT_EQ(FormatPositional("%1 which supports plugin API %2 is not compatible with core's plugin API %3", plugin,
                               "17.0.0", std::string("18.0.0")),
              "hpk-be-arx-content-targeting which supports plugin API 17.0.0 is not compatible with core's "
              "plugin API 18.0.0");
    const std::uint64_t big = 5000000000ULL;
    const short small = -3;
    EXPECT_EQ(FormatPositional("%1 %2 %3", big, small, true), "5000000000 -3 1");
    EXPECT_EQ(FormatPositional("%1%2/", 'G', "et"), "Get/");
}

}  // namespace
}  // namespace hpk
