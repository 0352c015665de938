// Timestamps written relative to the start of a run, so a scenario can say
// "31 days ago" and keep meaning it whenever it is run.
//
// Grammar (case-sensitive, single spaces):
//   stamp    := "now" | amount+ "ago"
//   amount   := digits " " unit " "
//   unit     := "ms" | "millisecond" | "milliseconds" | "s" | "second" | "seconds"
//             | "min" | "minute" | "minutes" | "h" | "hour" | "hours"
//             | "d" | "day" | "days" | "week" | "weeks"
// Example: "30 days 2 hours ago" at 2024-01-31 12:00 UTC gives the milliseconds
// since 1970 of 2024-01-01 10:00 UTC.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "binding/binding_value.h"

namespace hpk::host {

// Milliseconds since 1970-01-01 00:00 UTC that `text` stands for, given the
// current time `nowMilliseconds`; nothing when `text` is not a stamp or the
// result would fall before 1970.
std::optional<std::uint64_t> ParseRelativeTime(std::string_view text, std::uint64_t nowMilliseconds);

// Replaces every string in `value` that is a stamp by its unsigned number of
// milliseconds. Iterative; returns how many strings were replaced.
std::size_t ResolveRelativeTimes(BindingValue& value, std::uint64_t nowMilliseconds);

// The system clock in milliseconds since 1970.
std::uint64_t SystemMilliseconds();

}  // namespace hpk::host
