// Every text of the host's model of the feature: why a record did not fit,
// the derivation of each output, what holds an output back, and how the
// plugin and the model disagree. Placeholders are filled by FormatPositional;
// each constant lists what its placeholders receive.
#pragma once

namespace hpk::host {

// --- Records that do not fit ----------------------------------------------------

// %1: the value's path ("<value>" or the field).
inline constexpr char kMsgModelValueRequired[] = "'%1' is empty";
// %1: the path; %2: the record; %3: the value's kind.
inline constexpr char kMsgModelNotStructure[] = "'%1' is a %3, not a %2";
// %1: the path; %2: the field's type; %3: the value's kind; %4: the value.
inline constexpr char kMsgModelWrongKind[] = "'%1' of type %2 cannot take the %3 %4";
// %1: the text; %2: the path; %3: the type.
inline constexpr char kMsgModelBadFormat[] = "'%2' of type %3 cannot take the text \"%1\"";
// %1: the value; %2: the path; %3: the type.
inline constexpr char kMsgModelOutOfRange[] = "%1 is out of range for '%2' of type %3";
// %1: the value; %2: the enumeration; %3: the path.
inline constexpr char kMsgModelNotEnumerator[] = "%1 is not a %2 for '%3'";
// %1: the path; %2: the value's kind.
inline constexpr char kMsgModelNotCollection[] = "'%1' is a %2, not a list";

// --- Derivations of the filters and the locale -------------------------------------

// %1: the filter; %2: the level.
inline constexpr char kMsgWhyLevel[] = "%1: level %2";
inline constexpr char kMsgWhyRanked[] = "%1: level %2, 30 or more";
inline constexpr char kMsgWhyUnranked[] = "%1: level %2, below 30";
// %1: country; %2: region; %3: city.
inline constexpr char kMsgWhyLocation[] = "filter_location_*: country \"%1\", region \"%2\", city \"%3\"";
// %1: the level.
inline constexpr char kMsgWhyRevivalByLevel[] = "filter_revival_true: no recent games and level %1, 30 or more";
inline constexpr char kMsgWhyNoRevivalByLevel[] = "no revival filter: no recent games and level %1, below 30";
// %1: whole days since the newest game.
inline constexpr char kMsgWhyRevivalByGames[] = "filter_revival_true: last game %1 days ago, before the 30-day cutoff";
inline constexpr char kMsgWhyNoRevivalByGames[] = "no revival filter: last game %1 days ago, within 30 days";
inline constexpr char kMsgWhyRevivalUndecided[] =
    "filter_revival_true or not: the last game is at the 30-day cutoff while the step runs";
inline constexpr char kMsgWhyNoLanesNoGames[] = "no lane filters: no recent games";
// %1: the filter; %2: games in the lane; %3: games walked; %4: the lane; %5: the threshold.
inline constexpr char kMsgWhyLane[] = "%1: %2 of the last %3 games in %4, threshold %5";
inline constexpr char kMsgWhyNoLane[] = "no %1: %2 of the last %3 games in %4, threshold %5";

// %1: the language.
inline constexpr char kMsgWhyLocaleLanguage[] = "the player's language \"%1\"";
inline constexpr char kMsgWhyLanguageAuto[] = "language \"auto\"";
inline constexpr char kMsgWhyNoLanguage[] = "no language chosen";
// %1: the language's words above.
inline constexpr char kMsgWhyLocaleNoMapping[] = "%1 and no country mapping";
inline constexpr char kMsgWhyLocaleNoLocation[] = "%1 and the location unknown";
// %1: the language's words; %2: the country.
inline constexpr char kMsgWhyLocaleNoCountry[] = "%1 and the mapping has no entry for \"%2\"";
inline constexpr char kMsgWhyLocaleEntryOff[] = "%1 and the mapping's entry for \"%2\" is not enabled";
inline constexpr char kMsgWhyLocaleNoLocale[] = "%1 and the mapping's entry for \"%2\" has no Locale";
// %1: the language's words; %2: the country; %3: the locale.
inline constexpr char kMsgWhyLocaleMapped[] = "%1, so the mapping decides: \"%2\" maps to %3";
inline constexpr char kMsgWhyLocaleMappedNotText[] =
    "%1, so the mapping decides: \"%2\" has a Locale that is not a text";

// --- Where inputs stand ----------------------------------------------------------------

inline constexpr char kMsgStartUp[] = "start-up";
// %1: the step's number.
inline constexpr char kMsgStepLabel[] = "step %1";
// %1: where ("start-up", "step 3").
inline constexpr char kMsgHeldFetched[] = "fetched at %1";
inline constexpr char kMsgHeldUpdated[] = "updated at %1";
inline constexpr char kMsgHeldDeleted[] = "deleted at %1";
// %1: where; %2: what the host answered.
inline constexpr char kMsgFetchFailed[] = "asked for at %1, answered %2";
inline constexpr char kMsgFetchNotServed[] = "asked for at %1, nothing served there";
// %1: where; %2: the read that failed.
inline constexpr char kMsgFetchStreamFailed[] = "asked for at %1, its streamed answer failed at read %2";
// %1: where; %2: the JSON reader's message.
inline constexpr char kMsgFetchNotJson[] = "asked for at %1, its streamed answer is not JSON: %2";
inline constexpr char kMsgFetchNotMade[] = "to be asked for at %1, but the plugin did not ask";
// %1: "update at step 4" or "GET at start-up"; %2: why it did not fit.
inline constexpr char kMsgDropped[] = "the %1 did not fit: %2";
// %1: "update at step 4" or "GET at start-up".
inline constexpr char kMsgLookupFailed[] = "the lookup of the %1 failed (success false)";
inline constexpr char kMsgIgnoredDelete[] = "the delete at %1 is ignored";
inline constexpr char kMsgIgnoredGames[] = "the %1 is ignored: only the first collection counts";
// %1: where.
inline constexpr char kMsgWhereUpdate[] = "update at %1";
inline constexpr char kMsgWhereFetch[] = "GET at %1";

// --- Why lines ----------------------------------------------------------------------------

// %1: the list; %2: where it was published; %3: its derivation.
inline constexpr char kMsgWhyFiltersPublished[] = "filters [%1] published at %2: %3";
// %1: what holds them back.
inline constexpr char kMsgWhyFiltersNone[] = "filters: none published yet: %1";
// %1: the list; %2: where; %3: its derivation; %4: what holds a new computation back.
inline constexpr char kMsgWhyFiltersFrozen[] = "filters [%1] as published at %2 (%3); held back since: %4";
inline constexpr char kMsgWhyFiltersIdle[] =
    "filters: none published yet: every input is there, but none has arrived since";
// %1: the locale; %2: where; %3: why.
inline constexpr char kMsgWhyLocalePublished[] = "locale %1 published at %2: %3";
// %1: the locale; %2: where; %3: why it was chosen; %4: why it stays.
inline constexpr char kMsgWhyLocaleStays[] = "locale %1 as published at %2 (%3); it stays: %4";
// %1: why none.
inline constexpr char kMsgWhyLocaleNone[] = "locale: none chosen yet: %1";
// %1: the disagreement.
inline constexpr char kMsgWhyDisagrees[] = "the plugin and the model disagree: %1";

// %1: how the configuration arrived or failed.
inline constexpr char kMsgGateNoConfiguration[] = "the feature is off: no configuration yet (%1)";
inline constexpr char kMsgGateNoConfigurationYet[] = "the feature is off: no configuration yet";
// %1: how the configuration arrived.
inline constexpr char kMsgGateDisabled[] = "the feature is off: Enabled is false in the configuration %1";
// %1: what happened to the location.
inline constexpr char kMsgGateLocation[] = "waiting for the location (%1)";
inline constexpr char kMsgGateLocationNever[] = "waiting for the location";
// %1: what happened to the level.
inline constexpr char kMsgGateLevel[] = "waiting for the summoner level (%1)";
// %1: what happened to the games.
inline constexpr char kMsgGateGames[] = "waiting for the recent games (%1)";
// %1: what happened to the region locale.
inline constexpr char kMsgGateRegion[] = "waiting for the region locale (%1)";
inline constexpr char kMsgGateRegionNever[] = "waiting for the region locale";
inline constexpr char kMsgNotAskedLoggedOut[] = "not asked for: the player is not logged in";
inline constexpr char kMsgNotAskedOff[] = "not asked for: the feature is off";
// %1: where the player data was requested.
inline constexpr char kMsgNotAskedLevelOff[] =
    "never asked for: the level and ranked filters were off when the player data was requested at %1";
inline constexpr char kMsgNotAskedGamesOff[] =
    "never asked for: the revival and lane filters were off when the player data was requested at %1";
// %1: where the level arrived.
inline constexpr char kMsgLevelZero[] = "level 0, %1";
// %1: where it was asked for.
inline constexpr char kMsgAskedNoAnswer[] = "asked for at %1, nothing delivered since";

// --- Telemetry derivations ------------------------------------------------------------------

// %1: the value's name; %2: low; %3: high.
inline constexpr char kMsgTelemetryWindow[] = "%1: %2 to %3 ms after the login";
inline constexpr char kMsgTelemetryBeforeLogin[] = "%1: %2 to %3 ms since 1970 (no login yet)";
// %1: the text.
inline constexpr char kMsgTelemetryFilters[] = "filters: \"%1\", the filters without the location ones";

// --- Disagreements -----------------------------------------------------------------------------

// %1: where ("step 4"); %2: the call the plugin was handling; %3: what differs.
inline constexpr char kMsgDisagreement[] = "%1, %2: %3";
// %1: the plugin's call; %2: the model's.
inline constexpr char kMsgDisagreeCall[] = "the plugin %1 where the model expects it to %2";
// %1: the model's call.
inline constexpr char kMsgDisagreeMissing[] = "the model expects the plugin to %1, but it made no further call";
// %1: the plugin's call.
inline constexpr char kMsgDisagreeExtra[] = "the plugin %1, which the model does not expect";
// %1: the event name; %2: the data the plugin posted; %3: what the model expects.
inline constexpr char kMsgDisagreePostData[] = "the plugin posted %1 with %2 where the model expects %3";
// %1: the field; %2: the plugin's text; %3: the model's.
inline constexpr char kMsgDisagreeTelemetryValue[] = "telemetry field %1 is \"%2\" where the model expects %3";
// %1: the field.
inline constexpr char kMsgDisagreeTelemetryExtra[] = "telemetry has the field %1, which the model does not expect";
inline constexpr char kMsgDisagreeTelemetryMissing[] = "telemetry lacks the field %1, which the model expects";
inline constexpr char kMsgDisagreeTelemetryShape[] = "telemetry does not carry its fields as one positional structure";
// %1: the path; %2: what it serves; %3: what the model expects.
inline constexpr char kMsgDisagreeServed[] = "GET %1 serves %2 where the model expects %3";
// %1: the plugin's call being handled.
inline constexpr char kMsgContextInit[] = "during init";
inline constexpr char kMsgContextOutside[] = "outside any call into the plugin";
inline constexpr char kMsgContextServed[] = "after the step";
// %1: what is delivered.
inline constexpr char kMsgContextDelivery[] = "while the plugin handles %1";

}  // namespace hpk::host
