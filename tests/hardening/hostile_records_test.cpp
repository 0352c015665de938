// Records a careless or hostile host could hand over: null texts and arrays,
// counts without arrays, tags past the table, bodies without a type. Each gets
// an answer (or is ignored) and nothing is lost; the fuzz targets explore the
// same space at random, these rows pin the outcomes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "content_targeting/plugin_scenario.h"
#include "served_request.h"
#include "support/fake_host.h"

namespace hpk::hardening {
namespace {

HostValue BadTag(std::uint32_t tag) {
    HostValue value{};
    value.tag = tag;
    return value;
}

TEST(HostileRequests, MalformedRecordsGetAnAnswer) {
    struct Row {
        const char* name;
        std::function<void(HostRequest&)> spoil;  // applied to a good request to /measure with value=1
        std::optional<std::string> error;
        std::int32_t status;
    };
    static HostHeaderEntry nullHeader{nullptr, nullptr};
    static HostArgumentEntry badArgument{"value", BadTag(99)};
    static HostArgumentEntry unnamedBad{nullptr, BadTag(0xFFFFFFFFu)};
    static const char kEmpty[] = "";
    const Row rows[] = {
        {"as sent", [](HostRequest&) {}, std::nullopt, 0},
        {"null url", [](HostRequest& r) { r.url = nullptr; }, "Invalid function", 404},
        {"method past the table", [](HostRequest& r) { r.method = 200; }, "Invalid function", 404},
        {"other method without its name", [](HostRequest& r) { r.method = 8; }, "Invalid function", 404},
        {"header count without headers", [](HostRequest& r) { r.headerCount = 5; }, std::nullopt, 0},
        {"null header texts",
         [](HostRequest& r) {
             r.headers = &nullHeader;
             r.headerCount = 1;
         },
         std::nullopt, 0},
        {"argument count without arguments",
         [](HostRequest& r) {
             r.arguments = nullptr;
             r.argumentCount = 4;
         },
         "A value for 'value' is required.", 0},
        {"argument with a tag past the table",
         [](HostRequest& r) {
             r.arguments = &badArgument;
             r.argumentCount = 1;
         },
         "Couldn't assign value to 'value' of type object because the input is of an incompatible type ''.", 0},
        {"unnamed argument with a tag past the table",
         [](HostRequest& r) {
             r.arguments = &unnamedBad;
             r.argumentCount = 1;
         },
         "Couldn't assign value to 'value' of type object because the input is of an incompatible type ''.", 0},
        {"empty body without a type",
         [](HostRequest& r) {
             r.body = kEmpty;
             r.bodyLength = 0;
         },
         std::nullopt, 0},
    };
    const LeakCheck leaks;
    {
        ServedFunctions served;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            HostRequestBuilder builder;
            builder.Method(6).Url("/measure").Argument(std::string("value"), HostUnsigned(1));
            HostRequest request = builder.UserData(served.UserData("Measure")).Build();
            row.spoil(request);
            const ServedAnswer answer = served.Send(request);
            EXPECT_EQ(answer.error, row.error);
            EXPECT_EQ(answer.status, row.status);
        }
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
    EXPECT_EQ(leaks.ByteDelta(), 0);
}

TEST(HostileRequests, OddBodiesEndInAValueOrTheReadersMessage) {
    struct Row {
        const char* name;
        std::optional<std::string> contentType;
        std::string body;
        std::optional<std::string> error;
    };
    const Row rows[] = {
        {"no content type", std::nullopt, "{}", "Unsupported body content type"},
        {"unknown content type", std::string("text/plain"), "{}", "Unsupported body content type"},
        // An empty body is no body: the argument it was meant for is missing.
        {"empty json", std::string("application/json"), "", "A value for 'value' is required."},
        // JSON text ends at its first NUL, whatever the length says.
        {"json with a NUL inside", std::string("application/json"), std::string("[1,\0 2]", 7),
         "Error: Invalid value. at offset 3."},
        // Input that ends between items keeps the items begun.
        {"msgpack cut short between items", std::string("application/x-msgpack"), "\x92\x01", std::nullopt},
        {"msgpack cut short inside an item", std::string("application/x-msgpack"), "\x92\xcd\x01",
         "Invalid MessagePack data. 16-bit integer value at position 2 is truncated."},
        {"msgpack with bytes after the value", std::string("application/x-msgpack"), "\x01\x02",
         "Extra MessgePack data found in body"},
        {"yaml with an undefined alias", std::string("application/x-yaml"), "a: *nowhere\n",
         "Undefined alias encountered: \"nowhere\". At line: 1 col: 4"},
    };
    const LeakCheck leaks;
    {
        ServedFunctions served;
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            HostRequestBuilder builder;
            builder.Method(6).Url("/measure-body").Body(row.contentType, row.body);
            EXPECT_EQ(served.Call("MeasureBody", builder).error, row.error);
        }
    }
    EXPECT_EQ(leaks.BlockDelta(), 0);
}

using content_targeting::testing::ContentTargetingScenario;
using content_targeting::testing::kConfig;
using content_targeting::testing::Strings;
using HostileEvents = ContentTargetingScenario;

TEST_F(HostileEvents, MalformedEventsAreDroppedAndLaterOnesStillCount) {
    const LeakCheck leaks;
    Start();
    FakeHost::RecordedSubscription config;
    for (const auto& subscription : host_.SubscribeCalls()) {
        if (subscription.name == EventNameOfUri(kConfig)) config = subscription;
    }
    ASSERT_NE(config.callback, nullptr);
    auto send = [&config](const char* name, const HostValue& payload) {
        HostEvent event{};
        event.name = name;
        event.payload = payload;
        event.context = config.context;
        config.callback(&event);
    };
    send(nullptr, HostValue{});
    send("", BadTag(11));
    HostValue text{};
    text.tag = static_cast<std::uint32_t>(HostValueTag::StringBorrowed);
    text.payload.span.data = const_cast<char*>("{\"Enabled\": true}");
    send(config.name.c_str(), text);
    HostValue nullMap{};
    nullMap.tag = static_cast<std::uint32_t>(HostValueTag::Map);
    nullMap.payload.span.count = 1000;  // and no entries behind it
    send(config.name.c_str(), nullMap);
    for (const char* json : {R"({"uri": 5, "eventType": "Update", "data": {"Enabled": true}})",
                             R"({"uri": "/arx-platform-config/v1/namespaces/TvxContentTargeting", "eventType": 99,
                                 "data": {"Enabled": true, "RankedFilterEnabled": true}})",
                             R"({"eventType": "Sideways", "data": {"Enabled": "maybe"}})"}) {
        SCOPED_TRACE(json);
        EXPECT_TRUE(host_.DeliverEvent(config.name, content_targeting::testing::Json(json)));
    }
    Update(kConfig, R"({"Enabled": true, "LocationFiltersEnabled": true})");
    Update(content_targeting::testing::kGeo, R"({"success": true, "geoInfo": {"country": "NO"}})");
    EXPECT_EQ(ServedFilters(), (Strings{"filter_location_no", "filter_location_no_", "filter_location_no__"}));
    ShutDownAndExpectNothingLeft(leaks);
}

}  // namespace
}  // namespace hpk::hardening
