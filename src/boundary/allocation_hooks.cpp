// Counting allocation hooks over the C runtime allocator.
#include "boundary/allocation_hooks.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"

namespace hpk {
namespace {

struct Counters {
    std::atomic<std::uint64_t> peakLiveBytes{0};
    std::atomic<std::uint64_t> peakLiveBlocks{0};
    std::atomic<std::uint64_t> bytesAllocated{0};
    std::atomic<std::uint64_t> allocations{0};
    std::atomic<std::uint64_t> bytesFreed{0};
    std::atomic<std::uint64_t> frees{0};
};
Counters& TheCounters() {
    static Counters counters;
    return counters;
}
std::atomic<std::uint64_t> gFailCountdown{0};

bool InjectedFailure() {
    std::uint64_t n = gFailCountdown.load(std::memory_order_relaxed);
    while (n != 0) {
        if (gFailCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

void CountAllocation(void* block) {
    if (block == nullptr) return;
    Counters& c = TheCounters();
    const std::uint64_t size = platform::AllocationSize(block);
    const std::uint64_t allocated = c.bytesAllocated.fetch_add(size) + size;
    const std::uint64_t count = c.allocations.fetch_add(1) + 1;
    const std::uint64_t freed = c.bytesFreed.load();
    const std::uint64_t live = allocated - freed;
    std::uint64_t peak = c.peakLiveBytes.load();
    while (live > peak) {
        if (c.peakLiveBytes.compare_exchange_weak(peak, live)) {
            c.peakLiveBlocks.store(count - c.frees.load());
            break;
        }
    }
}

void CountFree(std::uint64_t size) {
    Counters& c = TheCounters();
    c.bytesFreed.fetch_add(size);
    c.frees.fetch_add(1);
}

void* CountingAllocate(std::size_t size) {
    if (InjectedFailure()) return nullptr;
    void* block = platform::SystemAllocate(size == 0 ? 1 : size);
    CountAllocation(block);
    return block;
}
void CountingFree(void* block) {
    if (block == nullptr) return;
    CountFree(platform::AllocationSize(block));
    platform::SystemFree(block);
}
void* CountingReallocate(void* block, std::size_t size) {
    if (InjectedFailure()) return nullptr;
    // Counted as a free of the old block (even when there is none) and an
    // allocation of the new one.
    const std::uint64_t oldSize = platform::AllocationSize(block);
    void* fresh = platform::SystemReallocate(block, size == 0 ? 1 : size);
    if (fresh == nullptr) return nullptr;  // the old block is still live
    CountFree(oldSize);
    CountAllocation(fresh);
    return fresh;
}
char* CountingDuplicate(const char* text) {
    if (text == nullptr || InjectedFailure()) return nullptr;
    // Not the runtime's strdup: inside the shared library that is routed back
    // here and would be counted twice.
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(platform::SystemAllocate(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    CountAllocation(copy);
    return copy;
}
std::size_t CountingBlockSize(void* block) { return platform::AllocationSize(block); }

const AllocationHooks kCounting{CountingAllocate, CountingFree, CountingReallocate, CountingDuplicate,
                                CountingBlockSize};
AllocationHooks gHooks = kCounting;

}  // namespace

void* Allocate(std::size_t size) { return gHooks.allocate(size); }
void Free(void* block) { gHooks.free(block); }
void* Reallocate(void* block, std::size_t size) { return gHooks.reallocate(block, size); }
char* DuplicateString(const char* text) { return gHooks.duplicate(text); }
std::size_t BlockSize(void* block) { return gHooks.blockSize(block); }

char* DuplicateText(const char* text, std::size_t length) {
    auto* copy = static_cast<char*>(Allocate(length + 1));
    if (copy == nullptr) return nullptr;
    if (length != 0) std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

AllocationHooks InstallAllocationHooks(const AllocationHooks& hooks) {
    AllocationHooks previous = gHooks;
    gHooks = hooks;
    return previous;
}
const AllocationHooks& CountingAllocationHooks() { return kCounting; }

MemoryCountersRecord ReadMemoryCounters() {
    const Counters& c = TheCounters();
    MemoryCountersRecord out{};
    out.peakLiveBytes = c.peakLiveBytes.load();
    out.peakLiveBlocks = c.peakLiveBlocks.load();
    out.totalBytesAllocated = c.bytesAllocated.load();
    out.totalAllocations = c.allocations.load();
    out.totalBytesFreed = c.bytesFreed.load();
    out.totalFrees = c.frees.load();
    out.zero[0] = out.zero[1] = 0;
    return out;
}
std::int64_t LiveBytes() {
    const Counters& c = TheCounters();
    return static_cast<std::int64_t>(c.bytesAllocated.load() - c.bytesFreed.load());
}
std::int64_t LiveBlocks() {
    const Counters& c = TheCounters();
    return static_cast<std::int64_t>(c.allocations.load() - c.frees.load());
}

void FailAllocationAfter(std::uint64_t n) { gFailCountdown.store(n); }

}  // namespace hpk
