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

// Fails unless `now`, read after `before`, is a state the counters could be in.
Outcome<> CheckReading(const MemoryCountersRecord& before, const MemoryCountersRecord& now) {
    if (now.zero[0] != 0 || now.zero[1] != 0) return Fail(kMsgCountersTrailingWords);
    if (now.totalFrees > now.totalAllocations || now.totalBytesFreed > now.totalBytesAllocated) {
        return Fail(kMsgThreadCountersNegative);
    }
    if (now.peakLiveBytes < now.totalBytesAllocated - now.totalBytesFreed) return Fail(kMsgThreadCountersAbovePeak);
    if (now.peakLiveBytes < before.peakLiveBytes) return Fail(kMsgThreadCountersPeakFell);
    if (now.totalAllocations < before.totalAllocations || now.totalFrees < before.totalFrees ||
        now.totalBytesAllocated < before.totalBytesAllocated || now.totalBytesFreed < before.totalBytesFreed) {
        return Fail(kMsgThreadCountersTotalFell);
    }
    return {};
}

// One session of the default scenario; fails with what broke.
Outcome<> PlayRound(const std::string& path, const Scenario& scenario) {
    Timeline timeline(false, stdout);
    HostCore core(timeline, kPluginHandle);
    PluginSession session(timeline, core);
    for (const auto& [uri, answer] : scenario.resources) core.Serve(uri, answer);
    if (Outcome<> loaded = session.Load(path); !loaded.IsOk()) return loaded;
    if (!session.Init()) return Fail(kMsgRunInitFailed);
    // Waiting would only slow the round; expectations are the scenario tests' business.
    for (const ScenarioStep& step : scenario.steps) PlayStepAtOnce(core, session, step);
    for (const FunctionInfo& function : session.Api().functions) {
        if (function.endpoint.pathTemplate.find('{') == std::string::npos) session.Get(function.endpoint.pathTemplate);
    }
    session.Shutdown();
    core.Finish();
    if (!core.Problems().empty()) return Fail(core.Problems().front());
    return {};
}

}  // namespace

Outcome<std::string> CheckCountersFromAnotherThread(const std::string& path,
                                                    void (*readCounters)(void* plugin, MemoryCountersRecord* out)) {
    if (readCounters == nullptr) return Fail(kMsgThreadCountersNoCallback);
    Outcome<Scenario> scenario = ReadScenarioText(DefaultScenarioText(), SystemMilliseconds());
    if (!scenario.IsOk()) return Fail(scenario.Error());

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
            if (const Outcome<> reading = CheckReading(before, now); !reading.IsOk()) {
                contradiction = FormatPositional(kMsgThreadCountersReading, readings.load() + 1, reading.Error());
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
        const Outcome<> played = PlayRound(path, scenario.Value());
        if (!played.IsOk()) failure = FormatPositional(kMsgCheckCycleFailed, round, played.Error());
    }
    driving.store(false);
    reader.join();
    if (!failure.empty()) return Fail(failure);
    if (!contradiction.empty()) return Fail(contradiction);
    return FormatPositional(kMsgThreadCountersDetail, static_cast<unsigned long long>(readings.load()), kRounds,
                            static_cast<unsigned long long>(last.peakLiveBytes));
}

}  // namespace hpk::host
