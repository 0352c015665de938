// Descriptions of the plugin's bound functions and events, kept by name in the
// registry (type_registry.h). Invocation belongs to the request router, which
// extends BindingFunctionHandlerBase; this layer only owns the handler.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_type_record.h"

namespace hpk {

struct BindingStructInfo;

// Root of the router's handler objects; owned by the function description.
class BindingFunctionHandlerBase {
public:
    virtual ~BindingFunctionHandlerBase() = default;
};

struct BindingArgumentInfo {
    std::string name;
    std::string description;
    bool optional = false;
    BindingTypeIdentifier type;
    BindingTypeIdentifier exportType;  // kind None unless given; replaces `type` for the host
};

struct BindingFunctionInfo {
    std::string name;
    std::vector<BindingArgumentInfo> arguments;  // declaration order
    BindingTypeIdentifier result;
    BindingTypeIdentifier exportResult;  // kind None unless given
    std::vector<std::string> tags;
    std::string nameSpace;
    std::string description;
    std::string help;
    bool threadSafe = false;
    bool async = false;  // `result` then describes the asynchronous event type
    std::unique_ptr<BindingFunctionHandlerBase> handler;
};

struct BindingEventInfo {
    std::string name;
    const BindingStructInfo* payload = nullptr;  // null when the payload type was not registered
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
};

}  // namespace hpk
