// The filter list as a pure function of what the plugin knows about the
// player and of the current time. Storing, publishing and telemetry are the
// plugin's (content_targeting_plugin.h).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content_targeting/records.h"

namespace hpk::content_targeting {

// Thirty days of inactivity, in 100-ns ticks; the revival rule's window.
inline constexpr std::int64_t kRevivalInactivityTicks = 25'920'000'000'000;
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::uint64_t kMillisecondsPerSecond = 1000;
// Level at which ranked play opens; also the revival rule for players
// without recent games.
inline constexpr std::uint32_t kRankedLevel = 30;

// Everything one computation reads. Borrowed for the call.
struct FilterInputs {
    const Vela::Client::Api::PlatformConfig& config;
    const Vela::Client::Api::GeoInfo& geoInfo;
    std::uint32_t summonerLevel;
    bool recentChampionsReceived;
    const Vela::Client::Api::ChampionGamesCollection& recentGames;
    const std::vector<std::int32_t>& laneQueues;  // queues whose games count towards lanes
    std::int64_t nowTicks;                        // 100-ns ticks since 1970 UTC
};

// True when every input that an enabled filter kind needs has arrived, so
// that a partial list is never produced.
[[nodiscard]] bool FilterGatesOpen(const FilterInputs& inputs);

// Builds the list in its fixed order (level, ranked, location, revival,
// lanes) into `filters`, replacing its content. Returns false and leaves
// `filters` untouched while a gate is closed. Only the first `gameCount`
// games count, and never more than the list holds.
[[nodiscard]] bool ComputeFilterList(std::vector<std::string>& filters, const FilterInputs& inputs);

// One location string as a filter component: spaces become "_", ASCII
// letters are lower-cased, then the bytes are percent-encoded with "/" as
// %2F. "São Paulo" gives "s%C3%A3o_paulo".
std::string FormatLocationPart(std::string_view text);

}  // namespace hpk::content_targeting
