// Windows implementation of platform.h: the real kernel services.
#include "platform/platform.h"

#include <windows.h>

#include <malloc.h>
#include <cstring>
#include <utility>

namespace hpk::platform {

static_assert(sizeof(CRITICAL_SECTION) <= 40, "RecursiveLock storage too small");

// Without the debug record the system would otherwise allocate on the process
// heap for each critical section: a lock in static storage that is never
// destroyed (the value pages' supplier lives until the library is unmapped)
// would leave it behind at every unload.
RecursiveLock::RecursiveLock() {
    InitializeCriticalSectionEx(reinterpret_cast<CRITICAL_SECTION*>(storage_), 0, CRITICAL_SECTION_NO_DEBUG_INFO);
}
RecursiveLock::~RecursiveLock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void RecursiveLock::Lock() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void RecursiveLock::Unlock() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

LocalTime GetLocalTime() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }

std::size_t ModuleFileName(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    DWORD n = ::GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    if (n >= size) n = static_cast<DWORD>(size - 1);
    buffer[n] = '\0';
    return n;
}

void DebugOutput(const char* text) {
    if (text != nullptr) ::OutputDebugStringA(text);
}

std::int64_t PerformanceCounter() {
    LARGE_INTEGER value{};
    ::QueryPerformanceCounter(&value);
    return value.QuadPart;
}
std::int64_t PerformanceFrequency() {
    LARGE_INTEGER value{};
    ::QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

std::int64_t SystemTimeTicks() {
    FILETIME ft{};
    ::GetSystemTimeAsFileTime(&ft);
    // FILETIME counts from 1601-01-01; 1970 is 11644473600 seconds later.
    const std::int64_t ticks = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return ticks - 116444736000000000LL;
}

void* ReservePages(std::size_t size) {
    // VirtualAlloc reservations are 64 KiB aligned already.
    return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}
void ReleasePages(void* address, std::size_t) {
    if (address != nullptr) ::VirtualFree(address, 0, MEM_RELEASE);
}

namespace {

// Advapi32's tracing entries, looked up at run time: a system without them
// simply has no tracing. Loaded on first use and let go by TraceClose (when
// the plugin shuts down), so that no reference to Advapi32 outlives the
// library; a later start loads it again.
using EventRegisterFn = ULONG(WINAPI*)(const GUID*, void*, void*, std::uint64_t*);
using EventWriteFn = ULONG(WINAPI*)(std::uint64_t, const void*, ULONG, void*);
using EventUnregisterFn = ULONG(WINAPI*)(std::uint64_t);

struct TraceApi {
    HMODULE module = nullptr;
    EventRegisterFn registerFn = nullptr;
    EventWriteFn writeFn = nullptr;
    EventUnregisterFn unregisterFn = nullptr;
    bool loaded = false;
    bool tried = false;
};
SRWLOCK gTraceLock = SRWLOCK_INIT;
TraceApi gTraceApi;

TraceApi Trace() {
    AcquireSRWLockExclusive(&gTraceLock);
    if (!gTraceApi.tried) {
        gTraceApi.tried = true;
        HMODULE module = ::LoadLibraryW(L"Advapi32.dll");
        if (module != nullptr) {
            gTraceApi.module = module;
            gTraceApi.loaded = true;
            gTraceApi.registerFn =
                reinterpret_cast<EventRegisterFn>(reinterpret_cast<void*>(::GetProcAddress(module, "EventRegister")));
            gTraceApi.writeFn =
                reinterpret_cast<EventWriteFn>(reinterpret_cast<void*>(::GetProcAddress(module, "EventWrite")));
            gTraceApi.unregisterFn = reinterpret_cast<EventUnregisterFn>(
                reinterpret_cast<void*>(::GetProcAddress(module, "EventUnregister")));
        }
    }
    const TraceApi api = gTraceApi;
    ReleaseSRWLockExclusive(&gTraceLock);
    return api;
}

#pragma pack(push, 8)
struct EventDataDescriptor {
    std::uint64_t ptr;
    ULONG size;
    ULONG reserved;
};
#pragma pack(pop)

}  // namespace

bool TraceAvailable() { return Trace().loaded; }

namespace {
// The callback and context of each registration, in static storage: a slot is
// taken at registration and given back at unregistration, so load-shutdown
// cycles leave nothing behind. Registrations are few (four providers).
struct TraceContext {
    TraceEnableCallback callback = nullptr;
    void* context = nullptr;
    std::uint64_t handle = 0;
};
TraceContext gTraceContexts[8];
}  // namespace

std::uint64_t TraceRegister(const TraceGuid& provider, TraceEnableCallback callback, void* context) {
    const TraceApi api = Trace();
    if (api.registerFn == nullptr || callback == nullptr) return 0;
    GUID guid{};
    std::memcpy(&guid, &provider, sizeof guid);
    std::uint64_t handle = 0;
    // The system calls back with the documented PENABLECALLBACK shape, which
    // matches TraceEnableCallback on 32-bit Windows apart from the calling
    // convention; the callback is declared with the default one, so wrap it.
    struct Thunk {
        static void WINAPI Call(const GUID* source, ULONG code, UCHAR level, ULONGLONG any, ULONGLONG all, void* filter,
                                void* ctx) {
            auto* slot = static_cast<TraceContext*>(ctx);
            if (slot->callback == nullptr) return;
            slot->callback(reinterpret_cast<const TraceGuid*>(source), code, level, any, all, filter, slot->context);
        }
    };
    TraceContext* slot = nullptr;
    for (TraceContext& candidate : gTraceContexts) {
        if (candidate.callback == nullptr) {
            slot = &candidate;
            break;
        }
    }
    if (slot == nullptr) return 0;
    slot->callback = callback;
    slot->context = context;
    if (api.registerFn(&guid, reinterpret_cast<void*>(&Thunk::Call), slot, &handle) != 0 || handle == 0) {
        *slot = TraceContext{};
        return 0;
    }
    slot->handle = handle;
    return handle;
}

std::uint32_t TraceWrite(std::uint64_t handle, const TraceEventDescriptor& descriptor, const TraceDataItem* items,
                         std::uint32_t count) {
    const TraceApi api = Trace();
    if (api.writeFn == nullptr || handle == 0) return 0;
    EventDataDescriptor data[8]{};
    if (count > 8) count = 8;
    for (std::uint32_t i = 0; i < count; ++i) {
        data[i].ptr = reinterpret_cast<std::uintptr_t>(items[i].data);
        data[i].size = items[i].size;
    }
    return api.writeFn(handle, &descriptor, count, data);
}

void TraceUnregister(std::uint64_t handle) {
    const TraceApi api = Trace();
    if (api.unregisterFn != nullptr && handle != 0) api.unregisterFn(handle);
    if (handle == 0) return;
    for (TraceContext& slot : gTraceContexts) {
        if (slot.handle == handle) slot = TraceContext{};
    }
}

void TraceClose() {
    AcquireSRWLockExclusive(&gTraceLock);
    if (gTraceApi.module != nullptr) ::FreeLibrary(gTraceApi.module);
    gTraceApi = TraceApi{};
    ReleaseSRWLockExclusive(&gTraceLock);
}

std::size_t AllocationSize(void* block) { return block == nullptr ? 0 : _msize(block); }

}  // namespace hpk::platform
