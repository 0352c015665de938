// PluginBase: construction, the handshake, init and shutdown, and the
// forwarding operations to the host's table and to the parts.
#include "plugin/plugin_base.h"

#include <cstdarg>

#include "diagnostics/assertion_report.h"
#include "diagnostics/positional_format.h"
#include "platform/platform.h"
#include "plugin/host_types.h"
#include "plugin/plugin_log_target.h"
#include "plugin/plugin_messages.h"
#include "plugin/telemetry.h"
#include "router/binding_router.h"
#include "router/url_text.h"

namespace hpk {

PluginBase::PluginBase() : router_(std::make_unique<BindingRouter>()), context_(*this, *router_, this) {}

// Out of line: the owned objects' types are complete only here.
PluginBase::~PluginBase() = default;

BindingTypeRegistry& PluginBase::Registry() { return *router_; }

BindingRouter& PluginBase::Router() { return *router_; }

void PluginBase::Subscribe(std::string_view uri) { events_.Subscribe(uri); }

void PluginBase::Unsubscribe(std::string_view uri) { events_.Unsubscribe(uri); }

void PluginBase::Shutdown() {
    events_.UnsubscribeAll();
    serviceProxies_.Clear();
    events_.ClearListeners();
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

bool PluginBase::Handshake(PluginLoadRecord& record, std::string_view shortName, const PluginEntryPoints& entryPoints) {
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
    callbacks_ = entryPoints.callbacks;
    context_.resourceEventCallback = entryPoints.resourceEvent;
    context_.serviceProxyEventCallback = entryPoints.serviceProxyEvent;
    identity_ = MakePluginIdentity(shortName, kPluginTypeBackend);
    // Trace and log lines carry the full name from here on, not only after init.
    context_.fullName = identity_.fullName;
    apiTags_ = PluginApiTags(identity_.fullName);
    apiName_ = OperationName(0, identity_.fullName);
    RegisterHostTypes(Registry());
    RegisterApi();
    served_.Build(*router_);

    record.version[0] = supported.major;
    record.version[1] = supported.minor;
    record.version[2] = supported.patch;
    record.callbacks = &callbacks_;
    record.plugin = this;
    record.fullName = identity_.fullName.c_str();
    record.hostTable = &served_.Table();
    return true;
}

bool PluginBase::HandleInit(const HostApi& api) {
    core_ = HostCoreApi(api.core);
    InstallLogTarget();
    userAgent_ = FormatPositional(kUserAgentTemplate, coreVersion_.Text(), identity_.fullName);
    context_.pluginHandle = api.pluginHandle;
    context_.fullName = identity_.fullName;
    telemetry_ = std::make_unique<TelemetrySender>(requests_);
    ServiceProxyTables& tables = serviceProxies_;
    events_.RegisterEventHandler(
        kEventServiceProxyUuid,
        ServiceProxyHandler([&tables](const PluginServiceProxyResponse& r) { tables.OnUuidResponse(r); }));
    events_.RegisterEventHandler(
        kEventServiceProxyMethod,
        ServiceProxyHandler([&tables](const PluginServiceProxyResponse& r) { tables.OnMethodResponse(r); }));
    events_.RegisterEventHandler(
        kEventServiceProxyAsync,
        ServiceProxyHandler([&tables](const PluginServiceProxyResponse& r) { tables.OnAsyncResponse(r); }));
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
    va_list args;
    va_start(args, format);
    context_.TraceArguments(format, args);
    va_end(args);
}

std::int64_t PluginBase::Now() const { return clock_ ? clock_() : platform::SystemTimeTicks(); }

}  // namespace hpk
