// TelemetrySender: posts named telemetry events with string fields to the
// host's telemetry resource through the plugin's request client. Owned by
// PluginBase from init on.
#pragma once
#include <future>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin/request_client.h"

namespace hpk {

// Field name -> field value; the members of the posted structure.
using TelemetryFields = std::vector<std::pair<std::string, std::string>>;

class TelemetrySender {
public:
    explicit TelemetrySender(RequestClient& requests) : requests_(requests) {}
    virtual ~TelemetrySender() = default;

    // POSTs the fields to "/telemetry/v1/events/" + eventName, as one structure
    // in the request's single positional argument. The request has completed
    // when this returns, so the future is always ready; callers may ignore it.
    // Failures reach the future only; nothing is logged.
    virtual std::future<RequestOutcome> Send(std::string_view eventName, const TelemetryFields& fields);

private:
    RequestClient& requests_;
};

}  // namespace hpk
