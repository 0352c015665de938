// Value arena: the string intern set, the small-object pools carved from
// supplier pages, and the list of blocks too large for any pool.
#include "binding/value_arena.h"

#include <atomic>
#include <cassert>
#include <cstring>
#include <new>

#include "binding/fnv1a_hash.h"
#include "binding/page_supplier.h"
#include "plugin/allocation_hooks.h"

namespace hpk {

namespace {

// A plain library call: an inlined clear of a table this size is a
// store per word.
[[gnu::noipa]] void ClearBytes(void* at, std::size_t size) { std::memset(at, 0, size); }

std::size_t RoundedSize(std::size_t size) { return size == 0 ? 4 : (size + 3) & ~std::size_t{3}; }

inline std::uint32_t Load32(const unsigned char* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Up to this length a text is hashed in words with a NUL test per word;
// beyond it the end is found first (see InternHash).
constexpr std::size_t kShortText = 32;

struct EmptyEntryStorage {
    BindingInternEntry entry;
    char text[4];
};
EmptyEntryStorage gEmptyEntry = {{nullptr, kFnv1aOffsetBasis, 0, 0, 0}, {0, 0, 0, 0}};

}  // namespace

static_assert(sizeof(BindingInternEntry) == 20, "the text follows the header directly");

namespace {

// A long text (a mapping, a message): find the end once with the library's
// wide scan, then hash without a test per byte. That is three instructions a
// byte (load, xor, multiply) instead of six. Kept apart so that the short
// path keeps its small frame.
[[gnu::noinline]] std::uint32_t LongTextHash(const unsigned char* p, std::size_t left) {
    if (const void* nul = std::memchr(p, 0, left)) {
        left = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    }
    std::uint32_t hash = kFnv1aOffsetBasis;
    for (; left >= 8; left -= 8, p += 8) {
        hash = (hash ^ p[0]) * kFnv1aPrime;
        hash = (hash ^ p[1]) * kFnv1aPrime;
        hash = (hash ^ p[2]) * kFnv1aPrime;
        hash = (hash ^ p[3]) * kFnv1aPrime;
        hash = (hash ^ p[4]) * kFnv1aPrime;
        hash = (hash ^ p[5]) * kFnv1aPrime;
        hash = (hash ^ p[6]) * kFnv1aPrime;
        hash = (hash ^ p[7]) * kFnv1aPrime;
    }
    for (; left > 0; --left, ++p) hash = (hash ^ *p) * kFnv1aPrime;
    return hash;
}

// The body of InternHash, inlined where a text is interned.
inline std::uint32_t HashText(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t left = text.size();
    if (left > kShortText) return LongTextHash(p, left);
    std::uint32_t hash = kFnv1aOffsetBasis;
    // Short texts (names) cost less without the library call. Whole words
    // while none of their bytes is NUL (the classic test: a byte is zero
    // exactly when subtracting one borrows into its top bit while its own top
    // bit was clear). Little-endian: the first byte is the low one.
    for (; left >= 4; left -= 4, p += 4) {
        const std::uint32_t word = Load32(p);
        if (((word - 0x01010101u) & ~word & 0x80808080u) != 0) break;
        hash = (hash ^ (word & 0xFFu)) * kFnv1aPrime;
        hash = (hash ^ ((word >> 8) & 0xFFu)) * kFnv1aPrime;
        hash = (hash ^ ((word >> 16) & 0xFFu)) * kFnv1aPrime;
        hash = (hash ^ (word >> 24)) * kFnv1aPrime;
    }
    for (; left > 0 && *p != 0; --left, ++p) hash = (hash ^ *p) * kFnv1aPrime;
    return hash;
}

}  // namespace

std::uint32_t InternHash(std::string_view text) { return HashText(text); }

namespace {
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
constexpr std::size_t HomeOffset() {
    return (PageSupplier::kPageSize - sizeof(BindingValueArena)) & ~std::size_t{7};
}

BindingValueArena* BindingValueArena::Create() {
    if (gSpareArena.load(std::memory_order_relaxed) != nullptr) {
        if (BindingValueArena* spare = gSpareArena.exchange(nullptr, std::memory_order_acquire)) return spare;
    }
    void* home = nullptr;
    if (PageSupplier::Instance().AcquirePages(&home, 1) == 0) throw std::bad_alloc();
    return new (static_cast<unsigned char*>(home) + HomeOffset()) BindingValueArena(home);
}

void BindingValueArena::Destroy(BindingValueArena* arena) noexcept {
    if (arena == nullptr) return;
    if (gSpareArena.load(std::memory_order_relaxed) == nullptr && !gSpareClosed.load(std::memory_order_relaxed)) {
        arena->Recycle();
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
    spare->~BindingValueArena();
}

std::size_t BindingValueArena::SpareCount() noexcept {
    return gSpareArena.load(std::memory_order_acquire) == nullptr ? 0 : 1;
}

void BindingValueArena::Recycle() noexcept {
    ReleaseAllLarge();
    ResetInternSet();
    void* chain = nullptr;
    for (std::uint32_t used = poolsUsed_; used != 0; used &= used - 1) {
        ReleaseAllPages(pools_[__builtin_ctz(used)], true, chain);
    }
    if (chain != nullptr) PageSupplier::Instance().ReturnPageChain(chain);
}

BindingValueArena::BindingValueArena(void* homePage) {
    static_assert(sizeof(Page) <= kPageHeader, "page header fits its reserved space");
    static_assert((PageSupplier::kPageSize - kPageHeader) / 4 < kNoSlot, "slot indices fit 16 bits");
    static_assert(HomeOffset() >= kPageHeader + 32 * 4 * (kHomePool + 1), "the home page keeps room for its pool");
    for (std::size_t i = 0; i < kSizeClasses; ++i) {
        pools_[i] = Pool{nullptr, nullptr, nullptr, static_cast<std::uint16_t>(4 * (i + 1))};
    }
    Pool& pool = pools_[kHomePool];
    auto* page = static_cast<Page*>(homePage);
    page->prev = page->next = nullptr;
    page->slotSize = pool.slotSize;
    page->capacity = static_cast<std::uint16_t>((HomeOffset() - kPageHeader) / pool.slotSize);
    page->used = page->carved = 0;
    page->freeHead = kNoSlot;
    pool.partial = pool.first = page;
    poolsUsed_ |= 1u << kHomePool;
}

BindingValueArena::~BindingValueArena() {
    ReleaseAllLarge();
    ReturnPages(false);
}

void BindingValueArena::ReturnPages(bool keepFirst) noexcept {
    // One chain, one lock: a small tree holds a page per size class it used.
    void* chain = nullptr;
    // Only pools that ever had a page can hold one.
    for (std::uint32_t used = poolsUsed_; used != 0; used &= used - 1) {
        ReleaseAllPages(pools_[__builtin_ctz(used)], keepFirst, chain);
    }
    if (!keepFirst) poolsUsed_ = 0;
    while (stash_ != nullptr) {
        Page* page = stash_;
        stash_ = page->next;
        *reinterpret_cast<void**>(page) = chain;
        chain = page;
    }
    PageSupplier::Instance().ReturnPageChain(chain);
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
        page = static_cast<Page*>(TakePage());
        page->prev = page->next = nullptr;
        page->slotSize = pool.slotSize;
        page->capacity = static_cast<std::uint16_t>((PageSupplier::kPageSize - kPageHeader) / pool.slotSize);
        page->used = page->carved = 0;
        page->freeHead = kNoSlot;
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
    // that are being dropped as a whole; only the inline buckets in use need
    // clearing (a grown array left them clear).
    if (buckets_ == initialBuckets_) {
        for (std::size_t i = 0; i < bucketCount_; ++i) initialBuckets_[i] = nullptr;
    }
    if (dirtyCount_ <= kDirtyLimit) {
        for (std::uint32_t i = 0; i < dirtyCount_; ++i) recent_[dirty_[i]] = nullptr;
    } else {
        ClearBytes(recent_, sizeof recent_);
    }
    dirtyCount_ = 0;
    buckets_ = initialBuckets_;
    bucketCount_ = kInitialBuckets;
    internCount_ = 0;
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

const BindingInternEntry* BindingValueArena::EmptyText() { return &gEmptyEntry.entry; }

// Inlined into the interning paths: a text is looked up and inserted once per
// distinct content of a document.
[[gnu::always_inline]] inline BindingInternEntry* BindingValueArena::FindEntry(std::string_view text,
                                                                             std::uint32_t hash) const {
    for (BindingInternEntry* entry = buckets_[hash & (bucketCount_ - 1)]; entry != nullptr; entry = entry->next) {
        if (entry->hash == hash && entry->length == text.size() && SameBytes(entry->Text(), text.data(), text.size())) {
            return entry;
        }
    }
    return nullptr;
}

const BindingInternEntry* BindingValueArena::InternAfresh(std::string_view text,
                                                          const BindingInternEntry*& recent) {
    const std::uint32_t hash = HashText(text);
    if (BindingInternEntry* found = FindEntry(text, hash)) {
        ++found->refs;
        NoteRecent(recent, found);
        return found;
    }
    const BindingInternEntry* inserted = InsertEntry(text, hash);
    NoteRecent(recent, inserted);
    return inserted;
}

const BindingInternEntry* BindingValueArena::Intern(const BindingInternEntry* entry) {
    if (entry->length == 0) return EmptyText();
    if (BindingInternEntry* found = FindEntry(entry->View(), entry->hash)) {
        ++found->refs;
        return found;
    }
    const BindingInternEntry* inserted = InsertEntry(entry->View(), entry->hash);
    NoteRecent(RecentSlot(inserted->Text(), inserted->length, kKeySlots), inserted);
    return inserted;
}

[[gnu::always_inline]] inline const BindingInternEntry* BindingValueArena::InsertEntry(std::string_view text,
                                                                                      std::uint32_t hash) {
    if (text.size() > static_cast<std::size_t>(0xFFFFFFF0u) - sizeof(BindingInternEntry)) throw std::bad_alloc();
    if (internCount_ + 1 > bucketCount_) GrowBuckets();  // load factor stays at most 1.0
    auto* entry = static_cast<BindingInternEntry*>(Allocate(sizeof(BindingInternEntry) + text.size() + 1));
    entry->hash = hash;
    entry->refs = 1;
    entry->length = static_cast<std::uint32_t>(text.size());
    std::uint32_t lead = 0;
    if (text.size() >= 4) {
        std::memcpy(&lead, text.data(), sizeof lead);
        lead = __builtin_bswap32(lead);  // little-endian load: the first byte becomes the top one
    } else {
        for (std::size_t i = 0; i < text.size(); ++i) {
            lead |= static_cast<std::uint32_t>(static_cast<unsigned char>(text[i])) << (24 - 8 * i);
        }
    }
    entry->lead = lead;
    char* bytes = reinterpret_cast<char*>(entry + 1);
    if (text.size() <= 16) {
        // Names and short values: a few word moves instead of a library call.
        const char* from = text.data();
        std::size_t i = 0;
        for (; i + 4 <= text.size(); i += 4) {
            std::uint32_t word;
            std::memcpy(&word, from + i, sizeof word);
            std::memcpy(bytes + i, &word, sizeof word);
        }
        for (; i < text.size(); ++i) bytes[i] = from[i];
    } else {
        std::memcpy(bytes, text.data(), text.size());
    }
    bytes[text.size()] = '\0';
    BindingInternEntry*& bucket = buckets_[hash & (bucketCount_ - 1)];
    entry->next = bucket;
    bucket = entry;
    ++internCount_;
    return entry;
}

namespace {

// Relinks every entry of `chain` into `buckets` (`count` of them) by its hash.
void MoveChain(BindingInternEntry* chain, BindingInternEntry** buckets, std::size_t count) {
    while (chain != nullptr) {
        BindingInternEntry* next = chain->next;
        BindingInternEntry*& bucket = buckets[chain->hash & (count - 1)];
        chain->next = bucket;
        bucket = chain;
        chain = next;
    }
}

}  // namespace

void BindingValueArena::GrowBuckets() {
    // The first growth goes straight to all the inline buckets: a document
    // with more than a handful of texts usually has dozens, and each doubling
    // would move every entry again.
    const std::size_t count = bucketCount_ < kInlineBuckets ? kInlineBuckets : bucketCount_ * 2;
    if (buckets_ == initialBuckets_ && count <= kInlineBuckets) {
        // Split each chain in place: an entry of bucket i moves to a bucket
        // i + k * old count, all of them empty so far.
        const std::size_t old = bucketCount_;
        for (std::size_t i = 0; i < old; ++i) {
            BindingInternEntry* chain = initialBuckets_[i];
            initialBuckets_[i] = nullptr;
            MoveChain(chain, initialBuckets_, count);
        }
        bucketCount_ = count;
        return;
    }
    auto** grown = static_cast<BindingInternEntry**>(Allocate(count * sizeof(BindingInternEntry*)));
    for (std::size_t i = 0; i < count; ++i) grown[i] = nullptr;
    for (std::size_t i = 0; i < bucketCount_; ++i) MoveChain(buckets_[i], grown, count);
    if (buckets_ != initialBuckets_) {
        Release(buckets_, bucketCount_ * sizeof(BindingInternEntry*));
    } else {
        // Back in use once the set empties: no stale chains may remain.
        for (std::size_t i = 0; i < bucketCount_; ++i) initialBuckets_[i] = nullptr;
    }
    buckets_ = grown;
    bucketCount_ = count;
}

void BindingValueArena::ReleaseText(const BindingInternEntry* text) noexcept {
    if (text == EmptyText() || text == nullptr) return;
    auto* entry = const_cast<BindingInternEntry*>(text);
    assert(entry->refs > 0);
    if (--entry->refs != 0) return;
    for (const SlotRange range : {kKeySlots, kValueSlots}) {
        const BindingInternEntry*& recent = RecentSlot(entry->Text(), entry->length, range);
        if (recent == entry) recent = nullptr;
    }
    BindingInternEntry** link = &buckets_[entry->hash & (bucketCount_ - 1)];
    while (*link != entry) link = &(*link)->next;
    *link = entry->next;
    Release(entry, sizeof(BindingInternEntry) + entry->length + 1);
    if (--internCount_ == 0) {
        // Every chain is empty now, so the inline buckets are all clear.
        if (buckets_ != initialBuckets_) Release(buckets_, bucketCount_ * sizeof(BindingInternEntry*));
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
