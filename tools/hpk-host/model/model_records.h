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

// Each reads `value` into `out` (which starts at the record's defaults) and
// returns true, or false with `why` saying which member did not fit.
[[nodiscard]] bool ReadEvent(ModelEvent& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadLoginSession(ModelLoginSession& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadPlatformConfig(ModelPlatformConfig& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadRegionLocale(std::string& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadReady(bool& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadGeoResponse(ModelGeoResponse& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadSummonerLevel(std::uint32_t& out, const BindingValue& value, std::string& why);
[[nodiscard]] bool ReadGames(ModelGames& out, const BindingValue& value, std::string& why);
// SettingsResource: its one member `data`, any value.
[[nodiscard]] bool ReadSettings(BindingValue& data, const BindingValue& value, std::string& why);

}  // namespace hpk::host
