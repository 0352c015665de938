// Worker processes: sessions in a batch, or one scenario replayed.
#include "explore/worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"
#include "explore/generate.h"
#include "explore/play.h"
#include "formats/yaml_reader.h"
#include "host/host_platform.h"

namespace hpk::host {

namespace {

// The status of a worker its watchdog ends; the explorer goes by the line
// written before it.
constexpr int kExitHang = 4;

std::atomic<std::int64_t> gSessionStarted{0};  // steady milliseconds; 0 between sessions
std::atomic<std::uint64_t> gSessionIndex{0};

std::int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
               .count() +
           1;
}

void StartWatchdog(std::uint64_t timeoutSeconds) {
    std::thread([timeoutSeconds] {
        for (;;) {
            SleepMilliseconds(100);
            const std::int64_t started = gSessionStarted.load();
            if (started == 0 || SteadyMilliseconds() - started < static_cast<std::int64_t>(timeoutSeconds) * 1000)
                continue;
            WriteWorkerLine({WorkerLineKind::Failed, gSessionIndex.load(), 0, 0, false, "no-hang", 0,
                             FormatPositional(kMsgBreachHang, timeoutSeconds)});
            std::_Exit(kExitHang);
        }
    }).detach();
}

void WriteOutcome(std::uint64_t index, const SessionOutcome& outcome, bool metamorphic) {
    WriteWorkerLine({outcome.breach.Broken() ? WorkerLineKind::Failed : WorkerLineKind::Passed, index, outcome.steps,
                     outcome.checks, metamorphic, outcome.breach.invariant, outcome.failedStep,
                     outcome.breach.message});
}

void WriteUnusable(const std::string& message) {
    WriteWorkerLine({WorkerLineKind::Unusable, 0, 0, 0, false, {}, 0, message});
}

Outcome<BindingValue> ReadDocument(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail(FormatPositional(kMsgReplayUnreadable, path));
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    BindingResult parsed = ParseYaml(text.data(), text.size());
    if (!parsed.IsOk()) return Fail(FormatPositional(kMsgReplayYaml, path, parsed.ErrorText()));
    BindingValue out;
    parsed.TakeValue(out);
    return out;
}

}  // namespace

void WriteWorkerLine(const WorkerLine& line) {
    std::string text(1, static_cast<char>(line.kind));
    if (line.kind == WorkerLineKind::Passed || line.kind == WorkerLineKind::Failed) {
        text += " " + std::to_string(line.index) + " " + std::to_string(line.steps) + " " +
                std::to_string(line.checks) + (line.metamorphic ? " 1" : " 0");
    }
    if (line.kind == WorkerLineKind::Failed) text += " " + line.invariant + " " + std::to_string(line.step);
    if (line.kind == WorkerLineKind::Failed || line.kind == WorkerLineKind::Unusable) {
        text += " " + line.message;
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::replace(text.begin(), text.end(), '\r', ' ');
    }
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

bool ParseWorkerLine(const std::string& text, WorkerLine& out) {
    out = WorkerLine{};
    if (text.empty()) return false;
    out.kind = static_cast<WorkerLineKind>(text[0]);
    switch (out.kind) {
        case WorkerLineKind::Done: return true;
        case WorkerLineKind::Unusable: out.message = text.size() > 2 ? text.substr(2) : ""; return true;
        case WorkerLineKind::Passed:
        case WorkerLineKind::Failed: break;
        default: return false;
    }
    std::istringstream in(text.substr(1));
    int metamorphic = 0;
    in >> out.index >> out.steps >> out.checks >> metamorphic;
    out.metamorphic = metamorphic != 0;
    if (!in) return false;
    if (out.kind == WorkerLineKind::Failed) {
        in >> out.invariant >> out.step;
        std::getline(in, out.message);
        if (!out.message.empty() && out.message[0] == ' ') out.message.erase(0, 1);
    }
    return true;
}

WorkerEnd RunSessionWorker(const ExploreOptions& options, const Space& space) {
    StartWatchdog(options.timeoutSeconds);
    for (std::uint64_t index = options.first; index < options.first + options.sessions; ++index) {
        const ExploreSession session =
            GenerateSession(space, options.seed, index, static_cast<std::uint32_t>(options.steps));
        gSessionIndex = index;
        gSessionStarted = SteadyMilliseconds();
        const bool metamorphic = !session.reordered.IsEmpty();
        const SessionOutcome outcome =
            metamorphic ? PlayMetamorphic(space, session.document, session.reordered, options.pluginPath)
                        : PlaySession(space, session.document, options.pluginPath);
        gSessionStarted = 0;
        if (index == options.first && outcome.breach.invariant == "boundary" && outcome.steps == 0 &&
            outcome.failedStep == 0 && outcome.checks == 0) {
            // Nothing was played: the plugin could not be loaded or started.
            WriteUnusable(outcome.breach.message);
            return WorkerEnd::NoPlugin;
        }
        WriteOutcome(index, outcome, metamorphic);
        if (outcome.breach.Broken()) return WorkerEnd::Broken;
    }
    WriteWorkerLine(WorkerLine{});
    return WorkerEnd::Passed;
}

std::string ResolveSpacePath(const std::string& invariants, const std::string& scenarioPath) {
    std::error_code ignored;
    if (std::filesystem::exists(invariants, ignored)) return invariants;
    const std::filesystem::path beside = std::filesystem::path(scenarioPath).parent_path() / invariants;
    return beside.string();
}

WorkerEnd RunReplayWorker(const ExploreOptions& options) {
    Outcome<BindingValue> document = ReadDocument(options.replay);
    Outcome<BindingValue> reordered = options.reordered.empty() ? BindingValue{} : ReadDocument(options.reordered);
    for (const Outcome<BindingValue>* read : {&document, &reordered}) {
        if (!read->IsOk()) {
            WriteUnusable(read->Error());
            return WorkerEnd::Unusable;
        }
    }
    const std::string invariants(document.Value().Member("invariants").AsString());
    if (invariants.empty()) {
        WriteUnusable(FormatPositional(kMsgReplayNoSpace, options.replay));
        return WorkerEnd::Unusable;
    }
    Outcome<Space> space = ReadSpaceFile(ResolveSpacePath(invariants, options.replay));
    if (!space.IsOk()) {
        WriteUnusable(space.Error());
        return WorkerEnd::Unusable;
    }
    StartWatchdog(options.timeoutSeconds);
    gSessionStarted = SteadyMilliseconds();
    const SessionOutcome outcome =
        options.reordered.empty()
            ? PlaySession(space.Value(), document.Value(), options.pluginPath)
            : PlayMetamorphic(space.Value(), document.Value(), reordered.Value(), options.pluginPath);
    gSessionStarted = 0;
    WriteOutcome(0, outcome, !options.reordered.empty());
    return outcome.breach.Broken() ? WorkerEnd::Broken : WorkerEnd::Passed;
}

}  // namespace hpk::host
