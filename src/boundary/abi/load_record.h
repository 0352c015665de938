// Records exchanged at load time: the load record the entry point fills, the
// callbacks the plugin hands over, and what the host hands in at init.
#pragma once
#include <cstddef>
#include <cstdint>

#include "boundary/abi/core_api.h"

struct HostTableRecord;

#pragma pack(push, 1)
struct HostApi {
    CoreApi* core;              // owned by the host, valid until shutdown
    std::int32_t pluginHandle;  // passed back in every subscription and request
};

struct MemoryCountersRecord {
    std::uint64_t peakLiveBytes;
    std::uint64_t peakLiveBlocks;
    std::uint64_t totalBytesAllocated;
    std::uint64_t totalAllocations;
    std::uint64_t totalBytesFreed;
    std::uint64_t totalFrees;
    std::uint32_t zero[2];  // always written as zero
};

struct PluginCallbacks {
    // 0: returns non-zero on success. `api` is owned by the host.
    std::uint8_t (*init)(void* plugin, const HostApi* api);
    // 1: the plugin object no longer exists afterwards.
    void (*shutdown)(void* plugin);
    // 2: fills `out`; the plugin argument is not used.
    void (*memoryCounters)(void* plugin, MemoryCountersRecord* out);
};

struct PluginLoadRecord {
    std::uint32_t version[3];          // in: core's plugin API version; out: the plugin's (18.0.0)
    PluginCallbacks* callbacks;        // out: lives inside the plugin object
    void* plugin;                      // out: context for every PluginCallbacks operation
    const char* fullName;              // out: owned by the plugin until shutdown
    const HostTableRecord* hostTable;  // out: owned by the plugin until shutdown
};
#pragma pack(pop)

// The one exported function.
using PluginLoadFn = void (*)(PluginLoadRecord* record);

static_assert(sizeof(HostApi) == 8 && offsetof(HostApi, pluginHandle) == 4);
static_assert(sizeof(MemoryCountersRecord) == 56 && offsetof(MemoryCountersRecord, zero) == 48);
static_assert(sizeof(PluginCallbacks) == 3 * sizeof(void*));
static_assert(sizeof(PluginLoadRecord) == 28);
static_assert(offsetof(PluginLoadRecord, callbacks) == 12 && offsetof(PluginLoadRecord, plugin) == 16 &&
              offsetof(PluginLoadRecord, fullName) == 20 && offsetof(PluginLoadRecord, hostTable) == 24);
