// Operating-system services of the reference host: dlopen/dlsym and
// /proc/self on Linux, LoadLibraryW/GetProcAddress and VirtualQuery on Windows.
#include "host/host_platform.h"

#include <algorithm>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>
#endif

namespace hpk::host {

#if defined(_WIN32)

namespace {

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), count);
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    int count = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), count, nullptr, nullptr);
    return narrow;
}

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length != 0 ? Narrow(buffer, static_cast<int>(length)) : std::string();
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + text);
}

bool PageReadable(const MEMORY_BASIC_INFORMATION& info) {
    if (info.State != MEM_COMMIT) return false;
    if ((info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0) return false;
    const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                           PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (info.Protect & readable) != 0;
}

}  // namespace

PluginLibrary::~PluginLibrary() = default;

Outcome<> PluginLibrary::Open(const std::string& path) {
    HMODULE module = LoadLibraryW(Widen(path).c_str());
    if (module == nullptr) return Fail(SystemMessage(GetLastError()));
    handle_ = module;
    return {};
}

void* PluginLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

const char* PluginFileName() { return "hpk-be-arx-content-targeting.dll"; }

std::string ExecutableDirectory() {
    wchar_t buffer[32768];
    DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
    if (length == 0 || length >= 32768) return {};
    std::string path = Narrow(buffer, static_cast<int>(length));
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool IsReadable(const void* address, std::size_t size) {
    if (address == nullptr) return false;
    auto cursor = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t end = cursor + size;
    if (end < cursor) return false;
    while (cursor < end || size == 0) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(cursor), &info, sizeof(info)) == 0) return false;
        if (!PageReadable(info)) return false;
        const std::uintptr_t regionEnd = reinterpret_cast<std::uintptr_t>(info.BaseAddress) + info.RegionSize;
        if (size == 0 || regionEnd >= end) return true;
        cursor = regionEnd;
    }
    return true;
}

void SleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

#else

namespace {

// process_vm_readv on our own process reports EFAULT instead of faulting,
// which is what a host wants when it walks pointers somebody else wrote.
bool CopyIfReadable(void* target, const void* address, std::size_t size) {
    iovec local{target, size};
    iovec remote{const_cast<void*>(address), size};
    return process_vm_readv(getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

}  // namespace

PluginLibrary::~PluginLibrary() = default;

Outcome<> PluginLibrary::Open(const std::string& path) {
    // A bare file name would make dlopen search the system's library paths.
    std::string local = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* handle = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        return Fail(reason != nullptr ? reason : "unknown reason");
    }
    handle_ = handle;
    return {};
}

void* PluginLibrary::Symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return dlsym(handle_, name);
}

const char* PluginFileName() { return "hpk-be-arx-content-targeting.so"; }

std::string ExecutableDirectory() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0) return {};
    std::string path(buffer, static_cast<std::size_t>(length));
    std::size_t cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool IsReadable(const void* address, std::size_t size) {
    if (address == nullptr) return false;
    // Protection comes in pages: one byte of each page the range touches is enough.
    const std::uintptr_t kPage = 4096;
    auto cursor = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t last = cursor + (size == 0 ? 0 : size - 1);
    if (last < cursor) return false;
    unsigned char scratch = 0;
    while (true) {
        if (!CopyIfReadable(&scratch, reinterpret_cast<const void*>(cursor), 1)) return false;
        std::uintptr_t nextPage = (cursor / kPage + 1) * kPage;
        if (nextPage > last || nextPage < cursor) break;
        cursor = nextPage;
    }
    return CopyIfReadable(&scratch, reinterpret_cast<const void*>(last), 1);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {}
}

#endif

bool ReadableMemory::Check(const void* address, std::size_t size) {
    if (address == nullptr) return false;
    const std::uintptr_t kPage = 4096;
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t last = first + (size == 0 ? 0 : size - 1);
    if (last < first) return false;
    for (std::uintptr_t page = first / kPage; page <= last / kPage; ++page) {
        if (pages_.count(page) != 0) continue;
        const std::uintptr_t probe = page == first / kPage ? first : page * kPage;
        if (!IsReadable(reinterpret_cast<const void*>(probe), 1)) return false;
        pages_.insert(page);
    }
    return true;
}

namespace {

// Reads the NUL-terminated text at `address` up to `maxLength` bytes, asking
// `readable` about each stretch up to the next page boundary before touching
// it: a text may end right before an unreadable page.
template <class Readable>
bool ReadTextByPages(const char* address, std::size_t maxLength, std::string& out, Readable&& readable) {
    out.clear();
    if (address == nullptr) return false;
    const std::size_t kPage = 4096;
    const char* cursor = address;
    while (out.size() <= maxLength) {
        const std::size_t span = kPage - (reinterpret_cast<std::uintptr_t>(cursor) % kPage);
        if (!readable(cursor, span)) return false;
        const void* terminator = std::memchr(cursor, '\0', span);
        if (terminator != nullptr) {
            out.append(cursor, static_cast<const char*>(terminator) - cursor);
            return out.size() <= maxLength;
        }
        out.append(cursor, span);
        cursor += span;
    }
    return false;
}

}  // namespace

bool ReadableMemory::ReadText(const char* address, std::size_t maxLength, std::string& out) {
    return ReadTextByPages(address, maxLength, out,
                           [this](const void* at, std::size_t size) { return Check(at, size); });
}

std::string DefaultPluginPath() { return ExecutableDirectory() + PluginFileName(); }

bool ReadTextSafely(const char* address, std::size_t maxLength, std::string& out) {
    return ReadTextByPages(address, maxLength, out,
                           [](const void* at, std::size_t size) { return IsReadable(at, size); });
}

}  // namespace hpk::host
