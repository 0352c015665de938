// The shared library's heap: every allocation made by the library's code, by
// the C++ runtime linked into it and by the libraries it carries goes through
// the counting hooks, so the counters the host reads are the library's whole
// heap. Linked into the shared library only: the framework inside tests and
// tools keeps the process's own allocator, and nothing here is exported, so
// no allocation of the host or of another module is counted or redirected.
//
// operator new and delete, in all their forms, are defined here; the linker
// takes these definitions ahead of the C++ runtime's (which live in their own
// archive members), and the export list keeps them private to the library.
// The C runtime calls (malloc, calloc, realloc, free, strdup and kin) of every
// object in the library, the static C++ runtime, its unwinder and libyaml
// included, are redirected here by the linker (--wrap; the Windows DLL defines
// calloc and strdup here instead); the hooks reach the runtime's allocator
// underneath through platform::SystemAllocate and friends.
// A block is always freed by the allocator that made it: the counting hooks
// sit on the runtime's malloc and free, which the host shares for the blocks
// that cross the boundary.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "boundary/allocation_hooks.h"
#include "boundary/module_heap.h"

namespace hpk {
namespace {

void* AllocateOrThrow(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

// Over-aligned blocks: a counted block large enough to place the object at
// the alignment asked for, with the block's own address kept just below it.
void* AllocateAligned(std::size_t size, std::size_t alignment) noexcept {
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    const std::size_t extra = alignment - 1 + sizeof(void*);
    if (size > SIZE_MAX - extra) return nullptr;
    void* block = Allocate(size + extra);
    if (block == nullptr) return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(block) + sizeof(void*);
    const std::uintptr_t aligned = (start + alignment - 1) & ~(static_cast<std::uintptr_t>(alignment) - 1);
    reinterpret_cast<void**>(aligned)[-1] = block;
    return reinterpret_cast<void*>(aligned);
}
void FreeAligned(void* object) noexcept {
    if (object != nullptr) Free(static_cast<void**>(object)[-1]);
}
void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    void* object = AllocateAligned(size, static_cast<std::size_t>(alignment));
    if (object == nullptr) throw std::bad_alloc();
    return object;
}

}  // namespace
}  // namespace hpk

void* operator new(std::size_t size) { return hpk::AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return hpk::AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return hpk::Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return hpk::Allocate(size); }
void operator delete(void* block) noexcept { hpk::Free(block); }
void operator delete[](void* block) noexcept { hpk::Free(block); }
void operator delete(void* block, std::size_t) noexcept { hpk::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { hpk::Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { hpk::Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { hpk::Free(block); }

void* operator new(std::size_t size, std::align_val_t alignment) {
    return hpk::AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return hpk::AllocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return hpk::AllocateAligned(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return hpk::AllocateAligned(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* object, std::align_val_t) noexcept { hpk::FreeAligned(object); }
void operator delete[](void* object, std::align_val_t) noexcept { hpk::FreeAligned(object); }
void operator delete(void* object, std::size_t, std::align_val_t) noexcept { hpk::FreeAligned(object); }
void operator delete[](void* object, std::size_t, std::align_val_t) noexcept { hpk::FreeAligned(object); }
void operator delete(void* object, std::align_val_t, const std::nothrow_t&) noexcept { hpk::FreeAligned(object); }
void operator delete[](void* object, std::align_val_t, const std::nothrow_t&) noexcept { hpk::FreeAligned(object); }

#include "platform/platform.h"

namespace hpk {

// Blocks the C++ runtime takes while the library is being mapped, before the
// host first enters it (its reserve for exceptions thrown when memory has run
// out; on Windows also the unwinder's sorted tables and the C runtime's table
// of functions to run at detach): static state of the library like its data
// segment, present before any plugin exists and for as long as the library
// stays mapped, so outside the counters. They are few; a block that does not
// fit here is counted instead.
namespace {

void* gStartupBlocks[8] = {};
bool gCounting = false;

bool TakeStartupBlock(void* block) {
    if (block == nullptr) return false;
    for (void*& slot : gStartupBlocks) {
        if (slot == block) {
            slot = nullptr;
            return true;
        }
    }
    return false;
}

void* RuntimeAllocate(std::size_t size) {
    if (gCounting) return Allocate(size);
    void* block = platform::SystemAllocate(size == 0 ? 1 : size);
    for (void*& slot : gStartupBlocks) {
        if (slot == nullptr) {
            slot = block;
            return block;
        }
    }
    // No room to remember it as uncounted: give it back and take a counted one.
    platform::SystemFree(block);
    return Allocate(size);
}

}  // namespace

void BeginCountingRuntimeHeap() noexcept { gCounting = true; }

}  // namespace hpk

extern "C" {

void* __wrap_malloc(std::size_t size) { return hpk::RuntimeAllocate(size); }
void __wrap_free(void* block) {
    if (hpk::TakeStartupBlock(block)) {
        hpk::platform::SystemFree(block);
    } else {
        hpk::Free(block);
    }
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    void* block = hpk::RuntimeAllocate(count * size);
    if (block != nullptr) std::memset(block, 0, count * size);
    return block;
}
void* __wrap_realloc(void* block, std::size_t size) {
    for (void*& slot : hpk::gStartupBlocks) {
        if (block != nullptr && slot == block) {
            // A start-up block stays outside the counters when it grows.
            void* fresh = hpk::platform::SystemReallocate(block, size == 0 ? 1 : size);
            if (fresh != nullptr) slot = fresh;
            return fresh;
        }
    }
    return hpk::Reallocate(block, size);
}
char* __wrap_strdup(const char* text) { return hpk::DuplicateString(text); }
#if defined(_WIN32)
// In the DLL calloc and strdup are defined here rather than wrapped: a wrapped
// name keeps msvcrt's own entry in the import table even when nothing calls
// it, and nothing does (the hooks reach msvcrt through malloc alone).
void* calloc(std::size_t count, std::size_t size) { return __wrap_calloc(count, size); }
char* strdup(const char* text) { return hpk::DuplicateString(text); }
#else
char* __wrap_strndup(const char* text, std::size_t limit) {
    const void* end = std::memchr(text, '\0', limit);
    return hpk::DuplicateText(text, end != nullptr ? static_cast<const char*>(end) - text : limit);
}
#endif

}  // extern "C"

// The C++ runtime's exception reserve would outlive an unloaded library.
namespace __gnu_cxx {
void __freeres() noexcept;
}
namespace {
struct ReleaseRuntimeReserve {
    ~ReleaseRuntimeReserve() { __gnu_cxx::__freeres(); }
} gReleaseRuntimeReserve;
}  // namespace
