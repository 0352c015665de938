// Counting allocation hooks over the C runtime allocator.
#include "boundary/allocation_hooks.h"

#include <atomic>
#include <cstring>

#include "platform/platform.h"

namespace hpk {
namespace {

// Live bytes and live blocks share one word, changed by one atomic operation
// per allocation or free, so every value it takes was live at one moment and
// the peak taken from it is a pair from that moment. Halves of 32 bits hold
// any amount of live memory in a 32-bit address space.
static_assert(sizeof(void*) == 4, "live bytes and blocks share one 64-bit word");
constexpr std::uint64_t kOneBlock = std::uint64_t{1} << 32;
constexpr std::uint64_t PackedLive(std::uint64_t bytes) { return kOneBlock + bytes; }
constexpr std::uint32_t LiveBytesOf(std::uint64_t packed) { return static_cast<std::uint32_t>(packed); }
// Signed: a reallocation without an old block counts a free of nothing, so
// the block count may be one below what is really live (it never was negative
// in bytes).
constexpr std::int32_t LiveBlocksOf(std::uint64_t packed) { return static_cast<std::int32_t>(packed >> 32); }

// Order of the steps, which a reader of a snapshot relies on: an allocation
// adds to `live`, raises `peak`, then adds to the totals; a free adds to the
// totals, then takes from `live`. So the blocks that the totals show live at
// any moment were all in `live` together once, and `peak` covers them.
struct Counters {
    std::atomic<std::uint64_t> live{0};  // live bytes | live blocks << 32
    std::atomic<std::uint64_t> peak{0};  // `live` at its highest byte count
    std::atomic<std::uint64_t> bytesAllocated{0};
    std::atomic<std::uint64_t> allocations{0};
    std::atomic<std::uint64_t> bytesFreed{0};
    std::atomic<std::uint64_t> frees{0};
};
Counters& TheCounters() {
    static Counters counters;
    return counters;
}
// Armed only while a test injects failures, so that an allocation reads one
// byte instead of the 64-bit countdown.
std::atomic<bool> gFailArmed{false};
std::atomic<std::uint64_t> gFailCountdown{0};

constexpr int kSnapshotAttempts = 1000;

bool InjectedFailure() {
    if (!gFailArmed.load(std::memory_order_relaxed)) return false;
    std::uint64_t n = gFailCountdown.load(std::memory_order_relaxed);
    while (n != 0) {
        if (gFailCountdown.compare_exchange_weak(n, n - 1)) return n == 1;
    }
    return false;
}

// `now` is a value `live` took: raise the peak to it unless it is already as high.
void RaisePeak(Counters& c, std::uint64_t now) {
    std::uint64_t peak = c.peak.load(std::memory_order_relaxed);
    while (LiveBytesOf(now) > LiveBytesOf(peak)) {
        if (c.peak.compare_exchange_weak(peak, now)) return;
    }
}

// Called once the block is ours and before anyone else can free it.
void CountAllocationOf(std::uint64_t size) {
    Counters& c = TheCounters();
    RaisePeak(c, c.live.fetch_add(PackedLive(size)) + PackedLive(size));
    c.bytesAllocated.fetch_add(size);
    c.allocations.fetch_add(1);
}

void CountAllocation(void* block) {
    if (block != nullptr) CountAllocationOf(platform::AllocationSize(block));
}

// Called while the block is still ours, before the allocator may hand its
// memory to another thread, so `live` never counts memory twice.
void CountFree(std::uint64_t size) {
    Counters& c = TheCounters();
    c.bytesFreed.fetch_add(size);
    c.frees.fetch_add(1);
    c.live.fetch_sub(PackedLive(size));
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
    // allocation of the new one. The free is counted first: once the runtime
    // has moved the block, its old memory may go to another thread at once.
    const std::uint64_t oldSize = platform::AllocationSize(block);
    CountFree(oldSize);
    void* fresh = platform::SystemReallocate(block, size == 0 ? 1 : size);
    if (fresh == nullptr) {
        // The old block is still live: counted again, as a fresh allocation.
        CountAllocationOf(oldSize);
        return nullptr;
    }
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
    // Two readings in a row that agree are a snapshot: every counter only
    // grows (the peak word changes only when its byte count grows), so equal
    // readings mean nothing changed between them. Frees are read before
    // allocations, so even a reading taken apart never shows more freed than
    // allocated.
    const auto read = [&c](MemoryCountersRecord& out) {
        out.totalFrees = c.frees.load();
        out.totalBytesFreed = c.bytesFreed.load();
        out.totalAllocations = c.allocations.load();
        out.totalBytesAllocated = c.bytesAllocated.load();
        const std::uint64_t peak = c.peak.load();
        out.peakLiveBytes = LiveBytesOf(peak);
        out.peakLiveBlocks = static_cast<std::uint64_t>(static_cast<std::int64_t>(LiveBlocksOf(peak)));
        out.zero[0] = out.zero[1] = 0;
    };
    MemoryCountersRecord out{};
    read(out);
    // Bounded: a reader must not spin for ever under a storm of allocations.
    for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
        MemoryCountersRecord again{};
        read(again);
        if (std::memcmp(&again, &out, sizeof out) == 0) break;
        out = again;
    }
    return out;
}
std::int64_t LiveBytes() { return LiveBytesOf(TheCounters().live.load()); }
std::int64_t LiveBlocks() { return LiveBlocksOf(TheCounters().live.load()); }

void FailAllocationAfter(std::uint64_t n) {
    gFailCountdown.store(n);
    gFailArmed.store(n != 0);
}

}  // namespace hpk
