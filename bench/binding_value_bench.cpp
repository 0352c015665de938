// Dynamic value costs: building a wide structure, deep copies of record trees,
// host value round trips, and the life of a small tree (arena and pages).
#include <benchmark/benchmark.h>
#include <rapidjson/reader.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "binding/host_value_convert.h"

namespace {

using hpk::BindingResult;
using hpk::BindingValue;

// Builds a tree from tokenizer events, so the benchmarks work on real documents.
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
public:
    explicit TreeBuilder(BindingValue& root) : target_(&root) {}
    bool Null() {
        Slot();
        return true;
    }
    bool Bool(bool b) {
        Slot().SetBool(b);
        return true;
    }
    bool Int(int v) {
        Slot().SetSigned(v);
        return true;
    }
    bool Uint(unsigned v) {
        Slot().SetUnsigned(v);
        return true;
    }
    bool Int64(std::int64_t v) {
        Slot().SetSigned(v);
        return true;
    }
    bool Uint64(std::uint64_t v) {
        Slot().SetUnsigned(v);
        return true;
    }
    bool Double(double v) {
        Slot().SetFloat(v);
        return true;
    }
    bool String(const char* s, rapidjson::SizeType n, bool) {
        Slot().SetString({s, n});
        return true;
    }
    bool StartObject() {
        open_.push_back(&Slot().MakeStructure());
        return true;
    }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        target_ = &open_.back()->Member({s, n});
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        open_.pop_back();
        return true;
    }
    bool StartArray() {
        open_.push_back(&Slot().MakeCollection());
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        open_.pop_back();
        return true;
    }

private:
    BindingValue& Slot() {
        if (!open_.empty() && open_.back()->Kind() == hpk::BindingValueKind::Collection) return open_.back()->Append();
        return *target_;
    }
    BindingValue* target_;
    std::vector<BindingValue*> open_;
};

const BindingValue& Document(const char* name) {
    static std::vector<std::pair<std::string, BindingValue>> loaded;
    for (auto& [key, value] : loaded) {
        if (key == name) return value;
    }
    std::ifstream file(std::string(HPK_BENCH_DATA) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    const std::string json = text.str();
    BindingValue value;
    TreeBuilder builder(value);
    rapidjson::Reader reader;
    rapidjson::StringStream stream(json.c_str());
    reader.Parse(stream, builder);
    loaded.emplace_back(name, std::move(value));
    return loaded.back().second;
}

void BM_BuildStructure1000(benchmark::State& state) {
    std::vector<std::string> keys;
    for (int i = 0; i < 1000; ++i) keys.push_back("field" + std::to_string(i * 7919 % 1000));
    for (auto _ : state) {
        BindingValue value;
        for (std::size_t i = 0; i < keys.size(); ++i) value.Member(keys[i]).SetUnsigned(i);
        benchmark::DoNotOptimize(value.Size());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_BuildStructure1000);

void BM_DeepCopy(benchmark::State& state, const char* name) {
    const BindingValue& source = Document(name);
    for (auto _ : state) {
        BindingValue copy(source);
        benchmark::DoNotOptimize(copy.Size());
    }
}
BENCHMARK_CAPTURE(BM_DeepCopy, small_champion_games, "small-champion-games.json");
BENCHMARK_CAPTURE(BM_DeepCopy, twitter, "twitter.json");
BENCHMARK_CAPTURE(BM_DeepCopy, citm_catalog, "citm_catalog.json");

void BM_ToHostValue(benchmark::State& state, const char* name) {
    const BindingValue& source = Document(name);
    for (auto _ : state) {
        hpk::HostValueOwner host;
        if (!hpk::ToHostValue(host.Get(), source, nullptr)) state.SkipWithError("out of memory");
        benchmark::DoNotOptimize(host.Get().tag);
    }
}
BENCHMARK_CAPTURE(BM_ToHostValue, small_champion_games, "small-champion-games.json");
BENCHMARK_CAPTURE(BM_ToHostValue, twitter, "twitter.json");

void BM_HostValueRoundTrip(benchmark::State& state, const char* name) {
    const BindingValue& source = Document(name);
    for (auto _ : state) {
        hpk::HostValueOwner host;
        if (!hpk::ToHostValue(host.Get(), source, nullptr)) state.SkipWithError("out of memory");
        BindingResult back;
        hpk::HostValueToBinding(back, host.Get(), "<value>");
        benchmark::DoNotOptimize(back.Value().Size());
    }
}
BENCHMARK_CAPTURE(BM_HostValueRoundTrip, small_champion_games, "small-champion-games.json");
BENCHMARK_CAPTURE(BM_HostValueRoundTrip, twitter, "twitter.json");

// The common short-lived value: a root with a few members and a string,
// created and destroyed. Its arena and pages come and go each time.
void BM_SmallTreeLifecycle(benchmark::State& state) {
    for (auto _ : state) {
        BindingValue value;
        value.Member("state").SetString("SUCCEEDED");
        value.Member("summonerId").SetUnsigned(2468013579u);
        value.Member("connected").SetBool(true);
        benchmark::DoNotOptimize(value.Size());
    }
}
BENCHMARK(BM_SmallTreeLifecycle);

void BM_ScalarResult(benchmark::State& state) {
    for (auto _ : state) {
        BindingResult result;
        result.Value().SetUnsigned(42);
        BindingValue out;
        result.TakeValue(out);
        benchmark::DoNotOptimize(out.AsUnsigned());
    }
}
BENCHMARK(BM_ScalarResult);

}  // namespace
