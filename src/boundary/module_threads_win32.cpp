// The C++ runtime's thread support inside the Windows DLL, on the system's
// slim reader/writer locks and condition variables (linked into the DLL only).
//
// The static C++ runtime and unwinder of mingw-w64's gcc reach threads through
// the POSIX interface of its winpthreads library. Linked into the DLL,
// winpthreads changes the whole client process (a vectored exception handler
// installed at attach), imports thread-control functions the library never
// calls, and creates every lock lazily with malloc on its first use, so that
// taking a lock can fail and the runtime then throws from places that cannot
// be unwound. The library has no threads of its own; what the runtime needs is
// locks, condition variables and one-time initialisation, defined here in the
// types and calling convention of winpthreads' header (every object one
// pointer-sized word) so that the linker takes them instead of the archive.
// None of them allocates and none can fail. Thread-specific keys, which only
// the runtime's thread-exit notifications use (the library asks for none),
// are refused; the runtime's thread-local variables live in the DLL's own
// thread storage (module_thread_storage_win32.cpp).
//
// The function-local statics' guards (__cxa_guard_*) are defined here too, on
// the same primitives: the runtime's own take a lazily created recursive lock.
#include <windows.h>

#include <cerrno>
#include <cstdint>

namespace {

using Word = std::intptr_t;  // pthread_mutex_t and pthread_cond_t
using OnceWord = long;       // pthread_once_t

// A lock or condition word made by winpthreads' static initialisers holds -1;
// mutexes are set up through pthread_mutex_init in this runtime, but a word
// still holding the initialiser is taken as a fresh one. The system's objects
// are zero when idle and otherwise hold flags beside an address in user
// space, never the all-ones pattern.
// winpthreads' initialisers of a checking and of a recursive mutex, kinds this
// runtime does not use: a word holding one is refused.
constexpr Word kStaticInitializer = -1;
constexpr Word kCheckingInitializer = -2;
constexpr Word kRecursiveInitializer = -3;

Word Load(const Word* word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }
void MakeFresh(Word* word) {
    Word expected = kStaticInitializer;
    if (Load(word) == expected) {
        __atomic_compare_exchange_n(word, &expected, 0, false, __ATOMIC_RELAXED, __ATOMIC_RELAXED);
    }
}
SRWLOCK* LockOf(Word* word) {
    MakeFresh(word);
    return reinterpret_cast<SRWLOCK*>(word);
}
CONDITION_VARIABLE* ConditionOf(Word* word) {
    MakeFresh(word);
    return reinterpret_cast<CONDITION_VARIABLE*>(word);
}

// One lock and one condition for every one-time initialisation (pthread_once
// and the statics' guards): held only to change a state, never while an
// initialiser runs, so initialisers may start others.
SRWLOCK gOnceLock = SRWLOCK_INIT;
CONDITION_VARIABLE gOnceChanged = CONDITION_VARIABLE_INIT;

// The states of a one-time initialisation, in its own word (pthread_once) or
// in the first two bytes of a static's guard.
struct OnceState {
    volatile unsigned char* done;  // 1 when finished; read without the lock
    volatile unsigned char* running;
};

// True when the caller is to run the initialisation and then call Finish (or
// Abandon when it threw); false when it has been done.
bool Begin(const OnceState& state) {
    if (__atomic_load_n(state.done, __ATOMIC_ACQUIRE) != 0) return false;
    AcquireSRWLockExclusive(&gOnceLock);
    while (*state.running != 0) SleepConditionVariableSRW(&gOnceChanged, &gOnceLock, INFINITE, 0);
    const bool mine = *state.done == 0;
    if (mine) *state.running = 1;
    ReleaseSRWLockExclusive(&gOnceLock);
    return mine;
}
void End(const OnceState& state, bool finished) {
    AcquireSRWLockExclusive(&gOnceLock);
    *state.running = 0;
    if (finished) __atomic_store_n(state.done, 1, __ATOMIC_RELEASE);
    ReleaseSRWLockExclusive(&gOnceLock);
    WakeAllConditionVariable(&gOnceChanged);
}

OnceState StateOfOnce(OnceWord* word) {
    auto* bytes = reinterpret_cast<volatile unsigned char*>(word);
    return {bytes, bytes + 1};
}
OnceState StateOfGuard(long long* guard) {
    auto* bytes = reinterpret_cast<volatile unsigned char*>(guard);
    return {bytes, bytes + 1};
}

// Leaves the initialisation unfinished when its initialiser throws, so that
// another caller runs it again.
struct AbandonUnlessFinished {
    const OnceState& state;
    bool finished = false;
    ~AbandonUnlessFinished() {
        if (!finished) End(state, false);
    }
};

}  // namespace

extern "C" {

int pthread_mutex_init(Word* mutex, const void* attributes) {
    // Only the default kind: nothing in this runtime asks for another.
    if (attributes != nullptr) return EINVAL;
    *mutex = 0;
    return 0;
}
int pthread_mutex_destroy(Word*) { return 0; }
int pthread_mutex_lock(Word* mutex) {
    const Word value = Load(mutex);
    if (value == kCheckingInitializer || value == kRecursiveInitializer) return EINVAL;
    AcquireSRWLockExclusive(LockOf(mutex));
    return 0;
}
int pthread_mutex_unlock(Word* mutex) {
    ReleaseSRWLockExclusive(LockOf(mutex));
    return 0;
}

int pthread_cond_destroy(Word*) { return 0; }
int pthread_cond_wait(Word* condition, Word* mutex) {
    SleepConditionVariableSRW(ConditionOf(condition), LockOf(mutex), INFINITE, 0);
    return 0;
}
int pthread_cond_signal(Word* condition) {
    if (Load(condition) != kStaticInitializer) WakeConditionVariable(ConditionOf(condition));
    return 0;
}
int pthread_cond_broadcast(Word* condition) {
    if (Load(condition) != kStaticInitializer) WakeAllConditionVariable(ConditionOf(condition));
    return 0;
}

int pthread_once(OnceWord* once, void (*routine)()) {
    const OnceState state = StateOfOnce(once);
    if (!Begin(state)) return 0;
    AbandonUnlessFinished guard{state};
    routine();
    guard.finished = true;
    End(state, true);
    return 0;
}

int pthread_key_create(unsigned* key, void (*)(void*)) {
    *key = ~0u;
    return EAGAIN;
}
int pthread_key_delete(unsigned) { return EINVAL; }
void* pthread_getspecific(unsigned) { return nullptr; }
int pthread_setspecific(unsigned, const void*) { return EINVAL; }

int __cxa_guard_acquire(long long* guard) { return Begin(StateOfGuard(guard)) ? 1 : 0; }
void __cxa_guard_release(long long* guard) { End(StateOfGuard(guard), true); }
void __cxa_guard_abort(long long* guard) { End(StateOfGuard(guard), false); }

}  // extern "C"
