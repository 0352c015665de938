// The router's registration tables and the request entry point.
#include "router/binding_router.h"

#include <mutex>

#include "platform/platform.h"

namespace hpk {

BindingRouter::BindingRouter() { Reset(); }

BindingRouter::~BindingRouter() {
    // Registrations point at function descriptions the base destroys.
    registrations_.clear();
    userData_.clear();
}

EndpointRegistrationResult BindingRouter::RegisterEndpoint(const EndpointSpec& spec,
                                                           std::vector<BindingTypeIdentifier> argumentTypes,
                                                           BindingTypeIdentifier resultType,
                                                           std::unique_ptr<RequestHandler> handler) {
    EndpointRegistrationResult result;
    if (handler == nullptr) {
        result.error = FormatPositional(kMsgNoHandler, spec.name);
        return result;
    }
    const std::string templateError = TemplateError(spec.pathTemplate);
    if (!templateError.empty()) {
        result.error = FormatPositional(kMsgMalformedTemplate, spec.pathTemplate, spec.name, templateError);
        return result;
    }
    if (argumentTypes.size() != spec.arguments.size()) {
        result.error =
            FormatPositional(kMsgArgumentCountMismatch, spec.name, static_cast<unsigned>(spec.arguments.size()),
                             static_cast<unsigned>(argumentTypes.size()));
        return result;
    }

    auto function = std::make_unique<BindingFunctionInfo>();
    function->name = spec.name;
    function->description = spec.description;
    function->tags = spec.tags;
    function->result = resultType;
    for (std::size_t i = 0; i < spec.arguments.size(); ++i) {
        BindingArgumentInfo argument;
        argument.name = spec.arguments[i].name;
        argument.description = spec.arguments[i].description;
        argument.optional = spec.arguments[i].optional;
        argument.type = argumentTypes[i];
        function->arguments.push_back(std::move(argument));
    }
    function->handler = std::move(handler);
    BindingFunctionInfo* registered = BindingTypeRegistry::RegisterFunction(std::move(function));
    if (registered == nullptr) {
        result.error = FormatPositional(kMsgFunctionExists, spec.name);
        return result;
    }

    auto registration = std::make_unique<EndpointRegistration>(registered);
    static_cast<void>(registration->SetPathTemplate(spec.pathTemplate));  // checked above
    registration->SetMethod(spec.method);
    if (registration->Method() == RequestMethod::Other) registration->SetMethodName(spec.methodName);
    std::vector<ArgumentLocation> locations;
    for (const ArgumentSpec& argument : spec.arguments) locations.push_back(argument.location);
    registration->SetArgumentLocations(std::move(locations));

    result.registration = registration.get();
    platform::LockGuard lock(TableMutex());
    std::unique_ptr<EndpointUserData>& data = userData_[spec.name];
    if (data == nullptr) data = std::make_unique<EndpointUserData>();
    data->api = this;
    data->registration = registration.get();
    registrations_.push_back(std::move(registration));
    return result;
}

std::vector<const EndpointRegistration*> BindingRouter::Registrations() const {
    platform::LockGuard lock(TableMutex());
    std::vector<const EndpointRegistration*> list;
    list.reserve(registrations_.size());
    for (const auto& registration : registrations_) list.push_back(registration.get());
    return list;
}

EndpointUserData* BindingRouter::UserDataFor(std::string_view functionName) {
    platform::LockGuard lock(TableMutex());
    std::unique_ptr<EndpointUserData>& data = userData_[std::string(functionName)];
    if (data == nullptr) {
        data = std::make_unique<EndpointUserData>();
        data->api = this;
    }
    return data.get();
}

void BindingRouter::Clear() {
    std::vector<std::unique_ptr<EndpointRegistration>> registrations;
    std::unordered_map<std::string, std::unique_ptr<EndpointUserData>> userData;
    {
        platform::LockGuard lock(TableMutex());
        registrations.swap(registrations_);
        userData.swap(userData_);
    }
    registrations.clear();
    userData.clear();
    BindingTypeRegistry::Clear();
}

}  // namespace hpk
