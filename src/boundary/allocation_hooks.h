// Counting allocation hooks: every allocation of the framework, and all memory
// handed to the host, goes through these functions. A leaf header any layer may
// include. Counters are 64-bit, changed atomically from any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "boundary/abi/load_record.h"

namespace hpk {

// Replaceable hooks. The counting set (the default) calls the C runtime's
// malloc/free/realloc/strdup, so the host can free what the plugin hands it
// with the same allocator, and updates the counters.
struct AllocationHooks {
    void* (*allocate)(std::size_t size);
    void (*free)(void* block);
    void* (*reallocate)(void* block, std::size_t size);
    char* (*duplicate)(const char* text);
    std::size_t (*blockSize)(void* block);
};

void* Allocate(std::size_t size);  // null on failure (or on an injected failure)
void Free(void* block);            // null is ignored and counts nothing
void* Reallocate(void* block, std::size_t size);
char* DuplicateString(const char* text);  // null on failure
std::size_t BlockSize(void* block);

// Copies `length` bytes of `text` into a fresh NUL-terminated block from Allocate.
char* DuplicateText(const char* text, std::size_t length);

// Installs other hooks (tests); returns the previous ones.
AllocationHooks InstallAllocationHooks(const AllocationHooks& hooks);
const AllocationHooks& CountingAllocationHooks();

// The six counters in their record layout (the two trailing words zero), as
// they all were at one moment, from any thread: no more bytes freed than
// allocated, the peak at least the live bytes, and no counter below an earlier
// reading. (Should allocations never pause for the two agreeing readings this
// takes, the last reading is returned; its bytes freed still never exceed its
// bytes allocated.) The peak is the highest live byte count there ever was,
// with the live block count of that moment.
MemoryCountersRecord ReadMemoryCounters();
// Live bytes and blocks right now (allocated minus freed).
std::int64_t LiveBytes();
std::int64_t LiveBlocks();

// Test support: make the Nth allocation from now on (1 = the next) fail,
// 0 to switch injection off. Applies to Allocate, Reallocate and DuplicateString.
void FailAllocationAfter(std::uint64_t n);

// std-style allocator over the counting hooks, for containers whose memory
// the plugin accounts for.
template <class T>
struct CountingAllocator {
    using value_type = T;
    CountingAllocator() = default;
    template <class U>
    CountingAllocator(const CountingAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* p = Allocate(n * sizeof(T));
        if (p == nullptr) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { Free(p); }
    template <class U>
    bool operator==(const CountingAllocator<U>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const CountingAllocator<U>&) const {
        return false;
    }
};

// unique_ptr deleter for blocks from Allocate/DuplicateString.
struct HookFree {
    void operator()(void* block) const { Free(block); }
};
template <class T>
using HookPtr = std::unique_ptr<T, HookFree>;

}  // namespace hpk
