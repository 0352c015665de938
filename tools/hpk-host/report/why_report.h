// The model's why lines in a run's report: recorded in the timeline after each
// step (kind "why", so the text output, the JSON document and the page all show
// them), printed on their own for `run --why`, and gathered for the JSON
// document's `why` list.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

#include "binding/binding_value.h"
#include "host/timeline.h"
#include "model/feature_model.h"

namespace hpk::host {

// Records the lines for the state after step `step` (0: start-up) and, when
// `out` is set, prints `heading` and the lines to it.
void RecordWhyLines(Timeline& timeline, const FeatureModel& model, std::size_t step, const std::string& heading,
                    std::FILE* out);

// Every why line of the timeline as {step, output, text}.
BindingValue WhyLinesValue(const Timeline& timeline);

}  // namespace hpk::host
