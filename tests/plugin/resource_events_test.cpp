// Subscriptions, deliveries, typed watches and publishing, through the host.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "binding/type_registration.h"
#include "plugin/plugin_base.h"
#include "plugin/resource_events.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

struct WatchedRecord {
    std::string name;
    std::uint32_t level = 5;
};

void RegisterWatchedRecord(FakePlugin& plugin) {
    RegisterStruct<WatchedRecord>(plugin.Registry(), "WatchedRecord",
                                  {Field("name", &WatchedRecord::name), Field("level", &WatchedRecord::level)});
}

class ResourceEvents : public FakeHostFixture {
protected:
    void SetUp() override {
        script->registerApi = &RegisterWatchedRecord;
        LoadAndInit();
        host.ClearRecords();
    }
    hpk::ResourceEvents& Events() { return Plugin().Events(); }
    std::vector<std::string> SubscribedNames() const {
        std::vector<std::string> names;
        for (const auto& call : host.SubscribeCalls()) names.push_back(call.name);
        return names;
    }
};

BindingValue Record(std::string_view name, std::uint64_t level) {
    BindingValue value;
    value.Member("name").SetString(name);
    value.Member("level").SetUnsigned(level);
    return value;
}

TEST_F(ResourceEvents, UrisSharingAnEventNameShareOneHostSubscription) {
    Events().Subscribe("/arx-summoner/v1/current-summoner/a");
    Events().Subscribe("/arx-summoner/v1/current-summoner/b");
    EXPECT_EQ(SubscribedNames(), (std::vector<std::string>{"OnJsonApiEvent_arx-summoner_v1_current-summoner"}));
    EXPECT_EQ(host.SubscribeCalls()[0].kind, 0u);
    Events().Unsubscribe("/arx-summoner/v1/current-summoner/a");
    EXPECT_TRUE(host.UnsubscribeCalls().empty());
    EXPECT_TRUE(host.IsSubscribed("OnJsonApiEvent_arx-summoner_v1_current-summoner"));
    Events().Unsubscribe("/arx-summoner/v1/current-summoner/b");
    EXPECT_EQ(host.UnsubscribeCalls(), (std::vector<std::string>{"OnJsonApiEvent_arx-summoner_v1_current-summoner"}));
    // Once gone, a new subscription reaches the host again.
    Events().Subscribe("/arx-summoner/v1/current-summoner/a");
    EXPECT_EQ(host.SubscribeCalls().size(), 2u);
}

TEST_F(ResourceEvents, UnpairedUnsubscribeIsIgnored) {
    Events().Unsubscribe("/never/subscribed/here");
    EXPECT_TRUE(host.UnsubscribeCalls().empty());
    Events().Subscribe("/never/subscribed/here");
    EXPECT_EQ(host.SubscribeCalls().size(), 1u);
}

TEST_F(ResourceEvents, WatchDeliversTheCurrentStateAtOnce) {
    host.ServeValue("/w/v1/record", Record("first", 3));
    std::vector<ResourceUpdate<WatchedRecord>> updates;
    Events().Watch<WatchedRecord>("/w/v1/record",
                                  [&](const ResourceUpdate<WatchedRecord>& u) { updates.push_back(u); });
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].uri, "/w/v1/record");
    EXPECT_EQ(updates[0].eventType, PluginResourceEventType::Create);
    EXPECT_EQ(updates[0].data.name, "first");
    EXPECT_EQ(updates[0].data.level, 3u);
    EXPECT_EQ(host.Calls(),
              (std::vector<std::string>{"Subscribe OnJsonApiEvent_w_v1_record 0", "Request GET /w/v1/record"}));

    EXPECT_TRUE(host.DeliverResourceEvent("/w/v1/record", PluginResourceEventType::Update, Record("second", 4)));
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_EQ(updates[1].eventType, PluginResourceEventType::Update);
    EXPECT_EQ(updates[1].data.name, "second");
}

TEST_F(ResourceEvents, FailedFetchDeliversNothingButKeepsTheSubscription) {
    int calls = 0;
    Events().Watch<bool>("/w/v1/ready", [&](const ResourceUpdate<bool>& update) {
        ++calls;
        EXPECT_TRUE(update.data);
    });
    EXPECT_EQ(calls, 0);
    BindingValue yes;
    yes.SetBool(true);
    EXPECT_TRUE(host.DeliverResourceEvent("/w/v1/ready", PluginResourceEventType::Update, yes));
    EXPECT_EQ(calls, 1);
}

TEST_F(ResourceEvents, UriWithoutLeadingSlashIsRouted) {
    std::vector<std::string> seen;
    Events().Watch("/arx-login/v1/session", [&](const PluginResourceEvent& event) { seen.push_back(event.uri); });
    host.DeliverResourceEvent("arx-login/v1/session", PluginResourceEventType::Update, Record("x", 1),
                              std::string("OnJsonApiEvent_arx-login_v1_session"));
    EXPECT_EQ(seen, (std::vector<std::string>{"/arx-login/v1/session"}));
}

TEST_F(ResourceEvents, ExactListenerFirstThenMatchingPatterns) {
    std::vector<std::string> order;
    Events().Watch("/a/b/c", [&](const PluginResourceEvent&) { order.push_back("exact"); });
    Events().Watch("/a/*/c", [&](const PluginResourceEvent&) { order.push_back("/a/*/c"); });
    Events().Watch("/a/b/*", [&](const PluginResourceEvent&) { order.push_back("/a/b/*"); });
    Events().Watch("/a/x/*", [&](const PluginResourceEvent&) { order.push_back("/a/x/*"); });
    order.clear();
    EXPECT_TRUE(host.DeliverResourceEvent("/a/b/c", PluginResourceEventType::Update, Record("x", 1)));
    EXPECT_EQ(order, (std::vector<std::string>{"exact", "/a/*/c", "/a/b/*"}));
}

TEST_F(ResourceEvents, DeleteReachesTheTypedHandlerWithADefaultRecord) {
    std::vector<ResourceUpdate<WatchedRecord>> updates;
    Events().Watch<WatchedRecord>("/w/v1/record",
                                  [&](const ResourceUpdate<WatchedRecord>& u) { updates.push_back(u); });
    EXPECT_TRUE(host.DeliverResourceEvent("/w/v1/record", PluginResourceEventType::Delete, BindingValue()));
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0].eventType, PluginResourceEventType::Delete);
    EXPECT_EQ(updates[0].data.name, "");
    EXPECT_EQ(updates[0].data.level, 5u);
}

TEST_F(ResourceEvents, UpdateThatDoesNotConvertIsDroppedWithATrace) {
    std::vector<std::string> traces;
    Plugin().SetTraceSink([&](const std::string& line) { traces.push_back(line); });
    int typedCalls = 0;
    int plainCalls = 0;
    Events().Watch<WatchedRecord>("/w/v1/record", [&](const ResourceUpdate<WatchedRecord>&) { ++typedCalls; });
    Events().Watch("/w/v1/*", [&](const PluginResourceEvent&) { ++plainCalls; });
    traces.clear();
    BindingValue bad;
    bad.Member("level").SetString("high");
    EXPECT_TRUE(host.DeliverResourceEvent("/w/v1/record", PluginResourceEventType::Update, bad));
    EXPECT_EQ(typedCalls, 0);
    EXPECT_EQ(plainCalls, 1);  // the other listener still runs
    EXPECT_EQ(traces.back(),
              "Couldn't convert resource WatchedRecord to C++ while handling update for URL: /w/v1/record");
}

TEST_F(ResourceEvents, PayloadThatIsNoResourceEventIsDropped) {
    int calls = 0;
    Events().Watch("/w/v1/record", [&](const PluginResourceEvent&) { ++calls; });
    BindingValue notAnEvent;
    notAnEvent.SetUnsigned(3);
    EXPECT_TRUE(host.DeliverEvent("OnJsonApiEvent_w_v1_record", notAnEvent));
    HostValue badTag{};
    badTag.tag = 42;
    EXPECT_TRUE(host.DeliverRawEvent("OnJsonApiEvent_w_v1_record", badTag));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(ResourceEvents, EventNobodyRegisteredIsIgnored) {
    int calls = 0;
    Events().Watch("/k/v1/x", [&](const PluginResourceEvent&) { ++calls; });
    const HostEventCallback callback = host.SubscribeCalls().back().callback;
    HostValue payload{};
    HostEvent event{"OnJsonApiEvent_nobody", payload, 0, &Plugin()};
    callback(&event);
    event.name = nullptr;
    callback(&event);
    callback(nullptr);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(ResourceEvents, PublishPostsUnderTheResourceNameAndTheBaseName) {
    PluginResourceEvent event;
    event.uri = "/arx-content-targeting/v1/filters";
    event.eventType = PluginResourceEventType::Update;
    event.data.Element(0).SetString("filter_level_42");
    EXPECT_TRUE(Events().PublishEvent("OnJsonApiEvent", event).IsOk());
    ASSERT_EQ(host.PostedEvents().size(), 2u);
    EXPECT_EQ(host.PostedEvents()[0].name, "OnJsonApiEvent_arx-content-targeting_v1_filters");
    EXPECT_EQ(host.PostedEvents()[1].name, "OnJsonApiEvent");
    for (const FakeHost::RecordedEvent& posted : host.PostedEvents()) {
        SCOPED_TRACE(posted.name);
        EXPECT_EQ(posted.value, 0u);
        EXPECT_EQ(posted.payload.Member("uri").AsString(), "/arx-content-targeting/v1/filters");
        EXPECT_EQ(posted.payload.Member("eventType").AsString(), "Update");
        ASSERT_EQ(posted.payload.Member("data").Size(), 1u);
        EXPECT_EQ(posted.payload.Member("data").Element(0).AsString(), "filter_level_42");
    }
}

TEST_F(ResourceEvents, PublishPostsOnceWhenTheNamesAreEqual) {
    PluginResourceEvent event;
    event.uri = "/x";
    EXPECT_TRUE(Events().PublishEvent("OnJsonApiEvent_x", event, 9).IsOk());
    ASSERT_EQ(host.PostedEvents().size(), 1u);
    EXPECT_EQ(host.PostedEvents()[0].name, "OnJsonApiEvent_x");
    EXPECT_EQ(host.PostedEvents()[0].value, 9u);
    EXPECT_EQ(host.PostedEvents()[0].payload.Member("eventType").AsString(), "Create");
}

TEST_F(ResourceEvents, PublishResourceConvertsTheRecord) {
    EXPECT_TRUE(Events().PublishResource("/r/v1/x", PluginResourceEventType::Update, WatchedRecord{"n", 2}).IsOk());
    ASSERT_EQ(host.PostedEvents().size(), 2u);
    EXPECT_EQ(host.PostedEvents()[1].payload.Member("data").Member("level").AsUnsigned(), 2u);
    struct Unregistered {
        int x = 0;
    };
    const auto failure = Events().PublishResource("/r/v1/x", PluginResourceEventType::Update, Unregistered{});
    ASSERT_FALSE(failure.IsOk());
    EXPECT_EQ(failure.error, "Couldn't convert native value because it's an unregistered structure.");
    EXPECT_EQ(host.PostedEvents().size(), 2u);
}

TEST_F(ResourceEvents, HandlersMayWatchAndReplaceListenersWhileDelivering) {
    host.ServeValue("/n/v1/inner", Record("inner", 1));
    std::vector<std::string> order;
    Events().Watch("/n/v1/outer", [&](const PluginResourceEvent&) {
        order.push_back("outer");
        // Replaces this very listener while it runs, and watches another
        // resource whose state is delivered at once, nested in this call.
        Events().Watch("/n/v1/outer", [&](const PluginResourceEvent&) { order.push_back("outer2"); });
        Events().Watch("/n/v1/inner", [&](const PluginResourceEvent&) { order.push_back("inner"); });
        Events().Watch("/n/v1/*", [&](const PluginResourceEvent&) { order.push_back("pattern"); });
        order.push_back("outer done");
    });
    host.DeliverResourceEvent("/n/v1/outer", PluginResourceEventType::Update, Record("x", 1));
    EXPECT_EQ(order, (std::vector<std::string>{"outer", "inner", "outer done"}));
    order.clear();
    host.DeliverResourceEvent("/n/v1/outer", PluginResourceEventType::Update, Record("x", 1));
    EXPECT_EQ(order, (std::vector<std::string>{"outer2", "pattern"}));
}

TEST_F(ResourceEvents, HandlerMayUnsubscribeItsOwnEvent) {
    int calls = 0;
    Events().Watch("/u/v1/x", [&](const PluginResourceEvent&) {
        ++calls;
        Events().Unsubscribe("/u/v1/x");
    });
    EXPECT_TRUE(host.DeliverResourceEvent("/u/v1/x", PluginResourceEventType::Update, Record("x", 1)));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(host.IsSubscribed("OnJsonApiEvent_u_v1_x"));
}

TEST_F(ResourceEvents, FailureInsideADeliveryDropsTheEventWithOneLogLine) {
    struct Row {
        std::function<void()> fail;
        const char* line;
    };
    const Row rows[] = {
        {[] { throw std::bad_alloc(); },
         "hpk-be-arx-content-targeting: Dropped event OnJsonApiEvent_f_v1_x: out of memory"},
        {[] { throw std::runtime_error("broken"); },
         "hpk-be-arx-content-targeting: Dropped event OnJsonApiEvent_f_v1_x: broken"},
        {[] { throw 3; }, "hpk-be-arx-content-targeting: Dropped event OnJsonApiEvent_f_v1_x: unknown failure"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        host.ClearRecords();
        Events().Watch("/f/v1/x", [&](const PluginResourceEvent&) { row.fail(); });
        EXPECT_TRUE(host.DeliverResourceEvent("/f/v1/x", PluginResourceEventType::Update, Record("x", 1)));
        ASSERT_EQ(host.Logs().size(), 1u);
        EXPECT_EQ(host.Logs()[0].level, 2);
        EXPECT_EQ(host.Logs()[0].text, row.line);
    }
}

TEST_F(ResourceEvents, EmptyHandlerDropsTheEventInsteadOfUnwindingIntoTheHost) {
    Events().RegisterEventHandler("OnJsonApiEvent_e", ResourceListener());
    EXPECT_TRUE(host.DeliverResourceEvent("/e", PluginResourceEventType::Update, Record("x", 1)));
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].text, "hpk-be-arx-content-targeting: Dropped event OnJsonApiEvent_e: bad_function_call");
}

}  // namespace
}  // namespace hpk
