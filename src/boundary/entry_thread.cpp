// The word that says which thread is inside the plugin, and in which call.
#include "boundary/entry_thread.h"

#include <atomic>

#include "boundary/boundary_messages.h"
#include "platform/platform.h"

namespace hpk {
namespace {

// Thread id in the low half, the call in the high half; 0 while nobody is inside
// (no thread has id 0).
std::atomic<std::uint64_t> gInside{0};
// One bit per kind of entering call already reported.
std::atomic<std::uint32_t> gReported{0};
std::atomic<OverlapReport> gReport{nullptr};

constexpr std::uint64_t Note(std::uint32_t thread, BoundaryCall call) {
    return thread | static_cast<std::uint64_t>(call) << 32;
}
constexpr std::uint32_t ThreadOf(std::uint64_t note) { return static_cast<std::uint32_t>(note); }
constexpr BoundaryCall CallOf(std::uint64_t note) { return static_cast<BoundaryCall>(note >> 32); }

}  // namespace

const char* BoundaryCallName(BoundaryCall call) {
    switch (call) {
    case BoundaryCall::Load:
        return kCallLoad;
    case BoundaryCall::Init:
        return kCallInit;
    case BoundaryCall::Shutdown:
        return kCallShutdown;
    case BoundaryCall::Event:
        return kCallEvent;
    case BoundaryCall::Request:
        return kCallRequest;
    }
    return "";
}

void SetOverlapReport(OverlapReport report) noexcept {
    gReport.store(report);
    gReported.store(0);
}

BoundaryEntry::BoundaryEntry(BoundaryCall call) noexcept {
    const std::uint32_t me = platform::CurrentThreadId();
    std::uint64_t inside = gInside.load();
    while (inside == 0) {
        if (gInside.compare_exchange_weak(inside, Note(me, call))) {
            noted_ = true;
            return;
        }
    }
    if (ThreadOf(inside) == me) {
        // Nested: only this thread changes the word while it names this thread.
        previous_ = inside;
        gInside.store(Note(me, call));
        noted_ = true;
        return;
    }
    const std::uint32_t bit = 1u << static_cast<unsigned>(call);
    if ((gReported.fetch_or(bit) & bit) != 0) return;
    if (OverlapReport report = gReport.load()) report(call, me, CallOf(inside), ThreadOf(inside));
}

BoundaryEntry::~BoundaryEntry() {
    if (noted_) gInside.store(previous_);
}

}  // namespace hpk
