// The YAML reader against the public yaml-test-suite data: invalid streams are
// refused, valid ones decode to the suite's JSON data. This reader types plain
// scalars by its own rules (not the YAML 1.2 core schema), reads one document
// only and takes string keys only, so each case that differs for one of those
// reasons is listed with it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "conformance_util.h"
#include "formats/json_reader.h"
#include "formats/yaml_reader.h"
#include "formats/yaml_scalar.h"
#include "formats_test_util.h"

namespace hpk {
namespace {

const std::string kSuiteDir = test::SuitePath("yaml/data");

// Expected scalars are JSON; ours may differ where the typing rules do.
bool SameYamlScalar(const BindingValue& ours, const BindingValue& expected) {
    if (test::SameScalar(ours, expected)) return true;
    if (expected.Kind() == BindingValueKind::String) {
        // A plain scalar this reader types differently (yes, on, 0x10, ...).
        BindingResult typed;
        TypeYamlScalar(typed, typed.Value(), nullptr, expected.AsString(), YamlScalarStyle::Plain);
        return typed.IsOk() && test::SameScalar(ours, typed.Value());
    }
    return false;
}

// Case directories: ID, or ID/NN for cases with several parts.
std::vector<std::string> CaseDirectories() {
    std::vector<std::string> cases;
    for (const std::string& id : test::ListDirectory(kSuiteDir)) {
        std::string probe;
        if (test::ReadFileBytes(kSuiteDir + "/" + id + "/in.yaml", probe)) {
            cases.push_back(id);
            continue;
        }
        for (const std::string& part : test::ListDirectory(kSuiteDir + "/" + id)) {
            if (test::ReadFileBytes(kSuiteDir + "/" + id + "/" + part + "/in.yaml", probe)) {
                cases.push_back(id + "/" + part);
            }
        }
    }
    return cases;
}

// Cases whose outcome is not a match, grouped by the reason.
const std::map<std::string, std::vector<std::string>> kExceptions = {
    // Valid YAML the tokenizer refuses (YAML 1.2 features, tabs, flow-key
    // forms and directives it does not know).
    {"tokenizer-rejects",
     {"2JQS", "2LFX", "2SXE",    "4ABK",    "4MUZ/00", "4MUZ/01", "4MUZ/02", "58MP",    "5MUD",     "5T43",
      "6BCT", "6CA3", "6LVF",    "6M2F",    "7Z25",    "8XYN",    "96NN/00", "96NN/01", "9SA2",     "A2M4",
      "BEC7", "CFD4", "DBG4",    "DK3J",    "DK95/00", "DK95/03", "DK95/04", "FP8R",    "FRK4",     "HM87/00",
      "HWV9", "K3WX", "M7A3",    "MUS6/05", "MUS6/06", "NHX8",    "NJ66",    "NKF9",    "Q5MG",     "QT73",
      "R4YG", "S3PD", "SM9W/01", "UKK6/00", "UT92",    "VJP3/01", "W4TN",    "W5VH",    "Y79Y/001", "Y79Y/010"}},
    // Invalid YAML the tokenizer lets through.
    {"accepts-invalid",
     {"9C9N", "9JBA", "CVW2", "DK95/01", "G5U8", "MUS6/00", "MUS6/01", "QB6E", "S98Z", "SU5Z", "X4QW", "Y79Y/003",
      "YJV2"}},
    // Scalars or anchors the tokenizer reads otherwise ("?foo" in flow
    // context, trailing blank lines of kept block scalars, ":" in anchors).
    {"reads-differently", {"652Z", "HM87/01", "JEF9/02", "L24T/01", "Y2GN"}},
    // One document only.
    {"multi-document", {"35KP", "6ZKB", "9DXL", "9KAX", "JHB9", "KSS4", "L383", "PUW8", "RZT7", "U9NS"}},
    // Several documents, all but one empty: read as the non-empty one.
    {"multi-ok", {"6XDY"}},
    // Tags other than str, int, float and bool are refused.
    {"tag",
     {"52DL", "565N", "5TYM", "6CK3", "6WLZ", "7FWL", "8MK2", "9WXW", "CC74", "CUP7", "M5C3", "P76L", "S4JQ", "UKK6/02",
      "Z67P", "Z9M4"}},
    // An anchor name may be used once.
    {"anchor", {"3GZX", "PW8X"}},
    // Keys must be string scalars.
    {"key",
     {"4FJ6", "6BFJ", "6PBE", "9MMW", "FH7J", "KK5P", "LX3P", "M2N8/00", "M2N8/01", "M5DY", "Q9WF", "RZP5", "SBG9",
      "V9D5", "X38W", "XW4D"}},
};

std::string Listing(const BindingResult& result) {
    return result.IsOk() ? test::Typed(result.Value()) : "error: " + result.ErrorText();
}

std::string ExpectedOutcome(const std::string& id, bool invalid) {
    for (const auto& [reason, ids] : kExceptions) {
        if (std::find(ids.begin(), ids.end(), id) != ids.end()) return reason;
    }
    return invalid ? "refused" : "match";
}

std::string Outcome(const BindingResult& ours, bool invalid, bool hasJson, const std::string& json) {
    if (invalid) return ours.IsOk() ? "accepts-invalid" : "refused";
    if (!ours.IsOk()) {
        const std::string message = ours.ErrorText();
        auto startsWith = [&message](const char* prefix) { return message.rfind(prefix, 0) == 0; };
        if (startsWith("Multi-document")) return "multi-document";
        if (startsWith("Unsupported YAML tag")) return "tag";
        if (startsWith("Duplicate occurrence of anchor")) return "anchor";
        if (startsWith("Invalid mapping key") || startsWith("Unexpected start of")) return "key";
        if (startsWith("YAML parser error")) return "tokenizer-rejects";
        return "failed: " + message;
    }
    if (!hasJson) return "match";
    const BindingResult expected = ParseJson(json.c_str());
    if (!expected.IsOk()) return "multi-ok";  // the data file holds one JSON text per document
    return test::SameTree(ours.Value(), expected.Value(), SameYamlScalar) ? "match" : "reads-differently";
}

TEST(YamlConformance, DecodesTheSuiteAsExpected) {
    const std::vector<std::string> cases = CaseDirectories();
    ASSERT_FALSE(cases.empty()) << "no yaml-test-suite data in " << kSuiteDir << ": scripts/setup.sh writes it";
    std::map<std::string, std::size_t> tally;
    for (const std::string& id : cases) {
        SCOPED_TRACE(id);
        const std::string dir = kSuiteDir + "/" + id;
        std::string yaml, json, marker;
        ASSERT_TRUE(test::ReadFileBytes(dir + "/in.yaml", yaml));
        const bool hasJson = test::ReadFileBytes(dir + "/in.json", json);
        const bool invalid = test::ReadFileBytes(dir + "/error", marker);
        const BindingResult ours = ParseYaml(yaml.c_str(), yaml.size());
        // Members gathered per mapping, or inserted one by one: the same tree.
        const BindingResult inserted = ParseYamlMemberByMember(yaml.c_str(), yaml.size());
        EXPECT_EQ(Listing(ours), Listing(inserted));
        const std::string outcome = Outcome(ours, invalid, hasJson, json);
        EXPECT_EQ(outcome, ExpectedOutcome(id, invalid)) << ours.ErrorText();
        ++tally[outcome];
    }
    EXPECT_EQ(cases.size(), 402u);
    EXPECT_GE(tally["match"], 200u);
    EXPECT_GE(tally["refused"], 80u);
}

}  // namespace
}  // namespace hpk
