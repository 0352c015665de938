// FakeHost: a stand-in for the plugin host in tests, as a recording and
// scripting layer over the reference host's core. The core holds the CoreApi
// table the plugin calls, reads its records and values, keeps subscriptions,
// delivers events and streams bodies; this layer answers requests from
// scripted resources (a body value, an error, a streamed body in chunks, or a
// response filled by the test), records every call in its own terms, and
// calls endpoint records' request callbacks. FakePluginSession loads a plugin
// through the loader and runs its init and shutdown callbacks against a
// FakeHost. LeakCheck compares the counting allocator before and after a test.
//
// One thread; a FakeHost must outlive the plugin it serves.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "host/host_core.h"
#include "boundary/abi/core_api.h"
#include "boundary/abi/host_description.h"
#include "boundary/abi/load_record.h"
#include "plugin/host_event_types.h"
#include "plugin/plugin_loader.h"
#include "host/timeline.h"

namespace hpk {

class PluginBase;

// The error text of a request for a url nobody scripted (status 404).
inline constexpr const char kFakeHostNoResource[] = "No resource at this url";

class FakeHost : private host::HostCoreListener {
public:
    using RecordedArgument = host::RequestArgument;  // name none: positional
    struct RecordedRequest {
        std::uint32_t method = 0;
        std::string url;
        std::int32_t callerHandle = 0;
        std::vector<RecordedArgument> arguments;
        bool hadEndpointUserData = false;
    };
    using RecordedSubscription = host::Subscription;
    using RecordedEvent = host::PostedEvent;  // the posted HostValue read back
    using LogLine = host::LogLine;
    // What a served request produced, read back from the HostResponse.
    struct ServedResponse {
        std::optional<std::string> error;
        std::int32_t status = 0;
        BindingValue body;
        std::string streamed;   // the body stream's bytes, when there was one
        bool released = false;  // the response carried a release routine and it ran
    };

    explicit FakeHost(std::int32_t pluginHandle = 7);
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    CoreApi* Table() { return core_.Api()->core; }
    const HostApi& Api() const { return *core_.Api(); }

    // ---- Scripted resources, by url exactly as requested (query included). ----
    void ServeValue(std::string url, const BindingValue& body);
    void ServeError(std::string url, std::int32_t status, std::string message);
    // Chunks are delivered one per read ("more" set while chunks remain; a chunk
    // larger than the reader's buffer is split). `failAtRead` (0-based) makes
    // that read return false.
    void ServeStream(std::string url, std::vector<std::string> chunks, std::optional<std::size_t> failAtRead = {},
                     std::uint64_t sizeHint = 0);
    // An error response that also carries a stream (which the reader must close).
    void ServeStreamedError(std::string url, std::int32_t status, std::string message, std::vector<std::string> chunks);
    // Fills the response itself (a release routine is added when it sets none).
    void ServeCustom(std::string url, std::function<void(HostResponse& response)> fill);
    void Forget(const std::string& url);

    // ---- What the plugin did. ----
    const std::vector<RecordedRequest>& Requests() const { return requests_; }
    const std::vector<RecordedSubscription>& SubscribeCalls() const { return subscribeCalls_; }
    const std::vector<std::string>& UnsubscribeCalls() const { return unsubscribeCalls_; }
    const std::vector<RecordedEvent>& PostedEvents() const { return core_.Posted(); }
    const std::vector<LogLine>& Logs() const { return core_.Logs(); }
    // Every call in order: "Request GET /a", "PostEvent name", "Subscribe name 0",
    // "Unsubscribe name", "Yield", "MarkBegin Wait: yield 0", "MarkEnd", "Log 2".
    const std::vector<std::string>& Calls() const { return calls_; }
    bool IsSubscribed(std::string_view name) const;
    std::size_t ActiveSubscriptionCount() const { return core_.Subscriptions().size(); }
    // Responses handed out minus responses released.
    std::int64_t UnreleasedResponses() const;
    // Streams handed out and not yet closed; total closes.
    std::size_t OpenStreams() const { return core_.OpenStreamCount(); }
    std::size_t StreamCloses() const { return core_.StreamCloses(); }
    void ClearRecords();
    // Drops every scripted resource (and the values they hold).
    void ClearScripts() { scripts_.clear(); }

    // Runs inside the Yield slot (to interleave work with a streamed read).
    void SetYieldHook(std::function<void()> hook) { yieldHook_ = std::move(hook); }

    // ---- Deliveries. ----
    // Calls the callback subscribed under `name` with `payload`; false when none is.
    bool DeliverEvent(const std::string& name, const BindingValue& payload);
    bool DeliverRawEvent(const std::string& name, const HostValue& payload);
    // A resource event {uri, eventType (by name), data} under `eventName`, by
    // default the event name of the uri.
    bool DeliverResourceEvent(const std::string& uri, PluginResourceEventType type, const BindingValue& data,
                              std::optional<std::string> eventName = {});
    // A PluginServiceProxyResponse under one of the three service-proxy events.
    bool DeliverServiceProxyEvent(const std::string& eventName, const PluginServiceProxyResponse& response);

    // ---- Served requests. ----
    static const HostEndpointRecord* FindEndpoint(const HostTableRecord& table, std::string_view pathTemplate);
    ServedResponse CallEndpoint(const HostEndpointRecord& endpoint, std::uint32_t method, const std::string& url,
                                std::int32_t callerHandle = 0);

private:
    struct Script;

    // What the core tells of each call.
    void Requested(const HostRequest& request, const std::string& url,
                   const std::vector<RecordedArgument>& arguments) override;
    bool Answer(HostResponse& response, const std::string& url) override;
    void Subscribed(const RecordedSubscription& subscription) override;
    void Unsubscribed(const std::string& name) override;
    void Posted(const RecordedEvent& event) override;
    void Yielded() override;
    void MarkBegun(const std::string& label, std::uint32_t value) override;
    void MarkEnded() override;
    void Logged(const LogLine& line) override;

    host::Timeline timeline_{false, nullptr, false};  // the records below are the test's view
    host::HostCore core_;
    std::map<std::string, std::shared_ptr<Script>> scripts_;
    std::vector<RecordedRequest> requests_;
    std::vector<RecordedSubscription> subscribeCalls_;
    std::vector<std::string> unsubscribeCalls_;
    std::vector<std::string> calls_;
    std::function<void()> yieldHook_;
    std::int64_t responsesHanded_ = 0;
    std::int64_t releasesAtStart_ = 0;
};

// Loads a plugin through the loader against a FakeHost and drives its callbacks.
class FakePluginSession {
public:
    explicit FakePluginSession(FakeHost& host) : host_(host) {}
    ~FakePluginSession();  // shuts the plugin down when a test left it loaded

    // Runs the loader with `factory` (or the library's own plugin when null)
    // and a core version; true when the load record came back filled.
    bool Load(PluginFactory factory = nullptr, std::uint32_t major = 18, std::uint32_t minor = 0,
              std::uint32_t patch = 0);
    bool Init();
    void Shutdown();

    bool IsLoaded() const { return record_.plugin != nullptr; }
    PluginBase& Plugin() const { return *static_cast<PluginBase*>(record_.plugin); }
    const PluginLoadRecord& Record() const { return record_; }
    MemoryCountersRecord Counters() const;

private:
    FakeHost& host_;
    PluginLoadRecord record_{};
};

// Live blocks of the counting allocator at construction; Balanced() compares.
class LeakCheck {
public:
    LeakCheck();
    std::int64_t BlockDelta() const;
    std::int64_t ByteDelta() const;

private:
    std::int64_t blocks_;
    std::int64_t bytes_;
};

}  // namespace hpk
