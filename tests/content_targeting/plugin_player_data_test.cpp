// The loaded plugin's one-time player data fetch and the filters that need it.
#include "plugin_scenario.h"

namespace hpk::content_targeting::testing {
namespace {

using ContentTargetingPlayerData = ContentTargetingScenario;

constexpr std::uint64_t kDayMs = 24ull * 3600 * 1000;
constexpr std::uint64_t kStartMs = static_cast<std::uint64_t>(kStartSecond) * 1000;
constexpr std::uint64_t kCutoffMs = kStartMs - 30 * kDayMs;

std::size_t Count(const Strings& list, const std::string& item) {
    std::size_t n = 0;
    for (const std::string& entry : list) n += entry == item;
    return n;
}

TEST_F(ContentTargetingPlayerData, TriggerIsRequestedBeforeTheGamesAreWatched) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LaneFilterEnabled": true, "LevelFilterEnabled": true})");
    Serve(kGames, GamesJson(0, {}));
    Serve(kSummoner, R"({"summonerLevel": 3})");
    Start();
    EXPECT_EQ(RequestedUrls(),
              (Strings{kLogin, kConfig, kGamesTrigger, kGames, kSummoner, kTelemetryUrl, kRegion, kReady, kGeo}));
    Strings calls;
    for (const std::string& call : host_.Calls()) {
        if (call.find("recently-played") != std::string::npos || call.find("current-summoner") != std::string::npos) {
            calls.push_back(call);
        }
    }
    EXPECT_EQ(calls, (Strings{std::string("Request GET ") + kGamesTrigger,
                              "Subscribe OnJsonApiEvent_arx-acs_v2_recently-played-champions 0",
                              std::string("Request GET ") + kGames,
                              "Subscribe OnJsonApiEvent_arx-summoner_v1_current-summoner 0",
                              std::string("Request GET ") + kSummoner}));
}

TEST_F(ContentTargetingPlayerData, FetchStartsWithWhicheverOfLoginAndConfigurationComesLast) {
    struct Row {
        const char* name;
        bool loginFirst;
    };
    for (const Row& row : {Row{"login first", true}, Row{"configuration first", false}}) {
        SCOPED_TRACE(row.name);
        FakeHost host;
        FakePluginSession session(host);
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        auto deliver = [&](const char* uri, const char* json) {
            ASSERT_TRUE(host.DeliverResourceEvent(uri, PluginResourceEventType::Update, Json(json)));
        };
        auto fetched = [&] {
            std::size_t n = 0;
            for (const auto& request : host.Requests()) n += request.url == kGamesTrigger;
            return n;
        };
        deliver(row.loginFirst ? kLogin : kConfig,
                row.loginFirst ? kLoggedIn : R"({"Enabled": true, "RevivalFilterEnabled": true})");
        EXPECT_EQ(fetched(), 0u);
        deliver(row.loginFirst ? kConfig : kLogin,
                row.loginFirst ? R"({"Enabled": true, "RevivalFilterEnabled": true})" : kLoggedIn);
        EXPECT_EQ(fetched(), 1u);
        // Once per lifetime, whatever arrives later.
        deliver(kConfig, R"({"Enabled": true, "RevivalFilterEnabled": true})");
        deliver(kLogin, kLoggedOut);
        deliver(kLogin, kLoggedIn);
        EXPECT_EQ(fetched(), 1u);
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPlayerData, OnlyTheDataTheEnabledKindsNeedIsFetched) {
    struct Row {
        const char* config;
        bool games;
        bool summoner;
    };
    const Row rows[] = {
        {R"({"Enabled": true, "LevelFilterEnabled": true})", false, true},
        {R"({"Enabled": true, "RankedFilterEnabled": true})", false, true},
        {R"({"Enabled": true, "RevivalFilterEnabled": true})", true, false},
        {R"({"Enabled": true, "LaneFilterEnabled": true})", true, false},
        {R"({"Enabled": true, "LocationFiltersEnabled": true})", false, false},
        {R"({"Enabled": false, "LevelFilterEnabled": true, "LaneFilterEnabled": true})", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.config);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig, Json(row.config));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        Strings urls;
        for (const auto& request : host.Requests()) urls.push_back(request.url);
        EXPECT_EQ(Count(urls, kGamesTrigger), row.games ? 1u : 0u);
        EXPECT_EQ(Count(urls, kGames), row.games ? 1u : 0u);
        EXPECT_EQ(Count(urls, kSummoner), row.summoner ? 1u : 0u);
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPlayerData, OnlyRevivalLeavesTheLevelUnknown) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "RevivalFilterEnabled": true})");
    Serve(kGames, GamesJson(0, {}));
    Serve(kSummoner, R"({"summonerLevel": 80})");
    Start();
    // Level 0 as far as the plugin knows: no revival without games.
    ASSERT_FALSE(PublishedFilters().empty());
    EXPECT_EQ(PublishedFilters().back(), Strings{});
}

TEST_F(ContentTargetingPlayerData, KindsEnabledLaterNeverGetTheirData) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LevelFilterEnabled": true})");
    Serve(kSummoner, R"({"summonerLevel": 3})");
    Serve(kGames, GamesJson(1, Repeat(1, 420, "top")));
    Start();
    const std::size_t published = PublishedFilters().size();
    Update(kConfig, R"({"Enabled": true, "LevelFilterEnabled": true, "LaneFilterEnabled": true})");
    Update(kSummoner, R"({"summonerLevel": 4})");
    EXPECT_EQ(PublishedFilters().size(), published);
    EXPECT_EQ(Count(RequestedUrls(), kGames), 0u);
    EXPECT_EQ(ServedFilters(), Strings{"filter_level_3"});
}

TEST_F(ContentTargetingPlayerData, OnlyTheFirstCollectionCounts) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LaneFilterEnabled": true, "LaneFilterThreshold": 1})");
    Serve(kGames, GamesJson(1, Repeat(1, 420, "mid")));
    Start();
    EXPECT_EQ(ServedFilters(), Strings{"filter_lane_mid"});
    const std::string received = Recorded("time_to_recentChampions");
    AdvanceMs(30);
    Update(kGames, GamesJson(3, Repeat(3, 420, "top")));
    EXPECT_EQ(ServedFilters(), Strings{"filter_lane_mid"});
    EXPECT_EQ(Recorded("time_to_recentChampions"), received);
}

TEST_F(ContentTargetingPlayerData, AnEmptyFirstCollectionStillCountsAsReceived) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig,
          R"({"Enabled": true, "LaneFilterEnabled": true, "RevivalFilterEnabled": true, "LaneFilterThreshold": 0})");
    Serve(kGames, GamesJson(0, {}));
    Start();
    // No games: lanes skipped (even at threshold 0), revival by level (unknown, 0).
    EXPECT_EQ(ServedFilters(), Strings{});
    Update(kGames, GamesJson(2, Repeat(2, 420, "top")));
    EXPECT_EQ(ServedFilters(), Strings{});
    EXPECT_EQ(Recorded("time_to_recentChampions"), "0");
}

TEST_F(ContentTargetingPlayerData, CollectionsThatDoNotConvertAreNotTheFirst) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LaneFilterEnabled": true, "LaneFilterThreshold": 1})");
    Serve(kGames, R"({"gameCount": "many"})");
    Start();
    EXPECT_TRUE(PublishedFilters().empty());
    Update(kGames, GamesJson(1, Repeat(1, 440, "jungle")));
    EXPECT_EQ(ServedFilters(), Strings{"filter_lane_jungle"});
    Remove(kGames);  // ignored
    EXPECT_EQ(ServedFilters(), Strings{"filter_lane_jungle"});
}

TEST_F(ContentTargetingPlayerData, TheTriggerFailingChangesNothing) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LaneFilterEnabled": true, "LaneFilterThreshold": 1})");
    host_.ServeError(kGamesTrigger, 503, "games service down");
    Serve(kGames, GamesJson(1, Repeat(1, 420, "bottom")));
    Start();
    EXPECT_EQ(ServedFilters(), Strings{"filter_lane_bottom"});
}

TEST_F(ContentTargetingPlayerData, RankedFollowsTheLevelAndEveryLevelChangeRepublishes) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LevelFilterEnabled": true, "RankedFilterEnabled": true})");
    Start();
    EXPECT_TRUE(PublishedFilters().empty());  // no level yet
    AdvanceMs(10);
    Update(kSummoner, R"({"summonerLevel": 29})");
    EXPECT_EQ(PublishedFilters().back(), (Strings{"filter_level_29", "filter_ranked_disabled"}));
    EXPECT_EQ(Recorded("time_to_summoner"), "10");
    AdvanceMs(10);
    Update(kSummoner, R"({"summonerLevel": 30})");
    EXPECT_EQ(PublishedFilters().back(), (Strings{"filter_level_30", "filter_ranked_enabled"}));
    EXPECT_EQ(Recorded("time_to_summoner"), "20");

    // The same level again: nothing recorded, nothing computed.
    const std::size_t published = PublishedFilters().size();
    AdvanceMs(10);
    Update(kSummoner, R"({"summonerLevel": 30})");
    EXPECT_EQ(PublishedFilters().size(), published);
    EXPECT_EQ(Recorded("time_to_summoner"), "20");

    // A Delete is level 0: the gate closes and the last list stays served.
    Remove(kSummoner);
    EXPECT_EQ(PublishedFilters().size(), published);
    EXPECT_EQ(Recorded("time_to_summoner"), "30");
    EXPECT_EQ(ServedFilters(), (Strings{"filter_level_30", "filter_ranked_enabled"}));
}

TEST_F(ContentTargetingPlayerData, LevelZeroToZeroDoesNothing) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LevelFilterEnabled": true})");
    Serve(kSummoner, R"({"summonerLevel": 0})");
    Start();
    EXPECT_EQ(Recorded("time_to_summoner"), "<none>");
    Update(kSummoner, R"({"summonerLevel": 0})");
    EXPECT_EQ(Recorded("time_to_summoner"), "<none>");
    EXPECT_TRUE(PublishedFilters().empty());
}

TEST_F(ContentTargetingPlayerData, RevivalNeedsThirtyDaysWithoutAGame) {
    struct Row {
        const char* name;
        std::uint64_t newest;
        bool revival;
    };
    const Row rows[] = {
        {"31 days ago", kStartMs - 31 * kDayMs, true},   {"29 days ago", kStartMs - 29 * kDayMs, false},
        {"exactly the cutoff second", kCutoffMs, false}, {"within the cutoff second", kCutoffMs + 999, false},
        {"the second before", kCutoffMs - 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig, Json(R"({"Enabled": true, "RevivalFilterEnabled": true})"));
        host.ServeValue(kGames,
                        Json(GamesJson(2, {{420, "top", kStartMs - 60 * kDayMs}, {450, "mid", row.newest}}).c_str()));
        ASSERT_TRUE(session.Load());
        session.Plugin().SetClock([] { return kStartTicks + 9'999'999; });  // truncated to the start second
        ASSERT_TRUE(session.Init());
        auto& plugin = static_cast<ContentTargetingPlugin&>(session.Plugin());
        EXPECT_EQ(plugin.Filters().filters, row.revival ? Strings{"filter_revival_true"} : Strings{});
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPlayerData, RevivalWithoutGamesFollowsTheLevel) {
    for (std::uint32_t level : {29u, 30u}) {
        SCOPED_TRACE(level);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig,
                        Json(R"({"Enabled": true, "RevivalFilterEnabled": true, "LevelFilterEnabled": true})"));
        // Listed games that gameCount does not count change nothing.
        host.ServeValue(kGames, Json(GamesJson(0, Repeat(3, 420, "top")).c_str()));
        host.ServeValue(kSummoner, Json(("{\"summonerLevel\": " + std::to_string(level) + "}").c_str()));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        auto& plugin = static_cast<ContentTargetingPlugin&>(session.Plugin());
        Strings expected = {"filter_level_" + std::to_string(level)};
        if (level >= 30) expected.push_back("filter_revival_true");
        EXPECT_EQ(plugin.Filters().filters, expected);
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPlayerData, LanesCountRankedQueuesAgainstTheThreshold) {
    struct Row {
        const char* name;
        std::uint32_t threshold;
        std::uint32_t gameCount;
        std::vector<GameRow> games;
        Strings expected;
    };
    const auto jungleTopMid = Join({Repeat(7, 420, "jungle"), Repeat(7, 400, "top"), Repeat(2, 440, "mid")});
    const Row rows[] = {
        {"jungle 7, top 7, mid 2 at 7", 7, 16, jungleTopMid, {"filter_lane_jungle", "filter_lane_top"}},
        {"threshold 0: every lane",
         0,
         1,
         Repeat(1, 420, "top"),
         {"filter_lane_jungle", "filter_lane_top", "filter_lane_mid", "filter_lane_bottom"}},
        {"queue 450 counts nowhere", 1, 3, Repeat(3, 450, "top"), {}},
        {"TOP counts as top", 2, 2, Join({Repeat(1, 420, "TOP"), Repeat(1, 420, "top")}), {"filter_lane_top"}},
        {"gameCount 0 skips a listed game", 0, 0, Repeat(4, 420, "mid"), {}},
        {"gameCount past the list end", 2, 500, Repeat(2, 420, "bottom"), {"filter_lane_bottom"}},
        {"gameCount below the list length", 2, 2, Join({Repeat(1, 420, "mid"), Repeat(5, 420, "top")}), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig, Json(("{\"Enabled\": true, \"LaneFilterEnabled\": true, \"LaneFilterThreshold\": " +
                                       std::to_string(row.threshold) + "}")
                                          .c_str()));
        host.ServeValue(kGames, Json(GamesJson(row.gameCount, row.games).c_str()));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        auto& plugin = static_cast<ContentTargetingPlugin&>(session.Plugin());
        EXPECT_EQ(plugin.Filters().filters, row.expected);
        session.Shutdown();
    }
}

}  // namespace
}  // namespace hpk::content_targeting::testing
