#include "content_targeting/record_registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/binding_convert.h"
#include "binding/type_registry.h"
#include "content_targeting/records.h"
#include "formats/json_reader.h"

namespace hpk::content_targeting {
namespace {

using namespace Vela::Client::Api;

constexpr char kApi[] = "HpkBeArxContentTargeting";

class RecordRegistration : public ::testing::Test {
protected:
    void SetUp() override { RegisterRecordTypes(registry_, kApi); }

    const BindingStructInfo& Type(const std::string& record) {
        const BindingStructInfo* info = registry_.FindTypeByName(kApi + record);
        EXPECT_NE(info, nullptr) << record;
        static const BindingStructInfo missing;
        return info != nullptr ? *info : missing;
    }

    template <class T>
    std::string Read(T& target, const char* json) {
        BindingResult parsed = ParseJson(json);
        EXPECT_TRUE(parsed.IsOk()) << parsed.ErrorText();
        BindingResult result;
        FromValue(result, target, parsed.Value(), "<value>", registry_);
        return result.ErrorText();
    }

    BindingTypeRegistry registry_;
};

TEST_F(RecordRegistration, RecordsCarryTheirWireFieldsInOrder) {
    struct Row {
        const char* record;
        std::vector<std::string> fields;
    };
    const Row rows[] = {
        {"ContentTargetingFilterResponse", {"filters"}},
        {"ContentTargetingLocaleResponse", {"locale"}},
        {"SettingsResource", {"data"}},
        {"RegionLocale", {"locale"}},
        {"PlatformConfig",
         {"Enabled", "Mapping", "RevivalFilterEnabled", "LaneFilterEnabled", "LaneFilterThreshold",
          "LevelFilterEnabled", "RankedFilterEnabled", "LocationFiltersEnabled"}},
        {"Summoner", {"summonerLevel"}},
        {"GeoInfo", {"country", "city", "region"}},
        {"GeoInfoResponse", {"success", "geoInfo", "errorMessage", "isLatest"}},
        {"LoginSession", {"state", "summonerId", "accountId"}},
        {"ChampionGames", {"championId", "queue", "lane", "role", "timestamp"}},
        {"ChampionGamesCollection", {"gameCount", "champions"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.record);
        const BindingStructInfo& info = Type(row.record);
        EXPECT_FALSE(info.isEnumeration);
        EXPECT_EQ(info.description, "");
        std::vector<std::string> names;
        for (const BindingFieldInfo& field : info.fields) {
            names.push_back(field.name);
            EXPECT_EQ(field.description, "") << field.name;
            EXPECT_EQ(field.flags, 0) << field.name;
            EXPECT_FALSE(field.optional) << field.name;
        }
        EXPECT_EQ(names, row.fields);
    }
}

TEST_F(RecordRegistration, LoginSessionStateKeepsTheServiceNumbering) {
    const BindingStructInfo& info = Type("LoginSessionState");
    EXPECT_TRUE(info.isEnumeration);
    struct Row {
        const char* name;
        std::int32_t value;
    };
    const Row rows[] = {{"IN_PROGRESS", 0}, {"ERROR", 3}, {"SUCCEEDED", 1}, {"LOGGING_OUT", 2}};
    EXPECT_EQ(info.enumerators.size(), 4u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const BindingEnumeratorInfo* enumerator = info.EnumeratorByName(row.name);
        ASSERT_NE(enumerator, nullptr);
        EXPECT_EQ(enumerator->value, row.value);
        EXPECT_EQ(enumerator->description, "");
    }
}

TEST_F(RecordRegistration, NestedTypesAreKnownToTheRecordsUsingThem) {
    EXPECT_EQ(Type("GeoInfoResponse").fields.at(1).type.info, &Type("GeoInfo"));
    EXPECT_EQ(Type("LoginSession").fields.at(0).type.info, &Type("LoginSessionState"));
    EXPECT_EQ(Type("ChampionGamesCollection").fields.at(1).type.info, &Type("ChampionGames"));
}

TEST_F(RecordRegistration, RegisteringAgainChangesNothing) {
    const BindingStructInfo* before = &Type("PlatformConfig");
    RegisterRecordTypes(registry_, kApi);
    EXPECT_EQ(&Type("PlatformConfig"), before);
    EXPECT_EQ(before->fields.size(), 8u);
}

TEST_F(RecordRegistration, MissingMembersKeepTheDefaults) {
    PlatformConfig config;
    EXPECT_EQ(Read(config, "{}"), "");
    EXPECT_FALSE(config.Enabled);
    EXPECT_EQ(config.LaneFilterThreshold, 7u);
    EXPECT_EQ(config.Mapping, "");
    EXPECT_FALSE(config.RevivalFilterEnabled || config.LaneFilterEnabled || config.LevelFilterEnabled ||
                 config.RankedFilterEnabled || config.LocationFiltersEnabled);

    PlatformConfig enabledOnly;
    EXPECT_EQ(Read(enabledOnly, R"({"Enabled": true, "Unknown": [1, 2], "Mapping": null})"), "");
    EXPECT_TRUE(enabledOnly.Enabled);
    EXPECT_EQ(enabledOnly.LaneFilterThreshold, 7u);
    EXPECT_EQ(enabledOnly.Mapping, "");
}

TEST_F(RecordRegistration, LoginStatesConvertByValueAndName) {
    struct Row {
        const char* json;
        LoginSessionState state;
    };
    const Row rows[] = {
        {R"({"state": 1})", LoginSessionState::SUCCEEDED},
        {R"({"state": 3})", LoginSessionState::ERROR},
        {R"({"state": "LOGGING_OUT"})", LoginSessionState::LOGGING_OUT},
        {R"({"state": "0"})", LoginSessionState::IN_PROGRESS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        LoginSession session;
        session.state = LoginSessionState::LOGGING_OUT;
        EXPECT_EQ(Read(session, row.json), "");
        EXPECT_EQ(session.state, row.state);
    }
}

TEST_F(RecordRegistration, MistypedMembersFailTheRecord) {
    struct Row {
        const char* json;
        const char* message;
    };
    const Row rows[] = {
        {R"({"Enabled": 1})",
         "Couldn't assign value to 'Enabled' of type bool because the input is of an invalid type unsigned."},
        {R"({"LaneFilterThreshold": -1})", "Value -1 for 'LaneFilterThreshold' of type uint32 is out of range"},
        {R"({"Mapping": {"PL": {}}})", "Couldn't assign value to 'Mapping' because the input is not a string."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        PlatformConfig config;
        EXPECT_EQ(Read(config, row.json), row.message);
    }
    LoginSession session;
    EXPECT_EQ(Read(session, R"({"state": 7})"),
              "7 is not a valid HpkBeArxContentTargetingLoginSessionState enumeration value for 'state'.");
}

TEST_F(RecordRegistration, GamesAndGeoInfoReadNested) {
    GeoInfoResponse geo;
    EXPECT_EQ(Read(geo, R"({"success": true, "geoInfo": {"city": "Lyon"}, "isLatest": true})"), "");
    EXPECT_TRUE(geo.success);
    EXPECT_FALSE(geo.geoInfo.IsUnknown());
    EXPECT_EQ(geo.geoInfo, (GeoInfo{"", "Lyon", ""}));
    EXPECT_TRUE(GeoInfo{}.IsUnknown());

    ChampionGamesCollection games;
    EXPECT_EQ(Read(games, R"({"gameCount": 2, "champions": [
                {"championId": 5, "queue": 420, "lane": "TOP", "role": "SOLO", "timestamp": 1700000000123},
                {"championId": -1, "queue": 450}]})"),
              "");
    ASSERT_EQ(games.champions.size(), 2u);
    EXPECT_EQ(games.gameCount, 2u);
    EXPECT_EQ(games.champions[0].lane, "TOP");
    EXPECT_EQ(games.champions[0].timestamp, 1700000000123ull);
    EXPECT_EQ(games.champions[1].championId, -1);
    EXPECT_EQ(games.champions[1].queue, 450);
}

TEST_F(RecordRegistration, WritingARecordWritesEveryField) {
    BindingResult written;
    ToValue(written, PlatformConfig{}, registry_);
    ASSERT_TRUE(written.IsOk()) << written.ErrorText();
    for (const char* name : {"Enabled", "Mapping", "RevivalFilterEnabled", "LaneFilterEnabled", "LaneFilterThreshold",
                             "LevelFilterEnabled", "RankedFilterEnabled", "LocationFiltersEnabled"}) {
        EXPECT_TRUE(written.Value().HasMember(name)) << name;
    }
    EXPECT_EQ(written.Value().Member("LaneFilterThreshold").AsUnsigned(), 7u);

    BindingResult filters;
    ContentTargetingFilterResponse response;
    response.filters = {"filter_level_3", "filter_lane_top"};
    ToValue(filters, response, registry_);
    ASSERT_TRUE(filters.IsOk()) << filters.ErrorText();
    const BindingValue& list = filters.Value().Member("filters");
    ASSERT_EQ(list.Size(), 2u);
    EXPECT_EQ(list.Element(0).AsString(), "filter_level_3");
    EXPECT_EQ(list.Element(1).AsString(), "filter_lane_top");
}

}  // namespace
}  // namespace hpk::content_targeting
