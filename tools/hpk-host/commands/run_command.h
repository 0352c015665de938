// `hpk-host run [SCENARIO] [--plugin PATH] [--json]`: plays a scenario
// against the plugin and prints the timeline.
#pragma once
#include <string>

namespace hpk::host {

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // an expectation unmet, a boundary rule broken, a check failed
inline constexpr int kExitUsage = 2;     // bad arguments or an unreadable scenario
inline constexpr int kExitNoPlugin = 3;  // the plugin could not be loaded or initialised

// argv holds the arguments after "run".
int RunRunCommand(int argc, char** argv);

// The plugin library beside the running executable.
std::string DefaultPluginPath();

}  // namespace hpk::host
