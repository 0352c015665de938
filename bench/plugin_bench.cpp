// The plugin as the host drives it: a load with every input present, one
// platform configuration update from host event to both publications, and a
// served GET of the filters through the endpoint's request callback.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "binding/binding_value.h"
#include "formats/json_reader.h"
#include "plugin/plugin_base.h"
#include "support/fake_host.h"

namespace hpk {
namespace {

constexpr char kLogin[] = "/arx-login/v1/session";
constexpr char kConfig[] = "/arx-platform-config/v1/namespaces/TvxContentTargeting";
constexpr char kRegion[] = "/vodivozaze/get_region_locale";
constexpr char kReady[] = "/arx-settings/v2/ready";
constexpr char kGeo[] = "/arx-geoinfo/v1/whereami";
constexpr char kAccount[] = "/arx-settings/v2/account/TVXPreferences/arx-content-targeting";
constexpr char kGames[] = "/arx-acs/v2/recently-played-champions/current-summoner";
constexpr char kGamesTrigger[] = "/arx-acs/v2/request-recently-played-champions/current-summoner";
constexpr char kSummoner[] = "/arx-summoner/v1/current-summoner";
constexpr char kFilters[] = "/arx-content-targeting/v1/filters";
constexpr char kTelemetry[] = "/telemetry/v1/events/hpk_be_arx_content_targeting";

BindingValue JsonValue(const std::string& text) {
    BindingResult parsed = ParseJson(text.c_str());
    if (!parsed.IsOk()) std::fprintf(stderr, "bench input: %s\n", parsed.ErrorText().c_str());
    BindingValue value;
    parsed.TakeValue(value);
    return value;
}

BindingValue JsonFile(const char* name) {
    std::ifstream file(std::string(HPK_BENCH_DATA) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return JsonValue(text.str());
}

// Every resource the plugin reads, in the shapes the bench data has.
void ServeEveryInput(FakeHost& host) {
    static const BindingValue login = JsonFile("small-login-session.json");
    static const BindingValue config = JsonFile("small-platform-config.json");
    static const BindingValue geo = JsonFile("small-geoinfo.json");
    static const BindingValue games = JsonFile("small-champion-games.json");
    static const BindingValue region = JsonValue(R"({"locale": "pt_BR"})");
    static const BindingValue ready = JsonValue("true");
    static const BindingValue account = JsonValue(R"({"data": {"selectedLanguage": "pt_BR"}})");
    static const BindingValue summoner = JsonValue(R"({"summonerLevel": 187})");
    host.ServeValue(kLogin, login);
    host.ServeValue(kConfig, config);
    host.ServeValue(kRegion, region);
    host.ServeValue(kReady, ready);
    host.ServeValue(kGeo, geo);
    host.ServeValue(kAccount, account);
    host.ServeValue(kGames, games);
    host.ServeValue(kGamesTrigger, BindingValue());
    host.ServeValue(kSummoner, summoner);
    host.ServeValue(kTelemetry, BindingValue());
}

void BM_LoadAndInitWithEveryInput(benchmark::State& state) {
    FakeHost host;
    ServeEveryInput(host);
    for (auto _ : state) {
        FakePluginSession session(host);
        if (!session.Load() || !session.Init()) state.SkipWithError("the plugin did not start");
        session.Shutdown();
        state.PauseTiming();
        host.ClearRecords();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadAndInitWithEveryInput);

void BM_PlatformConfigUpdateToBothPublications(benchmark::State& state) {
    FakeHost host;
    ServeEveryInput(host);
    FakePluginSession session(host);
    if (!session.Load() || !session.Init()) {
        state.SkipWithError("the plugin did not start");
        return;
    }
    const BindingValue config = JsonFile("small-platform-config.json");
    for (auto _ : state) {
        host.DeliverResourceEvent(kConfig, PluginResourceEventType::Update, config);
        state.PauseTiming();
        if (host.PostedEvents().size() < 2) state.SkipWithError("nothing was published");
        host.ClearRecords();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PlatformConfigUpdateToBothPublications);

void BM_ServedFiltersGet(benchmark::State& state) {
    FakeHost host;
    ServeEveryInput(host);
    FakePluginSession session(host);
    if (!session.Load() || !session.Init()) {
        state.SkipWithError("the plugin did not start");
        return;
    }
    const HostEndpointRecord* endpoint = FakeHost::FindEndpoint(*session.Record().hostTable, kFilters);
    if (endpoint == nullptr) {
        state.SkipWithError("no filters endpoint");
        return;
    }
    for (auto _ : state) {
        FakeHost::ServedResponse served = host.CallEndpoint(*endpoint, 2, kFilters);
        benchmark::DoNotOptimize(served);
    }
}
BENCHMARK(BM_ServedFiltersGet);

}  // namespace
}  // namespace hpk
