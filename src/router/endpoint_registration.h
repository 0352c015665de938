// How requests reach a served function: its path template, method, argument
// locations and the rest of what the host's endpoint record carries, plus the
// compiled route and binding signature the router keeps beside them. Owned by
// the router; lives until the router is cleared or destroyed.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_function_info.h"
#include "router/argument_binding.h"
#include "router/request_method.h"
#include "router/route.h"

namespace hpk {

class BindingRouter;
class RequestHandler;

// Modified only while the function is being registered (before the host can
// send requests); read-only afterwards, so requests need no lock. Every setter
// recompiles the route and signature, so a request always sees a route that
// matches the registration's current content.
class EndpointRegistration {
public:
    // `function` must outlive the registration (the registry owns both).
    explicit EndpointRegistration(const BindingFunctionInfo* function);
    // The compiled route points back at its registration: never copied or moved.
    EndpointRegistration(const EndpointRegistration&) = delete;
    EndpointRegistration& operator=(const EndpointRegistration&) = delete;

    const BindingFunctionInfo* Function() const { return function_; }
    // The handler of the function, or null when it has none of the router's kind.
    RequestHandler* Handler() const;

    // Empty on success; otherwise why the template is malformed (nothing changed).
    // A trailing "/" is dropped from templates longer than one character.
    [[nodiscard]] std::string SetPathTemplate(std::string_view pathTemplate);
    const std::string& PathTemplate() const { return pathTemplate_; }
    // Codes outside 1..8 are stored as None (any method); setting a method clears the name.
    void SetMethod(RequestMethod method);
    RequestMethod Method() const { return method_; }
    // Used with RequestMethod::Other.
    void SetMethodName(std::string_view name);
    const std::string& MethodName() const { return methodName_; }
    void SetFlags(std::uint8_t flags) { flags_ = flags; }
    std::uint8_t Flags() const { return flags_; }
    // One per declared argument of the function, in declaration order; missing
    // entries mean Any.
    void SetArgumentLocations(std::vector<ArgumentLocation> locations);
    const std::vector<ArgumentLocation>& ArgumentLocations() const { return locations_; }
    void AddTextList(std::vector<std::string> texts) { textLists_.push_back(std::move(texts)); }
    const std::vector<std::vector<std::string>>& TextLists() const { return textLists_; }

    // The route requests are matched against: the path template, or the
    // function's name when there is no template.
    const Route& CompiledRoute() const { return route_; }
    const BindingSignature& Signature() const { return signature_; }

private:
    void Recompile();

    const BindingFunctionInfo* function_;
    std::string pathTemplate_;
    RequestMethod method_ = RequestMethod::None;
    std::string methodName_;
    std::uint8_t flags_ = 0;
    std::vector<ArgumentLocation> locations_;
    std::vector<std::vector<std::string>> textLists_;
    Route route_;
    BindingSignature signature_;
};

// What the host hands back in every request to an endpoint: the router that
// owns the function and the function's registration. One per function name,
// owned by the router.
struct EndpointUserData {
    BindingRouter* api = nullptr;
    const EndpointRegistration* registration = nullptr;
};

}  // namespace hpk
