// The texts of the feature's telemetry event: arrival times relative to the
// login, and the filter list as reported (location filters left out, since
// they identify where the player is).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hpk::content_targeting {

inline constexpr std::int64_t kTicksPerMillisecond = 10'000;

// Whole milliseconds from `sinceTicks` to `nowTicks` (100-ns ticks, truncated
// toward zero) in decimal, "-" first when negative.
std::string ElapsedMillisecondsText(std::int64_t nowTicks, std::int64_t sinceTicks);

// The filters joined with "," in list order, without any that starts with
// "filter_location_". Empty when nothing is left.
std::string ReportedFiltersText(const std::vector<std::string>& filters);

}  // namespace hpk::content_targeting
