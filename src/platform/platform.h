// The few operating-system services the library needs, behind one small
// interface. platform_win32.cpp calls the real kernel functions; platform_posix.cpp
// stands in for them on Linux. No other file includes <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hpk::platform {

// A recursive lock (a critical section on Windows). Not copyable or movable:
// the OS object lives inside it.
class RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void Lock();
    void Unlock();

private:
    // Large enough for a CRITICAL_SECTION (24 bytes on 32-bit Windows) and a
    // pthread recursive mutex (24 bytes on i386); checked in each implementation.
    alignas(8) unsigned char storage_[40];
};

// RAII holder for RecursiveLock.
class LockGuard {
public:
    explicit LockGuard(RecursiveLock& lock) : lock_(lock) { lock_.Lock(); }
    ~LockGuard() { lock_.Unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    RecursiveLock& lock_;
};

// Local wall-clock time, as GetLocalTime reports it (day of week omitted).
struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};
LocalTime GetLocalTime();

// The calling thread's identifier (GetCurrentThreadId; gettid on Linux).
std::uint32_t CurrentThreadId();

// Full path of the process image, NUL-terminated and truncated to `size`
// (GetModuleFileNameA(nullptr, ...); /proc/self/exe on Linux). Returns the
// number of characters written, 0 on failure.
std::size_t ModuleFileName(char* buffer, std::size_t size);

// Debugger output (OutputDebugStringA). On Linux the text is discarded unless
// HPK_DEBUG_OUTPUT is set in the environment, in which case it goes to stderr.
void DebugOutput(const char* text);

// High-resolution performance counter (QueryPerformanceCounter/Frequency;
// CLOCK_MONOTONIC in nanoseconds on Linux).
std::int64_t PerformanceCounter();
std::int64_t PerformanceFrequency();

// System clock as 100-nanosecond ticks since 1970-01-01 00:00 UTC.
std::int64_t SystemTimeTicks();

// Reserve and commit `size` bytes of read-write memory aligned to at least
// 64 KiB (VirtualAlloc; mmap on Linux). Returns null on failure.
void* ReservePages(std::size_t size);
// Return a block obtained from ReservePages with the same size.
void ReleasePages(void* address, std::size_t size);

// Event tracing. On Windows these reach EventRegister/EventWrite/EventUnregister
// of Advapi32 loaded at run time; on Linux tracing is unavailable:
// TraceAvailable() is false, TraceRegister fails and the others do nothing.
struct TraceGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};
// The system's enable notification: control code 0 disable, 1 enable, 2 capture state.
using TraceEnableCallback = void (*)(const TraceGuid* source, std::uint32_t controlCode, std::uint8_t level,
                                     std::uint64_t matchAny, std::uint64_t matchAll, void* filter, void* context);
struct TraceEventDescriptor {
    std::uint16_t id;
    std::uint8_t version;
    std::uint8_t channel;
    std::uint8_t level;
    std::uint8_t opcode;
    std::uint16_t task;
    std::uint64_t keyword;
};
struct TraceDataItem {
    const void* data;
    std::uint32_t size;
};
bool TraceAvailable();
// Returns the registration handle, 0 when tracing is unavailable or registration failed.
std::uint64_t TraceRegister(const TraceGuid& provider, TraceEnableCallback callback, void* context);
// Returns the system's status code, 0 when nothing was written because tracing is unavailable.
std::uint32_t TraceWrite(std::uint64_t handle, const TraceEventDescriptor& descriptor, const TraceDataItem* items,
                         std::uint32_t count);
void TraceUnregister(std::uint64_t handle);
// Lets go of what tracing loaded (Advapi32 on Windows); a later call loads it again.
void TraceClose();

// The C runtime allocator itself (malloc, free, realloc), beneath the
// counting hooks. Inside the shared library every other call of the runtime's
// allocator is routed to the hooks, so these are the only way past them.
void* SystemAllocate(std::size_t size);
void SystemFree(void* block);
void* SystemReallocate(void* block, std::size_t size);
// Usable size of a block from the C runtime allocator (_msize; malloc_usable_size).
std::size_t AllocationSize(void* block);

}  // namespace hpk::platform
