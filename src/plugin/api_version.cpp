// ApiVersion text form and the compatibility rule of the handshake.
#include "plugin/api_version.h"

namespace hpk {

std::string ApiVersion::Text() const {
    std::string text = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
    if (!preRelease.empty()) text += "-" + preRelease;
    if (!build.empty()) text += "+" + build;
    return text;
}

const ApiVersion& SupportedApiVersion() {
    // A function-local constant, so it is ready before the entry point can run
    // whatever the order of static initialisation.
    static const ApiVersion version{18, 0, 0, {}, {}};
    return version;
}

bool IsCompatibleApiVersion(const ApiVersion& plugin, const ApiVersion& core) {
    if (core.major != plugin.major) return false;
    if (core.minor != plugin.minor) return core.minor > plugin.minor;
    return core.patch >= plugin.patch;
}

}  // namespace hpk
