// The one guard of every extern "C" shim the host calls: nothing thrown inside
// the library may cross into the host. A leaf header like the allocation hooks,
// so the router's request callback uses it too.
#pragma once
#include <exception>
#include <new>

#include "boundary/boundary_messages.h"

namespace hpk {

// Runs `work()`. When it throws, `onFailure(error)` runs instead of the rest of
// it, with `error` the escaped std::exception, or null when what escaped was not
// one, and the call returns false. `onFailure` turns the failure into the
// slot's documented failure value; whatever it throws is not caught here.
template <class OnFailure, class Work>
bool GuardedCall(OnFailure&& onFailure, Work&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& error) {
        onFailure(&error);
    } catch (...) {
        onFailure(nullptr);
    }
    return false;
}

// The failure text the plugin's log lines give for an escaped exception:
// running out of memory and a throw of something else have fixed words, so a
// runtime's own bad_alloc text never reaches the log.
inline const char* FailureText(const std::exception* error) noexcept {
    if (error == nullptr) return kFailureUnknown;
    if (dynamic_cast<const std::bad_alloc*>(error) != nullptr) return kFailureOutOfMemory;
    return error->what();
}

}  // namespace hpk
