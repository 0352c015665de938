// The interposed allocator behind HeapCensus. Linux only: the definitions
// below take the place of malloc & co. for the whole process, and each call
// is passed on to the next definition in the lookup order (the C runtime's, or
// the sanitizer's when there is one, so its checks stay in force).
#include "heap_census.h"

#if !defined(__linux__)

namespace hpk::testing {
bool HeapCensusAvailable() { return false; }
bool WatchModuleHeap(const void*) { return true; }
void ResetHeapCensus() {}
HeapCensus ReadHeapCensus() { return {}; }
void FailModuleAllocation(std::uint64_t) {}
}  // namespace hpk::testing

#else

#include <dlfcn.h>
#include <link.h>
#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace hpk::testing {
namespace {

using MallocFn = void* (*)(std::size_t);
using CallocFn = void* (*)(std::size_t, std::size_t);
using ReallocFn = void* (*)(void*, std::size_t);
using FreeFn = void (*)(void*);

MallocFn gMalloc = nullptr;
CallocFn gCalloc = nullptr;
ReallocFn gRealloc = nullptr;
FreeFn gFree = nullptr;

// dlsym itself may allocate before the next definitions are known: a few
// blocks from here, never freed.
alignas(16) unsigned char gBootstrap[4096];
std::size_t gBootstrapUsed = 0;
bool gResolving = false;

bool FromBootstrap(const void* block) {
    const auto* p = static_cast<const unsigned char*>(block);
    return p >= gBootstrap && p < gBootstrap + sizeof gBootstrap;
}
void* BootstrapAllocate(std::size_t size) {
    size = (size + 15) & ~std::size_t{15};
    if (gBootstrapUsed + size > sizeof gBootstrap) return nullptr;
    void* block = gBootstrap + gBootstrapUsed;
    gBootstrapUsed += size;
    return block;  // zero: static storage
}

bool Resolve() {
    if (gFree != nullptr) return true;
    if (gResolving) return false;
    gResolving = true;
    gMalloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
    gCalloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
    gRealloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
    gFree = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
    gResolving = false;
    return gFree != nullptr;
}

// The watched module's address range, and its live blocks in an open-
// addressing table (linear probing, deletion by backward shift) that never
// allocates.
std::uintptr_t gLow = 0;
std::uintptr_t gHigh = 0;
constexpr std::size_t kSlots = std::size_t{1} << 16;
struct Slot {
    void* block;
    std::size_t size;
};
Slot gSlots[kSlots];
HeapCensus gCensus;
std::uint64_t gFailCountdown = 0;
std::atomic_flag gLock = ATOMIC_FLAG_INIT;

struct Locked {
    Locked() {
        while (gLock.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~Locked() { gLock.clear(std::memory_order_release); }
};

bool FromModule(const void* caller) {
    const auto address = reinterpret_cast<std::uintptr_t>(caller);
    return address >= gLow && address < gHigh;
}

std::size_t SlotOf(const void* block) {
    auto key = reinterpret_cast<std::uintptr_t>(block);
    key ^= key >> 15;
    key *= 0x2c1b3c6dU;
    key ^= key >> 12;
    return key & (kSlots - 1);
}

// A refused allocation, when one is due. Caller holds the lock.
bool FailNow() {
    if (gFailCountdown == 0) return false;
    if (--gFailCountdown != 0) return false;
    ++gCensus.failed;
    return true;
}

void Remember(void* block) {
    if (block == nullptr) return;
    const std::size_t size = malloc_usable_size(block);
    std::size_t i = SlotOf(block);
    while (gSlots[i].block != nullptr) i = (i + 1) & (kSlots - 1);
    gSlots[i] = Slot{block, size};
    ++gCensus.allocations;
    gCensus.bytesAllocated += size;
    ++gCensus.liveBlocks;
    gCensus.liveBytes += size;
    if (gCensus.liveBytes > gCensus.peakLiveBytes) gCensus.peakLiveBytes = gCensus.liveBytes;
}

void Forget(void* block) {
    if (block == nullptr) return;
    std::size_t i = SlotOf(block);
    while (gSlots[i].block != block) {
        if (gSlots[i].block == nullptr) return;  // not the module's
        i = (i + 1) & (kSlots - 1);
    }
    ++gCensus.frees;
    gCensus.bytesFreed += gSlots[i].size;
    --gCensus.liveBlocks;
    gCensus.liveBytes -= gSlots[i].size;
    // Backward shift: later entries of the chain move into the gap.
    std::size_t gap = i;
    for (std::size_t j = (i + 1) & (kSlots - 1); gSlots[j].block != nullptr; j = (j + 1) & (kSlots - 1)) {
        const std::size_t home = SlotOf(gSlots[j].block);
        if (((j - home) & (kSlots - 1)) >= ((j - gap) & (kSlots - 1))) {
            gSlots[gap] = gSlots[j];
            gap = j;
        }
    }
    gSlots[gap] = Slot{nullptr, 0};
}

struct FindModule {
    std::uintptr_t address;
    std::uintptr_t low;
    std::uintptr_t high;
};

int VisitModule(dl_phdr_info* info, std::size_t, void* data) {
    auto& find = *static_cast<FindModule*>(data);
    std::uintptr_t low = UINTPTR_MAX;
    std::uintptr_t high = 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const auto& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
        if (start < low) low = start;
        if (start + header.p_memsz > high) high = start + header.p_memsz;
    }
    if (find.address < low || find.address >= high) return 0;
    find.low = low;
    find.high = high;
    return 1;
}

}  // namespace

bool HeapCensusAvailable() { return true; }

bool WatchModuleHeap(const void* address) {
    FindModule find{reinterpret_cast<std::uintptr_t>(address), 0, 0};
    if (dl_iterate_phdr(VisitModule, &find) == 0) return false;
    Locked lock;
    gLow = find.low;
    gHigh = find.high;
    return true;
}

void ResetHeapCensus() {
    Locked lock;
    const std::uint64_t liveBlocks = gCensus.liveBlocks;
    const std::uint64_t liveBytes = gCensus.liveBytes;
    gCensus = HeapCensus{};
    gCensus.liveBlocks = liveBlocks;
    gCensus.liveBytes = liveBytes;
    gCensus.peakLiveBytes = liveBytes;
}

HeapCensus ReadHeapCensus() {
    Locked lock;
    return gCensus;
}

void FailModuleAllocation(std::uint64_t n) {
    Locked lock;
    gFailCountdown = n;
}

}  // namespace hpk::testing

using namespace hpk::testing;

extern "C" {

void* malloc(std::size_t size) {
    if (!Resolve()) return BootstrapAllocate(size);
    if (!FromModule(__builtin_return_address(0))) return gMalloc(size);
    Locked lock;
    if (FailNow()) return nullptr;
    void* block = gMalloc(size);
    Remember(block);
    return block;
}

void* calloc(std::size_t count, std::size_t size) {
    if (!Resolve()) return BootstrapAllocate(count * size);
    if (!FromModule(__builtin_return_address(0))) return gCalloc(count, size);
    Locked lock;
    if (FailNow()) return nullptr;
    void* block = gCalloc(count, size);
    Remember(block);
    return block;
}

void* realloc(void* block, std::size_t size) {
    if (!Resolve()) return nullptr;
    if (FromBootstrap(block)) {
        void* fresh = gMalloc(size);
        if (fresh != nullptr) std::memcpy(fresh, block, size);
        return fresh;
    }
    const bool fromModule = FromModule(__builtin_return_address(0));
    Locked lock;
    if (fromModule && FailNow()) return nullptr;
    // Known before the call: the old block may go back to the allocator.
    Forget(block);
    void* fresh = gRealloc(block, size);
    if (fresh == nullptr) {
        if (block != nullptr && fromModule) Remember(block);  // still the module's, as before
        return nullptr;
    }
    if (fromModule) Remember(fresh);
    return fresh;
}

void free(void* block) {
    if (block == nullptr || FromBootstrap(block)) return;
    if (!Resolve()) return;
    {
        Locked lock;
        Forget(block);
    }
    gFree(block);
}

}  // extern "C"

#endif
