// Steps against the plugin, and the invariants after each of them.
#include "explore/play.h"

#include <algorithm>
#include <memory>
#include <set>

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "explore/generate.h"
#include "host/expectations.h"
#include "scenario/relative_time.h"
#include "scenario/scenario_reader.h"

namespace hpk::host {

namespace {

constexpr char kGenericEvent[] = "OnJsonApiEvent";

std::string PathOf(const std::string& url) { return url.substr(0, url.find('?')); }

}  // namespace

StepPlayer::StepPlayer(HostCore& core, PluginSession& session) : core_(core), session_(session) { core_.Listen(this); }

StepPlayer::~StepPlayer() { core_.StopListening(this); }

bool StepPlayer::Answer(HostResponse&, const std::string& url) {
    const std::string path = PathOf(url);
    auto found =
        std::find_if(pending_.begin(), pending_.end(), [&](const ScenarioStep* step) { return step->during == path; });
    if (found == pending_.end()) return false;
    const ScenarioStep* step = *found;
    pending_.erase(found);  // first: the delivery may request the same path again
    core_.Log().Record("nested",
                       FormatPositional(kMsgNestedUpdate, static_cast<unsigned>(step->number), step->uri, path));
    Deliver(*step);
    return false;
}

void StepPlayer::Deliver(const ScenarioStep& step) {
    ++deliveries_;
    core_.Serve(step.uri, step.answer);
    core_.DeliverResourceEvent(step.uri, step.eventType, step.answer.value);
}

bool StepPlayer::WasRedelivery(const ScenarioStep* previous, const ScenarioStep& step) const {
    return previous != nullptr && IsRedelivery(*previous, step) && deliveriesBefore_[1] == deliveriesBefore_[0] + 1 &&
           deliveries_ == deliveriesBefore_[1] + 1;
}

void StepPlayer::Play(const ScenarioStep& step) {
    deliveriesBefore_[0] = deliveriesBefore_[1];
    deliveriesBefore_[1] = deliveries_;
    if (step.kind == ScenarioStep::Kind::Update) {
        if (step.during.empty()) {
            Deliver(step);
        } else {
            pending_.push_back(&step);
        }
        return;
    }
    if (step.kind == ScenarioStep::Kind::Delete) ++deliveries_;
    PlayStepAtOnce(core_, session_, step);
}

bool IsRedelivery(const ScenarioStep& previous, const ScenarioStep& step) {
    return previous.kind == ScenarioStep::Kind::Update && step.kind == ScenarioStep::Kind::Update &&
           previous.during.empty() && step.during.empty() && previous.uri == step.uri &&
           previous.eventType == step.eventType && ValueKey(previous.answer.value) == ValueKey(step.answer.value);
}

InvariantChecker::InvariantChecker(const Space& space, HostCore& core, PluginSession& session)
    : space_(space), core_(core), session_(session) {}

Breach InvariantChecker::Published() {
    const std::vector<PostedEvent>& posted = core_.Posted();
    // In pairs: each resource event is followed by the generic one.
    for (std::size_t i = postedSeen_; i < posted.size(); i += 2) {
        ++checks_;
        const PostedEvent& first = posted[i];
        if (first.name == kGenericEvent) {
            return {"published-twice", kMsgBreachGenericFirst};
        }
        const std::string uri(first.payload.Member("uri").AsString());
        if (ResourceEventName(uri) != first.name) {
            return {"published-twice", FormatPositional(kMsgBreachWrongEvent, first.name, uri, ResourceEventName(uri))};
        }
        if (i + 1 >= posted.size() || posted[i + 1].name != kGenericEvent) {
            return {"published-twice", FormatPositional(kMsgBreachNoGeneric, first.name)};
        }
        const std::string data = ValueKey(first.payload);
        if (ValueKey(posted[i + 1].payload) != data) {
            return {"published-twice",
                    FormatPositional(kMsgBreachGenericDiffers, first.name, data, ValueKey(posted[i + 1].payload))};
        }
        latest_[first.name] = ValueKey(first.payload.Member("data"));
    }
    postedSeen_ = posted.size();
    return {};
}

Breach InvariantChecker::WellFormed(const ServedRule& rule, const BindingValue& body) {
    if (rule.list.empty()) return {};
    ++checks_;
    const BindingValue& list = body.Member(rule.list);
    if (list.Kind() != BindingValueKind::Collection && !list.IsEmpty()) {
        return {"well-formed", FormatPositional(kMsgBreachNotList, rule.path, rule.list, ValueKey(body))};
    }
    std::set<std::string> seen;
    std::size_t at = 0;
    for (std::size_t i = 0; i < list.Size(); ++i) {
        const BindingValue& item = list.Element(i);
        const std::string text(item.AsString());
        if (item.Kind() != BindingValueKind::String)
            return {"well-formed", FormatPositional(kMsgBreachItemNotText, rule.path, ValueKey(item))};
        if (!seen.insert(text).second)
            return {"well-formed", FormatPositional(kMsgBreachServedTwice, rule.path, text, ValueKey(body))};
        if (rule.patterns.empty()) continue;
        std::size_t k = at;
        while (k < rule.patterns.size() && !rule.patterns[k].Matches(text)) ++k;
        if (k == rule.patterns.size()) {
            std::size_t any = 0;
            while (any < rule.patterns.size() && !rule.patterns[any].Matches(text)) ++any;
            return {"well-formed",
                    FormatPositional(any == rule.patterns.size() ? kMsgBreachNoPattern : kMsgBreachOutOfOrder,
                                     rule.path, text, ValueKey(body))};
        }
        at = k;
    }
    return {};
}

Breach InvariantChecker::AfterStep(bool redelivery) {
    const std::map<std::string, std::string> before = served_;
    for (const ServedRule& rule : space_.served) {
        EndpointAnswer answer = session_.Get(rule.path);
        ++checks_;
        if (!answer.reached || answer.failed) {
            return {"boundary", FormatPositional(kMsgBreachGetFailed, rule.path, answer.error)};
        }
        served_[rule.path] = ValueKey(answer.body);
        if (Breach breach = WellFormed(rule, answer.body); breach.Broken()) return breach;
    }
    ++checks_;
    if (core_.Problems().size() > problemsSeen_) return {"boundary", core_.Problems()[problemsSeen_]};
    if (Breach breach = Published(); breach.Broken()) return breach;
    for (const ServedRule& rule : space_.served) {
        auto latest = latest_.find(ResourceEventName(rule.path));
        if (latest == latest_.end()) continue;
        ++checks_;
        if (latest->second != served_[rule.path]) {
            return {"served-is-published",
                    FormatPositional(kMsgBreachNotPublished, rule.path, served_[rule.path], latest->second)};
        }
    }
    if (Breach breach = ModelAgrees(); breach.Broken()) return breach;
    if (redelivery && !before.empty()) {
        ++checks_;
        for (const auto& [path, body] : served_) {
            auto was = before.find(path);
            if (was != before.end() && was->second != body) {
                return {"redelivery-idempotent", FormatPositional(kMsgBreachRedelivery, path, was->second, body)};
            }
        }
    }
    return {};
}

Breach InvariantChecker::ModelAgrees() {
    if (model_ == nullptr) return {};
    ++checks_;
    FeatureModel& model = model_->Model();
    auto served = [&](const char* path) {
        auto found = served_.find(path);
        return found != served_.end() ? &found->second : nullptr;
    };
    model.CompareServed(served(kFiltersUri), served(kLocaleUri));
    if (!model.Disagreement().empty()) return {"model-agrees", model.Disagreement()};
    return {};
}

Breach InvariantChecker::AfterInit() {
    if (model_ == nullptr || model_->Model().Disagreement().empty()) return {};
    return {"model-agrees", model_->Model().Disagreement()};
}

Breach InvariantChecker::AfterShutdown(const MemoryCountersRecord& counters) {
    checks_ += 2;
    if (core_.Problems().size() > problemsSeen_) return {"boundary", core_.Problems()[problemsSeen_]};
    const std::uint64_t bytes = counters.totalBytesAllocated - counters.totalBytesFreed;
    const std::uint64_t blocks = counters.totalAllocations - counters.totalFrees;
    if (bytes != 0 || blocks != 0) {
        return {"counters-zero", FormatPositional(kMsgBreachCounters, bytes, blocks)};
    }
    return {};
}

namespace {

SessionOutcome Play(const Space& space, const Scenario& scenario, const std::string& pluginPath) {
    SessionOutcome outcome;
    Timeline timeline(false, stdout);
    timeline.KeepNothing();
    HostCore core(timeline, kPluginHandle);
    PluginSession session(timeline, core);
    for (const auto& [uri, answer] : scenario.resources) core.Serve(uri, answer);
    if (Outcome<> loaded = session.Load(pluginPath); !loaded.IsOk()) {
        outcome.breach = {"boundary", loaded.Error()};
        return outcome;
    }
    InvariantChecker checker(space, core, session);
    std::unique_ptr<ModelSession> model;
    if (space.model == kContentTargetingModel) model = std::make_unique<ModelSession>(core);
    checker.CheckModel(model.get());
    if (model) model->BeginInit();
    const bool started = session.Init();
    if (model) model->EndInit();
    if (!started) {
        outcome.breach = {"boundary", kMsgBreachInitFailed};
    } else {
        StepPlayer player(core, session);
        outcome.breach = checker.AfterInit();
        for (std::size_t i = 0; i < scenario.steps.size() && !outcome.breach.Broken(); ++i) {
            const ScenarioStep& step = scenario.steps[i];
            if (model) model->BeginStep(step.number);
            player.Play(step);
            ++outcome.steps;
            outcome.breach = checker.AfterStep(player.WasRedelivery(i > 0 ? &scenario.steps[i - 1] : nullptr, step));
            if (outcome.breach.Broken()) outcome.failedStep = step.number;
        }
    }
    outcome.served = checker.Served();
    session.Shutdown();
    core.Finish();
    if (!outcome.breach.Broken()) {
        for (const Subscription& subscription : core.Subscriptions()) {
            core.Problem(FormatPositional(kMsgStillSubscribed, subscription.name));
        }
        outcome.breach = checker.AfterShutdown(session.Counters());
    }
    outcome.checks = checker.Checks();
    return outcome;
}

}  // namespace

SessionOutcome PlaySession(const Space& space, const BindingValue& document, const std::string& pluginPath) {
    Outcome<Scenario> scenario = ScenarioFromValue(document, SystemMilliseconds());
    if (!scenario.IsOk()) {
        SessionOutcome outcome;
        outcome.breach = {"boundary", FormatPositional(kMsgBreachNotScenario, scenario.Error())};
        return outcome;
    }
    return Play(space, scenario.Value(), pluginPath);
}

SessionOutcome PlayMetamorphic(const Space& space, const BindingValue& document, const BindingValue& reordered,
                               const std::string& pluginPath) {
    SessionOutcome first = PlaySession(space, document, pluginPath);
    if (first.breach.Broken()) return first;
    SessionOutcome second = PlaySession(space, reordered, pluginPath);
    if (second.breach.Broken()) return second;
    first.checks += second.checks + 1;
    first.steps += second.steps;
    if (first.served != second.served) {
        std::string other;
        for (const auto& [path, body] : second.served) other += " " + path + " " + body;
        std::string order;
        for (const auto& [path, body] : first.served) order += " " + path + " " + body;
        first.breach = {"order-independent", FormatPositional(kMsgBreachOrder, other, order)};
        first.failedStep = 0;
    }
    return first;
}

}  // namespace hpk::host
