// Checking a scenario's expectations against what the plugin serves and what
// the host saw it do.
#pragma once
#include <string>

#include "host/host_core.h"
#include "host/plugin_session.h"
#include "scenario/scenario.h"
#include "text/outcome.h"

namespace hpk::host {

// The served resources the expectations read.
inline constexpr char kFiltersUri[] = "/arx-content-targeting/v1/filters";
inline constexpr char kLocaleUri[] = "/arx-content-targeting/v1/locale";

// Checks every set part of `expect`, in the order they are declared in
// Expectations. Fails with the first unmet one, e.g. "filters: expected
// [a, b] but the plugin serves [a]". Fetches the filters and the locale
// through the plugin's endpoint records when they are checked.
Outcome<> CheckExpectations(const Expectations& expect, PluginSession& session, const HostCore& core);

// How many individual conditions `expect` holds (for the summary).
std::size_t CountExpectations(const Expectations& expect);

}  // namespace hpk::host
