// The host-bound log target as installed by init.
#include "plugin/plugin_log_target.h"

#include <gtest/gtest.h>

#include <cstdarg>

#include "diagnostics/log_interfaces.h"
#include "diagnostics/log_manager.h"
#include "diagnostics/log_targets.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

void LogWith(std::int32_t level, std::uint64_t categories, const char* format, ...) {
    va_list args;
    va_start(args, format);
    GetLogManagerApi().log(level, static_cast<std::uint32_t>(categories), static_cast<std::uint32_t>(categories >> 32),
                           format, args);
    va_end(args);
}

using PluginLogTargetTest = FakeHostFixture;

TEST_F(PluginLogTargetTest, EveryLevelReachesTheHostOnceWithoutLayout) {
    LoadAndInit();
    host.ClearRecords();
    for (std::int32_t level = 0; level <= 3; ++level) LogWith(level, 0, "line %d", level);
    LogWith(1, kLogCategoryGen | kLogCategoryDbg, "categorised");
    ASSERT_EQ(host.Logs().size(), 5u);
    for (std::int32_t level = 0; level <= 3; ++level) {
        SCOPED_TRACE(level);
        EXPECT_EQ(host.Logs()[level].level, level);
        EXPECT_EQ(host.Logs()[level].text, "line " + std::to_string(level));
    }
    EXPECT_EQ(host.Logs()[4].text, "categorised");
}

TEST_F(PluginLogTargetTest, ExtraCategoryIsDroppedAndConsolesAreDetached) {
    LoadAndInit();
    host.ClearRecords();
    LogWith(3, kLogCategoryXtr, "extra");
    LogWith(3, kLogCategoryXtr | kLogCategoryGen, "extra too");
    EXPECT_TRUE(host.Logs().empty());
    const LogManagerApi& manager = GetLogManagerApi();
    EXPECT_EQ(manager.getMinimumLevel(), 0);
    EXPECT_EQ(manager.getSuppressedCategories(), kLogCategoryXtr);
    for (LogTargetInterface* builtIn : {manager.stdOutTarget(), manager.stdErrTarget(), manager.debuggerTarget()}) {
        ASSERT_NE(builtIn, nullptr);
        EXPECT_EQ(builtIn->isAttached(builtIn), 0);
    }
    LogTargetInterface* target = manager.findTarget("PluginLogTarget");
    ASSERT_NE(target, nullptr);
    EXPECT_STREQ(target->name(target), "PluginLogTarget");
    EXPECT_EQ(target->getLevel(target), 0);
    EXPECT_STREQ(target->templateForRecord(target, nullptr), "#D| #L| #G| #M");
}

TEST_F(PluginLogTargetTest, SecondInitKeepsTheExistingTarget) {
    LoadAndInit();
    LogTargetInterface* first = GetLogManagerApi().findTarget("PluginLogTarget");
    FakeHost other(9);
    ASSERT_EQ(session.Record().callbacks->init(session.Record().plugin, &other.Api()), 1);
    EXPECT_EQ(GetLogManagerApi().findTarget("PluginLogTarget"), first);
    host.ClearRecords();
    LogWith(2, 0, "still here");
    ASSERT_EQ(host.Logs().size(), 1u);
    EXPECT_EQ(host.Logs()[0].text, "still here");
    EXPECT_TRUE(other.Logs().empty());
    session.Shutdown();  // while `other`, the host of the second init, still exists
}

TEST_F(PluginLogTargetTest, DestroyedPluginTakesItsTargetAlong) {
    LoadAndInit();
    session.Shutdown();
    EXPECT_EQ(GetLogManagerApi().findTarget("PluginLogTarget"), nullptr);
    host.ClearRecords();
    LogWith(2, 0, "after shutdown");
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(PluginLogTargetTest, LastShutdownLeavesTheBuiltInTargetsAsAtLoad) {
    LoadAndInit();
    session.Shutdown();
    // The manager went with the last reference; the next line (a fatal report,
    // say) brings up a fresh one with the standard error target attached.
    EXPECT_EQ(GetLogManagerApi().stdErrTarget(), nullptr);
    LogWith(2, 0, "after the last shutdown");
    LogManager* manager = LogManager::Instance();
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(manager->StdErr().IsAttached());
    EXPECT_EQ(manager->MinimumLevel(), 1);
}

}  // namespace
}  // namespace hpk
