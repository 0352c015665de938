// Value arena: the small-object pools carved from supplier pages, the list of
// blocks too large for any pool, and the arena kept aside for reuse. The
// intern set is in intern_set.cpp.
#include "binding/value_arena.h"

#include <atomic>
#include <cassert>
#include <cstring>
#include <new>

#include "binding/page_supplier.h"
#include "boundary/allocation_hooks.h"
#include "platform/race_annotations.h"

namespace hpk {

namespace {

std::size_t RoundedSize(std::size_t size) { return size == 0 ? 4 : (size + 3) & ~std::size_t{3}; }

// The arena's lists (pages of a pool, large blocks, spans) are doubly linked
// through `prev` and `next`, with `head` the first.
template <class T>
void PushFront(T*& head, T* item) noexcept {
    item->prev = nullptr;
    item->next = head;
    if (head != nullptr) head->prev = item;
    head = item;
}
template <class T>
void Unlink(T*& head, T* item) noexcept {
    if (item->prev != nullptr) {
        item->prev->next = item->next;
    } else {
        head = item->next;
    }
    if (item->next != nullptr) item->next->prev = item->prev;
    item->prev = item->next = nullptr;
}

// Slot sizes of the middling pools: multiples of 8, each about a third wider
// than the one before, so a part wastes at most a quarter of its slot.
constexpr std::uint16_t kMidSlotSizes[BindingValueArena::kMidClasses] = {96,  128, 168, 224, 296,
                                                                          400, 520, 680, 904, 1352};
static_assert(kMidSlotSizes[BindingValueArena::kMidClasses - 1] == BindingValueArena::kLargestMidSize,
              "the widest class is the largest middling size");

// The pool index of a rounded size above the small classes, up to kLargestMidSize.
std::size_t MidPool(std::size_t rounded) {
    std::size_t i = 0;
    while (kMidSlotSizes[i] < rounded) ++i;
    return BindingValueArena::kSizeClasses + i;
}

// The arena kept aside by Destroy for the next Create. Exchanged atomically:
// trees of different threads may come and go at the same time.
std::atomic<BindingValueArena*> gSpareArena{nullptr};
// Set while the library unloads: a static tree destroyed after that must not
// park its arena where nothing would free it again.
std::atomic<bool> gSpareClosed{false};
struct SpareCloser {
    ~SpareCloser() {
        gSpareClosed.store(true);
        BindingValueArena::ReleaseSpare();
    }
} gSpareCloser;
}  // namespace

// Where the arena object starts in its home page: as far back as it fits.
constexpr std::size_t HomeOffset() { return (PageSupplier::kPageSize - sizeof(BindingValueArena)) & ~std::size_t{7}; }

BindingValueArena* BindingValueArena::Create() {
    if (gSpareArena.load(std::memory_order_relaxed) != nullptr) {
        if (BindingValueArena* spare = gSpareArena.exchange(nullptr, std::memory_order_acquire)) {
            HPK_HAPPENS_AFTER(&gSpareArena);
            return spare;
        }
    }
    void* home = nullptr;
    if (PageSupplier::Instance().AcquirePages(&home, 1) == 0) throw std::bad_alloc();
    return new (static_cast<unsigned char*>(home) + HomeOffset()) BindingValueArena(home);
}

void BindingValueArena::Destroy(BindingValueArena* arena) noexcept {
    if (arena == nullptr) return;
    if (gSpareArena.load(std::memory_order_relaxed) == nullptr && !gSpareClosed.load(std::memory_order_relaxed)) {
        arena->Recycle();
        HPK_HAPPENS_BEFORE(&gSpareArena);
        BindingValueArena* expected = nullptr;
        if (gSpareArena.compare_exchange_strong(expected, arena, std::memory_order_release,
                                                std::memory_order_relaxed)) {
            return;
        }
    }
    arena->~BindingValueArena();  // gives back every page, the home page with the object itself
}

void BindingValueArena::ReleaseSpare() noexcept {
    BindingValueArena* spare = gSpareArena.exchange(nullptr, std::memory_order_acquire);
    if (spare == nullptr) return;
    HPK_HAPPENS_AFTER(&gSpareArena);
    spare->~BindingValueArena();
}

std::size_t BindingValueArena::SpareCount() noexcept {
    return gSpareArena.load(std::memory_order_acquire) == nullptr ? 0 : 1;
}

void BindingValueArena::Recycle() noexcept {
    ReleaseAllLarge();
    ResetInternSet();
    ReturnPages(true, true);
}

BindingValueArena::BindingValueArena(void* homePage) {
    static_assert(sizeof(Page) <= kPageHeader, "page header fits its reserved space");
    static_assert((PageSupplier::kPageSize - kPageHeader) / 4 < kNoSlot, "slot indices fit 16 bits");
    static_assert((PageSupplier::kPageSize - kPageHeader) / kLargestMidSize >= 2, "a page's carve limit is not 0");
    static_assert(HomeOffset() >= kPageHeader + 32 * 4 * (kHomePool + 1), "the home page keeps room for its pool");
    for (std::size_t i = 0; i < kSizeClasses; ++i) {
        pools_[i] = Pool{nullptr, nullptr, nullptr, static_cast<std::uint16_t>(4 * (i + 1))};
    }
    for (std::size_t i = 0; i < kMidClasses; ++i) pools_[kSizeClasses + i] = Pool{nullptr, nullptr, nullptr, kMidSlotSizes[i]};
    Pool& pool = pools_[kHomePool];
    auto* page = static_cast<Page*>(homePage);
    page->prev = page->next = nullptr;
    page->slotSize = pool.slotSize;
    page->capacity = static_cast<std::uint16_t>((HomeOffset() - kPageHeader) / pool.slotSize);
    StartCarving(page);
    pool.partial = pool.first = page;
    poolsUsed_ |= 1u << kHomePool;
}

BindingValueArena::~BindingValueArena() {
    ReleaseAllLarge();
    ReturnPages(false);
}

void BindingValueArena::ReturnPages(bool keepFirst, bool keepStash) noexcept {
    // One chain, one lock: a small tree holds a page per size class it used.
    void* chain = nullptr;
    // Only pools that ever had a page can hold one.
    for (std::uint32_t used = poolsUsed_; used != 0; used &= used - 1) {
        const unsigned index = static_cast<unsigned>(__builtin_ctz(used));
        ReleaseAllPages(pools_[index], keepFirst && index < kSizeClasses, chain);
    }
    if (!keepFirst) poolsUsed_ = 0;
    while (!keepStash && stash_ != nullptr) {
        Page* page = stash_;
        stash_ = page->next;
        *reinterpret_cast<void**>(page) = chain;
        chain = page;
    }
    if (chain != nullptr) PageSupplier::Instance().ReturnPageChain(chain);
}

void* BindingValueArena::TakePage() {
    if (stash_ != nullptr) {
        Page* page = stash_;
        stash_ = page->next;
        return page;
    }
    void* pages[kMaxBatch];
    const std::size_t taken = PageSupplier::Instance().AcquirePages(pages, batch_);
    if (taken == 0) throw std::bad_alloc();
    for (std::size_t i = taken - 1; i > 0; --i) {
        auto* page = static_cast<Page*>(pages[i]);
        page->next = stash_;
        stash_ = page;
    }
    if (batch_ < kMaxBatch) batch_ = static_cast<std::uint8_t>(batch_ * 2);
    return pages[0];
}

void* BindingValueArena::AllocateOther(std::size_t size) {
    const std::size_t rounded = RoundedSize(size);
    if (rounded <= kLargestPooledSize) return AllocateSlot(pools_[rounded / 4 - 1]);
    if (rounded <= kLargestMidSize) return AllocateSlot(pools_[MidPool(rounded)]);
    if (rounded >= kSpanThreshold) return AllocateSpan(rounded);
    if (rounded > static_cast<std::size_t>(-1) - sizeof(LargeBlock)) throw std::bad_alloc();
    auto* block = static_cast<LargeBlock*>(hpk::Allocate(sizeof(LargeBlock) + rounded));
    if (block == nullptr) throw std::bad_alloc();
    PushFront(large_, block);
    ++largeCount_;
    return block + 1;
}

void BindingValueArena::Release(void* memory, std::size_t size) noexcept {
    if (memory == nullptr) return;
    const std::size_t rounded = RoundedSize(size);
    if (rounded <= kLargestPooledSize) {
        ReleaseSlot(pools_[rounded / 4 - 1], memory);
        return;
    }
    if (rounded <= kLargestMidSize) {
        ReleaseSlot(pools_[MidPool(rounded)], memory);
        return;
    }
    if (rounded >= kSpanThreshold) {
        ReleaseSpan(memory);
        return;
    }
    LargeBlock* block = static_cast<LargeBlock*>(memory) - 1;
    Unlink(large_, block);
    --largeCount_;
    hpk::Free(block);
}

void* BindingValueArena::AllocateSpan(std::size_t size) {
    auto* span = static_cast<Span*>(Allocate(sizeof(Span)));
    void* memory = PageSupplier::Instance().AcquireSpan(size);
    if (memory == nullptr) {
        Release(span, sizeof(Span));
        throw std::bad_alloc();
    }
    *span = Span{nullptr, nullptr, memory, size};
    PushFront(spans_, span);
    ++largeCount_;
    return memory;
}

void BindingValueArena::ReleaseSpan(void* memory) noexcept {
    // A tree holds few spans at a time: the longest lists of a document.
    for (Span* span = spans_; span != nullptr; span = span->next) {
        if (span->memory == memory) {
            ReleaseSpan(span);
            return;
        }
    }
    assert(!"a span this arena did not hand out");
}

void BindingValueArena::ReleaseSpan(Span* span) noexcept {
    Unlink(spans_, span);
    --largeCount_;
    PageSupplier::Instance().ReturnSpan(span->memory, span->size);
    Release(span, sizeof(Span));
}

void* BindingValueArena::AllocateSlot(Pool& pool) {
    Page* page = pool.partial;
    if (page == nullptr) {
        page = static_cast<Page*>(TakePage());
        page->prev = page->next = nullptr;
        page->slotSize = pool.slotSize;
        page->capacity = static_cast<std::uint16_t>((PageSupplier::kPageSize - kPageHeader) / pool.slotSize);
        StartCarving(page);
        pool.partial = page;
        if (pool.first == nullptr) {
            pool.first = page;
            poolsUsed_ |= 1u << (&pool - pools_);
        }
    }
    unsigned char* slots = reinterpret_cast<unsigned char*>(page) + kPageHeader;
    std::uint16_t index;
    if (page->freeHead != kNoSlot) {
        index = page->freeHead;
        std::memcpy(&page->freeHead, slots + index * page->slotSize, sizeof(std::uint16_t));
        if (page->freeHead == kNoSlot) page->carveLimit = static_cast<std::uint16_t>(page->capacity - 1);
    } else {
        index = page->carved++;
    }
    if (++page->used == page->capacity) {
        // Full: move it from the partial list to the full list.
        Unlink(pool.partial, page);
        PushFront(pool.full, page);
    }
    return slots + index * page->slotSize;
}

void BindingValueArena::ReleaseSlot(Pool& pool, void* slot) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(slot);
    Page* page = reinterpret_cast<Page*>(address & ~static_cast<std::uintptr_t>(PageSupplier::kPageSize - 1));
    assert(page->slotSize == pool.slotSize);
    unsigned char* slots = reinterpret_cast<unsigned char*>(page) + kPageHeader;
    const auto index = static_cast<std::uint16_t>((static_cast<unsigned char*>(slot) - slots) / page->slotSize);
    std::memcpy(slot, &page->freeHead, sizeof(std::uint16_t));
    page->freeHead = index;
    page->carveLimit = 0;  // freed slots go first
    const bool wasFull = page->used == page->capacity;
    --page->used;
    Page*& from = wasFull ? pool.full : pool.partial;
    if (wasFull || (page->used == 0 && page != pool.first)) {
        Unlink(from, page);
        if (page->used == 0 && page != pool.first) {
            PageSupplier::Instance().ReturnPage(page);
            return;
        }
        if (wasFull) PushFront(pool.partial, page);
    }
    if (page->used == 0) StartCarving(page);  // the kept first page: later slots are packed again
}

void BindingValueArena::ReleaseAllPages(Pool& pool, bool keepFirst, void*& chain) noexcept {
    for (Page* list : {pool.partial, pool.full}) {
        while (list != nullptr) {
            Page* next = list->next;
            if (!(keepFirst && list == pool.first)) {
                *reinterpret_cast<void**>(list) = chain;
                chain = list;
            }
            list = next;
        }
    }
    pool.partial = pool.full = nullptr;
    if (keepFirst && pool.first != nullptr) {
        Page* page = pool.first;
        page->prev = page->next = nullptr;
        StartCarving(page);
        pool.partial = page;
    } else {
        pool.first = nullptr;
    }
}

void BindingValueArena::ReleaseAllLarge() noexcept {
    while (large_ != nullptr) {
        LargeBlock* next = large_->next;
        hpk::Free(large_);
        large_ = next;
    }
    while (spans_ != nullptr) ReleaseSpan(spans_);
    largeCount_ = 0;
}

void BindingValueArena::Reset() noexcept {
    ReleaseAllLarge();
    ResetInternSet();
    ReturnPages(true);
}

std::size_t BindingValueArena::PagesHeld() const {
    std::size_t count = 0;
    for (const Pool& pool : pools_) {
        for (const Page* list : {pool.partial, pool.full}) {
            for (; list != nullptr; list = list->next) ++count;
        }
    }
    return count;
}

}  // namespace hpk
