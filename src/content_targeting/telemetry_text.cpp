// Telemetry value texts of the content targeting feature.
#include "content_targeting/telemetry_text.h"

#include <string_view>

namespace hpk::content_targeting {
namespace {

constexpr std::string_view kLocationPrefix = "filter_location_";
constexpr std::string_view kFilterSeparator = ",";

}  // namespace

std::string ElapsedMillisecondsText(std::int64_t nowTicks, std::int64_t sinceTicks) {
    return std::to_string((nowTicks - sinceTicks) / kTicksPerMillisecond);
}

std::string ReportedFiltersText(const std::vector<std::string>& filters) {
    std::string text;
    bool first = true;
    for (const std::string& filter : filters) {
        if (std::string_view(filter).substr(0, kLocationPrefix.size()) == kLocationPrefix) continue;
        if (!first) text.append(kFilterSeparator);
        text.append(filter);
        first = false;
    }
    return text;
}

}  // namespace hpk::content_targeting
