// Template compilation, single-route matching and the list tie-break.
#include "router/route.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hpk {
namespace {

TEST(RouteTemplate, CompilesToPatternAndParameters) {
    struct Row {
        std::string templateText;
        std::string pattern;
        std::vector<std::pair<RouteParameterKind, std::string>> parameters;
    };
    const Row rows[] = {
        {"/a/{id}/b", "/a/([^/]*)/b", {{RouteParameterKind::Segment, "id"}}},
        {"/files/{+path}", "/files/(.*)", {{RouteParameterKind::Tail, "path"}}},
        {"/doc{#frag}", "/doc#(.*)", {{RouteParameterKind::Fragment, "frag"}}},
        {"/v1.0/x", "/v1\\.0/x", {}},
        {"{a+b}", "([^/]*)", {{RouteParameterKind::Segment, "a+b"}}},
        {"{+a#b}", "(.*)", {{RouteParameterKind::Tail, "a#b"}}},
        {"^$.*+?()[]|\\", "\\^\\$\\.\\*\\+\\?\\(\\)\\[\\]\\|\\\\", {}},
        {"/x_y-z/{a}{b}",
         "/x_y-z/([^/]*)([^/]*)",
         {{RouteParameterKind::Segment, "a"}, {RouteParameterKind::Segment, "b"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.templateText);
        std::vector<RouteParameter> parameters;
        EXPECT_EQ(TemplateToPattern(row.templateText, parameters), row.pattern);
        ASSERT_EQ(parameters.size(), row.parameters.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            EXPECT_EQ(parameters[i].kind, row.parameters[i].first);
            EXPECT_EQ(parameters[i].name, row.parameters[i].second);
        }
    }
}

TEST(RouteTemplate, MalformedTemplatesAreNamed) {
    const std::pair<std::string, std::string> rows[] = {
        {"/a/{id}/b", ""},
        {"/a/{+p}", ""},
        {"/a", ""},
        {"/a/{id", "an unclosed '{'"},
        {"/a/}", "a '}' without '{' at offset 3"},
        {"/a/{}", "a parameter without a name at offset 4"},
        {"/a/{+}", "a parameter without a name at offset 5"},
        {"/a/{x{y}}", "a '{' inside a parameter at offset 5"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        EXPECT_EQ(TemplateError(row.first), row.second);
    }
}

RouteRequest Get(std::string_view url) { return RouteRequest{RequestMethod::Get, {}, url}; }

TEST(RouteMatch, LiteralAndPatternUrls) {
    struct Row {
        std::string templateText;
        std::string url;
        bool matches;
        PathCaptures captures;
    };
    const Row rows[] = {
        {"/a/b", "/a/b", true, {}},
        {"/a/b", "/a/b?x=1", false, {}},
        {"/a/b", "/A/b", false, {}},
        {"/a/b", "/a/b/", false, {}},
        {"/a/{id}/b", "/a/42/b", true, {{"id", "42"}}},
        {"/a/{id}/b", "/a//b", true, {{"id", ""}}},
        {"/a/{id}/b", "/a/4/2/b", false, {}},
        {"/a/{id}", "/a/x%2Fy+z", true, {{"id", "x/y z"}}},
        {"/a/{id}", "/a/7?id=9&x", true, {{"id", "7"}}},
        {"/files/{+path}", "/files/a/b/c.txt", true, {{"path", "a/b/c.txt"}}},
        {"/files/{+path}", "/file", false, {}},
        {"/doc{#frag}", "/doc#top", true, {{"frag", "top"}}},
        {"/doc{#frag}", "/doctop", false, {}},
        {"/v1.0/{x}", "/v1x0/a", false, {}},
        {"/v1.0/{x}", "/v1.0/a", true, {{"x", "a"}}},
        {"/{a}{b}", "/xy", true, {{"a", "xy"}, {"b", ""}}},
        {"/{+a}/{+b}", "/x/y/z", true, {{"a", "x/y"}, {"b", "z"}}},
        {"/{+a}/end", "/x/end/y/end", true, {{"a", "x/end/y"}}},
        {"/{id}/{id}", "/1/2", true, {{"id", "2"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.templateText + " " + row.url);
        const Route route = Route::Build(nullptr, row.templateText, RequestMethod::None, {});
        PathCaptures captures;
        EXPECT_EQ(route.Match(Get(row.url), captures), row.matches);
        if (row.matches) {
            EXPECT_EQ(captures, row.captures);
        }
    }
}

TEST(RouteMatch, LongUrlsDoNotExhaustTheStack) {
    const Route route = Route::Build(nullptr, "/files/{+path}/x", RequestMethod::None, {});
    std::string url = "/files/" + std::string(2'000'000, 'a') + "/x";
    PathCaptures captures;
    ASSERT_TRUE(route.Match(Get(url), captures));
    EXPECT_EQ(captures["path"].size(), 2'000'000u);
    url.back() = 'y';
    EXPECT_FALSE(route.Match(Get(url), captures));
}

TEST(RouteMatch, MethodCheck) {
    struct Row {
        RequestMethod allowed;
        std::string allowedName;
        RequestMethod method;
        std::string methodName;
        bool matches;
    };
    const Row rows[] = {
        {RequestMethod::None, "", RequestMethod::Post, "", true},
        {RequestMethod::None, "", RequestMethod::None, "", true},
        {RequestMethod::Get, "", RequestMethod::Get, "", true},
        {RequestMethod::Get, "", RequestMethod::Post, "", false},
        {RequestMethod::Get, "", RequestMethod::None, "", false},
        {RequestMethod::Other, "PURGE", RequestMethod::Other, "PURGE", true},
        {RequestMethod::Other, "PURGE", RequestMethod::Other, "purge", false},
        {RequestMethod::Other, "PURGE", RequestMethod::Other, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(row.allowed)) + row.allowedName + " " +
                     std::to_string(static_cast<int>(row.method)) + row.methodName);
        for (const char* templateText : {"/r", "/r/{id}"}) {
            const Route route = Route::Build(nullptr, templateText, row.allowed, row.allowedName);
            PathCaptures captures;
            const std::string url = route.IsLiteral() ? "/r" : "/r/1";
            EXPECT_EQ(route.Match(RouteRequest{row.method, row.methodName, url}, captures), row.matches);
            if (!row.matches) {
                EXPECT_TRUE(captures.empty());
            }
        }
    }
}

TEST(RouteList, MoreLiteralRouteWinsAndEarlierWinsTies) {
    const Route byId = Route::Build(nullptr, "/items/{id}", RequestMethod::None, {});
    const Route mine = Route::Build(nullptr, "/items/mine", RequestMethod::None, {});
    const Route byPrefix = Route::Build(nullptr, "/items/m{rest}", RequestMethod::None, {});
    const Route byPrefix2 = Route::Build(nullptr, "/items/mi{rest}", RequestMethod::None, {});
    const Route getOnly = Route::Build(nullptr, "/items/{x}", RequestMethod::Get, {});
    struct Row {
        std::vector<const Route*> routes;
        std::string url;
        const Route* selected;
        PathCaptures captures;
    };
    const Row rows[] = {
        {{&byId, &mine}, "/items/mine", &mine, {}},
        {{&mine, &byId}, "/items/mine", &mine, {}},
        {{&byId, &byPrefix}, "/items/mine", &byPrefix, {{"rest", "ine"}}},
        // "ne" is shorter than "ine", so the later route still wins.
        {{&byPrefix, &byPrefix2}, "/items/mine", &byPrefix2, {{"rest", "ne"}}},
        // Same total length: the earlier route stays.
        {{&byId, &getOnly}, "/items/7", &byId, {{"id", "7"}}},
        {{&getOnly, &byId}, "/items/7", &getOnly, {{"x", "7"}}},
        {{&byId}, "/other", nullptr, {}},
        {{}, "/items/7", nullptr, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        const RouteMatch match = MatchRoutes(row.routes, Get(row.url));
        EXPECT_EQ(match.route, row.selected);
        EXPECT_EQ(match.captures, row.captures);
    }
    const RouteMatch posted = MatchRoutes({&getOnly, &byId}, RouteRequest{RequestMethod::Post, {}, "/items/7"});
    EXPECT_EQ(posted.route, &byId);
}

}  // namespace
}  // namespace hpk
