// What the exported entry point forwards to: constructs the content targeting
// plugin and runs the handshake. Never lets an exception escape.
#pragma once
#include "plugin/abi/load_record.h"

namespace hpk {

void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept;

}  // namespace hpk
