// The built-in types and event that every registry carries from its creation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "binding/builtin_types.h"
#include "binding/type_registration.h"

namespace hpk {
namespace {

struct ExpectedField {
    const char* name;
    BindingTypeKind kind;
    const char* description;
};

void ExpectFields(const BindingStructInfo* info, const std::vector<ExpectedField>& expected) {
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->fields.size(), expected.size()) << info->name;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(info->fields[i].name, expected[i].name);
        EXPECT_EQ(info->fields[i].type.kind, expected[i].kind);
        EXPECT_EQ(info->fields[i].description, expected[i].description);
        EXPECT_EQ(info->fields[i].flags, 0);
    }
}

TEST(BuiltinTypes, AsyncStateHasSixEnumeratorsInValueOrder) {
    BindingTypeRegistry registry;
    const BindingStructInfo* state = registry.FindTypeByName("BindingAsyncState");
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->isEnumeration);
    EXPECT_EQ(state->size, 4u);
    EXPECT_EQ(state->description, "Possible states of an asynchronous operation.");
    EXPECT_EQ(state->tags, (std::vector<std::string>{"$builtin", "async"}));
    struct Row {
        const char* name;
        std::int32_t value;
        const char* description;
    };
    const std::vector<Row> rows = {
        {"None", 0, "Invalid state"},
        {"Running", 1, "The operation is in flight"},
        {"Cancelling", 2, "A request to cancel the operation has been made"},
        {"Cancelled", 3, "The operation was cancelled"},
        {"Succeeded", 4, "The operation completed successfully"},
        {"Failed", 5, "The operation encountered an error"},
    };
    ASSERT_EQ(state->enumerators.size(), rows.size());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const BindingEnumeratorInfo* enumerator = state->EnumeratorByValue(row.value);
        ASSERT_NE(enumerator, nullptr);
        EXPECT_EQ(enumerator->name, row.name);
        EXPECT_EQ(enumerator->description, row.description);
    }
    EXPECT_EQ(registry.FindType(TypeRecordOf<BindingAsyncState>()), state);
}

TEST(BuiltinTypes, EventRecordsAndTheCallbackEvent) {
    BindingTypeRegistry registry;
    ExpectFields(registry.FindTypeByName("BindingGenericEvent"), {{"data", BindingTypeKind::Object, "Event data"}});
    ExpectFields(registry.FindTypeByName("BindingCallbackEvent"),
                 {{"id", BindingTypeKind::UInt32, "ID of the callback being invoked"},
                  {"parameters", BindingTypeKind::Vector, "Callback parameters"}});
    EXPECT_EQ(registry.FindTypeByName("BindingCallbackEvent")->fields[1].type.elementKind, BindingTypeKind::Object);
    ExpectFields(registry.FindTypeByName("BindingGenericAsyncEvent"),
                 {{"asyncToken", BindingTypeKind::UInt32, "Asynchronous operation token"},
                  {"data", BindingTypeKind::Object, "Event data"}});
    ExpectFields(registry.FindTypeByName("BindingAsyncFailureEvent"),
                 {{"asyncToken", BindingTypeKind::UInt32, "Asynchronous operation token"},
                  {"error", BindingTypeKind::String, "Error message"}});
    ExpectFields(registry.FindTypeByName("BindingAsyncCancelEvent"),
                 {{"asyncToken", BindingTypeKind::UInt32, "Asynchronous operation token"}});
    EXPECT_EQ(registry.FindTypeByName("BindingCallbackEvent")->description,
              "Represents the parameters of a call to a provided callback.");
    EXPECT_EQ(registry.FindTypeByName("BindingGenericEvent")->tags, std::vector<std::string>{"$builtin"});

    const BindingEventInfo* callback = registry.FindEvent("OnCallback");
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(callback->payload, registry.FindTypeByName("BindingCallbackEvent"));
    EXPECT_EQ(callback->description, "Fired when a callback is invoked.");
    EXPECT_EQ(callback->tags, std::vector<std::string>{"$builtin"});
    EXPECT_EQ(registry.EventsSnapshot().size(), 1u);
}

TEST(BuiltinTypes, HelpRecordsNestTheirRegisteredParts) {
    BindingTypeRegistry registry;
    const BindingStructInfo* typeId = registry.FindTypeByName("BindingFullTypeIdentifier");
    const BindingStructInfo* argument = registry.FindTypeByName("BindingFullArgumentHelp");
    const BindingStructInfo* function = registry.FindTypeByName("BindingFullFunctionHelp");
    const BindingStructInfo* typeHelp = registry.FindTypeByName("BindingFullTypeHelp");
    const BindingStructInfo* api = registry.FindTypeByName("BindingFullApiHelp");
    ExpectFields(argument, {{"name", BindingTypeKind::String, ""},
                            {"description", BindingTypeKind::String, ""},
                            {"type", BindingTypeKind::Struct, ""},
                            {"optional", BindingTypeKind::Bool, ""}});
    EXPECT_EQ(argument->fields[2].type.info, typeId);
    ExpectFields(function, {{"name", BindingTypeKind::String, ""},
                            {"nameSpace", BindingTypeKind::String, ""},
                            {"arguments", BindingTypeKind::Vector, ""},
                            {"returns", BindingTypeKind::Struct, ""},
                            {"description", BindingTypeKind::String, ""},
                            {"help", BindingTypeKind::String, ""},
                            {"threadSafe", BindingTypeKind::Bool, ""},
                            {"async", BindingTypeKind::String, ""},
                            {"tags", BindingTypeKind::Vector, ""}});
    EXPECT_EQ(function->fields[2].type.info, argument);
    EXPECT_EQ(function->fields[8].type.elementKind, BindingTypeKind::String);
    ExpectFields(typeHelp, {{"name", BindingTypeKind::String, ""},
                            {"nameSpace", BindingTypeKind::String, ""},
                            {"size", BindingTypeKind::UInt32, ""},
                            {"description", BindingTypeKind::String, ""},
                            {"tags", BindingTypeKind::Vector, ""},
                            {"fields", BindingTypeKind::Vector, ""},
                            {"values", BindingTypeKind::Vector, ""}});
    EXPECT_EQ(typeHelp->fields[5].type.info, registry.FindTypeByName("BindingFullFieldHelp"));
    EXPECT_EQ(typeHelp->fields[6].type.info, registry.FindTypeByName("BindingFullEnumValueHelp"));
    ExpectFields(api, {{"functions", BindingTypeKind::Vector, ""},
                       {"types", BindingTypeKind::Vector, ""},
                       {"events", BindingTypeKind::Vector, ""}});
    EXPECT_EQ(api->fields[2].type.info, registry.FindTypeByName("BindingFullEventHelp"));
    EXPECT_EQ(api->description, "Describes the exposed native API.");
    EXPECT_EQ(api->tags, (std::vector<std::string>{"$builtin", "help"}));

    const BindingStructInfo* format = registry.FindTypeByName("BindingHelpFormat");
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->EnumeratorByName("Full")->value, 1);
    EXPECT_EQ(format->EnumeratorByName("Epytext")->description, "Python epytext format");
}

TEST(BuiltinTypes, RegisteringTwiceKeepsOneCopy) {
    BindingTypeRegistry registry;
    const auto types = registry.TypesSnapshot();
    const BindingStructInfo* before = registry.FindTypeByName("BindingFullApiHelp");
    RegisterBuiltinTypes(registry);
    EXPECT_EQ(registry.TypesSnapshot().size(), types.size());
    EXPECT_EQ(registry.TypesSnapshot().size(), 15u);
    EXPECT_EQ(registry.FindTypeByName("BindingFullApiHelp"), before);
    EXPECT_EQ(before->fields.size(), 3u);
    EXPECT_EQ(registry.FindTypeByName("BindingAsyncState")->tags.size(), 2u);
    EXPECT_EQ(registry.EventsSnapshot().size(), 1u);
}

TEST(BuiltinTypes, CallbackEventConvertsBothWays) {
    BindingTypeRegistry registry;
    BindingValue input;
    input.Member("id").SetUnsigned(12);
    input.Member("parameters").Element(0).SetString("a");
    input.Member("parameters").Element(1).Member("k").SetBool(true);
    BindingCallbackEvent event;
    BindingResult result;
    FromValue(result, event, input, "<value>", registry);
    ASSERT_TRUE(result.IsOk()) << result.ErrorText();
    EXPECT_EQ(event.id, 12u);
    ASSERT_EQ(event.parameters.size(), 2u);
    EXPECT_EQ(event.parameters[0].AsString(), "a");

    BindingResult back;
    ToValue(back, event, registry);
    ASSERT_TRUE(back.IsOk());
    EXPECT_TRUE(back.Value().Member("parameters").Element(1).Member("k").AsBool());
}

}  // namespace
}  // namespace hpk
