// Who this plugin is: its names, the identifier form of its full name (its API
// name) and the tags its functions are registered with.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace hpk {

struct PluginIdentity {
    std::string fullName;   // prefix + short name: "hpk-be-arx-content-targeting"
    std::string shortName;  // "arx-content-targeting"
    std::string type;       // "backend", "frontend", anything else is logged as unknown
    std::string variant;    // empty for this plugin
};

// "hpk-be-" for "backend", "hpk-fe-" for "frontend", else "hpk-xx-" after one
// ERROR log line naming the short name and the type.
std::string FullNameFromShortNameAndType(std::string_view shortName, std::string_view type);

PluginIdentity MakePluginIdentity(std::string_view shortName, std::string_view type);

// "Plugins" and "Plugin " + full name.
std::vector<std::string> PluginApiTags(std::string_view fullName);

}  // namespace hpk
