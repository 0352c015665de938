// Why lines from the model's state.
#include "model/why_lines.h"

#include "diagnostics/positional_format.h"
#include "model/model_messages.h"

namespace hpk::host {

namespace {

// An input's event in words: "updated at step 4", "asked for at start-up,
// nothing served there", "the update at step 6 did not fit: ...".
std::string EventText(const InputEvent& event) {
    using What = InputEvent::What;
    const std::string where = StepLabel(event.step);
    const std::string how = FormatPositional(event.fetched ? kMsgWhereFetch : kMsgWhereUpdate, where);
    switch (event.what) {
        case What::None: return {};
        case What::Fetched: return FormatPositional(kMsgHeldFetched, where);
        case What::Updated: return FormatPositional(kMsgHeldUpdated, where);
        case What::Deleted: return FormatPositional(kMsgHeldDeleted, where);
        case What::NotServed: return FormatPositional(kMsgFetchNotServed, where);
        case What::Refused: return FormatPositional(kMsgFetchFailed, where, event.detail);
        case What::StreamFailed: return FormatPositional(kMsgFetchStreamFailed, where, event.detail);
        case What::NotJson: return FormatPositional(kMsgFetchNotJson, where, event.detail);
        case What::NotAsked: return FormatPositional(kMsgFetchNotMade, where);
        case What::Dropped: return FormatPositional(kMsgDropped, how, event.detail);
        case What::LookupFailed: return FormatPositional(kMsgLookupFailed, how);
        case What::DeleteIgnored: return FormatPositional(kMsgIgnoredDelete, where);
        case What::GamesIgnored: return FormatPositional(kMsgIgnoredGames, how);
        case What::LevelZero:
            return FormatPositional(kMsgLevelZero, FormatPositional(event.fetched   ? kMsgHeldFetched
                                                                    : event.removed ? kMsgHeldDeleted
                                                                                    : kMsgHeldUpdated,
                                                                    where));
    }
    return {};
}

// What happened to an input last, or "" when nothing did.
std::string InputText(const FeatureState& state, ModelInput input) {
    const InputNotes& notes = state.Notes(input);
    if (notes.latest.what != InputEvent::What::None) return EventText(notes.latest);
    if (notes.held.what != InputEvent::What::None) return EventText(notes.held);
    if (notes.watched) return FormatPositional(kMsgAskedNoAnswer, StepLabel(notes.watchedStep));
    return {};
}

std::string ConfigText(const FeatureState& state) {
    const InputNotes& notes = state.Notes(ModelInput::Config);
    const std::string latest = EventText(notes.latest);
    if (!state.configHeld) {
        return latest.empty() ? std::string(kMsgGateNoConfigurationYet)
                              : FormatPositional(kMsgGateNoConfiguration, latest);
    }
    std::string text = FormatPositional(kMsgGateDisabled, EventText(notes.held));
    if (!latest.empty()) text += "; " + latest;
    return text;
}

// Why the player data was never asked for.
std::string NotAsked(const FeatureState& state, bool level) {
    if (!state.playerDataRequested) return !state.loggedIn ? kMsgNotAskedLoggedOut : kMsgNotAskedOff;
    return FormatPositional(level ? kMsgNotAskedLevelOff : kMsgNotAskedGamesOff, StepLabel(state.playerDataStep));
}

std::string GateText(const FeatureState& state, FilterGate gate) {
    switch (gate) {
        case FilterGate::Disabled: return ConfigText(state);
        case FilterGate::NoLocation: {
            const std::string text = InputText(state, ModelInput::Geo);
            return text.empty() ? std::string(kMsgGateLocationNever) : FormatPositional(kMsgGateLocation, text);
        }
        case FilterGate::NoLevel:
            return FormatPositional(kMsgGateLevel, state.Notes(ModelInput::Summoner).watched
                                                       ? InputText(state, ModelInput::Summoner)
                                                       : NotAsked(state, true));
        case FilterGate::NoGames:
            return FormatPositional(kMsgGateGames, state.Notes(ModelInput::Games).watched
                                                       ? InputText(state, ModelInput::Games)
                                                       : NotAsked(state, false));
    }
    return {};
}

// Gates in words, those that wait for inputs run together: "waiting for the
// level (...) and the recent games (...)".
std::string GatesText(const std::vector<std::string>& gates) {
    static const std::string kWaiting = "waiting for ";
    std::string out;
    bool waiting = false;
    for (const std::string& gate : gates) {
        const bool waits = gate.compare(0, kWaiting.size(), kWaiting) == 0;
        if (out.empty()) {
            out = gate;
        } else if (waits && waiting) {
            out += " and " + gate.substr(kWaiting.size());
        } else {
            out += "; " + gate;
        }
        waiting = waits;
    }
    return out;
}

std::string FiltersLine(const FeatureModel& model) {
    const FeatureState& state = model.State();
    FilterInputs in;
    in.config = state.config;
    in.geo = state.geo;
    in.level = state.level;
    in.gamesReceived = state.gamesReceived;
    in.games = state.games;
    in.nowLow = model.ClockLow();
    in.nowHigh = model.ClockHigh();
    const FilterDerivation now = DeriveFilters(in, true);
    std::vector<std::string> gates;
    for (FilterGate gate : now.closed) gates.push_back(GateText(state, gate));
    if (!state.filtersPublished) {
        return gates.empty() ? std::string(kMsgWhyFiltersIdle) : FormatPositional(kMsgWhyFiltersNone, GatesText(gates));
    }
    const std::string list = JoinTexts(state.filters.front(), ", ");
    const std::string reasons = JoinTexts(DeriveFilters(state.filtersFrom, true).reasons, "; ");
    const std::string where = StepLabel(state.filtersStep);
    if (!gates.empty()) return FormatPositional(kMsgWhyFiltersFrozen, list, where, reasons, GatesText(gates));
    return FormatPositional(kMsgWhyFiltersPublished, list, where, reasons);
}

std::string LocaleLine(const FeatureState& state) {
    LocaleInputs in;
    in.enabled = state.config.Enabled;
    in.regionLocale = state.regionLocale;
    in.selectedLanguage = state.selectedLanguage;
    in.mapping = &state.mapping;
    in.geo = state.geo;
    const LocaleDerivation now = DeriveLocale(in, true);
    std::string reason = now.reason;
    if (now.rule == LocaleRule::Off) reason = ConfigText(state);
    if (now.rule == LocaleRule::NoRegion) {
        const std::string text = InputText(state, ModelInput::Region);
        reason = text.empty() ? std::string(kMsgGateRegionNever) : FormatPositional(kMsgGateRegion, text);
    }
    if (!state.localePublished) return FormatPositional(kMsgWhyLocaleNone, reason);
    const std::string where = StepLabel(state.localeStep);
    if (now.chosen && now.locale == state.locale) {
        return FormatPositional(kMsgWhyLocalePublished, state.locale, where, reason);
    }
    return FormatPositional(kMsgWhyLocaleStays, state.locale, where, state.localeReason, reason);
}

}  // namespace

std::vector<WhyLine> WhyLines(const FeatureModel& model) {
    std::vector<WhyLine> lines;
    lines.push_back({"filters", FiltersLine(model)});
    lines.push_back({"locale", LocaleLine(model.State())});
    for (const std::string& disagreement : model.StepDisagreements()) {
        lines.push_back({"model", FormatPositional(kMsgWhyDisagrees, disagreement)});
    }
    return lines;
}

}  // namespace hpk::host
