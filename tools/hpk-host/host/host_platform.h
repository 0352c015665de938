// What the reference host needs from the operating system: loading the plugin
// library and finding its entry point, the path beside the executable, a
// memory probe for reading records the plugin hands over, and a short sleep.
// host_platform.cpp is the only file of the tool that includes <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "text/outcome.h"

namespace hpk::host {

// A loaded plugin library. Not copyable. Nothing unloads it: like the client's
// host, this one keeps a plugin until the process ends, so the destructor
// leaves the image mapped (its static destructors then run at exit, and leak
// checkers can still read the code that allocated what they report).
class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads `path` (UTF-8). Fails with the system's reason.
    Outcome<> Open(const std::string& path);
    // The exported symbol `name`, or null.
    void* Symbol(const char* name) const;
    bool IsOpen() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
};

// File name of the plugin library on this platform ("...so" or "...dll").
const char* PluginFileName();
// Directory of the running executable, with a trailing separator; "" when unknown.
std::string ExecutableDirectory();
// The plugin library beside the running executable, which every command loads
// unless told otherwise.
std::string DefaultPluginPath();

// True when `size` bytes at `address` can be read without faulting. Used to
// walk records whose pointers the plugin wrote, so that a broken record is
// reported instead of crashing the host.
bool IsReadable(const void* address, std::size_t size);
// Reads a NUL-terminated text at `address` when every byte up to and including
// the terminator is readable and the text is at most `maxLength` bytes long.
bool ReadTextSafely(const char* address, std::size_t maxLength, std::string& out);

// IsReadable and ReadTextSafely for a walk over many small records: pages
// found readable are remembered, so each page costs one probe. Only for use
// while the plugin is not running, so nothing is unmapped under the walk.
class ReadableMemory {
public:
    bool Check(const void* address, std::size_t size);
    bool ReadText(const char* address, std::size_t maxLength, std::string& out);

private:
    std::unordered_set<std::uintptr_t> pages_;
};

// Blocks the calling thread for `milliseconds`.
void SleepMilliseconds(std::uint32_t milliseconds);

}  // namespace hpk::host
