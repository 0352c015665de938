// MessagePack reading: our reader beside another library's unpack into its own
// object tree, on the same documents.
#include <benchmark/benchmark.h>

#define MSGPACK_NO_BOOST
#include <msgpack.hpp>

#include "bench_corpus.h"
#include "formats/msgpack_reader.h"

namespace {

void Ours(benchmark::State& state, const std::string* bytes) {
    for (auto _ : state) {
        hpk::MessagePackReadResult read = hpk::ReadMessagePack(*bytes);
        if (!read.result.IsOk() || read.consumed != bytes->size()) state.SkipWithError("decode error");
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}

void MsgpackCxx(benchmark::State& state, const std::string* bytes) {
    for (auto _ : state) {
        msgpack::object_handle handle = msgpack::unpack(bytes->data(), bytes->size());
        benchmark::DoNotOptimize(handle.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes->size()));
}

const int kRegistered = [] {
    static const auto corpus = hpk::bench::LoadCorpus("msgpack");
    for (const auto& [name, bytes] : corpus) {
        benchmark::RegisterBenchmark(("msgpack/ours/" + name).c_str(), Ours, &bytes);
        benchmark::RegisterBenchmark(("msgpack/msgpack-cxx/" + name).c_str(), MsgpackCxx, &bytes);
    }
    return 0;
}();

}  // namespace
