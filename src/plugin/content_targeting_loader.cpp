// The library's own plugin: what the exported entry point loads. Kept apart
// from the generic loader so that tests loading other plugins do not need the
// feature linked in.
#include "plugin/plugin_base.h"
#include "plugin/plugin_loader.h"

#if __has_include("content_targeting/content_targeting_plugin.h")
#define HPK_HAVE_CONTENT_TARGETING 1
#else
// TODO(runtime): drop once the feature's plugin class is in the tree; until
// then the library loads as a bare plugin so that it still links.
#define HPK_HAVE_CONTENT_TARGETING 0
#endif

namespace hpk {

#if !HPK_HAVE_CONTENT_TARGETING
std::unique_ptr<PluginBase> CreateContentTargetingPlugin() { return std::make_unique<PluginBase>(); }
#endif

void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept {
    LoadPlugin(record, &CreateContentTargetingPlugin, "arx-content-targeting");
}

}  // namespace hpk
