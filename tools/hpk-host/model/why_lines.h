// The model's answer to "why": after a step, one line for the filters and one
// for the locale, saying what is served and how it was derived, or what holds
// it back (a missing input and when it was asked for, the switch that is off
// and the step that turned it off, a gate of the feature). A third line
// reports a disagreement between the plugin and the model found in the step.
#pragma once
#include <string>
#include <vector>

#include "model/feature_model.h"

namespace hpk::host {

struct WhyLine {
    std::string output;  // "filters", "locale" or "model"
    std::string text;
};

std::vector<WhyLine> WhyLines(const FeatureModel& model);

}  // namespace hpk::host
