// `hpk-host check`: what a host relies on, verified in the order a host meets
// it, printing one line per check and stopping at the first broken one.
//
// The 100 load-init-shutdown cycles run in the image the first checks loaded,
// without unloading it between cycles or afterwards: the counters live in the
// library's static storage, so unloading would reset them and hide exactly the
// growth the check looks for, and the client's host itself loads a plugin once
// per process and never unloads it.
#include "commands/check_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "commands/command_line.h"
#include "commands/exit_codes.h"
#include "host/api_description.h"
#include "commands/counters_thread_check.h"
#include "diagnostics/positional_format.h"
#include "host/host_core.h"
#include "text/host_messages.h"
#include "text/json_text.h"
#include "host/plugin_session.h"

namespace hpk::host {

namespace {

constexpr unsigned kCycles = 100;
constexpr char kExpectedName[] = "hpk-be-arx-content-targeting";
constexpr char kUnknownPath[] = "/arx-content-targeting/v1/no-such-resource";

class Checker {
public:
    // Prints the check's line: what it saw when it held, else why not.
    // Returns false when the check failed.
    bool Report(const std::string& name, const Outcome<std::string>& seen) {
        ++count_;
        if (seen.IsOk()) {
            std::printf("  ok    %-24s %s\n", name.c_str(), seen.Value().c_str());
            std::fflush(stdout);
            return true;
        }
        std::printf("  FAIL  %-24s %s\n", name.c_str(), seen.Error().c_str());
        std::fprintf(stderr, "hpk-host check: %s: %s\n", name.c_str(), seen.Error().c_str());
        return false;
    }
    bool Report(const std::string& name, const Outcome<>& held, const std::string& detail) {
        return Report(name, held.IsOk() ? Outcome<std::string>(detail) : Fail(held.Error()));
    }
    unsigned Count() const { return count_; }

private:
    unsigned count_ = 0;
};

// Fails with the first problem the core noted.
Outcome<> NoProblem(const HostCore& core) {
    if (!core.Problems().empty()) return Fail(core.Problems().front());
    return {};
}

Outcome<> CheckHandshake(const PluginSession& session) {
    const PluginLoadRecord& record = session.LoadRecord();
    if (record.version[0] != 18 || record.version[1] != 0 || record.version[2] != 0) {
        return Fail(FormatPositional(kMsgCheckVersion, record.version[0], record.version[1], record.version[2]));
    }
    if (record.plugin == nullptr) return Fail(kMsgCheckNoPlugin);
    if (session.FullName() != kExpectedName) {
        return Fail(FormatPositional(kMsgCheckName, session.FullName(), kExpectedName));
    }
    return {};
}

std::string TableDetail(const ApiDescription& api) {
    std::size_t fields = 0;
    std::size_t enumerators = 0;
    for (const TypeInfo& type : api.types) {
        fields += type.fields.size();
        enumerators += type.enumerators.size();
    }
    return FormatPositional(kMsgCheckTableDetail, static_cast<unsigned>(api.functions.size()),
                            static_cast<unsigned>(api.types.size()), static_cast<unsigned>(fields),
                            static_cast<unsigned>(enumerators), static_cast<unsigned>(api.events.size()));
}

// The endpoints as "GET /a, GET /b", or the first that is broken.
Outcome<std::string> CheckEndpoints(const ApiDescription& api) {
    if (api.functions.empty()) return Fail(kMsgCheckNoEndpoints);
    std::string detail;
    for (const FunctionInfo& function : api.functions) {
        const EndpointInfo& endpoint = function.endpoint;
        if (endpoint.pathTemplate.empty() || endpoint.pathTemplate[0] != '/') {
            return Fail(FormatPositional(kMsgCheckPath, function.name, endpoint.pathTemplate));
        }
        if (endpoint.locations.size() != function.arguments.size()) {
            return Fail(FormatPositional(kMsgCheckLocations, function.name));
        }
        if (!detail.empty()) detail += ", ";
        detail += MethodText(endpoint.method) + " " + endpoint.pathTemplate;
    }
    return detail;
}

// One load-init-shutdown in the already loaded image; fails with what broke.
Outcome<> Cycle(PluginLoadFn entry, MemoryCountersRecord& counters, PluginCallbacks& callbacks) {
    Timeline timeline(false, stdout);
    HostCore core(timeline, kPluginHandle);
    PluginLoadRecord record{};
    record.version[0] = kHostApiVersion[0];
    record.version[1] = kHostApiVersion[1];
    record.version[2] = kHostApiVersion[2];
    entry(&record);
    if (record.callbacks == nullptr || record.plugin == nullptr) return Fail(kMsgHandshakeNoCallbacks);
    callbacks = *record.callbacks;
    if (callbacks.init(record.plugin, core.Api()) == 0) return Fail(kMsgRunInitFailed);
    callbacks.shutdown(record.plugin);
    if (!core.Subscriptions().empty()) {
        return Fail(FormatPositional(kMsgStillSubscribed, core.Subscriptions().front().name));
    }
    core.Finish();
    if (Outcome<> clean = NoProblem(core); !clean.IsOk()) return clean;
    callbacks.memoryCounters(nullptr, &counters);
    if (counters.zero[0] != 0 || counters.zero[1] != 0) return Fail(kMsgCountersTrailingWords);
    return {};
}

// What a hundred cycles left live, or the first that broke.
Outcome<std::string> CheckCycles(const std::string& path) {
    // Opening it again reaches the image that is already loaded.
    PluginLibrary library;
    if (Outcome<> opened = library.Open(path); !opened.IsOk()) {
        return Fail(FormatPositional(kMsgLibraryOpen, path, opened.Error()));
    }
    auto entry = reinterpret_cast<PluginLoadFn>(library.Symbol("load_arx_content_targeting"));
    if (entry == nullptr) return Fail(FormatPositional(kMsgNoEntryPoint, path, "load_arx_content_targeting"));
    std::int64_t baseBytes = 0;
    std::int64_t baseBlocks = 0;
    for (unsigned cycle = 1; cycle <= kCycles; ++cycle) {
        MemoryCountersRecord counters{};
        PluginCallbacks callbacks{};
        if (Outcome<> cycled = Cycle(entry, counters, callbacks); !cycled.IsOk()) {
            return Fail(FormatPositional(kMsgCheckCycleFailed, cycle, cycled.Error()));
        }
        const auto bytes = static_cast<std::int64_t>(counters.totalBytesAllocated - counters.totalBytesFreed);
        const auto blocks = static_cast<std::int64_t>(counters.totalAllocations - counters.totalFrees);
        if (counters.totalFrees > counters.totalAllocations ||
            counters.peakLiveBytes < static_cast<std::uint64_t>(bytes)) {
            return Fail(FormatPositional(kMsgCheckCountersInconsistent, cycle));
        }
        if (cycle == 1) {
            baseBytes = bytes;
            baseBlocks = blocks;
        } else if (bytes != baseBytes || blocks != baseBlocks) {
            return Fail(FormatPositional(kMsgCheckCountersGrew, cycle, static_cast<long long>(bytes),
                                         static_cast<long long>(blocks), static_cast<long long>(baseBytes),
                                         static_cast<long long>(baseBlocks)));
        }
    }
    return FormatPositional(kMsgCheckCyclesDetail, kCycles, static_cast<long long>(baseBytes),
                            static_cast<long long>(baseBlocks));
}

int Check(const std::string& path) {
    std::printf("%s\n", FormatPositional(kMsgCheckHeader, path).c_str());
    Checker checker;
    Timeline timeline(false, stdout);
    HostCore core(timeline, kPluginHandle);
    PluginSession session(timeline, core);
    if (!checker.Report("load and handshake", session.Load(path), kMsgCheckLoadDetail)) return kExitFailed;
    if (!checker.Report("handshake outputs", CheckHandshake(session),
                        FormatPositional(kMsgCheckHandshakeDetail, session.FullName()))) {
        return kExitFailed;
    }
    const ApiDescription& api = session.Api();
    const Outcome<> described = api.problems.empty() ? Outcome<>() : Fail(api.problems.front());
    if (!checker.Report("host description", described, TableDetail(api))) return kExitFailed;
    if (!checker.Report("endpoint records", CheckEndpoints(api))) return kExitFailed;

    const bool initialized = session.Init();
    const std::size_t subscribed = core.Subscriptions().size();
    if (!checker.Report("init", initialized ? NoProblem(core) : Fail(kMsgRunInitFailed),
                        FormatPositional(kMsgCheckInitDetail, static_cast<unsigned>(subscribed)))) {
        return kExitFailed;
    }
    for (const FunctionInfo& function : api.functions) {
        if (function.endpoint.pathTemplate.find('{') != std::string::npos) continue;
        EndpointAnswer answer = session.Call(function, 2, function.endpoint.pathTemplate);
        const Outcome<> got = answer.failed ? Fail(answer.error) : NoProblem(core);
        if (!checker.Report("GET " + function.endpoint.pathTemplate, got, JsonText(answer.body, JsonLayout::Compact))) {
            return kExitFailed;
        }
    }
    EndpointAnswer unknown = session.Call(api.functions.front(), 2, kUnknownPath);
    const Outcome<> refused =
        !unknown.failed || unknown.status != 404
            ? Fail(FormatPositional(kMsgCheckUnknownPath, kUnknownPath, unknown.status, unknown.error))
            : NoProblem(core);
    if (!checker.Report("unknown path", refused,
                        FormatPositional(kMsgCheckUnknownDetail, kUnknownPath, unknown.error))) {
        return kExitFailed;
    }
    session.Shutdown();
    Outcome<> shutDown;
    if (!core.Subscriptions().empty()) {
        shutDown = Fail(FormatPositional(kMsgStillSubscribed, core.Subscriptions().front().name));
    }
    core.Finish();
    if (shutDown.IsOk()) shutDown = NoProblem(core);
    if (!checker.Report("shutdown", shutDown,
                        FormatPositional(kMsgCheckShutdownDetail, core.UnsubscribeCalls(), core.SubscribeCalls()))) {
        return kExitFailed;
    }
    if (!checker.Report("load-init-shutdown x100", CheckCycles(path))) return kExitFailed;
    if (!checker.Report("counters from a thread",
                        CheckCountersFromAnotherThread(path, session.Callbacks().memoryCounters))) {
        return kExitFailed;
    }
    std::printf("%s\n", FormatPositional(kMsgCheckPassed, checker.Count()).c_str());
    return kExitOk;
}

}  // namespace

void AddCheckCommand(CommandLine& line) {
    auto path = std::make_shared<std::string>();
    CLI::App& command =
        line.Add("check", "[--plugin PATH]", "verifies what a host relies on; exits non-zero at the first broken rule",
                 [path] { return Check(*path); });
    AddPluginOption(command, *path);
}

}  // namespace hpk::host
