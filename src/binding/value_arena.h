// BindingValueArena: where every heap part of one value tree lives (interned
// texts, blob bytes, enum cells, element arrays, member nodes). The process-wide
// page supplier behind its pools is in page_supplier.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace hpk {

// One interned text. Stored once per distinct content per arena; `refs` counts
// the string values and member keys that refer to it. The bytes follow the
// header and are NUL-terminated (a text may itself contain NULs).
struct BindingInternEntry {
    BindingInternEntry* next;  // bucket chain
    std::uint32_t hash;        // FNV-1a of the bytes up to the first NUL
    std::uint32_t refs;
    std::uint32_t length;
    // The first four bytes read as a big-endian number, zero past the end:
    // member keys are mostly ordered by it alone (see InsertMember).
    std::uint32_t lead;

    const char* Text() const { return reinterpret_cast<const char*>(this + 1); }
    std::string_view View() const { return {Text(), length}; }
};

// 32-bit FNV-1a over the bytes of `text` up to its first NUL. Reads four bytes
// at a time; the result is the byte-wise definition's.
std::uint32_t InternHash(std::string_view text);

// Small parts (up to kLargestPooledSize bytes, rounded up to a multiple of 4)
// come from one pool per size class; middling ones (element arrays, long
// texts, up to kLargestMidSize) from pools of wider slots, a class about a
// third wider than the one before; anything larger is a separately
// allocated block the arena keeps on a list (from the counted heap, or from
// the page supplier from kSpanThreshold bytes on). Either way the arena frees it all
// when destroyed or reset, so a whole tree goes in one step without a walk.
// Not thread-safe: a tree and its arena are used by one thread at a time.
class BindingValueArena {
public:
    static constexpr std::size_t kSizeClasses = 18;
    static constexpr std::size_t kLargestPooledSize = 4 * kSizeClasses;  // 72
    static constexpr std::size_t kMidClasses = 10;
    static constexpr std::size_t kLargestMidSize = 1352;  // three to a page
    // Parts this large (the element arrays of long lists) take whole blocks
    // of the page supplier, which keeps them for the next tree: from the C
    // runtime's heap they would make it grow and trim its top, and fault the
    // pages in again, on every large document.
    static constexpr std::size_t kSpanThreshold = 128 * 1024;

    // Throws std::bad_alloc when no memory is left. A destroyed arena that
    // held little is emptied and kept aside (one for the process), and the
    // next Create takes it back: a tree built and dropped per event or per
    // request then costs no allocation, no page lock and no set-up.
    static BindingValueArena* Create();
    static void Destroy(BindingValueArena* arena) noexcept;
    // Destroys the arena kept aside, if any, giving back its pages and its
    // memory; the plugin's shutdown calls it before the host unloads us.
    static void ReleaseSpare() noexcept;
    // 0 or 1, for tests.
    static std::size_t SpareCount() noexcept;

    BindingValueArena(const BindingValueArena&) = delete;
    BindingValueArena& operator=(const BindingValueArena&) = delete;

    // A block of at least `size` bytes aligned to 8; throws std::bad_alloc.
    // `size` 0 is served as 4. Inline for the common case: the next never
    // used slot of a pool's current page, which does not fill the page.
    void* Allocate(std::size_t size) {
        if (size - 1 < kLargestPooledSize) {
            Page* page = pools_[(size - 1) >> 2].partial;
            if (page != nullptr && page->carved < page->carveLimit) {
                ++page->used;
                return reinterpret_cast<unsigned char*>(page) + kPageHeader + page->carved++ * page->slotSize;
            }
        }
        return AllocateOther(size);
    }
    // `size` must be the size the block was allocated with.
    void Release(void* block, std::size_t size) noexcept;

    // Returns the entry for `text` with its count incremented. The empty text
    // is the shared static entry, never entered into the set and never counted.
    // Inline for the common case, a text interned lately (see recent_).
    const BindingInternEntry* Intern(std::string_view text) { return InternRecent(text, kValueSlots); }
    // The same for a member name: names come back far more often than values,
    // so they have recent slots of their own that values cannot evict.
    const BindingInternEntry* InternKey(std::string_view text) { return InternRecent(text, kKeySlots); }
    // The same for an entry of another arena: reuses its hash.
    const BindingInternEntry* Intern(const BindingInternEntry* entry);
    // Decrements the count; the entry is removed at zero.
    void ReleaseText(const BindingInternEntry* entry) noexcept;
    static const BindingInternEntry* EmptyText();

    // Drops everything: texts, pooled parts, large blocks. Each pool keeps
    // its first page for the next use.
    void Reset() noexcept;

    // Observation for tests and diagnostics.
    std::size_t InternedCount() const { return internCount_; }
    std::size_t InternBucketCount() const { return bucketCount_; }
    // 0 when `text` is not interned (always 0 for the empty text).
    std::uint32_t InternReferenceCount(std::string_view text) const;
    // Pages the pools hold right now (not counting pages taken from the
    // supplier ahead of need: see TakePage).
    std::size_t PagesHeld() const;
    // Large blocks alive right now, spans included.
    std::size_t LargeBlockCount() const { return largeCount_; }

private:
    // Slots follow this header in the page; a free slot's first two bytes hold
    // the index of the next free slot.
    struct Page {
        Page* prev;
        Page* next;
        std::uint16_t slotSize;
        std::uint16_t capacity;
        std::uint16_t used;
        std::uint16_t carved;    // slots below this index have been handed out at least once
        std::uint16_t freeHead;  // kNoSlot when the chain is empty
        // Allocate's own test, kept in one field: a slot never used is handed
        // out inline below this (capacity - 1 while the free chain is empty,
        // when every carved slot is in use; 0 otherwise), so that the page
        // never fills there.
        std::uint16_t carveLimit;
    };
    static constexpr std::uint16_t kNoSlot = 0xFFFF;
    // Rounded to 8 so that slots whose size is a multiple of 8 are 8-aligned.
    static constexpr std::size_t kPageHeader = 24;

    struct Pool {
        Page* partial;  // pages with at least one free slot
        Page* full;     // pages without one
        Page* first;    // kept until the arena goes: small trees never churn pages
        std::uint16_t slotSize;
    };
    struct LargeBlock {
        LargeBlock* prev;
        LargeBlock* next;
    };
    // A span's record lives in a pool slot, so that the span holds the part
    // alone and a power-of-two array fills whole blocks.
    struct Span {
        Span* prev;
        Span* next;
        void* memory;
        std::size_t size;
    };

    // The arena object lives at the end of its home page, whose front serves
    // the pool of class kHomePool (member nodes, the commonest part): an
    // arena costs one supplier page and nothing from the counted heap.
    explicit BindingValueArena(void* homePage);
    ~BindingValueArena();
    static constexpr std::size_t kHomePool = 8;  // 36-byte slots

    // An empty page, every slot never used.
    static void StartCarving(Page* page) noexcept {
        page->used = page->carved = 0;
        page->freeHead = kNoSlot;
        page->carveLimit = static_cast<std::uint16_t>(page->capacity - 1);
    }
    void* AllocateOther(std::size_t size);
    void* AllocateSlot(Pool& pool);
    void* TakePage();
    void ReleaseSlot(Pool& pool, void* slot) noexcept;
    // Chains every page of `pool` (but its first when `keepFirst`) onto `chain`.
    void ReleaseAllPages(Pool& pool, bool keepFirst, void*& chain) noexcept;
    // Gives back every page (but each pool's first when `keepFirst`, and the
    // pages taken ahead of need when `keepStash`) under one lock.
    void ReturnPages(bool keepFirst, bool keepStash = false) noexcept;
    // Reset for reuse by another tree: like Reset, but the pages taken ahead
    // of need stay too.
    void Recycle() noexcept;
    void ReleaseAllLarge() noexcept;
    void* AllocateSpan(std::size_t size);
    void ReleaseSpan(Span* span) noexcept;
    void ReleaseSpan(void* memory) noexcept;
    void ResetInternSet() noexcept;
    BindingInternEntry* FindEntry(std::string_view text, std::uint32_t hash) const;
    const BindingInternEntry* InsertEntry(std::string_view text, std::uint32_t hash);
    const BindingInternEntry* InternAfresh(std::string_view text, const BindingInternEntry*& recent);
    // Recent slots: kKeySlots for member names, then kValueSlots for values.
    static constexpr unsigned kKeyBits = 8;
    static constexpr unsigned kValueBits = 6;
    struct SlotRange {
        unsigned bits;
        unsigned offset;
    };
    static constexpr SlotRange kKeySlots{kKeyBits, 0};
    static constexpr SlotRange kValueSlots{kValueBits, 1u << kKeyBits};
    static constexpr std::size_t kRecentSlots = (std::size_t{1} << kKeyBits) + (std::size_t{1} << kValueBits);

    const BindingInternEntry* InternRecent(std::string_view text, SlotRange range) {
        if (text.empty()) return EmptyText();
        const BindingInternEntry*& recent = RecentSlot(text.data(), text.size(), range);
        const BindingInternEntry* seen = recent;
        if (seen != nullptr && seen->length == text.size() && SameBytes(seen->Text(), text.data(), text.size())) {
            ++const_cast<BindingInternEntry*>(seen)->refs;
            return seen;
        }
        return InternAfresh(text, recent);
    }
    const BindingInternEntry*& RecentSlot(const char* text, std::size_t length, SlotRange range) {
        // Length, the first two, middle and last bytes, mixed by two
        // multiplications; the top bits pick the slot. Names of one record
        // often share a beginning ("profile_...") or an end ("..._url").
        const auto first = static_cast<unsigned char>(text[0]);
        const auto second = static_cast<unsigned char>(text[length > 1 ? 1 : 0]);
        const auto middle = static_cast<unsigned char>(text[length >> 1]);
        const auto last = static_cast<unsigned char>(text[length - 1]);
        const std::uint32_t mixed =
            (static_cast<std::uint32_t>(length) << 24 ^ first << 16 ^ second << 8 ^ last) * 0x9E3779B1u +
            middle * 0x85EBCA6Bu;
        return recent_[range.offset + (mixed >> (32 - range.bits))];
    }
    // Texts of a tree are mostly short names and values: compared in words
    // rather than through a library call.
    static bool SameBytes(const char* a, const char* b, std::size_t size) {
        if (size > 32) return std::memcmp(a, b, size) == 0;
        for (; size >= 4; size -= 4, a += 4, b += 4) {
            std::uint32_t x, y;
            std::memcpy(&x, a, 4);
            std::memcpy(&y, b, 4);
            if (x != y) return false;
        }
        for (; size > 0; --size, ++a, ++b) {
            if (*a != *b) return false;
        }
        return true;
    }
    void GrowBuckets();

    // The small classes, then the middling ones. Only the small pools keep
    // their first page when the arena is reset or kept aside: a middling
    // part is rare in the small trees that are built and dropped over and over.
    Pool pools_[kSizeClasses + kMidClasses];
    LargeBlock* large_ = nullptr;
    Span* spans_ = nullptr;
    std::size_t largeCount_ = 0;
    static constexpr std::size_t kInitialBuckets = 8;
    // Bucket arrays up to this size live in the arena object itself, so the
    // set of a small document grows without allocating. Buckets at or past
    // bucketCount_ are kept null.
    static constexpr std::size_t kInlineBuckets = 64;
    BindingInternEntry* initialBuckets_[kInlineBuckets] = {};
    BindingInternEntry** buckets_ = initialBuckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t internCount_ = 0;
    // Entries interned lately, by a cheap function of length and end bytes:
    // a text seen before (the same member name in every record of a list)
    // is found by one comparison, without hashing it again.
    const BindingInternEntry* recent_[kRecentSlots] = {};
    // Slots written since the last reset, so that resetting a small tree's
    // arena clears a few slots instead of all of them; past kDirtyLimit
    // writes the whole table is cleared.
    void NoteRecent(const BindingInternEntry*& slot, const BindingInternEntry* entry) {
        slot = entry;
        if (dirtyCount_ < kDirtyLimit) dirty_[dirtyCount_] = static_cast<std::uint16_t>(&slot - recent_);
        ++dirtyCount_;
    }
    static constexpr std::size_t kDirtyLimit = 32;
    std::uint16_t dirty_[kDirtyLimit];
    std::uint32_t dirtyCount_ = 0;
    // Pages taken from the supplier in a batch but not yet given to a pool,
    // chained through Page::next. Batches double from 1 up to kMaxBatch, so
    // a tree of a few parts takes a few pages and a large one rarely locks.
    static constexpr std::uint8_t kMaxBatch = 8;
    Page* stash_ = nullptr;
    std::uint32_t poolsUsed_ = 0;  // bit i: pools_[i] has had a page since the last release of all
    static_assert(kSizeClasses + kMidClasses <= 32, "one bit per pool");
    std::uint8_t batch_ = 1;
};

}  // namespace hpk
