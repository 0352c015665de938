// extern "C" shims for the host: init, shutdown, memory counters and the two
// event callbacks. A failure inside becomes the slot's failure value.
#include "plugin/plugin_callbacks.h"

#include <exception>
#include <string>

#include "binding/page_supplier.h"
#include "binding/value_arena.h"
#include "diagnostics/trace_providers.h"
#include "boundary/allocation_hooks.h"
#include "boundary/boundary_guard.h"
#include "boundary/entry_thread.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {
namespace {

const char* NameOf(const PluginBase* plugin) { return plugin != nullptr ? plugin->FullName().c_str() : ""; }

// Runs `work`; anything thrown is logged as a failure of `what` and reported
// as false. Logging cannot throw (the log manager never fails towards us).
template <class Work>
bool Guarded(const PluginBase* plugin, const char* what, Work&& work) noexcept {
    return GuardedCall(
        [&](const std::exception* error) {
            LogRuntime(RuntimeLogLevel::Error, kLogFailedCallback, NameOf(plugin), what, FailureText(error));
        },
        work);
}

// An event that failed inside the plugin is dropped with one line naming it.
void DeliverGuarded(const HostEvent* event) noexcept {
    if (event == nullptr || event->context == nullptr) return;
    const BoundaryEntry entry(BoundaryCall::Event);
    auto* plugin = static_cast<PluginBase*>(event->context);
    const char* name = event->name != nullptr ? event->name : "";
    GuardedCall(
        [&](const std::exception* error) {
            LogRuntime(RuntimeLogLevel::Error, kLogDroppedEvent, NameOf(plugin), name, FailureText(error));
        },
        [&] { plugin->DeliverHostEvent(*event); });
}

extern "C" {

std::uint8_t PluginInitCallback(void* context, const HostApi* api) {
    if (context == nullptr || api == nullptr) return 0;
    const BoundaryEntry entry(BoundaryCall::Init);
    auto* plugin = static_cast<PluginBase*>(context);
    bool initialized = false;
    const bool ran = Guarded(plugin, "init", [&] { initialized = plugin->HandleInit(*api); });
    return ran && initialized ? 1 : 0;
}

void PluginShutdownCallback(void* context) {
    if (context == nullptr) return;
    const BoundaryEntry entry(BoundaryCall::Shutdown);
    auto* plugin = static_cast<PluginBase*>(context);
    // The object is destroyed even when its Shutdown failed: the host will not
    // call it again, so keeping it would only leak.
    Guarded(plugin, "shutdown", [&] { plugin->HandleShutdown(); });
    Guarded(nullptr, "shutdown", [&] { delete plugin; });
    // The host unloads the library after shutdown; a later load starts again.
    StopTracing();
    // The arena and the value pages kept aside for reuse would outlive the
    // library otherwise.
    BindingValueArena::ReleaseSpare();
    PageSupplier::Instance().ReleaseSpare();
}

void PluginMemoryCountersCallback(void*, MemoryCountersRecord* out) {
    if (out == nullptr) return;
    *out = ReadMemoryCounters();
    out->zero[0] = 0;
    out->zero[1] = 0;
}

void ResourceEventCallback(const HostEvent* event) { DeliverGuarded(event); }

void ServiceProxyEventCallback(const HostEvent* event) { DeliverGuarded(event); }

}  // extern "C"

}  // namespace

PluginCallbacks MakePluginCallbacks() {
    return PluginCallbacks{&PluginInitCallback, &PluginShutdownCallback, &PluginMemoryCountersCallback};
}

HostEventCallback HostEventCallbackFor(HostSubscriptionKind kind) {
    return kind == HostSubscriptionKind::ServiceProxy ? &ServiceProxyEventCallback : &ResourceEventCallback;
}

}  // namespace hpk
