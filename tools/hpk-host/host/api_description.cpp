// Walking the host table the plugin hands over at load.
#include "host/api_description.h"

#include <cstdio>
#include <utility>

#include "diagnostics/positional_format.h"
#include "text/host_messages.h"
#include "host/host_platform.h"

namespace hpk::host {

namespace {

constexpr std::uint32_t kMaxRecords = 1u << 20;
constexpr std::size_t kMaxText = 1u << 20;

const HostEndpointRecord* NextOf(const HostEndpointRecord& record) {
    return reinterpret_cast<const HostEndpointRecord*>(record.function.next);
}
template <class R>
const R* NextOf(const R& record) {
    return record.next;
}

std::string Address(const void* pointer) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pointer)));
    return buffer;
}

class Walker {
public:
    explicit Walker(ApiDescription& out) : out_(out) {}

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    void Fail(const std::string& text) {
        if (error_.empty()) error_ = text;
    }
    void Problem(const std::string& text) { out_.problems.push_back(text); }

    // Checks that `count` records from `first` form one contiguous array
    // chained in order. An empty chain may have any first pointer.
    template <class R>
    bool Chain(const R* first, std::uint32_t count, const std::string& what) {
        if (!Ok()) return false;
        if (count == 0) return true;
        if (count > kMaxRecords) {
            Fail(FormatPositional(kMsgChainTooLong, what, count));
            return false;
        }
        if (!IsReadable(first, std::size_t{count} * sizeof(R))) {
            Fail(FormatPositional(kMsgChainUnreadable, what, count, Address(first)));
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const R* next = NextOf(first[i]);
            const R* expected = i + 1 < count ? &first[i + 1] : nullptr;
            if (next == expected) continue;
            if (expected == nullptr) {
                Fail(FormatPositional(kMsgChainLonger, what, count, Address(next)));
            } else if (next == nullptr) {
                Fail(FormatPositional(kMsgChainShorter, what, i + 1, count));
            } else if (next >= first && next <= &first[i]) {
                Fail(FormatPositional(kMsgChainCycle, what, i, static_cast<unsigned>(next - first)));
            } else {
                Fail(FormatPositional(kMsgChainNotNext, what, i, Address(next)));
            }
            return false;
        }
        return true;
    }

    std::string Text(const char* text, const std::string& what, const char* field, bool nullAllowed = false) {
        std::string out;
        if (text == nullptr) {
            if (!nullAllowed) Problem(FormatPositional(kMsgTextNull, what, field));
            return out;
        }
        if (!ReadTextSafely(text, kMaxText, out))
            Problem(FormatPositional(kMsgTextUnreadable, what, field, Address(text)));
        return out;
    }

    std::vector<std::string> Texts(const char* const* texts, std::uint32_t count, const std::string& what,
                                   const char* field) {
        std::vector<std::string> out;
        if (count == 0) return out;
        if (count > kMaxRecords || !IsReadable(texts, std::size_t{count} * sizeof(const char*))) {
            Problem(FormatPositional(kMsgTextArrayUnreadable, what, field, count));
            return out;
        }
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(Text(texts[i], what, field));
        return out;
    }

    TypeRef Triple(const HostTypeTriple& triple, const std::string& what) {
        TypeRef type{static_cast<HostTypeKind>(triple.kind), static_cast<HostTypeKind>(triple.elementKind),
                     Text(triple.name, what, "type name")};
        constexpr auto kLast = static_cast<std::uint32_t>(kLastHostTypeKind);
        if (triple.kind > kLast) Problem(FormatPositional(kMsgKindOutOfRange, what, triple.kind));
        if (triple.elementKind > kLast) Problem(FormatPositional(kMsgKindOutOfRange, what, triple.elementKind));
        const bool named = IsNamedKind(type.kind) || (IsContainerKind(type.kind) && IsNamedKind(type.elementKind));
        if (named && type.name.empty()) Problem(FormatPositional(kMsgTypeNameMissing, what));
        references_.emplace_back(what, type.name);
        return type;
    }

    void EndpointRecord(const HostEndpointRecord& record, std::uint32_t index) {
        const HostFunctionRecord& f = record.function;
        FunctionInfo info;
        std::string what = FormatPositional(kMsgWhereEndpoint, index);
        info.name = Text(f.name, what, "name");
        what = FormatPositional(kMsgWhereFunction, info.name);
        info.nameSpace = Text(f.nameSpace, what, "name space");
        if (f.zero != 0) Problem(FormatPositional(kMsgWordNotZero, what));
        if (!Chain(f.arguments, f.argumentCount, what + " arguments")) return;
        for (std::uint32_t i = 0; i < f.argumentCount; ++i) {
            const HostArgumentRecord& a = f.arguments[i];
            ArgumentInfo argument;
            argument.name = Text(a.name, what, "argument name");
            const std::string where = what + " argument " + argument.name;
            argument.description = Text(a.description, where, "description");
            argument.type = Triple(a.type, where);
            argument.optional = a.optional != 0;
            info.arguments.push_back(std::move(argument));
        }
        info.result = Triple(f.result, what + " result");
        info.description = Text(f.description, what, "description");
        info.help = Text(f.help, what, "help");
        info.threadSafe = f.threadSafe != 0;
        info.asyncType = Text(f.asyncTypeName, what, "asynchronous type name");
        info.tags = Texts(f.tags, f.tagCount, what, "tag");

        EndpointInfo& endpoint = info.endpoint;
        endpoint.record = &record;
        endpoint.callback = record.requestCallback;
        endpoint.userData = f.endpointUserData;
        if (endpoint.callback == nullptr) Problem(FormatPositional(kMsgEndpointNoCallback, what));
        if (endpoint.userData == nullptr) Problem(FormatPositional(kMsgEndpointNoUserData, what));
        endpoint.pathTemplate = Text(record.pathTemplate, what, "path template");
        endpoint.method = record.method;
        if (record.method > 8) Problem(FormatPositional(kMsgMethodOutOfRange, what, record.method));
        endpoint.methodName = Text(record.methodName, what, "method name", true);
        endpoint.flags = record.flags;
        if (!Chain(record.argumentLocations, f.argumentCount, what + " argument locations")) return;
        for (std::uint32_t i = 0; i < f.argumentCount; ++i) {
            endpoint.locations.push_back(record.argumentLocations[i].location);
        }
        if (!Chain(record.textLists, record.textListCount, what + " text lists")) return;
        for (std::uint32_t i = 0; i < record.textListCount; ++i) {
            const HostTextListRecord& list = record.textLists[i];
            endpoint.textLists.push_back(Texts(list.texts, list.count, what, "text list entry"));
        }
        out_.functions.push_back(std::move(info));
    }

    void TypeRecord(const HostTypeRecord& record, std::uint32_t index) {
        TypeInfo info;
        info.name = Text(record.name, FormatPositional(kMsgWhereTypeIndex, index), "name");
        const std::string what = FormatPositional(kMsgWhereType, info.name);
        info.nameSpace = Text(record.nameSpace, what, "name space");
        info.size = record.size;
        info.description = Text(record.description, what, "description");
        info.tags = Texts(record.tags, record.tagCount, what, "tag");
        if (record.fields != nullptr && record.enumerators != nullptr)
            Problem(FormatPositional(kMsgFieldsAndEnumerators, what));
        if (record.fields != nullptr) {
            info.hasFields = true;
            if (!Chain(record.fields, record.count, what + " fields")) return;
            for (std::uint32_t i = 0; i < record.count; ++i) {
                const HostFieldRecord& f = record.fields[i];
                FieldInfo field;
                field.name = Text(f.name, what, "field name");
                const std::string where = what + " field " + field.name;
                field.description = Text(f.description, where, "description");
                field.offset = f.offset;
                field.type = Triple(f.type, where);
                field.optional = f.optional != 0;
                if (info.size != 0 && field.offset >= info.size) {
                    Problem(FormatPositional(kMsgFieldOffset, where, field.offset, info.size));
                }
                info.fields.push_back(std::move(field));
            }
        } else if (record.enumerators != nullptr || record.count != 0) {
            if (!Chain(record.enumerators, record.count, what + " enumerators")) return;
            for (std::uint32_t i = 0; i < record.count; ++i) {
                const HostEnumeratorRecord& e = record.enumerators[i];
                EnumeratorInfo enumerator{Text(e.name, what, "enumerator name"), {}, e.value};
                enumerator.description = Text(e.description, what + " enumerator " + enumerator.name, "description");
                if (!info.enumerators.empty() && !(info.enumerators.back().name < enumerator.name)) {
                    Problem(FormatPositional(kMsgEnumeratorOrder, what, enumerator.name));
                }
                info.enumerators.push_back(std::move(enumerator));
            }
        }
        out_.types.push_back(std::move(info));
    }

    void EventRecord(const HostEventRecord& record, std::uint32_t index) {
        EventInfo info;
        info.name = Text(record.name, FormatPositional(kMsgWhereEventIndex, index), "name");
        const std::string what = FormatPositional(kMsgWhereEvent, info.name);
        info.nameSpace = Text(record.nameSpace, what, "name space");
        info.payloadType = Text(record.payloadTypeName, what, "payload type name");
        info.description = Text(record.description, what, "description");
        info.tags = Texts(record.tags, record.tagCount, what, "tag");
        references_.emplace_back(what + " payload", info.payloadType);
        out_.events.push_back(std::move(info));
    }

    // Every named type a field, argument, result or event refers to is described.
    void CheckReferences() {
        for (const auto& [what, name] : references_) {
            if (!name.empty() && out_.FindType(name) == nullptr) {
                Problem(FormatPositional(kMsgTypeNotDescribed, what, name));
            }
        }
    }

private:
    ApiDescription& out_;
    std::string error_;
    std::vector<std::pair<std::string, std::string>> references_;
};

}  // namespace

const TypeInfo* ApiDescription::FindType(const std::string& name) const {
    for (const TypeInfo& type : types) {
        if (type.name == name) return &type;
    }
    return nullptr;
}

Outcome<> ReadApiDescription(const HostTableRecord* table, ApiDescription& out) {
    out = ApiDescription{};
    if (table == nullptr || !IsReadable(table, sizeof(HostTableRecord))) return Fail(kMsgHostTableUnreadable);
    Walker walker(out);
    if (walker.Chain(table->endpoints, table->endpointCount, "endpoint records")) {
        for (std::uint32_t i = 0; i < table->endpointCount && walker.Ok(); ++i)
            walker.EndpointRecord(table->endpoints[i], i);
    }
    if (walker.Chain(table->types, table->typeCount, "type records")) {
        for (std::uint32_t i = 0; i < table->typeCount && walker.Ok(); ++i) walker.TypeRecord(table->types[i], i);
    }
    if (walker.Chain(table->events, table->eventCount, "event records")) {
        for (std::uint32_t i = 0; i < table->eventCount && walker.Ok(); ++i) walker.EventRecord(table->events[i], i);
    }
    if (!walker.Ok()) return Fail(walker.Error());
    walker.CheckReferences();
    return {};
}

const char* TypeKindText(HostTypeKind kind) {
    static const char* const kNames[] = {"",       "bool",   "int8",   "uint8",  "int16",    "uint16", "int32",
                                         "uint32", "int64",  "uint64", "float",  "double",   "string", "object",
                                         "blob",   "vector", "enum",   "struct", "callback", "map"};
    const auto code = static_cast<std::uint32_t>(kind);
    return kind <= kLastHostTypeKind ? kNames[code] : "";
}

std::string TypeRefText(const TypeRef& type) {
    auto element = [&]() -> std::string {
        if (IsNamedKind(type.elementKind) && !type.name.empty()) return type.name;
        return TypeKindText(type.elementKind);
    };
    switch (type.kind) {
        case HostTypeKind::Vector: return "vector<" + element() + ">";
        case HostTypeKind::Map: return "map<string, " + element() + ">";
        case HostTypeKind::Enum:
        case HostTypeKind::Struct: return type.name.empty() ? TypeKindText(type.kind) : type.name;
        default: return TypeKindText(type.kind);
    }
}

const FunctionInfo* FindEndpoint(const ApiDescription& api, const std::string& path, std::uint32_t method) {
    auto segments = [](const std::string& text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t slash = text.find('/', start);
            if (slash == std::string::npos) slash = text.size();
            out.push_back(text.substr(start, slash - start));
            start = slash + 1;
        }
        return out;
    };
    const std::vector<std::string> wanted = segments(path);
    for (const FunctionInfo& function : api.functions) {
        const EndpointInfo& endpoint = function.endpoint;
        if (endpoint.method != 0 && endpoint.method != method) continue;
        std::vector<std::string> pattern = segments(endpoint.pathTemplate);
        if (pattern.size() != wanted.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < pattern.size() && match; ++i) {
            const std::string& p = pattern[i];
            const bool parameter = p.size() >= 2 && p.front() == '{' && p.back() == '}';
            match = parameter ? !wanted[i].empty() : p == wanted[i];
        }
        if (match) return &function;
    }
    return nullptr;
}

}  // namespace hpk::host
