// Reading scenario files: the shapes they may take and the message for each
// mistake.
#include <gtest/gtest.h>

#include "scenario/scenario_reader.h"

namespace hpk::host {
namespace {

constexpr std::uint64_t kNow = 1'700'000'000'000;

TEST(ScenarioReader, ReadsResourcesStepsAndExpectations) {
    const char* text = R"(
name: Sample
description: Every kind of step.
resources:
  /a/value:
    value: {x: 1, when: 2 days ago}
  /a/error:
    error: {status: 503, message: Down}
  /a/plain-error:
    error: Broken
  /a/stream:
    stream: {chunk: 10, value: {k: v}, fail_at_read: 2}
steps:
  - update: /a/value
    value: {x: 2}
    event: Create
    note: first
  - delete: /a/error
  - serve: /a/other
    stream: {text: '{}', chunk: 1}
  - get: /arx-content-targeting/v1/filters
  - wait: 2 s
  - wait: 15
  - expect:
      filters: []
      filters_include: filter_a
      locale: pl_PL
      posted_count: {E: 2}
      telemetry: {count: 1, fields: [f], missing: [g], values: {filters: ""}}
      requested_count: {GET /a/value: 1}
      logged: [text]
)";
    const Outcome<Scenario> read = ReadScenarioText(text, kNow);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const Scenario& scenario = read.Value();
    EXPECT_EQ(scenario.name, "Sample");
    ASSERT_EQ(scenario.resources.size(), 4u);  // in key order
    EXPECT_EQ(scenario.resources[0].first, "/a/error");
    EXPECT_EQ(scenario.resources[0].second.kind, ResourceAnswer::Kind::Error);
    EXPECT_EQ(scenario.resources[0].second.status, 503);
    EXPECT_EQ(scenario.resources[0].second.message, "Down");
    EXPECT_EQ(scenario.resources[1].second.status, 500);
    EXPECT_EQ(scenario.resources[1].second.message, "Broken");
    EXPECT_EQ(scenario.resources[2].second.kind, ResourceAnswer::Kind::Stream);
    EXPECT_EQ(scenario.resources[2].second.streamText, R"({"k":"v"})");
    EXPECT_EQ(scenario.resources[2].second.chunkSize, 10u);
    EXPECT_EQ(scenario.resources[2].second.failAtRead, 2);
    EXPECT_EQ(scenario.resources[3].second.value.Member("when").AsUnsigned(), kNow - 2 * 86'400'000);

    ASSERT_EQ(scenario.steps.size(), 7u);
    EXPECT_EQ(scenario.steps[0].kind, ScenarioStep::Kind::Update);
    EXPECT_EQ(scenario.steps[0].eventType, "Create");
    EXPECT_EQ(scenario.steps[0].note, "first");
    EXPECT_EQ(scenario.steps[1].kind, ScenarioStep::Kind::Delete);
    EXPECT_EQ(scenario.steps[2].answer.streamText, "{}");
    EXPECT_EQ(scenario.steps[3].uri, "/arx-content-targeting/v1/filters");
    EXPECT_EQ(scenario.steps[4].milliseconds, 2000u);
    EXPECT_EQ(scenario.steps[5].milliseconds, 15u);
    const Expectations& expect = scenario.steps[6].expect;
    ASSERT_TRUE(expect.filters.has_value());
    EXPECT_TRUE(expect.filters->empty());
    EXPECT_EQ(expect.filtersInclude, std::vector<std::string>{"filter_a"});
    EXPECT_EQ(*expect.locale, "pl_PL");
    EXPECT_EQ(expect.postedCount.at(0).second, 2u);
    EXPECT_EQ(*expect.telemetryCount, 1u);
    EXPECT_EQ(expect.telemetryValues.at(0).first, "filters");
    EXPECT_EQ(expect.telemetryValues.at(0).second, "");
    EXPECT_EQ(expect.requestedCount.at(0).first, "GET /a/value");
}

TEST(ScenarioReader, NamesEachMistakeAndWhereItIs) {
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"- just a list", "a scenario is a mapping with name, description, resources and steps"},
        {"name: x\nsteps: {a: 1}", "scenario: 'steps' must be a list"},
        {"nmae: x", "scenario: unknown key 'nmae'"},
        {"resources: {a/b: {value: 1}}", "resource a/b: a URI must start with \"/\""},
        {"resources: {/a: {value: 1, error: x}}", "resource /a: give exactly one of value, error, stream"},
        {"resources: {/a: {error: {status: 404}}}", "resource /a error: an error needs a message"},
        {"resources: {/a: {stream: {chunk: 0, text: x}}}",
         "resource /a stream: 'chunk' must be between 1 and 65536 bytes"},
        {"resources: {/a: {stream: {chunk: 5}}}",
         "resource /a stream: a stream is a mapping with either text or value, and chunk"},
        {"steps: [{update: /a}]", "step 1 (update): an update needs a value (null for none)"},
        {"steps: [{update: /a, value: 1, event: Delete}]", "step 1 (update): 'event' must be Create or Update"},
        {"steps: [{get: /a, delete: /b}]",
         "step 1: a step is a mapping with exactly one of update, delete, serve, get, wait, expect, post"},
        {"steps: [{wait: 1 h}]",
         "step 1 (wait): a wait is a number of milliseconds, or a text such as \"250 ms\" or \"2 s\", at most 10 "
         "minutes"},
        {"steps: [{get: /a}, {expect: {filter: []}}]", "step 2 (expect): unknown key 'filter'"},
        {"steps: [{expect: {telemetry: {count: -1}}}]", "step 1 (expect) telemetry: 'count' must be a whole number"},
        {"steps: [{expect: {posted: [[a]]}}]", "step 1 (expect): 'posted' must be a text"},
        {"steps: [{get: x}]", "step 1 (get): a URI must start with \"/\""},
        {"name: [", "not valid YAML: "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const Outcome<Scenario> read = ReadScenarioText(row.text, kNow);
        EXPECT_FALSE(read.IsOk());
        const std::string& error = read.Error();
        // The YAML reader's own message follows the prefix; the rest is ours.
        EXPECT_EQ(error.substr(0, std::string(row.message).size()), row.message);
        if (std::string(row.message) != "not valid YAML: ") {
            EXPECT_EQ(error, row.message);
        }
    }
}

TEST(ScenarioReader, TheBuiltInDefaultReads) {
    const Outcome<Scenario> read = ReadScenarioText(DefaultScenarioText(), kNow);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    EXPECT_FALSE(read.Value().steps.empty());
}

TEST(ScenarioReader, AMissingFileIsNamed) {
    const Outcome<Scenario> read = ReadScenarioFile("/no/such/scenario.yaml", kNow);
    EXPECT_FALSE(read.IsOk());
    EXPECT_EQ(read.Error(), "cannot read scenario file /no/such/scenario.yaml");
}

}  // namespace
}  // namespace hpk::host
