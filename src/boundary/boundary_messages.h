// The words the boundary guard gives for a failure that escaped a shim; the
// plugin's log lines put them where their printf formats say "what failed".
// Then the names of the host's calls.
#pragma once

namespace hpk {

inline constexpr const char kFailureOutOfMemory[] = "out of memory";
inline constexpr const char kFailureUnknown[] = "unknown failure";

// The host's calls into the plugin, as an overlap report names them.
inline constexpr const char kCallLoad[] = "load";
inline constexpr const char kCallInit[] = "init";
inline constexpr const char kCallShutdown[] = "shutdown";
inline constexpr const char kCallEvent[] = "event callback";
inline constexpr const char kCallRequest[] = "request callback";

}  // namespace hpk
