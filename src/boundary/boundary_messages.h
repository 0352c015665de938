// The words the boundary guard gives for a failure that escaped a shim; the
// plugin's log lines put them where their printf formats say "what failed".
#pragma once

namespace hpk {

inline constexpr const char kFailureOutOfMemory[] = "out of memory";
inline constexpr const char kFailureUnknown[] = "unknown failure";

}  // namespace hpk
