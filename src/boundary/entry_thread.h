// Which thread is inside the plugin. The host must make load, init, shutdown,
// the event callbacks and the request dispatch one at a time: the runtime's
// tables and the feature's state have no lock. Each of those entries notes its
// thread in one atomic word for as long as it runs, so that an entry from a
// second thread while another is inside is seen and reported, once per kind
// of entry, instead of corrupting the state in silence. The call then goes on
// as it would have. An entry nested in another on the same thread (an event
// the host delivers from inside a request the plugin made) is normal.
//
// No lock: the plugin must never hold one while it calls the host, and a
// thread that waits inside the host must not block the host's other threads.
// The memory-counters callback may come from any thread and is not noted.
#pragma once
#include <cstdint>

namespace hpk {

enum class BoundaryCall : std::uint8_t { Load = 1, Init = 2, Shutdown = 3, Event = 4, Request = 5 };

// "load", "init", "shutdown", "event callback", "request callback".
const char* BoundaryCallName(BoundaryCall call);

// Told of the first overlapping entry of each kind: the entering call and its
// thread, then the call that was running and its thread. Runs on the entering
// thread, outside any lock of the plugin.
using OverlapReport = void (*)(BoundaryCall entering, std::uint32_t enteringThread, BoundaryCall running,
                               std::uint32_t runningThread);

// Installs the report (null: none) and forgets which kinds were reported, so
// a new plugin reports afresh. The loader calls it before the handshake.
void SetOverlapReport(OverlapReport report) noexcept;

// Notes the calling thread as inside `call` for the object's lifetime.
class BoundaryEntry {
public:
    explicit BoundaryEntry(BoundaryCall call) noexcept;
    ~BoundaryEntry();
    BoundaryEntry(const BoundaryEntry&) = delete;
    BoundaryEntry& operator=(const BoundaryEntry&) = delete;

private:
    std::uint64_t previous_ = 0;  // what the word held before this entry
    bool noted_ = false;          // false when another thread was inside
};

}  // namespace hpk
