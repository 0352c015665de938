// `hpk-host explore`: the command line, the batches of sessions handed to
// worker processes, the progress line and the summary. Shrinking is in
// explore/shrink.cpp, the workers' side in explore/worker.cpp.
#include "commands/explore_command.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "commands/command_line.h"
#include "commands/exit_codes.h"
#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "explore/failure_page.h"
#include "explore/generate.h"
#include "explore/play.h"
#include "explore/process.h"
#include "explore/shrink.h"
#include "explore/worker.h"
#include "explore/scenario_yaml.h"
#include "text/json_text.h"

namespace hpk::host {

namespace {

struct Totals {
    std::uint64_t sessions = 0;
    std::uint64_t metamorphic = 0;
    std::uint64_t steps = 0;
    std::uint64_t checks = 0;
};

struct Failure {
    std::uint64_t index = 0;
    std::string invariant;
    std::string message;
    std::string file;  // the shrunk scenario
    std::size_t originalSteps = 0;
    std::size_t shrunkSteps = 0;
};

class Explorer {
public:
    Explorer(const ExploreOptions& options, const Space& space) : options_(options), space_(space) {}

    int Execute() {
        start_ = std::chrono::steady_clock::now();
        std::uint64_t next = options_.first;
        const std::uint64_t end = options_.first + options_.sessions;
        while (!failure_ && (options_.seconds != 0 ? Elapsed() < static_cast<double>(options_.seconds) : next < end)) {
            // Timed runs take small batches: the time is looked at between them.
            std::uint64_t count = options_.seconds != 0 ? std::min<std::uint64_t>(options_.batch, 50) : options_.batch;
            if (options_.seconds == 0 && end - next < count) count = end - next;
            const std::uint64_t reached = RunBatch(next, count);
            if (reached == kBroken) return kExitNoPlugin;
            next = reached;
        }
        if (progressShown_) std::fputc('\n', stderr);
        if (failure_) Shrink();
        Report();
        return failure_ ? kExitFailed : kExitOk;
    }

private:
    static constexpr std::uint64_t kBroken = ~std::uint64_t{0};

    double Elapsed() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

    // Runs sessions first.. in one worker; returns the index to go on from.
    std::uint64_t RunBatch(std::uint64_t first, std::uint64_t count) {
        WorkerProcess worker;
        std::vector<std::string> arguments = {"explore",
                                              "--worker",
                                              space_.path,
                                              "--plugin",
                                              options_.pluginPath,
                                              "--seed",
                                              std::to_string(options_.seed),
                                              "--first",
                                              std::to_string(first),
                                              "--sessions",
                                              std::to_string(count),
                                              "--steps",
                                              std::to_string(options_.steps),
                                              "--timeout",
                                              std::to_string(options_.timeoutSeconds)};
        if (!worker.Start(arguments)) {
            std::fprintf(stderr, "hpk-host explore: %s\n", kMsgExploreNoWorker);
            return kBroken;
        }
        std::uint64_t next = first;
        bool ended = false;
        std::string line;
        while (worker.ReadLine(line)) {
            WorkerLine parsed;
            if (!ParseWorkerLine(line, parsed)) continue;
            if (parsed.kind == WorkerLineKind::Unusable) {
                std::fprintf(stderr, "hpk-host explore: %s\n", parsed.message.c_str());
                worker.Finish();
                return kBroken;
            }
            if (parsed.kind == WorkerLineKind::Done) {
                ended = true;
                break;
            }
            next = parsed.index + 1;
            ++totals_.sessions;
            totals_.steps += parsed.steps;
            totals_.checks += parsed.checks;
            if (parsed.metamorphic) ++totals_.metamorphic;
            if (parsed.kind == WorkerLineKind::Failed) {
                failure_ = Failure{parsed.index, parsed.invariant, parsed.message, {}, 0, 0};
                ended = true;
            }
            Progress();
        }
        const std::string how = worker.Finish();
        if (!ended) {
            // The worker died inside session `next`: a crash of the plugin (or
            // of the host's side, which the message cannot tell apart).
            ++totals_.sessions;
            failure_ = Failure{next, "no-crash", FormatPositional(kMsgBreachProcessEnded, how), {}, 0, 0};
        }
        return failure_ ? next + 1 : first + count;
    }

    void Progress() {
        if (options_.json || !ErrorIsTerminal()) return;
        const double now = Elapsed();
        if (now - lastProgress_ < 0.2 && !failure_) return;
        lastProgress_ = now;
        progressShown_ = true;
        std::fprintf(stderr, "\r  sessions %llu  steps %llu  invariants checked %llu  failures %d  (%.0f s)  ",
                     static_cast<unsigned long long>(totals_.sessions), static_cast<unsigned long long>(totals_.steps),
                     static_cast<unsigned long long>(totals_.checks), failure_ ? 1 : 0, now);
        std::fflush(stderr);
    }

    void Shrink() {
        const ExploreSession session =
            GenerateSession(space_, options_.seed, failure_->index, static_cast<std::uint32_t>(options_.steps));
        failure_->originalSteps = session.document.Member("steps").Size();
        ShrinkResult result = ShrinkSession(options_, session, failure_->invariant);
        failure_->shrunkSteps = result.document.Member("steps").Size();
        if (!result.message.empty()) failure_->message = result.message;
        std::error_code ignored;
        std::filesystem::create_directories(options_.outDir, ignored);
        const std::string stem = options_.outDir + "/explore-seed" + std::to_string(options_.seed) + "-session" +
                                 std::to_string(failure_->index);
        failure_->file = stem + ".yaml";
        std::ofstream(failure_->file, std::ios::binary) << ScenarioYaml(result.document);
        if (!result.reordered.IsEmpty()) {
            std::ofstream(stem + "-reordered.yaml", std::ios::binary) << ScenarioYaml(result.reordered);
            DrawFailure(options_, stem + "-reordered.yaml", stem + "-reordered.html");
        }
        const FailurePage drawn = DrawFailure(options_, failure_->file, stem + ".html");
        page_ = drawn;
    }

    void Report() const {
        const double seconds = Elapsed();
        if (options_.json) {
            BindingValue document;
            document.Member("space").SetString(space_.path);
            document.Member("plugin").SetString(options_.pluginPath);
            document.Member("seed").SetUnsigned(options_.seed);
            document.Member("sessions").SetUnsigned(totals_.sessions);
            document.Member("metamorphicSessions").SetUnsigned(totals_.metamorphic);
            document.Member("steps").SetUnsigned(totals_.steps);
            document.Member("invariantsChecked").SetUnsigned(totals_.checks);
            document.Member("seconds").SetFloat(seconds);
            BindingValue& invariants = document.Member("invariants");
            invariants.MakeCollection();
            for (const char* name : kInvariantNames) invariants.Append().SetString(name);
            BindingValue& failures = document.Member("failures");
            failures.MakeCollection();
            if (failure_) {
                BindingValue& item = failures.Append();
                item.Member("session").SetUnsigned(failure_->index);
                item.Member("invariant").SetString(failure_->invariant);
                item.Member("message").SetString(failure_->message);
                item.Member("scenario").SetString(failure_->file);
                item.Member("steps").SetUnsigned(failure_->originalSteps);
                item.Member("shrunkSteps").SetUnsigned(failure_->shrunkSteps);
                item.Member("page").SetString(page_.page);
            }
            std::printf("%s\n", JsonText(document, JsonLayout::Pretty).c_str());
            return;
        }
        std::printf("== explore %s, seed %llu\n", space_.path.c_str(), static_cast<unsigned long long>(options_.seed));
        std::printf("  plugin      %s\n", options_.pluginPath.c_str());
        std::printf("  sessions    %llu (%llu metamorphic pairs), %llu steps, %llu invariants checked\n",
                    static_cast<unsigned long long>(totals_.sessions),
                    static_cast<unsigned long long>(totals_.metamorphic),
                    static_cast<unsigned long long>(totals_.steps), static_cast<unsigned long long>(totals_.checks));
        std::printf("  time        %.1f s, %.0f sessions per second\n", seconds,
                    seconds > 0 ? static_cast<double>(totals_.sessions) / seconds : 0.0);
        std::printf("  invariants ");
        for (const char* name : kInvariantNames) std::printf(" %s", name);
        std::printf("\n");
        if (!failure_) {
            std::printf("  result      %s\n", kMsgExploreOk);
            return;
        }
        std::printf(
            "  result      %s\n",
            FormatPositional(kMsgExploreFailed, failure_->index, failure_->invariant, failure_->message).c_str());
        std::printf("  shrunk      %s\n",
                    FormatPositional(kMsgExploreShrunk, failure_->originalSteps, failure_->shrunkSteps, failure_->file)
                        .c_str());
        std::printf("  replay      hpk-host run %s\n", failure_->file.c_str());
        std::printf("  page        %s\n", page_.page.empty() ? ("none: " + page_.error).c_str() : page_.page.c_str());
        std::fprintf(
            stderr, "hpk-host explore: %s\n",
            FormatPositional(kMsgExploreBroke, options_.seed, failure_->index, failure_->invariant, failure_->file)
                .c_str());
    }

    const ExploreOptions& options_;
    const Space& space_;
    std::chrono::steady_clock::time_point start_;
    Totals totals_;
    std::optional<Failure> failure_;
    FailurePage page_;  // the shrunk failure drawn
    double lastProgress_ = -1;
    bool progressShown_ = false;
};

int ExitCode(WorkerEnd end) {
    switch (end) {
        case WorkerEnd::Passed: return kExitOk;
        case WorkerEnd::Broken: return kExitFailed;
        case WorkerEnd::Unusable: return kExitUsage;
        case WorkerEnd::NoPlugin: return kExitNoPlugin;
    }
    return kExitFailed;
}

int Explore(const ExploreOptions& options) {
    if (!options.replay.empty()) return ExitCode(RunReplayWorker(options));
    Outcome<Space> space = ReadSpaceFile(options.spacePath);
    if (!space.IsOk()) {
        if (options.worker) WriteWorkerLine({WorkerLineKind::Unusable, 0, 0, 0, false, {}, 0, space.Error()});
        std::fprintf(stderr, "hpk-host explore: %s\n", space.Error().c_str());
        return kExitUsage;
    }
    if (options.worker) return ExitCode(RunSessionWorker(options, space.Value()));
    Explorer explorer(options, space.Value());
    return explorer.Execute();
}

}  // namespace

void AddExploreCommand(CommandLine& line) {
    auto options = std::make_shared<ExploreOptions>();
    CLI::App& command = line.Add(
        "explore", "[SPACE] [--seed N] [--sessions N | --time S] [--steps N] [--plugin PATH] [--out DIR] [--json]",
        "plays sessions drawn from a space file, checks the invariants, shrinks a failure to a scenario",
        [options] { return Explore(*options); });
    command.add_option("SPACE", options->spacePath, "the space file (default scenarios/space.yaml)");
    AddCountOption(command, "--seed", options->seed, "draws the sessions from seed N (default 1)");
    CLI::Option& sessions = AddCountOption(command, "--sessions", options->sessions, "plays N sessions (default 1000)");
    AddCountOption(command, "--time", options->seconds, "plays sessions for S seconds instead")
        .type_name("S")
        ->excludes(&sessions);
    AddCountOption(command, "--steps", options->steps, "steps per session, 1 to 10000 (default 20)", 1, 10000);
    AddPluginOption(command, options->pluginPath);
    command.add_option("--out", options->outDir, "where a shrunk failure goes (default explore-failures)")
        ->type_name("DIR");
    command.add_flag("--json", options->json, "prints the summary as one JSON document");
    AddCountOption(command, "--batch", options->batch, "sessions per worker process (default 500)", 1);
    AddCountOption(command, "--timeout", options->timeoutSeconds,
                   "seconds a session may run before it counts as hung (default 10)")
        .type_name("S");
    // How the explorer starts its own workers; not for people.
    command.add_flag("--worker", options->worker)->group("");
    AddCountOption(command, "--first", options->first, "").group("");
    command.add_option("--replay", options->replay)->group("");
    command.add_option("--reordered", options->reordered)->group("");
}

}  // namespace hpk::host
