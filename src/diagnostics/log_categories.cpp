// Category names and registration of new ones.
#include "diagnostics/log_categories.h"

#include <cstring>

#include "diagnostics/diagnostics_messages.h"

namespace hpk {

LogCategoryTable::LogCategoryTable() : highest_(7) {
    for (int i = 0; i < kSlotCount; ++i) {
        // Every preset is three characters and a NUL: exactly one slot.
        std::memcpy(names_[i], i < 8 ? kPresetCategoryNames[i] : kUnregisteredCategoryName, sizeof names_[i]);
    }
}

LogCategoryTable& LogCategoryTable::Process() {
    static LogCategoryTable table;
    return table;
}

std::uint64_t LogCategoryTable::CategoryFromName(const char* name) {
    if (name == nullptr) return 0;
    const int highest = highest_.load();
    for (int i = 0; i <= highest && i < kSlotCount; ++i) {
        if (std::strncmp(names_[i], name, 3) == 0) return std::uint64_t{1} << i;
    }
    // Claim the next slot; the counter never passes the last slot, so repeated
    // registrations of a full table cannot run it past the array.
    int slot = highest_.load();
    do {
        if (slot + 1 >= kSlotCount) return 0;
    } while (!highest_.compare_exchange_weak(slot, slot + 1));
    ++slot;
    char copy[4] = {};
    std::strncpy(copy, name, 3);
    std::memcpy(names_[slot], copy, sizeof copy);
    return std::uint64_t{1} << slot;
}

std::size_t LogCategoryTable::Names(char* out, std::size_t size, std::uint64_t mask) const {
    if (out == nullptr || size == 0) return 0;
    std::size_t length = 0;
    bool first = true;
    for (int bit = 0; bit < kSlotCount && (mask >> bit) != 0; ++bit) {
        if (((mask >> bit) & 1) == 0) continue;
        const char* name = names_[bit];
        const std::size_t nameLength = std::strlen(name);
        if (!first) {
            if (length + 1 >= size) break;
            out[length++] = ';';
        }
        first = false;
        const std::size_t room = size - 1 - length;
        const std::size_t copied = nameLength < room ? nameLength : room;
        std::memcpy(out + length, name, copied);
        length += copied;
        if (copied < nameLength) break;
    }
    out[length] = '\0';
    return length;
}

}  // namespace hpk
