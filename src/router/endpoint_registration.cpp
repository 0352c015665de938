// Endpoint registrations and their compiled routes.
#include "router/endpoint_registration.h"

#include "router/request_handler.h"
#include "router/url_text.h"

namespace hpk {

EndpointRegistration::EndpointRegistration(const BindingFunctionInfo* function) : function_(function) { Recompile(); }

RequestHandler* EndpointRegistration::Handler() const {
    return function_ == nullptr ? nullptr : dynamic_cast<RequestHandler*>(function_->handler.get());
}

std::string EndpointRegistration::SetPathTemplate(std::string_view pathTemplate) {
    std::string error = TemplateError(pathTemplate);
    if (!error.empty()) return error;
    pathTemplate_ = NormaliseTemplate(pathTemplate);
    Recompile();
    return {};
}

void EndpointRegistration::SetMethod(RequestMethod method) {
    method_ = NormaliseMethod(static_cast<std::uint32_t>(method));
    methodName_.clear();
    Recompile();
}

void EndpointRegistration::SetMethodName(std::string_view name) {
    methodName_ = std::string(name);
    Recompile();
}

void EndpointRegistration::SetArgumentLocations(std::vector<ArgumentLocation> locations) {
    locations_ = std::move(locations);
    Recompile();
}

void EndpointRegistration::Recompile() {
    const std::string_view routeText =
        pathTemplate_.empty() && function_ != nullptr ? std::string_view(function_->name) : pathTemplate_;
    route_ = Route::Build(this, routeText, method_, methodName_);

    signature_ = BindingSignature{};
    if (function_ == nullptr) return;
    signature_.functionName = function_->name;
    for (std::size_t i = 0; i < function_->arguments.size(); ++i) {
        const BindingArgumentInfo& info = function_->arguments[i];
        BoundArgument argument;
        argument.name = info.name;
        argument.kind = info.type.kind;
        argument.optional = info.optional;
        argument.location = i < locations_.size() ? locations_[i] : ArgumentLocation::Any;
        signature_.arguments.push_back(std::move(argument));
    }
}

}  // namespace hpk
