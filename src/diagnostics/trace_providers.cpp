// Registration of the four trace providers, their enable callback and the
// start-up event.
#include "diagnostics/trace_providers.h"

#include <cstring>

#include "diagnostics/diagnostics_messages.h"

namespace hpk {
namespace {

constexpr platform::TraceGuid kProviderGuids[kTraceProviderCount] = {
    {0x2F9EFE86, 0x4AF7, 0x4F37, {0xA4, 0x0F, 0x94, 0xB9, 0x09, 0xA1, 0x57, 0xD6}},
    {0xEA08C559, 0x95A8, 0x4AA2, {0xAF, 0xA6, 0x18, 0x73, 0x8E, 0xEC, 0x6D, 0x37}},
    {0x10F6728C, 0xEF92, 0x4BF1, {0x83, 0x97, 0x49, 0xE6, 0x93, 0xA6, 0xEB, 0x74}},
    {0x46DD7F96, 0x60CB, 0x416B, {0x80, 0x85, 0xDA, 0x5C, 0xD8, 0xF4, 0x91, 0xDD}},
};

// Only the start-up event is ever written; the others are described so the
// providers' enable state covers them, with no level and no keywords.
constexpr platform::TraceEventDescriptor kFirstEvents[] = {{1, 0, 0, 0, 0, 0, 0}};
constexpr platform::TraceEventDescriptor kStartupEvents[] = {{103, 0, 0, 0, 14, 2, 0x1}};
constexpr platform::TraceEventDescriptor kThirdEvents[] = {{1, 0, 0, 0, 0, 0, 0}};
constexpr platform::TraceEventDescriptor kFourthEvents[] = {{1, 0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0, 0}};

TraceProviderState gProviders[kTraceProviderCount] = {
    {&kProviderGuids[0], kFirstEvents, 1, false, 0, 0, 0, 0, 0},
    {&kProviderGuids[1], kStartupEvents, 1, false, 0, 0, 0, 0, 0},
    {&kProviderGuids[2], kThirdEvents, 1, false, 0, 0, 0, 0, 0},
    {&kProviderGuids[3], kFourthEvents, 2, false, 0, 0, 0, 0, 0},
};
bool gStarted = false;

void WriteStartupEvent() {
    TraceProviderState& provider = gProviders[1];
    if ((provider.eventBits & 1u) == 0 || provider.registration == 0) return;
    const std::uint32_t threadId = platform::CurrentThreadId();
    const char* text = kTraceMainThreadText;
    const platform::TraceDataItem items[] = {
        {&threadId, sizeof threadId},
        {text, static_cast<std::uint32_t>(std::strlen(text) + 1)},
    };
    platform::TraceWrite(provider.registration, kStartupEvents[0], items, 2);
}

}  // namespace

bool TraceEventPasses(const TraceProviderState& state, const platform::TraceEventDescriptor& event) {
    if (state.level != 0 && event.level > state.level) return false;
    if (event.keyword != 0 &&
        ((event.keyword & state.matchAny) == 0 || (event.keyword & state.matchAll) != state.matchAll)) {
        return false;
    }
    return true;
}

void TraceProviderEnableCallback(const platform::TraceGuid*, std::uint32_t controlCode, std::uint8_t level,
                                 std::uint64_t matchAny, std::uint64_t matchAll, void*, void* context) {
    if (context == nullptr) return;
    TraceProviderState& state = *static_cast<TraceProviderState*>(context);
    if (controlCode == 1) {
        state.level = level;
        state.matchAny = matchAny;
        state.matchAll = matchAll;
        state.enabled = true;
        state.eventBits = 0;
        for (std::size_t i = 0; i < state.eventCount && i < kMaxTraceEvents; ++i) {
            if (TraceEventPasses(state, state.events[i])) state.eventBits |= 1u << i;
        }
    } else if (controlCode == 0) {
        state.level = 0;
        state.matchAny = 0;
        state.matchAll = 0;
        state.enabled = false;
        state.eventBits = 0;
    }
}

TraceProviderState& TraceProvider(std::size_t index) { return gProviders[index % kTraceProviderCount]; }

const platform::TraceEventDescriptor& StartupTraceEvent() { return kStartupEvents[0]; }

void StartTracing() {
    if (gStarted || !platform::TraceAvailable()) return;
    gStarted = true;
    for (TraceProviderState& provider : gProviders) {
        provider.registration = platform::TraceRegister(*provider.guid, TraceProviderEnableCallback, &provider);
    }
    WriteStartupEvent();
}

void StopTracing() {
    for (TraceProviderState& provider : gProviders) {
        if (provider.registration != 0) platform::TraceUnregister(provider.registration);
        provider.registration = 0;
        // No callback reaches an unregistered provider, so its last state would go stale.
        TraceProviderEnableCallback(provider.guid, 0, 0, 0, 0, nullptr, &provider);
    }
    platform::TraceClose();
    gStarted = false;
}

}  // namespace hpk
