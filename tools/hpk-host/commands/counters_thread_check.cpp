// Reading the memory counters on a thread of its own while the host drives
// the plugin on this one.
#include "commands/counters_thread_check.h"

#include <atomic>
#include <cstdint>
#include <thread>

#include "diagnostics/positional_format.h"
#include "host/host_core.h"
#include "text/host_messages.h"
#include "host/plugin_session.h"
#include "scenario/relative_time.h"
#include "scenario/scenario_reader.h"

namespace hpk::host {
namespace {

constexpr unsigned kRounds = 5;

// "" when `now`, read after `before`, is a state the counters could be in.
std::string Contradiction(const MemoryCountersRecord& before, const MemoryCountersRecord& now) {
    if (now.zero[0] != 0 || now.zero[1] != 0) return kMsgCountersTrailingWords;
    if (now.totalFrees > now.totalAllocations || now.totalBytesFreed > now.totalBytesAllocated) {
        return kMsgThreadCountersNegative;
    }
    if (now.peakLiveBytes < now.totalBytesAllocated - now.totalBytesFreed) return kMsgThreadCountersAbovePeak;
    if (now.peakLiveBytes < before.peakLiveBytes) return kMsgThreadCountersPeakFell;
    if (now.totalAllocations < before.totalAllocations || now.totalFrees < before.totalFrees ||
        now.totalBytesAllocated < before.totalBytesAllocated || now.totalBytesFreed < before.totalBytesFreed) {
        return kMsgThreadCountersTotalFell;
    }
    return {};
}

// One session of the default scenario; "" or what broke.
std::string PlayRound(const std::string& path, const Scenario& scenario) {
    Timeline timeline(false, stdout);
    HostCore core(timeline, kPluginHandle);
    PluginSession session(timeline, core);
    for (const auto& [uri, answer] : scenario.resources) core.Serve(uri, answer);
    if (Outcome<> loaded = session.Load(path); !loaded.IsOk()) return loaded.Error();
    if (!session.Init()) return kMsgRunInitFailed;
    // Waiting would only slow the round; expectations are the scenario tests' business.
    for (const ScenarioStep& step : scenario.steps) PlayStepAtOnce(core, session, step);
    for (const FunctionInfo& function : session.Api().functions) {
        if (function.endpoint.pathTemplate.find('{') == std::string::npos) session.Get(function.endpoint.pathTemplate);
    }
    session.Shutdown();
    core.Finish();
    return core.Problems().empty() ? std::string() : core.Problems().front();
}

}  // namespace

std::string CheckCountersFromAnotherThread(const std::string& path,
                                           void (*readCounters)(void* plugin, MemoryCountersRecord* out),
                                           std::string& detail) {
    if (readCounters == nullptr) return kMsgThreadCountersNoCallback;
    Outcome<Scenario> scenario = ReadScenarioText(DefaultScenarioText(), SystemMilliseconds());
    if (!scenario.IsOk()) return scenario.Error();

    std::atomic<bool> driving{true};
    std::atomic<std::uint64_t> readings{0};
    std::string contradiction;  // the reader's; read here after the join
    MemoryCountersRecord last{};
    std::thread reader([&] {
        MemoryCountersRecord before{};
        readCounters(nullptr, &before);
        readings.fetch_add(1);
        for (bool more = true; more && contradiction.empty();) {
            more = driving.load();  // one more reading after the driving ends
            MemoryCountersRecord now{};
            readCounters(nullptr, &now);
            const std::string wrong = Contradiction(before, now);
            if (!wrong.empty()) {
                contradiction = FormatPositional(kMsgThreadCountersReading, readings.load() + 1, wrong);
            }
            before = now;
            readings.fetch_add(1);
        }
        last = before;
    });
    // Not before the reader has started, so that the rounds run under it.
    while (readings.load() == 0) std::this_thread::yield();
    std::string failure;
    for (unsigned round = 1; round <= kRounds && failure.empty(); ++round) {
        const std::string broke = PlayRound(path, scenario.Value());
        if (!broke.empty()) failure = FormatPositional(kMsgCheckCycleFailed, round, broke);
    }
    driving.store(false);
    reader.join();
    if (!failure.empty()) return failure;
    if (!contradiction.empty()) return contradiction;
    detail = FormatPositional(kMsgThreadCountersDetail, static_cast<unsigned long long>(readings.load()), kRounds,
                              static_cast<unsigned long long>(last.peakLiveBytes));
    return {};
}

}  // namespace hpk::host
