// Served functions end to end: registration, the request callback, dispatch
// through the handler slots, and the HostResponse the host gets back.
#include "router/binding_router.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "binding/type_registration.h"
#include "host_request_builder.h"
#include "platform/platform.h"
#include "boundary/allocation_hooks.h"
#include "router/router_messages.h"
#include "value_text.h"

namespace hpk {
namespace {

struct Filters {
    std::vector<std::string> filters;
    std::uint32_t level = 0;
};

// The body of a filled response as a BindingValue text, or "error: ..." / status.
struct Answer {
    std::string error;
    std::int32_t status = 0;
    std::string body;
};

class BindingRouterTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterStruct<Filters>(router_, "Filters",
                                {Field("filters", &Filters::filters), Field("level", &Filters::level)});
    }

    Answer Call(HostRequestBuilder& builder, const EndpointRegistration* registration) {
        EndpointUserData* data = router_.UserDataFor(registration->Function()->name);
        builder.UserData(data);
        HostResponse response{};
        RequestCallback(&response, &builder.Build());
        Answer answer;
        EXPECT_EQ(Field(response.release), &ReleaseHostResponse);
        if (response.error != nullptr) answer.error = response.error;
        answer.status = response.status;
        BindingResult body;
        HostValueToBinding(body, response.body, "<result>");
        answer.body = ValueText(body.Value());
        response.release(&response);
        return answer;
    }

    BindingRouter router_;
};

TEST_F(BindingRouterTest, ServedGetAnswersTheCurrentRecord) {
    Filters current;
    const EndpointRegistrationResult served =
        router_.ServeGet("/arx-content-targeting/v1/filters/", [&current] { return current; }, {"Plugins", "Plugin x"});
    ASSERT_TRUE(served) << served.error;
    const EndpointRegistration& registration = *served.registration;
    EXPECT_EQ(registration.Function()->name, "GetArxContentTargetingV1Filters");
    EXPECT_EQ(registration.Function()->tags, (std::vector<std::string>{"Plugins", "Plugin x"}));
    EXPECT_EQ(registration.Function()->result.kind, BindingTypeKind::Struct);
    EXPECT_EQ(registration.PathTemplate(), "/arx-content-targeting/v1/filters");
    EXPECT_EQ(registration.Method(), RequestMethod::Get);
    EXPECT_TRUE(registration.ArgumentLocations().empty());
    EXPECT_EQ(router_.Registrations(), (std::vector<const EndpointRegistration*>{&registration}));

    const std::int64_t blocks = LiveBlocks();
    HostRequestBuilder builder;
    builder.Url("/arx-content-targeting/v1/filters");
    Answer answer = Call(builder, &registration);
    EXPECT_EQ(answer.error, "");
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.body, "{filters:[],level:u0}");
    current.filters = {"filter_level_42"};
    current.level = 42;
    answer = Call(builder, &registration);
    EXPECT_EQ(answer.body, "{filters:[\"filter_level_42\"],level:u42}");
    EXPECT_EQ(LiveBlocks(), blocks);
}

TEST_F(BindingRouterTest, UnmatchedUrlsAndMethodsAnswer404) {
    const EndpointRegistrationResult served = router_.ServeGet("/r", [] { return 1; });
    ASSERT_TRUE(served);
    struct Row {
        std::uint32_t method;
        std::string url;
    };
    const Row rows[] = {{2, "/r?x=1"}, {2, "/r/"}, {6, "/r"}, {0, "/r"}, {8, "/r"}, {2, "/R"}, {2, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        HostRequestBuilder builder;
        builder.Method(row.method).Url(row.url);
        const Answer answer = Call(builder, served.registration);
        EXPECT_EQ(answer.error, "Invalid function");
        EXPECT_EQ(answer.status, 404);
        EXPECT_EQ(answer.body, "-");
    }
}

TEST_F(BindingRouterTest, RequestsWithoutEndpointOrUrl) {
    HostResponse response{};
    RequestCallback(&response, nullptr);
    EXPECT_STREQ(response.error, "Request carries no endpoint");
    EXPECT_EQ(Field(response.status), 404);
    response.release(&response);
    HostRequest request{};
    RequestCallback(&response, &request);
    EXPECT_STREQ(response.error, "Request carries no endpoint");
    response.release(&response);
    RequestCallback(nullptr, &request);

    const EndpointRegistrationResult served = router_.ServeGet("/r", [] { return 1; });
    ASSERT_TRUE(served);
    request.endpointUserData = router_.UserDataFor(served.registration->Function()->name);
    request.method = 2;
    RequestCallback(&response, &request);  // null url
    EXPECT_STREQ(response.error, "Invalid function");
    response.release(&response);
}

TEST_F(BindingRouterTest, TypedArgumentsAreConvertedUnderTheirNames) {
    const EndpointRegistrationResult served = router_.RegisterFunction(
        "Add", "/add/{a}", RequestMethod::Post,
        {{"a", ArgumentLocation::Path}, {"b", ArgumentLocation::Query}, {"scale", ArgumentLocation::Any, true}},
        [](std::int32_t a, std::int32_t b, double scale) { return (a + b) * (scale == 0 ? 1 : scale); });
    ASSERT_TRUE(served) << served.error;
    EXPECT_EQ(served.registration->Function()->arguments[0].type.kind, BindingTypeKind::Int32);
    EXPECT_EQ(served.registration->Function()->arguments[2].type.kind, BindingTypeKind::Double);
    EXPECT_EQ(served.registration->ArgumentLocations(),
              (std::vector<ArgumentLocation>{ArgumentLocation::Path, ArgumentLocation::Query, ArgumentLocation::Any}));
    struct Row {
        std::string url;
        std::string error;
        std::string body;
    };
    const Row rows[] = {
        {"/add/2?b=3", "", "f5"},
        {"/add/0x10?b=-1&scale=0.5", "", "f7.5"},
        {"/add/2", "A value for 'b' is required.", "-"},
        {"/add/x?b=1", "Value x for 'a' of type int32 is in an incorrect format", "-"},
        {"/add/1?b=99999999999", "Value 99999999999 for 'b' of type int32 is out of range", "-"},
        {"/add/1?b=1&c=1", "Unknown argument 'c' for 'Add'.", "-"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        HostRequestBuilder builder;
        builder.Method(6).Url(row.url);
        const Answer answer = Call(builder, served.registration);
        EXPECT_EQ(answer.error, row.error);
        EXPECT_EQ(answer.body, row.body);
    }
}

TEST_F(BindingRouterTest, HandlerReceivesTheRequestContextWhenItAsksForIt) {
    RequestContext seen;
    int calls = 0;
    const EndpointRegistrationResult served =
        router_.RegisterFunction("Ctx", "/ctx/{+rest}", RequestMethod::Other, {{"rest", ArgumentLocation::Path}},
                                 [&](const RequestContext& context, std::string rest) {
                                     ++calls;
                                     seen.callerHandle = context.callerHandle;
                                     seen.api = context.api;
                                     seen.receiveTime = context.receiveTime;
                                     seen.method = context.method;
                                     seen.methodName = context.methodName;
                                     seen.url = context.url;
                                     seen.headers = context.headers;
                                     seen.reservedOne = context.reservedOne;
                                     seen.arguments.clear();
                                     for (const BindingValue& value : context.arguments)
                                         seen.arguments.push_back(value);
                                     return rest;
                                 });
    ASSERT_TRUE(served) << served.error;
    // Setting the method name after the method: the route follows the registration.
    const_cast<EndpointRegistration*>(served.registration)->SetMethodName("PURGE");
    HostRequestBuilder builder;
    builder.Method(8, "PURGE").Url("/ctx/a/b?x").Caller(-17).Header("X-A", "1").Header("X-A", "2").Header("b", "3");
    const Answer answer = Call(builder, served.registration);
    EXPECT_EQ(answer.error, "Unknown argument 'x' for 'Ctx'.");
    EXPECT_EQ(calls, 0);

    builder.Url("/ctx/a/b");
    const std::int64_t before = platform::SystemTimeTicks();
    EXPECT_EQ(Call(builder, served.registration).body, "\"a/b\"");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen.callerHandle, -17);
    EXPECT_EQ(seen.api, &router_);
    EXPECT_GE(seen.receiveTime, before);
    EXPECT_LE(seen.receiveTime, platform::SystemTimeTicks());
    EXPECT_EQ(seen.method, RequestMethod::Other);
    EXPECT_EQ(seen.methodName, "PURGE");
    EXPECT_EQ(seen.url, "/ctx/a/b");
    EXPECT_EQ(seen.headers, (std::unordered_map<std::string, std::string>{{"X-A", "2"}, {"b", "3"}}));
    EXPECT_EQ(seen.reservedOne, 1);
    ASSERT_EQ(seen.arguments.size(), 1u);
    EXPECT_EQ(ValueText(seen.arguments[0]), "\"a/b\"");

    builder.Method(8, "purge");
    EXPECT_EQ(Call(builder, served.registration).error, "Invalid function");
}

class ThrowingStream : public HostResponseStream {
public:
    bool Read(void*, std::uint32_t*, bool*) override { return false; }
    std::uint32_t Size() override { throw std::runtime_error("no size"); }
};

// Records the slots the dispatcher calls.
class RecordingHandler : public RequestHandler {
public:
    explicit RecordingHandler(std::string* log) : log_(log) {}
    CallToken Prepare(HandlerResponse& response, std::vector<BindingValue>& arguments, std::int32_t caller) override {
        *log_ += "prepare(" + std::to_string(arguments.size()) + "," + std::to_string(caller) + ")";
        if (prepareError) response.SetError("prepare refused");
        if (prepareThrows) throw std::runtime_error("prepare threw");
        return token;
    }
    void Invoke(HandlerResponse& response, RequestContext* context, CallToken call, std::int32_t caller) override {
        *log_ += "invoke(" + std::to_string(call) + "," + (context != nullptr ? "ctx" : "none") + ")";
        if (invokeThrows) throw 42;
        if (streamSizeThrows) response.stream = std::make_unique<ThrowingStream>();
        response.status = 201;
        response.headers["Location"] = "/x";
        response.result.Value().SetString("done");
    }
    void Release(CallToken call) override { *log_ += "release(" + std::to_string(call) + ")"; }
    const BindingTypeRecord* ContextType() const override { return context; }

    CallToken token = 0;
    bool prepareError = false;
    bool prepareThrows = false;
    bool invokeThrows = false;
    bool streamSizeThrows = false;
    const BindingTypeRecord* context = nullptr;

private:
    std::string* log_;
};

TEST_F(BindingRouterTest, HandlerSlotsRunInOrderAndTokensAreAlwaysReleased) {
    struct Row {
        std::string name;
        CallToken token;
        bool prepareError;
        bool prepareThrows;
        bool invokeThrows;
        bool streamSizeThrows;
        const BindingTypeRecord* context;
        std::string log;
        std::string error;
        std::int32_t status;
    };
    const Row rows[] = {
        {"plain", 0, false, false, false, false, nullptr, "prepare(1,5)invoke(0,none)", "", 201},
        {"token", 9, false, false, false, false, nullptr, "prepare(1,5)invoke(9,none)release(9)", "", 201},
        {"context", 9, false, false, false, false, RequestContextType(), "prepare(1,5)invoke(9,ctx)release(9)", "",
         201},
        {"context pointer", 0, false, false, false, false, RequestContextPointerType(), "prepare(1,5)invoke(0,ctx)", "",
         201},
        {"other type", 0, false, false, false, false, &ReservedTypeRecord(), "prepare(1,5)invoke(0,none)", "", 201},
        {"prepare error", 9, true, false, false, false, nullptr, "prepare(1,5)release(9)", "prepare refused", 0},
        {"prepare throws", 0, false, true, false, false, nullptr, "prepare(1,5)",
         "Handler of 'Raw' failed: prepare threw", 0},
        {"invoke throws", 3, false, false, true, false, nullptr, "prepare(1,5)invoke(3,none)release(3)",
         "Handler of 'Raw' failed: ", 0},
        {"stream size throws", 4, false, false, false, true, nullptr, "prepare(1,5)invoke(4,none)release(4)",
         kMsgInternalError, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BindingRouter router;
        std::string log;
        auto handler = std::make_unique<RecordingHandler>(&log);
        handler->token = row.token;
        handler->prepareError = row.prepareError;
        handler->prepareThrows = row.prepareThrows;
        handler->invokeThrows = row.invokeThrows;
        handler->streamSizeThrows = row.streamSizeThrows;
        handler->context = row.context;
        EndpointSpec spec;
        spec.name = "Raw";
        spec.arguments = {{"v", ArgumentLocation::Any}};
        const EndpointRegistrationResult served =
            router.RegisterEndpoint(spec, {BindingTypeIdentifier{BindingTypeKind::String}}, {}, std::move(handler));
        ASSERT_TRUE(served) << served.error;
        HostRequestBuilder builder;
        builder.Url("Raw").Caller(5).UserData(router.UserDataFor("Raw"));
        HostResponse response{};
        RequestCallback(&response, &builder.Build());
        EXPECT_EQ(log, row.log);
        EXPECT_STREQ(response.error == nullptr ? "" : response.error, row.error.c_str());
        EXPECT_EQ(Field(response.status), row.status);
        if (row.error.empty()) {
            EXPECT_EQ(Field(response.stream), nullptr);
            ASSERT_EQ(Field(response.headerCount), 1u);
            EXPECT_STREQ(response.headers[0].name, "Location");
            EXPECT_STREQ(response.headers[0].value, "/x");
        }
        response.release(&response);
    }
}

TEST_F(BindingRouterTest, RegistrationMistakesAreReported) {
    ASSERT_TRUE(router_.ServeGet("/a", [] { return 1; }));
    EndpointSpec unhandled;
    unhandled.name = "N";
    struct Row {
        std::string name;
        EndpointRegistrationResult result;
        std::string error;
    };
    const Row rows[] = {
        {"duplicate", router_.ServeGet("/a", [] { return 2; }), "A function named 'GetA' is already registered"},
        {"malformed", router_.ServeGet("/b/{id", [] { return 2; }),
         "Path template '/b/{id' of 'GetBById' is malformed: an unclosed '{'"},
        {"stray brace", router_.RegisterFunction("S", "/s}", RequestMethod::Get, {}, [] {}),
         "Path template '/s}' of 'S' is malformed: a '}' without '{' at offset 2"},
        {"count", router_.RegisterFunction("C", "/c", RequestMethod::Get, {{"x"}}, [] { return 1; }),
         "'C' declares 1 arguments but its handler takes 0"},
        {"no handler", router_.RegisterEndpoint(unhandled, {}, {}, nullptr), "'N' has no handler"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(row.result);
        EXPECT_EQ(row.result.registration, nullptr);
        EXPECT_EQ(row.result.error, row.error);
    }
    EXPECT_EQ(router_.Registrations().size(), 1u);
    EXPECT_NE(router_.FindFunction("GetA"), nullptr);
    EXPECT_EQ(router_.FindFunction("GetBById"), nullptr);
}

TEST_F(BindingRouterTest, RegistrationWithoutTemplateIsReachedByTheFunctionName) {
    const EndpointRegistrationResult served =
        router_.RegisterFunction("Echo", "", RequestMethod::None, {{"text"}}, [](std::string text) { return text; });
    ASSERT_TRUE(served) << served.error;
    HostRequestBuilder builder;
    builder.Method(6).Url("Echo").Argument(std::nullopt, HostString("hi"));
    EXPECT_EQ(Call(builder, served.registration).body, "\"hi\"");
    builder.Method(0);
    EXPECT_EQ(Call(builder, served.registration).body, "\"hi\"");

    // The compiled route follows later changes of the registration.
    auto* registration = const_cast<EndpointRegistration*>(served.registration);
    ASSERT_EQ(registration->SetPathTemplate("/echo/{text}/"), "");
    EXPECT_EQ(registration->PathTemplate(), "/echo/{text}");
    EXPECT_EQ(registration->SetPathTemplate("/echo/{"), "an unclosed '{'");
    EXPECT_EQ(registration->PathTemplate(), "/echo/{text}");
    HostRequestBuilder byPath;
    byPath.Url("/echo/yo");
    EXPECT_EQ(Call(byPath, served.registration).body, "\"yo\"");
    EXPECT_EQ(Call(builder, served.registration).error, "Invalid function");
}

TEST_F(BindingRouterTest, ClearDropsRegistrationsAndUserData) {
    ASSERT_TRUE(router_.ServeGet("/a", [] { return 1; }));
    router_.Clear();
    EXPECT_TRUE(router_.Registrations().empty());
    EXPECT_EQ(router_.FindFunction("GetA"), nullptr);
    EXPECT_TRUE(router_.ServeGet("/a", [] { return 1; }));
}

TEST_F(BindingRouterTest, HandlerErrorsAndBindingResults) {
    const EndpointRegistrationResult thrower =
        router_.ServeGet("/throw", []() -> int { throw std::runtime_error("boom"); });
    const EndpointRegistrationResult failing = router_.ServeGet("/fail", [] {
        BindingResult result;
        result.SetError("not today");
        return result;
    });
    const EndpointRegistrationResult voided = router_.ServeGet("/void", [] {});
    ASSERT_TRUE(thrower && failing && voided);
    HostRequestBuilder builder;
    builder.Url("/throw");
    EXPECT_EQ(Call(builder, thrower.registration).error, "Handler of 'GetThrow' failed: boom");
    builder.Url("/fail");
    EXPECT_EQ(Call(builder, failing.registration).error, "not today");
    builder.Url("/void");
    const Answer answer = Call(builder, voided.registration);
    EXPECT_EQ(answer.error, "");
    EXPECT_EQ(answer.body, "-");
}

TEST_F(BindingRouterTest, AllocationFailuresNeverLeakOrEscape) {
    const EndpointRegistrationResult served =
        router_.RegisterFunction("Big", "/big/{id}", RequestMethod::Post, {{"id"}, {"body", ArgumentLocation::Body}},
                                 [](std::string id, BindingValue body) {
                                     BindingValue out;
                                     out.Member("id").SetString(id);
                                     out.Member("body").CopyFrom(body);
                                     return out;
                                 });
    ASSERT_TRUE(served) << served.error;
    HostRequestBuilder builder;
    builder.Method(6)
        .Url("/big/abc")
        .Body("application/json", "{\"list\":[1,2,3],\"text\":\"hello\"}")
        .UserData(router_.UserDataFor("Big"));
    const HostRequest& request = builder.Build();
    bool completed = false;
    for (std::uint64_t failAt = 1; !completed && failAt < 400; ++failAt) {
        SCOPED_TRACE(failAt);
        const std::int64_t blocks = LiveBlocks();
        HostResponse response{};
        FailAllocationAfter(failAt);
        RequestCallback(&response, &request);
        FailAllocationAfter(0);
        ASSERT_EQ(Field(response.release), &ReleaseHostResponse);
        if (response.error == nullptr) {
            completed = true;
            EXPECT_EQ(Field(response.body.tag), static_cast<std::uint32_t>(HostValueTag::Map));
        }
        response.release(&response);
        EXPECT_EQ(LiveBlocks(), blocks);
    }
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace hpk
