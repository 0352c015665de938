// Playing steps against a loaded plugin, and the invariants checked after
// each of them. `hpk-host run` uses both for scenarios that name a space
// (`invariants:`), `hpk-host explore` for every session it draws.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "explore/space.h"
#include "host/host_core.h"
#include "host/plugin_session.h"
#include "model/model_session.h"
#include "scenario/scenario.h"

namespace hpk::host {

// Plays the steps that act on the host or the plugin (every kind but wait and
// expect). Updates with `during` wait, in order, for the plugin's next request
// of their path and are delivered inside it, before it is answered: the client
// delivers other events while a plugin waits for an answer. The player hears
// of those requests as the core's listener while it lives.
class StepPlayer : public HostCoreListener {
public:
    StepPlayer(HostCore& core, PluginSession& session);
    ~StepPlayer() override;
    StepPlayer(const StepPlayer&) = delete;
    StepPlayer& operator=(const StepPlayer&) = delete;

    void Play(const ScenarioStep& step);
    // Whether `step`, just played after `previous`, delivered the update of
    // `previous` once more with nothing else delivered in between or inside
    // either (a nested update can overwrite what the previous step stored).
    bool WasRedelivery(const ScenarioStep* previous, const ScenarioStep& step) const;

    // Delivers the pending update waiting for this request's path, if any;
    // the answer itself is left to the core's store.
    bool Answer(HostResponse& response, const std::string& url) override;

private:
    void Deliver(const ScenarioStep& step);

    HostCore& core_;
    PluginSession& session_;
    std::vector<const ScenarioStep*> pending_;
    std::size_t deliveries_ = 0;
    std::size_t deliveriesBefore_[2] = {0, 0};  // before the previous step, before this one
};

// A broken invariant: its name (one of kInvariantNames) and what was seen.
struct Breach {
    std::string invariant;
    std::string message;
    bool Broken() const { return !invariant.empty(); }
};

// The invariants, in the order they are documented in scenarios/README.md.
inline constexpr const char* kInvariantNames[] = {
    "boundary",          "served-is-published", "published-twice", "redelivery-idempotent",
    "well-formed",       "counters-zero",       "no-crash",        "no-hang",
    "order-independent", "model-agrees",
};

class InvariantChecker {
public:
    InvariantChecker(const Space& space, HostCore& core, PluginSession& session);

    // Checks `model-agrees` against this model (null: not checked); the
    // space names the model it holds for.
    void CheckModel(ModelSession* model) { model_ = model; }

    // After init: only the model has anything to say about it.
    Breach AfterInit();
    // After a step; `redelivery` when the step delivered the update of the
    // step before it once more.
    Breach AfterStep(bool redelivery);
    // After shutdown, with the counters read then.
    Breach AfterShutdown(const MemoryCountersRecord& counters);

    std::uint64_t Checks() const { return checks_; }
    // What each served resource answered at the last check, as compact JSON.
    const std::map<std::string, std::string>& Served() const { return served_; }

private:
    Breach Published();
    Breach WellFormed(const ServedRule& rule, const BindingValue& body);

    Breach ModelAgrees();

    const Space& space_;
    HostCore& core_;
    PluginSession& session_;
    ModelSession* model_ = nullptr;
    std::size_t postedSeen_ = 0;
    std::size_t problemsSeen_ = 0;
    std::map<std::string, std::string> latest_;  // event name -> data of its latest publication
    std::map<std::string, std::string> served_;  // path -> body at the last check
    std::uint64_t checks_ = 0;
};

// The outcome of one session played with the invariants.
struct SessionOutcome {
    Breach breach;
    std::size_t failedStep = 0;  // 1-based; 0 at load, init or shutdown
    std::size_t steps = 0;
    std::uint64_t checks = 0;
    std::map<std::string, std::string> served;
};

// Loads, initialises, plays and shuts down one session against the plugin at
// `pluginPath`, checking the invariants after each step. A document that
// does not read as a scenario is reported as a breach of "boundary" with the
// reader's message (the explorer only makes readable ones).
SessionOutcome PlaySession(const Space& space, const BindingValue& document, const std::string& pluginPath);

// Plays a metamorphic pair and compares what the two serve at the end.
SessionOutcome PlayMetamorphic(const Space& space, const BindingValue& document, const BindingValue& reordered,
                               const std::string& pluginPath);

}  // namespace hpk::host

namespace hpk::host {

// Whether `step` delivers the update of `previous` once more: same URI,
// event kind and value, neither nested.
bool IsRedelivery(const ScenarioStep& previous, const ScenarioStep& step);

}  // namespace hpk::host
