// BindingRouter: the plugin's type registry extended with served functions.
// It keeps, per served function, the EndpointRegistration (path template,
// method, argument locations) and the endpoint user data the host hands back
// with every request, and it dispatches those requests: match the route, bind
// the arguments, prepare, invoke, release, and fill the HostResponse.
//
// Registration happens before the host can send requests (RegisterApi);
// afterwards the tables are read-only and requests need no lock.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "binding/type_registry.h"
#include "diagnostics/positional_format.h"
#include "boundary/abi/host_request.h"
#include "router/argument_binding.h"
#include "router/endpoint_registration.h"
#include "router/request_handler.h"
#include "router/request_method.h"
#include "router/route.h"
#include "router/router_messages.h"
#include "router/typed_handler.h"
#include "router/url_text.h"

namespace hpk {

// One declared argument of a served function: its name, where it may come
// from, and whether a request may leave it out (its native value then keeps its
// default).
struct ArgumentSpec {
    ArgumentSpec(std::string argumentName, ArgumentLocation argumentLocation = ArgumentLocation::Any,
                 bool isOptional = false, std::string argumentDescription = {})
        : name(std::move(argumentName)), location(argumentLocation), optional(isOptional),
          description(std::move(argumentDescription)) {}

    std::string name;
    ArgumentLocation location;
    bool optional;
    std::string description;
};

// The outcome of registering a served function: the registration, or why
// there is none (a malformed template, a taken name, a signature mismatch).
struct EndpointRegistrationResult {
    const EndpointRegistration* registration = nullptr;
    std::string error;
    explicit operator bool() const { return registration != nullptr; }
};

// Everything about a served function besides its handler and argument types.
struct EndpointSpec {
    std::string name;                            // the function's name; quoted in messages
    std::string pathTemplate;                    // empty: requests name the function itself
    RequestMethod method = RequestMethod::None;  // None: any method
    std::string methodName;                      // with RequestMethod::Other
    std::vector<ArgumentSpec> arguments;
    std::vector<std::string> tags;
    std::string description;
};

class BindingRouter : public BindingTypeRegistry {
public:
    BindingRouter();
    ~BindingRouter() override;

    // The registry's own form stays reachable beside the typed ones below.
    using BindingTypeRegistry::RegisterFunction;

    // Serves `callable` (no arguments, returning a registered record or any
    // convertible value) as GET `path`, under the function name
    // OperationName(GET, path). One line per served resource:
    //   router.ServeGet("/arx-content-targeting/v1/filters", [this] { return filters_; }, ApiTags());
    template <class F>
    [[nodiscard]] EndpointRegistrationResult ServeGet(std::string_view path, F callable,
                                                      std::vector<std::string> tags = {});

    // Serves `callable` with arguments. Its parameters are, in order: an
    // optional leading `const RequestContext&` (or `RequestContext*`), then one
    // native value per entry of `spec.arguments`. Arguments are converted from
    // the bound values through this registry (their names are the value paths
    // in messages); the result is converted back (void answers an empty body).
    template <class F>
    [[nodiscard]] EndpointRegistrationResult RegisterFunction(EndpointSpec spec, F callable);
    template <class F>
    [[nodiscard]] EndpointRegistrationResult RegisterFunction(std::string_view name, std::string_view pathTemplate,
                                                              RequestMethod method, std::vector<ArgumentSpec> arguments,
                                                              F callable, std::vector<std::string> tags = {});

    // The general form: a described function with its own handler object. The
    // function's argument list is filled from `spec.arguments` and `types`
    // (one type per argument) when it is empty.
    [[nodiscard]] EndpointRegistrationResult RegisterEndpoint(const EndpointSpec& spec,
                                                              std::vector<BindingTypeIdentifier> argumentTypes,
                                                              BindingTypeIdentifier resultType,
                                                              std::unique_ptr<RequestHandler> handler);

    // Registrations in registration order (what the host's endpoint records are
    // built from). The pointers live until Clear or destruction.
    std::vector<const EndpointRegistration*> Registrations() const;
    // The user data of a function name, created on first request (api: this
    // router). Lives until Clear or destruction.
    EndpointUserData* UserDataFor(std::string_view functionName);

    // Drops every registration and user data, then clears the registry.
    void Clear() override;

    // Serves one request against `routes` (tried in order). `response` is
    // released and refilled; it is always left with the release routine set.
    void Dispatch(HostResponse& response, const HostRequest& request, const Route* const* routes,
                  std::size_t routeCount);

private:
    std::vector<std::unique_ptr<EndpointRegistration>> registrations_;
    std::unordered_map<std::string, std::unique_ptr<EndpointUserData>> userData_;
};

// The request routine stored in every endpoint record the host calls through.
// Reads the request's endpoint user data, matches that endpoint's route and
// dispatches. Never lets an exception reach the host: anything that escapes
// leaves an error in the response.
extern "C" void RequestCallback(HostResponse* response, const HostRequest* request) noexcept;

// ---- Template definitions. ----

template <class F>
EndpointRegistrationResult BindingRouter::ServeGet(std::string_view path, F callable, std::vector<std::string> tags) {
    EndpointSpec spec;
    spec.name = OperationName(static_cast<std::uint32_t>(RequestMethod::Get), path);
    spec.pathTemplate = std::string(path);
    spec.method = RequestMethod::Get;
    spec.tags = std::move(tags);
    return RegisterFunction(std::move(spec), std::move(callable));
}

template <class F>
EndpointRegistrationResult BindingRouter::RegisterFunction(std::string_view name, std::string_view pathTemplate,
                                                           RequestMethod method, std::vector<ArgumentSpec> arguments,
                                                           F callable, std::vector<std::string> tags) {
    EndpointSpec spec;
    spec.name = std::string(name);
    spec.pathTemplate = std::string(pathTemplate);
    spec.method = method;
    spec.arguments = std::move(arguments);
    spec.tags = std::move(tags);
    return RegisterFunction(std::move(spec), std::move(callable));
}

template <class F>
EndpointRegistrationResult BindingRouter::RegisterFunction(EndpointSpec spec, F callable) {
    using Handler = TypedRequestHandler<F>;
    if (spec.arguments.size() != Handler::kArgumentCount) {
        EndpointRegistrationResult result;
        result.error =
            FormatPositional(kMsgArgumentCountMismatch, spec.name, static_cast<unsigned>(spec.arguments.size()),
                             static_cast<unsigned>(Handler::kArgumentCount));
        return result;
    }
    std::vector<bool> optional;
    std::vector<std::string> names;
    for (const ArgumentSpec& argument : spec.arguments) {
        optional.push_back(argument.optional);
        names.push_back(argument.name);
    }
    auto handler = std::make_unique<Handler>(std::move(callable), *this, std::move(names), std::move(optional));
    return RegisterEndpoint(spec, Handler::ArgumentTypes(*this), Handler::ResultType(*this), std::move(handler));
}

}  // namespace hpk
