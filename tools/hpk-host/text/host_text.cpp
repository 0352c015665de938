// Text helpers of the reference host.
#include "text/host_text.h"

#include <cstdio>

namespace hpk::host {

std::string JoinList(const std::vector<std::string>& items) {
    if (items.empty()) return "(none)";
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty()) out += ", ";
        out += item;
    }
    return out;
}

std::string FormatMilliseconds(double milliseconds) {
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.1f", milliseconds);
    return buffer;
}

std::string FormatBytes(std::uint64_t bytes) {
    char buffer[32];
    if (bytes < 1024) {
        std::snprintf(buffer, sizeof(buffer), "%llu B", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(buffer, sizeof(buffer), "%.1f KiB", static_cast<double>(bytes) / 1024.0);
    } else {
        std::snprintf(buffer, sizeof(buffer), "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return buffer;
}

}  // namespace hpk::host
