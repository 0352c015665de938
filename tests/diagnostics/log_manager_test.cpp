#include "diagnostics/log_manager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/log_targets.h"
#include "support/capture_log_target.h"

namespace hpk {
namespace {

// Each test gets a fresh manager: init creates it, the matching shutdown destroys it.
class LogManagerTest : public testing::Test {
protected:
    void SetUp() override { api_.init(); }
    void TearDown() override { api_.shutdown(); }

    // Keeps the console quiet and leaves only the targets a test attaches.
    void DetachBuiltIns() {
        for (LogTargetInterface* target : {api_.stdOutTarget(), api_.stdErrTarget(), api_.debuggerTarget()}) {
            target->detach(target);
        }
    }

    std::vector<std::string> AttachedNames() {
        std::vector<std::string> names;
        for (LogTargetInterface* target : LogManager::Instance()->AttachedTargets())
            names.push_back(target->name(target));
        return names;
    }

    const LogManagerApi& api_ = GetLogManagerApi();
};

TEST_F(LogManagerTest, StartsWithDefaultSettingsAndTargets) {
    EXPECT_EQ(api_.version(), 1);
    EXPECT_EQ(api_.getMinimumLevel(), 1);
    EXPECT_EQ(api_.getSuppressedCategories(), 4u);
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"StdErrLogTarget", "DebuggerConsoleLogTarget"}));

    struct Row {
        LogTargetInterface* target;
        const char* name;
        const char* templateText;
        std::uint64_t include;
        std::uint64_t exclude;
        bool attached;
    };
    const Row rows[] = {
        {api_.stdErrTarget(), "StdErrLogTarget", "#E(#T): #L| #M", 1, 2, true},
        {api_.stdOutTarget(), "StdOutLogTarget", "#M", 2, 1, false},
        {api_.debuggerTarget(), "DebuggerConsoleLogTarget", "#E(#T): #L| #M", 1, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(row.target, nullptr);
        EXPECT_EQ(row.target->version(row.target), 1);
        EXPECT_STREQ(row.target->name(row.target), row.name);
        EXPECT_STREQ(row.target->templateForRecord(row.target, nullptr), row.templateText);
        EXPECT_EQ(row.target->getLevel(row.target), 1);
        EXPECT_EQ(row.target->getIncludeCategories(row.target), row.include);
        EXPECT_EQ(row.target->getExcludeCategories(row.target), row.exclude);
        EXPECT_EQ(row.target->isAttached(row.target), row.attached ? 1 : 0);
    }
    EXPECT_STRNE(api_.executableName(), "<unknown>");
    EXPECT_EQ(std::string(api_.executableName()).find_first_of("\\/"), std::string::npos);
}

TEST_F(LogManagerTest, FiltersByLevelMuteAndSuppressedCategories) {
    DetachBuiltIns();
    CaptureLogTarget capture;
    capture.Configure({LogLevel::Okay, 0, 0, "#M"});
    struct Row {
        LogLevel level;
        std::uint64_t categories;
        const char* message;
        bool delivered;
    };
    const Row rows[] = {
        {LogLevel::Warn, 0, "warn, no categories", true},
        {LogLevel::Okay, 0, "okay is below the default minimum", false},
        {LogLevel::Always, kLogCategoryXtr, "XTR is suppressed", false},
        {LogLevel::Error, kLogCategoryXtr | kLogCategoryDbg, "any suppressed bit drops it", false},
        {LogLevel::Error, kLogCategoryNet, "net error", true},
        {static_cast<LogLevel>(7), 0, "levels above Always pass", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        capture.Clear();
        LogMessage(row.level, row.categories, "%s", row.message);
        EXPECT_EQ(capture.Messages(),
                  row.delivered ? std::vector<std::string>{row.message} : std::vector<std::string>{});
    }

    capture.Clear();
    api_.mute();
    LogMessage(LogLevel::Always, 0, "muted");
    api_.unmute();
    api_.setMinimumLevel(0);
    LogMessage(LogLevel::Okay, 0, "okay now");
    api_.setSuppressedCategories(0, 0x80000000u);
    EXPECT_EQ(api_.getSuppressedCategories(), 0x8000000000000000ULL);
    LogMessage(LogLevel::Warn, kLogCategoryXtr, "xtr now");
    LogMessage(LogLevel::Warn, 0x8000000000000000ULL, "bit 63 suppressed");
    EXPECT_EQ(capture.Messages(), (std::vector<std::string>{"okay now", "xtr now"}));
}

TEST_F(LogManagerTest, TargetsFilterByLevelAndCategories) {
    DetachBuiltIns();
    // Configured as the standard error target is by default.
    CaptureLogTarget stdErrLike("StdErrLike");
    stdErrLike.Configure({LogLevel::Warn, kLogCategoryDbg, kLogCategoryGen, "#M"});
    CaptureLogTarget strict("Strict");
    strict.Configure({LogLevel::Error, 0, kLogCategoryNet, "#M"});
    struct Row {
        LogLevel level;
        std::uint64_t categories;
        const char* message;
        bool toStdErrLike;
        bool toStrict;
    };
    const Row rows[] = {
        {LogLevel::Warn, kLogCategoryGen, "GEN is excluded", false, false},
        {LogLevel::Warn, kLogCategoryDbg, "DBG is included", true, false},
        {LogLevel::Warn, kLogCategoryPrf, "PRF is not included", false, false},
        {LogLevel::Error, kLogCategoryPrf, "strict takes any category but NET", false, true},
        {LogLevel::Error, kLogCategoryDbg | kLogCategoryGen, "an excluded bit wins", false, true},
        {LogLevel::Error, kLogCategoryNet | kLogCategoryDbg, "strict excludes NET", true, false},
        {LogLevel::Warn, 0, "no categories pass every category filter", true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        stdErrLike.Clear();
        strict.Clear();
        LogMessage(row.level, row.categories, "%s", row.message);
        EXPECT_EQ(stdErrLike.Messages().size(), row.toStdErrLike ? 1u : 0u);
        EXPECT_EQ(strict.Messages().size(), row.toStrict ? 1u : 0u);
    }
}

TEST_F(LogManagerTest, ConsoleTargetWritesTheExpandedLine) {
    DetachBuiltIns();
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        StdErrLogTarget target(file);
        target.Configure({LogLevel::Warn, kLogCategoryDbg, kLogCategoryGen, "#L| #G| #M"});
        LogMessage(LogLevel::Error, kLogCategoryDbg, "code %d: %s", 42, "boom");
        LogMessage(LogLevel::Error, kLogCategoryGen, "dropped");
        LogMessage(LogLevel::Warn, 0, "ends in a break\n");
    }
    std::rewind(file);
    char text[256] = {};
    const std::size_t read = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(text, read), " ERROR| DBG| code 42: boom\n  WARN| | ends in a break\n");
}

TEST_F(LogManagerTest, CutsMessagesAt4095Characters) {
    DetachBuiltIns();
    CaptureLogTarget capture;
    capture.Configure({LogLevel::Okay, 0, 0, "#M"});
    const std::string longText(5000, 'm');
    LogMessage(LogLevel::Error, 0, "%s", longText.c_str());
    ASSERT_EQ(capture.Lines().size(), 1u);
    EXPECT_EQ(capture.Lines()[0].message, std::string(4095, 'm'));
    EXPECT_EQ(capture.Lines()[0].expanded, std::string(4094, 'm') + "\n");
}

TEST_F(LogManagerTest, FormatsWithC99Conversions) {
    DetachBuiltIns();
    CaptureLogTarget capture;
    capture.Configure({LogLevel::Okay, 0, 0, "#M"});
    LogMessage(LogLevel::Error, 0, "%lld|%zu|%5.2f|%-3s|%%", -9000000000LL, std::size_t{12}, 3.14159, "a");
    EXPECT_EQ(capture.Messages(), std::vector<std::string>{"-9000000000|12| 3.14|a  |%"});
}

TEST_F(LogManagerTest, AttachAndDetachKeepListOrder) {
    DetachBuiltIns();
    CaptureLogTarget a("A");
    CaptureLogTarget b("B");
    api_.attachTarget(a.Interface());
    api_.attachTarget(b.Interface());
    api_.attachTarget(a.Interface());
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"A", "B", "A"}));
    LogMessage(LogLevel::Error, 0, "twice to A");
    EXPECT_EQ(a.Messages().size(), 2u);
    api_.detachTarget(a.Interface());
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"B"}));

    // The target's own attach does not duplicate; its detach clears the flag.
    a.Attach();
    a.Attach();
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(a.Interface()->isAttached(a.Interface()), 1);
    a.Interface()->detach(a.Interface());
    EXPECT_FALSE(a.IsAttached());
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"B"}));
}

TEST_F(LogManagerTest, FindsTheFirstAttachedTargetByName) {
    CaptureLogTarget first("Twin");
    CaptureLogTarget second("Twin");
    second.Attach();
    first.Attach();
    EXPECT_EQ(api_.findTarget("Twin"), second.Interface());
    EXPECT_EQ(api_.findTarget("StdErrLogTarget"), api_.stdErrTarget());
    EXPECT_EQ(api_.findTarget("StdOutLogTarget"), nullptr);  // built but not attached
    EXPECT_EQ(api_.findTarget("Twin "), nullptr);
    EXPECT_EQ(api_.findTarget(nullptr), nullptr);
}

TEST_F(LogManagerTest, ConfigureReattachesAndClearsExcludedIncludes) {
    DetachBuiltIns();
    CaptureLogTarget a("A");
    CaptureLogTarget b("B");
    a.Attach();
    b.Attach();
    a.Configure({LogLevel::Error, 0b11, 0b10, "[#M]"});
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(a.Level(), LogLevel::Error);
    EXPECT_EQ(a.IncludeCategories(), 0b01u);
    EXPECT_EQ(a.ExcludeCategories(), 0b10u);
    EXPECT_EQ(a.Template(), "[#M]");

    LogTargetInterface* table = b.Interface();
    table->setCategories(table, 0b11, 0, 0b10, 0);
    EXPECT_EQ(table->getIncludeCategories(table), 0b01u);
    table->setCategories(table, 0, 1, 1, 0);
    EXPECT_EQ(table->getIncludeCategories(table), 0x100000000ULL);
    EXPECT_EQ(table->getExcludeCategories(table), 1u);
    table->setLevel(table, 3);
    EXPECT_EQ(b.Level(), LogLevel::Always);
}

// The installation a host-bound target goes through at plugin init.
TEST_F(LogManagerTest, HostTargetReplacesTheBuiltIns) {
    ASSERT_EQ(api_.findTarget("PluginLogTarget"), nullptr);
    for (LogTargetInterface* target : {api_.stdOutTarget(), api_.stdErrTarget(), api_.debuggerTarget()}) {
        if (target != nullptr) target->detach(target);
    }
    api_.setMinimumLevel(0);
    api_.setSuppressedCategories(4, 0);
    CaptureLogTarget host("PluginLogTarget");
    host.Configure({static_cast<LogLevel>(api_.getMinimumLevel()), 0, 0, "#D| #L| #G| #M"});
    EXPECT_EQ(AttachedNames(), (std::vector<std::string>{"PluginLogTarget"}));
    EXPECT_EQ(api_.findTarget("PluginLogTarget"), host.Interface());

    LogMessage(LogLevel::Okay, kLogCategoryNet, "reaches the host");
    LogMessage(LogLevel::Always, kLogCategoryXtr, "never");
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"reaches the host"});
}

TEST_F(LogManagerTest, DestroyedTargetLeavesTheList) {
    {
        CaptureLogTarget temporary("Temporary");
        temporary.Attach();
        EXPECT_NE(api_.findTarget("Temporary"), nullptr);
    }
    EXPECT_EQ(api_.findTarget("Temporary"), nullptr);
    DetachBuiltIns();
    LogMessage(LogLevel::Error, 0, "nobody listens, nothing breaks");
}

TEST_F(LogManagerTest, ShutdownDetachesEveryTarget) {
    CaptureLogTarget survivor("Survivor");
    survivor.Attach();
    api_.init();      // a second user
    api_.shutdown();  // ...leaving: the manager stays
    ASSERT_NE(LogManager::Instance(), nullptr);
    EXPECT_TRUE(survivor.IsAttached());
    api_.shutdown();
    EXPECT_EQ(LogManager::Instance(), nullptr);
    EXPECT_FALSE(survivor.IsAttached());
    EXPECT_EQ(api_.stdOutTarget(), nullptr);
    EXPECT_EQ(api_.stdErrTarget(), nullptr);
    EXPECT_EQ(api_.debuggerTarget(), nullptr);
    EXPECT_EQ(api_.findTarget("Survivor"), nullptr);
    api_.shutdown();  // unmatched: ignored
    api_.init();      // for TearDown
}

// A target that logs from its own write gets no second delivery on that thread.
class EchoLogTarget : public CaptureLogTarget {
public:
    EchoLogTarget() : CaptureLogTarget("Echo") {}

protected:
    bool WriteRecord(const LogRecord& record) override {
        LogMessage(LogLevel::Always, 0, "echo of %s", record.message);
        return CaptureLogTarget::WriteRecord(record);
    }
};

TEST_F(LogManagerTest, LoggingFromInsideAWriteDoesNotRecurse) {
    DetachBuiltIns();
    EchoLogTarget echo;
    echo.Configure({LogLevel::Okay, 0, 0, "#M"});
    LogMessage(LogLevel::Error, 0, "original");
    EXPECT_EQ(echo.Messages(), std::vector<std::string>{"original"});
    LogMessage(LogLevel::Error, 0, "next");
    EXPECT_EQ(echo.Messages(), (std::vector<std::string>{"original", "next"}));
}

// A target that, while writing, leaves the list or reconfigures itself (which
// moves it to the end of the list).
class MovingLogTarget : public CaptureLogTarget {
public:
    enum class Move { Leave, Reconfigure };
    MovingLogTarget(const char* name, Move move) : CaptureLogTarget(name), move_(move) {}

protected:
    bool WriteRecord(const LogRecord& record) override {
        if (move_ == Move::Leave) {
            Detach();
        } else {
            Configure({LogLevel::Okay, 0, 0, "#M"});
        }
        return CaptureLogTarget::WriteRecord(record);
    }

private:
    Move move_;
};

TEST_F(LogManagerTest, ATargetMovingWhileItWritesHidesNoLineFromTheOthers) {
    DetachBuiltIns();
    MovingLogTarget leaving("Leaving", MovingLogTarget::Move::Leave);
    MovingLogTarget moving("Moving", MovingLogTarget::Move::Reconfigure);
    CaptureLogTarget after("After");
    for (CaptureLogTarget* target : {static_cast<CaptureLogTarget*>(&leaving), static_cast<CaptureLogTarget*>(&moving),
                                     &after}) {
        target->Configure({LogLevel::Okay, 0, 0, "#M"});
    }
    LogMessage(LogLevel::Error, 0, "one");
    LogMessage(LogLevel::Error, 0, "two");
    EXPECT_EQ(leaving.Messages(), std::vector<std::string>{"one"});
    EXPECT_EQ(moving.Messages(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(after.Messages(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(LogManagerTest, ThreadsLogAndReconfigureWithoutInterleavingOrDeadlock) {
    DetachBuiltIns();
    CaptureLogTarget capture;
    capture.Configure({LogLevel::Okay, 0, 0, "#M"});
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) LogMessage(LogLevel::Error, 0, "thread %d line %d", t, i);
        });
    }
    CaptureLogTarget churn("Churn");
    for (int i = 0; i < kLines; ++i) churn.Configure({LogLevel::Okay, 0, 0, "#M"});
    for (std::thread& thread : threads) thread.join();

    const std::vector<std::string> messages = capture.Messages();
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const std::string& message : messages) {
        int t = -1;
        int i = -1;
        ASSERT_EQ(std::sscanf(message.c_str(), "thread %d line %d", &t, &i), 2) << message;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(i, next[t]++);  // each thread's lines arrive whole and in order
    }
}

TEST(LogManagerApi, EntriesThatNeedAManagerAnswerNullWithoutOne) {
    const LogManagerApi& api = GetLogManagerApi();
    api.init();
    api.shutdown();
    ASSERT_EQ(LogManager::Instance(), nullptr);
    EXPECT_EQ(api.stdOutTarget(), nullptr);
    EXPECT_EQ(api.stdErrTarget(), nullptr);
    EXPECT_EQ(api.debuggerTarget(), nullptr);
    EXPECT_EQ(api.findTarget("StdErrLogTarget"), nullptr);
    EXPECT_STREQ(api.executableName(), "<unknown>");
    api.setMinimumLevel(0);  // nothing to set: no manager is created
    EXPECT_EQ(LogManager::Instance(), nullptr);
}

}  // namespace
}  // namespace hpk
