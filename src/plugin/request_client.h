// RequestClient: the requests the plugin makes through the host, synchronous,
// and their outcomes. Each call fills a HostRequest, hands it to the host
// through the plugin's CoreRequest slot, and releases the response and closes
// its stream exactly once, on every path.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "plugin/native_conversion.h"
#include "plugin/plugin_context.h"
#include "router/request_method.h"

namespace hpk {

// A failed request made through the host.
struct RequestError {
    std::int32_t code = 0;  // 0: no code; else also in details as "errorCode_int"
    std::string message;    // the template with its placeholders filled
    BindingValue details;   // structure: one member per named placeholder, plus "errorCode_int"
};

// No value: the request succeeded.
using RequestOutcome = std::optional<RequestError>;

// The body of a successful FetchValue, or its error; never both.
struct FetchResult {
    BindingValue value;
    RequestOutcome error;

    bool IsOk() const { return !error.has_value(); }
};

// Builds a RequestError from one of the request templates ("... {method} {url}:
// {error}"): the three texts replace the placeholders in that order and are
// recorded in `details` under their names.
RequestError MakeRequestError(std::string_view messageTemplate, std::int32_t code, std::string_view method,
                              std::string_view url, std::string_view error);

class RequestClient {
public:
    explicit RequestClient(PluginContext& context) : context_(context) {}

    // Performs the request; `response` (zeroed by the caller) is left filled and
    // the caller releases it and closes any stream.
    [[nodiscard]] RequestOutcome SendRequest(RequestMethod method, std::string_view url, HostResponse& response);
    // The response body (streamed bodies read and parsed as JSON) under "<result>".
    [[nodiscard]] FetchResult FetchValue(RequestMethod method, std::string_view url);
    // The body is ignored.
    [[nodiscard]] RequestOutcome CallResource(RequestMethod method, std::string_view url);
    // `parameters`: pairs of (name, native value); the values become the members
    // of one structure sent as the single positional argument. A value that does
    // not convert stops the request (code 400, nothing sent).
    template <class Map>
    [[nodiscard]] RequestOutcome CallWithParameters(RequestMethod method, std::string_view url, const Map& parameters);
    // The same with the structure already built (or failed) in `parameters`.
    [[nodiscard]] RequestOutcome CallWithParameterValue(RequestMethod method, std::string_view url,
                                                        const BindingResult& parameters);
    // Reads the response's stream to the end in 4096-byte chunks, parses it as
    // JSON into `result`, and closes the stream in every case.
    void ReadStreamedBody(BindingResult& result, HostResponse& response);
    // Lets the host run while waiting for stream data ("Wait: yield" section).
    void WaitYield();

private:
    PluginContext& context_;
};

template <class Map>
RequestOutcome RequestClient::CallWithParameters(RequestMethod method, std::string_view url, const Map& parameters) {
    BindingResult structure;
    structure.Value().MakeStructure();
    for (const auto& [name, value] : parameters) {
        BindingResult member;
        WriteNative(member, value, context_.registry);
        if (!member.IsOk()) {
            structure.SetError(member.ErrorText());
            break;
        }
        member.TakeValue(structure.Value().Member(name));
    }
    return CallWithParameterValue(method, url, structure);
}

}  // namespace hpk
