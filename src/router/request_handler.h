// The handler object of a served function, as the dispatcher calls it:
// prepare (arguments to a call token), invoke, release, and the context type
// that says whether the handler wants the RequestContext.
#pragma once
#include <cstdint>
#include <vector>

#include "binding/binding_function_info.h"
#include "binding/binding_type_record.h"
#include "binding/binding_value.h"
#include "router/handler_response.h"
#include "router/request_context.h"

namespace hpk {

// Opaque per-call state a handler hands from Prepare to Invoke and Release; 0 for none.
using CallToken = std::uintptr_t;

// Owned by the function description. Called on the thread the host dispatches
// the request on, one request at a time per the host's contract. Errors go
// into the response; an exception that escapes is turned into an error by the
// dispatcher, never passed to the host.
class RequestHandler : public BindingFunctionHandlerBase {
public:
    // Reads the bound arguments (one per declared argument; empty when the
    // request gave none) into the call's native state. May set an error on
    // `response`; then Invoke is skipped. Release runs for any non-zero token.
    virtual CallToken Prepare(HandlerResponse& response, std::vector<BindingValue>& arguments,
                              std::int32_t callerHandle) = 0;
    // Runs the function and writes its result (or error) into `response`.
    // `context` is non-null exactly when ContextType() is a request-context type.
    virtual void Invoke(HandlerResponse& response, RequestContext* context, CallToken token,
                        std::int32_t callerHandle) = 0;
    virtual void Release(CallToken token) = 0;
    // The type record of the context the handler takes: RequestContextType()
    // or RequestContextPointerType() to receive the RequestContext, anything
    // else (null included) to be invoked without one.
    virtual const BindingTypeRecord* ContextType() const = 0;
};

// The two request-context type records: a handler that takes the context by
// reference reports the first, by pointer the second.
inline const BindingTypeRecord* RequestContextType() { return &TypeRecordOf<RequestContext>(); }
inline const BindingTypeRecord* RequestContextPointerType() { return &TypeRecordOf<RequestContext*>(); }
inline bool IsRequestContextType(const BindingTypeRecord* type) {
    return type != nullptr && (type == RequestContextType() || type == RequestContextPointerType());
}

}  // namespace hpk
