// The model's filter and locale rules: from the inputs the feature holds, the
// filters it serves and the locale it chooses, each with the reason for it.
// Pure functions; the clock enters as the window the plugin's reading of it
// must fall in.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "model/model_records.h"

namespace hpk::host {

// Thirty days of inactivity in 100-ns ticks, and the tick rates the rules use.
inline constexpr std::int64_t kModelRevivalTicks = 25'920'000'000'000;
inline constexpr std::int64_t kModelTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kModelTicksPerMillisecond = 10'000;

// The gates of the computation, in the order it checks them.
enum class FilterGate : std::uint8_t {
    Disabled = 0,    // the feature is switched off
    NoLocation = 1,  // location filters on, location unknown
    NoLevel = 2,     // level or ranked filters on, level 0
    NoGames = 3,     // revival or lane filters on, no games received
};

struct FilterInputs {
    ModelPlatformConfig config;
    ModelGeoInfo geo;
    std::uint32_t level = 0;
    bool gamesReceived = false;
    ModelGames games;
    std::int64_t nowLow = 0;  // the clock's window during the computation, ticks since 1970
    std::int64_t nowHigh = 0;
};

struct FilterDerivation {
    std::vector<FilterGate> closed;  // every gate that holds; nothing is computed when one does
    std::vector<std::string> filters;
    // When the 30-day rule's cutoff falls inside the clock window, either
    // answer is right: `filters` is the list without the revival filter, which
    // would stand at `revivalAt`.
    bool revivalUndecided = false;
    std::size_t revivalAt = 0;
    // One per filter kind switched on, in the list's order: "filter_level_42:
    // level 42", "no revival filter: last game 12 days ago, within 30 days";
    // only when asked for.
    std::vector<std::string> reasons;

    // The lists the plugin may serve: one, or two when revival is undecided.
    std::vector<std::vector<std::string>> Candidates() const;
};

// With `explain`, `reasons` is filled too.
FilterDerivation DeriveFilters(const FilterInputs& in, bool explain = false);

// The served record of a list: {"filters": [...]}.
BindingValue FiltersValue(const std::vector<std::string>& filters);
// The texts joined by `separator`.
std::string JoinTexts(const std::vector<std::string>& texts, const char* separator);

// A location string as a filter component: spaces to "_", ASCII lower case,
// then percent-encoded byte by byte (A-Z a-z 0-9 - . _ ~ kept, "%XX" upper case).
std::string FormatLocationPart(std::string_view text);

enum class LocaleRule : std::uint8_t {
    Off = 0,         // the feature is switched off
    NoRegion = 1,    // no region locale yet
    Language = 2,    // the player's own language
    Mapped = 3,      // the country's enabled mapping entry
    NoMapping = 4,   // "auto" or none, and no mapping
    NoLocation = 5,  // ... and the location unknown
    NoCountry = 6,   // ... and the mapping has no entry for the country
    EntryOff = 7,    // ... and the entry's Enabled is not the boolean true
    NoLocale = 8,    // ... and the entry has no Locale
};

struct LocaleInputs {
    bool enabled = false;
    std::string regionLocale;
    std::string selectedLanguage;
    const BindingValue* mapping = nullptr;  // null: none parsed yet
    ModelGeoInfo geo;
};

struct LocaleDerivation {
    LocaleRule rule = LocaleRule::Off;
    bool chosen = false;  // Language and Mapped choose; the others leave the locale as it is
    std::string locale;
    std::string reason;
};

// With `explain`, `reason` is filled too.
LocaleDerivation DeriveLocale(const LocaleInputs& in, bool explain = false);

}  // namespace hpk::host
