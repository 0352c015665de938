// ServiceProxyTables: service-proxy responses, stored by uuid or
// "service.method" and handed to a waiting one-shot handler, and persistent
// handlers for async messages.
//
// Threads: the three tables are touched only under one recursive lock, held
// while a handler runs (so a handler may register another one, but must not
// wait for a thread that needs the lock).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "plugin/host_event_types.h"
#include "plugin/plugin_context.h"

namespace hpk {

class ServiceProxyTables {
public:
    explicit ServiceProxyTables(const PluginContext& context) : context_(context) {}

    // One-shot handler for the response stored under `key` (a uuid or
    // "service.method"); runs at once when that response is already stored.
    void AddPendingHandler(std::string_view key, ServiceProxyHandler handler);
    // Persistent handler for async messages under "service.method".
    void AddAsyncHandler(std::string_view key, ServiceProxyHandler handler);
    // The handlers of the host's three service-proxy events.
    void OnUuidResponse(const PluginServiceProxyResponse& response);
    void OnMethodResponse(const PluginServiceProxyResponse& response);
    void OnAsyncResponse(const PluginServiceProxyResponse& response);
    // Stored responses nobody has claimed yet (tests, diagnostics).
    std::size_t StoredResponseCount();
    // Empties the three tables (shutdown).
    void Clear();

private:
    void RunFulfilment();

    const PluginContext& context_;
    // The platform's lock, not std::recursive_mutex: with the Windows threads
    // library that one takes a heap block on first use and never gives it back.
    platform::RecursiveLock mutex_;
    std::unordered_map<std::string, ServiceProxyHandler, FnvStringHash> pendingHandlers_;
    std::unordered_map<std::string, ServiceProxyHandler, FnvStringHash> asyncHandlers_;
    std::vector<std::pair<std::string, PluginServiceProxyResponse>> receivedResponses_;
};

}  // namespace hpk
