// The host's model of the feature: a few rows of its rules. The model as a
// whole is tested by exploring, where it must agree with the plugin after
// every step (model-agrees) and catch the faults scripts/mutate.sh plants.
#include <gtest/gtest.h>

#include "formats/json_reader.h"
#include "model/filter_rules.h"
#include "model/model_records.h"

namespace hpk::host {
namespace {

constexpr std::int64_t kSecond = kModelTicksPerSecond;
constexpr std::int64_t kNow = 17'000'000'000 * kSecond;  // ticks since 1970

ModelGames Games(std::initializer_list<ModelGame> games) {
    ModelGames out;
    out.champions = games;
    out.gameCount = static_cast<std::uint32_t>(out.champions.size());
    return out;
}

// Milliseconds since 1970 of the second at the 30-day cutoff for kNow.
constexpr std::uint64_t kCutoffMilliseconds = static_cast<std::uint64_t>((kNow - kModelRevivalTicks) / kSecond) * 1000;

TEST(FeatureModel, FilterRules) {
    struct Row {
        const char* name;
        std::uint32_t threshold;
        ModelGames games;
        std::int64_t nowHigh;  // the clock window is [kNow, nowHigh]
        std::vector<std::vector<std::string>> candidates;
    };
    const ModelGame jungle{420, "JUNGLE", kCutoffMilliseconds - 1000};
    const Row rows[] = {
        {"lane count at the threshold",
         2,
         Games({jungle, jungle, {450, "top", 0}}),
         kNow,
         {{"filter_revival_true", "filter_lane_jungle"}}},
        {"lane count below it", 3, Games({jungle, jungle}), kNow, {{"filter_revival_true"}}},
        {"newest game in the cutoff second: no revival", 9, Games({{420, "mid", kCutoffMilliseconds}}), kNow, {{}}},
        {"a second before it: revival",
         9,
         Games({{420, "mid", kCutoffMilliseconds - 1}}),
         kNow,
         {{"filter_revival_true"}}},
        {"the cutoff passes while the step runs: either",
         9,
         Games({{420, "mid", kCutoffMilliseconds}}),
         kNow + kSecond,
         {{}, {"filter_revival_true"}}},
        {"a count past the list: no games", 9, ModelGames{3, {}}, kNow, {{}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FilterInputs in;
        in.config.Enabled = true;
        in.config.RevivalFilterEnabled = true;
        in.config.LaneFilterEnabled = true;
        in.config.LaneFilterThreshold = row.threshold;
        in.gamesReceived = true;
        in.games = row.games;
        in.nowLow = kNow;
        in.nowHigh = row.nowHigh;
        const FilterDerivation derived = DeriveFilters(in);
        EXPECT_TRUE(derived.closed.empty());
        EXPECT_EQ(derived.Candidates(), row.candidates);
    }
}

TEST(FeatureModel, LocationParts) {
    const std::pair<const char*, const char*> rows[] = {
        {"US", "us"},     {"Los Angeles", "los_angeles"}, {"São Paulo", "s%C3%A3o_paulo"},
        {"A/B", "a%2Fb"}, {"x y%z", "x_y%25z"},           {"~a.b-c_d", "~a.b-c_d"},
        {"", ""},
    };
    for (const auto& [text, part] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(FormatLocationPart(text), part);
    }
}

TEST(FeatureModel, LocaleRules) {
    BindingResult parsed =
        ParseJson(R"({"PL": {"Enabled": true, "Locale": "pl_PL"}, "US": {"Enabled": "true", "Locale": "en_US"}})");
    ASSERT_TRUE(parsed.IsOk());
    struct Row {
        const char* language;
        const char* country;
        LocaleRule rule;
        const char* locale;
    };
    const Row rows[] = {
        {"de_DE", "PL", LocaleRule::Language, "de_DE"}, {"auto", "PL", LocaleRule::Mapped, "pl_PL"},
        {"", "PL", LocaleRule::Mapped, "pl_PL"},        {"AUTO", "PL", LocaleRule::Language, "AUTO"},
        {"auto", "US", LocaleRule::EntryOff, ""},       {"auto", "pl", LocaleRule::NoCountry, ""},
        {"auto", "", LocaleRule::NoLocation, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.language) + " " + row.country);
        LocaleInputs in;
        in.enabled = true;
        in.regionLocale = "en_GB";
        in.selectedLanguage = row.language;
        in.mapping = &parsed.Value();
        in.geo.country = row.country;
        const LocaleDerivation derived = DeriveLocale(in);
        EXPECT_EQ(derived.rule, row.rule);
        EXPECT_EQ(derived.locale, row.locale);
    }
}

TEST(FeatureModel, ReadsRecordsByTheConversionRules) {
    struct Row {
        const char* json;  // a Summoner
        bool fits;
        std::uint32_t level;
    };
    const Row rows[] = {
        {R"({"summonerLevel": 42})", true, 42},
        {R"({"summonerLevel": "0x1F"})", true, 31},
        {R"({"summonerLevel": 2.9})", true, 2},
        {R"({"summonerLevel": null, "x": 1})", true, 0},
        {R"({"summonerLevel": -5})", false, 0},
        {R"({"summonerLevel": 4294967296})", false, 0},
        {R"({"summonerLevel": "12abc"})", false, 0},
        {R"({"summonerLevel": true})", false, 0},
        {R"([42])", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        BindingResult parsed = ParseJson(row.json);
        ASSERT_TRUE(parsed.IsOk());
        const Outcome<std::uint32_t> level = ReadSummonerLevel(parsed.Value());
        EXPECT_EQ(level.IsOk(), row.fits) << level.Error();
        if (row.fits) {
            EXPECT_EQ(level.Value(), row.level);
        }
    }
    BindingResult login = ParseJson(R"({"state": "1", "summonerId": 5, "accountId": 6})");
    const Outcome<ModelLoginSession> session = ReadLoginSession(login.Value());
    ASSERT_TRUE(session.IsOk()) << session.Error();
    EXPECT_EQ(session.Value().state, kLoginSucceeded);
    BindingResult config = ParseJson(R"({"Enabled": "yes"})");
    EXPECT_FALSE(ReadPlatformConfig(config.Value()).IsOk());
}

}  // namespace
}  // namespace hpk::host
