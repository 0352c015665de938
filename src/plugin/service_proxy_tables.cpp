// Service-proxy responses: stored by uuid or "service.method", handed to a
// waiting one-shot handler, or to a persistent handler for async messages.
// All three tables are touched only under mutex_.
#include "plugin/service_proxy_tables.h"

#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {
namespace {

std::string MethodKey(const PluginServiceProxyResponse& response) {
    return response.serviceName + "." + response.methodName;
}

void StoreResponse(std::vector<std::pair<std::string, PluginServiceProxyResponse>>& table, std::string key,
                   const PluginServiceProxyResponse& response) {
    for (auto& [storedKey, stored] : table) {
        if (storedKey == key) {
            stored = response;
            return;
        }
    }
    table.emplace_back(std::move(key), response);
}

}  // namespace

void ServiceProxyTables::OnUuidResponse(const PluginServiceProxyResponse& response) {
    {
        platform::LockGuard lock(mutex_);
        StoreResponse(receivedResponses_, response.uuid, response);
    }
    RunFulfilment();
}

void ServiceProxyTables::OnMethodResponse(const PluginServiceProxyResponse& response) {
    {
        platform::LockGuard lock(mutex_);
        StoreResponse(receivedResponses_, MethodKey(response), response);
    }
    RunFulfilment();
}

void ServiceProxyTables::OnAsyncResponse(const PluginServiceProxyResponse& response) {
    const std::string key = MethodKey(response);
    platform::LockGuard lock(mutex_);
    auto found = asyncHandlers_.find(key);
    if (found == asyncHandlers_.end()) {
        LogRuntime(RuntimeLogLevel::Error, kLogNoAsyncHandler, context_.fullName.c_str(), key.c_str());
        return;
    }
    // A copy: the handler may register another one under the same key.
    const ServiceProxyHandler handler = found->second;
    handler(response);
}

void ServiceProxyTables::RunFulfilment() {
    platform::LockGuard lock(mutex_);
    for (auto stored = receivedResponses_.begin(); stored != receivedResponses_.end(); ++stored) {
        auto pending = pendingHandlers_.find(stored->first);
        if (pending == pendingHandlers_.end()) continue;
        // Take both out before the call, so a handler that registers or
        // receives more cannot invalidate what we hold.
        ServiceProxyHandler handler = std::move(pending->second);
        pendingHandlers_.erase(pending);
        const std::string key = stored->first;
        const PluginServiceProxyResponse response = std::move(stored->second);
        receivedResponses_.erase(stored);
        if (handler) handler(response);
        LogRuntime(RuntimeLogLevel::Always, kLogFulfilled, context_.fullName.c_str(), key.c_str());
        return;
    }
}

void ServiceProxyTables::AddPendingHandler(std::string_view key, ServiceProxyHandler handler) {
    {
        platform::LockGuard lock(mutex_);
        pendingHandlers_[std::string(key)] = std::move(handler);
    }
    RunFulfilment();
}

void ServiceProxyTables::AddAsyncHandler(std::string_view key, ServiceProxyHandler handler) {
    platform::LockGuard lock(mutex_);
    asyncHandlers_[std::string(key)] = std::move(handler);
}

std::size_t ServiceProxyTables::StoredResponseCount() {
    platform::LockGuard lock(mutex_);
    return receivedResponses_.size();
}

void ServiceProxyTables::Clear() {
    platform::LockGuard lock(mutex_);
    pendingHandlers_.clear();
    asyncHandlers_.clear();
    receivedResponses_.clear();
}

}  // namespace hpk
