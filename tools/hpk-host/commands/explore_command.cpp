// `hpk-host explore`: the command line, the batches of sessions handed to
// worker processes, the progress line and the summary. Shrinking is in
// explore_shrink.cpp, the workers' side in explore_worker.cpp.
#include "commands/explore_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "explore/failure_page.h"
#include "explore/generate.h"
#include "explore/play.h"
#include "explore/process.h"
#include "explore/shrink.h"
#include "explore/worker.h"
#include "explore/scenario_yaml.h"
#include "text/json_text.h"
#include "commands/run_command.h"

namespace hpk::host {

namespace {

constexpr char kUsage[] =
    "usage: hpk-host explore [SPACE] [--seed N] [--sessions N | --time S] [--steps N] [--plugin PATH] [--out DIR] "
    "[--json]";

bool Number(const char* text, std::uint64_t& out) {
    char* end = nullptr;
    out = std::strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

bool ParseOptions(int argc, char** argv, ExploreOptions& options, std::string& error) {
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        std::uint64_t number = 0;
        auto numberOption = [&](const char* name, std::uint64_t& target) {
            if (argument != name) return false;
            if (!hasValue || !Number(argv[i + 1], number)) {
                error = std::string(name) + " needs a whole number";
                return true;
            }
            target = number;
            ++i;
            return true;
        };
        if (numberOption("--seed", options.seed) || numberOption("--sessions", options.sessions) ||
            numberOption("--time", options.seconds) || numberOption("--steps", options.steps) ||
            numberOption("--batch", options.batch) || numberOption("--first", options.first) ||
            numberOption("--timeout", options.timeoutSeconds)) {
            if (!error.empty()) return false;
            if (argument == "--sessions") options.sessionsGiven = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--plugin" && hasValue) {
            options.pluginPath = argv[++i];
        } else if (argument == "--out" && hasValue) {
            options.outDir = argv[++i];
        } else if (argument == "--worker") {
            options.worker = true;
        } else if (argument == "--replay" && hasValue) {
            options.replay = argv[++i];
        } else if (argument == "--reordered" && hasValue) {
            options.reordered = argv[++i];
        } else if (!argument.empty() && argument[0] != '-' && !options.spaceGiven) {
            options.spacePath = argument;
            options.spaceGiven = true;
        } else {
            error = "unexpected argument '" + argument + "'\n" + kUsage;
            return false;
        }
    }
    if (options.sessionsGiven && options.seconds != 0) {
        error = std::string("give --sessions or --time, not both\n") + kUsage;
        return false;
    }
    if (options.steps == 0 || options.steps > 10000 || options.batch == 0) {
        error = "--steps must be 1 to 10000 and --batch at least 1";
        return false;
    }
    if (options.pluginPath.empty()) options.pluginPath = DefaultPluginPath();
    return true;
}

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
            std::fprintf(stderr, "hpk-host explore: cannot start a worker process\n");
            return kBroken;
        }
        std::uint64_t next = first;
        bool ended = false;
        std::string line;
        while (worker.ReadLine(line)) {
            WorkerLine parsed;
            if (!ParseWorkerLine(line, parsed)) continue;
            if (parsed.kind == 'X') {
                std::fprintf(stderr, "hpk-host explore: %s\n", parsed.message.c_str());
                worker.Finish();
                return kBroken;
            }
            if (parsed.kind == 'E') {
                ended = true;
                break;
            }
            next = parsed.index + 1;
            ++totals_.sessions;
            totals_.steps += parsed.steps;
            totals_.checks += parsed.checks;
            if (parsed.metamorphic) ++totals_.metamorphic;
            if (parsed.kind == 'F') {
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
            failure_ =
                Failure{next, "no-crash", "the session's process ended (" + how + ") during the session", {}, 0, 0};
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
            std::printf("  result      ok, no invariant broken\n");
            return;
        }
        std::printf("  result      FAILED: session %llu broke %s: %s\n",
                    static_cast<unsigned long long>(failure_->index), failure_->invariant.c_str(),
                    failure_->message.c_str());
        std::printf("  shrunk      %zu steps to %zu: %s\n", failure_->originalSteps, failure_->shrunkSteps,
                    failure_->file.c_str());
        std::printf("  replay      hpk-host run %s\n", failure_->file.c_str());
        std::printf("  page        %s\n", page_.page.empty() ? ("none: " + page_.error).c_str() : page_.page.c_str());
        std::fprintf(stderr, "hpk-host explore: seed %llu session %llu broke %s; shrunk to %s\n",
                     static_cast<unsigned long long>(options_.seed), static_cast<unsigned long long>(failure_->index),
                     failure_->invariant.c_str(), failure_->file.c_str());
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

}  // namespace

int RunExploreCommand(int argc, char** argv) {
    ExploreOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "hpk-host explore: %s\n", error.c_str());
        return kExitUsage;
    }
    if (!options.replay.empty()) return RunReplayWorker(options);
    Space space;
    if (!ReadSpaceFile(space, options.spacePath, error)) {
        if (options.worker) std::printf("X %s\n", error.c_str());
        std::fprintf(stderr, "hpk-host explore: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.worker) return RunSessionWorker(options, space);
    Explorer explorer(options, space);
    return explorer.Execute();
}

}  // namespace hpk::host
