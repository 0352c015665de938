// The host's side of CoreApi, called the way the plugin calls it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host/host_core.h"
#include "host/host_value_io.h"

namespace hpk::host {
namespace {

constexpr std::int32_t kHandle = 7;

// Packed fields are read by value: the assertion macros would bind references.
std::int32_t Status(const HostResponse& response) { return response.status; }
const char* Error(const HostResponse& response) { return response.error; }

class HostCoreTest : public ::testing::Test {
protected:
    HostCoreTest() : timeline_(false, stdout), core_(timeline_, kHandle) {}

    CoreApi* Api() { return core_.Api()->core; }

    // GET (or another method) through CoreApi slot 0; the caller releases.
    HostResponse Request(const char* url, std::uint32_t method = 2, HostArgumentEntry* argument = nullptr) {
        HostRequest request{};
        request.method = method;
        request.url = url;
        request.arguments = argument;
        request.argumentCount = argument != nullptr ? 1 : 0;
        request.callerHandle = kHandle;
        HostResponse response;
        std::memset(&response, 0, sizeof(response));
        Api()->Request(Api(), &response, &request);
        return response;
    }

    Timeline timeline_;
    HostCore core_;
};

TEST(ResourceEventName, JoinsAtMostFourEntriesOrSixForThePlatformConfig) {
    struct Row {
        const char* uri;
        const char* name;
    };
    const Row rows[] = {
        {"/arx-login/v1/session", "OnJsonApiEvent_arx-login_v1_session"},
        {"/arx-summoner/v1/current-summoner/x", "OnJsonApiEvent_arx-summoner_v1_current-summoner"},
        {"/arx-platform-config/v1/namespaces/TvxContentTargeting",
         "OnJsonApiEvent_arx-platform-config_v1_namespaces_TvxContentTargeting"},
        {"/arx-platform-config/v1/namespaces/a/b/c", "OnJsonApiEvent_arx-platform-config_v1_namespaces_a_b"},
        {"/vodivozaze/get_region_locale", "OnJsonApiEvent_vodivozaze_get_region_locale"},
        {"//a///b/", "OnJsonApiEvent_a_b"},
        {"/arx-platform-config", "OnJsonApiEvent_arx-platform-config"},
        {"/arx-platform-configs/v1/namespaces/a/b", "OnJsonApiEvent_arx-platform-configs_v1_namespaces"},
        {"/a/arx-platform-config/b/c/d", "OnJsonApiEvent_a_arx-platform-config_b"},
        {"", "OnJsonApiEvent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        EXPECT_EQ(ResourceEventName(row.uri), row.name);
    }
}

TEST_F(HostCoreTest, AnswersFromTheStoreAndReleasesWhatItAllocated) {
    ResourceAnswer value;
    value.value.Member("summonerLevel").SetUnsigned(42);
    core_.Serve("/arx-summoner/v1/current-summoner", value);
    ResourceAnswer error;
    error.kind = ResourceAnswer::Kind::Error;
    error.status = 503;
    error.message = "Down";
    core_.Serve("/down", error);

    HostResponse ok = Request("/arx-summoner/v1/current-summoner?x=1");
    EXPECT_EQ(Status(ok), 200);
    EXPECT_EQ(Error(ok), nullptr);
    const Outcome<BindingValue> read = ReadHostValue(ok.body);
    ASSERT_TRUE(read.IsOk()) << read.Error();
    const BindingValue& body = read.Value();
    EXPECT_EQ(body.Member("summonerLevel").AsUnsigned(), 42u);

    HostResponse failed = Request("/down");
    EXPECT_EQ(Status(failed), 503);
    EXPECT_STREQ(failed.error, "Down");
    EXPECT_EQ(static_cast<int>(failed.errorOwned), 1);

    HostResponse missing = Request("/nobody/serves/this");
    EXPECT_EQ(Status(missing), 404);
    EXPECT_STREQ(missing.error, "No resource is served at /nobody/serves/this");

    for (HostResponse* response : {&ok, &failed, &missing}) {
        ASSERT_TRUE(response->release != nullptr);
        response->release(response);
        const auto* bytes = reinterpret_cast<const unsigned char*>(response);
        EXPECT_TRUE(std::all_of(bytes, bytes + sizeof(HostResponse), [](unsigned char b) { return b == 0; }));
    }
    ASSERT_EQ(core_.Requests().size(), 3u);
    EXPECT_EQ(core_.Requests()[2].url, "/nobody/serves/this");
    EXPECT_TRUE(core_.Requests()[2].failed);
    core_.Finish();
    EXPECT_TRUE(core_.Problems().empty()) << core_.Problems().front();
}

TEST_F(HostCoreTest, ReportsAResponseNeverReleased) {
    HostResponse response = Request("/anything");
    core_.Finish();
    ASSERT_EQ(core_.Problems().size(), 1u);
    EXPECT_EQ(core_.Problems()[0], "1 responses were never released");
    std::free(response.error);  // what release would have freed, without counting it
}

TEST_F(HostCoreTest, StreamsABodyInChunksAndFailsTheReadItWasToldTo) {
    ResourceAnswer stream;
    stream.kind = ResourceAnswer::Kind::Stream;
    stream.streamText = "0123456789";
    stream.chunkSize = 4;
    core_.Serve("/s", stream);
    HostResponse response = Request("/s");
    ASSERT_TRUE(response.streamRead != nullptr);
    EXPECT_EQ(static_cast<std::uint64_t>(response.streamSizeHint), 10u);
    std::string text;
    bool more = true;
    int reads = 0;
    while (more) {
        char buffer[4096];
        std::uint32_t size = sizeof(buffer);
        ASSERT_TRUE(response.streamRead(response.stream, buffer, &size, &more));
        EXPECT_LE(size, 4u);
        text.append(buffer, size);
        ++reads;
    }
    EXPECT_EQ(text, "0123456789");
    EXPECT_EQ(reads, 3);
    response.streamClose(response.stream);
    response.release(&response);

    stream.failAtRead = 2;
    core_.Serve("/s", stream);
    HostResponse failing = Request("/s");
    char buffer[16];
    std::uint32_t size = sizeof(buffer);
    EXPECT_TRUE(failing.streamRead(failing.stream, buffer, &size, &more));
    size = sizeof(buffer);
    EXPECT_FALSE(failing.streamRead(failing.stream, buffer, &size, &more));
    failing.release(&failing);  // the stream is left open on purpose
    core_.Finish();
    ASSERT_EQ(core_.Problems().size(), 1u);
    EXPECT_EQ(core_.Problems()[0], "the stream of /s was never closed");
}

TEST_F(HostCoreTest, RecordsTelemetryPostsAndAnswersThemWithSuccess) {
    BindingValue fields;
    fields.Member("filters").SetString("filter_level_42");
    HostArgumentEntry argument{nullptr, {}};
    ASSERT_TRUE(BuildHostValue(argument.value, fields).IsOk());
    HostResponse response = Request("/telemetry/v1/events/hpk_be_arx_content_targeting", 6, &argument);
    EXPECT_EQ(Error(response), nullptr);
    response.release(&response);
    ReleaseHostValue(argument.value);

    ASSERT_EQ(core_.Telemetry().size(), 1u);
    EXPECT_EQ(core_.Telemetry()[0].name, "hpk_be_arx_content_targeting");
    EXPECT_EQ(core_.Telemetry()[0].fields.Member("filters").AsString(), "filter_level_42");
}

struct Received {
    static inline std::vector<std::string> events;
    static void Callback(const HostEvent* event) {
        const Outcome<BindingValue> read = ReadHostValue(event->payload);
        ASSERT_TRUE(read.IsOk()) << read.Error();
        const BindingValue& payload = read.Value();
        events.push_back(std::string(event->name) + " " + std::string(payload.Member("eventType").AsString()) + " " +
                         std::string(payload.Member("uri").AsString()));
    }
};

TEST_F(HostCoreTest, DeliversResourceEventsToSubscribersAndChecksUnsubscriptions) {
    Received::events.clear();
    Api()->Subscribe(Api(), "OnJsonApiEvent_arx-login_v1_session", kHandle, &Received::Callback, this, 0);
    BindingValue data;
    data.Member("state").SetString("SUCCEEDED");
    EXPECT_EQ(core_.DeliverResourceEvent("/arx-login/v1/session", "Update", data), 1u);
    EXPECT_EQ(core_.DeliverResourceEvent("/arx-geoinfo/v1/whereami", "Update", data), 0u);
    EXPECT_EQ(Received::events,
              std::vector<std::string>{"OnJsonApiEvent_arx-login_v1_session Update /arx-login/v1/session"});

    Api()->Unsubscribe(Api(), "OnJsonApiEvent_arx-login_v1_session", kHandle);
    EXPECT_TRUE(core_.Subscriptions().empty());
    Api()->Unsubscribe(Api(), "OnJsonApiEvent_arx-login_v1_session", kHandle);
    Api()->Subscribe(Api(), "OnX", 99, &Received::Callback, this, 1);
    Api()->MarkEnd(Api());
    EXPECT_EQ(core_.Problems(),
              (std::vector<std::string>{
                  "unsubscribed from OnJsonApiEvent_arx-login_v1_session, which it had not subscribed to",
                  "the plugin passed handle 99, but its handle is 7",
                  "MarkEnd without an open MarkBegin",
              }));
}

// A layer over the core, as the test host is: it hears every call once the
// core has read it, and answers the requests it scripts.
struct Layer : HostCoreListener {
    std::vector<std::string> heard;
    void Requested(const HostRequest&, const std::string& url, const std::vector<RequestArgument>& arguments) override {
        const bool named = arguments.size() == 1 && arguments[0].name;
        heard.push_back("request " + url + " " + (named ? *arguments[0].name : "-"));
    }
    bool Answer(HostResponse& response, const std::string& url) override {
        if (url != "/layer") return false;
        response.status = 201;
        return true;
    }
    void Subscribed(const Subscription& subscription) override { heard.push_back("subscribe " + subscription.name); }
    void Yielded() override { heard.push_back("yield"); }
    void Logged(const LogLine& line) override { heard.push_back("log " + line.text); }
};

TEST_F(HostCoreTest, ALayerHearsEveryCallAndAnswersWhatItScripts) {
    Layer layer;
    core_.Listen(&layer);
    HostArgumentEntry argument{"count", {}};
    argument.value.tag = 3;
    argument.value.payload.unsignedValue = 5;
    HostResponse answered = Request("/layer", 2, &argument);
    EXPECT_EQ(Status(answered), 201);
    ASSERT_TRUE(answered.release != nullptr);  // the core's, which counts the release
    answered.release(&answered);
    HostResponse fromStore = Request("/other");
    EXPECT_EQ(Status(fromStore), 404);
    fromStore.release(&fromStore);

    Api()->Subscribe(Api(), "OnX", kHandle, &Received::Callback, this, 0);
    Api()->Yield(Api());
    Api()->Log(Api(), 2, "bad");
    EXPECT_EQ(layer.heard, (std::vector<std::string>{"request /layer count", "request /other -", "subscribe OnX",
                                                     "yield", "log bad"}));
    core_.StopListening(&layer);
    core_.Finish();
    EXPECT_TRUE(core_.Problems().empty()) << core_.Problems().front();
}

}  // namespace
}  // namespace hpk::host
