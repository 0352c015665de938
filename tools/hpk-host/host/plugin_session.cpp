// Driving one loaded plugin through its entry point and its records.
#include "host/plugin_session.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "binding/type_registration.h"
#include "diagnostics/positional_format.h"
#include "text/host_messages.h"
#include "host/host_value_io.h"
#include "host/record_value.h"

namespace hpk::host {

namespace {

constexpr char kEntryPoint[] = "load_arx_content_targeting";
constexpr std::size_t kMaxStreamedBody = std::size_t{64} << 20;

bool AllZero(const HostResponse& response) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&response);
    return std::all_of(bytes, bytes + sizeof(HostResponse), [](unsigned char b) { return b == 0; });
}

// The counters record's members as the report names them (its trailing
// zero words left out), registered once and kept to the end.
const BindingTypeRegistry& CountersRegistry() {
    static BindingTypeRegistry* const registry = [] {
        auto* made = new BindingTypeRegistry;
        using Counters = MemoryCountersRecord;
        RegisterStruct<Counters>(
            *made, "HostMemoryCounters",
            {Field("peakLiveBytes", &Counters::peakLiveBytes), Field("peakLiveBlocks", &Counters::peakLiveBlocks),
             Field("totalBytesAllocated", &Counters::totalBytesAllocated),
             Field("totalAllocations", &Counters::totalAllocations),
             Field("totalBytesFreed", &Counters::totalBytesFreed), Field("totalFrees", &Counters::totalFrees)});
        return made;
    }();
    return *registry;
}

std::string VersionText(const std::uint32_t* version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]);
}

}  // namespace

Outcome<> ReadLoadRecord(const PluginLoadRecord& record, PluginCallbacks& callbacks, std::string& fullName,
                         ApiDescription& api) {
    if (record.callbacks == nullptr || !IsReadable(record.callbacks, sizeof(PluginCallbacks))) {
        return Fail(kMsgHandshakeNoCallbacks);
    }
    callbacks = *record.callbacks;
    if (callbacks.init == nullptr || callbacks.shutdown == nullptr || callbacks.memoryCounters == nullptr) {
        return Fail(kMsgHandshakeNullCallback);
    }
    if (!ReadTextSafely(record.fullName, 4096, fullName)) return Fail(kMsgHandshakeNoName);
    if (Outcome<> table = ReadApiDescription(record.hostTable, api); !table.IsOk()) {
        return Fail(FormatPositional(kMsgHandshakeTable, table.Error()));
    }
    return {};
}

PluginSession::~PluginSession() = default;

Outcome<> PluginSession::Load(const std::string& path) {
    timeline_.Record("load", FormatPositional(kMsgLoadLibrary, path));
    if (Outcome<> opened = library_.Open(path); !opened.IsOk()) {
        return Fail(FormatPositional(kMsgLibraryOpen, path, opened.Error()));
    }
    auto entry = reinterpret_cast<PluginLoadFn>(library_.Symbol(kEntryPoint));
    if (entry == nullptr) return Fail(FormatPositional(kMsgNoEntryPoint, path, kEntryPoint));
    record_ = PluginLoadRecord{};
    std::copy(std::begin(kHostApiVersion), std::end(kHostApiVersion), record_.version);
    {
        TimelineDepth depth(timeline_);
        entry(&record_);
    }
    loaded_ = true;
    plugin_ = record_.plugin;
    if (Outcome<> read = ReadLoadRecord(record_, callbacks_, fullName_, api_); !read.IsOk()) return read;
    timeline_.Record(
        "handshake",
        FormatPositional(kMsgHandshakeSummary, fullName_, VersionText(record_.version),
                         static_cast<unsigned>(api_.functions.size()), static_cast<unsigned>(api_.types.size()),
                         static_cast<unsigned>(api_.events.size())),
        {}, Facts({{"name", fullName_}, {"version", VersionText(record_.version)}}));
    for (const std::string& problem : api_.problems) core_.Problem(problem);
    return {};
}

bool PluginSession::Init() {
    timeline_.Record("init", FormatPositional(kMsgInitCall, core_.Api()->pluginHandle));
    std::uint8_t result = 0;
    {
        TimelineDepth depth(timeline_);
        result = callbacks_.init(plugin_, core_.Api());
    }
    initialized_ = result != 0;
    timeline_.Record("init", initialized_ ? kMsgInitTrue : kMsgInitFalse, {},
                     Facts({{"result", initialized_ ? "true" : "false"}}));
    return initialized_;
}

EndpointAnswer PluginSession::Get(const std::string& url) {
    const std::string path = url.substr(0, url.find('?'));
    const FunctionInfo* function = FindEndpoint(api_, path, 2);
    if (function == nullptr) {
        EndpointAnswer answer;
        answer.error = FormatPositional(kMsgNoEndpoint, path);
        timeline_.Record("get", "GET " + url + "  ->  " + answer.error);
        return answer;
    }
    return Call(*function, 2, url);
}

EndpointAnswer PluginSession::Call(const FunctionInfo& function, std::uint32_t method, const std::string& url) {
    EndpointAnswer answer;
    answer.reached = true;
    HostRequest request{};
    request.method = method;
    request.url = url.c_str();
    request.endpointUserData = function.endpoint.userData;
    request.callerHandle = kHostCallerHandle;
    HostResponse response;
    std::memset(&response, 0, sizeof(response));
    const std::string call = MethodText(method) + " " + url;
    if (function.endpoint.callback == nullptr) {
        answer.failed = true;
        answer.error = FormatPositional(kMsgEndpointNoCallback, function.name);
        timeline_.Record("get", call + "  ->  " + answer.error);
        return answer;
    }
    {
        TimelineDepth depth(timeline_);
        function.endpoint.callback(&response, &request);
    }
    answer.status = response.status;
    if (response.error != nullptr) {
        answer.failed = true;
        if (!ReadTextSafely(response.error, 1 << 20, answer.error)) answer.error = kMsgUnreadableText;
    }
    Outcome<BindingValue> body = ReadHostValue(response.body);
    if (body.IsOk()) {
        answer.body = std::move(body.Value());
    } else {
        core_.Problem(FormatPositional(kMsgAnswerBodyBroken, call, body.Error()));
    }
    if (response.streamRead != nullptr) {
        answer.streamed = true;
        std::string text;
        char buffer[4096];
        bool more = true;
        while (more && text.size() < kMaxStreamedBody) {
            std::uint32_t size = sizeof(buffer);
            if (!response.streamRead(response.stream, buffer, &size, &more)) {
                core_.Problem(FormatPositional(kMsgAnswerStreamFailed, call));
                break;
            }
            text.append(buffer, std::min<std::size_t>(size, sizeof(buffer)));
        }
        if (response.streamClose != nullptr) response.streamClose(response.stream);
        answer.body.SetString(text);
    }
    if (response.release == nullptr) {
        core_.Problem(FormatPositional(kMsgAnswerNoRelease, call));
    } else {
        {
            TimelineDepth depth(timeline_);
            response.release(&response);
        }
        if (!AllZero(response)) core_.Problem(FormatPositional(kMsgAnswerNotZeroed, call));
    }
    // Served handlers set no status unless they fail: 0 with no error is a success.
    std::string summary = call + "  ->  ";
    summary += answer.failed        ? std::to_string(answer.status) + " " + answer.error
               : answer.status == 0 ? std::string(kMsgAnswerOk)
                                    : std::to_string(answer.status);
    BindingValue detail = Facts({{"method", MethodText(method)}, {"url", url}});
    detail.Member("status").SetSigned(answer.status);
    if (answer.failed) detail.Member("error").SetString(answer.error);
    timeline_.Record("get", summary, answer.body, std::move(detail));
    return answer;
}

MemoryCountersRecord PluginSession::Counters() {
    MemoryCountersRecord counters{};
    if (loaded_ && callbacks_.memoryCounters != nullptr) callbacks_.memoryCounters(plugin_, &counters);
    if (counters.zero[0] != 0 || counters.zero[1] != 0) core_.Problem(kMsgCountersTrailingWords);
    return counters;
}

MemoryCountersRecord PluginSession::RecordCounters(const std::string& label) {
    const MemoryCountersRecord counters = Counters();
    const std::uint64_t liveBytes = counters.totalBytesAllocated - counters.totalBytesFreed;
    const std::uint64_t liveBlocks = counters.totalAllocations - counters.totalFrees;
    timeline_.Record("memory",
                     FormatPositional(kMsgCountersSummary, label, static_cast<unsigned long long>(liveBytes),
                                      static_cast<unsigned long long>(liveBlocks),
                                      static_cast<unsigned long long>(counters.peakLiveBytes),
                                      static_cast<unsigned long long>(counters.totalAllocations)),
                     CountersValue(counters));
    return counters;
}

void PluginSession::Shutdown() {
    if (!loaded_ || shutDown_ || callbacks_.shutdown == nullptr) return;
    timeline_.Record("shutdown", kMsgShutdownCall);
    {
        TimelineDepth depth(timeline_);
        callbacks_.shutdown(plugin_);
    }
    shutDown_ = true;
    plugin_ = nullptr;
}

BindingValue CountersValue(const MemoryCountersRecord& counters) {
    BindingValue value = RecordValue(counters, CountersRegistry());
    value.Member("liveBytes")
        .SetSigned(static_cast<std::int64_t>(counters.totalBytesAllocated - counters.totalBytesFreed));
    value.Member("liveBlocks").SetSigned(static_cast<std::int64_t>(counters.totalAllocations - counters.totalFrees));
    return value;
}

void PlayStepAtOnce(HostCore& core, PluginSession& session, const ScenarioStep& step) {
    switch (step.kind) {
        case ScenarioStep::Kind::Update:
            core.Serve(step.uri, step.answer);
            core.DeliverResourceEvent(step.uri, step.eventType, step.answer.value);
            return;
        case ScenarioStep::Kind::Delete:
            core.Unserve(step.uri);
            core.DeliverResourceEvent(step.uri, "Delete", BindingValue{});
            return;
        case ScenarioStep::Kind::Serve: core.Serve(step.uri, step.answer); return;
        case ScenarioStep::Kind::Get: session.Get(step.uri); return;
        case ScenarioStep::Kind::Post: core.DeliverEvent(step.uri, step.answer.value); return;
        case ScenarioStep::Kind::Wait:
        case ScenarioStep::Kind::Expect: return;
    }
}

}  // namespace hpk::host
