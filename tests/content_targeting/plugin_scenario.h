// Test fixture that loads the library's own plugin through the loader against a
// FakeHost, with a fixed clock, and reads back what the plugin served,
// published and reported.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "content_targeting/content_targeting_plugin.h"
#include "formats/json_reader.h"
#include "plugin/plugin_base.h"
#include "router/request_method.h"
#include "support/fake_host.h"

namespace hpk::content_targeting::testing {

using Strings = std::vector<std::string>;
using Fields = std::map<std::string, std::string>;

inline constexpr char kLogin[] = "/arx-login/v1/session";
inline constexpr char kConfig[] = "/arx-platform-config/v1/namespaces/TvxContentTargeting";
inline constexpr char kRegion[] = "/vodivozaze/get_region_locale";
inline constexpr char kReady[] = "/arx-settings/v2/ready";
inline constexpr char kGeo[] = "/arx-geoinfo/v1/whereami";
inline constexpr char kAccount[] = "/arx-settings/v2/account/TVXPreferences/arx-content-targeting";
inline constexpr char kGamesTrigger[] = "/arx-acs/v2/request-recently-played-champions/current-summoner";
inline constexpr char kGames[] = "/arx-acs/v2/recently-played-champions/current-summoner";
inline constexpr char kSummoner[] = "/arx-summoner/v1/current-summoner";
inline constexpr char kFilters[] = "/arx-content-targeting/v1/filters";
inline constexpr char kLocale[] = "/arx-content-targeting/v1/locale";
inline constexpr char kFiltersEvent[] = "OnJsonApiEvent_arx-content-targeting_v1_filters";
inline constexpr char kLocaleEvent[] = "OnJsonApiEvent_arx-content-targeting_v1_locale";
inline constexpr char kTelemetryUrl[] = "/telemetry/v1/events/hpk_be_arx_content_targeting";

inline constexpr char kLoggedIn[] = R"({"state": "SUCCEEDED", "summonerId": 11, "accountId": 22})";
inline constexpr char kLoggedOut[] = R"({"state": "LOGGING_OUT", "summonerId": 11, "accountId": 22})";

// 2024-01-01 00:00:00 UTC in 100-ns ticks since 1970.
inline constexpr std::int64_t kStartSecond = 1'704'067'200;
inline constexpr std::int64_t kStartTicks = kStartSecond * 10'000'000;
inline constexpr std::int64_t kTicksPerMs = 10'000;

inline BindingValue Json(const char* text) {
    BindingResult parsed = ParseJson(text);
    EXPECT_TRUE(parsed.IsOk()) << text << ": " << parsed.ErrorText();
    BindingValue value;
    parsed.TakeValue(value);
    return value;
}

inline Strings StringList(const BindingValue& list) {
    Strings strings;
    for (std::size_t i = 0; i < list.Size(); ++i) strings.emplace_back(list.Element(i).AsString());
    return strings;
}

struct GameRow {
    std::int32_t queue;
    std::string lane;
    std::uint64_t timestamp;  // ms since 1970
};

// A recently-played collection with `gameCount` as given (not the list length).
inline std::string GamesJson(std::uint32_t gameCount, const std::vector<GameRow>& games) {
    std::string json = "{\"gameCount\": " + std::to_string(gameCount) + ", \"champions\": [";
    for (std::size_t i = 0; i < games.size(); ++i) {
        if (i != 0) json += ", ";
        json += "{\"championId\": " + std::to_string(i + 1) + ", \"queue\": " + std::to_string(games[i].queue) +
                ", \"lane\": \"" + games[i].lane +
                "\", \"role\": \"SOLO\", \"timestamp\": " + std::to_string(games[i].timestamp) + "}";
    }
    return json + "]}";
}

// `count` games in `queue` and `lane`, played an hour before the start.
inline std::vector<GameRow> Repeat(std::size_t count, std::int32_t queue, const std::string& lane) {
    return std::vector<GameRow>(count, GameRow{queue, lane, static_cast<std::uint64_t>(kStartSecond - 3600) * 1000});
}

inline std::vector<GameRow> Join(std::initializer_list<std::vector<GameRow>> parts) {
    std::vector<GameRow> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class ContentTargetingScenario : public ::testing::Test {
protected:
    void TearDown() override {
        if (session_.IsLoaded()) session_.Shutdown();
    }

    // The current state of `uri` as the host will answer it.
    void Serve(const std::string& uri, const std::string& json) { host_.ServeValue(uri, Json(json.c_str())); }

    // Loads the plugin, fixes its clock and starts it: the scripted inputs
    // arrive inside this call.
    void Start() {
        ASSERT_TRUE(session_.Load());
        Plugin().SetClock([this] { return now_; });
        Plugin().SetTraceSink([this](const std::string& line) { traces_.push_back(line); });
        ASSERT_TRUE(session_.Init());
    }

    void Deliver(const std::string& uri, PluginResourceEventType type, const std::string& json) {
        ASSERT_TRUE(host_.DeliverResourceEvent(uri, type, json.empty() ? BindingValue() : Json(json.c_str())))
            << "nobody subscribed to " << uri;
    }
    void Update(const std::string& uri, const std::string& json) {
        Deliver(uri, PluginResourceEventType::Update, json);
    }
    void Remove(const std::string& uri) { Deliver(uri, PluginResourceEventType::Delete, ""); }

    void AdvanceMs(std::int64_t ms) { now_ += ms * kTicksPerMs; }

    // Shuts the plugin down and drops the host's records: every response is
    // released and the counting allocator is back where `leaks` started.
    void ShutDownAndExpectNothingLeft(const LeakCheck& leaks) {
        session_.Shutdown();
        host_.ClearRecords();
        host_.ClearScripts();
        EXPECT_EQ(host_.UnreleasedResponses(), 0);
        EXPECT_EQ(leaks.BlockDelta(), 0);
        EXPECT_EQ(leaks.ByteDelta(), 0);
    }

    ContentTargetingPlugin& Plugin() { return static_cast<ContentTargetingPlugin&>(session_.Plugin()); }

    FakeHost::ServedResponse Get(const char* path) {
        const HostEndpointRecord* endpoint = FakeHost::FindEndpoint(*session_.Record().hostTable, path);
        EXPECT_NE(endpoint, nullptr) << path;
        if (endpoint == nullptr) return {};
        return host_.CallEndpoint(*endpoint, static_cast<std::uint32_t>(RequestMethod::Get), path);
    }
    Strings ServedFilters() {
        FakeHost::ServedResponse response = Get(kFilters);
        EXPECT_FALSE(response.error.has_value()) << *response.error;
        EXPECT_TRUE(response.body.HasMember("filters"));
        return StringList(response.body.Member("filters"));
    }
    std::string ServedLocale() {
        FakeHost::ServedResponse response = Get(kLocale);
        EXPECT_FALSE(response.error.has_value()) << *response.error;
        EXPECT_TRUE(response.body.HasMember("locale"));
        return std::string(response.body.Member("locale").AsString());
    }

    // Every filter list published under the filters resource's own event name.
    std::vector<Strings> PublishedFilters() const {
        std::vector<Strings> lists;
        for (const auto& event : host_.PostedEvents()) {
            if (event.name == kFiltersEvent)
                lists.push_back(StringList(event.payload.Member("data").Member("filters")));
        }
        return lists;
    }
    Strings PublishedLocales() const {
        Strings locales;
        for (const auto& event : host_.PostedEvents()) {
            if (event.name == kLocaleEvent)
                locales.emplace_back(event.payload.Member("data").Member("locale").AsString());
        }
        return locales;
    }
    // The fields of every telemetry event posted.
    std::vector<Fields> TelemetryPosts() const {
        std::vector<Fields> posts;
        for (const auto& request : host_.Requests()) {
            if (request.url != kTelemetryUrl) continue;
            Fields fields;
            if (!request.arguments.empty()) {
                request.arguments[0].value.ForEachMember(
                    [&](std::string_view key, const BindingValue& value) { fields[std::string(key)] = value.Text(); });
            }
            posts.push_back(fields);
        }
        return posts;
    }
    // Urls of the requests made, telemetry included, in order.
    Strings RequestedUrls() const {
        Strings urls;
        for (const auto& request : host_.Requests()) urls.push_back(request.url);
        return urls;
    }
    std::string Recorded(const std::string& name) {
        const TelemetryValues& values = Plugin().RecordedTelemetry();
        const auto found = values.find(name);
        return found == values.end() ? "<none>" : found->second;
    }
    bool Traced(const std::string& line) const {
        for (const std::string& trace : traces_) {
            if (trace == line) return true;
        }
        return false;
    }

    FakeHost host_;
    FakePluginSession session_{host_};
    std::int64_t now_ = kStartTicks;
    Strings traces_;
};

}  // namespace hpk::content_targeting::testing
