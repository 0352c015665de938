// Category names and registration of new ones.
#include "diagnostics/log_categories.h"

#include <cstring>

#include "diagnostics/diagnostics_messages.h"

namespace hpk {

namespace {

std::uint32_t PackedName(const char* name) {
    char bytes[4] = {};
    for (int i = 0; i < 3 && name[i] != '\0'; ++i) bytes[i] = name[i];
    std::uint32_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

}  // namespace

LogCategoryTable::LogCategoryTable() {
    for (int i = 0; i < kSlotCount; ++i) names_[i].store(i < 8 ? PackedName(kPresetCategoryNames[i]) : kFreeSlot);
}

LogCategoryTable& LogCategoryTable::Process() {
    static LogCategoryTable table;
    return table;
}

const char* LogCategoryTable::Name(int index) const {
    if (names_[index].load() == kFreeSlot) return kUnregisteredCategoryName;
    // The word's bytes are the NUL-padded name, and a taken slot never changes.
    return reinterpret_cast<const char*>(&names_[index]);
}

std::uint64_t LogCategoryTable::CategoryFromName(const char* name) {
    if (name == nullptr) return 0;
    const std::uint32_t wanted = PackedName(name);
    for (int i = 0; i < kSlotCount; ++i) {
        std::uint32_t seen = names_[i].load();
        // The first free slot: take it, unless another thread takes it first,
        // in which case `seen` is the name it wrote, perhaps this very one.
        if (seen == kFreeSlot && names_[i].compare_exchange_strong(seen, wanted)) return std::uint64_t{1} << i;
        if (seen == wanted) return std::uint64_t{1} << i;
    }
    return 0;
}

std::size_t LogCategoryTable::Names(char* out, std::size_t size, std::uint64_t mask) const {
    if (out == nullptr || size == 0) return 0;
    std::size_t length = 0;
    bool first = true;
    for (int bit = 0; bit < kSlotCount && (mask >> bit) != 0; ++bit) {
        if (((mask >> bit) & 1) == 0) continue;
        const std::uint32_t word = names_[bit].load();
        char name[4] = {};
        std::memcpy(name, word == kFreeSlot ? kUnregisteredCategoryName : reinterpret_cast<const char*>(&word), 3);
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
