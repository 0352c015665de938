// Wall time of our readers against their peers on the large documents (100 KB
// and more), in one run: every iteration parses the document once with ours
// and once with the peer, in alternating order, so both see the same machine
// state (caches, frequency, the other processes of a busy machine). Each
// parse includes building and dropping the whole tree, as a caller pays it.
//
// Counters per benchmark: ours and peer (wall milliseconds per parse), ratio
// (ours / peer over the repetition) and cpu_ratio (the same in the thread's
// processor time, which includes the kernel's work for its system calls and
// page faults but not the time other processes ran). Five repetitions; the
// median row's ratio is the figure held against the target (at most 1.0x).
#include <benchmark/benchmark.h>

#define MSGPACK_NO_BOOST
#include <msgpack.hpp>
#include <rapidjson/document.h>

#include <chrono>
#include <ctime>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "bench_corpus.h"
#include "peer_yaml.h"
#include "formats/json_reader.h"
#include "formats/msgpack_reader.h"
#include "formats/yaml_reader.h"

namespace {

constexpr std::size_t kLargeDocument = 100 * 1000;

using Parse = bool (*)(const std::string& input);

bool OursJson(const std::string& text) { return hpk::ParseJson(text.c_str()).IsOk(); }

bool PeerJson(const std::string& text) {
    rapidjson::Document document;
    document.Parse(text.c_str());
    return !document.HasParseError();
}

bool OursMessagePack(const std::string& bytes) {
    const hpk::MessagePackReadResult read = hpk::ReadMessagePack(bytes);
    return read.result.IsOk() && read.consumed == bytes.size();
}

bool PeerMessagePack(const std::string& bytes) {
    const msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
    return handle.get().type != msgpack::type::NIL;
}

bool OursYaml(const std::string& text) { return hpk::ParseYaml(text.c_str(), text.size()).IsOk(); }

bool PeerYaml(const std::string& text) { return hpk::bench::LibyamlEventLoop(text.data(), text.size()); }

using Clock = std::chrono::steady_clock;

// Processor time of this thread: on a busy machine the wall clock also counts
// the time other processes held the processor.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Cost {
    double wall = 0;
    double processor = 0;
};

void Timed(Parse parse, const std::string& input, bool& ok, Cost& cost, double& wall) {
    const double processorStart = ThreadSeconds();
    const Clock::time_point start = Clock::now();
    ok = parse(input) && ok;
    wall = std::chrono::duration<double>(Clock::now() - start).count();
    cost.wall += wall;
    cost.processor += ThreadSeconds() - processorStart;
}

void Interleaved(benchmark::State& state, Parse ours, Parse peer, const std::string* input) {
    Cost oursCost;
    Cost peerCost;
    bool ok = true;
    bool oursFirst = true;
    for (auto _ : state) {
        double a, b;
        if (oursFirst) {
            Timed(ours, *input, ok, oursCost, a);
            Timed(peer, *input, ok, peerCost, b);
        } else {
            Timed(peer, *input, ok, peerCost, b);
            Timed(ours, *input, ok, oursCost, a);
        }
        oursFirst = !oursFirst;
        state.SetIterationTime(a + b);
    }
    if (!ok) state.SkipWithError("a parse failed");
    using benchmark::Counter;
    state.counters["ours"] = Counter(oursCost.wall * 1e3, Counter::kAvgIterations);
    state.counters["peer"] = Counter(peerCost.wall * 1e3, Counter::kAvgIterations);
    state.counters["ratio"] = peerCost.wall > 0 ? oursCost.wall / peerCost.wall : 0;
    state.counters["cpu_ratio"] = peerCost.processor > 0 ? oursCost.processor / peerCost.processor : 0;
}

struct Path {
    const char* format;
    const char* peerName;
    Parse ours;
    Parse peer;
};

const int kRegistered = [] {
    static const Path paths[] = {
        {"json", "rapidjson-document", OursJson, PeerJson},
        {"msgpack", "msgpack-cxx-unpack", OursMessagePack, PeerMessagePack},
        {"yaml", "libyaml-events", OursYaml, PeerYaml},
    };
    // The corpora live as long as the process.
    static std::vector<std::vector<std::pair<std::string, std::string>>> corpora;
    corpora.reserve(std::size(paths));
    for (const Path& path : paths) {
        corpora.push_back(hpk::bench::LoadCorpus(path.format));
        for (const auto& [name, input] : corpora.back()) {
            if (input.size() < kLargeDocument) continue;
            const std::string label = std::string("wall/") + path.format + "/" + name + "/vs-" + path.peerName;
            benchmark::RegisterBenchmark(label.c_str(), Interleaved, path.ours, path.peer, &input)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    return 0;
}();

}  // namespace
