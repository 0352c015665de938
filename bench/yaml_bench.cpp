// YAML reading: our reader beside the bare event loop of the tokenizer it is
// built on (the floor for any reader on it) and another library's node loader.
#include <benchmark/benchmark.h>

#include <yaml-cpp/yaml.h>

#include "bench_corpus.h"
#include "peer_yaml.h"
#include "formats/yaml_reader.h"

namespace {

void Ours(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        hpk::BindingResult result = hpk::ParseYaml(text->c_str(), text->size());
        if (!result.IsOk()) state.SkipWithError(result.ErrorText().c_str());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void EventLoop(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        if (!hpk::bench::LibyamlEventLoop(text->data(), text->size())) state.SkipWithError("parse error");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void YamlCpp(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        YAML::Node node = YAML::Load(*text);
        benchmark::DoNotOptimize(node);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

const int kRegistered = [] {
    static const auto corpus = hpk::bench::LoadCorpus("yaml");
    for (const auto& [name, text] : corpus) {
        benchmark::RegisterBenchmark(("yaml/ours/" + name).c_str(), Ours, &text);
        benchmark::RegisterBenchmark(("yaml/libyaml-events/" + name).c_str(), EventLoop, &text);
        benchmark::RegisterBenchmark(("yaml/yaml-cpp/" + name).c_str(), YamlCpp, &text);
    }
    return 0;
}();

}  // namespace
