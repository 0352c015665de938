#include "boundary/allocation_hooks.h"

#include <gtest/gtest.h>

namespace hpk {
namespace {

TEST(AllocationHooks, AllocationAndFreeBalance) {
    const MemoryCountersRecord before = ReadMemoryCounters();
    void* block = Allocate(100);
    ASSERT_NE(block, nullptr);
    const MemoryCountersRecord mid = ReadMemoryCounters();
    EXPECT_EQ(mid.totalAllocations, before.totalAllocations + 1);
    EXPECT_GE(mid.totalBytesAllocated - before.totalBytesAllocated, 100u);
    Free(block);
    const MemoryCountersRecord after = ReadMemoryCounters();
    EXPECT_EQ(after.totalFrees, before.totalFrees + 1);
    EXPECT_EQ(after.totalBytesFreed - before.totalBytesFreed, mid.totalBytesAllocated - before.totalBytesAllocated);
    EXPECT_EQ(after.zero[0], 0u);
    EXPECT_EQ(after.zero[1], 0u);
}

TEST(AllocationHooks, ReallocCountsFreeEvenWithoutOldBlock) {
    const MemoryCountersRecord before = ReadMemoryCounters();
    void* block = Reallocate(nullptr, 16);
    ASSERT_NE(block, nullptr);
    const MemoryCountersRecord after = ReadMemoryCounters();
    EXPECT_EQ(after.totalFrees, before.totalFrees + 1);
    EXPECT_EQ(after.totalAllocations, before.totalAllocations + 1);
    Free(block);
}

TEST(AllocationHooks, FreeingNullCountsNothing) {
    const MemoryCountersRecord before = ReadMemoryCounters();
    Free(nullptr);
    const MemoryCountersRecord after = ReadMemoryCounters();
    EXPECT_EQ(after.totalFrees, before.totalFrees);
    EXPECT_EQ(after.totalBytesFreed, before.totalBytesFreed);
}

TEST(AllocationHooks, InjectedFailureHitsTheNthAllocation) {
    FailAllocationAfter(2);
    void* first = Allocate(8);
    void* second = Allocate(8);
    void* third = Allocate(8);
    FailAllocationAfter(0);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    Free(first);
    Free(third);
}

}  // namespace
}  // namespace hpk
