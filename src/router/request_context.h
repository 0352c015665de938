// RequestContext: what a handler that asks for it learns about the request
// being served. Built by the dispatcher just before the handler is invoked;
// valid for that call only.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/binding_value.h"
#include "router/request_method.h"

namespace hpk {

class BindingRouter;

struct RequestContext {
    std::int32_t callerHandle = 0;                             // the requesting plugin's handle, as the host passed it
    std::string reservedText;                                  // not used by this router; left empty
    std::int32_t reservedValue = 0;                            // not used by this router; left 0
    BindingRouter* api = nullptr;                              // the router that owns the called function
    std::int64_t receiveTime = 0;                              // 100 ns ticks since 1970-01-01 UTC
    RequestMethod method = RequestMethod::None;                // normalised
    std::string methodName;                                    // only for RequestMethod::Other with a name
    std::string url;                                           // as received, query included
    std::vector<BindingValue> arguments;                       // one per declared argument, in order
    std::unordered_map<std::string, std::string> headers;      // every request header; a later entry wins
    std::unordered_map<std::string, std::string> reservedMap;  // not used by this router; left empty
    std::string reservedText2;                                 // not used by this router; left empty
    std::int32_t reservedOne = 1;                              // always 1
};

}  // namespace hpk
