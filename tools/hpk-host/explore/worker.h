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
    std::string pluginPath;
    std::string outDir = "explore-failures";
    std::uint64_t seed = 1;
    std::uint64_t sessions = 1000;
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

// What a worker's line says; the line starts with it:
//   "S index steps checks metamorphic"                        a session passed
//   "F index steps checks metamorphic invariant step message" a session broke an invariant
//   "E"                                                       the batch is done
//   "X message"                                               the worker cannot work
enum class WorkerLineKind : char { Passed = 'S', Failed = 'F', Done = 'E', Unusable = 'X' };

struct WorkerLine {
    WorkerLineKind kind = WorkerLineKind::Done;
    std::uint64_t index = 0;
    std::uint64_t steps = 0;
    std::uint64_t checks = 0;
    bool metamorphic = false;
    std::string invariant;
    std::uint64_t step = 0;
    std::string message;  // one line: ends of line become spaces
};
// Writes `line` to standard output and flushes it, so that the explorer has
// it even when the plugin takes the process down next.
void WriteWorkerLine(const WorkerLine& line);
// Reads a line WriteWorkerLine wrote; false for any other text.
[[nodiscard]] bool ParseWorkerLine(const std::string& text, WorkerLine& out);

// How a worker ended; the command makes the process's exit code of it.
enum class WorkerEnd : std::uint8_t {
    Passed = 0,    // every session kept every invariant
    Broken = 1,    // a session broke one (the last line says which)
    Unusable = 2,  // a file it was given does not read
    NoPlugin = 3,  // the plugin could not be loaded or started
};

WorkerEnd RunSessionWorker(const ExploreOptions& options, const Space& space);
WorkerEnd RunReplayWorker(const ExploreOptions& options);

// The space file a scenario's `invariants:` names: as written when that
// exists, else relative to the scenario file's folder.
std::string ResolveSpacePath(const std::string& invariants, const std::string& scenarioPath);

}  // namespace hpk::host
