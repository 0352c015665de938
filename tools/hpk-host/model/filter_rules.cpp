// The filter list, the location parts and the locale choice, with reasons.
#include "model/filter_rules.h"

#include <algorithm>
#include <limits>

#include "diagnostics/positional_format.h"
#include "model/model_messages.h"

namespace hpk::host {

namespace {

constexpr std::uint32_t kRankedLevel = 30;
constexpr std::int32_t kLaneQueues[] = {400, 420, 440};
// The order the lane filters are appended in.
constexpr const char* kLaneOrder[] = {"jungle", "top", "mid", "bottom"};
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;

std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Seconds since 1970 at the 30-day cutoff for a clock reading.
std::int64_t CutoffSecond(std::int64_t nowTicks) { return (nowTicks - kModelRevivalTicks) / kModelTicksPerSecond; }

void Revival(const FilterInputs& in, std::size_t walked, bool explain, FilterDerivation& out) {
    // A count that claims games the list does not hold has no newest game:
    // such a player counts as one without games.
    if (walked == 0) {
        if (in.level >= kRankedLevel) {
            out.filters.push_back("filter_revival_true");
            if (explain) out.reasons.push_back(FormatPositional(kMsgWhyRevivalByLevel, in.level));
        } else {
            if (explain) out.reasons.push_back(FormatPositional(kMsgWhyNoRevivalByLevel, in.level));
        }
        return;
    }
    std::uint64_t newest = 0;
    for (std::size_t i = 0; i < walked; ++i) newest = std::max(newest, in.games.champions[i].timestamp);
    const std::uint64_t lastSecond = newest / 1000;
    auto before = [&](std::int64_t cutoff) { return cutoff > 0 && lastSecond < static_cast<std::uint64_t>(cutoff); };
    const std::int64_t nowMilliseconds = in.nowLow / kModelTicksPerMillisecond;
    // A timestamp past what a signed count holds is far in the future anyway.
    const auto newestMilliseconds = static_cast<std::int64_t>(
        std::min<std::uint64_t>(newest, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())));
    const long long daysAgo = static_cast<long long>((nowMilliseconds - newestMilliseconds) / kMillisecondsPerDay);
    if (before(CutoffSecond(in.nowLow))) {
        out.filters.push_back("filter_revival_true");
        if (explain) out.reasons.push_back(FormatPositional(kMsgWhyRevivalByGames, daysAgo));
    } else if (!before(CutoffSecond(in.nowHigh))) {
        if (explain) out.reasons.push_back(FormatPositional(kMsgWhyNoRevivalByGames, daysAgo));
    } else {
        out.revivalUndecided = true;
        out.revivalAt = out.filters.size();
        if (explain) out.reasons.push_back(kMsgWhyRevivalUndecided);
    }
}

void Lanes(const FilterInputs& in, std::size_t walked, bool explain, FilterDerivation& out) {
    if (in.games.gameCount == 0) {
        if (explain) out.reasons.push_back(kMsgWhyNoLanesNoGames);
        return;
    }
    std::uint32_t counts[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < walked; ++i) {
        const ModelGame& game = in.games.champions[i];
        if (std::find(std::begin(kLaneQueues), std::end(kLaneQueues), game.queue) == std::end(kLaneQueues)) continue;
        const std::string lane = AsciiLower(game.lane);
        for (std::size_t k = 0; k < 4; ++k) counts[k] += lane == kLaneOrder[k] ? 1 : 0;
    }
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string name = std::string("filter_lane_") + kLaneOrder[k];
        const bool on = counts[k] >= in.config.LaneFilterThreshold;
        if (on) out.filters.push_back(name);
        if (explain)
            out.reasons.push_back(FormatPositional(on ? kMsgWhyLane : kMsgWhyNoLane, name, counts[k],
                                                   static_cast<unsigned>(walked), kLaneOrder[k],
                                                   in.config.LaneFilterThreshold));
    }
}

}  // namespace

std::vector<std::vector<std::string>> FilterDerivation::Candidates() const {
    std::vector<std::vector<std::string>> lists{filters};
    if (revivalUndecided) {
        std::vector<std::string> with = filters;
        with.insert(with.begin() + static_cast<std::ptrdiff_t>(revivalAt), "filter_revival_true");
        lists.push_back(std::move(with));
    }
    return lists;
}

BindingValue FiltersValue(const std::vector<std::string>& filters) {
    BindingValue value;
    BindingValue& list = value.Member("filters");
    list.MakeCollection();
    for (const std::string& filter : filters) list.Append().SetString(filter);
    return value;
}

std::string JoinTexts(const std::vector<std::string>& texts, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i != 0) out += separator;
        out += texts[i];
    }
    return out;
}

std::string FormatLocationPart(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char raw : text) {
        char c = raw == ' ' ? '_' : raw;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        const bool kept =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
        if (kept) {
            out.push_back(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
    return out;
}

FilterDerivation DeriveFilters(const FilterInputs& in, bool explain) {
    FilterDerivation out;
    const ModelPlatformConfig& config = in.config;
    if (!config.Enabled) out.closed.push_back(FilterGate::Disabled);
    if (config.LocationFiltersEnabled && in.geo.Unknown()) out.closed.push_back(FilterGate::NoLocation);
    if ((config.LevelFilterEnabled || config.RankedFilterEnabled) && in.level == 0) {
        out.closed.push_back(FilterGate::NoLevel);
    }
    if ((config.RevivalFilterEnabled || config.LaneFilterEnabled) && !in.gamesReceived) {
        out.closed.push_back(FilterGate::NoGames);
    }
    if (!out.closed.empty()) return out;

    if (config.LevelFilterEnabled) {
        out.filters.push_back("filter_level_" + std::to_string(in.level));
        if (explain) out.reasons.push_back(FormatPositional(kMsgWhyLevel, out.filters.back(), in.level));
    }
    if (config.RankedFilterEnabled) {
        const bool ranked = in.level >= kRankedLevel;
        out.filters.push_back(ranked ? "filter_ranked_enabled" : "filter_ranked_disabled");
        if (explain)
            out.reasons.push_back(
                FormatPositional(ranked ? kMsgWhyRanked : kMsgWhyUnranked, out.filters.back(), in.level));
    }
    if (config.LocationFiltersEnabled) {
        const std::string country = "filter_location_" + FormatLocationPart(in.geo.country);
        const std::string region = country + "_" + FormatLocationPart(in.geo.region);
        out.filters.push_back(country);
        out.filters.push_back(region);
        out.filters.push_back(region + "_" + FormatLocationPart(in.geo.city));
        if (explain)
            out.reasons.push_back(FormatPositional(kMsgWhyLocation, in.geo.country, in.geo.region, in.geo.city));
    }
    // Only the first `gameCount` games count, and never past the list's end.
    const std::size_t walked = std::min<std::size_t>(in.games.gameCount, in.games.champions.size());
    if (config.RevivalFilterEnabled) Revival(in, walked, explain, out);
    if (config.LaneFilterEnabled) Lanes(in, walked, explain, out);
    return out;
}

LocaleDerivation DeriveLocale(const LocaleInputs& in, bool explain) {
    LocaleDerivation out;
    if (!in.enabled) {
        out.rule = LocaleRule::Off;
        return out;
    }
    if (in.regionLocale.empty()) {
        out.rule = LocaleRule::NoRegion;
        return out;
    }
    if (!in.selectedLanguage.empty() && in.selectedLanguage != "auto") {
        out.rule = LocaleRule::Language;
        out.chosen = true;
        out.locale = in.selectedLanguage;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleLanguage, in.selectedLanguage);
        return out;
    }
    const char* language = in.selectedLanguage.empty() ? kMsgWhyNoLanguage : kMsgWhyLanguageAuto;
    if (in.mapping == nullptr || in.mapping->IsEmpty()) {
        out.rule = LocaleRule::NoMapping;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleNoMapping, language);
        return out;
    }
    if (in.geo.Unknown()) {
        out.rule = LocaleRule::NoLocation;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleNoLocation, language);
        return out;
    }
    if (in.mapping->Kind() != BindingValueKind::Structure || !in.mapping->HasMember(in.geo.country)) {
        out.rule = LocaleRule::NoCountry;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleNoCountry, language, in.geo.country);
        return out;
    }
    const BindingValue& entry = in.mapping->Member(in.geo.country);
    const BindingValue& enabled = entry.Member("Enabled");
    if (entry.Kind() != BindingValueKind::Structure || enabled.Kind() != BindingValueKind::Bool || !enabled.AsBool()) {
        out.rule = LocaleRule::EntryOff;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleEntryOff, language, in.geo.country);
        return out;
    }
    if (!entry.HasMember("Locale")) {
        out.rule = LocaleRule::NoLocale;
        if (explain) out.reason = FormatPositional(kMsgWhyLocaleNoLocale, language, in.geo.country);
        return out;
    }
    const BindingValue& locale = entry.Member("Locale");
    out.rule = LocaleRule::Mapped;
    out.chosen = true;
    out.locale = locale.Kind() == BindingValueKind::String ? std::string(locale.AsString()) : std::string();
    if (explain)
        out.reason = FormatPositional(
            locale.Kind() == BindingValueKind::String ? kMsgWhyLocaleMapped : kMsgWhyLocaleMappedNotText, language,
            in.geo.country, out.locale);
    return out;
}

}  // namespace hpk::host
