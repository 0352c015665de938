// Telemetry events: one POST per event to the host's telemetry resource.
#include "plugin/telemetry.h"

#include "plugin/plugin_messages.h"

namespace hpk {

std::future<RequestOutcome> TelemetrySender::Send(std::string_view eventName, const TelemetryFields& fields) {
    std::promise<RequestOutcome> promise;
    std::string url = kTelemetryUrlPrefix;
    url.append(eventName.data(), eventName.size());
    promise.set_value(requests_.CallWithParameters(RequestMethod::Post, url, fields));
    return promise.get_future();
}

}  // namespace hpk
