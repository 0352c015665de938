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
    // once all 64 slots are used. Lock-free: two threads registering the same
    // new name at once may get two slots.
    [[nodiscard]] std::uint64_t CategoryFromName(const char* name);

    // "DBG;GEN" for mask 0b11, bit 0 upward; empty for mask 0. Writes at most
    // size - 1 characters and a NUL (nothing when size is 0) and returns the count.
    std::size_t Names(char* out, std::size_t size, std::uint64_t mask) const;

    // The name of slot `index` (0..63), at most three characters.
    const char* Name(int index) const { return names_[index]; }

    // The process-wide table that the log manager uses.
    static LogCategoryTable& Process();

private:
    char names_[kSlotCount][4];
    std::atomic<int> highest_;  // highest registered slot
};

}  // namespace hpk
