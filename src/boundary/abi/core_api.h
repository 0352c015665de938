// The host's table of operations, handed to the plugin at init. Slot order is
// the contract; every slot takes the table itself first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "boundary/abi/host_event.h"
#include "boundary/abi/host_request.h"

enum class HostSubscriptionKind : std::uint32_t { Resource = 0, ServiceProxy = 1 };

#pragma pack(push, 1)
struct CoreApi {
    // 0: performs the request synchronously; on return `response` is complete
    // and owned by the caller, who calls its release routine.
    void (*Request)(CoreApi* self, HostResponse* response, const HostRequest* request);
    // 1: not used by this plugin; the result is passed back unchanged.
    std::uint32_t (*Slot1)(CoreApi* self, std::uint32_t a, std::uint32_t b);
    // 2: delivers the event to its subscribers; the record stays the caller's. Result ignored.
    std::uint32_t (*PostEvent)(CoreApi* self, const HostOutgoingEvent* event);
    // 3: calls `callback` with each event named `name` (text borrowed for the call).
    std::uint32_t (*Subscribe)(CoreApi* self, const char* name, std::int32_t pluginHandle, HostEventCallback callback,
                               void* context, std::uint32_t kind);
    // 4: stops delivering `name`.
    std::uint32_t (*Unsubscribe)(CoreApi* self, const char* name, std::int32_t pluginHandle);
    // 5: not used by this plugin; the result is passed back unchanged.
    std::uint32_t (*Slot5)(CoreApi* self, std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e);
    // 6: lets the host run other work before returning.
    void (*Yield)(CoreApi* self);
    // 7: opens a labelled wait section (label borrowed for the call).
    void (*MarkBegin)(CoreApi* self, const char* label, std::uint32_t value);
    // 8: closes the section opened by MarkBegin.
    void (*MarkEnd)(CoreApi* self);
    // 9: records one log line (text borrowed for the call).
    void (*Log)(CoreApi* self, std::int32_t level, const char* message);
};
#pragma pack(pop)

static_assert(sizeof(CoreApi) == 10 * sizeof(void*));
static_assert(offsetof(CoreApi, PostEvent) == 8 && offsetof(CoreApi, Subscribe) == 12 &&
              offsetof(CoreApi, Yield) == 24 && offsetof(CoreApi, Log) == 36);
