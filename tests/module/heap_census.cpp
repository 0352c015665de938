// The interposed allocator behind HeapCensus.
// Linux: the definitions of malloc & co. below take their place for the whole
// process; each call is passed on to the next definition in the lookup order
// (the C runtime's, or the sanitizer's when there is one, so its checks stay
// in force), and a block is the module's when the call came from its code.
// Windows: the module's own import table entries for malloc & co. are pointed
// at counting functions, so every call the module makes is seen, and only its.
#include "heap_census.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#include <malloc.h>
#else
#include <dlfcn.h>
#include <link.h>
#include <malloc.h>
#endif

namespace hpk::testing {
namespace {

std::size_t UsableSize(void* block) {
#if defined(_WIN32)
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

// The watched module's address range, and its live blocks in an open-
// addressing table (linear probing, deletion by backward shift) that never
// allocates.
std::uintptr_t gLow = 0;  // Linux: the module's mapping
std::uintptr_t gHigh = 0;
constexpr std::size_t kSlots = std::size_t{1} << 16;
struct Slot {
    void* block;
    std::size_t size;
};
Slot gSlots[kSlots];
HeapCensus gCensus;
std::uint64_t gFailCountdown = 0;
std::uint64_t gFailCount = 0;  // refusals left once the countdown is due
std::atomic_flag gLock = ATOMIC_FLAG_INIT;

struct Locked {
    Locked() {
        while (gLock.test_and_set(std::memory_order_acquire)) {}
    }
    ~Locked() { gLock.clear(std::memory_order_release); }
};

[[maybe_unused]] bool FromModule(const void* caller) {
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
    if (gFailCountdown > 1) {
        --gFailCountdown;
        return false;
    }
    if (--gFailCount == 0) gFailCountdown = 0;
    ++gCensus.failed;
    return true;
}

void Remember(void* block) {
    if (block == nullptr) return;
    const std::size_t size = UsableSize(block);
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

#if defined(_WIN32)

// The C runtime's own functions, as the module's import table held them.
using MallocFn = void*(__cdecl*)(std::size_t);
using CallocFn = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFn = void*(__cdecl*)(void*, std::size_t);
using FreeFn = void(__cdecl*)(void*);
MallocFn gMalloc = nullptr;
CallocFn gCalloc = nullptr;
ReallocFn gRealloc = nullptr;
FreeFn gFree = nullptr;

void* __cdecl CountedMalloc(std::size_t size) {
    Locked lock;
    if (FailNow()) return nullptr;
    void* block = gMalloc(size);
    Remember(block);
    return block;
}
void* __cdecl CountedCalloc(std::size_t count, std::size_t size) {
    Locked lock;
    if (FailNow()) return nullptr;
    void* block = gCalloc(count, size);
    Remember(block);
    return block;
}
void* __cdecl CountedRealloc(void* block, std::size_t size) {
    Locked lock;
    if (FailNow()) return nullptr;
    Forget(block);
    void* fresh = gRealloc(block, size);
    if (fresh == nullptr) {
        Remember(block);
        return nullptr;
    }
    Remember(fresh);
    return fresh;
}
void __cdecl CountedFree(void* block) {
    {
        Locked lock;
        Forget(block);
    }
    gFree(block);
}

// Points the module's import entry for `name` at `replacement`, keeping the
// original in `original`.
template <class Fn>
void Patch(HMODULE module, const char* name, Fn replacement, Fn& original) {
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (import->OriginalFirstThunk == 0) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            if (original == nullptr) original = reinterpret_cast<Fn>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<decltype(slots->u1.Function)>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        }
    }
}

#else
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

#endif

}  // namespace

#if defined(_WIN32)

bool WatchModuleHeap(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(address), &module)) {
        return false;
    }
    Patch(module, "malloc", &CountedMalloc, gMalloc);
    Patch(module, "calloc", &CountedCalloc, gCalloc);
    Patch(module, "realloc", &CountedRealloc, gRealloc);
    Patch(module, "free", &CountedFree, gFree);
    return gMalloc != nullptr && gFree != nullptr;
}

#else

bool WatchModuleHeap(const void* address) {
    FindModule find{reinterpret_cast<std::uintptr_t>(address), 0, 0};
    if (dl_iterate_phdr(VisitModule, &find) == 0) return false;
    Locked lock;
    gLow = find.low;
    gHigh = find.high;
    return true;
}

#endif

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

void FailModuleAllocation(std::uint64_t n, std::uint64_t count) {
    Locked lock;
    gFailCountdown = count == 0 ? 0 : n;
    gFailCount = count;
}

}  // namespace hpk::testing

#if !defined(_WIN32)

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
