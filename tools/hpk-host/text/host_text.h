// Small text helpers of the reference host: laying out numbers and lists for
// the timeline. Messages are filled by the framework's positional formatter.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hpk::host {

// "a, b, c"; "(none)" for an empty list.
std::string JoinList(const std::vector<std::string>& items);

// Milliseconds with one decimal, e.g. "12.5".
std::string FormatMilliseconds(double milliseconds);

// A byte count in its shortest readable form: "512 B", "12.3 KiB", "4.0 MiB".
std::string FormatBytes(std::uint64_t bytes);

}  // namespace hpk::host
