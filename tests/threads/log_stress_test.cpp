// The log manager, its targets and the category table under threads: every
// line reaches every target that stays attached exactly once, whole and in
// each thread's order, while targets are attached, detached and reconfigure
// themselves mid-write; racing registrations of a category name get one slot.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/log_categories.h"
#include "diagnostics/log_manager.h"
#include "diagnostics/log_targets.h"
#include "stress.h"

namespace hpk {
namespace {

// The whole line thread `t` logs as its line `i`: long enough that a torn or
// interleaved line would show.
std::string ExpectedLine(int t, int i) {
    char head[48];
    std::snprintf(head, sizeof head, "thread %d line %d ", t, i);
    return head + std::string(120, static_cast<char>('a' + (t + i) % 26));
}

// Keeps each message; every `reconfigureEvery`th one it reconfigures itself
// from inside the write, which detaches it and attaches it again at the end
// of the list (0: never).
class KeepingTarget : public LogTarget {
public:
    KeepingTarget(const char* name, int reconfigureEvery) : name_(name), every_(reconfigureEvery) {}
    ~KeepingTarget() override { DetachFromManager(); }
    const char* Name() const override { return name_; }
    std::vector<std::string> Messages() const {
        platform::LockGuard guard(TargetLock());
        return messages_;
    }

protected:
    bool WriteRecord(const LogRecord& record) override {
        messages_.emplace_back(record.message);
        if (every_ != 0 && messages_.size() % static_cast<std::size_t>(every_) == 0) {
            Configure({LogLevel::Okay, 0, 0, "#M"});
        }
        return true;
    }

private:
    const char* name_;
    int every_;
    std::vector<std::string> messages_;  // under the target's lock
};

// "" when `messages` holds each thread's lines whole and in order, and all
// `lines` of each when `complete`; otherwise the first thing wrong.
std::string DeliveryProblem(const std::vector<std::string>& messages, int threads, int lines, bool complete) {
    std::vector<int> next(static_cast<std::size_t>(threads), 0);
    for (const std::string& message : messages) {
        int t = -1;
        int i = -1;
        if (std::sscanf(message.c_str(), "thread %d line %d", &t, &i) != 2 || t < 0 || t >= threads) {
            return "a line not logged: " + message;
        }
        if (message != ExpectedLine(t, i)) return "a torn line: " + message;
        int& expected = next[static_cast<std::size_t>(t)];
        if (i < expected) return "again or out of order: " + message;
        if (complete && i != expected) return "missed before: " + message;
        expected = i + 1;
    }
    for (int t = 0; complete && t < threads; ++t) {
        if (next[static_cast<std::size_t>(t)] != lines) return "lines of thread " + std::to_string(t) + " missing";
    }
    return {};
}

TEST(LogStress, EveryLineReachesEachTargetOnceWholeAndInOrder) {
    const LogManagerApi& api = GetLogManagerApi();
    api.init();
    for (LogTargetInterface* target : {api.stdOutTarget(), api.stdErrTarget(), api.debuggerTarget()}) {
        target->detach(target);
    }
    const int threads = stress::Threads();
    const int lines = stress::Rounds(2500);
    {
        // Listed before the steady one, and moving behind it whenever they
        // reconfigure: the steady target keeps finding itself just after a
        // target that leaves the list while writing.
        KeepingTarget every3("Every3", 3);
        KeepingTarget every5("Every5", 5);
        KeepingTarget steady("Steady", 0);
        KeepingTarget churn("Churn", 0);
        for (KeepingTarget* target : {&every3, &every5, &steady}) target->Configure({LogLevel::Okay, 0, 0, "#M"});
        std::atomic<int> logging{threads};
        stress::RunThreads(threads + 1, [&](int t) {
            if (t == threads) {
                // Attaches, reconfigures and detaches a fourth target meanwhile.
                while (logging.load() != 0) {
                    churn.Configure({LogLevel::Okay, 0, 0, "#M"});
                    std::this_thread::yield();
                    churn.Detach();
                }
                return;
            }
            for (int i = 0; i < lines; ++i) {
                LogMessage(LogLevel::Error, 0, "%s", ExpectedLine(t, i).c_str());
            }
            logging.fetch_sub(1);
        });
        for (const KeepingTarget* target : {&every3, &every5, &steady}) {
            SCOPED_TRACE(target->Name());
            EXPECT_EQ(DeliveryProblem(target->Messages(), threads, lines, true), "");
        }
        EXPECT_EQ(DeliveryProblem(churn.Messages(), threads, lines, false), "");
    }
    api.shutdown();
}

TEST(LogStress, RacingRegistrationsOfANameGetOneSlot) {
    constexpr int kNames = LogCategoryTable::kSlotCount - 8;
    const int threads = stress::Threads();
    const int rounds = stress::Rounds(150);
    for (int round = 0; round < rounds; ++round) {
        LogCategoryTable table;
        std::vector<std::array<std::uint64_t, kNames>> masks(static_cast<std::size_t>(threads));
        std::atomic<int> misread{0};
        stress::RunThreads(threads, [&](int t) {
            for (int n = 0; n < kNames; ++n) {
                // Half the threads go up the list, half down.
                const int name = t % 2 == 0 ? n : kNames - 1 - n;
                char text[4];
                std::snprintf(text, sizeof text, "C%02d", name);
                const std::uint64_t mask = table.CategoryFromName(text);
                masks[static_cast<std::size_t>(t)][static_cast<std::size_t>(name)] = mask;
                char read[8];
                table.Names(read, sizeof read, mask);
                if (std::string(read) != text) misread.fetch_add(1);
            }
        });
        ASSERT_EQ(misread.load(), 0) << "round " << round;
        std::uint64_t all = 0;
        for (const auto& mine : masks) {
            ASSERT_EQ(mine, masks[0]) << "round " << round;
        }
        for (std::uint64_t mask : masks[0]) all |= mask;
        ASSERT_EQ(all, ~std::uint64_t{0xff}) << "round " << round;  // every slot once, each name its own
    }
}

}  // namespace
}  // namespace hpk
