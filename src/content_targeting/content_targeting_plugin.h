// ContentTargetingPlugin: the plugin object of this library. It follows the
// player's login, the feature's configuration and the facts other plugins
// serve about the player, derives the filter list and the content locale
// from them, serves both, announces each change, and reports once how long
// each input took to arrive after the login.
//
// Threads: every handler and both served GETs run on the host's calls, one at
// a time (see plugin_base.h); the state below has no lock. Handlers run nested
// inside one another through a watch's immediate delivery, so each finishes
// its own writes before it calls the next step.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "content_targeting/records.h"
#include "plugin/plugin_base.h"

namespace hpk::content_targeting {

// Telemetry values by name; posted as the fields of the one telemetry event.
using TelemetryValues = std::map<std::string, std::string>;

class ContentTargetingPlugin : public PluginBase {
public:
    ContentTargetingPlugin();
    ~ContentTargetingPlugin() override;

    // Records, then the two served resources.
    void RegisterApi() override;
    // Watches the five inputs; their current states arrive before it returns.
    bool Initialize() override;

    // What the served resources answer right now (tests, diagnostics).
    const Vela::Client::Api::ContentTargetingFilterResponse& Filters() const { return filters_; }
    const Vela::Client::Api::ContentTargetingLocaleResponse& Locale() const { return locale_; }
    const TelemetryValues& RecordedTelemetry() const { return telemetryValues_; }

private:
    template <class T>
    using Update = ResourceUpdate<T>;

    void RegisterResources();
    void SubscribeInputs();

    void OnLoginSession(const Update<Vela::Client::Api::LoginSession>& update);
    void OnPlatformConfig(const Update<Vela::Client::Api::PlatformConfig>& update);
    void OnRegionLocale(const Update<Vela::Client::Api::RegionLocale>& update);
    void OnSettingsReady(const Update<bool>& update);
    void OnGeoInfo(const Update<Vela::Client::Api::GeoInfoResponse>& update);
    void OnAccountSettings(const Update<Vela::Client::Api::SettingsResource>& update);
    void OnRecentChampions(const Update<Vela::Client::Api::ChampionGamesCollection>& update);
    void OnSummoner(const Update<Vela::Client::Api::Summoner>& update);

    // Once per plugin lifetime, when logged in and enabled: asks for the
    // recently played games and watches them and the summoner, as far as the
    // enabled filter kinds need them at this moment.
    void RequestPlayerData();
    void ComputeFilters();
    void ComputeLocale();
    // Milliseconds since the login (or since 1970 before any login) under `name`.
    void AddTelemetryValue(const std::string& name);
    // Posts the one telemetry event, with the filters minus location filters.
    void ReportTelemetry(const std::vector<std::string>& filters);

    bool loggedIn_ = false;
    std::int64_t loginTime_ = 0;  // 100-ns ticks since 1970 UTC
    bool playerDataRequested_ = false;
    bool recentChampionsReceived_ = false;
    bool filtersReported_ = false;
    TelemetryValues telemetryValues_;
    Vela::Client::Api::GeoInfo geoInfo_;
    Vela::Client::Api::ContentTargetingLocaleResponse locale_;
    Vela::Client::Api::ContentTargetingFilterResponse filters_;
    Vela::Client::Api::ChampionGamesCollection recentGames_;
    Vela::Client::Api::PlatformConfig platformConfig_;
    std::string regionLocale_;
    std::uint32_t summonerLevel_ = 0;
    std::string selectedLanguage_;
    BindingValue localeMapping_;  // parsed Mapping; empty until one parsed
    const std::vector<std::int32_t> laneQueues_;
};

}  // namespace hpk::content_targeting
