// Endpoint records: one per served function, chained, each starting with the
// function's description record and carrying how requests reach it.
#include "plugin/served_resources.h"

#include <cstring>

#include "binding/host_description.h"
#include "router/binding_router.h"
#include "router/handler_response.h"
#include "router/request_method.h"

namespace hpk {
namespace {

std::int32_t LocationCode(ArgumentLocation location) {
    const auto code = static_cast<std::int32_t>(location);
    return code >= 1 && code <= 5 ? code : 0;
}

template <class Records>
void ChainRecords(Records& records) {
    for (std::size_t i = 0; i + 1 < records.size(); ++i) records[i].next = &records[i + 1];
}

}  // namespace

void ServedResources::Build(BindingRouter& router) {
    // The registry keeps the description; filling the table only copies its
    // array pointers, so the cast does not change what the registry holds.
    auto& description = const_cast<BindingHostDescription&>(router.BuildHostDescription());
    const std::vector<const EndpointRegistration*> registrations = router.Registrations();

    endpoints_.resize(registrations.size());
    for (std::size_t i = 0; i < registrations.size(); ++i) {
        const EndpointRegistration& registration = *registrations[i];
        HostEndpointRecord& endpoint = endpoints_[i];
        std::memset(&endpoint, 0, sizeof endpoint);
        const BindingFunctionInfo* function = registration.Function();
        if (function != nullptr) {
            if (const HostFunctionRecord* record = description.FindFunctionRecord(function->name)) {
                std::memcpy(&endpoint.function, record, sizeof endpoint.function);
            }
        }
        endpoint.function.next = nullptr;

        // One location record per declared argument; missing entries mean any.
        const std::size_t argumentCount = function != nullptr ? function->arguments.size() : 0;
        if (argumentCount != 0) {
            Array<HostArgumentLocationRecord> locations(argumentCount);
            const auto& declared = registration.ArgumentLocations();
            for (std::size_t a = 0; a < argumentCount; ++a) {
                locations[a].next = nullptr;
                locations[a].location = a < declared.size() ? LocationCode(declared[a]) : 0;
            }
            ChainRecords(locations);
            argumentLocations_.push_back(std::move(locations));
            endpoint.argumentLocations = argumentLocations_.back().data();
        }

        const auto& textLists = registration.TextLists();
        if (!textLists.empty()) {
            Array<HostTextListRecord> records(textLists.size());
            for (std::size_t t = 0; t < textLists.size(); ++t) {
                Array<const char*> texts;
                texts.reserve(textLists[t].size());
                for (const std::string& text : textLists[t]) texts.push_back(text.c_str());
                texts_.push_back(std::move(texts));
                records[t].next = nullptr;
                records[t].texts = texts_.back().empty() ? nullptr : texts_.back().data();
                records[t].count = static_cast<std::uint32_t>(textLists[t].size());
            }
            ChainRecords(records);
            textLists_.push_back(std::move(records));
            endpoint.textLists = textLists_.back().data();
            endpoint.textListCount = static_cast<std::uint32_t>(textLists.size());
        }

        endpoint.pathTemplate = registration.PathTemplate().c_str();
        endpoint.method = NormalisedMethodCode(registration.Method());
        endpoint.flags = registration.Flags();
        endpoint.methodName = registration.MethodName().c_str();
    }
    for (std::size_t i = 0; i + 1 < endpoints_.size(); ++i) {
        endpoints_[i].function.next = &endpoints_[i + 1].function;
    }

    for (std::size_t i = 0; i < registrations.size(); ++i) {
        HostEndpointRecord& endpoint = endpoints_[i];
        // A registration whose function has no description record still needs
        // its user data, or the host could not reach it at all.
        const char* name = endpoint.function.name;
        const std::string_view functionName =
            name != nullptr
                ? std::string_view(name)
                : (registrations[i]->Function() != nullptr ? std::string_view(registrations[i]->Function()->name)
                                                           : std::string_view());
        EndpointUserData* userData = router.UserDataFor(functionName);
        userData->api = &router;
        userData->registration = registrations[i];
        endpoint.function.endpointUserData = userData;
        endpoint.requestCallback = &RequestCallback;
    }

    table_ = HostTableRecord{};
    description.FillTable(table_);
    table_.endpoints = endpoints_.empty() ? nullptr : endpoints_.data();
    table_.endpointCount = static_cast<std::uint32_t>(endpoints_.size());
}

}  // namespace hpk
