// MessagePack decoding into BindingValue trees. One loop over an explicit frame
// stack: containers push a frame, scalars are written in place.
#include "formats/msgpack_reader.h"

#include <algorithm>
#include <cstring>

#include "binding/binding_value_parts.h"
#include "diagnostics/positional_format.h"
#include "formats/formats_messages.h"

namespace hpk {
namespace {

// Multi-byte fields are big-endian on the wire.
inline std::uint16_t Load16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }
inline std::uint32_t Load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}
inline std::uint64_t Load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Load32(p)) << 32 | Load32(p + 4);
}

// The fixed-width scalars 0xCA-0xD3 (float 32 and 64, uint 8-64, int 8-64)
// carry 1 << (format & 3) bytes of big-endian value after the type byte.
inline std::size_t FixedWidth(std::uint8_t format) { return std::size_t{1} << (format & 3u); }

// The float whose IEEE bits are `bits` (same size as Float).
template <class Float, class Bits>
[[gnu::always_inline]] inline void SetFloatBits(BindingValue& target, Bits bits) {
    static_assert(sizeof(Float) == sizeof(Bits), "a float is read from its own width");
    Float value;
    std::memcpy(&value, &bits, sizeof value);
    target.SetFloat(value);
}

// Writes the fixed-width scalar whose `FixedWidth(format)` bytes start at `p`.
// Inlined into both callers: the quick path is the hot loop of numeric payloads.
[[gnu::always_inline]] inline void SetFixedWidth(BindingValue& target, std::uint8_t format, const std::uint8_t* p) {
    if (format >= 0xCC) {  // uint 8-64, then int 8-64
        const std::size_t width = FixedWidth(format);
        const std::uint64_t bits = width == 1 ? p[0] : width == 2 ? Load16(p) : width == 4 ? Load32(p) : Load64(p);
        if (format <= 0xCF) {
            target.SetUnsigned(bits);
        } else {
            // Sign-extend from the field's width.
            const unsigned shift = 64 - 8 * static_cast<unsigned>(width);
            target.SetSigned(static_cast<std::int64_t>(bits << shift) >> shift);
        }
    } else if (format == 0xCB) {
        SetFloatBits<double>(target, Load64(p));
    } else {
        SetFloatBits<float>(target, Load32(p));
    }
}

const char* TruncationMessage(std::uint8_t width) {
    switch (width) {
        case 1: return kMsgMessagePackTruncated8;
        case 2: return kMsgMessagePackTruncated16;
        case 4: return kMsgMessagePackTruncated32;
        default: return kMsgMessagePackTruncated64;
    }
}

}  // namespace

void MessagePackReader::Fail(const char* message, std::size_t position) {
    result_.SetError(FormatPositional(message, position));
}

bool MessagePackReader::Need(std::size_t count, const char* message) {
    if (size_ - position_ >= count) return true;
    Fail(message, position_);
    return false;
}

// Reads a big-endian length or count of 1, 2 or 4 bytes.
bool MessagePackReader::TakeLength(std::uint8_t width, std::uint32_t& length) {
    if (!Need(width, TruncationMessage(width))) return false;
    const std::uint8_t* p = data_ + position_;
    length = width == 1 ? p[0] : width == 2 ? Load16(p) : Load32(p);
    position_ += width;
    return true;
}

bool MessagePackReader::ReadKey(std::string_view& key) {
    const std::uint8_t format = data_[position_++];
    std::uint32_t length = 0;
    if (format >= 0xA0 && format <= 0xBF) {
        length = format & 0x1Fu;
    } else if (format >= 0xD9 && format <= 0xDB) {
        if (!TakeLength(static_cast<std::uint8_t>(1u << (format - 0xD9)), length)) return false;
    } else {
        Fail(kMsgMessagePackKeyNotString, position_);
        return false;
    }
    if (size_ - position_ < length) {
        result_.SetError(FormatPositional(kMsgMessagePackStringTruncated, length, position_));
        return false;
    }
    key = std::string_view(reinterpret_cast<const char*>(data_ + position_), length);
    position_ += length;
    return true;
}

bool MessagePackReader::ReadValue(BindingValue& target) {
    const std::uint8_t format = data_[position_++];
    if (format <= 0x7F) {  // positive fixint: signed, by the format's contract
        target.SetSigned(format);
        return true;
    }
    if (format >= 0xE0) {
        target.SetSigned(static_cast<std::int8_t>(format));
        return true;
    }

    FrameKind container = FrameKind::Collection;  // set on every path that reaches OpenContainer
    std::uint32_t count = 0;
    std::uint32_t length = 0;
    enum class Bytes { None, Text, Raw } bytes = Bytes::None;

    if (format <= 0x8F) {
        container = FrameKind::Structure;
        count = format & 0x0Fu;
    } else if (format <= 0x9F) {
        container = FrameKind::Collection;
        count = format & 0x0Fu;
    } else if (format <= 0xBF) {
        bytes = Bytes::Text;
        length = format & 0x1Fu;
    } else {
        const std::uint8_t* p = data_ + position_;
        switch (format) {
            case 0xC0: return true;  // nil: the target keeps what it holds
            case 0xC2: target.SetBool(false); return true;
            case 0xC3: target.SetBool(true); return true;
            case 0xC4:
            case 0xC5:
            case 0xC6:
                if (!TakeLength(static_cast<std::uint8_t>(1u << (format - 0xC4)), length)) return false;
                bytes = Bytes::Raw;
                break;
            case 0xCA:
            case 0xCB:
            case 0xCC:
            case 0xCD:
            case 0xCE:
            case 0xCF:
            case 0xD0:
            case 0xD1:
            case 0xD2:
            case 0xD3: {
                const std::size_t width = FixedWidth(format);
                if (!Need(width, TruncationMessage(static_cast<std::uint8_t>(width)))) return false;
                SetFixedWidth(target, format, p);
                position_ += width;
                return true;
            }
            case 0xD9:
            case 0xDA:
            case 0xDB:
                if (!TakeLength(static_cast<std::uint8_t>(1u << (format - 0xD9)), length)) return false;
                bytes = Bytes::Text;
                break;
            case 0xDC:
            case 0xDD:
                if (!TakeLength(format == 0xDC ? 2 : 4, count)) return false;
                container = FrameKind::Collection;
                break;
            case 0xDE:
            case 0xDF:
                if (!TakeLength(format == 0xDE ? 2 : 4, count)) return false;
                container = FrameKind::Structure;
                break;
            default:  // 0xC1 (never used), ext, fixext: no dynamic value holds them
                Fail(kMsgMessagePackInvalidData, position_);
                return false;
        }
    }

    if (bytes != Bytes::None) {
        if (size_ - position_ < length) {
            result_.SetError(
                FormatPositional(bytes == Bytes::Text ? kMsgMessagePackStringTruncated : kMsgMessagePackRawTruncated,
                                 length, position_));
            return false;
        }
        const std::uint8_t* p = data_ + position_;
        if (bytes == Bytes::Text) {
            target.SetString(std::string_view(reinterpret_cast<const char*>(p), length));
        } else {
            target.SetBlob(p, length);
        }
        position_ += length;
        return true;
    }

    OpenContainer(target, container, count);
    return true;
}

// `position_` is past the container's header.
inline void MessagePackReader::OpenContainer(BindingValue& target, FrameKind container, std::uint32_t count) {
    // A repeated key reaches a member of its own, resolved when its
    // structure ends, so `target` is always empty here.
    if (arena_ == nullptr) arena_ = &BindingValueAccess::ArenaOf(result_.Value());
    if (container == FrameKind::Collection) {
        BindingValueAccess::MakeContainer(target, BindingValueKind::Collection);
        if (count == 0) return;
        // Every element takes at least one byte, so a lying count cannot make
        // the room larger than the input, and no more elements than that can begin.
        BindingCollection* items = BindingValueAccess::StartItems(target, std::min<std::size_t>(count, size_ - position_));
        stack_.Push() = Frame{&target, count, 0, container, items, 0};
    } else {
        BindingValueAccess::MakeContainer(target, BindingValueKind::Structure);
        if (count == 0) return;
        stack_.Push() = Frame{&target, count, 0, container, nullptr, static_cast<std::uint32_t>(members_.Size())};
    }
}

void MessagePackReader::CloseFrame(const Frame& frame) {
    if (frame.kind == FrameKind::Structure) {
        BindingValueAccess::LinkMembers(*frame.target, members_.Data() + frame.firstMember,
                                        members_.Size() - frame.firstMember, RepeatedKey::Replace, &orders_);
        members_.Truncate(frame.firstMember);
    }
    stack_.Pop();
}

// The commonest items of a payload (small integers, short strings, booleans)
// handled in the loop itself: one bounds check, a direct write. Everything
// else, and every failure, goes through ReadValue. True when handled.
inline bool MessagePackReader::QuickValue(BindingValue& target) {
    const std::uint8_t format = data_[position_];
    if (format <= 0x7F) {  // positive fixint: signed, by the format's contract
        target.SetSigned(format);
    } else if (format >= 0xE0) {
        target.SetSigned(static_cast<std::int8_t>(format));
    } else if (format <= 0x9F) {  // fixmap, fixarray: small records and pairs
        ++position_;
        OpenContainer(target, format <= 0x8F ? FrameKind::Structure : FrameKind::Collection, format & 0x0Fu);
        return true;
    } else if (format >= 0xA0 && format <= 0xBF) {
        const std::uint32_t length = format & 0x1Fu;
        if (size_ - position_ - 1 < length) return false;  // ReadValue reports it
        target.SetString(std::string_view(reinterpret_cast<const char*>(data_ + position_ + 1), length));
        position_ += length;
    } else if (format == 0xC2 || format == 0xC3) {
        target.SetBool(format == 0xC3);
    } else if (format == 0xCB) {
        // Float 64 (coordinates, measures) on its own, so that its width and
        // kind are constants in the inlined decoding.
        if (size_ - position_ - 1 < FixedWidth(0xCB)) return false;  // ReadValue reports it
        SetFixedWidth(target, 0xCB, data_ + position_ + 1);
        position_ += FixedWidth(0xCB);
    } else if (format >= 0xCC && format <= 0xD3) {  // integers: counters, identifiers
        const std::size_t width = FixedWidth(format);
        if (size_ - position_ - 1 < width) return false;  // ReadValue reports it
        SetFixedWidth(target, format, data_ + position_ + 1);
        position_ += width;
    } else {
        return false;
    }
    ++position_;
    return true;
}

// `frame` is stack_.Back(); it is not touched after an item opened a
// container, which may have moved the stack.
inline bool MessagePackReader::ReadItems(Frame& frame) {
    const std::size_t depth = stack_.Size();
    while (frame.begun != frame.expected) {
        if (position_ == size_) return false;  // input ended between items: the result holds what was begun
        ++frame.begun;
        BindingValue* item;
        if (frame.kind == FrameKind::Collection) {
            item = &frame.items->items[frame.items->size++];
            BindingValueAccess::InitChild(item, arena_);
        } else {
            // A fixstr key (nearly every member name) is taken here.
            std::string_view key;
            const std::uint8_t format = data_[position_];
            const std::uint32_t length = format & 0x1Fu;
            if (format >= 0xA0 && format <= 0xBF && size_ - position_ - 1 >= length) {
                key = std::string_view(reinterpret_cast<const char*>(data_ + position_ + 1), length);
                position_ += 1 + length;
            } else if (!ReadKey(key)) {
                return false;
            }
            // Input that ends after a key leaves the member out, as it leaves
            // out any item not begun.
            if (position_ == size_) return false;
            BindingMemberNode* node = BindingValueAccess::NewMember(*arena_, key);
            const auto order = static_cast<std::uint32_t>(members_.Size() - frame.firstMember);
            members_.Push() = PendingMember{node->key->lead, order, node};
            item = &node->value;
        }
        if (!QuickValue(*item) && !ReadValue(*item)) return false;
        if (stack_.Size() != depth) return true;
    }
    CloseFrame(frame);
    return true;
}

MessagePackReadResult MessagePackReader::Read() {
    BindingValue& root = result_.Value();
    if (position_ < size_ && (QuickValue(root) || ReadValue(root))) {
        while (!stack_.Empty() && ReadItems(stack_.Back())) {}
    }
    // Input that ended inside containers leaves what was begun: their members
    // are linked now. A failed result was cleared, its nodes with it.
    while (!stack_.Empty()) {
        if (result_.IsOk()) {
            CloseFrame(stack_.Back());
        } else {
            stack_.Pop();
        }
    }
    MessagePackReadResult out;
    out.result = std::move(result_);
    out.consumed = position_;
    return out;
}

MessagePackReadResult ReadMessagePack(const std::uint8_t* data, std::size_t size) {
    return MessagePackReader(data, size).Read();
}

bool RecogniseMessagePack(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return false;
    const std::uint8_t first = data[0];
    return (first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF);
}

}  // namespace hpk
