// The content targeting plugin: input handlers, the one-time player data
// fetch, and the computations that publish filters and locale. The rules
// themselves are pure functions in filters.cpp and locale.cpp.
#include "content_targeting/content_targeting_plugin.h"

#include <iterator>
#include <memory>
#include <utility>

#include "content_targeting/content_targeting_messages.h"
#include "content_targeting/filters.h"
#include "content_targeting/locale.h"
#include "content_targeting/record_registration.h"
#include "content_targeting/telemetry_text.h"
#include "formats/json_reader.h"
#include "plugin/plugin_loader.h"
#include "plugin/runtime_log.h"
#include "plugin/telemetry.h"
#include "router/binding_router.h"

namespace hpk {

std::unique_ptr<PluginBase> CreateContentTargetingPlugin() {
    return std::make_unique<content_targeting::ContentTargetingPlugin>();
}

}  // namespace hpk

namespace hpk::content_targeting {

using namespace Vela::Client::Api;

namespace {

// Ranked queues: only their games say which lane a player prefers. A plain
// array: a static vector would hold a heap block for as long as the library
// is loaded, before and after every plugin.
constexpr std::int32_t kLaneQueues[] = {400, 420, 440};

}  // namespace

ContentTargetingPlugin::ContentTargetingPlugin() : laneQueues_(std::begin(kLaneQueues), std::end(kLaneQueues)) {}

ContentTargetingPlugin::~ContentTargetingPlugin() = default;

void ContentTargetingPlugin::RegisterApi() {
    RegisterRecordTypes(Registry(), ApiName());
    RegisterResources();
}

void ContentTargetingPlugin::RegisterResources() {
    // Both answers are copies of the current state: no caching, never an error.
    const EndpointRegistrationResult filters = Router().ServeGet(
        kFiltersUri, [this] { return filters_; }, ApiTags());
    if (!filters)
        LogRuntime(RuntimeLogLevel::Error, kLogCouldNotServe, FullName().c_str(), kFiltersUri, filters.error.c_str());
    const EndpointRegistrationResult locale = Router().ServeGet(
        kLocaleUri, [this] { return locale_; }, ApiTags());
    if (!locale)
        LogRuntime(RuntimeLogLevel::Error, kLogCouldNotServe, FullName().c_str(), kLocaleUri, locale.error.c_str());
}

bool ContentTargetingPlugin::Initialize() {
    SubscribeInputs();
    return true;
}

void ContentTargetingPlugin::SubscribeInputs() {
    // Each watch delivers the current state before the next one is made, so
    // the handlers first run in this order.
    Watch<LoginSession>(kLoginSessionUri, [this](const Update<LoginSession>& update) { OnLoginSession(update); });
    Watch<PlatformConfig>(kPlatformConfigUri,
                          [this](const Update<PlatformConfig>& update) { OnPlatformConfig(update); });
    Watch<RegionLocale>(kRegionLocaleUri, [this](const Update<RegionLocale>& update) { OnRegionLocale(update); });
    Watch<bool>(kSettingsReadyUri, [this](const Update<bool>& update) { OnSettingsReady(update); });
    Watch<GeoInfoResponse>(kGeoInfoUri, [this](const Update<GeoInfoResponse>& update) { OnGeoInfo(update); });
}

void ContentTargetingPlugin::OnLoginSession(const Update<LoginSession>& update) {
    if (update.eventType == PluginResourceEventType::Delete) return;
    const LoginSession& session = update.data;
    const bool wasLoggedIn = loggedIn_;
    loggedIn_ = session.state == LoginSessionState::SUCCEEDED && session.summonerId != 0 && session.accountId != 0;
    if (wasLoggedIn || !loggedIn_) return;
    loginTime_ = Now();
    RequestPlayerData();
}

void ContentTargetingPlugin::OnPlatformConfig(const Update<PlatformConfig>& update) {
    // A Delete delivers the defaults, which switches the feature off.
    platformConfig_ = update.data;
    // An unparseable text keeps the mapping in force; the switches still apply.
    BindingResult parsed = ParseJson(platformConfig_.Mapping.c_str());
    if (parsed.IsOk()) parsed.TakeValue(localeMapping_);
    AddTelemetryValue(kTimeToPlatformConfig);
    // The first update that finds the player logged in starts the player data
    // fetch here, and its watches deliver the current level and games at once:
    // their handlers compute and publish the filters before this handler does.
    // That is two passes, and two publications of what is usually the same
    // list, for one configuration update; both are meant. Each pass publishes
    // (subscribers hear of every computation, changed or not), and this
    // handler's own pass must not be skipped: when the fetch delivers nothing
    // new (a level already known, or no data wanted) it is the only one.
    RequestPlayerData();
    ComputeLocale();
    ComputeFilters();
}

void ContentTargetingPlugin::OnRegionLocale(const Update<RegionLocale>& update) {
    regionLocale_ = update.data.locale;
    ComputeLocale();
}

void ContentTargetingPlugin::OnSettingsReady(const Update<bool>& update) {
    if (!update.data) return;
    // Watching again replaces the listener and fetches the document anew.
    Watch<SettingsResource>(kAccountSettingsUri,
                            [this](const Update<SettingsResource>& settings) { OnAccountSettings(settings); });
}

void ContentTargetingPlugin::OnGeoInfo(const Update<GeoInfoResponse>& update) {
    // A failed lookup keeps the last good location.
    if (!update.data.success) return;
    geoInfo_ = update.data.geoInfo;
    AddTelemetryValue(kTimeToGeoInfo);
    ComputeLocale();
    ComputeFilters();
}

void ContentTargetingPlugin::OnAccountSettings(const Update<SettingsResource>& update) {
    if (update.eventType == PluginResourceEventType::Delete) return;
    AddTelemetryValue(kTimeToAccountSettings);
    const BindingValue& data = update.data.data;
    if (!data.HasMember(kSelectedLanguageMember)) return;
    selectedLanguage_ = SelectedLanguageText(data.Member(kSelectedLanguageMember));
    ComputeLocale();
}

void ContentTargetingPlugin::RequestPlayerData() {
    if (!loggedIn_ || !platformConfig_.Enabled || playerDataRequested_) return;
    playerDataRequested_ = true;
    // The switches count as they are now: kinds enabled later never get their
    // data, and the filter gates then hold every later computation back.
    const bool wantsGames = platformConfig_.RevivalFilterEnabled || platformConfig_.LaneFilterEnabled;
    const bool wantsLevel = platformConfig_.LevelFilterEnabled || platformConfig_.RankedFilterEnabled;
    if (wantsGames) {
        // Only asks the games service to produce the collection; whether it
        // does shows in the watched resource, so the outcome is not needed.
        (void)CallResource(RequestMethod::Get, kRecentChampionsRequestUri);
        Watch<ChampionGamesCollection>(
            kRecentChampionsUri, [this](const Update<ChampionGamesCollection>& games) { OnRecentChampions(games); });
    }
    if (wantsLevel) {
        Watch<Summoner>(kSummonerUri, [this](const Update<Summoner>& summoner) { OnSummoner(summoner); });
    }
}

void ContentTargetingPlugin::OnRecentChampions(const Update<ChampionGamesCollection>& update) {
    // Only the first delivered collection counts, even an empty one.
    if (update.eventType == PluginResourceEventType::Delete || recentChampionsReceived_) return;
    if (update.data.gameCount != 0) recentGames_ = update.data;
    recentChampionsReceived_ = true;
    AddTelemetryValue(kTimeToRecentChampions);
    ComputeFilters();
}

void ContentTargetingPlugin::OnSummoner(const Update<Summoner>& update) {
    // A Delete delivers level 0, which closes the level gates again.
    const std::uint32_t previous = summonerLevel_;
    summonerLevel_ = update.data.summonerLevel;
    if (summonerLevel_ == previous) return;
    AddTelemetryValue(kTimeToSummoner);
    ComputeFilters();
}

void ContentTargetingPlugin::ComputeFilters() {
    const FilterInputs inputs{platformConfig_, geoInfo_,    summonerLevel_, recentChampionsReceived_,
                              recentGames_,    laneQueues_, Now()};
    if (!ComputeFilterList(filters_.filters, inputs)) return;
    AddTelemetryValue(kTimeToFilters);
    // Published on every pass, also unchanged: subscribers rely on hearing each one.
    if (!PublishResource(kFiltersUri, PluginResourceEventType::Update, filters_).IsOk()) {
        Trace(kTraceCouldNotConvertForEvent, FullName().c_str(),
              NativeTypeName<ContentTargetingFilterResponse>(Registry()).c_str(), kFiltersUri);
    }
    if (filtersReported_) return;
    filtersReported_ = true;
    ReportTelemetry(filters_.filters);
}

void ContentTargetingPlugin::ComputeLocale() {
    const std::string previous = locale_.locale;
    ResolveLocale(locale_.locale,
                  LocaleInputs{platformConfig_.Enabled, regionLocale_, selectedLanguage_, localeMapping_, geoInfo_});
    if (locale_.locale == previous) return;
    Trace(kTraceLocaleChanged, locale_.locale.c_str());
    AddTelemetryValue(kTimeToLocale);
    if (!PublishResource(kLocaleUri, PluginResourceEventType::Update, locale_).IsOk()) {
        Trace(kTraceCouldNotConvertForEvent, FullName().c_str(),
              NativeTypeName<ContentTargetingLocaleResponse>(Registry()).c_str(), kLocaleUri);
    }
}

void ContentTargetingPlugin::AddTelemetryValue(const std::string& name) {
    std::string& value = telemetryValues_[name];
    value = ElapsedMillisecondsText(Now(), loginTime_);
    Trace(kTraceAddingTelemetry, name.c_str(), value.c_str());
}

void ContentTargetingPlugin::ReportTelemetry(const std::vector<std::string>& filters) {
    telemetryValues_[kTelemetryFilters] = ReportedFiltersText(filters);
    TelemetrySender* sender = Telemetry();
    if (sender == nullptr) return;  // not initialised: nowhere to post
    const TelemetryFields fields(telemetryValues_.begin(), telemetryValues_.end());
    // The outcome reaches the future only; a failed post is not retried.
    (void)sender->Send(kTelemetryEventName, fields);
}

}  // namespace hpk::content_targeting
