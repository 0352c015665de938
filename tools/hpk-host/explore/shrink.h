// Shrinking a failing session: drop steps (halves, quarters, ... single ones),
// drop the resources served from the start, then drop members of payloads,
// keeping each change only when the session still breaks the same invariant.
// Every candidate is replayed in a worker process from the scenario file it
// will be written as, so a crash or hang is shrunk like any other failure and
// the file written at the end fails as the candidate did.
#pragma once
#include <string>

#include "binding/binding_value.h"
#include "explore/generate.h"
#include "explore/worker.h"

namespace hpk::host {

struct ShrinkResult {
    BindingValue document;
    BindingValue reordered;  // metamorphic failures: the other order
    std::string message;     // the failure's message for the shrunk session
    std::size_t candidates = 0;
};

ShrinkResult ShrinkSession(const ExploreOptions& options, const ExploreSession& session, const std::string& invariant);

}  // namespace hpk::host
