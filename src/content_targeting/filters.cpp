// The filter list: gates, then level, ranked, location, revival and lane
// filters, always in that order, since clients match on the list as served.
#include "content_targeting/filters.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "router/url_text.h"

namespace hpk::content_targeting {
namespace {

using Vela::Client::Api::ChampionGames;
using Vela::Client::Api::ChampionGamesCollection;

constexpr std::string_view kLevelPrefix = "filter_level_";
constexpr std::string_view kRankedEnabled = "filter_ranked_enabled";
constexpr std::string_view kRankedDisabled = "filter_ranked_disabled";
constexpr std::string_view kLocationPrefix = "filter_location_";
constexpr std::string_view kRevival = "filter_revival_true";
constexpr std::string_view kLanePrefix = "filter_lane_";
constexpr std::string_view kSeparator = "_";

// Counting order and appending order differ on purpose: the appended order
// (jungle first) is what clients have always received.
enum Lane : std::size_t { kTop, kJungle, kMid, kBottom, kLaneCount };
constexpr std::array<std::string_view, kLaneCount> kLaneNames = {"top", "jungle", "mid", "bottom"};
constexpr std::array<Lane, kLaneCount> kLaneAppendOrder = {kJungle, kTop, kMid, kBottom};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts) text.append(part);
    return text;
}

// The games that count: the first `gameCount`, but a payload claiming more
// games than it lists must not walk past the list.
std::size_t CountedGames(const ChampionGamesCollection& games) {
    return std::min<std::size_t>(games.gameCount, games.champions.size());
}

bool InactiveForThirtyDays(const ChampionGamesCollection& games, std::int64_t nowTicks) {
    std::uint64_t newest = 0;
    const std::size_t counted = CountedGames(games);
    for (std::size_t i = 0; i < counted; ++i) newest = std::max(newest, games.champions[i].timestamp);
    const std::uint64_t lastPlayedSecond = newest / kMillisecondsPerSecond;
    // Integer division truncates toward zero, also for a clock before 1970+30 days.
    const std::int64_t cutoffSecond = (nowTicks - kRevivalInactivityTicks) / kTicksPerSecond;
    if (cutoffSecond <= 0) return false;  // no unsigned second is below it
    return lastPlayedSecond < static_cast<std::uint64_t>(cutoffSecond);
}

void AppendLaneFilters(std::vector<std::string>& filters, const FilterInputs& inputs) {
    std::array<std::uint32_t, kLaneCount> counts{};
    const ChampionGamesCollection& games = inputs.recentGames;
    const std::size_t counted = CountedGames(games);
    for (std::size_t i = 0; i < counted; ++i) {
        const ChampionGames& game = games.champions[i];
        if (std::find(inputs.laneQueues.begin(), inputs.laneQueues.end(), game.queue) == inputs.laneQueues.end()) {
            continue;
        }
        std::string lane = game.lane;
        std::transform(lane.begin(), lane.end(), lane.begin(), AsciiLower);
        for (std::size_t l = 0; l < kLaneCount; ++l) {
            if (lane == kLaneNames[l]) ++counts[l];
        }
    }
    for (Lane lane : kLaneAppendOrder) {
        if (counts[lane] >= inputs.config.LaneFilterThreshold)
            filters.push_back(Concat({kLanePrefix, kLaneNames[lane]}));
    }
}

}  // namespace

bool FilterGatesOpen(const FilterInputs& inputs) {
    const auto& config = inputs.config;
    if (!config.Enabled) return false;
    if (config.LocationFiltersEnabled && inputs.geoInfo.IsUnknown()) return false;
    if ((config.LevelFilterEnabled || config.RankedFilterEnabled) && inputs.summonerLevel == 0) return false;
    if ((config.RevivalFilterEnabled || config.LaneFilterEnabled) && !inputs.recentChampionsReceived) return false;
    return true;
}

bool ComputeFilterList(std::vector<std::string>& filters, const FilterInputs& inputs) {
    if (!FilterGatesOpen(inputs)) return false;
    const auto& config = inputs.config;
    std::vector<std::string> list;

    if (config.LevelFilterEnabled) list.push_back(Concat({kLevelPrefix, std::to_string(inputs.summonerLevel)}));
    if (config.RankedFilterEnabled) {
        list.emplace_back(inputs.summonerLevel < kRankedLevel ? kRankedDisabled : kRankedEnabled);
    }
    if (config.LocationFiltersEnabled) {
        const std::string country = FormatLocationPart(inputs.geoInfo.country);
        const std::string region = FormatLocationPart(inputs.geoInfo.region);
        const std::string city = FormatLocationPart(inputs.geoInfo.city);
        // Empty parts stay: the three strings always nest country, region, city.
        list.push_back(Concat({kLocationPrefix, country}));
        list.push_back(Concat({kLocationPrefix, country, kSeparator, region}));
        list.push_back(Concat({kLocationPrefix, country, kSeparator, region, kSeparator, city}));
    }
    if (config.RevivalFilterEnabled) {
        // A count that claims games the list does not hold tells nothing about
        // the player's activity: such a player is treated as one without games.
        const bool revival = CountedGames(inputs.recentGames) != 0
                                 ? InactiveForThirtyDays(inputs.recentGames, inputs.nowTicks)
                                 : inputs.summonerLevel >= kRankedLevel;
        if (revival) list.emplace_back(kRevival);
    }
    if (config.LaneFilterEnabled && inputs.recentGames.gameCount != 0) AppendLaneFilters(list, inputs);

    filters = std::move(list);
    return true;
}

std::string FormatLocationPart(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = (c == ' ') ? '_' : AsciiLower(c);
    return PercentEncode(folded, true);
}

}  // namespace hpk::content_targeting
