// The process-wide source of the 4096-byte pages that value arenas carve into
// slots. It takes 64 KiB blocks from the operating system and keeps blocks
// whose sixteen pages have all come back aside for reuse, within bounds (see
// SpareBlocks), until ReleaseSpare.
#pragma once
#include <cstddef>

namespace hpk {

class PageSupplier {
public:
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kBlockSize = 64 * 1024;
    static constexpr std::size_t kPagesPerBlock = kBlockSize / kPageSize;
    // At most this many fully returned blocks are kept (8 MiB).
    static constexpr std::size_t kMaxSpareBlocks = 128;
    // Spare blocks that no acquisition touched during this many returns of
    // a page chain (each the end of an arena's tree) go back to the system.
    static constexpr std::size_t kIdleChainReturns = 16;

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

    // A run of whole blocks holding at least `size` bytes, aligned to
    // kBlockSize, with unspecified content: for parts far larger than a page
    // (the element array of a long list). Null when the operating system
    // refuses. Thread-safe.
    void* AcquireSpan(std::size_t size) noexcept;
    // `span` must come from AcquireSpan with the same `size`. Kept for an
    // acquisition of the same size, like a fully returned block. Thread-safe.
    void ReturnSpan(void* span, std::size_t size) noexcept;

    // Blocks taken from the operating system that have pages handed out.
    std::size_t BlocksHeld() const noexcept;
    // Fully returned blocks kept for the next acquisitions, with the blocks
    // of returned spans: at most kMaxSpareBlocks. A tree that is built and dropped over and over (one
    // per request, event or document) would otherwise map and unmap its
    // blocks, and fault their pages in again, every time: the blocks of the
    // largest tree lately dropped stay, so the next tree of that size maps
    // nothing. Blocks that stay unused through kIdleChainReturns chain
    // returns go back to the system.
    std::size_t SpareBlocks() const noexcept;
    // Spans taken and not returned.
    std::size_t SpansHeld() const noexcept;
    // Gives every spare block and span back to the operating system, and
    // keeps none until the next acquisition; the plugin's shutdown calls it so
    // that nothing stays mapped after the host unloads us, even what trees
    // dropped after the shutdown give back.
    void ReleaseSpare() noexcept;

private:
    PageSupplier();
    struct State;
    State* state_;
};

}  // namespace hpk
