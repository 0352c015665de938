// Linux stand-ins for the Windows kernel services of platform.h.
#include "platform/platform.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hpk::platform {

static_assert(sizeof(pthread_mutex_t) <= 40, "RecursiveLock storage too small");

RecursiveLock::RecursiveLock() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(storage_), &attr);
    pthread_mutexattr_destroy(&attr);
}
RecursiveLock::~RecursiveLock() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage_)); }
void RecursiveLock::Lock() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage_)); }
void RecursiveLock::Unlock() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage_)); }

LocalTime GetLocalTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    return {parts.tm_year + 1900,
            parts.tm_mon + 1,
            parts.tm_mday,
            parts.tm_hour,
            parts.tm_min,
            parts.tm_sec,
            static_cast<int>(now.tv_nsec / 1000000)};
}

std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }

std::size_t ModuleFileName(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
    if (n <= 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[n] = '\0';
    return static_cast<std::size_t>(n);
}

void DebugOutput(const char* text) {
    static const bool enabled = std::getenv("HPK_DEBUG_OUTPUT") != nullptr;
    if (enabled && text != nullptr) std::fputs(text, stderr);
}

std::int64_t PerformanceCounter() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}
std::int64_t PerformanceFrequency() { return 1000000000LL; }

std::int64_t SystemTimeTicks() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 10000000LL + now.tv_nsec / 100;
}

void* ReservePages(std::size_t size) {
    // mmap gives page alignment only; over-reserve and trim to 64 KiB alignment
    // so that callers may find a block from any address inside it.
    const std::size_t alignment = 64 * 1024;
    std::size_t span = size + alignment;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto start = reinterpret_cast<std::uintptr_t>(raw);
    auto aligned = (start + alignment - 1) & ~(alignment - 1);
    if (aligned > start) munmap(raw, aligned - start);
    std::size_t tail = (start + span) - (aligned + size);
    if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
    return reinterpret_cast<void*>(aligned);
}
void ReleasePages(void* address, std::size_t size) {
    if (address != nullptr) munmap(address, size);
}

bool TraceAvailable() { return false; }
std::uint64_t TraceRegister(const TraceGuid&, TraceEnableCallback, void*) { return 0; }
std::uint32_t TraceWrite(std::uint64_t, const TraceEventDescriptor&, const TraceDataItem*, std::uint32_t) { return 0; }
void TraceUnregister(std::uint64_t) {}
void TraceClose() {}

std::size_t AllocationSize(void* block) { return block == nullptr ? 0 : malloc_usable_size(block); }

}  // namespace hpk::platform
