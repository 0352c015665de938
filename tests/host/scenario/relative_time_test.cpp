// Relative timestamps in scenario values.
#include <gtest/gtest.h>

#include "scenario/relative_time.h"

namespace hpk::host {
namespace {

constexpr std::uint64_t kNow = 1'700'000'000'000;  // ms since 1970
constexpr std::uint64_t kDay = 86'400'000;

TEST(RelativeTime, ReadsStampsAndRefusesEverythingElse) {
    struct Row {
        const char* text;
        bool isStamp;
        std::uint64_t millisecondsAgo;
    };
    const Row rows[] = {
        {"now", true, 0},
        {"31 days ago", true, 31 * kDay},
        {"1 day ago", true, kDay},
        {"30 days 2 hours ago", true, 30 * kDay + 2 * 3'600'000},
        {"2 weeks 1 d 3 h 4 min 5 s 6 ms ago", true, 15 * kDay + 3 * 3'600'000 + 4 * 60'000 + 5'000 + 6},
        {"0 seconds ago", true, 0},
        {"31 days", false, 0},
        {"ago", false, 0},
        {"days ago", false, 0},
        {"31  days ago", false, 0},
        {" 31 days ago", false, 0},
        {"31 days ago ", false, 0},
        {"31 Days ago", false, 0},
        {"-1 days ago", false, 0},
        {"31 fortnights ago", false, 0},
        {"Now", false, 0},
        {"3 days ago please", false, 0},
        {"1000000000 weeks ago", false, 0},  // before 1970
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::optional<std::uint64_t> stamp = ParseRelativeTime(row.text, kNow);
        ASSERT_EQ(stamp.has_value(), row.isStamp);
        if (row.isStamp) {
            EXPECT_EQ(*stamp, kNow - row.millisecondsAgo);
        }
    }
}

TEST(RelativeTime, ResolvesEveryStampInATreeAndLeavesOtherStrings) {
    BindingValue value;
    BindingValue& games = value.Member("champions");
    games.Append().Member("timestamp").SetString("31 days ago");
    games.Append().Member("timestamp").SetString("now");
    games.Append().Member("lane").SetString("jungle");
    value.Member("note").SetString("2 days ago, roughly");

    EXPECT_EQ(ResolveRelativeTimes(value, kNow), 2u);
    EXPECT_EQ(games.Element(0).Member("timestamp").AsUnsigned(), kNow - 31 * kDay);
    EXPECT_EQ(games.Element(1).Member("timestamp").AsUnsigned(), kNow);
    EXPECT_EQ(games.Element(2).Member("lane").AsString(), "jungle");
    EXPECT_EQ(value.Member("note").AsString(), "2 days ago, roughly");
}

}  // namespace
}  // namespace hpk::host
