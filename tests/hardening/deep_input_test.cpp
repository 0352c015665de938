// A million levels of nesting, in every way a value can arrive (a JSON,
// MessagePack or YAML body, a HostValue argument, an event payload), ends in a
// value or a clean error: never a crash on a 1 MiB stack, never a leak.
#include <gtest/gtest.h>

#include <string>

#include "content_targeting/plugin_scenario.h"
#include "hardening_inputs.h"
#include "boundary/allocation_hooks.h"
#include "served_request.h"
#include "support/fake_host.h"

namespace hpk::hardening {
namespace {

TEST(DeepInput, MillionLevelBodiesInEveryFormat) {
    struct Row {
        const char* name;
        std::string body;
        const char* contentType;
        std::optional<std::string> error;  // none: the body is echoed back whole
        std::size_t depth;
    };
    const Row rows[] = {
        {"json", DeepJsonArray(kMillion), "application/json", std::nullopt, kMillion - 1},
        {"json unclosed", std::string(kMillion, '['), "application/json", "Error: Invalid value. at offset 1000000.",
         0},
        {"msgpack", DeepMessagePackArray(kMillion), "application/x-msgpack", std::nullopt, kMillion},
        {"yaml flow", DeepJsonArray(kMillion), "application/x-yaml",
         "YAML nesting deeper than 1000 levels is not supported. At line: 1 col: 1001", 0},
        {"yaml block", DeepYamlBlock(kMillion), "application/x-yaml",
         "YAML nesting deeper than 1000 levels is not supported. At line: 1 col: 2001", 0},
    };
    const LeakCheck leaks;
    {
        ServedFunctions served;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            HostRequestBuilder builder;
            builder.Method(6).Url("/keep").Body(row.contentType, row.body);
            const ServedAnswer answer = served.Call("Keep", builder);
            EXPECT_EQ(answer.error, row.error);
            if (!row.error) {
                EXPECT_EQ(FirstChildDepth(answer.body), row.depth);
            }
        }
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
    EXPECT_EQ(leaks.ByteDelta(), 0);
}

TEST(DeepInput, MillionLevelBodyIntoARecordIsAConversionError) {
    const LeakCheck leaks;
    {
        ServedFunctions served;
        HostRequestBuilder builder;
        builder.Method(6).Url("/config").Body("application/json", "{\"Enabled\": " + DeepJsonArray(kMillion) + "}");
        EXPECT_EQ(
            served.Call("Config", builder).error,
            "Couldn't assign value to 'Enabled' of type bool because the input is of an invalid type collection.");
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
}

TEST(DeepInput, MillionLevelHostValueArgument) {
    const LeakCheck leaks;
    {
        ServedFunctions served;
        const DeepHostValue deep(kMillion);
        HostRequestBuilder builder;
        builder.Method(6).Url("/measure").Argument(std::string("value"), deep.Get());
        const ServedAnswer answer = served.Call("Measure", builder);
        EXPECT_EQ(answer.error, std::nullopt);
        EXPECT_EQ(answer.body.Member("depth").AsUnsigned(), kMillion);
        EXPECT_EQ(answer.body.Member("size").AsUnsigned(), 1u);
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
    EXPECT_EQ(leaks.ByteDelta(), 0);
}

TEST(DeepInput, HostValueRoundTripAtAMillionLevels) {
    const LeakCheck leaks;
    {
        const DeepHostValue deep(kMillion);
        BindingResult read;
        HostValueToBinding(read, deep.Get(), "<value>");
        ASSERT_TRUE(read.IsOk()) << read.ErrorText();
        EXPECT_EQ(FirstChildDepth(read.Value()), kMillion);
        HostValueOwner back;
        ASSERT_TRUE(ToHostValue(back.Get(), read.Value(), nullptr));
        BindingResult again;
        HostValueToBinding(again, back.Get(), "<value>");
        EXPECT_EQ(FirstChildDepth(again.Value()), kMillion);
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
}

using content_targeting::testing::ContentTargetingScenario;
using content_targeting::testing::kConfig;
using content_targeting::testing::kGeo;
using content_targeting::testing::kRegion;
using content_targeting::testing::Strings;
using DeepEvents = ContentTargetingScenario;

TEST_F(DeepEvents, PluginKeepsServingAfterMillionLevelPayloads) {
    const LeakCheck leaks;
    Start();
    // As the data of a resource event, and as the whole payload.
    Deliver(kConfig, PluginResourceEventType::Update, DeepJsonArray(kMillion));
    {
        const DeepHostValue deep(kMillion);
        EXPECT_TRUE(host_.DeliverRawEvent(EventNameOfUri(kConfig), deep.Get()));
    }
    {
        BindingResult parsed = ParseJson(("{\"Enabled\": true, \"Mapping\": " + DeepJsonArray(kMillion) + "}").c_str());
        ASSERT_TRUE(parsed.IsOk());
        EXPECT_TRUE(host_.DeliverResourceEvent(kConfig, PluginResourceEventType::Update, parsed.Value()));
    }
    EXPECT_EQ(ServedFilters(), Strings{});

    // Well-formed inputs afterwards are served as if nothing had happened.
    Update(kConfig, R"({"Enabled": true, "LocationFiltersEnabled": true})");
    Update(kRegion, R"({"locale": "en_GB"})");
    Update(kGeo, R"({"success": true, "geoInfo": {"country": "GB", "city": "York", "region": "ENG"}})");
    EXPECT_EQ(ServedFilters(),
              (Strings{"filter_location_gb", "filter_location_gb_eng", "filter_location_gb_eng_york"}));
    ShutDownAndExpectNothingLeft(leaks);
}

}  // namespace
}  // namespace hpk::hardening
