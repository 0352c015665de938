// The help and OpenAPI documents built from a host table.
#include <gtest/gtest.h>

#include "report/api_documents.h"
#include "text/json_text.h"

namespace hpk::host {
namespace {

ApiDescription SampleApi() {
    ApiDescription api;
    FunctionInfo get;
    get.name = "GetThings";
    get.result = {HostTypeKind::Struct, HostTypeKind::None, "ThingList"};
    get.tags = {"Plugins"};
    get.arguments = {{"id", "", {HostTypeKind::Int32, HostTypeKind::None, ""}, false},
                     {"body", "", {HostTypeKind::Object, HostTypeKind::None, ""}, true}};
    get.endpoint.pathTemplate = "/things/{id}";
    get.endpoint.method = 2;
    get.endpoint.locations = {2, 5};
    api.functions.push_back(get);
    TypeInfo list;
    list.name = "ThingList";
    list.hasFields = true;
    list.fields = {{"items", "", 0, {HostTypeKind::Vector, HostTypeKind::Struct, "Thing"}, false},
                   {"count", "", 12, {HostTypeKind::UInt32, HostTypeKind::None, ""}, false}};
    TypeInfo state;
    state.name = "State";
    state.enumerators = {{"Off", "", 0}, {"On", "", 1}};
    api.types = {state, list};
    api.events.push_back({"OnThing", "", "ThingList", "Fired.", {"vclient"}});
    return api;
}

TEST(ApiDocuments, OpenApiHasPathsSchemasAndWebhooks) {
    BindingValue document = OpenApiDocument(SampleApi(), "plugin", "18.0.0");
    EXPECT_EQ(document.Member("openapi").AsString(), "3.1.0");
    const BindingValue& get = document.Member("paths").Member("/things/{id}").Member("get");
    EXPECT_EQ(get.Member("operationId").AsString(), "GetThings");
    const BindingValue& parameter = get.Member("parameters").Element(0);
    EXPECT_EQ(JsonText(parameter, JsonLayout::Compact),
              R"({"in":"path","name":"id","required":true,"schema":{"format":"int32","maximum":2147483647,)"
              R"("minimum":-2147483648,"type":"integer"}})");
    EXPECT_TRUE(get.Member("requestBody").HasMember("content"));
    EXPECT_EQ(JsonText(get.Member("responses").Member("200").Member("content"), JsonLayout::Compact),
              R"({"application/json":{"schema":{"$ref":"#/components/schemas/ThingList"}}})");
    const BindingValue& schemas = document.Member("components").Member("schemas");
    EXPECT_EQ(JsonText(schemas.Member("ThingList").Member("properties"), JsonLayout::Compact),
              R"({"count":{"maximum":4294967295,"minimum":0,"type":"integer"},)"
              R"("items":{"items":{"$ref":"#/components/schemas/Thing"},"type":"array"}})");
    EXPECT_EQ(JsonText(schemas.Member("State"), JsonLayout::Compact),
              R"({"enum":["Off","On"],"type":"string","x-enumerator-values":{"Off":0,"On":1}})");
    EXPECT_EQ(JsonText(document.Member("webhooks").Member("OnThing").Member("post").Member("requestBody"),
                       JsonLayout::Compact),
              R"({"content":{"application/json":{"schema":{"$ref":"#/components/schemas/ThingList"}}}})");
}

TEST(ApiDocuments, HelpDocumentFollowsTheHelpRecordsAndSortsByName) {
    ApiDescription api = SampleApi();
    SortApi(api);
    EXPECT_EQ(api.types[0].name, "State");
    BindingValue help = ApiHelpDocument(api);
    const BindingValue& list = help.Member("types").Element(1);
    EXPECT_EQ(list.Member("name").AsString(), "ThingList");
    EXPECT_EQ(JsonText(list.Member("fields").Element(0).Member("type"), JsonLayout::Compact),
              R"({"elementType":"Thing","type":"vector"})");
    EXPECT_EQ(JsonText(help.Member("functions").Element(0).Member("returns"), JsonLayout::Compact),
              R"({"elementType":"","type":"ThingList"})");
    EXPECT_EQ(JsonText(help.Member("endpoints").Element(0).Member("argumentLocations"), JsonLayout::Compact), "[2,5]");
    EXPECT_EQ(help.Member("events").Element(0).Member("type").Member("type").AsString(), "ThingList");
}

}  // namespace
}  // namespace hpk::host
