// The runtime's own allocator, the same on both platforms. The library is
// linked with the runtime's allocator wrapped (every malloc of its code, its
// C++ runtime and its libraries goes to the counting hooks); the linker then
// resolves __real_malloc to the runtime's own (msvcrt's in the DLL). Linked
// without wrapping (the framework inside tests and tools), these weak
// references stay null and the plain names are the runtime's.
#include <cstdlib>

#include "platform/platform.h"

extern "C" {
void* __real_malloc(std::size_t) __attribute__((weak));
void __real_free(void*) __attribute__((weak));
void* __real_realloc(void*, std::size_t) __attribute__((weak));
}

namespace hpk::platform {

void* SystemAllocate(std::size_t size) { return __real_malloc != nullptr ? __real_malloc(size) : malloc(size); }
void SystemFree(void* block) {
    if (__real_free != nullptr) {
        __real_free(block);
    } else {
        free(block);
    }
}
void* SystemReallocate(void* block, std::size_t size) {
    return __real_realloc != nullptr ? __real_realloc(block, size) : realloc(block, size);
}

}  // namespace hpk::platform
