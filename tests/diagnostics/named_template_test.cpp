#include "diagnostics/named_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hpk {
namespace {

std::string DetailsText(const std::vector<NamedDetail>& details) {
    std::string text;
    for (const NamedDetail& detail : details) {
        if (!text.empty()) text += ",";
        text += detail.name + "=";
        switch (detail.value.Kind()) {
            case NamedValueKind::Bool: text += detail.value.AsBool() ? "b:true" : "b:false"; break;
            case NamedValueKind::Signed: text += "i:" + std::to_string(detail.value.AsSigned()); break;
            case NamedValueKind::Unsigned: text += "u:" + std::to_string(detail.value.AsUnsigned()); break;
            case NamedValueKind::Double: text += "d:" + std::to_string(detail.value.AsDouble()); break;
            case NamedValueKind::String: text += "s:" + detail.value.AsString(); break;
        }
    }
    return text;
}

struct Row {
    const char* templateText;
    std::vector<NamedValue> values;
    const char* format;
    const char* details;
    const char* message;
};

TEST(NamedTemplate, ExpandsToPositionalFormatDetailsAndMessage) {
    const std::vector<Row> rows = {
        {"Error response for {method} {url}: {error}",
         {"GET", "/lol-summoner/v1/current-summoner", "Not Found"},
         "Error response for %1 %2: %3",
         "method=s:GET,url=s:/lol-summoner/v1/current-summoner,error=s:Not Found",
         "Error response for GET /lol-summoner/v1/current-summoner: Not Found"},
        {"{#count}", {NamedValue::Signed(-4)}, "%1", "count_int=i:-4", "-4"},
        {"{#size_int}", {NamedValue::Unsigned(9)}, "%1", "size_int=u:9", "9"},
        {"{#ratio}", {NamedValue::Double(0.5)}, "%1", "ratio_float=d:0.500000", "0.5"},
        {"{#ok}", {NamedValue::Bool(true)}, "%1", "ok_bool=b:true", "1"},
        {"{#who}", {"me"}, "%1", "who_str=s:me", "me"},
        {"{#when_time}", {NamedValue::Signed(5)}, "%1", "when_time=i:5", "5"},
        {"{#a_b}", {NamedValue::Signed(5)}, "%1", "a_b_int=i:5", "5"},
        {"[{n?none}]", {NamedValue::Signed(0)}, "[none]", "", "[none]"},
        {"[{n?none}]", {NamedValue::Signed(3)}, "[%1]", "n=i:3", "[3]"},
        {"[{s?empty}]", {""}, "[empty]", "", "[empty]"},
        {"[{b?no}]", {NamedValue::Bool(false)}, "[no]", "", "[no]"},
        {"[{d?zero}]", {NamedValue::Double(0.0)}, "[zero]", "", "[zero]"},
        {"{{x}}", {}, "{x}", "", "{x}"},
        {"a}b", {}, "a}b", "", "a}b"},
        {"100%% of {n}", {NamedValue::Signed(7)}, "100%% of %1", "n=i:7", "100% of 7"},
        {"{a} and {b}", {"x"}, "%1 and ", "a=s:x", "x and "},
        {"{count:05d}", {NamedValue::Signed(42)}, "%1$05d", "count=i:42", "00042"},
        {"{x} {count:05d}", {"a", NamedValue::Signed(42)}, "%1 %2$05d", "x=s:a,count=i:42", "a 00042"},
        {"{v@str}", {NamedValue::Bool(true)}, "%1", "v=s:true", "true"},
        {"{v@str}", {NamedValue::Double(1.5)}, "%1", "v=s:1.500000", "1.500000"},
        {"{v@str}", {NamedValue::Signed(-12)}, "%1", "v=s:-12", "-12"},
        {"{v@hex}", {NamedValue::Unsigned(255)}, "%1$016llX", "v=s:00000000000000FF", "00000000000000FF"},
        {"{v@hex}", {NamedValue::Signed(-1)}, "%1$016llX", "v=s:FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF"},
        {"{#v@hex}", {NamedValue::Signed(1)}, "%1$016llX", "v_str=s:0000000000000001", "0000000000000001"},
        {"Saved  {id!}", {NamedValue::Signed(8)}, "Saved", "id=i:8", "Saved"},
        {"{a\\:b}", {"v"}, "%1", "a:b=s:v", "v"},
        {"{a{b}", {"v"}, "%1", "ab=s:v", "v"},
        {"{}", {"v"}, "%1", "", "v"},
        {"%d items in {where}", {NamedValue::Signed(3), "bag"}, "%d items in %2", "where=s:bag", "3 items in bag"},
        {"open {never", {"v"}, "open ", "", "open "},
        {"{x}{x}", {"a", "b"}, "%1%2", "x=s:b", "ab"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.templateText);
        const ExpandedTemplate expanded = ExpandNamedTemplate(row.templateText, row.values.data(), row.values.size());
        EXPECT_EQ(expanded.format, row.format);
        EXPECT_EQ(DetailsText(expanded.details), row.details);
        const NamedMessage message = FormatNamedTemplate(row.templateText, row.values);
        EXPECT_EQ(message.message, row.message);
        EXPECT_EQ(DetailsText(message.details), row.details);
    }
}

TEST(NamedTemplate, DigitAfterAPlaceholderDoesNotChangeItsNumber) {
    const std::vector<NamedValue> values = {NamedValue::Signed(4), "s", NamedValue::Double(2.5)};
    const ExpandedTemplate expanded = ExpandNamedTemplate("{a}0 {b}1 {c}$", values.data(), values.size());
    EXPECT_EQ(expanded.format, "%1$lld0 %2$s1 %3$g$");
    EXPECT_EQ(FormatNamedTemplate("{a}0 {b}1 {c}$", values).message, "40 s1 2.5$");
}

TEST(NamedTemplate, FindDetailLooksUpByName) {
    const std::vector<NamedValue> values = {"GET", "/x", "boom"};
    const NamedMessage message = FormatNamedTemplate("{method} {url}: {error}", values);
    const NamedValue* error = FindDetail(message.details, "error");
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(*error, NamedValue("boom"));
    EXPECT_EQ(FindDetail(message.details, "missing"), nullptr);
}

TEST(NamedTemplate, ValuesArePassedToTheFormatterNotParsedByIt) {
    const std::vector<NamedValue> values = {"%s%n%1$s", "{x}"};
    EXPECT_EQ(FormatNamedTemplate("{a} {b}", values).message, "%s%n%1$s {x}");
}

}  // namespace
}  // namespace hpk
