// The library's own plugin: what the exported entry point loads. Kept apart
// from the generic loader so that tests loading other plugins do not pull the
// feature in.
#include "diagnostics/trace_providers.h"
#include "plugin/plugin_base.h"
#include "plugin/plugin_loader.h"

namespace hpk {

void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept {
    // Here rather than in a static constructor: on Windows those run under the
    // loader lock, where loading Advapi32 is not allowed. Stopped at shutdown.
    StartTracing();
    LoadPlugin(record, &CreateContentTargetingPlugin, "arx-content-targeting");
}

}  // namespace hpk
