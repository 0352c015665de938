// Where the host's parts report what they see: the timeline, and the
// boundary rules the plugin broke. HostCore is the one implementation; the
// parts it owns (the resource store) take this instead of the core.
#pragma once
#include <exception>
#include <string>

#include "host/timeline.h"
#include "text/host_messages.h"

namespace hpk::host {

class HostReports {
public:
    // Records a broken boundary rule (also shown in the timeline).
    virtual void Problem(std::string text) = 0;
    virtual Timeline& Log() = 0;

protected:
    ~HostReports() = default;
};

// Work done for a call from the plugin: nothing thrown may unwind into it.
// Memory is what can run out (tests make the allocator it shares with the
// plugin fail on purpose); the call is then reported instead of recorded.
template <class Work>
inline void GuardedCall(HostReports& reports, Work&& work) noexcept {
    try {
        work();
    } catch (const std::exception&) {
        try {
            reports.Problem(kMsgOutOfMemory);
        } catch (const std::exception&) {
            // Not even the report fits: the call goes unrecorded.
        }
    }
}

}  // namespace hpk::host
