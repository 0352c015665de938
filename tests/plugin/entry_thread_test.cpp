// A host that calls the plugin from a second thread while another is inside
// gets one ERROR line per kind of call; calls nested on one thread are normal.
// The second thread calls in while the first waits inside the host's request
// operation, so nothing actually runs at the same time.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "plugin/plugin_base.h"
#include "router/binding_router.h"
#include "support/fake_host_fixture.h"

namespace hpk {
namespace {

constexpr char kWaitUrl[] = "/host/v1/wait";

class EntryThread : public FakeHostFixture {
protected:
    // Serves "/ping"; init fetches kWaitUrl, and inside that request the host
    // runs `inside` (which calls back into the plugin) on a thread of its own
    // or on the one waiting for the request.
    void LoadAndInitCallingBack(bool secondThread, std::function<void()> inside) {
        script->registerApi = [](FakePlugin& plugin) {
            ASSERT_TRUE(plugin.Router().ServeGet("/ping", []() -> std::string { return "pong"; }, plugin.ApiTags()));
        };
        script->initialize = [](FakePlugin& plugin) {
            (void)plugin.Requests().FetchValue(RequestMethod::Get, kWaitUrl);
            return true;
        };
        host.ServeCustom(kWaitUrl, [this, secondThread, inside](HostResponse& response) {
            if (secondThread) {
                std::thread other([&] {
                    otherThread = platform::CurrentThreadId();
                    inside();
                });
                other.join();
            } else {
                inside();
            }
            response.status = 404;
        });
        LoadAndInit();
    }

    // Delivers a service-proxy event and GETs "/ping", each twice.
    void CallInTwice() {
        const HostEndpointRecord* ping = FakeHost::FindEndpoint(*session.Record().hostTable, "/ping");
        ASSERT_NE(ping, nullptr);
        for (int i = 0; i < 2; ++i) {
            EXPECT_TRUE(host.DeliverServiceProxyEvent("OnServiceProxyUuidEvent", PluginServiceProxyResponse{}));
            EXPECT_EQ(host.CallEndpoint(*ping, 2, "/ping").body.AsString(), "pong");
        }
    }

    std::vector<std::string> ErrorLines() const {
        std::vector<std::string> lines;
        for (const FakeHost::LogLine& line : host.Logs()) {
            if (line.level == 2) lines.push_back(line.text);
        }
        return lines;
    }

    std::uint32_t otherThread = 0;
};

TEST_F(EntryThread, ASecondThreadCallingInIsReportedOncePerKind) {
    LoadAndInitCallingBack(true, [this] { CallInTwice(); });
    const std::uint32_t initThread = platform::CurrentThreadId();
    ASSERT_NE(otherThread, 0u);
    const auto line = [&](const char* entering) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "%s on thread %u entered the plugin while init on thread %u was still running: "
                      "the host must make these calls one at a time",
                      entering, otherThread, initThread);
        return std::string(text);
    };
    EXPECT_EQ(ErrorLines(), (std::vector<std::string>{line("event callback"), line("request callback")}));
}

TEST_F(EntryThread, CallsNestedOnOneThreadAreNormal) {
    LoadAndInitCallingBack(false, [this] { CallInTwice(); });
    EXPECT_EQ(otherThread, 0u);
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
    // And after init, from this thread or another, one at a time.
    CallInTwice();
    std::thread later([this] { CallInTwice(); });
    later.join();
    EXPECT_EQ(ErrorLines(), std::vector<std::string>{});
}

}  // namespace
}  // namespace hpk
