// Outcomes of the requests the plugin makes through the host. The operations
// themselves are members of PluginBase (defined in request_client.cpp).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "binding/binding_value.h"

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

}  // namespace hpk
