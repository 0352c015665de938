// The allocation counters under threads that allocate and free at once: the
// totals add up to what each thread counted, and every reading taken meanwhile
// is a state the counters were in (nothing freed that was not allocated, the
// peak covering what is live, nothing falling).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "boundary/allocation_hooks.h"
#include "stress.h"

namespace hpk {
namespace {

struct Tally {
    std::uint64_t bytesAllocated = 0;
    std::uint64_t allocations = 0;
    std::uint64_t bytesFreed = 0;
    std::uint64_t frees = 0;
    std::uint64_t held = 0;
    std::uint64_t mostHeld = 0;  // the most this thread ever held at once

    void Allocated(void* block) {
        const std::uint64_t size = BlockSize(block);
        bytesAllocated += size;
        ++allocations;
        held += size;
        mostHeld = std::max(mostHeld, held);
    }
    void Freeing(void* block) {
        const std::uint64_t size = BlockSize(block);
        bytesFreed += size;
        ++frees;
        held -= size;
    }
};

// What is wrong with `now`, read after `before`, or "".
std::string Inconsistency(const MemoryCountersRecord& before, const MemoryCountersRecord& now) {
    if (now.totalFrees > now.totalAllocations) return "more frees than allocations";
    if (now.totalBytesFreed > now.totalBytesAllocated) return "more bytes freed than allocated";
    if (now.peakLiveBytes < now.totalBytesAllocated - now.totalBytesFreed) return "live bytes above the peak";
    if (now.peakLiveBytes < before.peakLiveBytes) return "the peak fell";
    if (now.totalAllocations < before.totalAllocations || now.totalFrees < before.totalFrees ||
        now.totalBytesAllocated < before.totalBytesAllocated || now.totalBytesFreed < before.totalBytesFreed) {
        return "a total fell";
    }
    if (now.zero[0] != 0 || now.zero[1] != 0) return "the trailing words are not zero";
    return {};
}

TEST(CountersStress, TotalsAddUpAndEveryReadingIsAState) {
    const int threads = stress::Threads();
    const int rounds = stress::Rounds(6000);
    const MemoryCountersRecord start = ReadMemoryCounters();
    const std::int64_t liveAtStart = LiveBytes();
    std::vector<Tally> tallies(static_cast<std::size_t>(threads));
    std::atomic<int> working{threads};
    std::atomic<std::uint64_t> readings{0};
    std::string readerFailure;

    stress::RunThreads(threads + 1, [&](int t) {
        if (t == threads) {
            // The reader: reads until the others are done, and once more after.
            MemoryCountersRecord previous = ReadMemoryCounters();
            bool last = false;
            while (readerFailure.empty() && !last) {
                last = working.load() == 0;
                const MemoryCountersRecord now = ReadMemoryCounters();
                readerFailure = Inconsistency(previous, now);
                previous = now;
                readings.fetch_add(1);
                std::this_thread::yield();
            }
            return;
        }
        struct Done {
            std::atomic<int>& working;
            ~Done() { working.fetch_sub(1); }  // also when an assertion ends the thread early
        } done{working};
        Tally& tally = tallies[static_cast<std::size_t>(t)];
        std::uint32_t seed = 2654435761u * static_cast<std::uint32_t>(t + 1);
        std::vector<void*> held;
        for (int round = 0; round < rounds; ++round) {
            seed = seed * 1664525u + 1013904223u;
            // Mostly small blocks, now and then one far larger than everything
            // the thread holds: a free of it counted between another thread's
            // two reads of the counters shows at once.
            const std::size_t size = (seed >> 28) == 0 ? 48 * 1024 + (seed & 0xfff) : 1 + ((seed >> 8) & 0x1ff);
            // Not Reallocate(nullptr, ...): it counts a free of nothing, and
            // then the frees may lawfully outnumber the allocations.
            void* block = nullptr;
            if ((seed >> 4) % 3 == 0) {
                const std::string text(size % 64, 'x');
                block = DuplicateString(text.c_str());
            } else {
                block = Allocate(size);
            }
            ASSERT_NE(block, nullptr);
            tally.Allocated(block);
            held.push_back(block);
            if (held.size() > 2 && (seed & 0x100) != 0) {
                // Grow one block in place or by moving it: a free and an allocation.
                void*& grown = held[seed % held.size()];
                tally.Freeing(grown);
                grown = Reallocate(grown, BlockSize(grown) + 64);
                ASSERT_NE(grown, nullptr);
                tally.Allocated(grown);
            }
            while (held.size() > 8 || (!held.empty() && (seed & 0x3000) != 0)) {
                tally.Freeing(held.back());
                Free(held.back());
                held.pop_back();
            }
        }
        for (void* block : held) {
            tally.Freeing(block);
            Free(block);
        }
    });

    EXPECT_EQ(readerFailure, "") << "after " << readings.load() << " readings";
    Tally sum;
    std::uint64_t mostHeldTogether = 0;
    for (const Tally& tally : tallies) {
        sum.bytesAllocated += tally.bytesAllocated;
        sum.allocations += tally.allocations;
        sum.bytesFreed += tally.bytesFreed;
        sum.frees += tally.frees;
        mostHeldTogether += tally.mostHeld;
    }
    const MemoryCountersRecord end = ReadMemoryCounters();
    EXPECT_EQ(end.totalBytesAllocated - start.totalBytesAllocated, sum.bytesAllocated);
    EXPECT_EQ(end.totalAllocations - start.totalAllocations, sum.allocations);
    EXPECT_EQ(end.totalBytesFreed - start.totalBytesFreed, sum.bytesFreed);
    EXPECT_EQ(end.totalFrees - start.totalFrees, sum.frees);
    EXPECT_EQ(LiveBytes(), liveAtStart);
    // The peak can have risen only to what the threads held at most, together.
    EXPECT_LE(end.peakLiveBytes,
              std::max<std::uint64_t>(start.peakLiveBytes, static_cast<std::uint64_t>(liveAtStart) + mostHeldTogether));
}

// Threads that each free at once what they allocate keep almost nothing
// live: a free counted between another thread's allocation and its reading of
// the counters must not make that reading's live bytes negative, which the
// peak would keep for ever.
TEST(CountersStress, ThePeakStaysWithinWhatWasLive) {
    const int threads = stress::Threads();
    const int rounds = stress::Rounds(20000);
    const MemoryCountersRecord start = ReadMemoryCounters();
    const std::int64_t liveAtStart = LiveBytes();
    std::vector<std::uint64_t> largest(static_cast<std::size_t>(threads), 0);
    stress::RunThreads(threads, [&](int t) {
        for (int round = 0; round < rounds; ++round) {
            void* block = Allocate(static_cast<std::size_t>(1000 + 8 * t + round % 64));
            ASSERT_NE(block, nullptr);
            largest[static_cast<std::size_t>(t)] = std::max<std::uint64_t>(largest[static_cast<std::size_t>(t)], BlockSize(block));
            Free(block);
        }
    });
    std::uint64_t together = static_cast<std::uint64_t>(liveAtStart);
    for (std::uint64_t size : largest) together += size;
    const MemoryCountersRecord end = ReadMemoryCounters();
    EXPECT_LE(end.peakLiveBytes, std::max(start.peakLiveBytes, together));
    EXPECT_EQ(LiveBytes(), liveAtStart);
}

}  // namespace
}  // namespace hpk
