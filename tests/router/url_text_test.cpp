// Percent coding, template normalisation and operation names.
#include "router/url_text.h"

#include <gtest/gtest.h>

#include <string>

#include "router/request_method.h"

namespace hpk {
namespace {

TEST(PercentDecode, DecodesEscapesPlusAndMalformedSequences) {
    struct Row {
        std::string input;
        std::string expected;
    };
    const Row rows[] = {
        {"a%2Fb+c", "a/b c"},
        {"100%", "100"},
        {"%4", "4"},
        {"%zz", std::string(1, '\x10')},
        {"%1z", std::string(1, '\x10')},
        {"%z1", std::string(1, '\x01')},
        {"%41%62c", "Abc"},
        {"%e2%82%AC", "\xE2\x82\xAC"},
        {"%%41", std::string(1, '\x04') + "1"},
        {"%00x", std::string(1, '\0') + "x"},
        {"", ""},
        {"plain/text", "plain/text"},
        {"x%", "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(PercentDecode(row.input), row.expected);
    }
}

TEST(PercentEncode, EncodesEverythingButUnreservedAndOptionallySlash) {
    struct Row {
        std::string input;
        bool encodeSlash;
        std::string expected;
    };
    const Row rows[] = {
        {"a b/c", true, "a%20b%2Fc"},
        {"a b/c", false, "a%20b/c"},
        {"AZaz09-._~", true, "AZaz09-._~"},
        {"+%?&=#", false, "%2B%25%3F%26%3D%23"},
        {"\xE2\x82\xAC", false, "%E2%82%AC"},
        {std::string(1, '\0'), false, "%00"},
        {"", true, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(PercentEncode(row.input, row.encodeSlash), row.expected);
    }
}

TEST(PercentEncode, DecodingTheEncodingGivesTheBytesBack) {
    std::string all;
    for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(PercentDecode(PercentEncode(all, true)), all);
}

TEST(NormaliseTemplate, DropsOneTrailingSlashExceptFromTheRoot) {
    const std::pair<std::string, std::string> rows[] = {
        {"/", "/"}, {"/a/b/", "/a/b"}, {"/a/b//", "/a/b/"}, {"/a/b", "/a/b"}, {"", ""}, {"a/", "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        EXPECT_EQ(NormaliseTemplate(row.first), row.second);
    }
}

TEST(OperationName, BuildsAnIdentifierFromMethodAndPath) {
    struct Row {
        std::uint32_t method;
        std::string path;
        std::string expected;
    };
    const Row rows[] = {
        {2, "/arx-content-targeting/v1/filters", "GetArxContentTargetingV1Filters"},
        {2, "/arx-content-targeting/v1/locale", "GetArxContentTargetingV1Locale"},
        {2, "/items/{id}", "GetItemsById"},
        {0, "/a-b", "AB"},
        {0, "hpk-be-arx-content-targeting", "HpkBeArxContentTargeting"},
        {0, "/a/{id}_b", "AByIdB"},
        {1, "/x", "DeleteX"},
        {4, "/x!y+z.w", "OptionsXYZW"},
        {8, "/other", "Other"},
        {99, "/other", "Other"},
        {7, "", "Put"},
        {2, "/{+path}", "GetByPath"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(OperationName(row.method, row.path), row.expected);
    }
}

TEST(RequestMethod, NamesAndNormalisation) {
    const char* const names[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", "", ""};
    for (std::uint32_t code = 0; code < 10; ++code) {
        SCOPED_TRACE(code);
        EXPECT_STREQ(MethodName(code), names[code]);
        EXPECT_EQ(static_cast<std::uint32_t>(NormaliseMethod(code)), code <= 8 ? code : 0u);
        EXPECT_EQ(NormalisedMethodCode(static_cast<RequestMethod>(code)), code <= 8 ? code : 0u);
    }
    EXPECT_EQ(NormaliseMethod(0xFFFFFFFFu), RequestMethod::None);
    EXPECT_STREQ(MethodName(RequestMethod::Other), "");
    EXPECT_STREQ(MethodName(0x80000002u), "");
}

}  // namespace
}  // namespace hpk
