// Running out of memory at any point of a plugin's life — load, init, an
// event, a served request, shutdown — must cost the host nothing: no crash,
// every response released, and the counting allocator back where it started.
#include <gtest/gtest.h>

#include <cstdint>

#include "binding/host_value_convert.h"
#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "content_targeting/plugin_scenario.h"
#include "boundary/allocation_hooks.h"
#include "support/fake_host.h"

namespace hpk::content_targeting::testing {
namespace {

// A resource event payload built before the failure is armed: the host's memory.
void BuildEvent(HostValueOwner& owner, const char* uri, const char* data) {
    BindingValue payload;
    payload.Member("uri").SetString(uri);
    payload.Member("eventType").SetString("Update");
    payload.Member("data") = Json(data);
    EXPECT_TRUE(ToHostValue(owner.Get(), payload, nullptr));
}

// One cycle with allocation number `failAt` (1 = the first, 0 = none) failing.
// While the failure is armed the test only calls into the plugin, and the
// fake host answers requests from scripts built beforehand, so whatever fails
// is the plugin's allocation (or a response the host could not build).
void CycleFailingAt(std::uint64_t failAt) {
    FakeHost host;
    host.ServeValue(kLogin, Json(kLoggedIn));
    host.ServeValue(kConfig, Json(R"({"Enabled": true, "LevelFilterEnabled": true, "LocationFiltersEnabled": true})"));
    host.ServeValue(kSummoner, Json(R"({"summonerLevel": 12})"));
    host.ServeValue(kGeo, Json(R"({"success": true, "geoInfo": {"country": "PL"}})"));
    host.ServeValue(kAccount, Json(R"({"data": {"selectedLanguage": "pl_PL"}})"));
    HostValueOwner geo;
    BuildEvent(geo, kGeo, R"({"success": true, "geoInfo": {"country": "GB", "city": "York"}})");
    HostValueOwner ready;
    BuildEvent(ready, kReady, "true");
    {
        FakePluginSession session(host);
        FailAllocationAfter(failAt);
        if (session.Load()) {
            session.Init();
            host.DeliverRawEvent(EventNameOfUri(kGeo), geo.Get());
            host.DeliverRawEvent(EventNameOfUri(kReady), ready.Get());
            const HostTableRecord* table = session.Record().hostTable;
            for (const char* path : {kFilters, kLocale}) {
                const HostEndpointRecord* endpoint = table == nullptr ? nullptr : FakeHost::FindEndpoint(*table, path);
                if (endpoint == nullptr) continue;
                HostRequest request{};
                request.method = 2;
                request.url = path;
                request.endpointUserData = endpoint->function.endpointUserData;
                HostResponse response{};
                endpoint->requestCallback(&response, &request);
                const HostResponseReleaseFn release = response.release;
                EXPECT_NE(release, nullptr);
                if (release != nullptr) release(&response);
            }
            session.Shutdown();
        }
        FailAllocationAfter(0);
    }
    EXPECT_EQ(host.ActiveSubscriptionCount(), 0u);
    EXPECT_EQ(host.UnreleasedResponses(), 0);
    host.ClearRecords();
    host.ClearScripts();
    // The fake host's records are trees of ours, dropped after the plugin's
    // shutdown: the last one parks its arena for reuse, which the library's
    // unload would free in a real host.
    BindingValueArena::ReleaseSpare();
}

TEST(AllocationFailure, EveryAllocationOfACycleMayFail) {
    CycleFailingAt(0);  // process-wide parts first
    const std::int64_t live = LiveBytes();
    const std::uint64_t before = ReadMemoryCounters().totalAllocations;
    CycleFailingAt(0);
    const std::uint64_t allocations = ReadMemoryCounters().totalAllocations - before;
    ASSERT_GT(allocations, 10u);
    for (std::uint64_t failAt = 1; failAt <= allocations + 1; ++failAt) {
        SCOPED_TRACE(failAt);
        CycleFailingAt(failAt);
        ASSERT_EQ(LiveBytes(), live);
    }
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), 0u);
}

}  // namespace
}  // namespace hpk::content_targeting::testing
