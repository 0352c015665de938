// HostValue building, reading and releasing. Builder and release routine sit
// together so each allocation can be read beside its free. All three walk
// iteratively: host values may be nested a million levels deep.
#include "binding/host_value_convert.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "binding/binding_value_parts.h"
#include "diagnostics/positional_format.h"
#include "boundary/allocation_hooks.h"

namespace hpk {
namespace {

constexpr std::uint32_t Tag(HostValueTag tag) { return static_cast<std::uint32_t>(tag); }
bool IsContainerTag(std::uint32_t tag) { return tag == Tag(HostValueTag::Array) || tag == Tag(HostValueTag::Map); }

// A container whose slot waits to be filled: its tag stays 0 until then, so a
// release after a failure sees nothing half-built.
using PendingBuild = std::pair<const BindingValue*, HostValue*>;

// Writes one value; containers are queued. False when memory ran out.
bool BuildOne(HostValue& target, const BindingValue& value, const EnumNameSource* enumNames,
              std::vector<PendingBuild>& pending) {
    target = HostValue{};
    switch (value.Kind()) {
        case BindingValueKind::Empty: return true;
        case BindingValueKind::Bool:
            target.tag = Tag(HostValueTag::Bool);
            target.payload.boolean = value.AsBool() ? 1 : 0;
            return true;
        case BindingValueKind::Signed:
            target.tag = Tag(HostValueTag::Signed);
            target.payload.signedValue = value.AsSigned();
            return true;
        case BindingValueKind::Unsigned:
            target.tag = Tag(HostValueTag::Unsigned);
            target.payload.unsignedValue = value.AsUnsigned();
            return true;
        case BindingValueKind::Float:
            target.tag = Tag(HostValueTag::Double);
            target.payload.number = value.AsFloat();
            return true;
        case BindingValueKind::String: {
            const std::string_view text = value.AsString();
            char* copy = DuplicateText(text.data(), text.size());
            if (copy == nullptr) return false;
            target.tag = Tag(HostValueTag::StringOwned);
            target.payload.span = HostValueSpan{copy, static_cast<std::uint32_t>(text.size())};
            return true;
        }
        case BindingValueKind::Blob: {
            const std::size_t size = value.Size();
            void* copy = nullptr;
            if (size != 0) {
                copy = Allocate(size);
                if (copy == nullptr) return false;
                std::memcpy(copy, value.BlobData(), size);
            }
            target.tag = Tag(HostValueTag::BinaryOwned);
            target.payload.span = HostValueSpan{copy, static_cast<std::uint32_t>(size)};
            return true;
        }
        case BindingValueKind::Enum: {
            const BindingEnumCell cell = value.AsEnum();
            const char* name = enumNames == nullptr ? nullptr : enumNames->EnumeratorName(cell.type, cell.value);
            if (name == nullptr) {
                target.tag = Tag(HostValueTag::Signed);
                target.payload.signedValue = cell.value;
                return true;
            }
            const std::size_t length = std::strlen(name);
            char* copy = DuplicateText(name, length);
            if (copy == nullptr) return false;
            target.tag = Tag(HostValueTag::StringOwned);
            target.payload.span = HostValueSpan{copy, static_cast<std::uint32_t>(length)};
            return true;
        }
        case BindingValueKind::Collection:
        case BindingValueKind::Structure:
            if (value.Size() == 0) {
                target.tag =
                    Tag(value.Kind() == BindingValueKind::Collection ? HostValueTag::Array : HostValueTag::Map);
            } else {
                pending.emplace_back(&value, &target);
            }
            return true;
    }
    return true;
}

bool FillContainer(HostValue& target, const BindingValue& value, const EnumNameSource* enumNames,
                   std::vector<PendingBuild>& pending) {
    const std::size_t count = value.Size();
    const bool isMap = value.Kind() == BindingValueKind::Structure;
    const std::size_t width = isMap ? sizeof(HostValueEntry) : sizeof(HostValue);
    if (count > 0xFFFFFFFFu / width) return false;
    void* block = Allocate(count * width);
    if (block == nullptr) return false;
    std::memset(block, 0, count * width);
    target.tag = Tag(isMap ? HostValueTag::Map : HostValueTag::Array);
    target.payload.span = HostValueSpan{block, static_cast<std::uint32_t>(count)};
    if (!isMap) {
        auto* elements = static_cast<HostValue*>(block);
        for (std::size_t i = 0; i < count; ++i) {
            if (!BuildOne(elements[i], value.Element(i), enumNames, pending)) return false;
        }
        return true;
    }
    auto* entries = static_cast<HostValueEntry*>(block);
    std::size_t i = 0;
    for (const BindingMemberNode* node = BindingValueAccess::FirstMember(value); node != nullptr;
         node = BindingValueAccess::NextMember(node), ++i) {
        entries[i].key = DuplicateText(node->key->Text(), node->key->length);
        if (entries[i].key == nullptr) return false;
        entries[i].ownsKey = 1;
        if (!BuildOne(entries[i].value, node->value, enumNames, pending)) return false;
    }
    return true;
}

// While a child container is being released, its own record in the parent's
// array is spent, so it keeps the way back: the parent's record address in
// `tag`, the parent's array in `data`, and its count with the map flag in the
// top bit in `count`. The child's index follows from the record's address.
constexpr std::uint32_t kMapFlag = 0x80000000u;

}  // namespace

bool ToHostValue(HostValue& target, const BindingValue& value, const EnumNameSource* enumNames) {
    target = HostValue{};
    try {
        std::vector<PendingBuild> pending;
        bool built = BuildOne(target, value, enumNames, pending);
        while (built && !pending.empty()) {
            const PendingBuild next = pending.back();
            pending.pop_back();
            built = FillContainer(*next.second, *next.first, enumNames, pending);
        }
        if (built) return true;
    } catch (const std::bad_alloc&) {
        // The queue itself could not grow: the same outcome as any other shortage.
    }
    ReleaseHostValue(target);
    return false;
}

void HostValueToBinding(BindingResult& result, const HostValue& source, std::string_view path) {
    if (!result.IsOk()) return;
    struct Frame {
        const void* items;
        std::uint32_t count;
        std::uint32_t next;
        bool isMap;
        BindingValue* target;
    };
    std::vector<Frame> open;
    // Depth first, so an entry is complete before a later entry with the same
    // key replaces it.
    auto readOne = [&open](BindingValue& target, const HostValue& value) {
        const void* data = value.payload.span.data;
        const std::uint32_t count = value.payload.span.count;
        switch (static_cast<HostValueTag>(value.tag)) {
            case HostValueTag::Null: target.Clear(); return true;
            case HostValueTag::Bool: target.SetBool(value.payload.boolean != 0); return true;
            case HostValueTag::Signed: target.SetSigned(value.payload.signedValue); return true;
            case HostValueTag::Unsigned: target.SetUnsigned(value.payload.unsignedValue); return true;
            case HostValueTag::Double: target.SetFloat(value.payload.number); return true;
            case HostValueTag::StringBorrowed:
            case HostValueTag::StringOwned:
                target.SetString(data == nullptr ? std::string_view()
                                                 : std::string_view(static_cast<const char*>(data)));
                return true;
            case HostValueTag::BinaryBorrowed:
            case HostValueTag::BinaryOwned:
                target.SetBlob(static_cast<const std::uint8_t*>(data), data == nullptr ? 0 : count);
                return true;
            case HostValueTag::Array:
            case HostValueTag::Map: {
                const bool isMap = value.tag == Tag(HostValueTag::Map);
                target.Clear();
                isMap ? target.MakeStructure() : target.MakeCollection();
                if (data == nullptr || count == 0) return true;
                // Capped: the count is the sender's word, the memory is ours.
                if (!isMap) target.Reserve(count < 4096 ? count : 4096);
                open.push_back(Frame{data, count, 0, isMap, &target});
                return true;
            }
        }
        return false;
    };
    BindingValue& root = result.Value();
    bool ok = readOne(root, source);
    while (ok && !open.empty()) {
        Frame& frame = open.back();
        if (frame.next == frame.count) {
            open.pop_back();
            continue;
        }
        const std::uint32_t index = frame.next++;
        if (!frame.isMap) {
            // `frame` may move when readOne opens a child: nothing of it is used after.
            ok = readOne(frame.target->Append(), static_cast<const HostValue*>(frame.items)[index]);
            continue;
        }
        const HostValueEntry& entry = static_cast<const HostValueEntry*>(frame.items)[index];
        BindingValue& member = frame.target->Member(entry.key == nullptr ? std::string_view() : entry.key);
        member.Clear();
        ok = readOne(member, entry.value);
    }
    if (!ok) result.SetError(FormatPositional(kMsgHostValueIncompatible, path, ""));
}

void ReleaseHostValue(HostValue& value) noexcept {
    if (!IsContainerTag(value.tag)) {
        if (value.tag == Tag(HostValueTag::StringOwned) || value.tag == Tag(HostValueTag::BinaryOwned)) {
            Free(value.payload.span.data);
        }
        value = HostValue{};
        return;
    }
    // The container being released and where its parent's record is.
    auto* data = static_cast<unsigned char*>(value.payload.span.data);
    std::uint32_t count = data == nullptr ? 0 : value.payload.span.count;
    bool isMap = value.tag == Tag(HostValueTag::Map);
    std::uint32_t index = 0;
    HostValue* up = nullptr;
    while (true) {
        if (index < count) {
            HostValue* record;
            if (isMap) {
                auto* entry = reinterpret_cast<HostValueEntry*>(data + index * sizeof(HostValueEntry));
                if (entry->ownsKey == 1) Free(const_cast<char*>(entry->key));
                entry->key = nullptr;
                record = &entry->value;
            } else {
                record = reinterpret_cast<HostValue*>(data + index * sizeof(HostValue));
            }
            const std::uint32_t tag = record->tag;
            void* childData = record->payload.span.data;
            const std::uint32_t childCount = record->payload.span.count;
            if (IsContainerTag(tag) && childData != nullptr && childCount != 0) {
                record->tag = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(up));
                record->payload.span.data = data;
                record->payload.span.count = count | (isMap ? kMapFlag : 0);
                up = record;
                data = static_cast<unsigned char*>(childData);
                count = childCount & ~kMapFlag;
                isMap = tag == Tag(HostValueTag::Map);
                index = 0;
                continue;
            }
            if (IsContainerTag(tag) || tag == Tag(HostValueTag::StringOwned) || tag == Tag(HostValueTag::BinaryOwned)) {
                Free(childData);
            }
            ++index;
            continue;
        }
        Free(data);
        if (up == nullptr) break;
        HostValue* record = up;
        up = reinterpret_cast<HostValue*>(static_cast<std::uintptr_t>(record->tag));
        data = static_cast<unsigned char*>(record->payload.span.data);
        count = record->payload.span.count & ~kMapFlag;
        isMap = (record->payload.span.count & kMapFlag) != 0;
        const auto offset = static_cast<std::size_t>(reinterpret_cast<unsigned char*>(record) - data);
        index = static_cast<std::uint32_t>(isMap ? (offset - offsetof(HostValueEntry, value)) / sizeof(HostValueEntry)
                                                 : offset / sizeof(HostValue)) +
                1;
    }
    value = HostValue{};
}

}  // namespace hpk
