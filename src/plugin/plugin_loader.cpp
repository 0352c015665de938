// Load: construct the plugin object and run the handshake. The only place
// that ends the process: a core whose plugin API this plugin cannot serve.
#include "plugin/plugin_loader.h"

#include <cstdlib>
#include <cstring>
#include <exception>

#include "boundary/boundary_guard.h"
#include "boundary/entry_thread.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_callbacks.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {
namespace {

void ReportOverlap(BoundaryCall entering, std::uint32_t enteringThread, BoundaryCall running,
                   std::uint32_t runningThread) {
    LogRuntime(RuntimeLogLevel::Error, kLogOverlappingCall, BoundaryCallName(entering), enteringThread,
               BoundaryCallName(running), runningThread);
}

}  // namespace

void LoadPlugin(PluginLoadRecord* record, PluginFactory factory, std::string_view shortName) noexcept {
    if (record == nullptr || factory == nullptr) return;
    SetOverlapReport(&ReportOverlap);
    BoundaryEntry entry(BoundaryCall::Load);
    // The name for the failure line, without the heap: it is wanted when
    // memory has run out.
    char name[64];
    const std::size_t length = shortName.size() < sizeof name - 1 ? shortName.size() : sizeof name - 1;
    std::memcpy(name, shortName.data(), length);
    name[length] = '\0';
    bool compatible = true;
    GuardedCall(
        [&](const std::exception* error) {
            LogRuntime(RuntimeLogLevel::Error, kLogFailedCallback, name, "load", FailureText(error));
        },
        [&] {
            std::unique_ptr<PluginBase> plugin = factory();
            if (!plugin) return;
            // The handshake writes the load record only at its very end, so a
            // failure before that leaves the host without callbacks.
            const PluginEntryPoints entryPoints{MakePluginCallbacks(),
                                                HostEventCallbackFor(HostSubscriptionKind::Resource),
                                                HostEventCallbackFor(HostSubscriptionKind::ServiceProxy)};
            compatible = plugin->Handshake(*record, shortName, entryPoints);
            if (compatible) plugin.release();  // owned by the host now; shutdown deletes it
        });
    // The fatal report is already in the log; a core this plugin cannot serve
    // must not run it at all.
    if (!compatible) std::_Exit(EXIT_FAILURE);
}

}  // namespace hpk
