// Building, releasing and reading HostValue records on the host's side.
// Each walk keeps its own stack, so a value a million levels deep costs
// memory, not call depth.
#include "host/host_value_io.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "text/host_messages.h"
#include "host/host_platform.h"
#include "diagnostics/positional_format.h"

namespace hpk::host {

namespace {

// A text longer than this is taken as a missing terminator.
constexpr std::size_t kMaxTextLength = std::size_t{1} << 28;

char* CopyText(std::string_view text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) return nullptr;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

struct BuildFrame {
    const BindingValue* source;
    HostValue* target;
    std::vector<std::pair<std::string_view, const BindingValue*>> members;  // structures only
    std::uint32_t next = 0;
};

// Fills one record from a scalar, or allocates the zeroed array of a container
// (pushing a frame for it). Returns false when memory ran out.
bool BuildOne(const BindingValue& source, HostValue& target, std::vector<BuildFrame>& frames) {
    target = HostValue{};
    switch (source.Kind()) {
        case BindingValueKind::Empty: return true;
        case BindingValueKind::Bool:
            target.tag = static_cast<std::uint32_t>(HostValueTag::Bool);
            target.payload.boolean = source.AsBool() ? 1 : 0;
            return true;
        case BindingValueKind::Signed:
            target.tag = static_cast<std::uint32_t>(HostValueTag::Signed);
            target.payload.signedValue = source.AsSigned();
            return true;
        case BindingValueKind::Unsigned:
            target.tag = static_cast<std::uint32_t>(HostValueTag::Unsigned);
            target.payload.unsignedValue = source.AsUnsigned();
            return true;
        case BindingValueKind::Float:
            target.tag = static_cast<std::uint32_t>(HostValueTag::Double);
            target.payload.number = source.AsFloat();
            return true;
        case BindingValueKind::Enum:
            target.tag = static_cast<std::uint32_t>(HostValueTag::Signed);
            target.payload.signedValue = source.AsEnum().value;
            return true;
        case BindingValueKind::String: {
            std::string_view text = source.AsString();
            char* copy = CopyText(text);
            if (copy == nullptr) return false;
            target.tag = static_cast<std::uint32_t>(HostValueTag::StringOwned);
            target.payload.span = {copy, static_cast<std::uint32_t>(text.size())};
            return true;
        }
        case BindingValueKind::Blob: {
            std::size_t size = source.Size();
            void* copy = std::malloc(size == 0 ? 1 : size);
            if (copy == nullptr) return false;
            if (size != 0) std::memcpy(copy, source.BlobData(), size);
            target.tag = static_cast<std::uint32_t>(HostValueTag::BinaryOwned);
            target.payload.span = {copy, static_cast<std::uint32_t>(size)};
            return true;
        }
        case BindingValueKind::Collection: {
            std::size_t count = source.Size();
            void* elements = std::calloc(count == 0 ? 1 : count, sizeof(HostValue));
            if (elements == nullptr) return false;
            target.tag = static_cast<std::uint32_t>(HostValueTag::Array);
            target.payload.span = {elements, static_cast<std::uint32_t>(count)};
            frames.push_back(BuildFrame{&source, &target, {}, 0});
            return true;
        }
        case BindingValueKind::Structure: {
            BuildFrame frame{&source, &target, {}, 0};
            source.ForEachMember([&frame](std::string_view key, const BindingValue& member) {
                frame.members.emplace_back(key, &member);
            });
            void* entries = std::calloc(frame.members.empty() ? 1 : frame.members.size(), sizeof(HostValueEntry));
            if (entries == nullptr) return false;
            target.tag = static_cast<std::uint32_t>(HostValueTag::Map);
            target.payload.span = {entries, static_cast<std::uint32_t>(frame.members.size())};
            frames.push_back(std::move(frame));
            return true;
        }
    }
    return true;
}

}  // namespace

Outcome<> BuildHostValue(HostValue& out, const BindingValue& value) {
    std::vector<BuildFrame> frames;
    bool ok = BuildOne(value, out, frames);
    while (ok && !frames.empty()) {
        BuildFrame& frame = frames.back();
        const std::uint32_t count = frame.target->payload.span.count;
        if (frame.next == count) {
            frames.pop_back();
            continue;
        }
        const std::uint32_t index = frame.next++;
        if (frame.target->tag == static_cast<std::uint32_t>(HostValueTag::Array)) {
            auto* elements = static_cast<HostValue*>(frame.target->payload.span.data);
            const BindingValue& element = frame.source->Element(index);
            ok = BuildOne(element, elements[index], frames);  // may reallocate `frames`
        } else {
            auto* entries = static_cast<HostValueEntry*>(frame.target->payload.span.data);
            auto [key, member] = frame.members[index];
            HostValueEntry& entry = entries[index];
            entry.key = CopyText(key);
            entry.ownsKey = 1;
            ok = entry.key != nullptr && BuildOne(*member, entry.value, frames);
        }
    }
    if (ok) return {};
    ReleaseHostValue(out);
    return Fail(kMsgOutOfMemory);
}

void ReleaseHostValue(HostValue& value) {
    // Containers are freed after their elements: their blocks are collected
    // and freed once the walk is over.
    std::vector<HostValue*> pending{&value};
    std::vector<void*> blocks;
    while (!pending.empty()) {
        HostValue* current = pending.back();
        pending.pop_back();
        switch (static_cast<HostValueTag>(current->tag)) {
            case HostValueTag::StringOwned:
            case HostValueTag::BinaryOwned: std::free(current->payload.span.data); break;
            case HostValueTag::Array: {
                auto* elements = static_cast<HostValue*>(current->payload.span.data);
                for (std::uint32_t i = 0; elements != nullptr && i < current->payload.span.count; ++i) {
                    pending.push_back(&elements[i]);
                }
                blocks.push_back(elements);
                break;
            }
            case HostValueTag::Map: {
                auto* entries = static_cast<HostValueEntry*>(current->payload.span.data);
                for (std::uint32_t i = 0; entries != nullptr && i < current->payload.span.count; ++i) {
                    if (entries[i].ownsKey != 0) std::free(const_cast<char*>(entries[i].key));
                    pending.push_back(&entries[i].value);
                }
                blocks.push_back(entries);
                break;
            }
            default: break;
        }
    }
    for (void* block : blocks) std::free(block);
    value = HostValue{};
}

namespace {

struct ReadFrame {
    const HostValue* container;
    BindingValue* target;
    std::uint32_t next = 0;
};

std::string PathOf(const std::vector<ReadFrame>& frames, ReadableMemory& memory) {
    std::string path = "<value>";
    for (const ReadFrame& frame : frames) {
        if (frame.next == 0) continue;
        const std::uint32_t index = frame.next - 1;
        if (frame.container->tag == static_cast<std::uint32_t>(HostValueTag::Array)) {
            path += "[" + std::to_string(index) + "]";
        } else {
            const auto* entries = static_cast<const HostValueEntry*>(frame.container->payload.span.data);
            std::string key;
            memory.ReadText(entries[index].key, kMaxTextLength, key);
            path += "." + key;
        }
    }
    return path;
}

// Copies one record into `target`; a container pushes a frame. Returns the
// reason when the record breaks the layout, else "".
std::string ReadOne(const HostValue& source, BindingValue& target, std::vector<ReadFrame>& frames,
                    ReadableMemory& memory) {
    target.Clear();
    const HostValueSpan& span = source.payload.span;
    switch (source.tag) {
        case 0: return {};
        case 1:
            if (source.payload.boolean > 1)
                return FormatPositional(kMsgHostValueBadBool, static_cast<unsigned>(source.payload.boolean));
            target.SetBool(source.payload.boolean != 0);
            return {};
        case 2: target.SetSigned(source.payload.signedValue); return {};
        case 3: target.SetUnsigned(source.payload.unsignedValue); return {};
        case 4: target.SetFloat(source.payload.number); return {};
        case 5:
        case 6: {
            std::string text;
            if (!memory.ReadText(static_cast<const char*>(span.data), kMaxTextLength, text)) {
                return FormatPositional(kMsgHostValueBadText, source.tag);
            }
            if (source.tag == 6 && text.size() != span.count) {
                return FormatPositional(kMsgHostValueBadLength, span.count, static_cast<unsigned>(text.size()));
            }
            target.SetString(text);
            return {};
        }
        case 7:
        case 8:
            if (span.count != 0 && !memory.Check(span.data, span.count)) {
                return FormatPositional(kMsgHostValueBadData, source.tag, span.count);
            }
            target.SetBlob(static_cast<const std::uint8_t*>(span.data), span.count);
            return {};
        case 9:
        case 10: {
            const std::size_t width = source.tag == 9 ? sizeof(HostValue) : sizeof(HostValueEntry);
            if (span.count != 0 && !memory.Check(span.data, std::size_t{span.count} * width)) {
                return FormatPositional(kMsgHostValueBadData, source.tag, span.count);
            }
            if (source.tag == 9) {
                target.MakeCollection();
                target.Reserve(span.count);
            } else {
                target.MakeStructure();
            }
            frames.push_back(ReadFrame{&source, &target, 0});
            return {};
        }
        default: return FormatPositional(kMsgHostValueBadTag, source.tag);
    }
}

}  // namespace

Outcome<BindingValue> ReadHostValue(const HostValue& value) {
    BindingValue out;
    std::vector<ReadFrame> frames;
    ReadableMemory memory;
    std::string problem = ReadOne(value, out, frames, memory);
    while (problem.empty() && !frames.empty()) {
        ReadFrame& frame = frames.back();
        const HostValueSpan& span = frame.container->payload.span;
        if (frame.next == span.count) {
            frames.pop_back();
            continue;
        }
        const std::uint32_t index = frame.next++;
        if (frame.container->tag == 9) {
            const auto* elements = static_cast<const HostValue*>(span.data);
            BindingValue& element = frame.target->Append();
            problem = ReadOne(elements[index], element, frames, memory);
        } else {
            const auto* entries = static_cast<const HostValueEntry*>(span.data);
            std::string key;
            if (!memory.ReadText(entries[index].key, kMaxTextLength, key)) {
                problem = kMsgHostValueBadKey;
                break;
            }
            problem = ReadOne(entries[index].value, frame.target->Member(key), frames, memory);
        }
    }
    if (problem.empty()) return out;
    return Fail(PathOf(frames, memory) + ": " + problem);
}

}  // namespace hpk::host
