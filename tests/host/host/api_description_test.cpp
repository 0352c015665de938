// Walking host tables: what a well-formed table reads as, and the message for
// each way a chain or a text can be broken.
#include <gtest/gtest.h>

#include <cstring>

#include "host/api_description.h"

namespace hpk::host {
namespace {

const char* const kTags[] = {"Plugins", "Plugin x"};

// A small table: one endpoint, two types (a structure and an enumeration),
// one event; every array chained in order.
struct SampleTable {
    HostFieldRecord fields[2];
    HostEnumeratorRecord enumerators[2];
    HostTypeRecord types[2];
    HostEventRecord events[1];
    HostEndpointRecord endpoints[1];
    HostTableRecord table;

    SampleTable() {
        std::memset(this, 0, sizeof(*this));
        fields[0] = {&fields[1], "name", "", 0, {12, 0, ""}, 0};
        fields[1] = {nullptr, "state", "", 24, {16, 0, "State"}, 1};
        enumerators[0] = {&enumerators[1], "Off", "", 0};
        enumerators[1] = {nullptr, "On", "", 1};
        types[0] = {&types[1], "Record", "", 28, "A record.", kTags, 2, fields, nullptr, 2};
        types[1] = {nullptr, "State", "", 4, "", nullptr, 0, nullptr, enumerators, 2};
        events[0] = {nullptr, "OnChange", "", "Record", "Fired.", kTags, 1};
        HostFunctionRecord& function = endpoints[0].function;
        function.name = "GetThing";
        function.nameSpace = "";
        function.result = {17, 0, "Record"};
        function.description = "";
        function.help = "";
        function.asyncTypeName = "";
        function.tags = kTags;
        function.tagCount = 2;
        function.endpointUserData = this;
        endpoints[0].requestCallback = [](HostResponse*, const HostRequest*) {};
        endpoints[0].pathTemplate = "/things/{id}";
        endpoints[0].method = 2;
        endpoints[0].methodName = "";
        table = {endpoints, 1, types, 2, events, 1};
    }
};

TEST(ApiDescription, ReadsAWellFormedTable) {
    SampleTable sample;
    ApiDescription api;
    const Outcome<> read = ReadApiDescription(&sample.table, api);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    EXPECT_TRUE(api.problems.empty()) << api.problems.front();
    ASSERT_EQ(api.functions.size(), 1u);
    EXPECT_EQ(api.functions[0].name, "GetThing");
    EXPECT_EQ(api.functions[0].endpoint.pathTemplate, "/things/{id}");
    EXPECT_EQ(api.functions[0].tags, (std::vector<std::string>{"Plugins", "Plugin x"}));
    ASSERT_EQ(api.types.size(), 2u);
    EXPECT_TRUE(api.types[0].hasFields);
    EXPECT_EQ(api.types[0].fields[1].offset, 24u);
    EXPECT_TRUE(api.types[0].fields[1].optional);
    EXPECT_EQ(TypeRefText(api.types[0].fields[1].type), "State");
    EXPECT_EQ(api.types[1].enumerators[1].name, "On");
    EXPECT_EQ(api.events[0].payloadType, "Record");

    EXPECT_EQ(FindEndpoint(api, "/things/42", 2), &api.functions[0]);
    EXPECT_EQ(FindEndpoint(api, "/things/", 2), nullptr);
    EXPECT_EQ(FindEndpoint(api, "/things/42", 6), nullptr);
    EXPECT_EQ(FindEndpoint(api, "/things/42/more", 2), nullptr);
}

TEST(ApiDescription, RefusesBrokenChains) {
    struct Row {
        const char* name;
        void (*breakIt)(SampleTable&);
        const char* message;
    };
    const Row rows[] = {
        {"last record goes on", [](SampleTable& t) { t.fields[1].next = &t.fields[0]; },
         "type Record fields: the last of 2 records points on to 0x"},
        {"chain ends early", [](SampleTable& t) { t.types[0].next = nullptr; },
         "type records: the chain ends after 1 records but the count says 2"},
        {"last record loops back", [](SampleTable& t) { t.enumerators[1].next = &t.enumerators[0]; },
         "type State enumerators: the last of 2 records points on to 0x"},
        {"count too high", [](SampleTable& t) { t.table.eventCount = 2; },
         "event records: the chain ends after 1 records but the count says 2"},
        {"not the next record", [](SampleTable& t) { t.types[0].next = &t.types[0]; },
         "type records: record 0 points back to record 0, a cycle"},
        {"unreadable", [](SampleTable& t) { t.types[0].fields = reinterpret_cast<HostFieldRecord*>(16); },
         "type Record fields: 2 records at 0x00000010 are unreadable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SampleTable sample;
        row.breakIt(sample);
        ApiDescription api;
        const Outcome<> read = ReadApiDescription(&sample.table, api);
        EXPECT_FALSE(read.IsOk());
        EXPECT_EQ(read.Error().substr(0, std::strlen(row.message)), row.message) << read.Error();
    }
}

TEST(ApiDescription, ReportsBrokenTextsAndReferencesAsProblems) {
    struct Row {
        const char* name;
        void (*breakIt)(SampleTable&);
        const char* problem;
    };
    const Row rows[] = {
        {"null description", [](SampleTable& t) { t.fields[0].description = nullptr; },
         "type Record field name: description is null"},
        {"unknown type", [](SampleTable& t) { t.events[0].payloadTypeName = "Missing"; },
         "event OnChange payload names type Missing, which the table does not describe"},
        {"kind", [](SampleTable& t) { t.fields[0].type.kind = 20; },
         "type Record field name: type kind 20 is outside 0..19"},
        {"no user data", [](SampleTable& t) { t.endpoints[0].function.endpointUserData = nullptr; },
         "function GetThing: no endpoint user data"},
        {"enumerator order",
         [](SampleTable& t) {
             // Packed fields: no references to them, so no std::swap.
             const char* first = t.enumerators[0].name;
             t.enumerators[0].name = t.enumerators[1].name;
             t.enumerators[1].name = first;
         },
         "type State: enumerator Off is out of name order"},
        {"struct without name", [](SampleTable& t) { t.fields[1].type.name = ""; },
         "type Record field state: an enum or struct type without its name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SampleTable sample;
        row.breakIt(sample);
        ApiDescription api;
        const Outcome<> read = ReadApiDescription(&sample.table, api);
        ASSERT_TRUE(read.IsOk()) << read.Error();
        ASSERT_FALSE(api.problems.empty());
        EXPECT_EQ(api.problems.front(), row.problem);
    }
}

TEST(ApiDescription, NamesTypesReadably) {
    using K = HostTypeKind;
    EXPECT_EQ(TypeRefText({K::Vector, K::Int32, ""}), "vector<int32>");
    EXPECT_EQ(TypeRefText({K::Vector, K::Struct, "Game"}), "vector<Game>");
    EXPECT_EQ(TypeRefText({K::Map, K::String, ""}), "map<string, string>");
    EXPECT_EQ(TypeRefText({K::Object, K::None, ""}), "object");
    EXPECT_EQ(TypeRefText({K::Struct, K::None, "Record"}), "Record");
    EXPECT_EQ(TypeRefText({static_cast<K>(25), K::None, ""}), "");
}

}  // namespace
}  // namespace hpk::host
