// The library's own plugin: what the exported entry point loads. Kept apart
// from the generic loader so that tests loading other plugins do not pull the
// feature in.
#include "plugin/plugin_base.h"
#include "plugin/plugin_loader.h"

namespace hpk {

void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept {
    LoadPlugin(record, &CreateContentTargetingPlugin, "arx-content-targeting");
}

}  // namespace hpk
