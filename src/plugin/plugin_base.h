// PluginBase: the base class of every plugin of this family. It holds the
// handshake results, the bridge to the host's operations, the request client,
// resource-event subscriptions and publishing, telemetry and the service-proxy
// tables. The feature derives from it and overrides RegisterApi and Initialize.
//
// Threads: the host calls init, shutdown, event callbacks and request dispatch
// one at a time; the subscription, handler and listener tables have no lock and
// rely on that. Handlers may subscribe, watch and publish from inside a
// delivery (re-entrancy is normal: a watch delivers inside Initialize).
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/binding_value.h"
#include "boundary/abi/core_api.h"
#include "boundary/abi/host_description.h"
#include "boundary/abi/load_record.h"
#include "plugin/api_version.h"
#include "plugin/core_api.h"
#include "plugin/host_event_types.h"
#include "plugin/native_conversion.h"
#include "plugin/plugin_identity.h"
#include "platform/platform.h"
#include "plugin/request_client.h"
#include "router/request_method.h"

// MinGW gcc checks printf as the Microsoft runtime's unless told gnu_printf (the
// library formats with the C99 printf); clang checks the C99 formats anyway.
#if defined(__MINGW32__) && !defined(__clang__)
#define HPK_PLUGIN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define HPK_PLUGIN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace hpk {

class BindingTypeRegistry;
class BindingRouter;
class PluginLogTarget;
class ServedEndpoints;
class TelemetrySender;

// Value name under which a resource update's data is converted.
inline constexpr std::string_view kResourceValuePath = "<value>";
// Base event name every resource change is also published under.
inline constexpr std::string_view kJsonApiEventName = "OnJsonApiEvent";

using ResourceListener = std::function<void(const PluginResourceEvent& event)>;
using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse& response)>;

// FNV-1a 32-bit over the bytes, the hash of every string-keyed table here.
struct FnvStringHash {
    std::size_t operator()(std::string_view text) const noexcept;
};

// Host event name of a resource URI: "OnJsonApiEvent" joined by "_" with the
// URI's non-empty path pieces, at most 4 entries (6 under arx-platform-config).
// "/arx-login/v1/session" -> "OnJsonApiEvent_arx-login_v1_session".
std::string EventNameOfUri(std::string_view uri);

// Pattern test of watched URIs: "*" before more pattern matches any run of
// characters up to the next "/" (possibly empty); "*" at the end matches one or
// more characters without "/". "/a/*/c" matches "/a//c" but not "/a/b/x/c".
[[nodiscard]] bool UriMatchesPattern(std::string_view pattern, std::string_view uri);

// A handler entry of the event handler table. Shared: a running callback keeps
// its own reference while the table entry is replaced or erased.
struct EventHandlerEntry {
    HostSubscriptionKind kind = HostSubscriptionKind::Resource;
    ResourceListener onResource;         // kind Resource
    ServiceProxyHandler onServiceProxy;  // kind ServiceProxy
};

class PluginBase {
public:
    PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    // ---- The fifteen virtual operations, in slot order. ----

    // 0, 1: counted subscription of the URI's event name at the host. Every
    // Unsubscribe pairs with an earlier Subscribe of the same event name; an
    // unpaired one is ignored.
    virtual void Subscribe(std::string_view uri);
    virtual void Unsubscribe(std::string_view uri);
    // 2
    virtual ~PluginBase();
    // 3: unsubscribes every event at the host, then empties the handler,
    // service-proxy and listener tables.
    virtual void Shutdown();
    // 4..12: the only way the rest of the plugin calls the host (apart from the
    // log target). Before init each does nothing and returns 0.
    virtual void CoreRequest(HostResponse& response, const HostRequest& request);
    virtual std::uint32_t CoreSlot1(std::uint32_t a, std::uint32_t b);
    virtual std::uint32_t CorePostEvent(const HostOutgoingEvent& event);
    virtual std::uint32_t CoreSubscribe(const char* name, std::int32_t handle, HostEventCallback callback,
                                        void* context, HostSubscriptionKind kind);
    virtual std::uint32_t CoreUnsubscribe(const char* name, std::int32_t handle);
    virtual std::uint32_t CoreSlot5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e);
    virtual void CoreYield();
    virtual void CoreMarkBegin(const std::string& label, std::uint32_t value);
    virtual void CoreMarkEnd();
    // 13: register record types and served resources (Registry(), Router()).
    // Runs during the handshake, before the host can call anything else.
    virtual void RegisterApi();
    // 14: subscribe to inputs; the result becomes init's result.
    virtual bool Initialize();

    // ---- Requests through the host (synchronous; see request_client.h). ----

    // Performs the request; `response` (zeroed by the caller) is left filled and
    // the caller releases it and closes any stream.
    [[nodiscard]] RequestOutcome SendRequest(RequestMethod method, std::string_view url, HostResponse& response);
    // The response body (streamed bodies read and parsed as JSON) under "<result>".
    [[nodiscard]] FetchResult FetchValue(RequestMethod method, std::string_view url);
    // The body is ignored.
    [[nodiscard]] RequestOutcome CallResource(RequestMethod method, std::string_view url);
    // `parameters`: pairs of (name, native value); the values become the members
    // of one structure sent as the single positional argument. A value that does
    // not convert stops the request (code 400, nothing sent).
    template <class Map>
    [[nodiscard]] RequestOutcome CallWithParameters(RequestMethod method, std::string_view url, const Map& parameters);
    // The same with the structure already built (or failed) in `parameters`.
    [[nodiscard]] RequestOutcome CallWithParameterValue(RequestMethod method, std::string_view url,
                                                        const BindingResult& parameters);
    // Reads the response's stream to the end in 4096-byte chunks, parses it as
    // JSON into `result`, and closes the stream in every case.
    void ReadStreamedBody(BindingResult& result, HostResponse& response);
    // Lets the host run while waiting for stream data ("Wait: yield" section).
    void WaitYield();

    // ---- Resource events. ----

    // Registers `listener` for an exact URI or a pattern containing "*"
    // (replacing an earlier one under the same text), subscribes, and for an
    // exact URI fetches the resource and delivers it as Create at once (a failed
    // fetch delivers nothing; the subscription stays).
    void Watch(std::string_view uri, ResourceListener listener);
    // Typed watch: `handler(const ResourceUpdate<T>&)` gets `data` converted to T
    // under "<value>"; an update that does not convert is dropped (trace only).
    // For Delete no conversion is tried and the record is default-constructed.
    template <class T, class Handler>
    void Watch(std::string_view uri, Handler handler);

    // Stores the handler entry under `name` (replacing an earlier one) and
    // subscribes at the host with the callback of the entry's kind.
    void RegisterEventHandler(std::string_view name, ResourceListener handler);
    void RegisterEventHandler(std::string_view name, ServiceProxyHandler handler);

    // Posts {uri, eventType, data} under the URI's event name and, when
    // different, under `baseName`. Returns the conversion message on failure
    // (nothing posted then).
    [[nodiscard]] std::optional<std::string> PublishEvent(std::string_view baseName, const PluginResourceEvent& event,
                                                          std::uint32_t value = 0);
    // Converts `record` through the registry and publishes it under "OnJsonApiEvent".
    template <class T>
    [[nodiscard]] std::optional<std::string> PublishResource(std::string_view uri, PluginResourceEventType eventType,
                                                             const T& record);

    // ---- Service-proxy handlers (see service_proxy.cpp). ----

    // One-shot handler for the response stored under `key` (a uuid or
    // "service.method"); runs at once when that response is already stored.
    void AddPendingServiceProxyHandler(std::string_view key, ServiceProxyHandler handler);
    // Persistent handler for async messages under "service.method".
    void AddAsyncServiceProxyHandler(std::string_view key, ServiceProxyHandler handler);
    // The three event handlers; also reachable through the host's events.
    void OnServiceProxyUuid(const PluginServiceProxyResponse& response);
    void OnServiceProxyMethod(const PluginServiceProxyResponse& response);
    void OnServiceProxyAsync(const PluginServiceProxyResponse& response);
    // Stored responses nobody has claimed yet (tests, diagnostics).
    std::size_t StoredServiceProxyResponseCount();

    // ---- Identity, registry, services. ----

    const std::string& FullName() const { return fullName_; }
    const PluginIdentity& Identity() const { return identity_; }
    const std::string& ApiName() const { return apiName_; }
    const std::vector<std::string>& ApiTags() const { return apiTags_; }
    const std::string& UserAgent() const { return userAgent_; }
    const ApiVersion& CoreVersion() const { return coreVersion_; }
    std::int32_t PluginHandle() const { return pluginHandle_; }
    bool IsShuttingDown() const { return shuttingDown_ != 0; }
    // The plugin's own registry; lives as long as the plugin. The router is the
    // same object seen as the request router (include router/binding_router.h
    // to serve GETs: Router().ServeGet(path, handler, ApiTags())).
    BindingTypeRegistry& Registry();
    BindingRouter& Router();
    // Null before init.
    TelemetrySender* Telemetry() { return telemetry_.get(); }

    // Debug trace hook: printf-style, discarded unless a test installed a sink.
    void Trace(const char* format, ...) const HPK_PLUGIN_PRINTF(2, 3);
    void SetTraceSink(std::function<void(const std::string& line)> sink) { traceSink_ = std::move(sink); }

    // Clock seam: 100-nanosecond ticks since 1970-01-01 UTC; the system clock
    // unless a test installed another.
    std::int64_t Now() const;
    void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

    // ---- Framework use: the loader and the host callbacks. ----

    // Runs the handshake and fills `record`. Returns false only when the core
    // is incompatible (the caller then terminates the process).
    [[nodiscard]] bool Handshake(PluginLoadRecord& record, std::string_view shortName);
    // Everything init does; returns Initialize's result.
    [[nodiscard]] bool HandleInit(const HostApi& api);
    // Sets the shutting-down flag and runs Shutdown; the caller deletes the object.
    void HandleShutdown();
    // Decoded event deliveries (the C callbacks forward here).
    void DeliverHostEvent(const HostEvent& event);
    // The dispatcher that Subscribe registers for every resource event name.
    void DispatchResourceEvent(const PluginResourceEvent& event);
    const HostTableRecord& HostTable() const { return hostTable_; }
    PluginCallbacks& Callbacks() { return callbacks_; }

private:
    using ListenerPtr = std::shared_ptr<const ResourceListener>;
    using HandlerPtr = std::shared_ptr<const EventHandlerEntry>;

    void StoreEventHandler(std::string_view name, HandlerPtr entry);
    void InstallLogTarget();
    void RunServiceProxyFulfilment();

    // Exact-URI and wildcard listeners (shared so a running listener outlives
    // its replacement).
    std::unordered_map<std::string, ListenerPtr, FnvStringHash> exactListeners_;
    std::map<std::string, ListenerPtr> wildcardListeners_;  // walked in pattern order
    std::unique_ptr<BindingRouter> router_;                 // the plugin's registry; lives until destruction
    std::int32_t pluginHandle_ = 0;
    std::string fullName_;
    std::string userAgent_;
    std::unique_ptr<TelemetrySender> telemetry_;
    std::unordered_map<std::string, HandlerPtr, FnvStringHash> eventHandlers_;
    std::unordered_map<std::string, std::int32_t, FnvStringHash> subscriptionCounts_;
    // Service-proxy tables, all under serviceProxyMutex_ (recursive: a handler
    // running under it may register another handler). The platform's lock, not
    // std::recursive_mutex: with the Windows threads library that one takes a
    // heap block on first use and never gives it back.
    platform::RecursiveLock serviceProxyMutex_;
    std::unordered_map<std::string, ServiceProxyHandler, FnvStringHash> pendingServiceProxyHandlers_;
    std::unordered_map<std::string, ServiceProxyHandler, FnvStringHash> asyncServiceProxyHandlers_;
    std::vector<std::pair<std::string, PluginServiceProxyResponse>> receivedServiceProxyResponses_;
    std::uint8_t shuttingDown_ = 0;
    ApiVersion coreVersion_;
    std::unique_ptr<PluginLogTarget> logTarget_;  // owned; attached to the log manager after init
    PluginIdentity identity_;
    std::string apiName_;
    std::vector<std::string> apiTags_;
    HostCoreApi core_;  // null table until init
    PluginCallbacks callbacks_;
    HostTableRecord hostTable_{};                 // lives until shutdown
    std::unique_ptr<ServedEndpoints> endpoints_;  // the endpoint records hostTable_ points to
    std::function<void(const std::string&)> traceSink_;
    std::function<std::int64_t()> clock_;
};

// ---- Template definitions. ----

template <class Map>
RequestOutcome PluginBase::CallWithParameters(RequestMethod method, std::string_view url, const Map& parameters) {
    BindingResult structure;
    structure.Value().MakeStructure();
    for (const auto& [name, value] : parameters) {
        BindingResult member;
        WriteNative(member, value, Registry());
        if (!member.IsOk()) {
            structure.SetError(member.ErrorText());
            break;
        }
        member.TakeValue(structure.Value().Member(name));
    }
    return CallWithParameterValue(method, url, structure);
}

template <class T, class Handler>
void PluginBase::Watch(std::string_view uri, Handler handler) {
    Watch(uri, ResourceListener([this, handler = std::move(handler)](const PluginResourceEvent& event) {
              ResourceUpdate<T> update;
              update.uri = event.uri;
              update.eventType = event.eventType;
              if (event.eventType != PluginResourceEventType::Delete) {
                  BindingResult result;
                  ReadNative(result, update.data, event.data, kResourceValuePath, Registry());
                  if (!result.IsOk()) {
                      Trace("Couldn't convert resource %s to C++ while handling update for URL: %s",
                            NativeTypeName<T>(Registry()).c_str(), event.uri.c_str());
                      return;
                  }
              }
              handler(static_cast<const ResourceUpdate<T>&>(update));
          }));
}

template <class T>
std::optional<std::string> PluginBase::PublishResource(std::string_view uri, PluginResourceEventType eventType,
                                                       const T& record) {
    BindingResult converted;
    WriteNative(converted, record, Registry());
    if (!converted.IsOk()) return converted.ErrorText();
    PluginResourceEvent event;
    event.uri = std::string(uri);
    event.eventType = eventType;
    converted.TakeValue(event.data);
    return PublishEvent(kJsonApiEventName, event, 0);
}

}  // namespace hpk
