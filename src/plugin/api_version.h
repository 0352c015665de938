// The plugin API version exchanged at load, its text form and the rule that
// decides whether a core can run this plugin.
#pragma once
#include <cstdint>
#include <string>

namespace hpk {

struct ApiVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::string preRelease;  // empty unless set
    std::string build;       // empty unless set

    // "1.2.3", then "-" pre-release when set, then "+" build when set: 1.2.3-rc+7.
    std::string Text() const;
};

// The version this plugin is built against: 18.0.0.
const ApiVersion& SupportedApiVersion();

// True when `core` can host a plugin built for `plugin`: equal majors, and the
// core's (minor, patch) not below the plugin's.
[[nodiscard]] bool IsCompatibleApiVersion(const ApiVersion& plugin, const ApiVersion& core);

}  // namespace hpk
