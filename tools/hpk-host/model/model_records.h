// The records the content targeting feature reads from other plugins'
// resources, as the model holds them, and the reading of each from a value
// by the conversion rules of the plugin's type system: a member missing or
// empty keeps the field's default, a member of the wrong kind fails the whole
// record. Written from the contract, apart from the plugin, so that a fault in
// either side shows.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "text/outcome.h"

namespace hpk::host {

struct ModelGeoInfo {
    std::string country;
    std::string city;
    std::string region;
    // The unknown-location value: all three empty.
    bool Unknown() const { return country.empty() && city.empty() && region.empty(); }
};

struct ModelPlatformConfig {
    bool Enabled = false;
    std::string Mapping;
    bool RevivalFilterEnabled = false;
    bool LaneFilterEnabled = false;
    std::uint32_t LaneFilterThreshold = 7;
    bool LevelFilterEnabled = false;
    bool RankedFilterEnabled = false;
    bool LocationFiltersEnabled = false;
};

// LoginSessionState: IN_PROGRESS 0, ERROR 3, SUCCEEDED 1, LOGGING_OUT 2.
inline constexpr std::int32_t kLoginSucceeded = 1;

struct ModelLoginSession {
    std::int32_t state = 0;
    std::uint64_t summonerId = 0;
    std::uint64_t accountId = 0;
};

struct ModelGeoResponse {
    bool success = false;
    ModelGeoInfo geoInfo;
};

struct ModelGame {
    std::int32_t queue = 0;
    std::string lane;
    std::uint64_t timestamp = 0;  // milliseconds since 1970
};

struct ModelGames {
    std::uint32_t gameCount = 0;
    std::vector<ModelGame> champions;
};

// PluginResourceEventType: Create 0, Update 1, Delete 2.
inline constexpr std::int32_t kEventDelete = 2;

// A resource event as the plugin decodes it from a delivered payload.
struct ModelEvent {
    std::string uri;
    std::int32_t eventType = 0;
    BindingValue data;
};

// Each reads `value` as the record (missing members keep the record's
// defaults), or fails saying which member did not fit.
Outcome<ModelEvent> ReadEvent(const BindingValue& value);
Outcome<ModelLoginSession> ReadLoginSession(const BindingValue& value);
Outcome<ModelPlatformConfig> ReadPlatformConfig(const BindingValue& value);
Outcome<std::string> ReadRegionLocale(const BindingValue& value);
Outcome<bool> ReadReady(const BindingValue& value);
Outcome<ModelGeoResponse> ReadGeoResponse(const BindingValue& value);
Outcome<std::uint32_t> ReadSummonerLevel(const BindingValue& value);
Outcome<ModelGames> ReadGames(const BindingValue& value);
// SettingsResource: its one member `data`, any value.
Outcome<BindingValue> ReadSettings(const BindingValue& value);

}  // namespace hpk::host
