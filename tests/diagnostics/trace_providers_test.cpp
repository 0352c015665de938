#include "diagnostics/trace_providers.h"

#include <gtest/gtest.h>

#include "diagnostics/uptime_clock.h"

namespace hpk {
namespace {

TEST(TraceProviders, EnableCallbackComputesEventBits) {
    const platform::TraceEventDescriptor events[] = {
        {103, 0, 0, 0, 14, 2, 0x1},  // keyword 1, level 0: the start-up event's shape
        {2, 0, 0, 5, 0, 0, 0},       // level 5, no keywords
    };
    struct Row {
        const char* what;
        std::uint8_t level;
        std::uint64_t matchAny;
        std::uint64_t matchAll;
        std::uint32_t bits;
    };
    const Row rows[] = {
        {"everything", 0, ~0ULL, 0, 0b11},
        {"keyword matches", 5, 0x1, 0, 0b11},
        {"level 4 is below the second event's 5", 4, 0x1, 0, 0b01},
        {"no match-any bit", 0, 0x2, 0, 0b10},
        {"match-any zero matches no keyword", 0, 0, 0, 0b10},
        {"match-all needs a bit the event lacks", 0, 0x1, 0x3, 0b10},
        {"match-all satisfied", 0, 0x3, 0x1, 0b11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TraceProviderState state{nullptr, events, 2, false, 0, 0, 0, 0, 0};
        TraceProviderEnableCallback(nullptr, 1, row.level, row.matchAny, row.matchAll, nullptr, &state);
        EXPECT_TRUE(state.enabled);
        EXPECT_EQ(state.level, row.level);
        EXPECT_EQ(state.matchAny, row.matchAny);
        EXPECT_EQ(state.matchAll, row.matchAll);
        EXPECT_EQ(state.eventBits, row.bits);
    }
}

TEST(TraceProviders, DisableClearsAndOtherCodesChangeNothing) {
    const platform::TraceEventDescriptor event{1, 0, 0, 0, 0, 0, 0x4};
    TraceProviderState state{nullptr, &event, 1, false, 0, 0, 0, 0, 0};
    TraceProviderEnableCallback(nullptr, 1, 3, 0x4, 0x4, nullptr, &state);
    ASSERT_EQ(state.eventBits, 1u);
    TraceProviderEnableCallback(nullptr, 2, 0, 0, 0, nullptr, &state);  // capture state
    EXPECT_TRUE(state.enabled);
    EXPECT_EQ(state.level, 3);
    EXPECT_EQ(state.eventBits, 1u);
    TraceProviderEnableCallback(nullptr, 0, 3, 0x4, 0x4, nullptr, &state);
    EXPECT_FALSE(state.enabled);
    EXPECT_EQ(state.level, 0);
    EXPECT_EQ(state.matchAny, 0u);
    EXPECT_EQ(state.matchAll, 0u);
    EXPECT_EQ(state.eventBits, 0u);
    TraceProviderEnableCallback(nullptr, 1, 0, 0, 0, nullptr, nullptr);  // no context: ignored
}

TEST(TraceProviders, DescribesTheStartupEvent) {
    const platform::TraceEventDescriptor& event = StartupTraceEvent();
    EXPECT_EQ(event.id, 103);
    EXPECT_EQ(event.version, 0);
    EXPECT_EQ(event.channel, 0);
    EXPECT_EQ(event.level, 0);
    EXPECT_EQ(event.opcode, 14);
    EXPECT_EQ(event.task, 2);
    EXPECT_EQ(event.keyword, 1u);
    const TraceProviderState& second = TraceProvider(1);
    ASSERT_NE(second.guid, nullptr);
    EXPECT_EQ(second.guid->data1, 0xEA08C559u);
    EXPECT_EQ(second.guid->data4[7], 0x37);
    EXPECT_EQ(TraceProvider(3).eventCount, 2u);
    EXPECT_EQ(TraceProvider(3).guid->data1, 0x46DD7F96u);
}

TEST(TraceProviders, StartRegistersOnlyWhereTracingExists) {
    // Several cycles, as load-shutdown cycles run them: each stop gives back
    // what its start took, so every start registers again.
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        StartTracing();
        StartTracing();  // a second start registers nothing more
        for (std::size_t i = 0; i < kTraceProviderCount; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(TraceProvider(i).registration != 0, platform::TraceAvailable());
        }
        StopTracing();
        for (std::size_t i = 0; i < kTraceProviderCount; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(TraceProvider(i).registration, 0u);
            EXPECT_FALSE(TraceProvider(i).enabled);
        }
        StopTracing();
    }
}

TEST(UptimeClock, NeverGoesBackwards) {
    const double first = UptimeSeconds();
    const double second = UptimeSeconds();
    EXPECT_GE(first, 0.0);
    EXPECT_LE(first, second);
    // The clock starts with the first query of the process, a moment ago.
    EXPECT_LT(second, 600.0);
}

}  // namespace
}  // namespace hpk
