// Converting a platform-configuration-sized record to and from a dynamic value,
// and a collection of nested records, through the registered field lists. A
// hand-written conversion of the same record is the reference for what the
// type-driven walk costs.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/type_registration.h"

namespace {

using namespace hpk;

struct Config {
    bool Enabled = false;
    std::string Mapping;
    bool RevivalFilterEnabled = false;
    bool LaneFilterEnabled = false;
    std::uint32_t LaneFilterThreshold = 7;
    bool LevelFilterEnabled = false;
    bool RankedFilterEnabled = false;
    bool LocationFiltersEnabled = false;
};

enum class Lane : std::int32_t { Top = 0, Jungle = 1, Middle = 2, Bottom = 3 };

struct Game {
    std::int32_t championId = 0;
    std::int32_t queue = 0;
    Lane lane = Lane::Top;
    std::string role;
    std::uint64_t timestamp = 0;
};

struct Games {
    std::uint32_t gameCount = 0;
    std::vector<Game> champions;
};

const BindingTypeRegistry& Registry() {
    static BindingTypeRegistry* registry = [] {
        auto* r = new BindingTypeRegistry;
        RegisterStruct<Config>(*r, "BenchConfig",
                               {Field("Enabled", &Config::Enabled), Field("Mapping", &Config::Mapping),
                                Field("RevivalFilterEnabled", &Config::RevivalFilterEnabled),
                                Field("LaneFilterEnabled", &Config::LaneFilterEnabled),
                                Field("LaneFilterThreshold", &Config::LaneFilterThreshold),
                                Field("LevelFilterEnabled", &Config::LevelFilterEnabled),
                                Field("RankedFilterEnabled", &Config::RankedFilterEnabled),
                                Field("LocationFiltersEnabled", &Config::LocationFiltersEnabled)});
        RegisterEnum<Lane>(
            *r, "BenchLane",
            {{"TOP", Lane::Top}, {"JUNGLE", Lane::Jungle}, {"MIDDLE", Lane::Middle}, {"BOTTOM", Lane::Bottom}});
        RegisterStruct<Game>(
            *r, "BenchGame",
            {Field("championId", &Game::championId), Field("queue", &Game::queue), Field("lane", &Game::lane),
             Field("role", &Game::role), Field("timestamp", &Game::timestamp)});
        RegisterStruct<Games>(*r, "BenchGames",
                              {Field("gameCount", &Games::gameCount), Field("champions", &Games::champions)});
        return r;
    }();
    return *registry;
}

Config SampleConfig() {
    Config config;
    config.Enabled = true;
    config.Mapping = R"({"US":{"Enabled":true,"Locale":"en_US"},"DE":{"Enabled":true,"Locale":"de_DE"}})";
    config.LaneFilterEnabled = true;
    config.LaneFilterThreshold = 5;
    config.LevelFilterEnabled = true;
    return config;
}

Games SampleGames(int count) {
    Games games;
    games.gameCount = static_cast<std::uint32_t>(count);
    for (int i = 0; i < count; ++i) {
        Game game;
        game.championId = 100 + i;
        game.queue = 420;
        game.lane = static_cast<Lane>(i % 4);
        game.role = "SOLO";
        game.timestamp = 1700000000000ULL + static_cast<std::uint64_t>(i);
        games.champions.push_back(game);
    }
    return games;
}

BindingValue ValueOf(const Config& config) {
    BindingResult result;
    ToValue(result, config, Registry());
    BindingValue value;
    result.TakeValue(value);
    return value;
}

void BM_ConfigToValue(benchmark::State& state) {
    const Config config = SampleConfig();
    const BindingTypeRegistry& registry = Registry();
    for (auto _ : state) {
        BindingResult result;
        ToValue(result, config, registry);
        benchmark::DoNotOptimize(result.Value().Size());
    }
}
BENCHMARK(BM_ConfigToValue);

// Reference: the fixed cost of a new tree (its arena) with one member, which
// every ToValue into a fresh result pays once.
void BM_NewTreeOneMember(benchmark::State& state) {
    for (auto _ : state) {
        BindingValue value;
        value.Member("Enabled").SetBool(true);
        benchmark::DoNotOptimize(value.Size());
    }
}
BENCHMARK(BM_NewTreeOneMember);

void BM_ConfigFromValue(benchmark::State& state) {
    const BindingValue value = ValueOf(SampleConfig());
    const BindingTypeRegistry& registry = Registry();
    for (auto _ : state) {
        Config config;
        BindingResult result;
        FromValue(result, config, value, "<value>", registry);
        benchmark::DoNotOptimize(config.LaneFilterThreshold);
        if (!result.IsOk()) state.SkipWithError("conversion failed");
    }
}
BENCHMARK(BM_ConfigFromValue);

// Reference: the same record read member by member without the registry.
void BM_ConfigFromValueByHand(benchmark::State& state) {
    const BindingValue value = ValueOf(SampleConfig());
    for (auto _ : state) {
        Config config;
        BindingResult result;
        FromValue(result, config.Enabled, value.Member("Enabled"), "Enabled");
        config.Mapping = std::string(value.Member("Mapping").AsString());
        FromValue(result, config.RevivalFilterEnabled, value.Member("RevivalFilterEnabled"), "RevivalFilterEnabled");
        FromValue(result, config.LaneFilterEnabled, value.Member("LaneFilterEnabled"), "LaneFilterEnabled");
        FromValue(result, config.LaneFilterThreshold, value.Member("LaneFilterThreshold"), "LaneFilterThreshold");
        FromValue(result, config.LevelFilterEnabled, value.Member("LevelFilterEnabled"), "LevelFilterEnabled");
        FromValue(result, config.RankedFilterEnabled, value.Member("RankedFilterEnabled"), "RankedFilterEnabled");
        FromValue(result, config.LocationFiltersEnabled, value.Member("LocationFiltersEnabled"),
                  "LocationFiltersEnabled");
        benchmark::DoNotOptimize(config.LaneFilterThreshold);
    }
}
BENCHMARK(BM_ConfigFromValueByHand);

void BM_GamesToValue(benchmark::State& state) {
    const Games games = SampleGames(static_cast<int>(state.range(0)));
    const BindingTypeRegistry& registry = Registry();
    for (auto _ : state) {
        BindingResult result;
        ToValue(result, games, registry);
        benchmark::DoNotOptimize(result.Value().Size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GamesToValue)->Arg(20)->Arg(200);

void BM_GamesFromValue(benchmark::State& state) {
    const BindingTypeRegistry& registry = Registry();
    BindingResult source;
    ToValue(source, SampleGames(static_cast<int>(state.range(0))), registry);
    const BindingValue& value = source.Value();
    for (auto _ : state) {
        Games games;
        BindingResult result;
        FromValue(result, games, value, "<value>", registry);
        benchmark::DoNotOptimize(games.champions.data());
        if (!result.IsOk()) state.SkipWithError("conversion failed");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GamesFromValue)->Arg(20)->Arg(200);

}  // namespace
