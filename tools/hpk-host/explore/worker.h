// The explorer's worker processes: one plays a batch of sessions drawn from
// the space, one replays a scenario file (a shrinking candidate) with its
// invariants. Each writes one line per session to standard output, flushed,
// so that when the plugin takes the process down the explorer still knows
// which session did it. A watchdog thread ends the process with a "no-hang"
// line when a session runs past the time-out.
#pragma once
#include <cstdint>
#include <string>

#include "explore/space.h"

namespace hpk::host {

struct ExploreOptions {
    std::string spacePath = "scenarios/space.yaml";
    bool spaceGiven = false;
    std::string pluginPath;
    std::string outDir = "explore-failures";
    std::uint64_t seed = 1;
    std::uint64_t sessions = 1000;
    bool sessionsGiven = false;
    std::uint64_t seconds = 0;
    std::uint64_t steps = 20;
    std::uint64_t batch = 500;
    std::uint64_t first = 0;
    std::uint64_t timeoutSeconds = 10;
    bool json = false;
    bool worker = false;    // internal: play sessions first .. first+sessions
    std::string replay;     // internal: replay this scenario file
    std::string reordered;  // internal: ... and this one in the other order
};

// One line of a worker: S (session passed), F (failed), E (batch done), X
// (cannot work: the message says why).
struct WorkerLine {
    char kind = 0;
    std::uint64_t index = 0;
    std::uint64_t steps = 0;
    std::uint64_t checks = 0;
    bool metamorphic = false;
    std::string invariant;
    std::uint64_t step = 0;
    std::string message;
};
bool ParseWorkerLine(const std::string& line, WorkerLine& out);

int RunSessionWorker(const ExploreOptions& options, const Space& space);
int RunReplayWorker(const ExploreOptions& options);

// The space file a scenario's `invariants:` names: as written when that
// exists, else relative to the scenario file's folder.
std::string ResolveSpacePath(const std::string& invariants, const std::string& scenarioPath);

}  // namespace hpk::host
