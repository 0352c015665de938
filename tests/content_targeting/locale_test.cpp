#include "content_targeting/locale.h"

#include <gtest/gtest.h>

namespace hpk::content_targeting {
namespace {

using Vela::Client::Api::GeoInfo;

// {"<country>": {"Enabled": true, "Locale": "<locale>"}} built member by member.
void AddEntry(BindingValue& mapping, std::string_view country, bool enabled, std::string_view locale) {
    BindingValue& entry = mapping.Member(country);
    entry.Member("Enabled").SetBool(enabled);
    entry.Member("Locale").SetString(locale);
}

struct Evaluation {
    bool enabled = true;
    std::string regionLocale = "en_US";
    std::string selectedLanguage;
    BindingValue mapping;
    GeoInfo geo{"PL", "Krakow", "MA"};
    std::string locale = "<before>";

    std::string Run() {
        ResolveLocale(locale, LocaleInputs{enabled, regionLocale, selectedLanguage, mapping, geo});
        return locale;
    }
};

TEST(LocaleResolution, PlayerChoiceWinsOverTheMapping) {
    struct Row {
        const char* name;
        bool enabled;
        const char* regionLocale;
        const char* selected;
        const char* expected;
    };
    const Row rows[] = {
        {"own language", true, "en_US", "de_DE", "de_DE"},
        {"capital AUTO is a language", true, "en_US", "AUTO", "AUTO"},
        {"auto defers to the mapping", true, "en_US", "auto", "pl_PL"},
        {"empty defers to the mapping", true, "en_US", "", "pl_PL"},
        {"no region locale yet", true, "", "de_DE", "<before>"},
        {"configuration off freezes", false, "en_US", "de_DE", "<before>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Evaluation e;
        e.enabled = row.enabled;
        e.regionLocale = row.regionLocale;
        e.selectedLanguage = row.selected;
        AddEntry(e.mapping, "PL", true, "pl_PL");
        EXPECT_EQ(e.Run(), row.expected);
    }
}

TEST(LocaleResolution, MappingEntryMustMatchAndBeEnabled) {
    struct Row {
        const char* name;
        void (*build)(BindingValue& mapping);
        GeoInfo geo;
        const char* expected;
    };
    const Row rows[] = {
        {"matching entry", [](BindingValue& m) { AddEntry(m, "PL", true, "pl_PL"); }, {"PL", "", ""}, "pl_PL"},
        {"no mapping parsed", [](BindingValue&) {}, {"PL", "", ""}, "<before>"},
        {"unknown location", [](BindingValue& m) { AddEntry(m, "", true, "xx"); }, {"", "", ""}, "<before>"},
        {"city only still looks up the empty country",
         [](BindingValue& m) { AddEntry(m, "", true, "xx"); },
         {"", "Paris", ""},
         "xx"},
        {"lower-case keys do not match",
         [](BindingValue& m) { AddEntry(m, "pl", true, "pl_PL"); },
         {"PL", "", ""},
         "<before>"},
        {"entry disabled", [](BindingValue& m) { AddEntry(m, "PL", false, "pl_PL"); }, {"PL", "", ""}, "<before>"},
        {"Enabled as the string true",
         [](BindingValue& m) {
             AddEntry(m, "PL", true, "pl_PL");
             m.Member("PL").Member("Enabled").SetString("true");
         },
         {"PL", "", ""},
         "<before>"},
        {"Enabled as the number 1",
         [](BindingValue& m) {
             AddEntry(m, "PL", true, "pl_PL");
             m.Member("PL").Member("Enabled").SetUnsigned(1);
         },
         {"PL", "", ""},
         "<before>"},
        {"Enabled missing",
         [](BindingValue& m) { m.Member("PL").Member("Locale").SetString("pl_PL"); },
         {"PL", "", ""},
         "<before>"},
        {"Locale missing",
         [](BindingValue& m) { m.Member("PL").Member("Enabled").SetBool(true); },
         {"PL", "", ""},
         "<before>"},
        {"Locale not a string",
         [](BindingValue& m) {
             AddEntry(m, "PL", true, "");
             m.Member("PL").Member("Locale").SetSigned(5);
         },
         {"PL", "", ""},
         ""},
        {"Locale null",
         [](BindingValue& m) {
             AddEntry(m, "PL", true, "");
             m.Member("PL").Member("Locale").Clear();
         },
         {"PL", "", ""},
         ""},
        {"mapping not an object", [](BindingValue& m) { m.SetString("PL"); }, {"PL", "", ""}, "<before>"},
        {"entry not an object", [](BindingValue& m) { m.Member("PL").SetBool(true); }, {"PL", "", ""}, "<before>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Evaluation e;
        row.build(e.mapping);
        e.geo = row.geo;
        EXPECT_EQ(e.Run(), row.expected);
    }
}

TEST(LocaleResolution, BackToAutoWithoutAnEntryKeepsTheEarlierChoice) {
    Evaluation e;
    AddEntry(e.mapping, "DE", true, "de_DE");
    e.selectedLanguage = "fr_FR";
    EXPECT_EQ(e.Run(), "fr_FR");
    e.selectedLanguage = "auto";
    EXPECT_EQ(e.Run(), "fr_FR");
    e.geo.country = "DE";
    EXPECT_EQ(e.Run(), "de_DE");
}

TEST(LocaleResolution, SelectedLanguageTextRendersEveryKind) {
    BindingValue value;
    value.SetString("de_DE");
    EXPECT_EQ(SelectedLanguageText(value), "de_DE");
    value.SetBool(true);
    EXPECT_EQ(SelectedLanguageText(value), "true");
    value.SetSigned(-3);
    EXPECT_EQ(SelectedLanguageText(value), "-3");
    value.Clear();
    EXPECT_EQ(SelectedLanguageText(value), "");
    value.Member("x").SetString("y");
    EXPECT_EQ(SelectedLanguageText(value), "");
}

}  // namespace
}  // namespace hpk::content_targeting
