// Registration of the host-side types and events.
#include "plugin/host_types.h"

#include "binding/type_registration.h"
#include "plugin/host_event_types.h"
#include "plugin/plugin_messages.h"

namespace hpk {

void RegisterHostTypes(BindingTypeRegistry& registry) {
    // Enumerations first, so the fields that use them carry their descriptions.
    RegisterEnum<PluginManagerState>(
        registry, "PluginManagerState",
        {{"NotReady", PluginManagerState::NotReady}, {"PluginsInitialized", PluginManagerState::PluginsInitialized}});
    RegisterStruct<PluginManagerResource>(registry, "PluginManagerResource",
                                          {Field("state", &PluginManagerResource::state)});
    RegisterEnum<PluginResourceEventType>(registry, "PluginResourceEventType",
                                          {{"Create", PluginResourceEventType::Create},
                                           {"Update", PluginResourceEventType::Update},
                                           {"Delete", PluginResourceEventType::Delete}});
    RegisterStruct<PluginResourceEvent>(
        registry, "PluginResourceEvent",
        {Field("uri", &PluginResourceEvent::uri), Field("eventType", &PluginResourceEvent::eventType),
         Field("data", &PluginResourceEvent::data)});
    RegisterStruct<PluginLcdsEvent>(
        registry, "PluginLcdsEvent",
        {Field("clientId", &PluginLcdsEvent::clientId), Field("subtopic", &PluginLcdsEvent::subtopic),
         Field("typeName", &PluginLcdsEvent::typeName), Field("body", &PluginLcdsEvent::body)});
    RegisterStruct<PluginLcdsResponse>(
        registry, "PluginLcdsResponse",
        {Field("typeName", &PluginLcdsResponse::typeName), Field("body", &PluginLcdsResponse::body)});
    RegisterStruct<PluginServiceProxyResponse>(
        registry, "PluginServiceProxyResponse",
        {Field("uuid", &PluginServiceProxyResponse::uuid),
         Field("serviceName", &PluginServiceProxyResponse::serviceName),
         Field("methodName", &PluginServiceProxyResponse::methodName),
         Field("payload", &PluginServiceProxyResponse::payload), Field("status", &PluginServiceProxyResponse::status),
         Field("error", &PluginServiceProxyResponse::error)});

    RegisterEvent<PluginResourceEvent>(registry, kEventOnJsonApiEvent)
        .SetDescription(kDescOnJsonApiEvent)
        .AddTag(kHostNamespaceTag);
    RegisterEvent<PluginLcdsEvent>(registry, kEventOnLcdsEvent)
        .SetDescription(kDescOnLcdsEvent)
        .AddTag(kHostNamespaceTag);
    RegisterEvent<PluginServiceProxyResponse>(registry, kEventServiceProxyUuid)
        .SetDescription(kDescServiceProxyUuid)
        .AddTag(kHostNamespaceTag);
    RegisterEvent<PluginServiceProxyResponse>(registry, kEventServiceProxyMethod)
        .SetDescription(kDescServiceProxyMethod)
        .AddTag(kHostNamespaceTag);
    RegisterEvent<PluginServiceProxyResponse>(registry, kEventServiceProxyAsync)
        .SetDescription(kDescServiceProxyAsync)
        .AddTag(kHostNamespaceTag);
}

}  // namespace hpk
