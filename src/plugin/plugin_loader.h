// What the exported entry point forwards to: constructs the content targeting
// plugin and runs the handshake. Never lets an exception escape.
#pragma once
#include <memory>
#include <string_view>

#include "boundary/abi/load_record.h"

namespace hpk {

class PluginBase;

// Defined by the content targeting feature: the one plugin object of this library.
std::unique_ptr<PluginBase> CreateContentTargetingPlugin();

using PluginFactory = std::unique_ptr<PluginBase> (*)();

// Constructs a plugin with `factory` and runs the handshake under `shortName`,
// filling `record`. An incompatible core gets the fatal "ALE-EECF0606" report
// and the process ends. When the plugin cannot be constructed the record is
// left untouched (the host sees no callbacks) and an ERROR line is logged.
void LoadPlugin(PluginLoadRecord* record, PluginFactory factory, std::string_view shortName) noexcept;

// LoadPlugin with CreateContentTargetingPlugin and "arx-content-targeting".
void LoadContentTargetingPlugin(PluginLoadRecord* record) noexcept;

}  // namespace hpk
