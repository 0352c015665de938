// Wall time of our readers against their peers on the large documents (100 KB
// and more), in one run: every iteration parses the document with ours, with
// the peer and with the parts of the peer's floor (bench/peer_floors.h: the
// peer's parse plus the interning and header slots the value model asks of
// any tree of ours), in an order that rotates, so all of them see the same
// machine state (caches, frequency, the other processes of a busy machine).
// Each parse includes building and dropping the whole tree, as a caller pays
// it. As in the instruction counts, the JSON and MessagePack floors are the
// peer plus its tree interned less its tree only walked (two more parses an
// iteration); the YAML floor is the interning event loop itself.
//
// Counters per benchmark: ours, peer and floor (wall milliseconds per parse),
// ratio (ours / peer over the repetition) and cpu_ratio (the same in the
// thread's processor time, which includes the kernel's work for its system
// calls and page faults but not the time other processes ran), and
// floor_ratio and cpu_floor_ratio (ours / floor, likewise). Five repetitions;
// the median row's ratio is the figure held against the target (at most
// 1.0x), its floor_ratio what is left where the target cannot be met.
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
#include "peer_floors.h"
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

bool InternedJson(const std::string& text) { return hpk::bench::RapidJsonInterned(text.c_str()); }

bool WalkedJson(const std::string& text) { return hpk::bench::RapidJsonInterned(text.c_str(), false); }

bool OursMessagePack(const std::string& bytes) {
    const hpk::MessagePackReadResult read = hpk::ReadMessagePack(bytes);
    return read.result.IsOk() && read.consumed == bytes.size();
}

bool PeerMessagePack(const std::string& bytes) {
    const msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
    return handle.get().type != msgpack::type::NIL;
}

bool InternedMessagePack(const std::string& bytes) {
    return hpk::bench::MsgpackCxxInterned(bytes.data(), bytes.size());
}

bool WalkedMessagePack(const std::string& bytes) {
    return hpk::bench::MsgpackCxxInterned(bytes.data(), bytes.size(), false);
}

bool OursYaml(const std::string& text) { return hpk::ParseYaml(text.c_str(), text.size()).IsOk(); }

bool PeerYaml(const std::string& text) { return hpk::bench::LibyamlEventLoop(text.data(), text.size()); }

bool InternedYaml(const std::string& text) { return hpk::bench::LibyamlInterned(text.data(), text.size()); }

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

// One timed parse, added to `cost`; its wall seconds.
double Timed(Parse parse, const std::string& input, bool& ok, Cost& cost) {
    const double processorStart = ThreadSeconds();
    const Clock::time_point start = Clock::now();
    ok = parse(input) && ok;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    cost.wall += wall;
    cost.processor += ThreadSeconds() - processorStart;
    return wall;
}

struct Path {
    const char* format;
    const char* peerName;
    Parse ours;
    Parse peer;
    Parse interned;  // the peer's parse with the floor's interning
    Parse walked;    // the peer's parse with the bare walk, or null: `interned` is the floor
};

double Ratio(double ours, double other) { return other > 0 ? ours / other : 0; }

void Interleaved(benchmark::State& state, const Path* path, const std::string* input) {
    enum { kOurs, kPeer, kInterned, kWalked };
    const Parse parses[] = {path->ours, path->peer, path->interned, path->walked};
    const int count = path->walked != nullptr ? 4 : 3;
    Cost costs[4];
    bool ok = true;
    int first = 0;  // each parse takes each place in turn
    for (auto _ : state) {
        double wall = 0;
        for (int k = 0; k < count; ++k) {
            const int which = (first + k) % count;
            wall += Timed(parses[which], *input, ok, costs[which]);
        }
        first = (first + 1) % count;
        state.SetIterationTime(wall);
    }
    if (!ok) state.SkipWithError("a parse failed");
    Cost floor = costs[kInterned];
    if (path->walked != nullptr) {
        floor.wall += costs[kPeer].wall - costs[kWalked].wall;
        floor.processor += costs[kPeer].processor - costs[kWalked].processor;
    }
    using benchmark::Counter;
    state.counters["ours"] = Counter(costs[kOurs].wall * 1e3, Counter::kAvgIterations);
    state.counters["peer"] = Counter(costs[kPeer].wall * 1e3, Counter::kAvgIterations);
    state.counters["floor"] = Counter(floor.wall * 1e3, Counter::kAvgIterations);
    state.counters["ratio"] = Ratio(costs[kOurs].wall, costs[kPeer].wall);
    state.counters["cpu_ratio"] = Ratio(costs[kOurs].processor, costs[kPeer].processor);
    state.counters["floor_ratio"] = Ratio(costs[kOurs].wall, floor.wall);
    state.counters["cpu_floor_ratio"] = Ratio(costs[kOurs].processor, floor.processor);
}

const int kRegistered = [] {
    static const Path paths[] = {
        {"json", "rapidjson-document", OursJson, PeerJson, InternedJson, WalkedJson},
        {"msgpack", "msgpack-cxx-unpack", OursMessagePack, PeerMessagePack, InternedMessagePack, WalkedMessagePack},
        {"yaml", "libyaml-events", OursYaml, PeerYaml, InternedYaml, nullptr},
    };
    // The corpora live as long as the process.
    static std::vector<std::vector<std::pair<std::string, std::string>>> corpora;
    corpora.reserve(std::size(paths));
    for (const Path& path : paths) {
        corpora.push_back(hpk::bench::LoadCorpus(path.format));
        for (const auto& [name, input] : corpora.back()) {
            if (input.size() < kLargeDocument) continue;
            const std::string label = std::string("wall/") + path.format + "/" + name + "/vs-" + path.peerName;
            benchmark::RegisterBenchmark(label.c_str(), Interleaved, &path, &input)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    return 0;
}();

}  // namespace
