// Recipe reading, host value building and tree comparison for the fuzz targets.
#include "fuzz_support.h"

#include <cstring>
#include <utility>

#include "binding/host_value_convert.h"
#include "boundary/allocation_hooks.h"

namespace hpk::fuzz {

std::uint16_t FuzzBytes::U16() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
}

std::uint32_t FuzzBytes::U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
}

std::uint64_t FuzzBytes::U64() {
    const std::uint64_t low = U32();
    return low | (static_cast<std::uint64_t>(U32()) << 32);
}

std::string FuzzBytes::Text() { return Take(Byte()); }

std::string FuzzBytes::Take(std::size_t count) {
    const std::size_t left = next_ < size_ ? size_ - next_ : 0;
    if (count > left) count = left;
    std::string text(reinterpret_cast<const char*>(data_ + next_), count);
    next_ += count;
    return text;
}

std::string FuzzBytes::Rest() { return Take(size_); }

namespace {

constexpr std::uint32_t Tag(HostValueTag tag) { return static_cast<std::uint32_t>(tag); }

// A block from the counting allocator, zeroed; the recipe stops growing when
// memory runs out (the slot then stays null).
void* Zeroed(std::size_t size) {
    void* block = Allocate(size == 0 ? 1 : size);
    if (block != nullptr) std::memset(block, 0, size == 0 ? 1 : size);
    return block;
}

// An open container of the tree under construction.
struct Open {
    HostValue* value;
    std::uint32_t filled;
};

}  // namespace

const char* HostValueRecipe::Keep(std::string text) {
    borrowed_.push_back(std::move(text));
    return borrowed_.back().c_str();
}

HostValueRecipe::HostValueRecipe(FuzzBytes& bytes) {
    std::vector<Open> open;
    bool rootTaken = false;
    HostValue* pending = nullptr;  // the innermost slot of a chain
    while (true) {
        HostValue* slot = pending;
        pending = nullptr;
        if (slot == nullptr) {
            if (!rootTaken) {
                slot = &root_;
                rootTaken = true;
            } else {
                // Drop finished containers; the next slot is in the innermost open one.
                while (!open.empty() && open.back().filled == open.back().value->payload.span.count) open.pop_back();
                if (open.empty()) break;
                Open& top = open.back();
                const std::uint32_t index = top.filled++;
                if (top.value->tag == Tag(HostValueTag::Map)) {
                    auto* entry = static_cast<HostValueEntry*>(top.value->payload.span.data) + index;
                    const std::uint8_t keyKind = bytes.Byte();
                    std::string keyText = bytes.Text();
                    if (keyKind % 8 == 0 && !keys_.empty()) {
                        entry->key = keys_[keyText.size() % keys_.size()];
                    } else if (keyKind % 8 == 7) {
                        entry->key = nullptr;
                    } else if ((keyKind & 8) != 0) {
                        entry->key = DuplicateText(keyText.data(), keyText.size());
                        entry->ownsKey = entry->key != nullptr ? 1 : 0;
                        keys_.push_back(Keep(std::move(keyText)));
                    } else {
                        const char* key = Keep(std::move(keyText));
                        entry->key = key;
                        keys_.push_back(key);
                    }
                    slot = &entry->value;
                } else {
                    slot = static_cast<HostValue*>(top.value->payload.span.data) + index;
                }
            }
        }
        ++nodes_;
        const std::uint8_t op = bytes.Byte() % 14;
        switch (op) {
            case 0: slot->tag = Tag(HostValueTag::Null); break;
            case 1:
                slot->tag = Tag(HostValueTag::Bool);
                slot->payload.boolean = bytes.Byte();
                break;
            case 2:
                slot->tag = Tag(HostValueTag::Signed);
                slot->payload.unsignedValue = bytes.U64();
                break;
            case 3:
                slot->tag = Tag(HostValueTag::Unsigned);
                slot->payload.unsignedValue = bytes.U64();
                break;
            case 4:
                slot->tag = Tag(HostValueTag::Double);
                slot->payload.unsignedValue = bytes.U64();
                break;
            case 5:
            case 6:
            case 7:
            case 8: {
                const std::uint8_t flags = bytes.Byte();
                std::string text = bytes.Text();
                const auto length = static_cast<std::uint32_t>(text.size());
                const bool isText = op == 5 || op == 6;
                slot->tag = op;
                // Texts are sent zero-terminated (the terminator ends them even
                // inside the bytes); byte strings are exactly `count` long.
                if (op == 6 || op == 8) {
                    auto* block = static_cast<char*>(Zeroed(length + 1));
                    if (block != nullptr) std::memcpy(block, text.data(), length);
                    slot->payload.span.data = block;
                } else {
                    slot->payload.span.data = const_cast<char*>(Keep(std::move(text)));
                }
                slot->payload.span.count = length;
                if (isText && (flags & 1) != 0) slot->payload.span.count = length + bytes.Byte() + 1;
                break;
            }
            case 9:
            case 10: {
                const std::uint32_t count = bytes.Byte();
                const std::size_t width = op == 9 ? sizeof(HostValue) : sizeof(HostValueEntry);
                slot->tag = op;
                slot->payload.span.data = count == 0 ? nullptr : Zeroed(count * width);
                slot->payload.span.count = slot->payload.span.data == nullptr ? 0 : count;
                if (slot->payload.span.count != 0) open.push_back(Open{slot, 0});
                break;
            }
            case 11:
                ++invalidTags_;
                slot->tag = 11 | bytes.U32();
                slot->payload.unsignedValue = bytes.U64();
                break;
            case 12: {
                const std::uint32_t depth = bytes.U16() % (kMaxChain + 1);
                const bool maps = (depth & 1) != 0;
                HostValue* link = slot;
                for (std::uint32_t level = 0; level < depth; ++level) {
                    void* block = Zeroed(maps ? sizeof(HostValueEntry) : sizeof(HostValue));
                    if (block == nullptr) break;
                    link->tag = Tag(maps ? HostValueTag::Map : HostValueTag::Array);
                    link->payload.span.data = block;
                    link->payload.span.count = 1;
                    if (maps) {
                        auto* entry = static_cast<HostValueEntry*>(block);
                        entry->key = "k";
                        link = &entry->value;
                    } else {
                        link = static_cast<HostValue*>(block);
                    }
                }
                nodes_ += depth;
                pending = link;
                break;
            }
            case 13:
                slot->tag = 5 + bytes.Byte() % 6;
                slot->payload.span.data = nullptr;
                slot->payload.span.count = bytes.U32();
                break;
        }
    }
}

HostValueRecipe::~HostValueRecipe() { ReleaseHostValue(root_); }

bool SameTree(const BindingValue& a, const BindingValue& b) {
    std::vector<std::pair<const BindingValue*, const BindingValue*>> pending{{&a, &b}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->Kind() != right->Kind() || left->Size() != right->Size()) return false;
        switch (left->Kind()) {
            case BindingValueKind::Empty: break;
            case BindingValueKind::Bool:
                if (left->AsBool() != right->AsBool()) return false;
                break;
            case BindingValueKind::Signed:
                if (left->AsSigned() != right->AsSigned()) return false;
                break;
            case BindingValueKind::Unsigned:
                if (left->AsUnsigned() != right->AsUnsigned()) return false;
                break;
            case BindingValueKind::Float: {
                const double x = left->AsFloat();
                const double y = right->AsFloat();
                if (std::memcmp(&x, &y, sizeof x) != 0) return false;
                break;
            }
            case BindingValueKind::String:
                if (left->AsString() != right->AsString()) return false;
                break;
            case BindingValueKind::Blob:
                if (left->Size() != 0 && std::memcmp(left->BlobData(), right->BlobData(), left->Size()) != 0) {
                    return false;
                }
                break;
            case BindingValueKind::Enum:
                if (left->AsEnum().value != right->AsEnum().value || left->AsEnum().type != right->AsEnum().type) {
                    return false;
                }
                break;
            case BindingValueKind::Collection:
                for (std::size_t i = 0; i < left->Size(); ++i)
                    pending.emplace_back(&left->Element(i), &right->Element(i));
                break;
            case BindingValueKind::Structure: {
                std::vector<std::pair<std::string_view, const BindingValue*>> leftMembers;
                std::vector<std::pair<std::string_view, const BindingValue*>> rightMembers;
                left->ForEachMember(
                    [&](std::string_view key, const BindingValue& v) { leftMembers.emplace_back(key, &v); });
                right->ForEachMember(
                    [&](std::string_view key, const BindingValue& v) { rightMembers.emplace_back(key, &v); });
                for (std::size_t i = 0; i < leftMembers.size(); ++i) {
                    if (leftMembers[i].first != rightMembers[i].first) return false;
                    pending.emplace_back(leftMembers[i].second, rightMembers[i].second);
                }
                break;
            }
        }
    }
    return true;
}

}  // namespace hpk::fuzz
