// The Windows DLL's own copies of the C++ runtime's throwing helpers that its
// headers define inline: the lock-error throwers of <ext/concurrence.h> (under
// the runtime's locks and its emergency exception pool) and std::future_error's
// constructors (under every failing std::promise and std::future operation).
// Same reason as plugin/string_instances.cpp: the runtime's out-of-line copies
// come from gcc objects whose unwind entries lld drops, so an exception thrown
// from them, or from below them while the exception's message is made, cannot
// be unwound and ends the process. The copies compiled here carry their
// unwind entries and come ahead of the runtime's in the link, so the linker
// takes them for every caller. Nothing may be inlined into the functions that
// hold on to them, or no copy would be made: this file is not optimised.
#pragma clang optimize off

#include <ext/concurrence.h>
#include <future>

namespace {

[[gnu::used]] void (*const kLockErrorThrowers[])() = {
    &__gnu_cxx::__throw_concurrence_lock_error,
    &__gnu_cxx::__throw_concurrence_unlock_error,
    &__gnu_cxx::__throw_concurrence_broadcast_error,
    &__gnu_cxx::__throw_concurrence_wait_error,
};

[[gnu::used]] std::future_error MakeFutureError(std::future_errc code) { return std::future_error(code); }

}  // namespace
