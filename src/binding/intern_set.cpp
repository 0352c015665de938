// The intern set of a value arena: the FNV-1a hash, the recent slots and the
// chained buckets behind BindingValueArena::Intern.
#include "binding/value_arena.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>

#include "binding/fnv1a_hash.h"

namespace hpk {

namespace {

// A plain library call: an inlined clear of a table this size is a
// store per word. The empty asm hides the size, so no copy of this function
// specialised to it can inline the clear again.
[[gnu::noinline]] void ClearBytes(void* at, std::size_t size) {
    __asm__("" : "+r"(size));
    std::memset(at, 0, size);
}

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

const BindingInternEntry* BindingValueArena::InternAfresh(std::string_view text, const BindingInternEntry*& recent) {
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