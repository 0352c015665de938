// Sessions of `hpk-host explore` per second: 20-step sessions drawn from
// scenarios/space.yaml, each played against a freshly loaded and initialised
// plugin with the invariants checked after every step, in this process (the
// explorer's workers do the same, one batch per process). The library is
// loaded once; each session is one load-init-shutdown cycle of its entry point.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "explore/generate.h"
#include "explore/play.h"
#include "explore/space.h"

namespace hpk::host {
namespace {

void BM_ExploreSession(benchmark::State& state) {
    Space space;
    std::string error;
    if (!ReadSpaceFile(space, HPK_SPACE_FILE, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto steps = static_cast<std::uint32_t>(state.range(0));
    std::uint64_t index = 0;
    std::uint64_t broken = 0;
    for (auto _ : state) {
        const ExploreSession session = GenerateSession(space, 1, index++, steps);
        const SessionOutcome outcome =
            session.reordered.IsEmpty() ? PlaySession(space, session.document, HPK_PLUGIN_FILE)
                                        : PlayMetamorphic(space, session.document, session.reordered, HPK_PLUGIN_FILE);
        broken += outcome.breach.Broken() ? 1 : 0;
        benchmark::DoNotOptimize(outcome.checks);
    }
    if (broken != 0) state.SkipWithError("a session broke an invariant");
    state.counters["sessions_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExploreSession)->Arg(20)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
}  // namespace hpk::host
