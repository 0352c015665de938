#include "content_targeting/telemetry_text.h"

#include <gtest/gtest.h>

namespace hpk::content_targeting {
namespace {

TEST(TelemetryText, ElapsedMillisecondsTruncateTowardZero) {
    struct Row {
        std::int64_t now;
        std::int64_t since;
        const char* expected;
    };
    const Row rows[] = {
        {0, 0, "0"},
        {9'999, 0, "0"},
        {10'000, 0, "1"},
        {25'000, 5'000, "2"},
        {5'000, 25'000, "-2"},
        {0, 9'999, "0"},
        {0, 10'000, "-1"},
        // Before any login the reference is 1970: milliseconds since then.
        {17'040'672'000'000'000, 0, "1704067200000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(ElapsedMillisecondsText(row.now, row.since), row.expected);
    }
}

TEST(TelemetryText, ReportedFiltersLeaveLocationOut) {
    struct Row {
        std::vector<std::string> filters;
        const char* expected;
    };
    const Row rows[] = {
        {{}, ""},
        {{"filter_level_3"}, "filter_level_3"},
        {{"filter_level_3", "filter_ranked_disabled"}, "filter_level_3,filter_ranked_disabled"},
        {{"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_"}, ""},
        {{"filter_level_31", "filter_location_pl", "filter_revival_true", "filter_location_pl_mz", "filter_lane_top"},
         "filter_level_31,filter_revival_true,filter_lane_top"},
        // Exactly the prefix is a location filter; shorter or different texts are kept.
        {{"filter_location_", "filter_location", "x", "", "Filter_location_us"},
         "filter_location,x,,Filter_location_us"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.expected);
        EXPECT_EQ(ReportedFiltersText(row.filters), row.expected);
    }
}

}  // namespace
}  // namespace hpk::content_targeting
