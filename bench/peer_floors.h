// The floors the value model sets under our readers: each peer's own parse,
// plus what a tree of ours must do on top of it and the peer never does. Every
// member name and every string is interned into a fresh arena, as a tree of
// ours holds them (each distinct text stored once, counted, found by its
// FNV-1a hash), and a header slot is taken from the arena for every non-empty
// array and object (a value holds a pointer to its collection's or
// structure's header, never its size). Nothing else of ours is done: no
// values, no member nodes, no ordering. Shared by the callgrind driver and the
// wall-time bench.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#ifndef MSGPACK_NO_BOOST
#define MSGPACK_NO_BOOST
#endif
#include <msgpack.hpp>
#include <rapidjson/document.h>
#include <yaml.h>

#include "binding/binding_value_parts.h"
#include "binding/value_arena.h"
#include "formats/yaml_scalar.h"
#include "peer_yaml.h"

namespace hpk::bench {

// `walk` on an arena created for it and destroyed after, as the readers start
// every document on a fresh one.
template <class Walk>
void InternEveryText(Walk&& walk) {
    BindingValueArena* arena = BindingValueArena::Create();
    walk(*arena);
    BindingValueArena::Destroy(arena);
}

// With `intern` false only the walk is done: in instructions, the floor is the
// interned run less the walked one, added to the peer's parse.
inline void InternRapid(BindingValueArena& arena, const rapidjson::Value& root, bool intern = true) {
    std::vector<const rapidjson::Value*> pending{&root};
    while (!pending.empty()) {
        const rapidjson::Value* value = pending.back();
        pending.pop_back();
        if (value->IsString()) {
            if (intern) arena.Intern(std::string_view(value->GetString(), value->GetStringLength()));
        } else if (value->IsArray()) {
            if (intern && !value->Empty()) arena.Allocate(sizeof(BindingCollection));
            for (const rapidjson::Value& item : value->GetArray()) pending.push_back(&item);
        } else if (value->IsObject()) {
            if (intern && value->MemberCount() != 0) arena.Allocate(sizeof(BindingStructure));
            for (const auto& member : value->GetObject()) {
                if (intern) arena.InternKey(std::string_view(member.name.GetString(), member.name.GetStringLength()));
                pending.push_back(&member.value);
            }
        }
    }
}

inline void InternPacked(BindingValueArena& arena, const msgpack::object& root, bool intern = true) {
    std::vector<const msgpack::object*> pending{&root};
    while (!pending.empty()) {
        const msgpack::object* object = pending.back();
        pending.pop_back();
        if (object->type == msgpack::type::STR) {
            if (intern) arena.Intern(std::string_view(object->via.str.ptr, object->via.str.size));
        } else if (object->type == msgpack::type::ARRAY) {
            if (intern && object->via.array.size != 0) arena.Allocate(sizeof(BindingCollection));
            for (std::uint32_t i = 0; i < object->via.array.size; ++i) pending.push_back(&object->via.array.ptr[i]);
        } else if (object->type == msgpack::type::MAP) {
            if (intern && object->via.map.size != 0) arena.Allocate(sizeof(BindingStructure));
            for (std::uint32_t i = 0; i < object->via.map.size; ++i) {
                const msgpack::object& key = object->via.map.ptr[i].key;
                if (intern && key.type == msgpack::type::STR) {
                    arena.InternKey(std::string_view(key.via.str.ptr, key.via.str.size));
                }
                pending.push_back(&object->via.map.ptr[i].val);
            }
        }
    }
}

// RapidJSON's `Document::Parse`, then its tree interned (or only walked).
inline bool RapidJsonInterned(const char* text, bool intern = true) {
    rapidjson::Document document;
    document.Parse(text);
    if (document.HasParseError()) return false;
    InternEveryText([&](BindingValueArena& arena) { InternRapid(arena, document, intern); });
    return true;
}

// msgpack-cxx's `unpack`, then its tree interned (or only walked).
inline bool MsgpackCxxInterned(const char* bytes, std::size_t size, bool intern = true) {
    const msgpack::object_handle handle = msgpack::unpack(bytes, size);
    InternEveryText([&](BindingValueArena& arena) { InternPacked(arena, handle.get(), intern); });
    return handle.get().type != msgpack::type::NIL;
}

// The YAML floor takes libyaml's events as they come, like any consumer of
// them: a mapping's nodes alternate key and value, and a container is known
// to be non-empty at its first node. Keys are interned as keys; a value is
// interned when it stays text: quoted and block scalars, and plain ones whose
// first byte starts no null, number or bool (the reader's own shortcut). Other
// plain scalars are typed by the value rules (null, bool, number, else text)
// into a value of the arena that no tree holds: the typing any reader of
// these rules must do, with the cheapest number reading we have (about half
// the instructions of std::from_chars on these decimals).
class YamlInterning {
public:
    explicit YamlInterning(BindingValueArena& arena) : arena_(arena) {}

    void operator()(const yaml_event_t& event) {
        switch (event.type) {
            case YAML_SCALAR_EVENT: OnScalar(event); break;
            case YAML_ALIAS_EVENT: NextIsKey(); break;
            case YAML_SEQUENCE_START_EVENT:
                NextIsKey();
                frames_.push_back({false, false, false});
                break;
            case YAML_MAPPING_START_EVENT:
                NextIsKey();
                frames_.push_back({true, true, false});
                break;
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT: frames_.pop_back(); break;
            default: break;
        }
    }

private:
    struct Frame {
        bool mapping;
        bool expectingKey;
        bool filled;
    };

    // Counts a node into the open container: true when it is a mapping key.
    bool NextIsKey() {
        if (frames_.empty()) return false;
        Frame& top = frames_.back();
        if (!top.filled) {
            top.filled = true;
            arena_.Allocate(top.mapping ? sizeof(BindingStructure) : sizeof(BindingCollection));
        }
        if (!top.mapping) return false;
        const bool key = top.expectingKey;
        top.expectingKey = !key;
        return key;
    }

    void OnScalar(const yaml_event_t& event) {
        const auto& scalar = event.data.scalar;
        const std::string_view text(reinterpret_cast<const char*>(scalar.value), scalar.length);
        if (NextIsKey()) {
            arena_.InternKey(text);
            return;
        }
        if (scalar.tag != nullptr) {
            if (std::strcmp(reinterpret_cast<const char*>(scalar.tag), YAML_STR_TAG) == 0) arena_.Intern(text);
            return;
        }
        const bool plain = scalar.style == YAML_PLAIN_SCALAR_STYLE || scalar.style == YAML_ANY_SCALAR_STYLE;
        if (!plain || (!text.empty() && IsYamlTextOnlyStart(text[0]))) {
            arena_.Intern(text);
            return;
        }
        // Raw room, never destroyed: the arena goes as a whole.
        alignas(BindingValue) unsigned char room[sizeof(BindingValue)];
        auto* value = reinterpret_cast<BindingValue*>(room);
        BindingValueAccess::InitChild(value, &arena_);
        TypeYamlPlainScalar(*value, text);
    }

    BindingValueArena& arena_;
    std::vector<Frame> frames_;
};

// libyaml's bare event loop with the interning above, on a fresh arena.
inline bool LibyamlInterned(const char* text, std::size_t size) {
    bool ok = false;
    InternEveryText([&](BindingValueArena& arena) { ok = LibyamlEvents(text, size, YamlInterning(arena)); });
    return ok;
}

}  // namespace hpk::bench
