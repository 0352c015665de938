// Value arena: the string intern set, the small-object pools carved from
// supplier pages, and the list of blocks too large for any pool.
#include "binding/value_arena.h"

#include <cassert>
#include <cstring>
#include <new>

#include "binding/fnv1a_hash.h"
#include "binding/page_supplier.h"
#include "plugin/allocation_hooks.h"

namespace hpk {

// Slots follow this header in the page; a free slot's first two bytes hold
// the index of the next free slot.
struct BindingValueArena::Page {
    Page* prev;
    Page* next;
    std::uint16_t slotSize;
    std::uint16_t capacity;
    std::uint16_t used;
    std::uint16_t carved;    // slots below this index have been handed out at least once
    std::uint16_t freeHead;  // kNoSlot when the chain is empty
};

namespace {

constexpr std::uint16_t kNoSlot = 0xFFFF;
// Rounded to 8 so that slots whose size is a multiple of 8 are 8-aligned.
constexpr std::size_t kPageHeader = 24;

std::size_t RoundedSize(std::size_t size) { return size == 0 ? 4 : (size + 3) & ~std::size_t{3}; }

struct EmptyEntryStorage {
    BindingInternEntry entry;
    char text[4];
};
EmptyEntryStorage gEmptyEntry = {{nullptr, kFnv1aOffsetBasis, 0, 0}, {0, 0, 0, 0}};

}  // namespace

static_assert(sizeof(BindingInternEntry) == 16, "the text follows the header directly");
static_assert((PageSupplier::kPageSize - kPageHeader) / 4 < kNoSlot, "slot indices fit 16 bits");

std::uint32_t InternHash(std::string_view text) { return Fnv1a32(text); }

BindingValueArena* BindingValueArena::Create() {
    void* memory = hpk::Allocate(sizeof(BindingValueArena));
    if (memory == nullptr) throw std::bad_alloc();
    return new (memory) BindingValueArena();
}

void BindingValueArena::Destroy(BindingValueArena* arena) noexcept {
    if (arena == nullptr) return;
    arena->~BindingValueArena();
    hpk::Free(arena);
}

BindingValueArena::BindingValueArena() {
    static_assert(sizeof(Page) <= kPageHeader, "page header fits its reserved space");
    for (std::size_t i = 0; i < kSizeClasses; ++i) {
        pools_[i] = Pool{nullptr, nullptr, nullptr, static_cast<std::uint16_t>(4 * (i + 1))};
    }
}

BindingValueArena::~BindingValueArena() {
    ReleaseAllLarge();
    for (Pool& pool : pools_) ReleaseAllPages(pool, false);
}

void* BindingValueArena::Allocate(std::size_t size) {
    const std::size_t rounded = RoundedSize(size);
    if (rounded <= kLargestPooledSize) return AllocateSlot(pools_[rounded / 4 - 1]);
    if (rounded > static_cast<std::size_t>(-1) - sizeof(LargeBlock)) throw std::bad_alloc();
    auto* block = static_cast<LargeBlock*>(hpk::Allocate(sizeof(LargeBlock) + rounded));
    if (block == nullptr) throw std::bad_alloc();
    block->prev = nullptr;
    block->next = large_;
    if (large_ != nullptr) large_->prev = block;
    large_ = block;
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
    LargeBlock* block = static_cast<LargeBlock*>(memory) - 1;
    if (block->prev != nullptr) {
        block->prev->next = block->next;
    } else {
        large_ = block->next;
    }
    if (block->next != nullptr) block->next->prev = block->prev;
    --largeCount_;
    hpk::Free(block);
}

void* BindingValueArena::AllocateSlot(Pool& pool) {
    Page* page = pool.partial;
    if (page == nullptr) {
        page = static_cast<Page*>(PageSupplier::Instance().AcquirePage());
        if (page == nullptr) throw std::bad_alloc();
        page->prev = page->next = nullptr;
        page->slotSize = pool.slotSize;
        page->capacity = static_cast<std::uint16_t>((PageSupplier::kPageSize - kPageHeader) / pool.slotSize);
        page->used = page->carved = 0;
        page->freeHead = kNoSlot;
        pool.partial = page;
        if (pool.first == nullptr) pool.first = page;
    }
    unsigned char* slots = reinterpret_cast<unsigned char*>(page) + kPageHeader;
    std::uint16_t index;
    if (page->freeHead != kNoSlot) {
        index = page->freeHead;
        std::memcpy(&page->freeHead, slots + index * page->slotSize, sizeof(std::uint16_t));
    } else {
        index = page->carved++;
    }
    if (++page->used == page->capacity) {
        // Full: move it from the partial list to the full list.
        pool.partial = page->next;
        if (page->next != nullptr) page->next->prev = nullptr;
        page->prev = nullptr;
        page->next = pool.full;
        if (pool.full != nullptr) pool.full->prev = page;
        pool.full = page;
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
    const bool wasFull = page->used == page->capacity;
    --page->used;
    Page*& from = wasFull ? pool.full : pool.partial;
    if (wasFull || (page->used == 0 && page != pool.first)) {
        if (page->prev != nullptr) {
            page->prev->next = page->next;
        } else {
            from = page->next;
        }
        if (page->next != nullptr) page->next->prev = page->prev;
        page->prev = page->next = nullptr;
        if (page->used == 0 && page != pool.first) {
            PageSupplier::Instance().ReturnPage(page);
            return;
        }
        if (wasFull) {
            page->next = pool.partial;
            if (pool.partial != nullptr) pool.partial->prev = page;
            pool.partial = page;
        }
    }
    if (page->used == 0) {
        // The kept first page starts carving afresh, so later slots are packed again.
        page->carved = 0;
        page->freeHead = kNoSlot;
    }
}

void BindingValueArena::ReleaseAllPages(Pool& pool, bool keepFirst) noexcept {
    for (Page* list : {pool.partial, pool.full}) {
        while (list != nullptr) {
            Page* next = list->next;
            if (!(keepFirst && list == pool.first)) PageSupplier::Instance().ReturnPage(list);
            list = next;
        }
    }
    pool.partial = pool.full = nullptr;
    if (keepFirst && pool.first != nullptr) {
        Page* page = pool.first;
        page->prev = page->next = nullptr;
        page->used = page->carved = 0;
        page->freeHead = kNoSlot;
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
    largeCount_ = 0;
}

void BindingValueArena::ResetInternSet() noexcept {
    // The entries and any grown bucket array live in pages or large blocks
    // that are being dropped as a whole; only the inline buckets need clearing.
    for (auto& bucket : initialBuckets_) bucket = nullptr;
    buckets_ = initialBuckets_;
    bucketCount_ = kInitialBuckets;
    internCount_ = 0;
}

void BindingValueArena::Reset() noexcept {
    ReleaseAllLarge();
    ResetInternSet();
    for (Pool& pool : pools_) ReleaseAllPages(pool, true);
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

const BindingInternEntry* BindingValueArena::EmptyText() { return &gEmptyEntry.entry; }

BindingInternEntry* BindingValueArena::FindEntry(std::string_view text, std::uint32_t hash) const {
    for (BindingInternEntry* entry = buckets_[hash & (bucketCount_ - 1)]; entry != nullptr; entry = entry->next) {
        if (entry->hash == hash && entry->length == text.size() &&
            std::memcmp(entry->Text(), text.data(), text.size()) == 0) {
            return entry;
        }
    }
    return nullptr;
}

const BindingInternEntry* BindingValueArena::Intern(std::string_view text) {
    if (text.empty()) return EmptyText();
    const std::uint32_t hash = InternHash(text);
    if (BindingInternEntry* found = FindEntry(text, hash)) {
        ++found->refs;
        return found;
    }
    return InsertEntry(text, hash);
}

const BindingInternEntry* BindingValueArena::Intern(const BindingInternEntry* entry) {
    if (entry->length == 0) return EmptyText();
    if (BindingInternEntry* found = FindEntry(entry->View(), entry->hash)) {
        ++found->refs;
        return found;
    }
    return InsertEntry(entry->View(), entry->hash);
}

const BindingInternEntry* BindingValueArena::InsertEntry(std::string_view text, std::uint32_t hash) {
    if (text.size() > static_cast<std::size_t>(0xFFFFFFF0u) - sizeof(BindingInternEntry)) throw std::bad_alloc();
    if (internCount_ + 1 > bucketCount_) GrowBuckets();  // load factor stays at most 1.0
    auto* entry = static_cast<BindingInternEntry*>(Allocate(sizeof(BindingInternEntry) + text.size() + 1));
    entry->hash = hash;
    entry->refs = 1;
    entry->length = static_cast<std::uint32_t>(text.size());
    char* bytes = reinterpret_cast<char*>(entry + 1);
    std::memcpy(bytes, text.data(), text.size());
    bytes[text.size()] = '\0';
    BindingInternEntry*& bucket = buckets_[hash & (bucketCount_ - 1)];
    entry->next = bucket;
    bucket = entry;
    ++internCount_;
    return entry;
}

void BindingValueArena::GrowBuckets() {
    const std::size_t count = bucketCount_ * 2;
    auto** grown = static_cast<BindingInternEntry**>(Allocate(count * sizeof(BindingInternEntry*)));
    for (std::size_t i = 0; i < count; ++i) grown[i] = nullptr;
    for (std::size_t i = 0; i < bucketCount_; ++i) {
        BindingInternEntry* entry = buckets_[i];
        while (entry != nullptr) {
            BindingInternEntry* next = entry->next;
            BindingInternEntry*& bucket = grown[entry->hash & (count - 1)];
            entry->next = bucket;
            bucket = entry;
            entry = next;
        }
    }
    if (buckets_ != initialBuckets_) {
        Release(buckets_, bucketCount_ * sizeof(BindingInternEntry*));
    } else {
        // Back in use once the set empties: no stale chains may remain.
        for (auto& bucket : initialBuckets_) bucket = nullptr;
    }
    buckets_ = grown;
    bucketCount_ = count;
}

void BindingValueArena::ReleaseText(const BindingInternEntry* text) noexcept {
    if (text == EmptyText() || text == nullptr) return;
    auto* entry = const_cast<BindingInternEntry*>(text);
    assert(entry->refs > 0);
    if (--entry->refs != 0) return;
    BindingInternEntry** link = &buckets_[entry->hash & (bucketCount_ - 1)];
    while (*link != entry) link = &(*link)->next;
    *link = entry->next;
    Release(entry, sizeof(BindingInternEntry) + entry->length + 1);
    if (--internCount_ == 0 && buckets_ != initialBuckets_) {
        Release(buckets_, bucketCount_ * sizeof(BindingInternEntry*));
        buckets_ = initialBuckets_;
        bucketCount_ = kInitialBuckets;
    }
}

std::uint32_t BindingValueArena::InternReferenceCount(std::string_view text) const {
    if (text.empty()) return 0;
    const BindingInternEntry* entry = FindEntry(text, InternHash(text));
    return entry == nullptr ? 0 : entry->refs;
}

}  // namespace hpk
