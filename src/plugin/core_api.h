// HostCoreApi: the typed face of the host's operation table. The rest of the
// plugin never touches the raw table; null checks on the table and its slots
// happen here and nowhere else. Before init there is no table and every
// operation does nothing (results 0).
#pragma once
#include <cstdint>

#include "boundary/abi/core_api.h"

namespace hpk {

class HostCoreApi {
public:
    HostCoreApi() = default;
    explicit HostCoreApi(CoreApi* table) : table_(table) {}

    bool IsBound() const { return table_ != nullptr; }
    CoreApi* Table() const { return table_; }

    // Slot 0: synchronous; `response` must be zeroed by the caller. Without a
    // table or slot the response stays zeroed, which reads as success with an
    // empty body: callers that need a host check IsBound first.
    void Request(HostResponse& response, const HostRequest& request) const;
    std::uint32_t Slot1(std::uint32_t a, std::uint32_t b) const;
    std::uint32_t PostEvent(const HostOutgoingEvent& event) const;
    std::uint32_t Subscribe(const char* name, std::int32_t pluginHandle, HostEventCallback callback, void* context,
                            HostSubscriptionKind kind) const;
    std::uint32_t Unsubscribe(const char* name, std::int32_t pluginHandle) const;
    std::uint32_t Slot5(std::uint32_t a, std::uint32_t b, std::uint32_t c, double d, std::uint32_t e) const;
    void Yield() const;
    void MarkBegin(const char* label, std::uint32_t value) const;
    void MarkEnd() const;
    void Log(std::int32_t level, const char* message) const;

private:
    CoreApi* table_ = nullptr;  // owned by the host, valid until shutdown
};

}  // namespace hpk
