// The loaded plugin's inputs, gates, served resources and telemetry report.
#include "plugin_scenario.h"

namespace hpk::content_targeting::testing {
namespace {

using ContentTargetingPluginInputs = ContentTargetingScenario;

constexpr char kEnabledOnly[] = R"({"Enabled": true})";
constexpr char kLevelOn[] = R"({"Enabled": true, "LevelFilterEnabled": true})";

TEST_F(ContentTargetingPluginInputs, StartWatchesTheFiveInputsInOrder) {
    Start();
    Strings resourceSubscriptions;
    for (const auto& subscription : host_.SubscribeCalls()) {
        if (subscription.kind == 0) resourceSubscriptions.push_back(subscription.name);
    }
    EXPECT_EQ(resourceSubscriptions,
              (Strings{"OnJsonApiEvent_arx-login_v1_session",
                       "OnJsonApiEvent_arx-platform-config_v1_namespaces_TvxContentTargeting",
                       "OnJsonApiEvent_vodivozaze_get_region_locale", "OnJsonApiEvent_arx-settings_v2_ready",
                       "OnJsonApiEvent_arx-geoinfo_v1_whereami"}));
    EXPECT_EQ(RequestedUrls(), (Strings{kLogin, kConfig, kRegion, kReady, kGeo}));
    EXPECT_TRUE(host_.PostedEvents().empty());
}

TEST_F(ContentTargetingPluginInputs, ServedResourcesAnswerTheCurrentState) {
    Start();
    EXPECT_EQ(ServedFilters(), Strings{});
    EXPECT_EQ(ServedLocale(), "");

    Update(kConfig, R"({"Enabled": true, "LocationFiltersEnabled": true})");
    Update(kRegion, R"({"locale": "en_GB"})");
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "GB", "city": "York", "region": "ENG"}})");
    Update(kReady, "true");  // no document served: the fetch fails and delivers nothing
    EXPECT_EQ(ServedFilters(),
              (Strings{"filter_location_gb", "filter_location_gb_eng", "filter_location_gb_eng_york"}));
    EXPECT_EQ(ServedLocale(), "");

    Serve(kAccount, R"({"data": {"selectedLanguage": "cy_GB"}})");
    Update(kReady, "true");
    EXPECT_EQ(ServedLocale(), "cy_GB");
    const FakeHost::ServedResponse response = Get(kFilters);
    EXPECT_TRUE(response.released);
}

TEST_F(ContentTargetingPluginInputs, EveryKindOffPublishesAnEmptyListOnEveryPass) {
    Serve(kConfig, kEnabledOnly);
    Start();
    EXPECT_EQ(PublishedFilters(), std::vector<Strings>{Strings{}});
    ASSERT_EQ(TelemetryPosts().size(), 1u);
    EXPECT_EQ(TelemetryPosts()[0].at("filters"), "");

    // Identical configuration: recorded again, computed and published again.
    AdvanceMs(40);
    Update(kConfig, kEnabledOnly);
    EXPECT_EQ(PublishedFilters().size(), 2u);
    EXPECT_EQ(Recorded("time_to_platformConfig"), "1704067200040");
    EXPECT_EQ(TelemetryPosts().size(), 1u);
}

TEST_F(ContentTargetingPluginInputs, EachPublicationGoesOutUnderBothEventNames) {
    Serve(kConfig, kEnabledOnly);
    Start();
    Strings names;
    for (const auto& event : host_.PostedEvents()) names.push_back(event.name);
    EXPECT_EQ(names, (Strings{kFiltersEvent, "OnJsonApiEvent"}));
    for (const auto& event : host_.PostedEvents()) {
        EXPECT_EQ(event.payload.Member("uri").AsString(), kFilters);
        EXPECT_EQ(event.payload.Member("eventType").AsString(), "Update");
        EXPECT_TRUE(event.payload.Member("data").HasMember("filters"));
    }
}

TEST_F(ContentTargetingPluginInputs, LoginBeforeConfigurationTimesFromTheLogin) {
    Serve(kLogin, kLoggedIn);
    Start();
    AdvanceMs(1500);
    Update(kConfig, kEnabledOnly);
    EXPECT_EQ(Recorded("time_to_platformConfig"), "1500");
    ASSERT_EQ(TelemetryPosts().size(), 1u);
    EXPECT_EQ(TelemetryPosts()[0],
              (Fields{{"filters", ""}, {"time_to_filters", "1500"}, {"time_to_platformConfig", "1500"}}));
}

TEST_F(ContentTargetingPluginInputs, ConfigurationBeforeLoginTimesFrom1970) {
    Serve(kConfig, kEnabledOnly);
    Start();
    EXPECT_EQ(Recorded("time_to_platformConfig"), "1704067200000");
    EXPECT_EQ(TelemetryPosts().at(0).at("time_to_platformConfig"), "1704067200000");

    // The login itself records nothing and computes nothing.
    AdvanceMs(2000);
    Update(kLogin, kLoggedIn);
    EXPECT_EQ(PublishedFilters().size(), 1u);
    AdvanceMs(250);
    Update(kConfig, kEnabledOnly);
    EXPECT_EQ(Recorded("time_to_platformConfig"), "250");
}

TEST_F(ContentTargetingPluginInputs, LoginNeedsSucceededStateAndBothIds) {
    struct Row {
        const char* session;
        bool loggedIn;
    };
    const Row rows[] = {
        {R"({"state": "SUCCEEDED", "summonerId": 11, "accountId": 0})", false},
        {R"({"state": "SUCCEEDED", "summonerId": 0, "accountId": 22})", false},
        {R"({"state": 3, "summonerId": 11, "accountId": 22})", false},
        {R"({"state": "IN_PROGRESS", "summonerId": 11, "accountId": 22})", false},
        {R"({"state": 1, "summonerId": 11, "accountId": 22})", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.session);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kConfig, Json(kLevelOn));
        host.ServeValue(kLogin, Json(row.session));
        host.ServeValue(kSummoner, Json(R"({"summonerLevel": 10})"));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        bool summonerRequested = false;
        for (const auto& request : host.Requests()) summonerRequested |= request.url == kSummoner;
        EXPECT_EQ(summonerRequested, row.loggedIn);
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPluginInputs, LoginWithAccountIdZeroWaitsForARealLogin) {
    Serve(kConfig, kLevelOn);
    Serve(kLogin, R"({"state": "SUCCEEDED", "summonerId": 11, "accountId": 0})");
    Serve(kSummoner, R"({"summonerLevel": 10})");
    Start();
    EXPECT_TRUE(PublishedFilters().empty());
    Update(kLogin, kLoggedIn);
    EXPECT_EQ(PublishedFilters(), std::vector<Strings>{Strings{"filter_level_10"}});
}

TEST_F(ContentTargetingPluginInputs, DeleteOfTheConfigurationFreezesWhatIsServed) {
    Serve(
        kConfig,
        R"({"Enabled": true, "LevelFilterEnabled": true, "Mapping": "{\"PL\": {\"Enabled\": true, \"Locale\": \"pl_PL\"}}"})");
    Serve(kLogin, kLoggedIn);
    Serve(kSummoner, R"({"summonerLevel": 42})");
    Serve(kRegion, R"({"locale": "pl_PL"})");
    Serve(kGeo, R"({"success": true, "geoInfo": {"country": "PL"}})");
    Start();
    EXPECT_EQ(ServedFilters(), Strings{"filter_level_42"});
    EXPECT_EQ(ServedLocale(), "pl_PL");
    const std::size_t posted = host_.PostedEvents().size();

    AdvanceMs(10);
    Remove(kConfig);
    EXPECT_EQ(Recorded("time_to_platformConfig"), "10");
    Update(kSummoner, R"({"summonerLevel": 43})");
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "DE"}})");
    EXPECT_EQ(host_.PostedEvents().size(), posted);
    EXPECT_EQ(ServedFilters(), Strings{"filter_level_42"});
    EXPECT_EQ(ServedLocale(), "pl_PL");
}

TEST_F(ContentTargetingPluginInputs, GeoLookupFailureKeepsTheLastLocation) {
    Serve(kConfig, R"({"Enabled": true, "LocationFiltersEnabled": true})");
    Serve(kGeo, R"({"success": true, "geoInfo": {"country": "US", "region": "CA"}})");
    Start();
    EXPECT_EQ(PublishedFilters().size(), 1u);

    AdvanceMs(5);
    Update(kGeo, R"({"success": false, "geoInfo": {"country": "FR"}, "errorMessage": "timeout"})");
    Remove(kGeo);  // a Delete is a failed lookup too
    EXPECT_EQ(PublishedFilters().size(), 1u);
    EXPECT_EQ(Recorded("time_to_geoinfo"), "1704067200000");

    // Success with nothing known stores the unknown location: the gate closes.
    Update(kGeo, R"({"success": true, "geoInfo": {}})");
    EXPECT_EQ(PublishedFilters().size(), 1u);
    EXPECT_EQ(Recorded("time_to_geoinfo"), "1704067200005");
    EXPECT_EQ(ServedFilters(), (Strings{"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_"}));
}

TEST_F(ContentTargetingPluginInputs, LocationPartsAreFoldedAndEncoded) {
    struct Row {
        const char* geo;
        Strings expected;
    };
    const Row rows[] = {
        {R"({"country": "US", "region": "CA", "city": ""})",
         {"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_"}},
        {R"({"country": "US", "region": "CA", "city": "Los Angeles"})",
         {"filter_location_us", "filter_location_us_ca", "filter_location_us_ca_los_angeles"}},
        {R"({"country": "BR", "region": "SP", "city": "São Paulo"})",
         {"filter_location_br", "filter_location_br_sp", "filter_location_br_sp_s%C3%A3o_paulo"}},
        {R"({"country": "X/Y", "region": "A B/C", "city": "d"})",
         {"filter_location_x%2Fy", "filter_location_x%2Fy_a_b%2Fc", "filter_location_x%2Fy_a_b%2Fc_d"}},
    };
    Serve(kConfig, R"({"Enabled": true, "LocationFiltersEnabled": true})");
    Start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.geo);
        Update(kGeo, std::string(R"({"success": true, "geoInfo": )") + row.geo + "}");
        EXPECT_EQ(PublishedFilters().back(), row.expected);
        EXPECT_EQ(ServedFilters(), row.expected);
    }
}

TEST_F(ContentTargetingPluginInputs, TelemetryIsPostedOnceWithoutLocationFilters) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, R"({"Enabled": true, "LevelFilterEnabled": true, "LocationFiltersEnabled": true})");
    Start();
    AdvanceMs(100);
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "PL", "region": "MZ", "city": "Warszawa"}})");
    EXPECT_TRUE(TelemetryPosts().empty());  // the level is still missing
    AdvanceMs(200);
    Update(kSummoner, R"({"summonerLevel": 5})");
    ASSERT_EQ(PublishedFilters().size(), 1u);
    EXPECT_EQ(PublishedFilters()[0], (Strings{"filter_level_5", "filter_location_pl", "filter_location_pl_mz",
                                              "filter_location_pl_mz_warszawa"}));
    ASSERT_EQ(TelemetryPosts().size(), 1u);
    EXPECT_EQ(TelemetryPosts()[0], (Fields{{"filters", "filter_level_5"},
                                           {"time_to_filters", "300"},
                                           {"time_to_geoinfo", "100"},
                                           {"time_to_platformConfig", "0"},
                                           {"time_to_summoner", "300"}}));
    // Later passes record values but never post again.
    AdvanceMs(50);
    Update(kSummoner, R"({"summonerLevel": 6})");
    EXPECT_EQ(PublishedFilters().size(), 2u);
    EXPECT_EQ(TelemetryPosts().size(), 1u);
    EXPECT_EQ(Recorded("time_to_filters"), "350");
    EXPECT_TRUE(Traced("Content Targeting Adding Telemetry event: time_to_filters [350]"));
}

TEST_F(ContentTargetingPluginInputs, UnconvertibleUpdatesAreDropped) {
    Serve(kConfig, kLevelOn);
    Serve(kLogin, kLoggedIn);
    Serve(kSummoner, R"({"summonerLevel": 10})");
    Start();
    // The summoner's watch delivers inside the configuration handler, which
    // then computes once more itself: two passes.
    ASSERT_EQ(PublishedFilters().size(), 2u);
    Update(kConfig, R"({"Enabled": "yes"})");
    Update(kSummoner, R"({"summonerLevel": -4})");
    EXPECT_EQ(PublishedFilters().size(), 2u);
    EXPECT_TRUE(
        Traced("Couldn't convert resource HpkBeArxContentTargetingPlatformConfig to C++ while handling "
               "update for URL: /arx-platform-config/v1/namespaces/TvxContentTargeting"));
    EXPECT_EQ(ServedFilters(), Strings{"filter_level_10"});
}

TEST_F(ContentTargetingPluginInputs, ANewLoginTakesANewTimeButFetchesNothingAgain) {
    Serve(kLogin, kLoggedIn);
    Serve(kConfig, kLevelOn);
    Serve(kSummoner, R"({"summonerLevel": 10})");
    Start();
    AdvanceMs(1000);
    Update(kLogin, kLoggedOut);
    AdvanceMs(1000);
    Update(kLogin, kLoggedIn);
    AdvanceMs(70);
    Update(kConfig, kLevelOn);
    EXPECT_EQ(Recorded("time_to_platformConfig"), "70");
    std::size_t summonerFetches = 0;
    for (const std::string& url : RequestedUrls()) summonerFetches += url == kSummoner;
    EXPECT_EQ(summonerFetches, 1u);
    // Nothing is reset on logout: the last list is still served.
    EXPECT_EQ(ServedFilters(), Strings{"filter_level_10"});
}

TEST_F(ContentTargetingPluginInputs, AFullRunReleasesEverythingItHandedOver) {
    auto run = [] {
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig, Json(R"({"Enabled": true, "LevelFilterEnabled": true, "LaneFilterEnabled": true,
                                          "LocationFiltersEnabled": true, "Mapping": "{\"PL\": {\"Enabled\": true, \"Locale\": \"pl_PL\"}}"})"));
        host.ServeValue(kGames, Json(GamesJson(7, Repeat(7, 420, "jungle")).c_str()));
        host.ServeValue(kSummoner, Json(R"({"summonerLevel": 31})"));
        host.ServeValue(kRegion, Json(R"({"locale": "en_US"})"));
        host.ServeValue(kGeo, Json(R"({"success": true, "geoInfo": {"country": "PL"}})"));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        for (const char* path : {kFilters, kLocale}) {
            host.CallEndpoint(*FakeHost::FindEndpoint(*session.Record().hostTable, path), 2, path);
        }
        EXPECT_EQ(static_cast<ContentTargetingPlugin&>(session.Plugin()).Filters().filters,
                  (Strings{"filter_level_31", "filter_location_pl", "filter_location_pl_", "filter_location_pl__",
                           "filter_lane_jungle"}));
        EXPECT_EQ(host.UnreleasedResponses(), 0);
        session.Shutdown();
    };
    run();  // first use creates process-wide parts (log manager, type records)
    const LeakCheck leaks;
    run();
    EXPECT_EQ(leaks.BlockDelta(), 0);
    EXPECT_EQ(leaks.ByteDelta(), 0);
}

}  // namespace
}  // namespace hpk::content_targeting::testing
