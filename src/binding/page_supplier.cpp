// Page supplier: 64 KiB blocks from the operating system, handed out page by
// page under one lock.
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
};

PageSupplier::PageSupplier() : state_(new State) {}

PageSupplier& PageSupplier::Instance() {
    // Deliberately never destroyed: a static value's arena may return its pages
    // during static destruction, in any order relative to this object.
    static PageSupplier* const supplier = new PageSupplier;
    return *supplier;
}

void* PageSupplier::AcquirePage() noexcept {
    platform::LockGuard guard(state_->lock);
    State::Block* block = state_->withFree;
    if (block == nullptr) {
        void* base = platform::ReservePages(kBlockSize);
        if (base == nullptr) return nullptr;
        try {
            auto inserted = state_->blocks.emplace(reinterpret_cast<std::uintptr_t>(base), State::Block{});
            block = &inserted.first->second;
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
        state_->LinkWithFree(*block);
    }
    const std::uint8_t index = block->freePages[--block->freeCount];
    if (block->freeCount == 0) state_->UnlinkWithFree(*block);
    return static_cast<unsigned char*>(block->base) + index * kPageSize;
}

void PageSupplier::ReturnPage(void* page) noexcept {
    if (page == nullptr) return;
    const auto address = reinterpret_cast<std::uintptr_t>(page);
    const std::uintptr_t base = address & ~static_cast<std::uintptr_t>(kBlockSize - 1);
    platform::LockGuard guard(state_->lock);
    auto found = state_->blocks.find(base);
    if (found == state_->blocks.end()) return;  // not ours: ignoring beats corrupting the free stacks
    State::Block& block = found->second;
    if (block.freeCount == 0) state_->LinkWithFree(block);
    block.freePages[block.freeCount++] = static_cast<std::uint8_t>((address - base) / kPageSize);
    if (block.freeCount == kPagesPerBlock) {
        state_->UnlinkWithFree(block);
        platform::ReleasePages(block.base, kBlockSize);
        state_->blocks.erase(found);
    }
}

std::size_t PageSupplier::BlocksHeld() const noexcept {
    platform::LockGuard guard(state_->lock);
    return state_->blocks.size();
}

}  // namespace hpk
