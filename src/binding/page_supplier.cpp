// Page supplier: 64 KiB blocks from the operating system, handed out page by
// page under one lock, and kept for reuse once fully returned.
#include "binding/page_supplier.h"

#include <cstdint>
#include <map>
#include <new>

#include "platform/platform.h"

namespace hpk {

struct PageSupplier::State {
    struct Block {
        void* base;
        Block* prevWithFree;  // list of blocks that have a free page
        Block* nextWithFree;
        std::uint8_t freeCount;
        std::uint8_t freePages[kPagesPerBlock];  // stack of free page indices
    };

    platform::RecursiveLock lock;
    // Blocks are 64 KiB aligned, so a page finds its block by masking its
    // address; the map turns that base into the block's bookkeeping.
    std::map<std::uintptr_t, Block> blocks;
    Block* withFree = nullptr;
    // Blocks whose pages have all come back, kept off the withFree list so
    // that partly used blocks are filled first. Last returned first out: its
    // pages are the likeliest to be in the cache still. Linked through
    // nextWithFree.
    Block* spare = nullptr;
    std::size_t spareCount = 0;
    // The fewest spare blocks there were since the idle count last started:
    // that many were not needed by anything in the meantime.
    std::size_t spareLow = 0;
    std::size_t chainReturns = 0;

    // Returned spans, last returned first, with their link and size in their
    // own first bytes while they wait.
    struct SpareSpan {
        SpareSpan* next;
        std::size_t blocks;
        bool idle;  // not taken since the idle count last started
    };
    SpareSpan* spareSpans = nullptr;
    std::size_t spareSpanBlocks = 0;
    std::size_t spansHeld = 0;

    std::size_t SpareTotal() const { return spareCount + spareSpanBlocks; }
    // Cleared by ReleaseSpare, set by the next acquisition: what comes back
    // between the plugin's shutdown and the library's unload (trees dropped
    // late) goes straight back to the system instead of staying mapped.
    bool keeping = true;
    bool MayKeep(std::size_t blocks) const { return keeping && SpareTotal() + blocks <= kMaxSpareBlocks; }

    void LinkWithFree(Block& block) {
        block.prevWithFree = nullptr;
        block.nextWithFree = withFree;
        if (withFree != nullptr) withFree->prevWithFree = &block;
        withFree = &block;
    }
    void UnlinkWithFree(Block& block) {
        if (block.prevWithFree != nullptr) {
            block.prevWithFree->nextWithFree = block.nextWithFree;
        } else {
            withFree = block.nextWithFree;
        }
        if (block.nextWithFree != nullptr) block.nextWithFree->prevWithFree = block.prevWithFree;
        block.prevWithFree = block.nextWithFree = nullptr;
    }

    // A block with a free page, or null when the operating system refuses one.
    Block* BlockWithFree() {
        keeping = true;
        if (withFree != nullptr) return withFree;
        if (spare != nullptr) {
            Block* block = spare;
            spare = block->nextWithFree;
            if (--spareCount < spareLow) spareLow = spareCount;
            LinkWithFree(*block);
            return block;
        }
        void* base = platform::ReservePages(kBlockSize);
        if (base == nullptr) return nullptr;
        Block* block;
        try {
            block = &blocks.emplace(reinterpret_cast<std::uintptr_t>(base), Block{}).first->second;
        } catch (const std::bad_alloc&) {
            platform::ReleasePages(base, kBlockSize);
            return nullptr;
        }
        block->base = base;
        block->freeCount = kPagesPerBlock;
        // Hand out pages from the low end first.
        for (std::size_t i = 0; i < kPagesPerBlock; ++i) {
            block->freePages[i] = static_cast<std::uint8_t>(kPagesPerBlock - 1 - i);
        }
        LinkWithFree(*block);
        return block;
    }

    void* TakePage() {
        Block* block = BlockWithFree();
        if (block == nullptr) return nullptr;
        const std::uint8_t index = block->freePages[--block->freeCount];
        if (block->freeCount == 0) UnlinkWithFree(*block);
        return static_cast<unsigned char*>(block->base) + index * kPageSize;
    }

    // `cached` remembers the last block found, since pages given back together
    // mostly share one.
    void PutPage(void* page, Block*& cached) {
        const auto address = reinterpret_cast<std::uintptr_t>(page);
        const std::uintptr_t base = address & ~static_cast<std::uintptr_t>(kBlockSize - 1);
        Block* block = cached;
        if (block == nullptr || reinterpret_cast<std::uintptr_t>(block->base) != base) {
            auto found = blocks.find(base);
            if (found == blocks.end()) return;  // not ours: ignoring beats corrupting the free stacks
            block = &found->second;
        }
        if (block->freeCount == 0) LinkWithFree(*block);
        block->freePages[block->freeCount++] = static_cast<std::uint8_t>((address - base) / kPageSize);
        cached = block;
        if (block->freeCount < kPagesPerBlock) return;
        UnlinkWithFree(*block);
        if (MayKeep(1)) {
            block->nextWithFree = spare;
            spare = block;
            ++spareCount;
            return;
        }
        cached = nullptr;
        Unmap(*block);
    }

    void Unmap(Block& block) {
        const auto base = reinterpret_cast<std::uintptr_t>(block.base);
        platform::ReleasePages(block.base, kBlockSize);
        blocks.erase(base);
    }

    // Unmaps the `count` spare blocks returned longest ago.
    void ReleaseSpares(std::size_t count) {
        Block** link = &spare;
        for (std::size_t keep = spareCount - count; keep > 0; --keep) link = &(*link)->nextWithFree;
        while (*link != nullptr) {
            Block* block = *link;
            *link = block->nextWithFree;
            Unmap(*block);
        }
        spareCount -= count;
        spareLow = spareCount;
    }

    // Unmaps every spare span, or only those not taken lately.
    void ReleaseSpans(bool onlyIdle) {
        for (SpareSpan** link = &spareSpans; *link != nullptr;) {
            SpareSpan* span = *link;
            if (onlyIdle && !span->idle) {
                span->idle = true;
                link = &span->next;
                continue;
            }
            *link = span->next;
            spareSpanBlocks -= span->blocks;
            platform::ReleasePages(span, span->blocks * kBlockSize);
        }
    }

    // A chain return ends a tree. Spare blocks and spans that lay unused
    // through the last kIdleChainReturns of them belonged to a larger tree
    // than the recent ones: those go back.
    void CountChainReturn() {
        if (++chainReturns < kIdleChainReturns) return;
        chainReturns = 0;
        if (spareLow > 0) ReleaseSpares(spareLow);
        spareLow = spareCount;
        ReleaseSpans(true);
    }
};

// The supplier and its state live in static storage rather than on the heap:
// they last as long as the library, and a heap block would show in the
// counters as kept after the last shutdown. One supplier per process.
PageSupplier::PageSupplier() {
    alignas(State) static unsigned char storage[sizeof(State)];
    state_ = new (storage) State;
}

PageSupplier& PageSupplier::Instance() {
    // Deliberately never destroyed: a static value's arena may return its pages
    // during static destruction, in any order relative to this object.
    alignas(PageSupplier) static unsigned char storage[sizeof(PageSupplier)];
    static PageSupplier* const supplier = new (storage) PageSupplier;
    return *supplier;
}

void* PageSupplier::AcquirePage() noexcept {
    platform::LockGuard guard(state_->lock);
    return state_->TakePage();
}

std::size_t PageSupplier::AcquirePages(void** pages, std::size_t count) noexcept {
    platform::LockGuard guard(state_->lock);
    std::size_t taken = 0;
    while (taken < count) {
        void* page = state_->TakePage();
        if (page == nullptr) break;
        pages[taken++] = page;
    }
    return taken;
}

void PageSupplier::ReturnPage(void* page) noexcept {
    if (page == nullptr) return;
    platform::LockGuard guard(state_->lock);
    State::Block* cached = nullptr;
    state_->PutPage(page, cached);
}

void PageSupplier::ReturnPageChain(void* first) noexcept {
    if (first == nullptr) return;
    platform::LockGuard guard(state_->lock);
    State::Block* cached = nullptr;
    while (first != nullptr) {
        void* next = *static_cast<void**>(first);
        state_->PutPage(first, cached);
        first = next;
    }
    state_->CountChainReturn();
}

void* PageSupplier::AcquireSpan(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - kBlockSize) return nullptr;
    const std::size_t blocks = (size + kBlockSize - 1) / kBlockSize;
    {
        platform::LockGuard guard(state_->lock);
        state_->keeping = true;
        for (State::SpareSpan** link = &state_->spareSpans; *link != nullptr; link = &(*link)->next) {
            State::SpareSpan* span = *link;
            if (span->blocks != blocks) continue;
            *link = span->next;
            state_->spareSpanBlocks -= blocks;
            ++state_->spansHeld;
            return span;
        }
    }
    // Mapped outside the lock: other threads' pages need not wait for it.
    void* span = platform::ReservePages(blocks * kBlockSize);
    if (span == nullptr) return nullptr;
    platform::LockGuard guard(state_->lock);
    ++state_->spansHeld;
    return span;
}

void PageSupplier::ReturnSpan(void* span, std::size_t size) noexcept {
    if (span == nullptr) return;
    const std::size_t blocks = (size + kBlockSize - 1) / kBlockSize;
    platform::LockGuard guard(state_->lock);
    --state_->spansHeld;
    if (!state_->MayKeep(blocks)) {
        platform::ReleasePages(span, blocks * kBlockSize);
        return;
    }
    auto* spare = static_cast<State::SpareSpan*>(span);
    *spare = State::SpareSpan{state_->spareSpans, blocks, false};
    state_->spareSpans = spare;
    state_->spareSpanBlocks += blocks;
}

std::size_t PageSupplier::SpansHeld() const noexcept {
    platform::LockGuard guard(state_->lock);
    return state_->spansHeld;
}

std::size_t PageSupplier::BlocksHeld() const noexcept {
    platform::LockGuard guard(state_->lock);
    return state_->blocks.size() - state_->spareCount;
}

std::size_t PageSupplier::SpareBlocks() const noexcept {
    platform::LockGuard guard(state_->lock);
    return state_->SpareTotal();
}

void PageSupplier::ReleaseSpare() noexcept {
    platform::LockGuard guard(state_->lock);
    state_->ReleaseSpares(state_->spareCount);
    state_->ReleaseSpans(false);
    state_->keeping = false;
}

}  // namespace hpk
