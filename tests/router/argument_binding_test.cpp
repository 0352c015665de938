// Argument binding from headers, path, query, explicit arguments and body.
#include "router/argument_binding.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host_request_builder.h"
#include "value_text.h"

namespace hpk {
namespace {

BindingSignature TestSignature() {
    BindingSignature signature;
    signature.functionName = "F";
    signature.arguments = {
        {"id", BindingTypeKind::UInt32, false, ArgumentLocation::Path},
        {"q", BindingTypeKind::String, false, ArgumentLocation::Query},
        {"flag", BindingTypeKind::Bool, false, ArgumentLocation::Any},
        {"opts", BindingTypeKind::Object, false, ArgumentLocation::Any},
        {"list", BindingTypeKind::Vector, false, ArgumentLocation::Any},
        {"If-Match", BindingTypeKind::String, false, ArgumentLocation::Header},
        {"body", BindingTypeKind::Object, false, ArgumentLocation::Body},
        {"n", BindingTypeKind::Int32, false, ArgumentLocation::Any},
        {"s", BindingTypeKind::String, false, ArgumentLocation::Any},
        {"st", BindingTypeKind::Struct, false, ArgumentLocation::Any},
        {"maybe", BindingTypeKind::Bool, true, ArgumentLocation::Any},
    };
    return signature;
}

struct Bound {
    std::string error;
    std::map<std::string, std::string> values;  // argument name -> ValueText
};

Bound BindRequest(HostRequestBuilder& builder, const BindingSignature& signature = TestSignature(),
                  const char* pathTemplate = "/items/{id}") {
    const Route route = Route::Build(nullptr, pathTemplate, RequestMethod::None, {});
    const HostRequest& request = builder.Build();
    PathCaptures captures;
    EXPECT_TRUE(route.Match(RouteRequest{RequestMethod::Get, {}, request.url}, captures)) << request.url;
    HandlerResponse response;
    std::vector<BindingValue> arguments;
    ArgumentBinder binder(signature, response, arguments);
    binder.BindAll(request, route, captures);
    Bound bound;
    bound.error = response.result.ErrorText();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        bound.values[signature.arguments[i].name] = ValueText(arguments[i]);
    }
    return bound;
}

struct Row {
    std::string url;
    std::string error;
    std::map<std::string, std::string> expected;  // only these arguments are checked
};

void RunRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        HostRequestBuilder builder;
        builder.Url(row.url);
        const Bound bound = BindRequest(builder);
        EXPECT_EQ(bound.error, row.error);
        for (const auto& entry : row.expected) EXPECT_EQ(bound.values.at(entry.first), entry.second) << entry.first;
    }
}

TEST(ArgumentBinding, PathAndQueryValues) {
    RunRows({
        {"/items/7", "", {{"id", "\"7\""}, {"flag", "false"}, {"maybe", "-"}, {"q", "-"}}},
        {"/items/a%20b?q=x+y%21", "", {{"id", "\"a b\""}, {"q", "\"x y!\""}}},
        {"/items/7?flag", "", {{"flag", "true"}}},
        {"/items/7?flag=", "", {{"flag", "true"}}},
        {"/items/7?maybe", "", {{"maybe", "true"}}},
        {"/items/7?flag=0", "", {{"flag", "\"0\""}}},
        {"/items/7?q=1&q=2", "", {{"q", "\"2\""}}},
        {"/items/7?opts=&list=&st=", "", {{"opts", "{}"}, {"list", "[]"}, {"st", "{}"}}},
        {"/items/7?n=", "Expected value for argument 'n'.", {}},
        {"/items/7?s=", "Expected value for argument 's'.", {}},
        {"/items/7?q=1&", "Unknown argument '' for 'F'.", {{"q", "\"1\""}}},
        {"/items/7?zz=1", "Unknown argument 'zz' for 'F'.", {}},
        {"/items/7?zz.a=1", "Unknown argument 'zz' for 'F'.", {}},
        {"/items/7?id=1", "Argument 'id' for 'F' was specified in an invalid location.", {}},
        {"/items/7?If-Match=x", "Argument 'If-Match' for 'F' was specified in an invalid location.", {}},
        {"/items/7?body=x", "Argument 'body' for 'F' was specified in an invalid location.", {}},
    });
}

TEST(ArgumentBinding, MemberPaths) {
    RunRows({
        {"/items/7?opts.limit=5", "", {{"opts", "{limit:\"5\"}"}}},
        {"/items/7?opts.a.b=1&opts.a.c=2", "", {{"opts", "{a:{b:\"1\",c:\"2\"}}"}}},
        {"/items/7?list.0x1=7", "", {{"list", "[-,\"7\"]"}}},
        {"/items/7?list.010=1", "", {{"list", "[-,-,-,-,-,-,-,-,\"1\"]"}}},
        {"/items/7?list.0=a&list.1.k=b", "", {{"list", "[\"a\",{k:\"b\"}]"}}},
        {"/items/7?opts.x=[1,2]", "", {{"opts", "{x:\"[1,2]\"}"}}},
        {"/items/7?opts.x=", "", {{"opts", "{x:\"\"}"}}},
        {"/items/7?n.0=4", "", {{"n", "[\"4\"]"}}},
        {"/items/7?list.1a=7", "Index 1a is in an incorrect format", {}},
        {"/items/7?list.0x=7", "Index 0x is in an incorrect format", {}},
        {"/items/7?list.08=7", "Index 08 is in an incorrect format", {}},
        {"/items/7?list.2147483648=7", "Index 2147483648 is out of range", {}},
        {"/items/7?list.99999999999999999999=7", "Index 99999999999999999999 is out of range", {}},
        {"/items/7?list.0xFFFFFFFFF=7", "Index 0xFFFFFFFFF is out of range", {}},
        {"/items/7?list.1048577=7", "Index 1048577 is out of range", {}},
    });
}

TEST(ArgumentBinding, SniffedArgumentTexts) {
    RunRows({
        {"/items/7?list=[1,2]", "", {{"list", "[u1,u2]"}}},
        {"/items/7?s=[1,2]", "", {{"s", "\"[1,2]\""}}},
        {"/items/7?opts=%20%20{\"a\":-1}", "", {{"opts", "{a:i-1}"}}},
        {"/items/7?opts=%09{\"a\":1}", "", {{"opts", "\"\t{\"a\":1}\""}}},
        {"/items/7?st=---%0Ak:%20v", "", {{"st", "{k:\"v\"}"}}},
        {"/items/7?list=%92%01%02", "", {{"list", "[i1,i2]"}}},
        {"/items/7?opts=plain", "", {{"opts", "\"plain\""}}},
        {"/items/7?opts={",
         "Couldn't deserialize JSON value for parameter 'opts' of 'F': Error: Missing a name for object member. at "
         "offset 1.",
         {}},
        {"/items/7?list=%92%C1",
         "Couldn't deserialize MessagePack value for parameter 'list' of 'F': Invalid MessagePack data at position 2.",
         {}},
    });
}

TEST(ArgumentBinding, HeadersAreFoundUnderTheLowerCaseArgumentName) {
    struct HeaderRow {
        std::vector<std::pair<std::string, std::string>> headers;
        std::string error;
        std::string ifMatch;
        std::string n;
    };
    const HeaderRow rows[] = {
        {{{"if-match", "abc"}}, "", "\"abc\"", "-"},
        {{{"If-Match", "abc"}}, "", "-", "-"},
        {{{"if-match", "a"}, {"if-match", "b"}}, "", "\"b\"", "-"},
        {{{"n", "5"}, {"x-other", "1"}}, "", "-", "\"5\""},
        {{{"n", ""}}, "Expected value for argument 'n'.", "-", "-"},
        {{{"q", "1"}}, "", "-", "-"},  // a query argument is never looked up among headers
    };
    for (const HeaderRow& row : rows) {
        SCOPED_TRACE(row.headers.front().first);
        HostRequestBuilder builder;
        builder.Url("/items/7");
        for (const auto& header : row.headers) builder.Header(header.first, header.second);
        const Bound bound = BindRequest(builder);
        EXPECT_EQ(bound.error, row.error);
        if (row.error.empty()) {
            EXPECT_EQ(bound.values.at("If-Match"), row.ifMatch);
            EXPECT_EQ(bound.values.at("n"), row.n);
        }
    }
}

TEST(ArgumentBinding, ExplicitHostArguments) {
    HostValue badTag{};
    badTag.tag = 11;
    struct ArgumentRow {
        std::string name;
        std::vector<std::pair<std::optional<std::string>, HostValue>> arguments;
        std::string error;
        std::map<std::string, std::string> expected;
    };
    const ArgumentRow rows[] = {
        // With one path capture, the first positional entry selects argument 1.
        {"positional", {{std::nullopt, HostString("x")}}, "", {{"id", "\"7\""}, {"q", "\"x\""}}},
        {"positional second",
         {{std::nullopt, HostString("x")}, {std::nullopt, HostUnsigned(1)}},
         "",
         {{"q", "\"x\""}, {"flag", "u1"}}},
        {"named, any location", {{std::string("id"), HostUnsigned(9)}}, "", {{"id", "u9"}}},
        {"unknown name", {{std::string("nope"), HostUnsigned(9)}}, "Unknown argument 'nope' for 'F'.", {}},
        {"index past the end",
         {{std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)},
          {std::nullopt, HostUnsigned(0)}},
         "Unknown argument '11' for 'F'.",
         {}},
        {"bad tag",
         {{std::string("s"), badTag}},
         "Couldn't assign value to 's' of type object because the input is of an incompatible type ''.",
         {}},
        {"first error stops",
         {{std::string("a"), HostUnsigned(1)}, {std::string("b"), HostUnsigned(1)}},
         "Unknown argument 'a' for 'F'.",
         {}},
    };
    for (const ArgumentRow& row : rows) {
        SCOPED_TRACE(row.name);
        HostRequestBuilder builder;
        builder.Url("/items/7");
        for (const auto& argument : row.arguments) builder.Argument(argument.first, argument.second);
        const Bound bound = BindRequest(builder);
        EXPECT_EQ(bound.error, row.error);
        for (const auto& entry : row.expected) EXPECT_EQ(bound.values.at(entry.first), entry.second) << entry.first;
    }
}

TEST(ArgumentBinding, Bodies) {
    struct BodyRow {
        std::optional<std::string> contentType;
        std::string body;
        std::string url;
        std::string error;
        std::string value;
    };
    const std::string msgpack = "\x81\xA1k\x01";  // {"k": 1}
    const BodyRow rows[] = {
        {"application/json", "{\"a\":[1,-2]}", "/items/7", "", "{a:[u1,i-2]}"},
        {"application/json; charset=utf-8", "[true]", "/items/7", "", "[true]"},
        {"APPLICATION/VND.API+JSON", "{}", "/items/7", "", "{}"},
        {"application/json", std::string("[1]\0garbage", 11), "/items/7", "", "[u1]"},
        {"application/json", "[1", "/items/7", "Error: Missing a comma or ']' after an array element. at offset 2.",
         "-"},
        {"application/x-yaml", "a: 1\nb: [x]\n", "/items/7", "", "{a:u1,b:[\"x\"]}"},
        {"application/x-msgpack", msgpack, "/items/7", "", "{k:i1}"},
        {"application/x-msgpack", msgpack + "\x01", "/items/7", "Extra MessgePack data found in body", "-"},
        {"text/x-yaml", "a: 1", "/items/7", "Unsupported body content type", "-"},
        {std::nullopt, "{}", "/items/7", "Unsupported body content type", "-"},
        {"application/json", "", "/items/7", "", "-"},
        // The body stage runs after an earlier error and its error replaces it.
        {"application/json", "{}", "/items/7?zz=1", "Unknown argument 'zz' for 'F'.", "{}"},
        {"application/json", "x", "/items/7?zz=1", "Error: Invalid value. at offset 0.", "-"},
    };
    for (const BodyRow& row : rows) {
        SCOPED_TRACE(row.contentType.value_or("(null)") + " " + row.body);
        HostRequestBuilder builder;
        builder.Url(row.url).Body(row.contentType, row.body);
        const Bound bound = BindRequest(builder);
        EXPECT_EQ(bound.error, row.error);
        EXPECT_EQ(bound.values.at("body"), row.value);
    }
}

TEST(ArgumentBinding, BodyWithoutABodyArgumentIsIgnored) {
    BindingSignature signature;
    signature.functionName = "G";
    signature.arguments = {{"x", BindingTypeKind::String, false, ArgumentLocation::Any}};
    HostRequestBuilder builder;
    builder.Url("/g").Body(std::nullopt, "\xFF\xFF");
    const Bound bound = BindRequest(builder, signature, "/g");
    EXPECT_EQ(bound.error, "");
    EXPECT_EQ(bound.values.at("x"), "-");
}

TEST(ArgumentBinding, QueryParsingKeepsEmptyPiecesAndFirstAppearanceOrder) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const std::pair<std::string, Pairs> rows[] = {
        {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
        {"a=1&", {{"a", "1"}, {"", ""}}},
        {"&&", {{"", ""}}},
        {"", {{"", ""}}},
        {"b=1&a=2&b=3", {{"b", "3"}, {"a", "2"}}},
        {"k=a=b", {{"k", "a=b"}}},
        {"a%3D=%26", {{"a=", "&"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        EXPECT_EQ(ArgumentBinder::ParseQuery(row.first), row.second);
    }
}

}  // namespace
}  // namespace hpk
