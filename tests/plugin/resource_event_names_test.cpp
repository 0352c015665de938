#include <gtest/gtest.h>

#include "plugin/resource_events.h"

namespace hpk {
namespace {

TEST(ResourceEventNames, EventNameKeepsTheFirstPathPieces) {
    struct Row {
        const char* uri;
        const char* name;
    };
    const Row rows[] = {
        {"/arx-login/v1/session", "OnJsonApiEvent_arx-login_v1_session"},
        {"/arx-summoner/v1/current-summoner/x", "OnJsonApiEvent_arx-summoner_v1_current-summoner"},
        {"/arx-platform-config/v1/namespaces/TvxContentTargeting",
         "OnJsonApiEvent_arx-platform-config_v1_namespaces_TvxContentTargeting"},
        {"/arx-platform-config/v1/namespaces/A/B/C", "OnJsonApiEvent_arx-platform-config_v1_namespaces_A_B"},
        {"/vodivozaze/get_region_locale", "OnJsonApiEvent_vodivozaze_get_region_locale"},
        {"arx-login/v1/session", "OnJsonApiEvent_arx-login_v1_session"},
        {"//arx-login///v1//session/", "OnJsonApiEvent_arx-login_v1_session"},
        {"/arx-content-targeting/v1/filters", "OnJsonApiEvent_arx-content-targeting_v1_filters"},
        {"/", "OnJsonApiEvent"},
        {"", "OnJsonApiEvent"},
        {"/a", "OnJsonApiEvent_a"},
        // Only the second piece exactly decides the longer form.
        {"/x/arx-platform-config/a/b/c/d", "OnJsonApiEvent_x_arx-platform-config_a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        EXPECT_EQ(EventNameOfUri(row.uri), row.name);
    }
}

TEST(ResourceEventNames, PatternStarMatchesUpToTheNextSlash) {
    struct Row {
        const char* pattern;
        const char* uri;
        bool matches;
    };
    const Row rows[] = {
        {"/a/*/c", "/a/b/c", true}, {"/a/*/c", "/a/bcd/c", true},
        {"/a/*/c", "/a//c", true},  {"/a/*/c", "/a/b/x/c", false},
        {"/a/*", "/a/b", true},     {"/a/*", "/a/", false},
        {"/a/*", "/a/b/c", false},  {"/a/*", "/a/bcd", true},
        {"/a/b", "/a/b", true},     {"/a/b", "/a/bc", false},
        {"/a/bc", "/a/b", false},   {"*", "x", true},
        {"*", "", false},           {"", "", true},
        {"/a/*/*", "/a/b/c", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + " vs " + row.uri);
        EXPECT_EQ(UriMatchesPattern(row.pattern, row.uri), row.matches);
    }
}

TEST(ResourceEventNames, HashIsFnv1a32) {
    FnvStringHash hash;
    EXPECT_EQ(hash(""), 0x811C9DC5u);
    EXPECT_EQ(hash("a"), 0xE40C292Cu);
    EXPECT_EQ(hash("foobar"), 0xBF9CF968u);
}

}  // namespace
}  // namespace hpk
