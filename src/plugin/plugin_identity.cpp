// Plugin names: the full name from short name and type, and the API tags.
#include "plugin/plugin_identity.h"

#include "diagnostics/positional_format.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {

std::string FullNameFromShortNameAndType(std::string_view shortName, std::string_view type) {
    std::string prefix;
    if (type == kPluginTypeBackend) {
        prefix = kPrefixBackend;
    } else if (type == kPluginTypeFrontend) {
        prefix = kPrefixFrontend;
    } else {
        prefix = kPrefixUnknown;
        const std::string message = FormatPositional(kMsgUnknownPluginType, shortName, type);
        LogRuntime(RuntimeLogLevel::Error, kFormatPluginManagerLine, message.c_str());
    }
    return prefix.append(shortName.data(), shortName.size());
}

PluginIdentity MakePluginIdentity(std::string_view shortName, std::string_view type) {
    PluginIdentity identity;
    identity.fullName = FullNameFromShortNameAndType(shortName, type);
    identity.shortName = std::string(shortName);
    identity.type = std::string(type);
    return identity;
}

std::vector<std::string> PluginApiTags(std::string_view fullName) {
    std::string named = kApiTagPluginPrefix;
    named.append(fullName.data(), fullName.size());
    return {kApiTagPlugins, std::move(named)};
}

}  // namespace hpk
