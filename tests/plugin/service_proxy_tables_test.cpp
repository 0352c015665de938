// Service-proxy responses through the host's three events.
#include <gtest/gtest.h>

#include <algorithm>

#include "plugin/plugin_base.h"
#include "plugin/service_proxy_tables.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

class ServiceProxy : public FakeHostFixture {
protected:
    void SetUp() override {
        LoadAndInit();
        host.ClearRecords();
    }
    ServiceProxyTables& Tables() { return Plugin().ServiceProxies(); }
};

PluginServiceProxyResponse Response(std::string uuid, std::string service, std::string method, std::string payload) {
    PluginServiceProxyResponse response;
    response.uuid = std::move(uuid);
    response.serviceName = std::move(service);
    response.methodName = std::move(method);
    response.payload = std::move(payload);
    return response;
}

TEST_F(ServiceProxy, MethodEventIsStoredUnderServiceDotMethod) {
    EXPECT_TRUE(host.DeliverServiceProxyEvent("OnServiceProxyMethodEvent", Response("u1", "a", "b", "p")));
    EXPECT_EQ(Tables().StoredResponseCount(), 1u);
    EXPECT_TRUE(host.Logs().empty());
    std::vector<std::string> payloads;
    Tables().AddPendingHandler("a.b", [&](const PluginServiceProxyResponse& r) { payloads.push_back(r.payload); });
    EXPECT_EQ(payloads, (std::vector<std::string>{"p"}));
    EXPECT_EQ(Tables().StoredResponseCount(), 0u);
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].level, 3);
    EXPECT_EQ(host.Logs()[0].text, "hpk-be-arx-content-targeting: Fulfilled service proxy request: a.b");
}

TEST_F(ServiceProxy, AsyncEventWithoutHandlerGivesOneErrorLine) {
    EXPECT_TRUE(host.DeliverServiceProxyEvent("OnServiceProxyAsyncEvent", Response("u1", "a", "b", "p")));
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].level, 2);
    EXPECT_EQ(host.Logs()[0].text,
              "hpk-be-arx-content-targeting: Could not find registered handler for async service proxy event a.b");
    EXPECT_EQ(Tables().StoredResponseCount(), 0u);
}

TEST_F(ServiceProxy, AsyncHandlerStaysRegistered) {
    int calls = 0;
    Tables().AddAsyncHandler("a.b", [&](const PluginServiceProxyResponse&) { ++calls; });
    host.DeliverServiceProxyEvent("OnServiceProxyAsyncEvent", Response("u1", "a", "b", "p"));
    host.DeliverServiceProxyEvent("OnServiceProxyAsyncEvent", Response("u2", "a", "b", "q"));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(ServiceProxy, LaterUuidResponseReplacesTheEarlierOne) {
    host.DeliverServiceProxyEvent("OnServiceProxyUuidEvent", Response("u1", "a", "b", "first"));
    host.DeliverServiceProxyEvent("OnServiceProxyUuidEvent", Response("u1", "a", "b", "second"));
    EXPECT_EQ(Tables().StoredResponseCount(), 1u);
    std::string payload;
    Tables().AddPendingHandler("u1", [&](const PluginServiceProxyResponse& r) { payload = r.payload; });
    EXPECT_EQ(payload, "second");
}

TEST_F(ServiceProxy, PendingHandlerRunsOnceWhenItsResponseArrives) {
    int calls = 0;
    Tables().AddPendingHandler("u9", [&](const PluginServiceProxyResponse&) {
        ++calls;
        // Re-entering the tables from a handler is allowed.
        Tables().AddPendingHandler("u10", [](const PluginServiceProxyResponse&) {});
    });
    EXPECT_EQ(calls, 0);
    host.DeliverServiceProxyEvent("OnServiceProxyUuidEvent", Response("u9", "s", "m", ""));
    host.DeliverServiceProxyEvent("OnServiceProxyUuidEvent", Response("u9", "s", "m", ""));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Tables().StoredResponseCount(), 1u);  // the second u9 waits for a new handler
}

TEST_F(ServiceProxy, ShutdownEmptiesTheTables) {
    host.DeliverServiceProxyEvent("OnServiceProxyMethodEvent", Response("", "a", "b", ""));
    Plugin().Shutdown();
    EXPECT_EQ(Tables().StoredResponseCount(), 0u);
    std::vector<std::string> unsubscribed = host.UnsubscribeCalls();
    std::sort(unsubscribed.begin(), unsubscribed.end());
    EXPECT_EQ(unsubscribed, (std::vector<std::string>{"OnServiceProxyAsyncEvent", "OnServiceProxyMethodEvent",
                                                      "OnServiceProxyUuidEvent"}));
}

}  // namespace
}  // namespace hpk
