#include "content_targeting/filters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hpk::content_targeting {
namespace {

using Vela::Client::Api::ChampionGames;
using Vela::Client::Api::ChampionGamesCollection;
using Vela::Client::Api::GeoInfo;
using Vela::Client::Api::PlatformConfig;
using Strings = std::vector<std::string>;

// 2024-01-01 00:00:00 UTC plus half a second, so the cutoff's truncation shows.
constexpr std::int64_t kNowSecond = 1'704'067'200;
constexpr std::int64_t kNowTicks = kNowSecond * 10'000'000 + 5'000'000;
constexpr std::int64_t kCutoffSecond = kNowSecond - 30 * 24 * 3600;
constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;

const std::vector<std::int32_t> kLaneQueues = {400, 420, 440};

ChampionGames Game(std::int32_t queue, std::string lane, std::uint64_t timestamp = 0) {
    ChampionGames game;
    game.championId = 1;
    game.queue = queue;
    game.lane = std::move(lane);
    game.role = "SOLO";
    game.timestamp = timestamp;
    return game;
}

ChampionGamesCollection Games(std::vector<ChampionGames> games) {
    ChampionGamesCollection collection;
    collection.gameCount = static_cast<std::uint32_t>(games.size());
    collection.champions = std::move(games);
    return collection;
}

struct Scenario {
    PlatformConfig config;
    GeoInfo geoInfo;
    std::uint32_t summonerLevel = 0;
    bool recentChampionsReceived = false;
    ChampionGamesCollection recentGames;
    std::int64_t nowTicks = kNowTicks;

    Scenario() { config.Enabled = true; }

    FilterInputs Inputs() const {
        return FilterInputs{config,      geoInfo,     summonerLevel, recentChampionsReceived,
                            recentGames, kLaneQueues, nowTicks};
    }
    // The list, or {"<gated>"} when a gate held the computation back.
    Strings Compute() const {
        Strings filters = {"<previous>"};
        if (!ComputeFilterList(filters, Inputs())) return {"<gated>"};
        return filters;
    }
};

TEST(FilterComputation, GatesWaitForEveryInputAnEnabledKindNeeds) {
    struct Row {
        const char* name;
        void (*set)(Scenario&);
        bool open;
    };
    const Row rows[] = {
        {"disabled", [](Scenario& s) { s.config.Enabled = false; }, false},
        {"all kinds off", [](Scenario&) {}, true},
        {"location without geo", [](Scenario& s) { s.config.LocationFiltersEnabled = true; }, false},
        {"location with city only",
         [](Scenario& s) {
             s.config.LocationFiltersEnabled = true;
             s.geoInfo.city = "Lyon";
         },
         true},
        {"level without level", [](Scenario& s) { s.config.LevelFilterEnabled = true; }, false},
        {"ranked without level", [](Scenario& s) { s.config.RankedFilterEnabled = true; }, false},
        {"ranked with level",
         [](Scenario& s) {
             s.config.RankedFilterEnabled = true;
             s.summonerLevel = 1;
         },
         true},
        {"revival without games", [](Scenario& s) { s.config.RevivalFilterEnabled = true; }, false},
        {"lanes without games", [](Scenario& s) { s.config.LaneFilterEnabled = true; }, false},
        {"lanes with empty games received",
         [](Scenario& s) {
             s.config.LaneFilterEnabled = true;
             s.recentChampionsReceived = true;
         },
         true},
        {"level known but geo missing",
         [](Scenario& s) {
             s.config.LevelFilterEnabled = true;
             s.config.LocationFiltersEnabled = true;
             s.summonerLevel = 5;
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        row.set(scenario);
        EXPECT_EQ(FilterGatesOpen(scenario.Inputs()), row.open);
        Strings filters = {"kept"};
        EXPECT_EQ(ComputeFilterList(filters, scenario.Inputs()), row.open);
        if (!row.open) {
            EXPECT_EQ(filters, Strings{"kept"});
        }
    }
}

TEST(FilterComputation, AllKindsOffGivesAnEmptyList) { EXPECT_EQ(Scenario().Compute(), Strings{}); }

TEST(FilterComputation, LevelAndRankedFollowTheSummonerLevel) {
    struct Row {
        std::uint32_t level;
        Strings expected;
    };
    const Row rows[] = {
        {1, {"filter_level_1", "filter_ranked_disabled"}},
        {29, {"filter_level_29", "filter_ranked_disabled"}},
        {30, {"filter_level_30", "filter_ranked_enabled"}},
        {42, {"filter_level_42", "filter_ranked_enabled"}},
        {4294967295u, {"filter_level_4294967295", "filter_ranked_enabled"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.level);
        Scenario scenario;
        scenario.config.LevelFilterEnabled = true;
        scenario.config.RankedFilterEnabled = true;
        scenario.summonerLevel = row.level;
        EXPECT_EQ(scenario.Compute(), row.expected);
    }
}

TEST(FilterComputation, LocationNestsCountryRegionAndCity) {
    struct Row {
        GeoInfo geo;
        Strings expected;
    };
    const Row rows[] = {
        {{"US", "", "CA"}, {"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_"}},
        {{"US", "", ""}, {"filter_location_us", "filter_location_us_", "filter_location_us__"}},
        {{"US", "Los Angeles", "CA"},
         {"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_los_angeles"}},
        {{"BR", "S\xC3\xA3o Paulo", "SP"},
         {"filter_location_br", "filter_location_br_sp", "filter_location_br_sp_s%C3%A3o_paulo"}},
        {{"", "A/B", ""}, {"filter_location_", "filter_location__", "filter_location___a%2Fb"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.geo.city);
        Scenario scenario;
        scenario.config.LocationFiltersEnabled = true;
        scenario.geoInfo = row.geo;
        EXPECT_EQ(scenario.Compute(), row.expected);
    }
}

TEST(FilterComputation, RevivalNeedsThirtyDaysWithoutAGame) {
    struct Row {
        const char* name;
        std::vector<std::uint64_t> timestamps;
        bool revival;
    };
    const std::uint64_t cutoffMs = static_cast<std::uint64_t>(kCutoffSecond) * 1000;
    const std::uint64_t nowMs = static_cast<std::uint64_t>(kNowSecond) * 1000;
    const Row rows[] = {
        {"31 days", {nowMs - 31 * kDayMs}, true},
        {"29 days", {nowMs - 29 * kDayMs}, false},
        {"exactly the cutoff second", {cutoffMs}, false},
        {"last millisecond of the cutoff second", {cutoffMs + 999}, false},
        {"the second before the cutoff", {cutoffMs - 1}, true},
        {"newest decides, not the first", {nowMs - 40 * kDayMs, nowMs - kDayMs, nowMs - 50 * kDayMs}, false},
        {"all old", {nowMs - 40 * kDayMs, nowMs - 35 * kDayMs}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.config.RevivalFilterEnabled = true;
        scenario.recentChampionsReceived = true;
        scenario.summonerLevel = 50;  // the level rule must not apply with games
        std::vector<ChampionGames> games;
        for (std::uint64_t timestamp : row.timestamps) games.push_back(Game(420, "top", timestamp));
        scenario.recentGames = Games(games);
        EXPECT_EQ(scenario.Compute(), row.revival ? Strings{"filter_revival_true"} : Strings{});
    }
}

TEST(FilterComputation, RevivalWithoutGamesFollowsTheLevel) {
    struct Row {
        std::uint32_t level;
        bool revival;
    };
    const Row rows[] = {{0, false}, {29, false}, {30, true}, {31, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.level);
        Scenario scenario;
        scenario.config.RevivalFilterEnabled = true;
        scenario.recentChampionsReceived = true;
        scenario.summonerLevel = row.level;
        // A listed game that gameCount says does not count changes nothing.
        scenario.recentGames.champions.push_back(Game(420, "top", 1));
        EXPECT_EQ(scenario.Compute(), row.revival ? Strings{"filter_revival_true"} : Strings{});
    }
}

TEST(FilterComputation, RevivalBeforeTheFirstThirtyDaysOfTheClockNeverApplies) {
    Scenario scenario;
    scenario.config.RevivalFilterEnabled = true;
    scenario.recentChampionsReceived = true;
    scenario.recentGames = Games({Game(420, "top", 0)});
    scenario.nowTicks = 29 * 24 * 3600 * 10'000'000ll;
    EXPECT_EQ(scenario.Compute(), Strings{});
}

TEST(FilterComputation, LanesCountRankedQueuesAgainstTheThreshold) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::int32_t, const char*>> games;  // queue, lane
        std::uint32_t threshold;
        Strings expected;
    };
    auto repeat = [](std::vector<std::pair<std::int32_t, const char*>>& games, int n, std::int32_t q,
                     const char* lane) {
        for (int i = 0; i < n; ++i) games.push_back({q, lane});
    };
    std::vector<std::pair<std::int32_t, const char*>> jungleTopMid;
    repeat(jungleTopMid, 7, 420, "top");
    repeat(jungleTopMid, 7, 400, "jungle");
    repeat(jungleTopMid, 2, 440, "mid");
    std::vector<std::pair<std::int32_t, const char*>> allLanes;
    repeat(allLanes, 1, 420, "bottom");
    repeat(allLanes, 1, 420, "mid");
    repeat(allLanes, 1, 420, "top");
    repeat(allLanes, 1, 420, "jungle");
    const Row rows[] = {
        {"jungle and top at 7", jungleTopMid, 7, {"filter_lane_jungle", "filter_lane_top"}},
        {"mid reaches 2", jungleTopMid, 2, {"filter_lane_jungle", "filter_lane_top", "filter_lane_mid"}},
        {"threshold 8", jungleTopMid, 8, {}},
        {"threshold 0 adds lanes never played",
         {{420, "top"}},
         0,
         {"filter_lane_jungle", "filter_lane_top", "filter_lane_mid", "filter_lane_bottom"}},
        {"fixed order, not played order",
         allLanes,
         1,
         {"filter_lane_jungle", "filter_lane_top", "filter_lane_mid", "filter_lane_bottom"}},
        {"queue 450 counts nowhere", {{450, "top"}, {450, "top"}}, 1, {}},
        {"letter case is folded", {{420, "TOP"}, {440, "Jungle"}}, 1, {"filter_lane_jungle", "filter_lane_top"}},
        {"unknown lane texts count nowhere", {{420, ""}, {420, "NONE"}, {420, "utility"}, {420, "t\xC3\x93p"}}, 1, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.config.LaneFilterEnabled = true;
        scenario.config.LaneFilterThreshold = row.threshold;
        scenario.recentChampionsReceived = true;
        std::vector<ChampionGames> games;
        for (const auto& [queue, lane] : row.games) games.push_back(Game(queue, lane));
        scenario.recentGames = Games(games);
        EXPECT_EQ(scenario.Compute(), row.expected);
    }
}

TEST(FilterComputation, GameCountDecidesWhichGamesCount) {
    struct Row {
        const char* name;
        std::uint32_t gameCount;
        std::size_t listed;
        Strings expected;
    };
    // Listed games: top, top, jungle, jungle, ... alternating in pairs.
    const Row rows[] = {
        {"zero skips lanes although games are listed", 0, 4, {}},
        {"fewer than listed", 2, 4, {"filter_lane_top"}},
        {"all listed", 4, 4, {"filter_lane_jungle", "filter_lane_top"}},
        {"more than listed stops at the list end", 1000, 4, {"filter_lane_jungle", "filter_lane_top"}},
        {"count without any listed game", 5, 0, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.config.LaneFilterEnabled = true;
        scenario.config.LaneFilterThreshold = 2;
        scenario.recentChampionsReceived = true;
        for (std::size_t i = 0; i < row.listed; ++i) {
            scenario.recentGames.champions.push_back(Game(420, (i / 2) % 2 == 0 ? "top" : "jungle"));
        }
        scenario.recentGames.gameCount = row.gameCount;
        EXPECT_EQ(scenario.Compute(), row.expected);
    }
}

TEST(FilterComputation, RevivalOnlyReadsTheGamesThatExist) {
    struct Row {
        const char* name;
        std::uint32_t gameCount;
        std::vector<std::uint64_t> timestamps;
        bool revival;
    };
    const std::uint64_t nowMs = static_cast<std::uint64_t>(kNowSecond) * 1000;
    const Row rows[] = {
        // The second, recent game lies outside gameCount.
        {"recent game beyond gameCount", 1, {nowMs - 40 * kDayMs, nowMs}, true},
        {"gameCount past the list end", 9, {nowMs - 40 * kDayMs, nowMs}, false},
        // Nothing to read: the level rule decides, as for a player without games.
        {"gameCount without games, level unknown", 3, {}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scenario scenario;
        scenario.config.RevivalFilterEnabled = true;
        scenario.recentChampionsReceived = true;
        for (std::uint64_t timestamp : row.timestamps)
            scenario.recentGames.champions.push_back(Game(420, "top", timestamp));
        scenario.recentGames.gameCount = row.gameCount;
        EXPECT_EQ(scenario.Compute(), row.revival ? Strings{"filter_revival_true"} : Strings{});
    }
    Scenario veteran;
    veteran.config.RevivalFilterEnabled = true;
    veteran.recentChampionsReceived = true;
    veteran.recentGames.gameCount = 3;
    veteran.summonerLevel = 30;
    EXPECT_EQ(veteran.Compute(), Strings{"filter_revival_true"});
}

TEST(FilterComputation, KindsAppearInTheirFixedOrder) {
    Scenario scenario;
    PlatformConfig& config = scenario.config;
    config.LevelFilterEnabled = config.RankedFilterEnabled = config.LocationFiltersEnabled = true;
    config.RevivalFilterEnabled = config.LaneFilterEnabled = true;
    config.LaneFilterThreshold = 1;
    scenario.summonerLevel = 31;
    scenario.geoInfo = {"PL", "Warszawa", "MZ"};
    scenario.recentChampionsReceived = true;
    scenario.recentGames = Games({Game(440, "Bottom", 1000)});
    EXPECT_EQ(scenario.Compute(),
              (Strings{"filter_level_31", "filter_ranked_enabled", "filter_location_pl", "filter_location_pl_mz",
                       "filter_location_pl_mz_warszawa", "filter_revival_true", "filter_lane_bottom"}));
}

TEST(FormatLocationPart, FoldsSpacesAndCaseThenPercentEncodes) {
    struct Row {
        const char* input;
        const char* expected;
    };
    const Row rows[] = {
        {"US", "us"},
        {"Los Angeles", "los_angeles"},
        {"S\xC3\xA3o Paulo", "s%C3%A3o_paulo"},
        {"A/B", "a%2Fb"},
        {"", ""},
        {"a-b.c_d~e", "a-b.c_d~e"},
        {"  ", "__"},
        {"x+y&z=1", "x%2By%26z%3D1"},
        {"\xC3\x89VRY", "%C3%89vry"},  // only ASCII letters fold
        {"Tab\there", "tab%09here"},
        {"%41", "%2541"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(FormatLocationPart(row.input), row.expected);
    }
}

}  // namespace
}  // namespace hpk::content_targeting
