// The service-proxy tables under threads: responses and the one-shot handlers
// waiting for them arrive from different threads in either order, each pair
// meets exactly once, and the tables end empty.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "diagnostics/log_manager.h"
#include "plugin/plugin_base.h"
#include "stress.h"
#include "support/capture_log_target.h"

namespace hpk {
namespace {

TEST(ServiceProxyStress, EachResponseMeetsItsHandlerOnce) {
    const LogManagerApi& api = GetLogManagerApi();
    api.init();
    for (LogTargetInterface* target : {api.stdOutTarget(), api.stdErrTarget(), api.debuggerTarget()}) {
        target->detach(target);
    }
    const int threads = stress::Threads();
    const int keys = stress::Rounds(400);
    {
        CaptureLogTarget fulfilled;
        fulfilled.Configure({LogLevel::Okay, 0, 0, "#M"});
        PluginBase plugin;
        // calls[t][k]: how often the handler of thread t's key k ran; written
        // under the plugin's service-proxy lock, read after the threads end.
        std::vector<std::vector<int>> calls(static_cast<std::size_t>(threads),
                                            std::vector<int>(static_cast<std::size_t>(keys), 0));
        std::atomic<int> wrongPayload{0};
        stress::RunThreads(threads, [&](int t) {
            // Thread t waits for its own keys and answers those of the next
            // thread, sometimes before the handler is there, sometimes after.
            const int next = (t + 1) % threads;
            for (int k = 0; k < keys; ++k) {
                const std::string mine = "t" + std::to_string(t) + "-" + std::to_string(k);
                plugin.ServiceProxies().AddPendingHandler(mine, [&, t, k, mine](const PluginServiceProxyResponse& r) {
                    ++calls[static_cast<std::size_t>(t)][static_cast<std::size_t>(k)];
                    if (r.payload != "for " + mine) wrongPayload.fetch_add(1);
                });
                PluginServiceProxyResponse response;
                response.uuid = "t" + std::to_string(next) + "-" + std::to_string(k);
                response.serviceName = "service";
                response.methodName = "method";
                response.payload = "for " + response.uuid;
                plugin.ServiceProxies().OnUuidResponse(response);
            }
        });
        EXPECT_EQ(wrongPayload.load(), 0);
        for (int t = 0; t < threads; ++t) {
            for (int k = 0; k < keys; ++k) {
                ASSERT_EQ(calls[static_cast<std::size_t>(t)][static_cast<std::size_t>(k)], 1) << t << "-" << k;
            }
        }
        EXPECT_EQ(plugin.ServiceProxies().StoredResponseCount(), 0u);
        EXPECT_EQ(fulfilled.Lines().size(), static_cast<std::size_t>(threads * keys));
        plugin.Shutdown();
    }
    api.shutdown();
}

}  // namespace
}  // namespace hpk
