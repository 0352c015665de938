// The reference host's side of CoreApi: the table the plugin calls for
// requests, subscriptions, events, yields, wait sections and log lines. It
// serves resources from a store that scenarios fill, delivers resource events
// to the plugin's subscriptions, and records every call in the timeline.
// Single-threaded, like the client's plugin thread.
#pragma once
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_value.h"
#include "text/host_messages.h"
#include "boundary/abi/load_record.h"
#include "scenario/scenario.h"
#include "host/host_reports.h"
#include "host/resource_store.h"
#include "host/timeline.h"

namespace hpk::host {

struct Subscription {
    std::string name;
    std::int32_t pluginHandle = 0;
    HostEventCallback callback = nullptr;
    void* context = nullptr;
    std::uint32_t kind = 0;  // 0 resource events, 1 service-proxy events
};

struct PostedEvent {
    std::string name;
    BindingValue payload;
    std::uint32_t value = 0;  // the number posted beside the payload
};

struct TelemetryEvent {
    std::string name;
    BindingValue fields;  // structure of the posted fields
};

struct RequestRecord {
    std::string method;  // "GET", "POST", ... ("" for no method)
    std::string url;
    std::int32_t status = 0;
    bool failed = false;  // answered with an error
};

struct LogLine {
    std::int32_t level = 0;
    std::string text;
};

// One argument of a request as read: its name (none: positional) and value
// (empty when the record could not be read).
struct RequestArgument {
    std::optional<std::string> name;
    BindingValue value;
};

// A layer over the core (the test host records and scripts through it) hears
// of every call once the core has read it, and may answer requests itself.
// Every method does nothing by default.
class HostCoreListener {
public:
    virtual ~HostCoreListener() = default;
    // A request as read; `url` is the marker text when unreadable.
    virtual void Requested(const HostRequest& request, const std::string& url,
                           const std::vector<RequestArgument>& arguments) {}
    // Fills the zeroed `response` and returns true, or returns false to leave
    // it to the store. The core adds its release routine when none is set.
    virtual bool Answer(HostResponse& response, const std::string& url) { return false; }
    // The request is answered and about to return to the plugin. `served` is
    // what the host answered with: the store's entry, a 404 for a URI nobody
    // serves, an empty 200 for telemetry; a layer's own answer as its status
    // and error. Valid for the call only.
    virtual void Answered(const RequestRecord& request, const ResourceAnswer& served) {}
    // An event is about to reach one of the plugin's subscriptions, and has
    // reached it. `payload` is null for a record delivered as it is.
    virtual void Delivering(const std::string& name, const BindingValue* payload) {}
    virtual void Delivered(const std::string& name) {}
    virtual void Subscribed(const Subscription& subscription) {}
    virtual void Unsubscribed(const std::string& name) {}
    virtual void Posted(const PostedEvent& event) {}
    virtual void Yielded() {}
    virtual void MarkBegun(const std::string& label, std::uint32_t value) {}
    virtual void MarkEnded() {}
    virtual void Logged(const LogLine& line) {}
};

// Event name of a resource URI: "OnJsonApiEvent" joined by "_" with the
// URI's non-empty path segments, 4 entries at most (6 when the second entry
// is "arx-platform-config"). Written here, apart from the plugin, so that a
// fault in either side shows.
std::string ResourceEventName(const std::string& uri);

// Name of a method code ("GET"), "" for 0 and 8, "#N" for codes outside 0..8.
std::string MethodText(std::uint32_t method);

// Name of a log level ("ERROR"), or its number.
std::string LogLevelText(std::int32_t level);

class HostCore : public HostReports {
public:
    HostCore(Timeline& timeline, std::int32_t pluginHandle);
    ~HostCore();
    HostCore(const HostCore&) = delete;
    HostCore& operator=(const HostCore&) = delete;

    // What `init` receives; valid as long as this object.
    const HostApi* Api() const { return &api_; }

    // Layers told of every call, in the order they began listening; the
    // first that answers a request answers it.
    void Listen(HostCoreListener* listener);
    void StopListening(HostCoreListener* listener);

    // The store of served resources; a URI served by nobody answers 404.
    void Serve(const std::string& uri, const ResourceAnswer& answer) { store_.Serve(uri, answer); }
    void Unserve(const std::string& uri) { store_.Unserve(uri); }

    // Posts a resource event {uri, eventType, data} under the URI's event name
    // to every subscriber of that name. `eventType` is "Create", "Update" or
    // "Delete". Returns the number of subscribers it reached.
    std::size_t DeliverResourceEvent(const std::string& uri, const std::string& eventType, const BindingValue& data);

    // Posts an event named `name` with `payload` as it is to its subscribers
    // (any event, any payload: how a scenario sends what no resource change
    // would). Returns the number of subscribers it reached.
    std::size_t DeliverEvent(const std::string& name, const BindingValue& payload);

    // Posts `payload` to the subscribers of `name` as the record it is, also
    // one no value could be built into (a broken one, to see the plugin
    // refuse it). Returns the number of subscribers it reached.
    std::size_t DeliverRecord(const std::string& name, const HostValue& payload);

    // A body read in `chunks`, one per read (split when the reader's buffer
    // or `maxRead`, if not 0, is smaller); read `failAtRead` (1-based, 0
    // never) fails. The core owns the stream until it is closed.
    void OpenStream(HostResponse& response, const std::string& url, std::vector<std::string> chunks,
                    std::uint32_t failAtRead, std::uint64_t sizeHint, std::uint32_t maxRead = 0) {
        store_.OpenStream(response, url, std::move(chunks), failAtRead, sizeHint, maxRead);
    }
    // Sets `status` and an error text the release routine frees.
    static void SetError(HostResponse& response, std::int32_t status, const std::string& text) {
        ResourceStore::SetError(response, status, text);
    }
    std::size_t OpenStreamCount() const { return store_.OpenStreamCount(); }
    std::size_t StreamCloses() const { return store_.StreamCloses(); }
    // Responses released through the core's routine since the process started.
    static std::int64_t ReleasedResponses() { return ResourceStore::ReleasedResponses(); }

    const std::vector<Subscription>& Subscriptions() const { return subscriptions_; }
    bool IsSubscribed(const std::string& name) const;
    const std::vector<PostedEvent>& Posted() const { return posted_; }
    const std::vector<TelemetryEvent>& Telemetry() const { return telemetry_; }
    const std::vector<RequestRecord>& Requests() const { return requests_; }
    const std::vector<LogLine>& Logs() const { return logs_; }
    std::uint32_t SubscribeCalls() const { return subscribeCalls_; }
    std::uint32_t UnsubscribeCalls() const { return unsubscribeCalls_; }

    // Boundary rules the plugin broke, in the order seen (an unbalanced wait
    // section, unsubscribing what it never subscribed, an unreadable payload,
    // a stream left open, a response never released ...).
    const std::vector<std::string>& Problems() const { return problems_; }
    // Records a broken boundary rule (also shown in the timeline).
    void Problem(std::string text) override;
    // Records problems for whatever is still open (streams, wait sections,
    // unreleased responses) and closes the streams. Called after shutdown.
    void Finish();
    // Forgets what was recorded (requests, posts, telemetry, logs, problems),
    // keeping subscriptions, streams and the store.
    void ClearRecords();

    Timeline& Log() override { return timeline_; }

private:
    struct Table {
        CoreApi api;  // first: the plugin hands this address back
        HostCore* owner;
    };
    static HostCore& From(CoreApi* self);

    static void OnRequest(CoreApi* self, HostResponse* response, const HostRequest* request);
    static std::uint32_t OnSlot1(CoreApi* self, std::uint32_t a, std::uint32_t b);
    static std::uint32_t OnPostEvent(CoreApi* self, const HostOutgoingEvent* event);
    static std::uint32_t OnSubscribe(CoreApi* self, const char* name, std::int32_t handle, HostEventCallback callback,
                                     void* context, std::uint32_t kind);
    static std::uint32_t OnUnsubscribe(CoreApi* self, const char* name, std::int32_t handle);
    static std::uint32_t OnSlot5(CoreApi* self, std::uint32_t a, std::uint32_t b, std::uint32_t c, double d,
                                 std::uint32_t e);
    static void OnYield(CoreApi* self);
    static void OnMarkBegin(CoreApi* self, const char* label, std::uint32_t value);
    static void OnMarkEnd(CoreApi* self);
    static void OnLog(CoreApi* self, std::int32_t level, const char* message);

    void HandleRequest(HostResponse& response, const HostRequest& request);
    void PostEvent(const HostOutgoingEvent* event);
    void Subscribe(const char* name, std::int32_t handle, HostEventCallback callback, void* context,
                   std::uint32_t kind);
    std::uint32_t Unsubscribe(const char* name, std::int32_t handle);
    void Deliver(const std::string& name, const BindingValue& payload);
    // `payload`: what `value` was built from, for the layers; null when none.
    std::size_t DeliverBuilt(const std::string& name, const HostValue& value, const BindingValue* payload);
    template <class Call>
    void Tell(Call&& call) {
        // By index: a layer may stop listening while it is told.
        for (std::size_t i = 0; i < listeners_.size(); ++i) call(*listeners_[i]);
    }

    Timeline& timeline_;
    Table table_;
    HostApi api_;
    ResourceStore store_;
    std::vector<Subscription> subscriptions_;
    std::vector<PostedEvent> posted_;
    std::vector<TelemetryEvent> telemetry_;
    std::vector<RequestRecord> requests_;
    std::vector<LogLine> logs_;
    std::vector<std::string> problems_;
    std::vector<std::string> marks_;  // open wait sections, innermost last
    std::vector<HostCoreListener*> listeners_;
    std::uint32_t subscribeCalls_ = 0;
    std::uint32_t unsubscribeCalls_ = 0;
};

}  // namespace hpk::host
