// Thread-local variables of the Windows DLL in the DLL's own thread storage
// (linked into the DLL only, compiled with the system's thread storage).
//
// The static C++ runtime keeps its thread-local state (each thread's stack of
// caught exceptions, the callable of a running call_once) in emulated
// thread-local variables, and the library's own follow suit (the toolchain
// file makes clang emulate them too): every access asks __emutls_get_address
// for the calling thread's copy. The unwinder library's version gives each
// thread a heap block per variable, found again through a winpthreads key and
// freed by the key's destructor when the thread ends: for every host thread
// that ever threw, blocks the host's counters never see, kept after the
// plugin is shut down, and a thread record in winpthreads.
//
// Here every variable has a place in one area of the DLL's own thread storage
// (its TLS section). The system's loader gives each thread its own zeroed
// copy of the area, the threads that exist when the DLL is loaded included,
// and takes it back when the thread ends or the DLL is unloaded: nothing of it
// is on the heap. A variable gets its place on its first use in any thread;
// a thread copies the variable's initial value on its own first use.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The control object the compiler emits for each variable (__emutls_v.NAME).
struct EmulatedVariable {
    std::uintptr_t size;
    std::uintptr_t align;
    std::uintptr_t place;  // 1 + the variable's index in the area, 0 until first used
    const void* initial;   // null when the variable starts as zeroes
};

// The DLL's emulated variables need 21 bytes in 5 variables today (the
// runtime's exception stack, call_once's two, two of the library's own). A
// variable that no longer fits gets a null address, so the first test that
// reaches it fails at once: then these limits grow.
constexpr std::size_t kAreaBytes = 256;
constexpr std::size_t kMaxVariables = 32;
// The loader's copy of a TLS section is aligned to 8 at most.
constexpr std::size_t kMaxAlign = 8;

struct ThreadArea {
    std::uint32_t initialized;  // one bit per variable with an initial value
    alignas(kMaxAlign) unsigned char bytes[kAreaBytes];
};
thread_local ThreadArea tArea;

SRWLOCK gPlacementLock = SRWLOCK_INIT;
std::uint16_t gOffsets[kMaxVariables];
std::size_t gPlaced = 0;
std::size_t gUsedBytes = 0;

// The variable's place, given on its first use; 0 when the area is full.
std::uintptr_t Place(EmulatedVariable& variable) {
    AcquireSRWLockExclusive(&gPlacementLock);
    std::uintptr_t place = variable.place;
    if (place == 0) {
        const std::size_t align = variable.align == 0 ? 1 : variable.align;
        const std::size_t offset = (gUsedBytes + align - 1) & ~(align - 1);
        if (align <= kMaxAlign && gPlaced < kMaxVariables && offset <= kAreaBytes &&
            variable.size <= kAreaBytes - offset) {
            gOffsets[gPlaced] = static_cast<std::uint16_t>(offset);
            place = ++gPlaced;
            gUsedBytes = offset + variable.size;
            __atomic_store_n(&variable.place, place, __ATOMIC_RELEASE);
        }
    }
    ReleaseSRWLockExclusive(&gPlacementLock);
    return place;
}

}  // namespace

extern "C" void* __emutls_get_address(EmulatedVariable* variable) {
    std::uintptr_t place = __atomic_load_n(&variable->place, __ATOMIC_ACQUIRE);
    if (place == 0) place = Place(*variable);
    if (place == 0) return nullptr;
    ThreadArea& area = tArea;
    unsigned char* address = area.bytes + gOffsets[place - 1];
    const std::uint32_t bit = std::uint32_t{1} << (place - 1);
    if (variable->initial != nullptr && (area.initialized & bit) == 0) {
        std::memcpy(address, variable->initial, variable->size);
        area.initialized |= bit;
    }
    return address;
}
