// The exit codes of every hpk-host command, the same for all of them.
#pragma once

namespace hpk::host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // an expectation unmet, a rule broken, a check failed, a payload refused
inline constexpr int kExitUsage = 2;     // a bad command line, or a scenario or space file that does not read
inline constexpr int kExitNoPlugin = 3;  // the plugin could not be loaded or initialised

}  // namespace hpk::host
