// `hpk-host run`: serve the scenario's resources, load and init the plugin,
// play the steps, fetch what it serves, read its counters, shut it down, and
// report the timeline and the outcome.
#include "commands/run_command.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "commands/command_line.h"
#include "commands/exit_codes.h"
#include "diagnostics/positional_format.h"
#include "host/expectations.h"
#include "explore/play.h"
#include "explore/worker.h"
#include "host/host_core.h"
#include "text/host_messages.h"
#include "text/json_text.h"
#include "host/plugin_session.h"
#include "scenario/relative_time.h"
#include "scenario/scenario_reader.h"
#include "report/timeline_page.h"
#include "report/why_report.h"

namespace hpk::host {

namespace {

struct RunOptions {
    std::string scenarioPath;  // "": the built-in default
    std::string pluginPath;
    bool json = false;
    bool why = false;      // print only the model's why lines
    std::string htmlPath;  // "": no page
    // Opened before the run, so that an unwritable path costs no run.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> html{nullptr, &std::fclose};
};

std::string AnswerSummary(const ResourceAnswer& answer) {
    switch (answer.kind) {
        case ResourceAnswer::Kind::Value: return std::to_string(answer.status);
        case ResourceAnswer::Kind::Error: return std::to_string(answer.status) + " " + answer.message;
        case ResourceAnswer::Kind::Stream:
            return FormatPositional(kMsgStreamAnswer, answer.status, static_cast<unsigned>(answer.streamText.size()),
                                    answer.chunkSize);
    }
    return {};
}

class Run {
public:
    Run(const RunOptions& options, Scenario scenario, Space space)
        : options_(options), scenario_(std::move(scenario)), space_(std::move(space)),
          timeline_(!options.json && !options.why, stdout), core_(timeline_, kPluginHandle), session_(timeline_, core_),
          model_(core_) {}

    int Execute() {
        if (!options_.json && !options_.why) PrintHeader();
        for (const auto& [uri, answer] : scenario_.resources) {
            core_.Serve(uri, answer);
            timeline_.Record("serve", uri + "  ->  " + AnswerSummary(answer), answer.value);
        }
        if (Outcome<> loaded = session_.Load(options_.pluginPath); !loaded.IsOk()) {
            failure_ = loaded.Error();
            exitCode_ = kExitNoPlugin;
        } else if (!InitWithModel()) {
            failure_ = kMsgRunInitFailed;
            exitCode_ = kExitNoPlugin;
        } else {
            player_ = std::make_unique<StepPlayer>(core_, session_);
            if (!scenario_.invariants.empty()) {
                checker_ = std::make_unique<InvariantChecker>(space_, core_, session_);
                if (space_.model == kContentTargetingModel) checker_->CheckModel(&model_);
            }
            Why(0, kMsgStartUpWhy);
            if (checker_ == nullptr || CheckInvariantsAfterInit()) PlaySteps();
            FetchServed();
        }
        Finish();
        Report();
        return exitCode_;
    }

private:
    void PrintHeader() const {
        std::printf("%s\n",
                    FormatPositional(kMsgRunHeader, scenario_.name.empty() ? "(unnamed)" : scenario_.name).c_str());
        if (!scenario_.description.empty()) std::printf("  %s\n", scenario_.description.c_str());
        std::printf("  plugin %s\n\n", options_.pluginPath.c_str());
        std::printf("%s\n", kMsgRunColumns);
        std::fflush(stdout);
    }

    bool InitWithModel() {
        model_.BeginInit();
        const bool started = session_.Init();
        model_.EndInit();
        return started;
    }

    // The model's why lines after a step, in the timeline and for --why.
    void Why(std::size_t number, const std::string& heading) {
        RecordWhyLines(timeline_, model_.Model(), number, heading, options_.why ? stdout : nullptr);
    }

    bool CheckInvariantsAfterInit() {
        const Breach breach = checker_->AfterInit();
        if (!breach.Broken()) return true;
        failure_ = "start-up: invariant " + breach.invariant + " broken: " + breach.message;
        exitCode_ = kExitFailed;
        timeline_.Record("invariant", "BROKEN " + breach.invariant + ": " + breach.message, {},
                         Facts({{"invariant", breach.invariant}, {"message", breach.message}}));
        return false;
    }

    void PlaySteps() {
        for (const ScenarioStep& step : scenario_.steps) {
            std::string summary = std::to_string(step.number) + ": " + StepKindText(step.kind);
            if (!step.uri.empty()) summary += " " + step.uri;
            if (step.kind == ScenarioStep::Kind::Wait) summary += " " + std::to_string(step.milliseconds) + " ms";
            if (!step.note.empty()) summary += "  (" + step.note + ")";
            // Each step carries the plugin's memory counters as it begins, for
            // the page's chart of the session.
            BindingValue detail = Facts({{"step", StepKindText(step.kind)},
                                         {"number", std::to_string(step.number)},
                                         {"uri", step.uri},
                                         {"note", step.note}});
            detail.Member("memory") = CountersValue(session_.Counters());
            // A wait is one line of its own; the other steps head what follows them.
            if (step.kind == ScenarioStep::Kind::Wait) {
                timeline_.Record("wait",
                                 FormatPositional(kMsgWaitStep, step.milliseconds, static_cast<unsigned>(step.number)),
                                 {}, std::move(detail));
            } else {
                timeline_.Record("step", summary, {}, std::move(detail));
            }
            model_.BeginStep(step.number);
            bool go = PlayStep(step);
            go = go && (checker_ == nullptr || CheckInvariants(step));
            Why(step.number, "step " + summary);
            if (!go) return;
        }
    }

    // The space's invariants after a step, for scenarios that name one.
    bool CheckInvariants(const ScenarioStep& step) {
        const ScenarioStep* previous = &step != &scenario_.steps.front() ? &step - 1 : nullptr;
        const Breach breach = checker_->AfterStep(player_->WasRedelivery(previous, step));
        if (!breach.Broken()) return true;
        failure_ = FormatPositional(kMsgStepFailed, static_cast<unsigned>(step.number),
                                    "invariant " + breach.invariant + " broken: " + breach.message);
        exitCode_ = kExitFailed;
        timeline_.Record("invariant", "BROKEN " + breach.invariant + ": " + breach.message, {},
                         Facts({{"invariant", breach.invariant}, {"message", breach.message}}));
        return false;
    }

    bool PlayStep(const ScenarioStep& step) {
        switch (step.kind) {
            case ScenarioStep::Kind::Update:
            case ScenarioStep::Kind::Delete:
            case ScenarioStep::Kind::Get:
            case ScenarioStep::Kind::Post: player_->Play(step); return true;
            case ScenarioStep::Kind::Serve:
                player_->Play(step);
                timeline_.Record("serve", step.uri + "  ->  " + AnswerSummary(step.answer), step.answer.value);
                return true;
            case ScenarioStep::Kind::Wait: SleepMilliseconds(step.milliseconds); return true;
            case ScenarioStep::Kind::Expect: {
                const Outcome<> held = CheckExpectations(step.expect, session_, core_);
                const std::size_t count = CountExpectations(step.expect);
                if (held.IsOk()) {
                    met_ += count;
                    timeline_.Record("expect", FormatPositional(kMsgExpectMet, static_cast<unsigned>(count)));
                    return true;
                }
                const std::string& unmet = held.Error();
                failure_ = FormatPositional(kMsgStepFailed, static_cast<unsigned>(step.number), unmet);
                exitCode_ = kExitFailed;
                timeline_.Record("expect", "UNMET " + unmet, {}, Facts({{"unmet", unmet}}));
                return false;
            }
        }
        return true;
    }

    // Every served GET without path parameters, as the client would read it.
    void FetchServed() {
        timeline_.Heading("");
        timeline_.Heading(kMsgRunEnd);
        served_.MakeStructure();
        for (const FunctionInfo& function : session_.Api().functions) {
            const EndpointInfo& endpoint = function.endpoint;
            if ((endpoint.method != 0 && endpoint.method != 2) || endpoint.pathTemplate.find('{') != std::string::npos)
                continue;
            EndpointAnswer answer = session_.Call(function, 2, endpoint.pathTemplate);
            BindingValue& entry = served_.Member(endpoint.pathTemplate);
            if (answer.failed) {
                entry.Member("error").SetString(answer.error);
            } else {
                entry.CopyFrom(answer.body);
            }
        }
    }

    void Finish() {
        if (session_.Loaded()) {
            before_ = CountersValue(session_.RecordCounters(kMsgCountersBeforeShutdown));
            session_.Shutdown();
            const MemoryCountersRecord counters = session_.RecordCounters(kMsgCountersAfterShutdown);
            after_ = CountersValue(counters);
            if (checker_ != nullptr && failure_.empty()) {
                const Breach breach = checker_->AfterShutdown(counters);
                if (breach.Broken()) {
                    failure_ = "invariant " + breach.invariant + " broken: " + breach.message;
                    exitCode_ = kExitFailed;
                }
            }
        }
        player_.reset();
        for (const Subscription& subscription : core_.Subscriptions()) {
            core_.Problem(FormatPositional(kMsgStillSubscribed, subscription.name));
        }
        core_.Finish();
        if (failure_.empty() && !core_.Problems().empty()) {
            failure_ = FormatPositional(kMsgRunProblems, static_cast<unsigned>(core_.Problems().size()),
                                        core_.Problems().front());
            exitCode_ = kExitFailed;
        }
    }

    void Report() {
        if (options_.html) WritePage();
        if (options_.json) {
            PrintJson();
            return;
        }
        if (options_.why) {
            if (!failure_.empty()) std::fprintf(stderr, "hpk-host run: %s\n", failure_.c_str());
            return;
        }
        std::printf("\n== summary\n");
        served_.ForEachMember([](std::string_view uri, const BindingValue& body) {
            std::printf("  served     GET %.*s  %s\n", static_cast<int>(uri.size()), uri.data(),
                        JsonText(body, JsonLayout::Compact).c_str());
        });
        for (const TelemetryEvent& event : core_.Telemetry()) {
            std::printf("  telemetry  %s\n", event.name.c_str());
            event.fields.ForEachMember([](std::string_view key, const BindingValue& value) {
                std::printf("               %.*s = %s\n", static_cast<int>(key.size()), key.data(),
                            JsonText(value, JsonLayout::Compact).c_str());
            });
        }
        if (core_.Telemetry().empty()) std::printf("  telemetry  %s\n", kMsgRunNoTelemetry);
        PrintCounters(kMsgCountersBeforeShutdown, before_);
        PrintCounters(kMsgCountersAfterShutdown, after_);
        if (core_.Problems().empty()) std::printf("  problems   none\n");
        for (const std::string& problem : core_.Problems()) std::printf("  problem    %s\n", problem.c_str());
        if (failure_.empty()) {
            std::printf("  result     %s\n", FormatPositional(kMsgRunOk, static_cast<unsigned>(met_)).c_str());
        } else {
            std::printf("  result     FAILED: %s\n", failure_.c_str());
            std::fprintf(stderr, "hpk-host run: %s\n", failure_.c_str());
        }
    }

    static void PrintCounters(const char* label, const BindingValue& counters) {
        if (counters.IsEmpty()) return;
        std::printf("  memory     %s\n",
                    FormatPositional(kMsgCountersLine, label, counters.Member("liveBytes").Text(),
                                     counters.Member("liveBlocks").Text(), counters.Member("peakLiveBytes").Text(),
                                     counters.Member("totalAllocations").Text())
                        .c_str());
    }

    void WritePage() {
        TimelinePageFacts facts;
        facts.title = scenario_.name;
        facts.description = scenario_.description;
        facts.source = options_.scenarioPath;
        facts.pluginPath = options_.pluginPath;
        facts.pluginName = session_.FullName();
        facts.ok = failure_.empty();
        facts.outcome = failure_.empty() ? FormatPositional(kMsgRunOk, static_cast<unsigned>(met_)) : failure_;
        facts.served.CopyFrom(served_);
        const std::string page = TimelinePage(timeline_, facts);
        std::FILE* file = options_.html.get();
        if (std::fwrite(page.data(), 1, page.size(), file) != page.size() || std::fflush(file) != 0) {
            std::fprintf(stderr, "hpk-host run: %s\n", FormatPositional(kMsgHtmlWrite, options_.htmlPath).c_str());
            if (exitCode_ == kExitOk) exitCode_ = kExitFailed;
        }
    }

    void PrintJson() const {
        BindingValue document;
        BindingValue& scenario = document.Member("scenario");
        scenario.Member("name").SetString(scenario_.name);
        scenario.Member("description").SetString(scenario_.description);
        scenario.Member("file").SetString(options_.scenarioPath);
        BindingValue& plugin = document.Member("plugin");
        plugin.Member("path").SetString(options_.pluginPath);
        plugin.Member("name").SetString(session_.FullName());
        document.Member("timeline") = timeline_.ToValue();
        document.Member("why") = WhyLinesValue(timeline_);
        document.Member("served").CopyFrom(served_);
        BindingValue& telemetry = document.Member("telemetry");
        telemetry.MakeCollection();
        for (const TelemetryEvent& event : core_.Telemetry()) {
            BindingValue& item = telemetry.Append();
            item.Member("name").SetString(event.name);
            item.Member("fields").CopyFrom(event.fields);
        }
        document.Member("memory").Member("beforeShutdown").CopyFrom(before_);
        document.Member("memory").Member("afterShutdown").CopyFrom(after_);
        BindingValue& problems = document.Member("problems");
        problems.MakeCollection();
        for (const std::string& problem : core_.Problems()) problems.Append().SetString(problem);
        BindingValue& result = document.Member("result");
        result.Member("ok").SetBool(failure_.empty());
        result.Member("expectationsMet").SetUnsigned(met_);
        result.Member("failure").SetString(failure_);
        std::printf("%s\n", JsonText(document, JsonLayout::Pretty).c_str());
        if (!failure_.empty()) std::fprintf(stderr, "hpk-host run: %s\n", failure_.c_str());
    }

    const RunOptions& options_;
    Scenario scenario_;
    Space space_;
    Timeline timeline_;
    HostCore core_;
    PluginSession session_;
    ModelSession model_;  // listens from before init, for the why lines and `model-agrees`
    std::unique_ptr<StepPlayer> player_;
    std::unique_ptr<InvariantChecker> checker_;
    BindingValue served_;
    BindingValue before_;
    BindingValue after_;
    std::string failure_;
    std::size_t met_ = 0;
    int exitCode_ = kExitOk;
};

int PlayScenario(RunOptions& options) {
    if (!options.htmlPath.empty()) {
        options.html.reset(std::fopen(options.htmlPath.c_str(), "wb"));
        if (!options.html) {
            std::fprintf(stderr, "hpk-host run: %s\n",
                         FormatPositional(kMsgHtmlOpen, options.htmlPath, std::strerror(errno)).c_str());
            return kExitUsage;
        }
    }
    const std::uint64_t now = SystemMilliseconds();
    Outcome<Scenario> scenario = options.scenarioPath.empty() ? ReadScenarioText(DefaultScenarioText(), now)
                                                              : ReadScenarioFile(options.scenarioPath, now);
    if (!scenario.IsOk()) {
        std::fprintf(stderr, "hpk-host run: %s\n", scenario.Error().c_str());
        return kExitUsage;
    }
    const std::string& invariants = scenario.Value().invariants;
    Outcome<Space> space =
        invariants.empty() ? Space{} : ReadSpaceFile(ResolveSpacePath(invariants, options.scenarioPath));
    if (!space.IsOk()) {
        std::fprintf(stderr, "hpk-host run: %s\n", space.Error().c_str());
        return kExitUsage;
    }
    Run run(options, std::move(scenario.Value()), std::move(space.Value()));
    return run.Execute();
}

}  // namespace

void AddRunCommand(CommandLine& line) {
    auto options = std::make_shared<RunOptions>();
    CLI::App& command = line.Add("run", "[SCENARIO] [--plugin PATH] [--json | --why] [--html FILE]",
                                 "plays a scenario (built-in default without SCENARIO) and prints the timeline",
                                 [options] { return PlayScenario(*options); });
    command.add_option("SCENARIO", options->scenarioPath, "the scenario file (scenarios/README.md describes them)");
    AddPluginOption(command, options->pluginPath);
    CLI::Option* json = command.add_flag("--json", options->json, "prints the run as one JSON document instead");
    command.add_flag("--why", options->why, "prints only the why lines: what each step publishes, or what holds it back")
        ->excludes(json);
    command.add_option("--html", options->htmlPath, "also draws the run as one HTML page in FILE")->type_name("FILE");
}

}  // namespace hpk::host
