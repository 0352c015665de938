// Event records: what the host delivers to an event callback, and what the
// plugin hands to PostEvent.
#pragma once
#include <cstddef>
#include <cstdint>

#include "boundary/abi/host_value.h"

#pragma pack(push, 1)
struct HostEvent {
    const char* name;        // zero-terminated event name
    HostValue payload;       // owned by the host; valid for the callback only
    std::uint32_t reserved;  // not read by the plugin
    void* context;           // the context given to Subscribe (the plugin object)
};
struct HostOutgoingEvent {
    const char* name;
    HostValue payload;    // owned by the plugin; released after PostEvent returns
    std::uint32_t value;  // publisher's value; 0 for every event of this plugin
};
#pragma pack(pop)

// Called by the host once per delivered event; returns nothing.
using HostEventCallback = void (*)(const HostEvent* event);

static_assert(sizeof(HostEvent) == 24);
static_assert(offsetof(HostEvent, payload) == 4 && offsetof(HostEvent, reserved) == 16 &&
              offsetof(HostEvent, context) == 20);
static_assert(sizeof(HostOutgoingEvent) == 20);
static_assert(offsetof(HostOutgoingEvent, payload) == 4 && offsetof(HostOutgoingEvent, value) == 16);
