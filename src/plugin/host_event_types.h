// The native records behind the host-side types this runtime registers: resource
// events (what other plugins announce) and the service-proxy and messaging
// records, and the callables that receive them. Registration itself lives in
// host_types.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "binding/binding_value.h"

namespace hpk {

enum class PluginManagerState : std::int32_t { NotReady = 0, PluginsInitialized = 1 };

struct PluginManagerResource {
    PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : std::int32_t { Create = 0, Update = 1, Delete = 2 };

// A resource change as received from the host or as published by this plugin.
struct PluginResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    BindingValue data;  // the resource's new state; empty for most deletions
};

// What a typed watch hands a feature handler: the event with `data` already
// converted into the handler's record (default-constructed for Delete).
template <class T>
struct ResourceUpdate {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    T data{};
};

struct PluginLcdsEvent {
    std::string clientId;
    std::string subtopic;
    std::string typeName;
    BindingValue body;
};

struct PluginLcdsResponse {
    std::string typeName;
    BindingValue body;
};

struct PluginServiceProxyResponse {
    std::string uuid;
    std::string serviceName;
    std::string methodName;
    std::string payload;
    std::string status;
    std::string error;
};

using ResourceListener = std::function<void(const PluginResourceEvent& event)>;
using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse& response)>;

}  // namespace hpk
