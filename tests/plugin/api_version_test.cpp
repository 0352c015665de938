#include "plugin/api_version.h"

#include <gtest/gtest.h>

namespace hpk {
namespace {

TEST(ApiVersion, TextFormAppendsPreReleaseAndBuild) {
    struct Row {
        ApiVersion version;
        const char* text;
    };
    const Row rows[] = {
        {{1, 2, 3, "rc", "7"}, "1.2.3-rc+7"},
        {{1, 2, 3, "", "7"}, "1.2.3+7"},
        {{1, 2, 3, "rc", ""}, "1.2.3-rc"},
        {{18, 0, 0, "", ""}, "18.0.0"},
        {{4294967295u, 0, 10, "", ""}, "4294967295.0.10"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.version.Text(), row.text);
    }
}

TEST(ApiVersion, SupportedVersionIs18) { EXPECT_EQ(SupportedApiVersion().Text(), "18.0.0"); }

TEST(ApiVersion, CoreCompatibilityFollowsMajorThenMinorAndPatch) {
    struct Row {
        ApiVersion plugin;
        ApiVersion core;
        bool compatible;
    };
    const ApiVersion v18{18, 0, 0, "", ""};
    const ApiVersion v181{18, 1, 0, "", ""};
    const Row rows[] = {
        {v18, {18, 0, 0, "", ""}, true},   {v18, {18, 0, 5, "", ""}, true},
        {v18, {18, 7, 0, "", ""}, true},   {v18, {18, 3, 0, "", ""}, true},
        {v18, {17, 9, 9, "", ""}, false},  {v18, {19, 0, 0, "", ""}, false},
        {v181, {18, 0, 9, "", ""}, false}, {v181, {18, 1, 0, "", ""}, true},
        {v181, {18, 2, 0, "", ""}, true},  {{18, 1, 5, "", ""}, {18, 1, 4, "", ""}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.plugin.Text() + " on core " + row.core.Text());
        EXPECT_EQ(IsCompatibleApiVersion(row.plugin, row.core), row.compatible);
    }
}

}  // namespace
}  // namespace hpk
