// Uptime from the performance counter, started by the first query.
#include "diagnostics/uptime_clock.h"

#include <cstdint>

#include "platform/platform.h"

namespace hpk {
namespace {

struct UptimeOrigin {
    std::int64_t frequency;
    std::int64_t start;
};

const UptimeOrigin& Origin() {
    // A function-local static: the first caller records the origin, thread-safely.
    static const UptimeOrigin origin{platform::PerformanceFrequency(), platform::PerformanceCounter()};
    return origin;
}

}  // namespace

double UptimeSeconds() {
    const UptimeOrigin& origin = Origin();
    const std::int64_t elapsed = platform::PerformanceCounter() - origin.start;
    if (origin.frequency <= 0 || elapsed < 0) return 0.0;
    return static_cast<double>(elapsed) / static_cast<double>(origin.frequency);
}

}  // namespace hpk
