// The library's event-tracing providers: four registered at load, one start-up
// event written when a session has enabled it. On Linux tracing is unavailable:
// StartTracing registers nothing and StopTracing has nothing to release.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace hpk {

inline constexpr std::size_t kTraceProviderCount = 4;
inline constexpr std::size_t kMaxTraceEvents = 2;

// What the system has enabled for one provider, kept up to date by the enable
// callback. Event i of the provider is enabled when bit i of eventBits is set.
struct TraceProviderState {
    const platform::TraceGuid* guid;
    const platform::TraceEventDescriptor* events;  // static table of `eventCount` entries
    std::size_t eventCount;
    bool enabled;
    std::uint8_t level;
    std::uint64_t matchAny;
    std::uint64_t matchAll;
    std::uint32_t eventBits;
    std::uint64_t registration;  // 0 when not registered
};

// The enable notification; `context` is the provider's TraceProviderState.
// Enable (1) records level and keywords and recomputes the event bits;
// disable (0) clears everything; other codes change nothing.
void TraceProviderEnableCallback(const platform::TraceGuid* source, std::uint32_t controlCode, std::uint8_t level,
                                 std::uint64_t matchAny, std::uint64_t matchAll, void* filter, void* context);

// Whether event `index` passes the state's level and keywords: enabled unless
// the provider level is non-zero and below the event's, or the event has
// keywords that miss match-any or lack a bit of match-all.
[[nodiscard]] bool TraceEventPasses(const TraceProviderState& state, const platform::TraceEventDescriptor& event);

// The process's providers, in registration order. For tests and diagnosis.
TraceProviderState& TraceProvider(std::size_t index);
// The start-up event: provider 1 (0-based), event 0.
const platform::TraceEventDescriptor& StartupTraceEvent();

// Called by the plugin runtime when the library is loaded and unloaded (a
// static object would be dropped by the static library's linker). Starting
// twice registers once; stopping unregisters what was registered.
void StartTracing();
void StopTracing();

}  // namespace hpk
