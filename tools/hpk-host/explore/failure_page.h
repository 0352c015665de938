// A shrunk failure drawn for the reader: `hpk-host run` replays the scenario
// file in a worker process and writes its timeline page, with the step where
// the rule broke marked, and the model's why lines (`run --why`) are appended
// to the scenario file as comments, so the file shows the model's derivation
// beside the plugin's output.
#pragma once
#include <string>

#include "explore/worker.h"

namespace hpk::host {

struct FailurePage {
    std::string page;   // the page written; "" when none could be
    std::string error;  // why not
};

// Replays `scenarioFile` into `pageFile` and comments the file with the why
// lines. A replay that dies (a crash of the plugin) leaves no page.
FailurePage DrawFailure(const ExploreOptions& options, const std::string& scenarioFile, const std::string& pageFile);

}  // namespace hpk::host
