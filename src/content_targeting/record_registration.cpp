// The content targeting records as the type registry sees them. The order of
// registration is also the order of the types in the host description.
#include "content_targeting/record_registration.h"

#include <string>

#include "binding/type_registration.h"
#include "content_targeting/records.h"

namespace hpk::content_targeting {
namespace {

using namespace Vela::Client::Api;

std::string NameOf(std::string_view apiName, std::string_view record) {
    std::string name(apiName);
    name.append(record);
    return name;
}

}  // namespace

void RegisterRecordTypes(BindingTypeRegistry& registry, std::string_view apiName) {
    RegisterStruct<ContentTargetingFilterResponse>(registry, NameOf(apiName, "ContentTargetingFilterResponse"),
                                                   {Field("filters", &ContentTargetingFilterResponse::filters)});
    RegisterStruct<ContentTargetingLocaleResponse>(registry, NameOf(apiName, "ContentTargetingLocaleResponse"),
                                                   {Field("locale", &ContentTargetingLocaleResponse::locale)});
    RegisterStruct<SettingsResource>(registry, NameOf(apiName, "SettingsResource"),
                                     {Field("data", &SettingsResource::data)});
    RegisterStruct<RegionLocale>(registry, NameOf(apiName, "RegionLocale"), {Field("locale", &RegionLocale::locale)});
    RegisterStruct<PlatformConfig>(registry, NameOf(apiName, "PlatformConfig"),
                                   {
                                       Field("Enabled", &PlatformConfig::Enabled),
                                       Field("Mapping", &PlatformConfig::Mapping),
                                       Field("RevivalFilterEnabled", &PlatformConfig::RevivalFilterEnabled),
                                       Field("LaneFilterEnabled", &PlatformConfig::LaneFilterEnabled),
                                       Field("LaneFilterThreshold", &PlatformConfig::LaneFilterThreshold),
                                       Field("LevelFilterEnabled", &PlatformConfig::LevelFilterEnabled),
                                       Field("RankedFilterEnabled", &PlatformConfig::RankedFilterEnabled),
                                       Field("LocationFiltersEnabled", &PlatformConfig::LocationFiltersEnabled),
                                   });
    RegisterStruct<Summoner>(registry, NameOf(apiName, "Summoner"), {Field("summonerLevel", &Summoner::summonerLevel)});
    RegisterStruct<GeoInfo>(registry, NameOf(apiName, "GeoInfo"),
                            {
                                Field("country", &GeoInfo::country),
                                Field("city", &GeoInfo::city),
                                Field("region", &GeoInfo::region),
                            });
    RegisterStruct<GeoInfoResponse>(registry, NameOf(apiName, "GeoInfoResponse"),
                                    {
                                        Field("success", &GeoInfoResponse::success),
                                        Field("geoInfo", &GeoInfoResponse::geoInfo),
                                        Field("errorMessage", &GeoInfoResponse::errorMessage),
                                        Field("isLatest", &GeoInfoResponse::isLatest),
                                    });
    // Registered in the login service's order; the values are not positions.
    RegisterEnum<LoginSessionState>(registry, NameOf(apiName, "LoginSessionState"),
                                    {
                                        {"IN_PROGRESS", LoginSessionState::IN_PROGRESS},
                                        {"ERROR", LoginSessionState::ERROR},
                                        {"SUCCEEDED", LoginSessionState::SUCCEEDED},
                                        {"LOGGING_OUT", LoginSessionState::LOGGING_OUT},
                                    });
    RegisterStruct<LoginSession>(registry, NameOf(apiName, "LoginSession"),
                                 {
                                     Field("state", &LoginSession::state),
                                     Field("summonerId", &LoginSession::summonerId),
                                     Field("accountId", &LoginSession::accountId),
                                 });
    RegisterStruct<ChampionGames>(registry, NameOf(apiName, "ChampionGames"),
                                  {
                                      Field("championId", &ChampionGames::championId),
                                      Field("queue", &ChampionGames::queue),
                                      Field("lane", &ChampionGames::lane),
                                      Field("role", &ChampionGames::role),
                                      Field("timestamp", &ChampionGames::timestamp),
                                  });
    RegisterStruct<ChampionGamesCollection>(registry, NameOf(apiName, "ChampionGamesCollection"),
                                            {
                                                Field("gameCount", &ChampionGamesCollection::gameCount),
                                                Field("champions", &ChampionGamesCollection::champions),
                                            });
}

}  // namespace hpk::content_targeting
