// The table of three-letter log category names: 64 slots, 0..7 preset, the
// rest "???" until a name is registered there.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace hpk {

class LogCategoryTable {
public:
    static constexpr int kSlotCount = 64;

    LogCategoryTable();

    // The mask of the category whose name matches the first three characters
    // of `name`; an unknown name takes the next free slot. 0 for a null name or
    // once all 64 slots are used. Lock-free and safe from any thread: a slot's
    // name is written in the same atomic step that takes the slot, so no
    // reader sees a slot half named, and threads registering the same new name
    // at once all get the one slot it took.
    [[nodiscard]] std::uint64_t CategoryFromName(const char* name);

    // "DBG;GEN" for mask 0b11, bit 0 upward; empty for mask 0. Writes at most
    // size - 1 characters and a NUL (nothing when size is 0) and returns the count.
    std::size_t Names(char* out, std::size_t size, std::uint64_t mask) const;

    // The name of slot `index` (0..63), at most three characters; "???" while
    // the slot is free. A registered slot's name never changes afterwards.
    const char* Name(int index) const;

    // The process-wide table that the log manager uses.
    static LogCategoryTable& Process();

private:
    // Each slot's name as one word: up to three characters, NUL-padded, so
    // equal words are names equal in their first three characters. A free
    // slot holds kFreeSlot, whose fourth byte no name has. Slots are taken in
    // order, so the first free one ends every search.
    static constexpr std::uint32_t kFreeSlot = 0xffffffffu;
    std::atomic<std::uint32_t> names_[kSlotCount];
};

}  // namespace hpk
