// The records through which content targeting reads other plugins' resources
// and serves its own. Field names are the wire names, spelled as the other
// plugins spell them; registration with the type registry is in
// record_registration.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_value.h"

namespace Vela::Client::Api {

// Body of "/arx-content-targeting/v1/filters".
struct ContentTargetingFilterResponse {
    std::vector<std::string> filters;  // in the order the computation appends them
};

// Body of "/arx-content-targeting/v1/locale".
struct ContentTargetingLocaleResponse {
    std::string locale;  // empty until one is chosen
};

// This plugin's account settings document; any JSON shape.
struct SettingsResource {
    hpk::BindingValue data;
};

struct RegionLocale {
    std::string locale;
};

// The feature's platform configuration namespace. Defaults matter: a Delete
// of the namespace delivers exactly this record, switching the feature off.
struct PlatformConfig {
    bool Enabled = false;
    std::string Mapping;  // JSON text: country -> {"Enabled": bool, "Locale": string}
    bool RevivalFilterEnabled = false;
    bool LaneFilterEnabled = false;
    std::uint32_t LaneFilterThreshold = 7;
    bool LevelFilterEnabled = false;
    bool RankedFilterEnabled = false;
    bool LocationFiltersEnabled = false;
};

struct Summoner {
    std::uint32_t summonerLevel = 0;
};

// Three empty strings is the unknown-location value.
struct GeoInfo {
    std::string country;
    std::string city;
    std::string region;

    bool IsUnknown() const { return country.empty() && city.empty() && region.empty(); }
};
inline bool operator==(const GeoInfo& a, const GeoInfo& b) {
    return a.country == b.country && a.city == b.city && a.region == b.region;
}
inline bool operator!=(const GeoInfo& a, const GeoInfo& b) { return !(a == b); }

struct GeoInfoResponse {
    bool success = false;
    GeoInfo geoInfo;
    std::string errorMessage;
    bool isLatest = false;
};

// The login service's numbering: the values are not the registration order.
enum class LoginSessionState : std::int32_t {
    IN_PROGRESS = 0,
    ERROR = 3,
    SUCCEEDED = 1,
    LOGGING_OUT = 2,
};

struct LoginSession {
    LoginSessionState state = LoginSessionState::IN_PROGRESS;
    std::uint64_t summonerId = 0;
    std::uint64_t accountId = 0;
};

// One recently played game.
struct ChampionGames {
    std::int32_t championId = 0;
    std::int32_t queue = 0;
    std::string lane;  // any letter case
    std::string role;
    std::uint64_t timestamp = 0;  // milliseconds since 1970-01-01 00:00 UTC
};

struct ChampionGamesCollection {
    std::uint32_t gameCount = 0;  // how many entries of `champions` count
    std::vector<ChampionGames> champions;
};

}  // namespace Vela::Client::Api
