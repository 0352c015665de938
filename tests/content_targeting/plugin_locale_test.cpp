// The loaded plugin's locale: account settings, mapping and publication.
#include <algorithm>

#include "plugin_scenario.h"

namespace hpk::content_targeting::testing {
namespace {

class ContentTargetingPluginLocale : public ContentTargetingScenario {
protected:
    // Configuration with a mapping (JSON text inside the JSON string).
    static std::string ConfigWithMapping(const std::string& mapping) {
        std::string escaped;
        for (char c : mapping) {
            if (c == '"' || c == '\\') escaped += '\\';
            escaped += c;
        }
        return R"({"Enabled": true, "Mapping": ")" + escaped + "\"}";
    }
    void ServeSettings(const std::string& document) {
        Serve(kAccount, document);
        Serve(kReady, "true");
    }
};

constexpr char kPlMapping[] =
    R"({"PL": {"Enabled": true, "Locale": "pl_PL"}, "DE": {"Enabled": true, "Locale": "de_DE"}})";
constexpr char kInPoland[] = R"({"success": true, "geoInfo": {"country": "PL", "city": "Krakow"}})";

TEST_F(ContentTargetingPluginLocale, PlayerLanguageWinsOverTheMapping) {
    Serve(kConfig, ConfigWithMapping(kPlMapping));
    Serve(kRegion, R"({"locale": "en_US"})");
    Serve(kGeo, kInPoland);
    ServeSettings(R"({"data": {"selectedLanguage": "de_DE"}})");
    Start();
    EXPECT_EQ(ServedLocale(), "de_DE");
    EXPECT_EQ(PublishedLocales(), Strings{"de_DE"});
    EXPECT_TRUE(Traced("Content Targeting locale changed to: de_DE"));
}

TEST_F(ContentTargetingPluginLocale, RegionLocaleIsOnlyAReadinessSignal) {
    Serve(kConfig, R"({"Enabled": true})");
    ServeSettings(R"({"data": {"selectedLanguage": "de_DE"}})");
    Start();
    EXPECT_EQ(ServedLocale(), "");
    EXPECT_TRUE(PublishedLocales().empty());
    AdvanceMs(12);
    Update(kRegion, R"({"locale": "fr_FR"})");
    EXPECT_EQ(PublishedLocales(), Strings{"de_DE"});
    EXPECT_EQ(Recorded("time_to_locale"), "1704067200012");
}

TEST_F(ContentTargetingPluginLocale, AutoDefersToAnEnabledMappingEntry) {
    struct Row {
        const char* name;
        const char* selected;
        const char* mapping;
        const char* geo;
        const char* expected;
    };
    const Row rows[] = {
        {"auto, enabled entry", "auto", kPlMapping, kInPoland, "pl_PL"},
        {"empty, enabled entry", "", kPlMapping, kInPoland, "pl_PL"},
        {"capital AUTO is a language", "AUTO", kPlMapping, kInPoland, "AUTO"},
        {"Enabled as a string", "auto", R"({"PL": {"Enabled": "true", "Locale": "pl_PL"}})", kInPoland, ""},
        {"Enabled false", "auto", R"({"PL": {"Enabled": false, "Locale": "pl_PL"}})", kInPoland, ""},
        {"lower-case keys", "auto", R"({"pl": {"Enabled": true, "Locale": "pl_PL"}})", kInPoland, ""},
        {"Locale not a string stays empty", "auto", R"({"PL": {"Enabled": true, "Locale": 48}})", kInPoland, ""},
        {"Locale missing", "auto", R"({"PL": {"Enabled": true}})", kInPoland, ""},
        {"mapping not an object", "auto", R"(["PL"])", kInPoland, ""},
        {"location unknown", "auto", kPlMapping, R"({"success": true, "geoInfo": {}})", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHost host;
        FakePluginSession session(host);
        host.ServeValue(kConfig, Json(ConfigWithMapping(row.mapping).c_str()));
        host.ServeValue(kRegion, Json(R"({"locale": "en_US"})"));
        host.ServeValue(kGeo, Json(row.geo));
        host.ServeValue(kAccount,
                        Json((std::string(R"({"data": {"selectedLanguage": ")") + row.selected + "\"}}").c_str()));
        host.ServeValue(kReady, Json("true"));
        ASSERT_TRUE(session.Load());
        ASSERT_TRUE(session.Init());
        auto& plugin = static_cast<ContentTargetingPlugin&>(session.Plugin());
        EXPECT_EQ(plugin.Locale().locale, row.expected);
        session.Shutdown();
    }
}

TEST_F(ContentTargetingPluginLocale, NullLocaleInAnEnabledEntryIsNoChange) {
    // The entry applies and serves the empty string, which equals the start.
    Serve(kConfig, ConfigWithMapping(R"({"PL": {"Enabled": true, "Locale": null}})"));
    Serve(kRegion, R"({"locale": "en_US"})");
    Serve(kGeo, kInPoland);
    Start();
    EXPECT_TRUE(PublishedLocales().empty());
    EXPECT_EQ(Recorded("time_to_locale"), "<none>");
}

TEST_F(ContentTargetingPluginLocale, TheSameLocaleIsPublishedOnce) {
    Serve(kConfig, ConfigWithMapping(kPlMapping));
    Serve(kRegion, R"({"locale": "en_US"})");
    Serve(kGeo, kInPoland);
    Start();
    EXPECT_EQ(PublishedLocales(), Strings{"pl_PL"});
    EXPECT_EQ(Recorded("time_to_locale"), "1704067200000");
    AdvanceMs(100);
    Update(kGeo, kInPoland);
    Update(kConfig, ConfigWithMapping(kPlMapping));
    Update(kRegion, R"({"locale": "en_GB"})");
    EXPECT_EQ(PublishedLocales(), Strings{"pl_PL"});
    EXPECT_EQ(Recorded("time_to_locale"), "1704067200000");
    // A different country with an entry changes it.
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "DE"}})");
    EXPECT_EQ(PublishedLocales(), (Strings{"pl_PL", "de_DE"}));
    EXPECT_EQ(Recorded("time_to_locale"), "1704067200100");
}

TEST_F(ContentTargetingPluginLocale, TheLocaleIsSticky) {
    Serve(kConfig, ConfigWithMapping(kPlMapping));
    Serve(kRegion, R"({"locale": "en_US"})");
    Serve(kGeo, R"({"success": true, "geoInfo": {"country": "SE"}})");
    ServeSettings(R"({"data": {"selectedLanguage": "fr_FR"}})");
    Start();
    EXPECT_EQ(ServedLocale(), "fr_FR");
    // Back to auto in a country without an entry: the choice stays.
    Serve(kAccount, R"({"data": {"selectedLanguage": "auto"}})");
    Update(kReady, "true");
    EXPECT_EQ(ServedLocale(), "fr_FR");
    // The mapping gains the country: now it applies.
    Update(kConfig, ConfigWithMapping(R"({"SE": {"Enabled": true, "Locale": "sv_SE"}})"));
    EXPECT_EQ(ServedLocale(), "sv_SE");
    // Switched off: frozen, whatever arrives.
    Update(kConfig, R"({"Enabled": false})");
    Serve(kAccount, R"({"data": {"selectedLanguage": "it_IT"}})");
    Update(kReady, "true");
    EXPECT_EQ(ServedLocale(), "sv_SE");
    EXPECT_EQ(PublishedLocales(), (Strings{"fr_FR", "sv_SE"}));
}

TEST_F(ContentTargetingPluginLocale, UnparseableMappingKeepsThePreviousOne) {
    Serve(kConfig, ConfigWithMapping(kPlMapping));
    Serve(kRegion, R"({"locale": "en_US"})");
    Start();
    Update(kConfig, R"({"Enabled": true, "Mapping": "{not json"})");
    Update(kGeo, kInPoland);
    EXPECT_EQ(ServedLocale(), "pl_PL");
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "DE"}})");
    EXPECT_EQ(ServedLocale(), "de_DE");
    // An empty text parses to no mapping at all.
    Update(kConfig, R"({"Enabled": true, "Mapping": ""})");
    Update(kGeo, kInPoland);
    EXPECT_EQ(ServedLocale(), "de_DE");
}

TEST_F(ContentTargetingPluginLocale, SettingsWithoutSelectedLanguageOnlyRecordTheirArrival) {
    Serve(kConfig, R"({"Enabled": true})");
    Serve(kRegion, R"({"locale": "en_US"})");
    Start();
    AdvanceMs(7);
    Serve(kAccount, R"({"data": {"theme": "dark"}})");
    Update(kReady, "true");
    EXPECT_EQ(Recorded("time_to_accountSettings"), "1704067200007");
    EXPECT_TRUE(PublishedLocales().empty());
    EXPECT_EQ(Recorded("time_to_locale"), "<none>");
    // Deletes are ignored entirely.
    AdvanceMs(1);
    Remove(kAccount);
    EXPECT_EQ(Recorded("time_to_accountSettings"), "1704067200007");
}

TEST_F(ContentTargetingPluginLocale, SelectedLanguageOfAnotherKindIsItsText) {
    Serve(kConfig, R"({"Enabled": true})");
    Serve(kRegion, R"({"locale": "en_US"})");
    ServeSettings(R"({"data": {"selectedLanguage": true}})");
    Start();
    EXPECT_EQ(ServedLocale(), "true");
}

TEST_F(ContentTargetingPluginLocale, ReadinessDecidesWhenTheSettingsAreRead) {
    Serve(kConfig, R"({"Enabled": true})");
    Serve(kRegion, R"({"locale": "en_US"})");
    Serve(kAccount, R"({"data": {"selectedLanguage": "es_ES"}})");
    Serve(kReady, "false");
    Start();
    const Strings before = RequestedUrls();
    EXPECT_EQ(std::count(before.begin(), before.end(), std::string(kAccount)), 0);
    Update(kReady, "true");
    Serve(kAccount, R"({"data": {"selectedLanguage": "ca_ES"}})");
    Update(kReady, "true");  // watches again and fetches again
    const Strings urls = RequestedUrls();
    EXPECT_EQ(std::count(urls.begin(), urls.end(), std::string(kAccount)), 2);
    EXPECT_EQ(PublishedLocales(), (Strings{"es_ES", "ca_ES"}));
    // Later document updates arrive as events.
    Update(kAccount, R"({"data": {"selectedLanguage": "eu_ES"}})");
    EXPECT_EQ(ServedLocale(), "eu_ES");
}

}  // namespace
}  // namespace hpk::content_targeting::testing
