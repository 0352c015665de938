// Registration of the built-in types, in their fixed order.
#include "binding/builtin_types.h"

#include "binding/type_registration.h"

namespace hpk {
namespace {

constexpr std::string_view kBuiltinTag = "$builtin";

void RegisterHelpRecords(BindingTypeRegistry& registry) {
    RegisterEnum<BindingHelpFormat>(registry, "BindingHelpFormat",
                                    {{"Full", BindingHelpFormat::Full, "Native help format"},
                                     {"Epytext", BindingHelpFormat::Epytext, "Python epytext format"}})
        .SetDescription("Help format for binding functions and types.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using TypeId = BindingFullTypeIdentifier;
    RegisterStruct<TypeId>(registry, "BindingFullTypeIdentifier",
                           {Field("type", &TypeId::type), Field("elementType", &TypeId::elementType)})
        .SetDescription("Describes the type of a value.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using Argument = BindingFullArgumentHelp;
    RegisterStruct<Argument>(registry, "BindingFullArgumentHelp",
                             {Field("name", &Argument::name), Field("description", &Argument::description),
                              Field("type", &Argument::type), Field("optional", &Argument::optional)})
        .SetDescription("Describes a function parameter.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using Function = BindingFullFunctionHelp;
    RegisterStruct<Function>(
        registry, "BindingFullFunctionHelp",
        {Field("name", &Function::name), Field("nameSpace", &Function::nameSpace),
         Field("arguments", &Function::arguments), Field("returns", &Function::returns),
         Field("description", &Function::description), Field("help", &Function::help),
         Field("threadSafe", &Function::threadSafe), Field("async", &Function::async), Field("tags", &Function::tags)})
        .SetDescription("Describes a function.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using EnumValue = BindingFullEnumValueHelp;
    RegisterStruct<EnumValue>(registry, "BindingFullEnumValueHelp",
                              {Field("name", &EnumValue::name), Field("description", &EnumValue::description),
                               Field("value", &EnumValue::value)})
        .SetDescription("Describes an enumerator.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using FieldHelp = BindingFullFieldHelp;
    RegisterStruct<FieldHelp>(
        registry, "BindingFullFieldHelp",
        {Field("name", &FieldHelp::name), Field("description", &FieldHelp::description),
         Field("offset", &FieldHelp::offset), Field("type", &FieldHelp::type), Field("optional", &FieldHelp::optional)})
        .SetDescription("Describes a member of a struct.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using Type = BindingFullTypeHelp;
    RegisterStruct<Type>(registry, "BindingFullTypeHelp",
                         {Field("name", &Type::name), Field("nameSpace", &Type::nameSpace), Field("size", &Type::size),
                          Field("description", &Type::description), Field("tags", &Type::tags),
                          Field("fields", &Type::fields), Field("values", &Type::values)})
        .SetDescription("Describes a struct or enum type.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using Event = BindingFullEventHelp;
    RegisterStruct<Event>(
        registry, "BindingFullEventHelp",
        {Field("name", &Event::name), Field("nameSpace", &Event::nameSpace), Field("type", &Event::type),
         Field("description", &Event::description), Field("tags", &Event::tags)})
        .SetDescription("Describes an event.")
        .AddTag(kBuiltinTag)
        .AddTag("help");

    using Api = BindingFullApiHelp;
    RegisterStruct<Api>(
        registry, "BindingFullApiHelp",
        {Field("functions", &Api::functions), Field("types", &Api::types), Field("events", &Api::events)})
        .SetDescription("Describes the exposed native API.")
        .AddTag(kBuiltinTag)
        .AddTag("help");
}

void RegisterAsyncRecords(BindingTypeRegistry& registry) {
    using State = BindingAsyncState;
    RegisterEnum<State>(registry, "BindingAsyncState",
                        {{"None", State::None, "Invalid state"},
                         {"Running", State::Running, "The operation is in flight"},
                         {"Cancelling", State::Cancelling, "A request to cancel the operation has been made"},
                         {"Cancelled", State::Cancelled, "The operation was cancelled"},
                         {"Succeeded", State::Succeeded, "The operation completed successfully"},
                         {"Failed", State::Failed, "The operation encountered an error"}})
        .SetDescription("Possible states of an asynchronous operation.")
        .AddTag(kBuiltinTag)
        .AddTag("async");

    RegisterStruct<BindingGenericEvent>(registry, "BindingGenericEvent",
                                        {Field("data", &BindingGenericEvent::data).Describe("Event data")})
        .SetDescription("Represents generic data for an event.")
        .AddTag(kBuiltinTag);

    RegisterStruct<BindingCallbackEvent>(
        registry, "BindingCallbackEvent",
        {Field("id", &BindingCallbackEvent::id).Describe("ID of the callback being invoked"),
         Field("parameters", &BindingCallbackEvent::parameters).Describe("Callback parameters")})
        .SetDescription("Represents the parameters of a call to a provided callback.")
        .AddTag(kBuiltinTag);

    RegisterStruct<BindingGenericAsyncEvent>(
        registry, "BindingGenericAsyncEvent",
        {Field("asyncToken", &BindingGenericAsyncEvent::asyncToken).Describe("Asynchronous operation token"),
         Field("data", &BindingGenericAsyncEvent::data).Describe("Event data")})
        .SetDescription("Represents generic data for an asynchronous event.")
        .AddTag(kBuiltinTag)
        .AddTag("async");

    RegisterStruct<BindingAsyncFailureEvent>(
        registry, "BindingAsyncFailureEvent",
        {Field("asyncToken", &BindingAsyncFailureEvent::asyncToken).Describe("Asynchronous operation token"),
         Field("error", &BindingAsyncFailureEvent::error).Describe("Error message")})
        .SetDescription("Represents a failed asynchronous operation.")
        .AddTag(kBuiltinTag)
        .AddTag("async");

    RegisterStruct<BindingAsyncCancelEvent>(
        registry, "BindingAsyncCancelEvent",
        {Field("asyncToken", &BindingAsyncCancelEvent::asyncToken).Describe("Asynchronous operation token")})
        .SetDescription("Represents a cancelled asynchronous operation.")
        .AddTag(kBuiltinTag)
        .AddTag("async");
}

}  // namespace

void RegisterBuiltinTypes(BindingTypeRegistry& registry) {
    RegisterHelpRecords(registry);
    RegisterAsyncRecords(registry);
    RegisterEvent<BindingCallbackEvent>(registry, "OnCallback")
        .SetDescription("Fired when a callback is invoked.")
        .AddTag(kBuiltinTag);
}

}  // namespace hpk
