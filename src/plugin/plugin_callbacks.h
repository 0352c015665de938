// The C edge of the plugin object: the PluginCallbacks the host calls and the
// event callbacks given to Subscribe. Each shim checks its arguments, runs one
// guard that turns anything thrown into that slot's documented failure (with
// an ERROR log line), and forwards to PluginBase. Nothing unwinds into the host.
#pragma once
#include "boundary/abi/core_api.h"
#include "boundary/abi/load_record.h"

namespace hpk {

// The table stored in every plugin object.
PluginCallbacks MakePluginCallbacks();

// The event callback registered for subscriptions of `kind`.
HostEventCallback HostEventCallbackFor(HostSubscriptionKind kind);

}  // namespace hpk
