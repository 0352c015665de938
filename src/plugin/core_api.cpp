// Forwarding to the host's table, with the null checks in one place.
#include "plugin/core_api.h"

#include "plugin/plugin_messages.h"

namespace hpk {

void HostCoreApi::Request(HostResponse& response, const HostRequest& request) const {
    if (table_ != nullptr && table_->Request != nullptr) {
        table_->Request(table_, &response, &request);
        return;
    }
    // Nobody performed the request: an empty answer would read as success.
    // The text is static and the response carries no release routine.
    response.error = const_cast<char*>(kMsgNoRequestOperation);
    response.errorOwned = 0;
}

std::uint32_t HostCoreApi::Slot1(std::uint32_t a, std::uint32_t b) const {
    return table_ != nullptr && table_->Slot1 != nullptr ? table_->Slot1(table_, a, b) : 0;
}

std::uint32_t HostCoreApi::PostEvent(const HostOutgoingEvent& event) const {
    return table_ != nullptr && table_->PostEvent != nullptr ? table_->PostEvent(table_, &event) : 0;
}

std::uint32_t HostCoreApi::Subscribe(const char* name, std::int32_t pluginHandle, HostEventCallback callback,
                                     void* context, HostSubscriptionKind kind) const {
    if (table_ == nullptr || table_->Subscribe == nullptr) return 0;
    return table_->Subscribe(table_, name, pluginHandle, callback, context, static_cast<std::uint32_t>(kind));
}

std::uint32_t HostCoreApi::Unsubscribe(const char* name, std::int32_t pluginHandle) const {
    return table_ != nullptr && table_->Unsubscribe != nullptr ? table_->Unsubscribe(table_, name, pluginHandle) : 0;
}

std::uint32_t HostCoreApi::Slot5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e) const {
    return table_ != nullptr && table_->Slot5 != nullptr ? table_->Slot5(table_, a, b, c, d, e) : 0;
}

void HostCoreApi::Yield() const {
    if (table_ != nullptr && table_->Yield != nullptr) table_->Yield(table_);
}

void HostCoreApi::MarkBegin(const char* label, std::uint32_t value) const {
    if (table_ != nullptr && table_->MarkBegin != nullptr) table_->MarkBegin(table_, label, value);
}

void HostCoreApi::MarkEnd() const {
    if (table_ != nullptr && table_->MarkEnd != nullptr) table_->MarkEnd(table_);
}

void HostCoreApi::Log(std::int32_t level, const char* message) const {
    if (table_ != nullptr && table_->Log != nullptr) table_->Log(table_, level, message);
}

}  // namespace hpk
