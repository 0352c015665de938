// JSON reading: our reader beside the tokenizer's own document and bare reader,
// and another popular parser, on the same documents. Each iteration builds and
// releases one whole tree.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/reader.h>

#include <cstdlib>

#include "bench_corpus.h"
#include "formats/json_reader.h"

namespace {

void Ours(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        hpk::BindingResult result = hpk::ParseJson(text->c_str());
        if (!result.IsOk()) state.SkipWithError(result.ErrorText().c_str());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void RapidDocument(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(text->c_str());
        if (document.HasParseError()) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void RapidReader(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(text->c_str());
        const rapidjson::ParseResult parsed = reader.Parse(stream, handler);
        if (parsed.IsError()) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void RapidReaderIterative(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::Reader reader;
        rapidjson::StringStream stream(text->c_str());
        const rapidjson::ParseResult parsed = reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler);
        if (parsed.IsError()) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void Nlohmann(benchmark::State& state, const std::string* text) {
    for (auto _ : state) {
        nlohmann::json document = nlohmann::json::parse(*text, nullptr, false);
        if (document.is_discarded()) state.SkipWithError("parse error");
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

// Registered before main runs; the corpus lives as long as the process.
const int kRegistered = [] {
    static const auto corpus = hpk::bench::LoadCorpus("json");
    for (const auto& [name, text] : corpus) {
        benchmark::RegisterBenchmark(("json/ours/" + name).c_str(), Ours, &text);
        benchmark::RegisterBenchmark(("json/rapidjson-document/" + name).c_str(), RapidDocument, &text);
        benchmark::RegisterBenchmark(("json/rapidjson-reader/" + name).c_str(), RapidReader, &text);
        benchmark::RegisterBenchmark(("json/rapidjson-reader-iterative/" + name).c_str(), RapidReaderIterative, &text);
        benchmark::RegisterBenchmark(("json/nlohmann/" + name).c_str(), Nlohmann, &text);
    }
    return 0;
}();

}  // namespace
