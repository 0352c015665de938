// PluginBase: construction, the handshake, init and shutdown, and the
// forwarding operations to the host's table.
#include "plugin/plugin_base.h"

#include <cstdarg>
#include <cstdio>

#include "diagnostics/assertion_report.h"
#include "diagnostics/positional_format.h"
#include "platform/platform.h"
#include "plugin/host_types.h"
#include "plugin/plugin_callbacks.h"
#include "plugin/plugin_log_target.h"
#include "plugin/plugin_messages.h"
#include "plugin/served_resources.h"
#include "plugin/telemetry.h"
#include "router/binding_router.h"
#include "router/url_text.h"

namespace hpk {

PluginBase::PluginBase() : router_(std::make_unique<BindingRouter>()), callbacks_(MakePluginCallbacks()) {}

// Out of line: the owned objects' types are complete only here.
PluginBase::~PluginBase() = default;

BindingTypeRegistry& PluginBase::Registry() { return *router_; }

BindingRouter& PluginBase::Router() { return *router_; }

void PluginBase::Shutdown() {
    // Each entry leaves the table before the host hears of it, so a host
    // callback cannot change the table under us; taking the entry out
    // allocates nothing, so running out of memory cannot leave a subscription
    // at the host.
    while (!eventHandlers_.empty()) {
        const auto entry = eventHandlers_.extract(eventHandlers_.begin());
        CoreUnsubscribe(entry.key().c_str(), pluginHandle_);
    }
    subscriptionCounts_.clear();
    {
        platform::LockGuard lock(serviceProxyMutex_);
        pendingServiceProxyHandlers_.clear();
        asyncServiceProxyHandlers_.clear();
        receivedServiceProxyResponses_.clear();
    }
    exactListeners_.clear();
    wildcardListeners_.clear();
}

void PluginBase::CoreRequest(HostResponse& response, const HostRequest& request) { core_.Request(response, request); }

std::uint32_t PluginBase::CoreSlot1(std::uint32_t a, std::uint32_t b) { return core_.Slot1(a, b); }

std::uint32_t PluginBase::CorePostEvent(const HostOutgoingEvent& event) { return core_.PostEvent(event); }

std::uint32_t PluginBase::CoreSubscribe(const char* name, std::int32_t handle, HostEventCallback callback,
                                        void* context, HostSubscriptionKind kind) {
    return core_.Subscribe(name, handle, callback, context, kind);
}

std::uint32_t PluginBase::CoreUnsubscribe(const char* name, std::int32_t handle) {
    return core_.Unsubscribe(name, handle);
}

std::uint32_t PluginBase::CoreSlot5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e) {
    return core_.Slot5(a, b, c, d, e);
}

void PluginBase::CoreYield() { core_.Yield(); }

void PluginBase::CoreMarkBegin(const std::string& label, std::uint32_t value) { core_.MarkBegin(label.c_str(), value); }

void PluginBase::CoreMarkEnd() { core_.MarkEnd(); }

void PluginBase::RegisterApi() {}

bool PluginBase::Initialize() { return true; }

bool PluginBase::Handshake(PluginLoadRecord& record, std::string_view shortName) {
    const ApiVersion& supported = SupportedApiVersion();
    ApiVersion core;
    core.major = record.version[0];
    core.minor = record.version[1];
    core.patch = record.version[2];
    if (!IsCompatibleApiVersion(supported, core)) {
        const std::string message = FormatPositional(kMsgIncompatibleCore, shortName, supported.Text(), core.Text());
        ReportAssertion(kAssertionIncompatibleCore, nullptr, 0, nullptr, message.c_str());
        return false;
    }
    coreVersion_ = core;
    identity_ = MakePluginIdentity(shortName, kPluginTypeBackend);
    // Trace and log lines carry the full name from here on, not only after init.
    fullName_ = identity_.fullName;
    apiTags_ = PluginApiTags(identity_.fullName);
    apiName_ = OperationName(0, identity_.fullName);
    RegisterHostTypes(Registry());
    RegisterApi();
    endpoints_ = BuildHostTable(*router_, hostTable_);

    record.version[0] = supported.major;
    record.version[1] = supported.minor;
    record.version[2] = supported.patch;
    record.callbacks = &callbacks_;
    record.plugin = this;
    record.fullName = identity_.fullName.c_str();
    record.hostTable = &hostTable_;
    return true;
}

bool PluginBase::HandleInit(const HostApi& api) {
    core_ = HostCoreApi(api.core);
    InstallLogTarget();
    userAgent_ = FormatPositional(kUserAgentTemplate, coreVersion_.Text(), identity_.fullName);
    pluginHandle_ = api.pluginHandle;
    fullName_ = identity_.fullName;
    telemetry_ = std::make_unique<TelemetrySender>(*this);
    RegisterEventHandler(kEventServiceProxyUuid,
                         ServiceProxyHandler([this](const PluginServiceProxyResponse& r) { OnServiceProxyUuid(r); }));
    RegisterEventHandler(kEventServiceProxyMethod,
                         ServiceProxyHandler([this](const PluginServiceProxyResponse& r) { OnServiceProxyMethod(r); }));
    RegisterEventHandler(kEventServiceProxyAsync,
                         ServiceProxyHandler([this](const PluginServiceProxyResponse& r) { OnServiceProxyAsync(r); }));
    return Initialize();
}

void PluginBase::HandleShutdown() {
    shuttingDown_ = 1;
    try {
        Shutdown();
    } catch (...) {
        // A feature's Shutdown that failed part way: the subscriptions still
        // go (this part cannot fail), then the failure is reported.
        PluginBase::Shutdown();
        throw;
    }
}

void PluginBase::InstallLogTarget() {
    if (PluginLogTarget::IsInstalled()) return;  // an earlier init of this library installed one
    logTarget_ = PluginLogTarget::Install(core_);
}

void PluginBase::Trace(const char* format, ...) const {
    if (!traceSink_) return;
    char line[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    traceSink_(line);
}

std::int64_t PluginBase::Now() const { return clock_ ? clock_() : platform::SystemTimeTicks(); }

}  // namespace hpk
