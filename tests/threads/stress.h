// What every threaded stress test shares: how many threads, how many rounds,
// and a start line that lets them all go at once.
//
// HPK_STRESS_THREADS sets the thread count (default 4: more threads than the
// machine has cores, so the scheduler interleaves them mid-operation), and
// HPK_STRESS_SCALE the share of the default rounds, in percent (default 100;
// the runs under the race detectors use a few percent). Every loop is bounded
// by these, never by time.
#pragma once
#include <atomic>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

namespace hpk::stress {

inline int EnvNumber(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    const int value = std::atoi(text);
    return value > 0 ? value : fallback;
}

inline int Threads() { return EnvNumber("HPK_STRESS_THREADS", 4); }

// `rounds` scaled by HPK_STRESS_SCALE, at least 1.
inline int Rounds(int rounds) {
    const long long scaled = static_cast<long long>(rounds) * EnvNumber("HPK_STRESS_SCALE", 100) / 100;
    return scaled < 1 ? 1 : static_cast<int>(scaled);
}

// Runs `work(t)` on `count` threads, t = 0..count-1, released together, and
// waits for all of them.
inline void RunThreads(int count, const std::function<void(int)>& work) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < count) std::this_thread::yield();
            work(t);
        });
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace hpk::stress
