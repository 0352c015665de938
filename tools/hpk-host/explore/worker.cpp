// Worker processes: sessions in a batch, or one scenario replayed.
#include "explore/worker.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "explore/generate.h"
#include "explore/play.h"
#include "formats/yaml_reader.h"
#include "host/host_platform.h"

namespace hpk::host {

namespace {

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
            std::printf("F %llu 0 0 0 no-hang 0 the session ran for more than %llu s\n",
                        static_cast<unsigned long long>(gSessionIndex.load()),
                        static_cast<unsigned long long>(timeoutSeconds));
            std::fflush(stdout);
            std::_Exit(kExitHang);
        }
    }).detach();
}

std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

void PrintOutcome(std::uint64_t index, const SessionOutcome& outcome, bool metamorphic) {
    if (outcome.breach.Broken()) {
        std::printf("F %llu %llu %llu %d %s %llu %s\n", static_cast<unsigned long long>(index),
                    static_cast<unsigned long long>(outcome.steps), static_cast<unsigned long long>(outcome.checks),
                    metamorphic ? 1 : 0, outcome.breach.invariant.c_str(),
                    static_cast<unsigned long long>(outcome.failedStep), OneLine(outcome.breach.message).c_str());
    } else {
        std::printf("S %llu %llu %llu %d\n", static_cast<unsigned long long>(index),
                    static_cast<unsigned long long>(outcome.steps), static_cast<unsigned long long>(outcome.checks),
                    metamorphic ? 1 : 0);
    }
    std::fflush(stdout);
}

bool ReadDocument(const std::string& path, BindingValue& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    BindingResult parsed = ParseYaml(text.data(), text.size());
    if (!parsed.IsOk()) {
        error = path + ": not valid YAML: " + parsed.ErrorText();
        return false;
    }
    parsed.TakeValue(out);
    return true;
}

}  // namespace

bool ParseWorkerLine(const std::string& line, WorkerLine& out) {
    out = WorkerLine{};
    if (line.empty()) return false;
    out.kind = line[0];
    if (out.kind == 'E') return true;
    if (out.kind == 'X') {
        out.message = line.size() > 2 ? line.substr(2) : "";
        return true;
    }
    if (out.kind != 'S' && out.kind != 'F') return false;
    std::istringstream in(line.substr(1));
    int metamorphic = 0;
    in >> out.index >> out.steps >> out.checks >> metamorphic;
    out.metamorphic = metamorphic != 0;
    if (!in) return false;
    if (out.kind == 'F') {
        in >> out.invariant >> out.step;
        std::getline(in, out.message);
        if (!out.message.empty() && out.message[0] == ' ') out.message.erase(0, 1);
    }
    return true;
}

int RunSessionWorker(const ExploreOptions& options, const Space& space) {
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
            std::printf("X %s\n", OneLine(outcome.breach.message).c_str());
            return 3;
        }
        PrintOutcome(index, outcome, metamorphic);
        if (outcome.breach.Broken()) return 1;
    }
    std::printf("E\n");
    std::fflush(stdout);
    return 0;
}

std::string ResolveSpacePath(const std::string& invariants, const std::string& scenarioPath) {
    std::error_code ignored;
    if (std::filesystem::exists(invariants, ignored)) return invariants;
    const std::filesystem::path beside = std::filesystem::path(scenarioPath).parent_path() / invariants;
    return beside.string();
}

int RunReplayWorker(const ExploreOptions& options) {
    std::string error;
    BindingValue document;
    BindingValue reordered;
    if (!ReadDocument(options.replay, document, error) ||
        (!options.reordered.empty() && !ReadDocument(options.reordered, reordered, error))) {
        std::printf("X %s\n", OneLine(error).c_str());
        return 2;
    }
    Space space;
    const std::string invariants(document.Member("invariants").AsString());
    if (invariants.empty() || !ReadSpaceFile(space, ResolveSpacePath(invariants, options.replay), error)) {
        std::printf(
            "X %s\n",
            OneLine(invariants.empty() ? options.replay + " names no space under 'invariants'" : error).c_str());
        return 2;
    }
    StartWatchdog(options.timeoutSeconds);
    gSessionStarted = SteadyMilliseconds();
    const SessionOutcome outcome = options.reordered.empty()
                                       ? PlaySession(space, document, options.pluginPath)
                                       : PlayMetamorphic(space, document, reordered, options.pluginPath);
    gSessionStarted = 0;
    PrintOutcome(0, outcome, !options.reordered.empty());
    return outcome.breach.Broken() ? 1 : 0;
}

}  // namespace hpk::host
