// An independent count of one loaded module's heap, taken where the module
// meets the C runtime's allocator: on Linux this test executable defines
// malloc, calloc, realloc and free itself (ahead of every shared object, the
// C runtime's and a sanitizer's included) and attributes a block to the
// watched module when the call came from the module's own code; on Windows it
// points the module's import entries for them at counting functions. It
// trusts nothing of the module: not its counters, not its hooks. It can also
// make the module's Nth allocation fail, as a system out of memory would.
#pragma once
#include <cstdint>

namespace hpk::testing {

struct HeapCensus {
    std::uint64_t allocations = 0;
    std::uint64_t bytesAllocated = 0;  // usable sizes, as the allocator reports them
    std::uint64_t frees = 0;
    std::uint64_t bytesFreed = 0;
    std::uint64_t liveBlocks = 0;
    std::uint64_t liveBytes = 0;
    std::uint64_t peakLiveBytes = 0;
    std::uint64_t failed = 0;  // allocations refused on request
};

// Watches the module whose mapping holds `address` (any function of it).
// False when no loaded module holds it.
bool WatchModuleHeap(const void* address);
// Starts a new count: totals and peak from zero. Blocks already live stay
// known, so their later release is still recognised (and counted).
void ResetHeapCensus();
HeapCensus ReadHeapCensus();
// The module's `n`th allocation from now (1 = the next) returns null, and so
// do the `count` - 1 allocations after it; n = 0: none.
void FailModuleAllocation(std::uint64_t n, std::uint64_t count = 1);

}  // namespace hpk::testing
