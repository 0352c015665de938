// Service-proxy responses: stored by uuid or "service.method", handed to a
// waiting one-shot handler, or to a persistent handler for async messages.
// All three tables are touched only under serviceProxyMutex_.
#include "plugin/plugin_base.h"
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

void PluginBase::OnServiceProxyUuid(const PluginServiceProxyResponse& response) {
    {
        platform::LockGuard lock(serviceProxyMutex_);
        StoreResponse(receivedServiceProxyResponses_, response.uuid, response);
    }
    RunServiceProxyFulfilment();
}

void PluginBase::OnServiceProxyMethod(const PluginServiceProxyResponse& response) {
    {
        platform::LockGuard lock(serviceProxyMutex_);
        StoreResponse(receivedServiceProxyResponses_, MethodKey(response), response);
    }
    RunServiceProxyFulfilment();
}

void PluginBase::OnServiceProxyAsync(const PluginServiceProxyResponse& response) {
    const std::string key = MethodKey(response);
    platform::LockGuard lock(serviceProxyMutex_);
    auto found = asyncServiceProxyHandlers_.find(key);
    if (found == asyncServiceProxyHandlers_.end()) {
        LogRuntime(RuntimeLogLevel::Error, kLogNoAsyncHandler, fullName_.c_str(), key.c_str());
        return;
    }
    // A copy: the handler may register another one under the same key.
    const ServiceProxyHandler handler = found->second;
    handler(response);
}

void PluginBase::RunServiceProxyFulfilment() {
    platform::LockGuard lock(serviceProxyMutex_);
    for (auto stored = receivedServiceProxyResponses_.begin(); stored != receivedServiceProxyResponses_.end();
         ++stored) {
        auto pending = pendingServiceProxyHandlers_.find(stored->first);
        if (pending == pendingServiceProxyHandlers_.end()) continue;
        // Take both out before the call, so a handler that registers or
        // receives more cannot invalidate what we hold.
        ServiceProxyHandler handler = std::move(pending->second);
        pendingServiceProxyHandlers_.erase(pending);
        const std::string key = stored->first;
        const PluginServiceProxyResponse response = std::move(stored->second);
        receivedServiceProxyResponses_.erase(stored);
        if (handler) handler(response);
        LogRuntime(RuntimeLogLevel::Always, kLogFulfilled, fullName_.c_str(), key.c_str());
        return;
    }
}

void PluginBase::AddPendingServiceProxyHandler(std::string_view key, ServiceProxyHandler handler) {
    {
        platform::LockGuard lock(serviceProxyMutex_);
        pendingServiceProxyHandlers_[std::string(key)] = std::move(handler);
    }
    RunServiceProxyFulfilment();
}

void PluginBase::AddAsyncServiceProxyHandler(std::string_view key, ServiceProxyHandler handler) {
    platform::LockGuard lock(serviceProxyMutex_);
    asyncServiceProxyHandlers_[std::string(key)] = std::move(handler);
}

std::size_t PluginBase::StoredServiceProxyResponseCount() {
    platform::LockGuard lock(serviceProxyMutex_);
    return receivedServiceProxyResponses_.size();
}

}  // namespace hpk
