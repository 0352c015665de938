// PluginBase: the base class of every plugin of this family. It holds the
// handshake results and the bridge to the host's operations, and owns the
// parts that do the work: the request client, the resource events, the
// service-proxy tables, the served resources and the telemetry sender. The
// feature derives from it, overrides RegisterApi and Initialize, and calls the
// parts through the few operations forwarded here or through the parts'
// accessors.
//
// Threads: the host calls init, shutdown, event callbacks and request dispatch
// one at a time (see resource_events.h and service_proxy_tables.h).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "boundary/abi/core_api.h"
#include "boundary/abi/host_description.h"
#include "boundary/abi/load_record.h"
#include "plugin/api_version.h"
#include "plugin/core_api.h"
#include "plugin/host_event_types.h"
#include "plugin/plugin_context.h"
#include "plugin/plugin_identity.h"
#include "plugin/request_client.h"
#include "plugin/resource_events.h"
#include "plugin/served_resources.h"
#include "plugin/service_proxy_tables.h"
#include "router/request_method.h"

namespace hpk {

class BindingTypeRegistry;
class BindingRouter;
class PluginLogTarget;
class TelemetrySender;

// The C functions through which the host calls a plugin (plugin_callbacks.h
// makes them); the loader hands them over with the handshake.
struct PluginEntryPoints {
    PluginCallbacks callbacks;
    HostEventCallback resourceEvent;      // subscriptions of kind Resource
    HostEventCallback serviceProxyEvent;  // subscriptions of kind ServiceProxy
};

// Privately a HostCalls: its slots 4..12 are how the parts reach the host.
class PluginBase : private HostCalls {
public:
    PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    // ---- The fifteen virtual operations, in slot order. ----

    // 0, 1: counted subscription of the URI's event name (Events()).
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

    // ---- The parts. ----

    RequestClient& Requests() { return requests_; }
    ResourceEvents& Events() { return events_; }
    ServiceProxyTables& ServiceProxies() { return serviceProxies_; }
    // Null before init.
    TelemetrySender* Telemetry() { return telemetry_.get(); }

    // ---- What a feature calls most, forwarded to the parts. ----

    // Typed watch (ResourceEvents::Watch): the current state at once, then each change.
    template <class T, class Handler>
    void Watch(std::string_view uri, Handler handler) {
        events_.Watch<T>(uri, std::move(handler));
    }
    [[nodiscard]] RequestOutcome CallResource(RequestMethod method, std::string_view url) {
        return requests_.CallResource(method, url);
    }
    template <class T>
    [[nodiscard]] PublishResult PublishResource(std::string_view uri, PluginResourceEventType eventType,
                                                const T& record) {
        return events_.PublishResource(uri, eventType, record);
    }

    // ---- Identity, registry, services. ----

    const std::string& FullName() const { return context_.fullName; }
    const PluginIdentity& Identity() const { return identity_; }
    const std::string& ApiName() const { return apiName_; }
    const std::vector<std::string>& ApiTags() const { return apiTags_; }
    const std::string& UserAgent() const { return userAgent_; }
    const ApiVersion& CoreVersion() const { return coreVersion_; }
    std::int32_t PluginHandle() const { return context_.pluginHandle; }
    bool IsShuttingDown() const { return shuttingDown_ != 0; }
    // The plugin's own registry; lives as long as the plugin. The router is the
    // same object seen as the request router (include router/binding_router.h
    // to serve GETs: Router().ServeGet(path, handler, ApiTags())).
    BindingTypeRegistry& Registry();
    BindingRouter& Router();

    // Debug trace hook: printf-style, discarded unless a test installed a sink.
    void Trace(const char* format, ...) const HPK_PLUGIN_PRINTF(2, 3);
    void SetTraceSink(std::function<void(const std::string& line)> sink) { context_.traceSink = std::move(sink); }

    // Clock seam: 100-nanosecond ticks since 1970-01-01 UTC; the system clock
    // unless a test installed another.
    std::int64_t Now() const;
    void SetClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

    // ---- Framework use: the loader and the host callbacks. ----

    // Runs the handshake and fills `record`, handing the host `entryPoints`.
    // Returns false only when the core is incompatible (the caller then
    // terminates the process).
    [[nodiscard]] bool Handshake(PluginLoadRecord& record, std::string_view shortName,
                                 const PluginEntryPoints& entryPoints);
    // Everything init does; returns Initialize's result.
    [[nodiscard]] bool HandleInit(const HostApi& api);
    // Sets the shutting-down flag and runs Shutdown; the caller deletes the object.
    void HandleShutdown();
    // Decoded event deliveries (the C callbacks forward here).
    void DeliverHostEvent(const HostEvent& event) { events_.DeliverHostEvent(event); }
    const HostTableRecord& HostTable() const { return served_.Table(); }

private:
    void InstallLogTarget();

    std::unique_ptr<BindingRouter> router_;  // the plugin's registry; lives until destruction
    PluginContext context_;                  // what the parts below share
    RequestClient requests_{context_};
    ResourceEvents events_{context_, requests_};
    ServiceProxyTables serviceProxies_{context_};
    ServedResources served_;  // the host table; lives until shutdown
    std::unique_ptr<TelemetrySender> telemetry_;
    std::string userAgent_;
    std::uint8_t shuttingDown_ = 0;
    ApiVersion coreVersion_;
    std::unique_ptr<PluginLogTarget> logTarget_;  // owned; attached to the log manager after init
    PluginIdentity identity_;
    std::string apiName_;
    std::vector<std::string> apiTags_;
    HostCoreApi core_;  // null table until init
    PluginCallbacks callbacks_{};
    std::function<std::int64_t()> clock_;
};

}  // namespace hpk
