// A thousand load–init–shutdown cycles of the real plugin in one process, with
// inputs present at init and events delivered, must give back every byte they
// take from the counting allocator and every page block of the page supplier.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "content_targeting/plugin_scenario.h"
#include "boundary/allocation_hooks.h"
#include "support/fake_host.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#define HPK_HARDENING_MALLINFO 1
#endif

namespace hpk::content_targeting::testing {
namespace {

// Under ASan every cycle costs several times more; 200 still shows a leak of
// one block per cycle as plainly.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kCycles = 200;
#else
constexpr int kCycles = 1000;
#endif

constexpr char kConfigAll[] =
    R"({"Enabled": true, "LevelFilterEnabled": true, "LaneFilterEnabled": true, "RankedFilterEnabled": true,
        "RevivalFilterEnabled": true, "LocationFiltersEnabled": true,
        "Mapping": "{\"PL\": {\"Enabled\": true, \"Locale\": \"pl_PL\"}}"})";

// One cycle: everything served at init, five events, both served resources
// read, shutdown. Returns the filters the plugin served before shutting down.
Strings Cycle() {
    FakeHost host;
    Strings filters;
    {
        FakePluginSession session(host);
        host.ServeValue(kLogin, Json(kLoggedIn));
        host.ServeValue(kConfig, Json(kConfigAll));
        host.ServeValue(kGames, Json(GamesJson(7, Repeat(7, 420, "jungle")).c_str()));
        host.ServeValue(kSummoner, Json(R"({"summonerLevel": 31})"));
        host.ServeValue(kRegion, Json(R"({"locale": "en_US"})"));
        host.ServeValue(kGeo, Json(R"({"success": true, "geoInfo": {"country": "PL"}})"));
        host.ServeValue(kAccount, Json(R"({"data": {"selectedLanguage": "cy_GB"}})"));
        EXPECT_TRUE(session.Load());
        EXPECT_TRUE(session.Init());
        EXPECT_TRUE(
            host.DeliverResourceEvent(kGeo, PluginResourceEventType::Update,
                                      Json(R"({"success": true, "geoInfo": {"country": "GB", "city": "York"}})")));
        EXPECT_TRUE(host.DeliverResourceEvent(kReady, PluginResourceEventType::Update, Json("true")));
        EXPECT_TRUE(host.DeliverResourceEvent(kLogin, PluginResourceEventType::Update, Json(kLoggedOut)));
        EXPECT_TRUE(host.DeliverResourceEvent(kConfig, PluginResourceEventType::Update, Json(kConfigAll)));
        for (const char* path : {kFilters, kLocale}) {
            const HostEndpointRecord* endpoint = FakeHost::FindEndpoint(*session.Record().hostTable, path);
            EXPECT_NE(endpoint, nullptr);
            if (endpoint == nullptr) continue;
            FakeHost::ServedResponse served = host.CallEndpoint(*endpoint, 2, path);
            EXPECT_TRUE(served.released);
            if (path == std::string(kFilters)) filters = StringList(served.body.Member("filters"));
        }
        EXPECT_TRUE(host.DeliverResourceEvent(kConfig, PluginResourceEventType::Delete, BindingValue()));
        session.Shutdown();
    }
    EXPECT_EQ(host.ActiveSubscriptionCount(), 0u);
    EXPECT_EQ(host.UnreleasedResponses(), 0);
    EXPECT_EQ(host.OpenStreams(), 0u);
    host.ClearRecords();
    host.ClearScripts();
    // The fake host's records are trees of ours, dropped after the plugin's
    // shutdown: the last one parks its arena for reuse, which the library's
    // unload would free in a real host.
    BindingValueArena::ReleaseSpare();
    return filters;
}

TEST(PluginCycles, EveryCycleGivesBackWhatItTook) {
    // The first cycle creates what lives for the process by design and is not
    // counted against the cycles, all of it plain heap (about 2.5 KB under
    // memcheck): the log manager with its target list (about 1.6 KB), one
    // claim per type record of every registered native type and the claims
    // table (about 0.9 KB), the page supplier's state (lock and block map,
    // never destroyed so static values can return pages late) and the
    // per-thread nesting counter of record conversion. None of it comes from
    // the counting allocator: its live bytes are back where they started after
    // the first cycle (checked below), so nothing the host can see is kept.
    const std::int64_t liveBeforeFirst = LiveBytes();
    const std::int64_t blocksBeforeFirst = LiveBlocks();
    // Every cycle serves what the first one did, and that reflects the inputs
    // scripted at init and the events delivered.
    const Strings expected = Cycle();
    for (const char* filter : {"filter_level_31", "filter_location_gb__york", "filter_lane_jungle"}) {
        EXPECT_NE(std::find(expected.begin(), expected.end(), filter), expected.end()) << filter;
    }
    EXPECT_EQ(LiveBytes(), liveBeforeFirst);
    EXPECT_EQ(LiveBlocks(), blocksBeforeFirst);
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), 0u);

    const MemoryCountersRecord before = ReadMemoryCounters();
#ifdef HPK_HARDENING_MALLINFO
    const struct mallinfo2 heapBefore = mallinfo2();
#endif
    for (int cycle = 1; cycle < kCycles; ++cycle) {
        const Strings served = Cycle();
        if (served != expected) {
            ADD_FAILURE() << "cycle " << cycle << " served " << ::testing::PrintToString(served);
            break;
        }
    }
#ifdef HPK_HARDENING_MALLINFO
    // Plain heap memory (the framework's own, outside the counting hooks)
    // must not grow with the cycles either.
    const struct mallinfo2 heapAfter = mallinfo2();
    EXPECT_EQ(heapAfter.uordblks, heapBefore.uordblks);
#endif
    const MemoryCountersRecord after = ReadMemoryCounters();
    const std::uint64_t allocated = after.totalBytesAllocated - before.totalBytesAllocated;
    const std::uint64_t freed = after.totalBytesFreed - before.totalBytesFreed;
    EXPECT_GT(allocated, 0u);
    EXPECT_EQ(freed, allocated);
    EXPECT_EQ(after.totalFrees - before.totalFrees, after.totalAllocations - before.totalAllocations);
    EXPECT_EQ(LiveBytes(), liveBeforeFirst);
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), 0u);
}

}  // namespace
}  // namespace hpk::content_targeting::testing
