// The feature as its contract describes it: the watches of init, each
// handler, the one-time player data fetch, the locale and filter computations
// and the telemetry, run over what the host saw. How the plugin's calls are
// matched against the model's is in call_matching.cpp.
#include "model/feature_model.h"

#include <algorithm>

#include "diagnostics/positional_format.h"
#include "formats/json_reader.h"
#include "host/expectations.h"
#include "model/model_messages.h"

namespace hpk::host {

namespace {

constexpr char kLoginUri[] = "/arx-login/v1/session";
constexpr char kConfigUri[] = "/arx-platform-config/v1/namespaces/TvxContentTargeting";
constexpr char kRegionUri[] = "/vodivozaze/get_region_locale";
constexpr char kReadyUri[] = "/arx-settings/v2/ready";
constexpr char kGeoUri[] = "/arx-geoinfo/v1/whereami";
constexpr char kSettingsUri[] = "/arx-settings/v2/account/TVXPreferences/arx-content-targeting";
constexpr char kTriggerUri[] = "/arx-acs/v2/request-recently-played-champions/current-summoner";
constexpr char kGamesUri[] = "/arx-acs/v2/recently-played-champions/current-summoner";
constexpr char kSummonerUri[] = "/arx-summoner/v1/current-summoner";
constexpr char kLocationPrefix[] = "filter_location_";
// Whether `message` is the host's "No resource is served at <uri>".
bool IsNotServedText(std::string_view message, std::string_view uri) {
    constexpr std::string_view kServed = kMsgNotServed;
    const std::string_view prefix = kServed.substr(0, kServed.find("%1"));
    return message.size() == prefix.size() + uri.size() && message.substr(0, prefix.size()) == prefix &&
           message.substr(prefix.size()) == uri;
}

// The plugin reads a streamed body this many bytes at a time at most.
constexpr std::size_t kStreamReadSize = 4096;

}  // namespace

// --- The feature ------------------------------------------------------------------

void FeatureModel::Initialize() {
    Watch(kLoginUri, Handler::Login, ModelInput::Login);
    Watch(kConfigUri, Handler::Config, ModelInput::Config);
    Watch(kRegionUri, Handler::Region, ModelInput::Region);
    Watch(kReadyUri, Handler::Ready, ModelInput::Ready);
    Watch(kGeoUri, Handler::Geo, ModelInput::Geo);
}

void FeatureModel::Watch(const std::string& uri, Handler handler, ModelInput input) {
    listeners_[uri] = handler;
    const std::string name = ResourceEventName(uri);
    if (std::find(subscribed_.begin(), subscribed_.end(), name) == subscribed_.end()) subscribed_.push_back(name);
    InputNotes& notes = state_.Notes(input);
    notes.watched = true;
    notes.watchedStep = step_;
    FetchOutcome fetched = Fetch(uri, notes);
    if (fetched.ok) Handle(handler, 0, fetched.value, true);
}

FeatureModel::FetchOutcome FeatureModel::Fetch(const std::string& uri, InputNotes& notes) {
    FetchOutcome out;
    auto failed = [&](InputEvent::What what, std::string detail) {
        notes.latest = InputEvent{what, step_, true, false, std::move(detail)};
        return std::move(out);
    };
    const ObservedCall* request = ExpectRequest("GET", uri);
    if (request == nullptr) return failed(InputEvent::What::NotAsked, {});
    for (const ObservedCall& nested : request->inside) Deliver(nested);
    const ResourceAnswer& served = request->served;
    switch (served.kind) {
        case ResourceAnswer::Kind::Error:
            // The host's own 404 says no more than that nothing is served there.
            if (served.status == 404 && IsNotServedText(served.message, uri)) {
                return failed(InputEvent::What::NotServed, {});
            }
            return failed(InputEvent::What::Refused, std::to_string(served.status) + " " + served.message);
        case ResourceAnswer::Kind::Value:
            out.ok = true;
            out.value.CopyFrom(served.value);
            return out;
        case ResourceAnswer::Kind::Stream: {
            // One read per chunk of at most the plugin's buffer; an empty body is one read.
            const std::size_t perRead =
                served.chunkSize == 0 ? kStreamReadSize : std::min<std::size_t>(served.chunkSize, kStreamReadSize);
            const std::size_t size = served.streamText.size();
            const std::size_t reads = size == 0 ? 1 : (size + perRead - 1) / perRead;
            if (served.failAtRead >= 1 && static_cast<std::size_t>(served.failAtRead) <= reads) {
                return failed(InputEvent::What::StreamFailed, std::to_string(served.failAtRead));
            }
            BindingResult parsed = ParseJson(served.streamText.c_str());
            if (!parsed.IsOk()) return failed(InputEvent::What::NotJson, parsed.ErrorText());
            out.ok = true;
            parsed.TakeValue(out.value);
            return out;
        }
    }
    return out;
}

void FeatureModel::Handle(Handler handler, std::int32_t eventType, const BindingValue& data, bool fetched) {
    const bool removed = eventType == kEventDelete;
    InputNotes& notes = state_.Notes(static_cast<ModelInput>(handler));
    auto note = [&](InputEvent::What what, std::string detail = {}) {
        notes.latest = InputEvent{what, step_, fetched, removed, std::move(detail)};
    };
    // The record read into `out`, or false once why it was dropped is noted.
    auto fits = [&](auto read, auto& out) {
        if (!read.IsOk()) {
            note(InputEvent::What::Dropped, read.Error());
            return false;
        }
        out = std::move(read.Value());
        return true;
    };
    // A value taken: what happened before it no longer explains anything.
    auto take = [&] {
        using What = InputEvent::What;
        notes.held = InputEvent{fetched   ? What::Fetched
                                : removed ? What::Deleted
                                          : What::Updated,
                                step_,
                                fetched,
                                removed,
                                {}};
        notes.latest = InputEvent{};
    };
    switch (handler) {
        case Handler::Login: {
            ModelLoginSession session;
            if (removed) return note(InputEvent::What::DeleteIgnored);
            if (!fits(ReadLoginSession(data), session)) return;
            take();
            OnLogin(session);
            return;
        }
        case Handler::Config: {
            ModelPlatformConfig config;
            if (!removed && !fits(ReadPlatformConfig(data), config)) return;
            take();
            state_.configHeld = true;
            OnConfig(config);
            return;
        }
        case Handler::Region: {
            std::string locale;
            if (!removed && !fits(ReadRegionLocale(data), locale)) return;
            take();
            state_.regionLocale = locale;
            ComputeLocale();
            return;
        }
        case Handler::Ready: {
            bool ready = false;
            if (!removed && !fits(ReadReady(data), ready)) return;
            take();
            state_.readyTrue = ready;
            if (ready) Watch(kSettingsUri, Handler::Settings, ModelInput::Settings);
            return;
        }
        case Handler::Geo: {
            ModelGeoResponse response;
            if (!removed && !fits(ReadGeoResponse(data), response)) return;
            if (!response.success) return note(InputEvent::What::LookupFailed);
            take();
            state_.geo = response.geoInfo;
            AddTelemetry("time_to_geoinfo");
            ComputeLocale();
            ComputeFilters();
            return;
        }
        case Handler::Settings: {
            BindingValue settings;
            if (removed) return note(InputEvent::What::DeleteIgnored);
            if (!fits(ReadSettings(data), settings)) return;
            take();
            OnSettings(settings);
            return;
        }
        case Handler::Games: {
            ModelGames games;
            if (removed) return note(InputEvent::What::DeleteIgnored);
            if (!fits(ReadGames(data), games)) return;
            if (state_.gamesReceived) return note(InputEvent::What::GamesIgnored);
            take();
            OnGames(games, fetched);
            return;
        }
        case Handler::Summoner: {
            std::uint32_t level = 0;
            if (!removed && !fits(ReadSummonerLevel(data), level)) return;
            if (level != state_.level) take();
            if (level == 0) note(InputEvent::What::LevelZero);
            if (level == state_.level) return;
            state_.level = level;
            AddTelemetry("time_to_summoner");
            ComputeFilters();
            return;
        }
    }
}

void FeatureModel::OnLogin(const ModelLoginSession& session) {
    const bool now = session.state == kLoginSucceeded && session.summonerId != 0 && session.accountId != 0;
    const bool was = state_.loggedIn;
    state_.loggedIn = now;
    if (was || !now) return;
    state_.loginSeen = true;
    state_.loginLow = clockLow_;
    state_.loginHigh = clockHigh_;
    RequestPlayerData();
}

void FeatureModel::OnConfig(const ModelPlatformConfig& config) {
    state_.config = config;
    BindingResult parsed = ParseJson(config.Mapping.c_str());
    if (parsed.IsOk()) parsed.TakeValue(state_.mapping);  // else the previous mapping stays
    AddTelemetry("time_to_platformConfig");
    RequestPlayerData();
    ComputeLocale();
    ComputeFilters();
}

void FeatureModel::OnSettings(const BindingValue& data) {
    AddTelemetry("time_to_accountSettings");
    if (data.Kind() != BindingValueKind::Structure || !data.HasMember("selectedLanguage")) return;
    state_.selectedLanguage = data.Member("selectedLanguage").Text();
    ComputeLocale();
}

void FeatureModel::OnGames(const ModelGames& games, bool) {
    if (games.gameCount != 0) state_.games = games;
    state_.gamesReceived = true;
    AddTelemetry("time_to_recentChampions");
    ComputeFilters();
}

void FeatureModel::RequestPlayerData() {
    if (!state_.loggedIn || !state_.config.Enabled || state_.playerDataRequested) return;
    state_.playerDataRequested = true;
    state_.playerDataStep = step_;
    // The switches are read once, now: a configuration delivered while the
    // plugin waits for the games does not change what it asks for next.
    const bool games = state_.config.RevivalFilterEnabled || state_.config.LaneFilterEnabled;
    const bool level = state_.config.LevelFilterEnabled || state_.config.RankedFilterEnabled;
    if (games) {
        // The games are produced on request; the answer itself does not matter.
        if (const ObservedCall* trigger = ExpectRequest("GET", kTriggerUri)) {
            for (const ObservedCall& nested : trigger->inside) Deliver(nested);
        }
        Watch(kGamesUri, Handler::Games, ModelInput::Games);
    }
    if (level) {
        Watch(kSummonerUri, Handler::Summoner, ModelInput::Summoner);
    }
}

void FeatureModel::ComputeLocale() {
    LocaleInputs in;
    in.enabled = state_.config.Enabled;
    in.regionLocale = state_.regionLocale;
    in.selectedLanguage = state_.selectedLanguage;
    in.mapping = &state_.mapping;
    in.geo = state_.geo;
    const LocaleDerivation derived = DeriveLocale(in);
    if (!derived.chosen || derived.locale == state_.locale) return;
    // A change, which is rare: worth its reason in words.
    state_.locale = derived.locale;
    state_.localePublished = true;
    state_.localeStep = step_;
    state_.localeReason = DeriveLocale(in, true).reason;
    localeJson_.clear();
    AddTelemetry("time_to_locale");
    BindingValue data;
    data.Member("locale").SetString(derived.locale);
    std::size_t chosen = 0;
    ExpectPublication(
        kLocaleUri, {data}, [this] { return state_.localeReason; }, chosen);
}

void FeatureModel::ComputeFilters() {
    FilterInputs in;
    in.config = state_.config;
    in.geo = state_.geo;
    in.level = state_.level;
    in.gamesReceived = state_.gamesReceived;
    in.games = state_.games;
    in.nowLow = clockLow_;
    in.nowHigh = clockHigh_;
    const FilterDerivation derived = DeriveFilters(in);
    if (!derived.closed.empty()) return;
    state_.filters = derived.Candidates();
    state_.filtersPublished = true;
    state_.filtersStep = step_;
    state_.filtersFrom = std::move(in);
    filtersJson_.clear();
    AddTelemetry("time_to_filters");
    std::vector<BindingValue> candidates;
    for (const std::vector<std::string>& list : state_.filters) candidates.push_back(FiltersValue(list));
    std::size_t chosen = 0;
    ExpectPublication(
        kFiltersUri, candidates, [this] { return JoinTexts(DeriveFilters(state_.filtersFrom, true).reasons, "; "); },
        chosen);
    if (chosen < state_.filters.size()) state_.filters = {state_.filters[chosen]};
    if (state_.filtersReported) return;
    state_.filtersReported = true;
    std::vector<std::string> kept;
    for (const std::string& filter : state_.filters.front()) {
        if (filter.compare(0, sizeof(kLocationPrefix) - 1, kLocationPrefix) != 0) kept.push_back(filter);
    }
    TelemetryExpectation& filters = state_.telemetry["filters"];
    filters.exact = true;
    filters.text = JoinTexts(kept, ",");
    ExpectTelemetry();
}

void FeatureModel::AddTelemetry(const std::string& name) {
    // Milliseconds from the login time to now, both somewhere in their windows.
    TelemetryExpectation& value = state_.telemetry[name];
    value.exact = false;
    value.low = static_cast<long long>((clockLow_ - state_.loginHigh) / kModelTicksPerMillisecond);
    value.high = static_cast<long long>((clockHigh_ - state_.loginLow) / kModelTicksPerMillisecond);
    value.afterLogin = state_.loginSeen;
}

std::string TelemetryReason(const std::string& name, const TelemetryExpectation& expected) {
    if (expected.exact) return FormatPositional(kMsgTelemetryFilters, expected.text);
    return FormatPositional(expected.afterLogin ? kMsgTelemetryWindow : kMsgTelemetryBeforeLogin, name, expected.low,
                            expected.high);
}

}  // namespace hpk::host
