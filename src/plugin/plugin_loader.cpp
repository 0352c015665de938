// Placeholder until the plugin runtime lands: fills nothing.
#include "plugin/plugin_loader.h"

namespace hpk {

void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept { (void)record; }

}  // namespace hpk
