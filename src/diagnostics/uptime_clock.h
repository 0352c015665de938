// The uptime clock behind the "#H" code of log templates.
#pragma once

namespace hpk {

// Seconds since the process's first call, measured with the high-resolution
// performance counter; the first call returns about 0. Non-decreasing, any thread.
double UptimeSeconds();

}  // namespace hpk
