// ResourceEvents: the plugin's side of resource events. Event names of URIs,
// counted subscriptions at the host, the handler table behind the host's event
// callbacks, the exact-URI and pattern listeners, and publishing of the
// plugin's own changes.
//
// Threads: the host delivers events, init and shutdown one at a time; the
// tables have no lock and rely on that. Handlers may subscribe, watch and
// publish from inside a delivery (a watch delivers inside Initialize).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_value.h"
#include "plugin/host_event_types.h"
#include "plugin/native_conversion.h"
#include "plugin/plugin_context.h"
#include "plugin/request_client.h"

namespace hpk {

// Value name under which a resource update's data is converted.
inline constexpr std::string_view kResourceValuePath = "<value>";
// Base event name every resource change is also published under.
inline constexpr std::string_view kJsonApiEventName = "OnJsonApiEvent";

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

// The outcome of publishing: ok, or the message of the conversion that failed
// (nothing was posted then).
struct PublishResult {
    bool posted = true;
    std::string error;  // when not posted

    bool IsOk() const { return posted; }
};

class ResourceEvents {
public:
    // `requests` fetches a watched resource's current state.
    ResourceEvents(PluginContext& context, RequestClient& requests) : context_(context), requests_(requests) {}

    // Counted subscription of the URI's event name at the host. Every
    // Unsubscribe pairs with an earlier Subscribe of the same event name; an
    // unpaired one is ignored.
    void Subscribe(std::string_view uri);
    void Unsubscribe(std::string_view uri);

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
    // different, under `baseName`.
    [[nodiscard]] PublishResult PublishEvent(std::string_view baseName, const PluginResourceEvent& event,
                                             std::uint32_t value = 0);
    // Converts `record` through the registry and publishes it under "OnJsonApiEvent".
    template <class T>
    [[nodiscard]] PublishResult PublishResource(std::string_view uri, PluginResourceEventType eventType,
                                                const T& record);

    // A delivery from the host's event callback: decoded, converted to the
    // entry's record and handed to the entry registered under its name.
    void DeliverHostEvent(const HostEvent& event);

    // Shutdown, first: unsubscribes every event of the handler table at the
    // host and empties the handler and subscription tables.
    void UnsubscribeAll();
    // Shutdown, last: empties both listener tables.
    void ClearListeners();

private:
    using ListenerPtr = std::shared_ptr<const ResourceListener>;
    using HandlerPtr = std::shared_ptr<const EventHandlerEntry>;

    void StoreEventHandler(std::string_view name, HandlerPtr entry);
    // The dispatcher that Subscribe registers for every resource event name.
    void DispatchResourceEvent(const PluginResourceEvent& event);

    PluginContext& context_;
    RequestClient& requests_;
    // Exact-URI and wildcard listeners (shared so a running listener outlives
    // its replacement).
    std::unordered_map<std::string, ListenerPtr, FnvStringHash> exactListeners_;
    std::map<std::string, ListenerPtr> wildcardListeners_;  // walked in pattern order
    std::unordered_map<std::string, HandlerPtr, FnvStringHash> eventHandlers_;
    std::unordered_map<std::string, std::int32_t, FnvStringHash> subscriptionCounts_;
};

template <class T, class Handler>
void ResourceEvents::Watch(std::string_view uri, Handler handler) {
    Watch(uri, ResourceListener([this, handler = std::move(handler)](const PluginResourceEvent& event) {
              ResourceUpdate<T> update;
              update.uri = event.uri;
              update.eventType = event.eventType;
              if (event.eventType != PluginResourceEventType::Delete) {
                  BindingResult result;
                  ReadNative(result, update.data, event.data, kResourceValuePath, context_.registry);
                  if (!result.IsOk()) {
                      context_.Trace("Couldn't convert resource %s to C++ while handling update for URL: %s",
                                     NativeTypeName<T>(context_.registry).c_str(), event.uri.c_str());
                      return;
                  }
              }
              handler(static_cast<const ResourceUpdate<T>&>(update));
          }));
}

template <class T>
PublishResult ResourceEvents::PublishResource(std::string_view uri, PluginResourceEventType eventType,
                                              const T& record) {
    BindingResult converted;
    WriteNative(converted, record, context_.registry);
    if (!converted.IsOk()) return PublishResult{false, converted.ErrorText()};
    PluginResourceEvent event;
    event.uri = std::string(uri);
    event.eventType = eventType;
    converted.TakeValue(event.data);
    return PublishEvent(kJsonApiEventName, event, 0);
}

}  // namespace hpk
