// Requests through the host: messages, releases, streams and yields.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <new>

#include "boundary/allocation_hooks.h"
#include "plugin/plugin_base.h"
#include "plugin/request_client.h"
#include "plugin/telemetry.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

class RequestClient : public FakeHostFixture {
protected:
    void SetUp() override {
        LoadAndInit();
        host.ClearRecords();
    }
    hpk::RequestClient& Requests() { return Plugin().Requests(); }
};

TEST_F(RequestClient, FetchValueReturnsTheBodyAndReleasesTheResponse) {
    BindingValue body;
    body.Member("a").SetUnsigned(1);
    body.Member("b").SetString("x");
    host.ServeValue("/r/v1/x?q=1", body);
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/r/v1/x?q=1");
    ASSERT_TRUE(fetched.IsOk());
    EXPECT_EQ(fetched.value.Member("a").AsUnsigned(), 1u);
    EXPECT_EQ(fetched.value.Member("b").AsString(), "x");
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].method, 2u);
    EXPECT_EQ(host.Requests()[0].url, "/r/v1/x?q=1");
    EXPECT_EQ(host.Requests()[0].callerHandle, host.Api().pluginHandle);
    EXPECT_TRUE(host.Requests()[0].arguments.empty());
    EXPECT_EQ(host.UnreleasedResponses(), 0);
}

TEST_F(RequestClient, HostErrorsBecomeRequestErrorsWithTheirStatus) {
    host.ServeError("/missing", 404, "Not found");
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/missing");
    ASSERT_FALSE(fetched.IsOk());
    EXPECT_EQ(fetched.error->code, 404);
    EXPECT_EQ(fetched.error->message, "Error response for GET /missing: Not found");
    EXPECT_EQ(fetched.error->details.Member("method").AsString(), "GET");
    EXPECT_EQ(fetched.error->details.Member("url").AsString(), "/missing");
    EXPECT_EQ(fetched.error->details.Member("error").AsString(), "Not found");
    EXPECT_EQ(fetched.error->details.Member("errorCode_int").AsSigned(), 404);
    EXPECT_TRUE(fetched.value.IsEmpty());

    const RequestOutcome called = Requests().CallResource(RequestMethod::Delete, "/missing");
    ASSERT_TRUE(called.has_value());
    EXPECT_EQ(called->message, "Error response for DELETE /missing: Not found");
    EXPECT_EQ(host.UnreleasedResponses(), 0);
}

TEST_F(RequestClient, HostWithoutARequestOperationIsARequestError) {
    host.Table()->Request = nullptr;
    const FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/r/v1/x");
    ASSERT_FALSE(fetched.IsOk());
    EXPECT_EQ(fetched.error->message, "Error response for GET /r/v1/x: the host offers no request operation");
    const RequestOutcome called = Requests().CallResource(RequestMethod::Post, "/r/v1/x");
    ASSERT_TRUE(called.has_value());
    EXPECT_EQ(called->message, "Error response for POST /r/v1/x: the host offers no request operation");
}

TEST_F(RequestClient, NullBodyIsAnEmptyValue) {
    host.ServeValue("/empty", BindingValue());
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/empty");
    ASSERT_TRUE(fetched.IsOk());
    EXPECT_TRUE(fetched.value.IsEmpty());
}

TEST_F(RequestClient, MethodOutsideTheCodesIsSentAsNone) {
    host.ServeError("/x", 500, "bad");
    const RequestOutcome outcome = Requests().CallResource(static_cast<RequestMethod>(99), "/x");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(host.Requests()[0].method, 0u);
    EXPECT_EQ(outcome->message, "Error response for  /x: bad");
    EXPECT_EQ(outcome->code, 500);
}

TEST_F(RequestClient, BodyThatDoesNotConvertIsAConversionError) {
    host.ServeCustom("/odd", [](HostResponse& response) { response.body.tag = 11; });
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/odd");
    ASSERT_FALSE(fetched.IsOk());
    EXPECT_EQ(fetched.error->code, 0);
    EXPECT_EQ(fetched.error->message,
              "Error converting response for GET /odd: Couldn't assign value to '<result>' of type object because "
              "the input is of an incompatible type ''.");
    EXPECT_FALSE(fetched.error->details.HasMember("errorCode_int"));
}

TEST_F(RequestClient, ShortStreamChunksYieldBetweenReads) {
    host.ServeStream("/s", {"[1, 2, 3]\n", ""}, {}, 10);
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/s");
    ASSERT_TRUE(fetched.IsOk());
    ASSERT_EQ(fetched.value.Size(), 3u);
    EXPECT_EQ(fetched.value.Element(2).AsUnsigned(), 3u);
    EXPECT_EQ(host.Calls(),
              (std::vector<std::string>{"Request GET /s", "MarkBegin Wait: yield 0", "Yield", "MarkEnd"}));
    EXPECT_EQ(host.StreamCloses(), 1u);
}

TEST_F(RequestClient, FullChunksAreReadWithoutYielding) {
    std::string text = "\"" + std::string(4096 * 2 + 100, 'a') + "\"";
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < text.size(); at += 4096) chunks.push_back(text.substr(at, 4096));
    host.ServeStream("/big", chunks, {}, text.size());
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/big");
    ASSERT_TRUE(fetched.IsOk());
    EXPECT_EQ(fetched.value.AsString().size(), 4096u * 2 + 100);
    // Only the last, short chunk arrives with "more" cleared: no yield at all.
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"Request GET /big"}));
}

TEST_F(RequestClient, FailingStreamReadStillClosesTheStream) {
    struct Row {
        std::vector<std::string> chunks;
        std::optional<std::size_t> failAt;
        const char* message;
    };
    const Row rows[] = {
        {{"[1"}, 0, "Error reading streamed response for GET /s: Stream read error"},
        {{"[1", ",2]"}, 1, "Error reading streamed response for GET /s: Stream read error"},
        {{"[1,"}, {}, "Error reading streamed response for GET /s: Error: Invalid value. at offset 3."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        host.ServeStream("/s", row.chunks, row.failAt);
        const std::size_t closes = host.StreamCloses();
        FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/s");
        ASSERT_FALSE(fetched.IsOk());
        EXPECT_EQ(fetched.error->code, 0);
        EXPECT_EQ(fetched.error->message, row.message);
        EXPECT_TRUE(fetched.value.IsEmpty());
        EXPECT_EQ(host.StreamCloses(), closes + 1);
        EXPECT_EQ(host.OpenStreams(), 0u);
    }
}

TEST_F(RequestClient, ErrorResponseWithAStreamClosesIt) {
    host.ServeStreamedError("/both", 503, "nope", {"1"});
    const RequestOutcome outcome = Requests().CallResource(RequestMethod::Get, "/both");
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->message, "Error response for GET /both: nope");
    FetchResult fetched = Requests().FetchValue(RequestMethod::Get, "/both");
    ASSERT_FALSE(fetched.IsOk());
    EXPECT_EQ(fetched.error->code, 503);
    EXPECT_EQ(host.StreamCloses(), 2u);
}

TEST_F(RequestClient, CallWithParametersSendsOnePositionalMap) {
    host.ServeValue("/p", BindingValue());
    const std::map<std::string, std::int32_t> parameters{{"b", -2}, {"a", 1}};
    const RequestOutcome outcome = Requests().CallWithParameters(RequestMethod::Put, "/p", parameters);
    EXPECT_FALSE(outcome.has_value());
    ASSERT_EQ(host.Requests().size(), 1u);
    const FakeHost::RecordedRequest& request = host.Requests()[0];
    EXPECT_EQ(request.method, 7u);
    ASSERT_EQ(request.arguments.size(), 1u);
    EXPECT_FALSE(request.arguments[0].name.has_value());
    EXPECT_EQ(request.arguments[0].value.Size(), 2u);
    EXPECT_EQ(request.arguments[0].value.Member("a").AsSigned(), 1);
    EXPECT_EQ(request.arguments[0].value.Member("b").AsSigned(), -2);
}

TEST_F(RequestClient, ParametersThatDoNotConvertAreNotSent) {
    BindingResult failed;
    failed.SetError("Couldn't convert native value because it's an unregistered structure.");
    const RequestOutcome outcome = Requests().CallWithParameterValue(RequestMethod::Post, "/p", failed);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->code, 400);
    EXPECT_EQ(outcome->message,
              "Request not sent: Error converting parameters for POST /p: Couldn't convert native value because "
              "it's an unregistered structure.");
    EXPECT_EQ(outcome->details.Member("errorCode_int").AsSigned(), 400);
    EXPECT_TRUE(host.Requests().empty());
}

TEST_F(RequestClient, TelemetryPostsTheFieldsAsOneMap) {
    host.ServeValue("/telemetry/v1/events/abc", BindingValue());
    std::future<RequestOutcome> sent = Plugin().Telemetry()->Send("abc", {{"x", "1"}});
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_FALSE(sent.get().has_value());
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].method, 6u);
    EXPECT_EQ(host.Requests()[0].url, "/telemetry/v1/events/abc");
    ASSERT_EQ(host.Requests()[0].arguments.size(), 1u);
    const BindingValue& argument = host.Requests()[0].arguments[0].value;
    EXPECT_FALSE(host.Requests()[0].arguments[0].name.has_value());
    EXPECT_EQ(argument.Kind(), BindingValueKind::Structure);
    EXPECT_EQ(argument.Size(), 1u);
    EXPECT_EQ(argument.Member("x").AsString(), "1");
}

TEST_F(RequestClient, TelemetryWithoutFieldsPostsAnEmptyMapAndReportsFailuresInTheFuture) {
    std::future<RequestOutcome> sent = Plugin().Telemetry()->Send("e", {});
    const RequestOutcome outcome = sent.get();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->message, std::string("Error response for POST /telemetry/v1/events/e: ") + kFakeHostNoResource);
    ASSERT_EQ(host.Requests().size(), 1u);
    ASSERT_EQ(host.Requests()[0].arguments.size(), 1u);
    EXPECT_EQ(host.Requests()[0].arguments[0].value.Kind(), BindingValueKind::Structure);
    EXPECT_EQ(host.Requests()[0].arguments[0].value.Size(), 0u);
    EXPECT_TRUE(host.Logs().empty());
}

TEST_F(RequestClient, NoPathLeaksWhenAllocationsFail) {
    BindingValue body;
    body.Member("list").Element(3).SetString("text");
    host.ServeValue("/v", body);
    host.ServeStream("/s", {"{\"a\": [1, 2", ", 3]}"});
    // Running out of memory inside the plugin may end a call with bad_alloc
    // (the host callbacks catch it); either way nothing may stay allocated and
    // every response and stream must be finished with.
    const auto attempt = [](auto&& call) {
        try {
            call();
        } catch (const std::bad_alloc&) {}
    };
    for (std::uint64_t n = 1; n < 60; ++n) {
        SCOPED_TRACE(n);
        host.ClearRecords();
        const LeakCheck local;
        FailAllocationAfter(n);
        attempt([&] { FetchResult value = Requests().FetchValue(RequestMethod::Get, "/v"); });
        attempt([&] { FetchResult streamed = Requests().FetchValue(RequestMethod::Get, "/s"); });
        attempt([&] {
            RequestOutcome posted = Requests().CallWithParameters(RequestMethod::Post, "/v",
                                                                  std::map<std::string, std::string>{{"k", "v"}});
        });
        FailAllocationAfter(0);
        host.ClearRecords();
        EXPECT_EQ(local.BlockDelta(), 0);
        EXPECT_EQ(host.OpenStreams(), 0u);
        EXPECT_EQ(host.UnreleasedResponses(), 0);
    }
}

}  // namespace
}  // namespace hpk
