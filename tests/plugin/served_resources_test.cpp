// Endpoint records as the host reads them, and requests through them.
#include "plugin/served_resources.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "binding/type_registration.h"
#include "router/binding_router.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

// Endpoint records are packed at a 90-byte stride: read their fields by value,
// never through a reference (which would assume alignment).
template <class T>
T Copy(T value) {
    return value;
}

using ServedResources = FakeHostFixture;

TEST_F(ServedResources, FiltersEndpointOfTheLibrarysPlugin) {
    ASSERT_TRUE(session.Load());
    const HostTableRecord& table = *session.Record().hostTable;
    ASSERT_EQ(Copy(table.endpointCount), 2u);
    EXPECT_EQ(Copy(table.endpoints[0].function.next), &table.endpoints[1].function);
    EXPECT_EQ(Copy(table.endpoints[1].function.next), nullptr);
    EXPECT_NE(Copy(table.types), nullptr);
    EXPECT_NE(Copy(table.events), nullptr);

    const HostEndpointRecord* filters = FakeHost::FindEndpoint(table, "/arx-content-targeting/v1/filters");
    ASSERT_NE(filters, nullptr);
    EXPECT_EQ(Copy(filters->method), 2u);
    EXPECT_EQ(Copy(filters->argumentLocations), nullptr);
    EXPECT_EQ(Copy(filters->textLists), nullptr);
    EXPECT_EQ(Copy(filters->textListCount), 0u);
    EXPECT_EQ(Copy(filters->flags), 0u);
    EXPECT_STREQ(Copy(filters->methodName), "");
    EXPECT_STREQ(Copy(filters->function.name), "GetArxContentTargetingV1Filters");
    EXPECT_EQ(Copy(filters->function.argumentCount), 0u);
    ASSERT_EQ(Copy(filters->function.tagCount), 2u);
    EXPECT_STREQ(Copy(filters->function.tags[0]), "Plugins");
    EXPECT_STREQ(Copy(filters->function.tags[1]), "Plugin hpk-be-arx-content-targeting");
    EXPECT_EQ(Copy(filters->requestCallback), &RequestCallback);
    const auto* userData = static_cast<const EndpointUserData*>(filters->function.endpointUserData);
    ASSERT_NE(userData, nullptr);
    EXPECT_EQ(userData->api, &Plugin().Router());
    ASSERT_NE(userData->registration, nullptr);
    EXPECT_EQ(userData->registration->Function()->name, "GetArxContentTargetingV1Filters");
    EXPECT_EQ(userData->registration->PathTemplate(), "/arx-content-targeting/v1/filters");
}

TEST_F(ServedResources, GetBeforeAnyComputationAnswersTheDefaults) {
    ASSERT_TRUE(session.Load());
    const HostTableRecord& table = *session.Record().hostTable;
    const HostEndpointRecord* filters = FakeHost::FindEndpoint(table, "/arx-content-targeting/v1/filters");
    const HostEndpointRecord* locale = FakeHost::FindEndpoint(table, "/arx-content-targeting/v1/locale");
    ASSERT_NE(filters, nullptr);
    ASSERT_NE(locale, nullptr);
    FakeHost::ServedResponse served = host.CallEndpoint(*filters, 2, "/arx-content-targeting/v1/filters");
    EXPECT_FALSE(served.error.has_value());
    EXPECT_TRUE(served.released);
    EXPECT_EQ(served.body.Member("filters").Size(), 0u);
    served = host.CallEndpoint(*locale, 2, "/arx-content-targeting/v1/locale");
    EXPECT_FALSE(served.error.has_value());
    EXPECT_EQ(served.body.Member("locale").AsString(), "");
}

struct Item {
    std::string id;
    std::uint32_t count = 0;
};

TEST_F(ServedResources, ArgumentLocationAndTextListRecordsAreChained) {
    script->registerApi = [](FakePlugin& plugin) {
        RegisterStruct<Item>(plugin.Registry(), "Item", {Field("id", &Item::id), Field("count", &Item::count)});
        const EndpointRegistrationResult served = plugin.Router().RegisterFunction(
            "GetItem", "/items/{id}", RequestMethod::Get,
            {{"id", ArgumentLocation::Path},
             {"count", ArgumentLocation::Query},
             {"trace", ArgumentLocation::Header, true},
             {"any", ArgumentLocation::Any, true}},
            [](std::string id, std::uint32_t count, std::string, std::string) {
                return Item{id, count};
            },
            plugin.ApiTags());
        ASSERT_TRUE(served) << served.error;
        // Nothing this library serves has text lists; the record format still carries them.
        const_cast<EndpointRegistration*>(served.registration)->AddTextList({"a", "b"});
        const_cast<EndpointRegistration*>(served.registration)->AddTextList({});
    };
    ASSERT_TRUE(session.Load(&MakeFakePlugin));
    const HostTableRecord& table = *session.Record().hostTable;
    ASSERT_EQ(Copy(table.endpointCount), 1u);
    const HostEndpointRecord& endpoint = table.endpoints[0];
    EXPECT_EQ(Copy(endpoint.function.next), nullptr);
    EXPECT_STREQ(Copy(endpoint.pathTemplate), "/items/{id}");
    ASSERT_NE(Copy(endpoint.argumentLocations), nullptr);
    const std::int32_t expected[] = {2, 1, 4, 0};
    const HostArgumentLocationRecord* location = endpoint.argumentLocations;
    for (std::int32_t code : expected) {
        ASSERT_NE(location, nullptr);
        EXPECT_EQ(Copy(location->location), code);
        location = location->next;
    }
    EXPECT_EQ(location, nullptr);
    ASSERT_EQ(Copy(endpoint.textListCount), 2u);
    ASSERT_NE(Copy(endpoint.textLists), nullptr);
    ASSERT_EQ(Copy(endpoint.textLists[0].count), 2u);
    EXPECT_STREQ(Copy(endpoint.textLists[0].texts[1]), "b");
    EXPECT_EQ(Copy(endpoint.textLists[0].next), &endpoint.textLists[1]);
    EXPECT_EQ(Copy(endpoint.textLists[1].count), 0u);
    EXPECT_EQ(Copy(endpoint.textLists[1].next), nullptr);

    FakeHost::ServedResponse served = host.CallEndpoint(endpoint, 2, "/items/a%20b?count=3");
    ASSERT_FALSE(served.error.has_value()) << *served.error;
    EXPECT_EQ(served.body.Member("id").AsString(), "a b");
    EXPECT_EQ(served.body.Member("count").AsUnsigned(), 3u);
}

TEST_F(ServedResources, HandlerThatThrowsAnswersWithAnError) {
    script->registerApi = [](FakePlugin& plugin) {
        const EndpointRegistrationResult served = plugin.Router().ServeGet(
            "/broken", []() -> std::string { throw std::runtime_error("broken handler"); }, plugin.ApiTags());
        ASSERT_TRUE(served) << served.error;
    };
    LoadAndInit();
    const HostEndpointRecord* endpoint = FakeHost::FindEndpoint(*session.Record().hostTable, "/broken");
    ASSERT_NE(endpoint, nullptr);
    FakeHost::ServedResponse served = host.CallEndpoint(*endpoint, 2, "/broken");
    EXPECT_TRUE(served.error.has_value());
    EXPECT_TRUE(served.released);
}

}  // namespace
}  // namespace hpk
