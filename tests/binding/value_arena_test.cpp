// The value arena's intern set and pools, and the page supplier behind them.
#include "binding/value_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "binding/binding_value.h"
#include "binding/page_supplier.h"
#include "boundary/allocation_hooks.h"

namespace hpk {
namespace {

struct ArenaDeleter {
    void operator()(BindingValueArena* arena) const { BindingValueArena::Destroy(arena); }
};
using ArenaPtr = std::unique_ptr<BindingValueArena, ArenaDeleter>;
// A fresh arena, not the one kept aside for reuse (which holds pages already).
ArenaPtr NewArena() {
    BindingValueArena::ReleaseSpare();
    return ArenaPtr(BindingValueArena::Create());
}

TEST(ValueArena, InternHashIsFnv1aUpToTheFirstNul) {
    const struct {
        std::string_view text;
        std::uint32_t hash;
    } rows[] = {
        {"", 0x811c9dc5u},
        {"a", 0xe40c292cu},
        {"foobar", 0xbf9cf968u},
        {std::string_view("foobar\0tail", 11), 0xbf9cf968u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.text));
        EXPECT_EQ(InternHash(row.text), row.hash);
    }
}

TEST(ValueArena, InterningCountsReferencesAndRemovesAtZero) {
    ArenaPtr arena = NewArena();
    const BindingInternEntry* first = arena->Intern("text");
    const BindingInternEntry* second = arena->Intern(std::string("text"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->View(), "text");
    EXPECT_EQ(first->Text()[4], '\0');
    EXPECT_EQ(arena->InternedCount(), 1u);
    EXPECT_EQ(arena->InternReferenceCount("text"), 2u);
    arena->ReleaseText(first);
    EXPECT_EQ(arena->InternReferenceCount("text"), 1u);
    arena->ReleaseText(second);
    EXPECT_EQ(arena->InternReferenceCount("text"), 0u);
    EXPECT_EQ(arena->InternedCount(), 0u);
}

TEST(ValueArena, TextsDifferingAfterANulAreDistinct) {
    ArenaPtr arena = NewArena();
    const BindingInternEntry* a = arena->Intern(std::string_view("x\0a", 3));
    const BindingInternEntry* b = arena->Intern(std::string_view("x\0b", 3));
    const BindingInternEntry* plain = arena->Intern("x");
    EXPECT_NE(a, b);
    EXPECT_NE(a, plain);
    EXPECT_EQ(a->hash, plain->hash);
    EXPECT_EQ(arena->InternedCount(), 3u);
}

TEST(ValueArena, TheEmptyTextIsNeverInterned) {
    ArenaPtr arena = NewArena();
    const BindingInternEntry* empty = arena->Intern("");
    EXPECT_EQ(empty, BindingValueArena::EmptyText());
    EXPECT_EQ(empty->length, 0u);
    EXPECT_STREQ(empty->Text(), "");
    EXPECT_EQ(arena->InternedCount(), 0u);
    EXPECT_EQ(arena->InternReferenceCount(""), 0u);
    arena->ReleaseText(empty);
    EXPECT_EQ(arena->Intern(empty), empty);
    EXPECT_EQ(arena->InternedCount(), 0u);
}

TEST(ValueArena, BucketsGrowAtLoadFactorOneAndShrinkWhenEmpty) {
    ArenaPtr arena = NewArena();
    EXPECT_EQ(arena->InternBucketCount(), 8u);
    std::vector<const BindingInternEntry*> entries;
    const struct {
        std::size_t entries;
        std::size_t buckets;
    } rows[] = {{8, 8}, {9, 64}, {64, 64}, {65, 128}, {129, 256}};  // 8, then the 64 inline ones, then doubling
    for (const auto& row : rows) {
        SCOPED_TRACE(row.entries);
        while (entries.size() < row.entries) entries.push_back(arena->Intern("t" + std::to_string(entries.size())));
        EXPECT_EQ(arena->InternedCount(), row.entries);
        EXPECT_EQ(arena->InternBucketCount(), row.buckets);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(arena->InternReferenceCount("t" + std::to_string(i)), 1u);
    }
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) arena->ReleaseText(entries[i]);
    EXPECT_EQ(arena->InternBucketCount(), 256u);  // only emptiness shrinks the set
    arena->ReleaseText(entries.back());
    EXPECT_EQ(arena->InternBucketCount(), 8u);
    EXPECT_EQ(arena->Intern("again")->refs, 1u);
}

TEST(ValueArena, InterningFromAnotherArenaCopiesTheText) {
    ArenaPtr one = NewArena();
    ArenaPtr two = NewArena();
    const BindingInternEntry* source = one->Intern("shared text");
    const BindingInternEntry* copy = two->Intern(source);
    EXPECT_NE(copy, source);
    EXPECT_EQ(copy->View(), "shared text");
    EXPECT_EQ(copy->hash, source->hash);
    EXPECT_EQ(two->Intern("shared text"), copy);
    EXPECT_EQ(two->InternReferenceCount("shared text"), 2u);
}

TEST(ValueArena, EverySizeClassHandsOutDistinctAlignedSlots) {
    ArenaPtr arena = NewArena();
    std::vector<std::size_t> sizes;
    for (std::size_t size = 1; size <= BindingValueArena::kLargestPooledSize; ++size) sizes.push_back(size);
    // The middling classes: the edges of each, and a size in between.
    for (std::size_t size : {73, 96, 97, 128, 129, 200, 296, 297, 500, 600, 700, 904, 905, 1352}) sizes.push_back(size);
    for (std::size_t size : sizes) {
        SCOPED_TRACE(size);
        std::set<std::uintptr_t> seen;
        std::vector<void*> blocks;
        for (int i = 0; i < 300; ++i) {
            void* block = arena->Allocate(size);
            const auto address = reinterpret_cast<std::uintptr_t>(block);
            EXPECT_EQ(address % 4, 0u);
            if ((size + 3) / 4 * 4 % 8 == 0 || size > BindingValueArena::kLargestPooledSize) {
                EXPECT_EQ(address % 8, 0u);
            }
            // A slot never straddles its page, nor reaches the arena object
            // at the end of its home page.
            EXPECT_EQ(address / PageSupplier::kPageSize, (address + size - 1) / PageSupplier::kPageSize);
            const auto object = reinterpret_cast<std::uintptr_t>(arena.get());
            EXPECT_TRUE(address + size <= object || address >= object + sizeof(BindingValueArena));
            std::memset(block, 0xAB, size);
            EXPECT_TRUE(seen.insert(address).second);
            blocks.push_back(block);
        }
        for (void* block : blocks) arena->Release(block, size);
    }
    // Each pool's first page stays while the arena lives.
    EXPECT_EQ(arena->PagesHeld(), BindingValueArena::kSizeClasses + BindingValueArena::kMidClasses);
    arena->Reset();  // only the small pools keep theirs
    EXPECT_EQ(arena->PagesHeld(), BindingValueArena::kSizeClasses);
}

TEST(ValueArena, AFreedSlotIsTakenBeforeNewOnesAndPagesNeverOverfill) {
    ArenaPtr arena = NewArena();
    std::set<void*> live;
    // Every round frees a slot handed out before another (so its page keeps
    // one and stays) and asks again, across several pages: the freed slot
    // comes back, and no slot leaves its page.
    for (int i = 0; i < 1000; ++i) {
        void* freed = arena->Allocate(24);
        void* kept = arena->Allocate(24);
        arena->Release(freed, 24);
        ASSERT_EQ(arena->Allocate(24), freed);
        for (void* block : {kept, freed}) {
            const auto address = reinterpret_cast<std::uintptr_t>(block);
            ASSERT_TRUE(live.insert(block).second);
            ASSERT_EQ(address / PageSupplier::kPageSize, (address + 23) / PageSupplier::kPageSize);
        }
    }
}

TEST(ValueArena, EmptiedPagesGoBackExceptEachPoolsFirst) {
    ArenaPtr arena = NewArena();
    std::vector<void*> blocks;
    // 40-byte slots: about a hundred per page, so 500 need several pages.
    for (int i = 0; i < 500; ++i) blocks.push_back(arena->Allocate(40));
    const std::size_t used = arena->PagesHeld();
    EXPECT_GE(used, 5u);
    // Free in an interleaved order so pages move between the full and partial lists.
    for (std::size_t i = 0; i < blocks.size(); i += 2) arena->Release(blocks[i], 40);
    EXPECT_EQ(arena->PagesHeld(), used);
    for (std::size_t i = 0; i < blocks.size(); i += 2) blocks[i] = arena->Allocate(40);
    EXPECT_EQ(arena->PagesHeld(), used);  // freed slots are reused before new pages
    for (void* block : blocks) arena->Release(block, 40);
    EXPECT_EQ(arena->PagesHeld(), 2u);  // the 40-byte pool's first page and the arena's home page
}

TEST(ValueArena, LargeBlocksAreCountedAndFreedWithTheArena) {
    const std::int64_t liveBefore = LiveBytes();
    {
        ArenaPtr arena = NewArena();
        void* small = arena->Allocate(BindingValueArena::kLargestPooledSize);
        EXPECT_EQ(arena->LargeBlockCount(), 0u);
        void* middling = arena->Allocate(BindingValueArena::kLargestMidSize);
        EXPECT_EQ(arena->LargeBlockCount(), 0u);
        void* big = arena->Allocate(BindingValueArena::kLargestMidSize + 1);
        std::memset(big, 1, BindingValueArena::kLargestMidSize + 1);
        EXPECT_EQ(arena->LargeBlockCount(), 1u);
        arena->Release(big, BindingValueArena::kLargestMidSize + 1);
        EXPECT_EQ(arena->LargeBlockCount(), 0u);
        arena->Release(small, BindingValueArena::kLargestPooledSize);
        arena->Release(middling, BindingValueArena::kLargestMidSize);
        for (int i = 0; i < 10; ++i) arena->Allocate(2000);  // left for the arena to free
        EXPECT_EQ(arena->LargeBlockCount(), 10u);
    }
    EXPECT_EQ(LiveBytes(), liveBefore);
}

TEST(ValueArena, TheLargestPartsTakeSupplierSpansKeptForTheNextTree) {
    PageSupplier& supplier = PageSupplier::Instance();
    supplier.ReleaseSpare();
    const std::size_t spansBefore = supplier.SpansHeld();
    const std::size_t size = BindingValueArena::kSpanThreshold;
    void* first = nullptr;
    {
        ArenaPtr arena = NewArena();
        const std::int64_t liveBefore = LiveBytes();
        first = arena->Allocate(size);
        std::memset(first, 0xAB, size);
        void* second = arena->Allocate(size);  // left for the arena to give back
        EXPECT_NE(second, first);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % PageSupplier::kBlockSize, 0u);
        EXPECT_EQ(arena->LargeBlockCount(), 2u);
        EXPECT_EQ(supplier.SpansHeld(), spansBefore + 2);
        EXPECT_EQ(LiveBytes(), liveBefore);  // pages, not the counted heap
        arena->Release(first, size);
        EXPECT_EQ(arena->LargeBlockCount(), 1u);
        EXPECT_EQ(supplier.SpansHeld(), spansBefore + 1);
        EXPECT_EQ(arena->Allocate(size), first);  // the same span again, nothing mapped
    }
    EXPECT_EQ(supplier.SpansHeld(), spansBefore);
    EXPECT_GE(supplier.SpareBlocks(), 2 * size / PageSupplier::kBlockSize);
    supplier.ReleaseSpare();
    EXPECT_EQ(supplier.SpareBlocks(), 0u);
}

TEST(ValueArena, ResetDropsEverythingButFirstPages) {
    ArenaPtr arena = NewArena();
    for (int i = 0; i < 1000; ++i) {
        arena->Intern("text number " + std::to_string(i));
        arena->Allocate(16);
        arena->Allocate(500);
    }
    arena->Reset();
    EXPECT_EQ(arena->InternedCount(), 0u);
    EXPECT_EQ(arena->InternBucketCount(), 8u);
    EXPECT_EQ(arena->LargeBlockCount(), 0u);
    EXPECT_LE(arena->PagesHeld(), BindingValueArena::kSizeClasses);
    EXPECT_EQ(arena->Intern("after")->refs, 1u);
}

TEST(PageSupplier, BlocksGoBackWhenAllSixteenPagesReturn) {
    PageSupplier& supplier = PageSupplier::Instance();
    const std::size_t blocksBefore = supplier.BlocksHeld();
    std::vector<void*> pages;
    std::set<std::uintptr_t> blocks;
    for (std::size_t i = 0; i < 2 * PageSupplier::kPagesPerBlock + 1; ++i) {
        void* page = supplier.AcquirePage();
        ASSERT_NE(page, nullptr);
        const auto address = reinterpret_cast<std::uintptr_t>(page);
        EXPECT_EQ(address % PageSupplier::kPageSize, 0u);
        std::memset(page, 0x5A, PageSupplier::kPageSize);
        pages.push_back(page);
        blocks.insert(address & ~(PageSupplier::kBlockSize - 1));
    }
    EXPECT_GE(blocks.size(), 2u);
    EXPECT_GE(supplier.BlocksHeld(), blocksBefore + 2);
    EXPECT_EQ(std::set<void*>(pages.begin(), pages.end()).size(), pages.size());
    for (void* page : pages) supplier.ReturnPage(page);
    EXPECT_EQ(supplier.BlocksHeld(), blocksBefore);
}

TEST(PageSupplier, ServesTreesOnSeveralThreadsAtOnce) {
    BindingValueArena::ReleaseSpare();
    const std::size_t blocksBefore = PageSupplier::Instance().BlocksHeld();
    auto work = [] {
        for (int round = 0; round < 20; ++round) {
            BindingValue value;
            for (int i = 0; i < 300; ++i) value.Member("k" + std::to_string(i)).Append().SetString("v");
            EXPECT_EQ(value.Size(), 300u);
        }
    };
    std::thread a(work);
    std::thread b(work);
    work();
    a.join();
    b.join();
    EXPECT_EQ(BindingValueArena::SpareCount(), 1u);  // one of the threads' arenas, kept for the next tree
    BindingValueArena::ReleaseSpare();
    EXPECT_EQ(PageSupplier::Instance().BlocksHeld(), blocksBefore);
}

TEST(ValueArena, WordWiseHashMatchesTheByteWiseDefinition) {
    // Every length around the word size and across the switch to the long
    // text path, with a NUL at every position and none.
    std::string text;
    for (int i = 0; i < 80; ++i) text.push_back(static_cast<char>('A' + (i * 7) % 57));
    for (std::size_t length = 0; length <= text.size(); ++length) {
        for (std::size_t nul = 0; nul <= length; ++nul) {
            std::string row = text.substr(0, length);
            if (nul < length) row[nul] = '\0';
            SCOPED_TRACE(std::to_string(length) + " bytes, NUL at " + std::to_string(nul));
            std::uint32_t expected = 0x811c9dc5u;
            for (char c : row) {
                if (c == '\0') break;
                expected = (expected ^ static_cast<unsigned char>(c)) * 16777619u;
            }
            EXPECT_EQ(InternHash(row), expected);
        }
    }
}

TEST(ValueArena, TextsSeenLatelyAreFoundAgainAndForgottenWhenRemoved) {
    ArenaPtr arena = NewArena();
    // Many texts sharing length and end bytes, so they compete for the same
    // recent slots: each must still resolve to its own entry.
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) texts.push_back("k" + std::to_string(1000 + i) + "z");
    std::vector<const BindingInternEntry*> entries;
    for (const std::string& text : texts) entries.push_back(arena->Intern(text));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_EQ(arena->Intern(texts[i]), entries[i]);
        EXPECT_EQ(arena->InternReferenceCount(texts[i]), 2u);
    }
    EXPECT_EQ(arena->InternedCount(), texts.size());
    // A removed entry is never handed out again: the text comes back as a fresh one.
    const BindingInternEntry* last = arena->Intern("gone");
    arena->ReleaseText(last);
    EXPECT_EQ(arena->InternReferenceCount("gone"), 0u);
    const BindingInternEntry* again = arena->Intern("gone");
    EXPECT_EQ(again->refs, 1u);
    EXPECT_EQ(again->View(), "gone");
    EXPECT_EQ(arena->InternedCount(), texts.size() + 1);
}

TEST(ValueArena, AnEmptiedArenaIsReusedByTheNextTreeAndStartsClean) {
    BindingValueArena::ReleaseSpare();
    const BindingValueArena* used = nullptr;
    {
        BindingValue first;
        for (int i = 0; i < 200; ++i) first.Member("name" + std::to_string(i)).SetString("value");
        used = first.Arena();
        EXPECT_GT(used->InternedCount(), 64u);
    }
    EXPECT_EQ(BindingValueArena::SpareCount(), 1u);
    BindingValue second;
    second.Member("name7").SetString("value");
    // The same arena, with nothing of the first tree left: no stale names,
    // counts or buckets.
    EXPECT_EQ(second.Arena(), used);
    EXPECT_EQ(BindingValueArena::SpareCount(), 0u);
    EXPECT_EQ(second.Arena()->InternedCount(), 2u);
    EXPECT_EQ(second.Arena()->InternBucketCount(), 8u);
    EXPECT_EQ(second.Arena()->InternReferenceCount("name7"), 1u);
    EXPECT_EQ(second.Arena()->InternReferenceCount("name8"), 0u);
    EXPECT_EQ(second.Arena()->LargeBlockCount(), 0u);
    EXPECT_EQ(second.Size(), 1u);
}

// Pages of `count` whole blocks of their own (more pages than partly used
// blocks can have free), returned as one chain through their first words.
std::vector<void*> TakeBlocks(PageSupplier& supplier, std::size_t count) {
    std::vector<void*> pages((count + 1) * PageSupplier::kPagesPerBlock);
    EXPECT_EQ(supplier.AcquirePages(pages.data(), pages.size()), pages.size());
    return pages;
}
void ReturnAsChain(PageSupplier& supplier, std::vector<void*>& pages) {
    for (std::size_t i = 0; i + 1 < pages.size(); ++i) *static_cast<void**>(pages[i]) = pages[i + 1];
    *static_cast<void**>(pages.back()) = nullptr;
    supplier.ReturnPageChain(pages.front());
    pages.clear();
}

TEST(PageSupplier, KeepsFullyReturnedBlocksForTheNextTreeOfTheSameSize) {
    PageSupplier& supplier = PageSupplier::Instance();
    BindingValueArena::ReleaseSpare();
    supplier.ReleaseSpare();
    const std::size_t blocksBefore = supplier.BlocksHeld();
    auto mapped = [&] { return supplier.BlocksHeld() + supplier.SpareBlocks(); };

    // Built, dropped and built again: the second build maps nothing new.
    std::vector<void*> pages = TakeBlocks(supplier, 6);
    const std::size_t mappedForOne = mapped();
    ReturnAsChain(supplier, pages);
    EXPECT_EQ(supplier.BlocksHeld(), blocksBefore);
    EXPECT_GE(supplier.SpareBlocks(), 6u);
    pages = TakeBlocks(supplier, 6);
    EXPECT_EQ(mapped(), mappedForOne);
    ReturnAsChain(supplier, pages);

    // Spares no tree needed through kIdleChainReturns tree ends go back: here
    // each tree takes one page, so one block stays. Twice the count holds one
    // whole count of such ends, wherever the supplier's count stood.
    for (std::size_t i = 0; i < 2 * PageSupplier::kIdleChainReturns; ++i) {
        void* page = supplier.AcquirePage();
        ASSERT_NE(page, nullptr);
        *static_cast<void**>(page) = nullptr;
        supplier.ReturnPageChain(page);
    }
    EXPECT_EQ(supplier.BlocksHeld(), blocksBefore);
    EXPECT_LE(supplier.SpareBlocks(), 1u);

    // However large the tree, at most kMaxSpareBlocks stay.
    pages = TakeBlocks(supplier, PageSupplier::kMaxSpareBlocks + 2);
    ReturnAsChain(supplier, pages);
    EXPECT_EQ(supplier.SpareBlocks(), PageSupplier::kMaxSpareBlocks);

    // The plugin's shutdown gives every one back, and what comes back after
    // it too, until the next tree.
    pages = TakeBlocks(supplier, 2);
    supplier.ReleaseSpare();
    EXPECT_EQ(supplier.SpareBlocks(), 0u);
    ReturnAsChain(supplier, pages);
    EXPECT_EQ(supplier.SpareBlocks(), 0u);
    EXPECT_EQ(supplier.BlocksHeld(), blocksBefore);
}

}  // namespace
}  // namespace hpk
