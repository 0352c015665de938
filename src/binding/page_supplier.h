// The process-wide source of the 4096-byte pages that value arenas carve into
// slots. It takes 64 KiB blocks from the operating system and gives a block
// back once all sixteen of its pages have come back, keeping at most one such
// block aside (see SpareBlocks).
#pragma once
#include <cstddef>

namespace hpk {

class PageSupplier {
public:
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kBlockSize = 64 * 1024;
    static constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;

    // Created on first use, never destroyed (arenas of static values may
    // outlive any other static object).
    static PageSupplier& Instance();

    // A read-write page aligned to kPageSize with unspecified content, or
    // null when the operating system refuses a new block. Thread-safe.
    void* AcquirePage() noexcept;
    // Up to `count` pages under one lock, written to `pages`; returns how
    // many (fewer only when the operating system refuses a new block, and
    // then at least none). Thread-safe.
    std::size_t AcquirePages(void** pages, std::size_t count) noexcept;
    // `page` must come from AcquirePage(s). Thread-safe.
    void ReturnPage(void* page) noexcept;
    // Returns a chain of pages under one lock: each page's first word links
    // to the next, null ends the chain. Thread-safe.
    void ReturnPageChain(void* first) noexcept;

    // Blocks taken from the operating system that have pages handed out.
    std::size_t BlocksHeld() const noexcept;
    // Fully returned blocks kept for the next acquisition: 0 or 1. A tree
    // that is built and dropped over and over (one per request or event)
    // would otherwise map and unmap a block, and fault its pages in again,
    // every time.
    std::size_t SpareBlocks() const noexcept;
    // Gives the spare block back to the operating system; the plugin's
    // shutdown calls it so that nothing stays mapped after the host unloads us.
    void ReleaseSpare() noexcept;

private:
    PageSupplier();
    struct State;
    State* state_;
};

}  // namespace hpk
