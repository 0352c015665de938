// Documents built from the API the plugin hands the host: the help document
// in the shape of the built-in BindingFullApiHelp record, and an OpenAPI 3.1
// document of the served resources. Both are value trees, written out as JSON
// by the caller. Functions, types and events are sorted by name, so the output
// does not follow the plugin's hash tables from one build to the next.
#pragma once
#include <string>

#include "host/api_description.h"
#include "binding/binding_value.h"

namespace hpk::host {

// {functions: [BindingFullFunctionHelp], types: [BindingFullTypeHelp],
//  events: [BindingFullEventHelp]}, plus {endpoints: [...]}: how each
// function is reached (path, method, argument locations), which the help
// records do not carry.
BindingValue ApiHelpDocument(const ApiDescription& api);

// The BindingFullTypeIdentifier text form of a type: {type, elementType},
// e.g. {"vector", "HpkBeArxContentTargetingChampionGames"} or {"int32", ""}.
BindingValue TypeIdentifierValue(const TypeRef& type);

// OpenAPI 3.1: one path per endpoint record (its method as the operation,
// its arguments as parameters or request body, its result as the 200
// response), every registered type as a component schema, every event as a
// webhook carrying its payload type.
BindingValue OpenApiDocument(const ApiDescription& api, const std::string& title, const std::string& version);

// Functions, types and events in name order (functions by path, then name).
void SortApi(ApiDescription& api);

}  // namespace hpk::host
