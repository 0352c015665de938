// Every text the content targeting feature emits, character for character:
// the resources it reads and serves, its event and telemetry names, and the
// trace and log formats. Placeholders are listed beside each one.
#pragma once

namespace hpk::content_targeting {

// Resources served by this plugin.
inline constexpr const char kFiltersUri[] = "/arx-content-targeting/v1/filters";
inline constexpr const char kLocaleUri[] = "/arx-content-targeting/v1/locale";

// Resources read from other plugins.
inline constexpr const char kLoginSessionUri[] = "/arx-login/v1/session";
inline constexpr const char kPlatformConfigUri[] = "/arx-platform-config/v1/namespaces/TvxContentTargeting";
inline constexpr const char kRegionLocaleUri[] = "/vodivozaze/get_region_locale";
inline constexpr const char kSettingsReadyUri[] = "/arx-settings/v2/ready";
inline constexpr const char kGeoInfoUri[] = "/arx-geoinfo/v1/whereami";
inline constexpr const char kAccountSettingsUri[] = "/arx-settings/v2/account/TVXPreferences/arx-content-targeting";
inline constexpr const char kRecentChampionsRequestUri[] =
    "/arx-acs/v2/request-recently-played-champions/current-summoner";
inline constexpr const char kRecentChampionsUri[] = "/arx-acs/v2/recently-played-champions/current-summoner";
inline constexpr const char kSummonerUri[] = "/arx-summoner/v1/current-summoner";

// The member of the account settings document that holds the player's language.
inline constexpr const char kSelectedLanguageMember[] = "selectedLanguage";

// Telemetry: the one event, and its value names.
inline constexpr const char kTelemetryEventName[] = "hpk_be_arx_content_targeting";
inline constexpr const char kTimeToPlatformConfig[] = "time_to_platformConfig";
inline constexpr const char kTimeToGeoInfo[] = "time_to_geoinfo";
inline constexpr const char kTimeToAccountSettings[] = "time_to_accountSettings";
inline constexpr const char kTimeToLocale[] = "time_to_locale";
inline constexpr const char kTimeToRecentChampions[] = "time_to_recentChampions";
inline constexpr const char kTimeToSummoner[] = "time_to_summoner";
inline constexpr const char kTimeToFilters[] = "time_to_filters";
inline constexpr const char kTelemetryFilters[] = "filters";

// Trace texts (printf), for the debug trace hook only.
// name, value text.
inline constexpr const char kTraceAddingTelemetry[] = "Content Targeting Adding Telemetry event: %s [%s]";
// new locale.
inline constexpr const char kTraceLocaleChanged[] = "Content Targeting locale changed to: %s";
// plugin full name, record type name, uri.
inline constexpr const char kTraceCouldNotConvertForEvent[] = "%s: Couldn't convert resource %s for event uri \"%s\"";

// Log line (printf) when a served resource cannot be registered: plugin full
// name, path, the router's reason.
inline constexpr const char kLogCouldNotServe[] = "%s: Couldn't serve %s: %s";

}  // namespace hpk::content_targeting
