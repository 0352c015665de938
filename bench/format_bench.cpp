// Message formatting: the positional formatter against plain snprintf, the
// named-placeholder path of request errors, and a log line that is filtered
// out versus one delivered to a target that discards it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "diagnostics/log_manager.h"
#include "diagnostics/log_target.h"
#include "diagnostics/named_template.h"
#include "diagnostics/positional_format.h"

namespace {

void BM_PositionalThreeTexts(benchmark::State& state) {
    const std::string url = "/lol-summoner/v1/current-summoner";
    for (auto _ : state) {
        benchmark::DoNotOptimize(hpk::FormatPositional("Unknown argument '%1' for '%2' at %3.", "region", url, "GET"));
    }
}
BENCHMARK(BM_PositionalThreeTexts);

void BM_SnprintfThreeTexts(benchmark::State& state) {
    const std::string url = "/lol-summoner/v1/current-summoner";
    for (auto _ : state) {
        char buffer[4096];
        const int n =
            std::snprintf(buffer, sizeof buffer, "Unknown argument '%s' for '%s' at %s.", "region", url.c_str(), "GET");
        benchmark::DoNotOptimize(std::string(buffer, static_cast<std::size_t>(n)));
    }
}
BENCHMARK(BM_SnprintfThreeTexts);

void BM_PositionalIntegers(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(hpk::FormatPositional("Value %1 is out of range for %2 (%3$08x)", -1234567890123LL,
                                                       "summonerLevel", 48879));
    }
}
BENCHMARK(BM_PositionalIntegers);

void BM_NamedRequestError(benchmark::State& state) {
    const std::vector<hpk::NamedValue> values = {"GET", "/lol-summoner/v1/current-summoner", "Not Found"};
    for (auto _ : state) {
        benchmark::DoNotOptimize(hpk::FormatNamedTemplate("Error response for {method} {url}: {error}", values));
    }
}
BENCHMARK(BM_NamedRequestError);

class DiscardLogTarget : public hpk::LogTarget {
public:
    ~DiscardLogTarget() override { DetachFromManager(); }

protected:
    bool WriteRecord(const hpk::LogRecord& record) override {
        benchmark::DoNotOptimize(record.message);
        return true;
    }
};

void BM_LogFilteredOut(benchmark::State& state) {
    const hpk::LogManagerApi& api = hpk::GetLogManagerApi();
    api.init();
    for (auto _ : state) hpk::LogMessage(hpk::LogLevel::Okay, 0, "dropped %d", 1);
    api.shutdown();
}
BENCHMARK(BM_LogFilteredOut);

void BM_LogDelivered(benchmark::State& state) {
    const hpk::LogManagerApi& api = hpk::GetLogManagerApi();
    api.init();
    for (hpk::LogTargetInterface* target : {api.stdErrTarget(), api.debuggerTarget()}) target->detach(target);
    {
        DiscardLogTarget target;
        target.Configure({hpk::LogLevel::Okay, 0, 0, "#D| #L| #G| #M"});
        for (auto _ : state) hpk::LogMessage(hpk::LogLevel::Error, hpk::kLogCategoryNet, "delivered %d", 1);
    }
    api.shutdown();
}
BENCHMARK(BM_LogDelivered);

}  // namespace
