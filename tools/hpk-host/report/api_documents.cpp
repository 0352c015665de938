// The help document and the OpenAPI document of the plugin's API.
#include "report/api_documents.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "binding/builtin_types.h"
#include "text/host_messages.h"
#include "host/record_value.h"

namespace hpk::host {

namespace {

void SetTexts(BindingValue& target, const std::vector<std::string>& texts) {
    target.MakeCollection();
    for (const std::string& text : texts) target.Append().SetString(text);
}

// Component names may hold letters, digits, ".", "-" and "_" only.
std::string ComponentName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == '_';
        if (!ok) c = '_';
    }
    return out.empty() ? std::string("_") : out;
}

void SetRef(BindingValue& schema, const std::string& name) {
    schema.Member("$ref").SetString("#/components/schemas/" + ComponentName(name));
}

void IntegerSchema(BindingValue& schema, std::int64_t minimum, std::uint64_t maximum, const char* format) {
    schema.Member("type").SetString("integer");
    if (format != nullptr) schema.Member("format").SetString(format);
    if (minimum < 0) {
        schema.Member("minimum").SetSigned(minimum);
    } else {
        schema.Member("minimum").SetUnsigned(static_cast<std::uint64_t>(minimum));
    }
    schema.Member("maximum").SetUnsigned(maximum);
}

// The JSON schema of one kind; `name` is the registered name for enum/struct.
void KindSchema(BindingValue& schema, HostTypeKind kind, const std::string& name) {
    schema.MakeStructure();
    switch (kind) {
        case HostTypeKind::Bool: schema.Member("type").SetString("boolean"); break;
        case HostTypeKind::Int8: IntegerSchema(schema, -128, 127, nullptr); break;
        case HostTypeKind::UInt8: IntegerSchema(schema, 0, 255, nullptr); break;
        case HostTypeKind::Int16: IntegerSchema(schema, -32768, 32767, nullptr); break;
        case HostTypeKind::UInt16: IntegerSchema(schema, 0, 65535, nullptr); break;
        case HostTypeKind::Int32:
            IntegerSchema(schema, std::numeric_limits<std::int32_t>::min(), 2147483647u, "int32");
            break;
        case HostTypeKind::UInt32: IntegerSchema(schema, 0, 4294967295u, nullptr); break;
        case HostTypeKind::Int64:
            IntegerSchema(schema, std::numeric_limits<std::int64_t>::min(),
                          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()), "int64");
            break;
        case HostTypeKind::UInt64: IntegerSchema(schema, 0, std::numeric_limits<std::uint64_t>::max(), nullptr); break;
        case HostTypeKind::Float:
        case HostTypeKind::Double:
            schema.Member("type").SetString("number");
            schema.Member("format").SetString(kind == HostTypeKind::Float ? "float" : "double");
            break;
        case HostTypeKind::String: schema.Member("type").SetString("string"); break;
        case HostTypeKind::Blob:
            schema.Member("type").SetString("string");
            schema.Member("contentEncoding").SetString("base64");
            break;
        case HostTypeKind::Enum:
        case HostTypeKind::Struct:
            if (!name.empty()) {
                SetRef(schema, name);
            } else {
                schema.Member("type").SetString(kind == HostTypeKind::Struct ? "object" : "string");
            }
            break;
        default: break;  // object, callback, unknown: any value
    }
}

void TypeSchema(BindingValue& schema, const TypeRef& type) {
    if (IsContainerKind(type.kind)) {
        const bool vector = type.kind == HostTypeKind::Vector;
        schema.MakeStructure();
        schema.Member("type").SetString(vector ? "array" : "object");
        KindSchema(schema.Member(vector ? "items" : "additionalProperties"), type.elementKind, type.name);
        return;
    }
    KindSchema(schema, type.kind, type.name);
}

BindingValue ComponentSchema(const TypeInfo& type) {
    BindingValue schema;
    schema.MakeStructure();
    if (!type.description.empty()) schema.Member("description").SetString(type.description);
    if (type.hasFields || type.enumerators.empty()) {
        schema.Member("type").SetString("object");
        BindingValue& properties = schema.Member("properties");
        properties.MakeStructure();
        for (const FieldInfo& field : type.fields) {
            BindingValue& property = properties.Member(field.name);
            TypeSchema(property, field.type);
            if (!field.description.empty()) property.Member("description").SetString(field.description);
        }
        return schema;
    }
    // Enumerators travel by name; their numbers are accepted too, so both are listed.
    schema.Member("type").SetString("string");
    BindingValue& names = schema.Member("enum");
    names.MakeCollection();
    BindingValue& values = schema.Member("x-enumerator-values");
    values.MakeStructure();
    for (const EnumeratorInfo& enumerator : type.enumerators) {
        names.Append().SetString(enumerator.name);
        values.Member(enumerator.name).SetSigned(enumerator.value);
    }
    return schema;
}

// The BindingFullTypeIdentifier of a type: named kinds by their name,
// containers with their element's.
BindingFullTypeIdentifier TypeIdentifier(const TypeRef& type) {
    const bool named = IsNamedKind(type.kind);
    const bool container = IsContainerKind(type.kind);
    const bool namedElement = container && IsNamedKind(type.elementKind) && !type.name.empty();
    return {named && !type.name.empty() ? type.name : TypeKindText(type.kind), namedElement ? type.name
                                                                               : container
                                                                                   ? TypeKindText(type.elementKind)
                                                                                   : ""};
}

// A registry of the built-in records alone, kept until the process ends.
const BindingTypeRegistry& HelpRegistry() {
    static const BindingTypeRegistry* const registry = new BindingTypeRegistry;
    return *registry;
}

template <class Record>
BindingValue HelpValue(const Record& record) {
    return RecordValue(record, HelpRegistry());
}

const char* OperationName(std::uint32_t method) {
    static const char* const kNames[] = {"get", "delete", "get", "head", "options", "patch", "post", "put"};
    return method < 8 ? kNames[method] : nullptr;
}

const char* ParameterPlace(std::int32_t location) {
    switch (location) {
        case 2: return "path";
        case 4: return "header";
        default: return "query";  // 0 (anywhere) and 1
    }
}

BindingValue Operation(const FunctionInfo& function) {
    BindingValue operation;
    operation.MakeStructure();
    operation.Member("operationId").SetString(function.name);
    if (!function.description.empty()) operation.Member("summary").SetString(function.description);
    if (!function.help.empty()) operation.Member("description").SetString(function.help);
    SetTexts(operation.Member("tags"), function.tags);
    BindingValue parameters;
    parameters.MakeCollection();
    for (std::size_t i = 0; i < function.arguments.size(); ++i) {
        const ArgumentInfo& argument = function.arguments[i];
        const std::int32_t location = i < function.endpoint.locations.size() ? function.endpoint.locations[i] : 0;
        if (location == 5) {
            BindingValue& body = operation.Member("requestBody");
            body.Member("required").SetBool(!argument.optional);
            if (!argument.description.empty()) body.Member("description").SetString(argument.description);
            BindingValue& content = body.Member("content");
            for (const char* type : {"application/json", "application/x-yaml", "application/x-msgpack"}) {
                TypeSchema(content.Member(type).Member("schema"), argument.type);
            }
            continue;
        }
        BindingValue& parameter = parameters.Append();
        parameter.Member("name").SetString(argument.name);
        parameter.Member("in").SetString(ParameterPlace(location));
        parameter.Member("required").SetBool(location == 2 || !argument.optional);
        if (!argument.description.empty()) parameter.Member("description").SetString(argument.description);
        TypeSchema(parameter.Member("schema"), argument.type);
    }
    if (parameters.Size() != 0) operation.Member("parameters").MoveFrom(parameters);
    BindingValue& responses = operation.Member("responses");
    BindingValue& ok = responses.Member("200");
    ok.Member("description").SetString(kMsgOpenApiOk);
    if (function.result.kind != HostTypeKind::None) {
        TypeSchema(ok.Member("content").Member("application/json").Member("schema"), function.result);
    }
    responses.Member("default").Member("description").SetString(kMsgOpenApiError);
    return operation;
}

}  // namespace

BindingValue TypeIdentifierValue(const TypeRef& type) { return HelpValue(TypeIdentifier(type)); }

void SortApi(ApiDescription& api) {
    std::stable_sort(api.functions.begin(), api.functions.end(), [](const FunctionInfo& a, const FunctionInfo& b) {
        return a.endpoint.pathTemplate != b.endpoint.pathTemplate ? a.endpoint.pathTemplate < b.endpoint.pathTemplate
                                                                  : a.name < b.name;
    });
    std::stable_sort(api.types.begin(), api.types.end(),
                     [](const TypeInfo& a, const TypeInfo& b) { return a.name < b.name; });
    std::stable_sort(api.events.begin(), api.events.end(),
                     [](const EventInfo& a, const EventInfo& b) { return a.name < b.name; });
}

BindingValue ApiHelpDocument(const ApiDescription& api) {
    BindingFullApiHelp help;
    BindingValue endpoints;
    endpoints.MakeCollection();
    for (const FunctionInfo& function : api.functions) {
        BindingFullFunctionHelp& item = help.functions.emplace_back();
        item.name = function.name;
        item.nameSpace = function.nameSpace;
        for (const ArgumentInfo& argument : function.arguments) {
            item.arguments.push_back(
                {argument.name, argument.description, TypeIdentifier(argument.type), argument.optional});
        }
        item.returns = TypeIdentifier(function.result);
        item.description = function.description;
        item.help = function.help;
        item.threadSafe = function.threadSafe;
        item.async = function.asyncType;
        item.tags = function.tags;

        BindingValue& endpoint = endpoints.Append();
        endpoint.Member("function").SetString(function.name);
        endpoint.Member("path").SetString(function.endpoint.pathTemplate);
        endpoint.Member("method").SetUnsigned(function.endpoint.method);
        endpoint.Member("methodName").SetString(function.endpoint.methodName);
        endpoint.Member("flags").SetUnsigned(function.endpoint.flags);
        BindingValue& locations = endpoint.Member("argumentLocations");
        locations.MakeCollection();
        for (std::int32_t location : function.endpoint.locations) locations.Append().SetSigned(location);
        BindingValue& lists = endpoint.Member("textLists");
        lists.MakeCollection();
        for (const auto& list : function.endpoint.textLists) SetTexts(lists.Append(), list);
    }
    for (const TypeInfo& type : api.types) {
        BindingFullTypeHelp& item = help.types.emplace_back();
        item.name = type.name;
        item.nameSpace = type.nameSpace;
        item.size = type.size;
        item.description = type.description;
        item.tags = type.tags;
        for (const FieldInfo& field : type.fields) {
            item.fields.push_back(
                {field.name, field.description, field.offset, TypeIdentifier(field.type), field.optional});
        }
        for (const EnumeratorInfo& enumerator : type.enumerators) {
            item.values.push_back({enumerator.name, enumerator.description, enumerator.value});
        }
    }
    for (const EventInfo& event : api.events) {
        help.events.push_back({event.name, event.nameSpace,
                               TypeIdentifier(TypeRef{HostTypeKind::Struct, HostTypeKind::None, event.payloadType}),
                               event.description, event.tags});
    }
    // The endpoints are the host's addition: the help records do not carry them.
    BindingValue document = HelpValue(help);
    document.Member("endpoints").MoveFrom(endpoints);
    return document;
}

BindingValue OpenApiDocument(const ApiDescription& api, const std::string& title, const std::string& version) {
    BindingValue document;
    document.Member("openapi").SetString("3.1.0");
    BindingValue& info = document.Member("info");
    info.Member("title").SetString(title);
    info.Member("version").SetString(version);
    info.Member("description").SetString(kMsgOpenApiDescription);
    BindingValue& paths = document.Member("paths");
    paths.MakeStructure();
    for (const FunctionInfo& function : api.functions) {
        const std::string& path = function.endpoint.pathTemplate;
        if (path.empty() || path[0] != '/') continue;  // the table check reports these
        const char* operation = OperationName(function.endpoint.method);
        BindingValue& item = paths.Member(path);
        if (operation == nullptr) {
            // A method OpenAPI has no operation for travels by name.
            item.Member("x-method-" + ComponentName(function.endpoint.methodName)) = Operation(function);
        } else {
            item.Member(operation) = Operation(function);
        }
    }
    BindingValue& schemas = document.Member("components").Member("schemas");
    schemas.MakeStructure();
    for (const TypeInfo& type : api.types) schemas.Member(ComponentName(type.name)) = ComponentSchema(type);
    BindingValue& webhooks = document.Member("webhooks");
    webhooks.MakeStructure();
    for (const EventInfo& event : api.events) {
        BindingValue& post = webhooks.Member(event.name).Member("post");
        if (!event.description.empty()) post.Member("summary").SetString(event.description);
        SetTexts(post.Member("tags"), event.tags);
        BindingValue& schema = post.Member("requestBody").Member("content").Member("application/json").Member("schema");
        KindSchema(schema, HostTypeKind::Struct, event.payloadType);
        post.Member("responses").Member("200").Member("description").SetString(kMsgOpenApiDelivered);
    }
    return document;
}

}  // namespace hpk::host
