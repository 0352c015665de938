// The process-wide source of the 4096-byte pages that value arenas carve into
// slots. It takes 64 KiB blocks from the operating system and gives each block
// back as soon as all sixteen of its pages have come back.
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
    // `page` must come from AcquirePage. Thread-safe.
    void ReturnPage(void* page) noexcept;

    // Blocks currently taken from the operating system.
    std::size_t BlocksHeld() const noexcept;

private:
    PageSupplier();
    struct State;
    State* state_;
};

}  // namespace hpk
