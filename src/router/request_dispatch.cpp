// Serving one request: route, bind, prepare, invoke, fill the response, release.
// Nothing thrown below may reach the host; each handler slot is guarded on its
// own so that a failing handler still gets its call token released.
#include <exception>

#include "diagnostics/positional_format.h"
#include "platform/platform.h"
#include "boundary/boundary_guard.h"
#include "boundary/entry_thread.h"
#include "router/binding_router.h"
#include "router/router_messages.h"

namespace hpk {
namespace {

// Runs one handler slot; an escaping exception becomes the response's error.
template <class Slot>
void Guarded(HandlerResponse& response, const std::string& functionName, Slot&& slot) {
    GuardedCall(
        [&](const std::exception* error) {
            response.SetError(FormatPositional(kMsgHandlerFailed, functionName, error != nullptr ? error->what() : ""));
        },
        slot);
}

void FillContext(RequestContext& context, BindingRouter& api, const HostRequest& request) {
    context.callerHandle = request.callerHandle;
    context.api = &api;
    context.receiveTime = platform::SystemTimeTicks();
    context.method = NormaliseMethod(request.method);
    if (context.method == RequestMethod::Other && request.methodName != nullptr) {
        context.methodName = request.methodName;
    }
    if (request.url != nullptr) context.url = request.url;
    if (request.headers != nullptr) {
        for (std::uint32_t i = 0; i < request.headerCount; ++i) {
            const HostHeaderEntry& header = request.headers[i];
            if (header.name == nullptr) continue;
            context.headers[header.name] = header.value != nullptr ? header.value : "";
        }
    }
}

}  // namespace

void BindingRouter::Dispatch(HostResponse& response, const HostRequest& request, const Route* const* routes,
                             std::size_t routeCount) {
    ResetHostResponse(response);
    RouteRequest match;
    match.method = NormaliseMethod(request.method);
    if (match.method == RequestMethod::Other && request.methodName != nullptr) match.methodName = request.methodName;
    match.url = request.url != nullptr ? std::string_view(request.url) : std::string_view();
    const RouteMatch selected = MatchRoutes(routes, routeCount, match);
    const EndpointRegistration* registration = selected.route == nullptr ? nullptr : selected.route->Registration();
    RequestHandler* handler = registration == nullptr ? nullptr : registration->Handler();
    if (handler == nullptr) {
        SetHostResponseError(response, kMsgInvalidFunction);
        response.status = 404;
        return;
    }

    HandlerResponse handled;
    RequestContext context;
    const std::string& functionName = registration->Signature().functionName;
    ArgumentBinder binder(registration->Signature(), handled, context.arguments);
    binder.BindAll(request, *selected.route, selected.captures);

    // Released once the response is filled, and also when filling it throws.
    struct TokenRelease {
        RequestHandler* handler;
        CallToken token = 0;
        ~TokenRelease() {
            if (token == 0) return;
            // The response is complete; a failing release can only be swallowed.
            GuardedCall([](const std::exception*) {}, [&] { handler->Release(token); });
        }
    } release{handler};
    CallToken& token = release.token;
    if (!handled.HasError()) {
        Guarded(handled, functionName,
                [&] { token = handler->Prepare(handled, context.arguments, request.callerHandle); });
    }
    if (!handled.HasError()) {
        Guarded(handled, functionName, [&] {
            if (IsRequestContextType(handler->ContextType())) {
                FillContext(context, *this, request);
                handler->Invoke(handled, &context, token, request.callerHandle);
            } else {
                handler->Invoke(handled, nullptr, token, request.callerHandle);
            }
        });
    }
    FillHostResponse(response, handled, this);
}

extern "C" void RequestCallback(HostResponse* response, const HostRequest* request) noexcept {
    if (response == nullptr) return;
    const BoundaryEntry entry(BoundaryCall::Request);
    GuardedCall(
        [&](const std::exception*) {
            // Out of memory while binding or filling: whatever was built is
            // released and the static error needs no allocation.
            ResetHostResponse(*response);
            SetHostResponseError(*response, kMsgInternalError);
        },
        [&] {
            const auto* data =
                request == nullptr ? nullptr : static_cast<const EndpointUserData*>(request->endpointUserData);
            if (data == nullptr || data->api == nullptr || data->registration == nullptr) {
                ResetHostResponse(*response);
                SetHostResponseError(*response, kMsgNoEndpoint);
                response->status = 404;
                return;
            }
            const Route* route = &data->registration->CompiledRoute();
            data->api->Dispatch(*response, *request, &route, 1);
        });
}

}  // namespace hpk
