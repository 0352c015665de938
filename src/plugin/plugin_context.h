// What the plugin base lends the parts it owns (request client, resource
// events, service-proxy tables): the way to the host, the plugin's registry,
// the names and handle its calls carry, and the debug trace hook. The parts
// keep a reference; the base outlives them.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "binding/fnv1a_hash.h"
#include "boundary/abi/core_api.h"

// MinGW gcc checks printf as the Microsoft runtime's unless told gnu_printf (the
// library formats with the C99 printf); clang checks the C99 formats anyway.
#if defined(__MINGW32__) && !defined(__clang__)
#define HPK_PLUGIN_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define HPK_PLUGIN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

namespace hpk {

class BindingTypeRegistry;

// The host operations the parts use: PluginBase's virtual slots of the same
// names, so a plugin that overrides a slot sees every call its parts make.
class HostCalls {
public:
    virtual void CoreRequest(HostResponse& response, const HostRequest& request) = 0;
    virtual std::uint32_t CorePostEvent(const HostOutgoingEvent& event) = 0;
    virtual std::uint32_t CoreSubscribe(const char* name, std::int32_t handle, HostEventCallback callback,
                                        void* context, HostSubscriptionKind kind) = 0;
    virtual std::uint32_t CoreUnsubscribe(const char* name, std::int32_t handle) = 0;
    virtual void CoreYield() = 0;
    virtual void CoreMarkBegin(const std::string& label, std::uint32_t value) = 0;
    virtual void CoreMarkEnd() = 0;

protected:
    ~HostCalls() = default;
};

struct PluginContext {
    PluginContext(HostCalls& calls, BindingTypeRegistry& types, void* object)
        : host(calls), registry(types), plugin(object) {}

    // Debug trace hook: printf-style, discarded unless a sink is set.
    void Trace(const char* format, ...) const HPK_PLUGIN_PRINTF(2, 3);
    void TraceArguments(const char* format, va_list args) const;

    HostCalls& host;
    BindingTypeRegistry& registry;  // the plugin's own
    void* plugin;                   // the plugin object: the context of every subscription
    std::string fullName;           // from the handshake on: the prefix of trace and log lines
    std::int32_t pluginHandle = 0;  // from init on: passed back in every subscription and request
    // The event callbacks subscriptions name, by kind; handed over with the handshake.
    HostEventCallback resourceEventCallback = nullptr;
    HostEventCallback serviceProxyEventCallback = nullptr;
    std::function<void(const std::string& line)> traceSink;
};

// FNV-1a 32-bit over every byte (names may hold NULs): the hash of the parts'
// string-keyed tables.
struct FnvStringHash {
    std::size_t operator()(std::string_view text) const noexcept { return Fnv1a32(text.data(), text.size()); }
};

}  // namespace hpk
