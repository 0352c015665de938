// Load, handshake, init and shutdown through the host's view of the plugin.
#include "plugin/plugin_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "plugin/plugin_identity.h"
#include "plugin/plugin_log_target.h"
#include "router/url_text.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

using PluginHandshake = FakeHostFixture;

TEST_F(PluginHandshake, FillsTheLoadRecord) {
    ASSERT_TRUE(session.Load(&MakeFakePlugin, 18, 7, 0));
    const PluginLoadRecord& record = session.Record();
    EXPECT_EQ(record.version[0], 18u);
    EXPECT_EQ(record.version[1], 0u);
    EXPECT_EQ(record.version[2], 0u);
    ASSERT_NE(record.callbacks, nullptr);
    EXPECT_NE(record.callbacks->init, nullptr);
    EXPECT_NE(record.callbacks->shutdown, nullptr);
    EXPECT_NE(record.callbacks->memoryCounters, nullptr);
    EXPECT_STREQ(record.fullName, "hpk-be-arx-content-targeting");
    EXPECT_EQ(record.hostTable, &Plugin().HostTable());
    EXPECT_EQ(Plugin().CoreVersion().Text(), "18.7.0");
    EXPECT_EQ(Plugin().ApiName(), "HpkBeArxContentTargeting");
    EXPECT_EQ(Plugin().ApiTags(), (std::vector<std::string>{"Plugins", "Plugin hpk-be-arx-content-targeting"}));
    EXPECT_EQ(Plugin().Identity().shortName, "arx-content-targeting");
    EXPECT_EQ(Plugin().Identity().type, "backend");
    EXPECT_EQ(Plugin().Identity().variant, "");
    // Nothing may reach the host before init hands over its table.
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(PluginHandshake, AcceptsCoresOfTheSameMajorNotBelowTheSupportedVersion) {
    const std::uint32_t accepted[][3] = {{18, 0, 0}, {18, 0, 5}, {18, 7, 0}};
    for (const auto& version : accepted) {
        SCOPED_TRACE(std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]));
        EXPECT_TRUE(session.Load(&MakeFakePlugin, version[0], version[1], version[2]));
        session.Shutdown();
    }
}

#if !defined(_WIN32)
TEST(PluginHandshakeDeathTest, RefusedCoreEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::uint32_t refused[][3] = {{17, 9, 9}, {19, 0, 0}};
    for (const auto& version : refused) {
        SCOPED_TRACE(std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]));
        EXPECT_EXIT(
            {
                FakeHost host;
                FakePluginSession session(host);
                session.Load(&MakeFakePlugin, version[0], version[1], version[2]);
            },
            ::testing::ExitedWithCode(EXIT_FAILURE), "");
    }
}
#endif

TEST_F(PluginHandshake, FactoryThatThrowsLeavesTheRecordEmpty) {
    LoadPlugin(nullptr, &MakeFakePlugin, "x");  // no record: nothing happens
    PluginLoadRecord record{};
    record.version[0] = 18;
    LoadPlugin(
        &record, []() -> std::unique_ptr<PluginBase> { throw std::runtime_error("no plugin"); }, "x");
    EXPECT_EQ(record.callbacks, nullptr);
    EXPECT_EQ(record.plugin, nullptr);
    EXPECT_EQ(record.fullName, nullptr);
    EXPECT_EQ(record.hostTable, nullptr);
    EXPECT_EQ(record.version[0], 18u);
}

TEST_F(PluginHandshake, InitStoresHandleUserAgentAndWiresServiceProxyEvents) {
    ASSERT_TRUE(session.Load(&MakeFakePlugin, 18, 0, 5));
    ASSERT_TRUE(session.Init());
    EXPECT_EQ(Plugin().PluginHandle(), host.Api().pluginHandle);
    EXPECT_EQ(Plugin().UserAgent(), "VodiVozaze/18.0.5 (hpk-be-arx-content-targeting)");
    EXPECT_NE(Plugin().Telemetry(), nullptr);
    ASSERT_EQ(host.SubscribeCalls().size(), 3u);
    const char* names[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(host.SubscribeCalls()[i].name, names[i]);
        EXPECT_EQ(host.SubscribeCalls()[i].kind, 1u);
        EXPECT_EQ(host.SubscribeCalls()[i].pluginHandle, host.Api().pluginHandle);
        EXPECT_EQ(host.SubscribeCalls()[i].context, &Plugin());
    }
}

TEST_F(PluginHandshake, InitReturnsWhatInitializeReturns) {
    script->initialize = [](FakePlugin&) { return false; };
    ASSERT_TRUE(session.Load(&MakeFakePlugin));
    EXPECT_FALSE(session.Init());
}

TEST_F(PluginHandshake, InitializeThatThrowsFailsInitWithOneErrorLine) {
    script->initialize = [](FakePlugin&) -> bool { throw std::runtime_error("boom"); };
    ASSERT_TRUE(session.Load(&MakeFakePlugin));
    EXPECT_FALSE(session.Init());
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].level, 2);
    EXPECT_EQ(host.Logs()[0].text, "hpk-be-arx-content-targeting: init failed: boom");
}

TEST_F(PluginHandshake, InitWithoutHostApiFails) {
    ASSERT_TRUE(session.Load(&MakeFakePlugin));
    EXPECT_EQ(session.Record().callbacks->init(session.Record().plugin, nullptr), 0);
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(PluginHandshake, ShutdownUnsubscribesEverythingAndDestroysThePlugin) {
    bool destroyed = false;
    script->destroyed = &destroyed;
    script->initialize = [](FakePlugin& plugin) {
        plugin.Subscribe("/arx-login/v1/session");
        plugin.Events().Watch("/a/*/c", [](const PluginResourceEvent&) {});
        return true;
    };
    LoadAndInit();
    EXPECT_EQ(host.ActiveSubscriptionCount(), 5u);
    session.Shutdown();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(host.ActiveSubscriptionCount(), 0u);
    EXPECT_EQ(host.UnsubscribeCalls().size(), 5u);
}

TEST_F(PluginHandshake, MemoryCountersEndWithTwoZeroWords) {
    LoadAndInit();
    const MemoryCountersRecord counters = session.Counters();
    EXPECT_EQ(counters.zero[0], 0u);
    EXPECT_EQ(counters.zero[1], 0u);
    EXPECT_GE(counters.totalAllocations, counters.totalFrees);
    EXPECT_GE(counters.totalBytesAllocated, counters.totalBytesFreed);
    EXPECT_GE(counters.peakLiveBytes, counters.totalBytesAllocated - counters.totalBytesFreed);
    // The plugin argument is not used.
    MemoryCountersRecord direct{};
    std::memset(&direct, 0xAB, sizeof direct);
    session.Record().callbacks->memoryCounters(nullptr, &direct);
    EXPECT_EQ(direct.zero[0], 0u);
    EXPECT_EQ(direct.zero[1], 0u);
}

TEST(PluginIdentity, FullNameFromTypePrefixesTheShortName) {
    FakeHost host;
    const std::unique_ptr<PluginLogTarget> target = PluginLogTarget::Install(HostCoreApi(host.Table()));
    EXPECT_EQ(FullNameFromShortNameAndType("x", "backend"), "hpk-be-x");
    EXPECT_EQ(FullNameFromShortNameAndType("x", "frontend"), "hpk-fe-x");
    EXPECT_TRUE(host.Logs().empty());
    EXPECT_EQ(FullNameFromShortNameAndType("x", "tool"), "hpk-xx-x");
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].level, 2);
    EXPECT_EQ(
        host.Logs()[0].text,
        "            Plugin Manager| GetFullNameFromShortNameAndType(\"x\", \"tool\") called with an unknown type");
}

TEST(PluginIdentity, ApiNameIsTheIdentifierFormOfTheFullName) {
    EXPECT_EQ(OperationName(0, "hpk-be-arx-content-targeting"), "HpkBeArxContentTargeting");
    EXPECT_EQ(OperationName(0, "/a/{id}_b"), "AByIdB");
    EXPECT_EQ(PluginApiTags("hpk-fe-x"), (std::vector<std::string>{"Plugins", "Plugin hpk-fe-x"}));
}

}  // namespace
}  // namespace hpk
