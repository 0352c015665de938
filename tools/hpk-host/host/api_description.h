// The plugin's API as the host sees it: the packed host table walked into
// plain structures. Every pointer is probed before it is read and every chain
// is checked (each record's next pointer is the record after it in the same
// array, the last one's is null, the chain is exactly as long as its count),
// so a broken table is reported, never followed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "boundary/abi/host_description.h"
#include "text/outcome.h"

namespace hpk::host {

struct TypeRef {
    HostTypeKind kind = HostTypeKind::None;         // as the record carries it, even outside 0..19
    HostTypeKind elementKind = HostTypeKind::None;  // vectors and maps
    std::string name;                               // registered name for vector, enum, struct, map
};

// An enumeration or structure: its registered name stands for it.
inline bool IsNamedKind(HostTypeKind kind) { return kind == HostTypeKind::Enum || kind == HostTypeKind::Struct; }
// A vector or map: the element kind (and a named element's name) matter too.
inline bool IsContainerKind(HostTypeKind kind) { return kind == HostTypeKind::Vector || kind == HostTypeKind::Map; }

struct ArgumentInfo {
    std::string name;
    std::string description;
    TypeRef type;
    bool optional = false;
};

struct EndpointInfo {
    const HostEndpointRecord* record = nullptr;
    HostRequestCallback callback = nullptr;
    void* userData = nullptr;
    std::string pathTemplate;
    std::uint32_t method = 0;
    std::string methodName;
    std::uint8_t flags = 0;
    std::vector<std::int32_t> locations;  // one per argument
    std::vector<std::vector<std::string>> textLists;
};

struct FunctionInfo {
    std::string name;
    std::string nameSpace;
    std::vector<ArgumentInfo> arguments;
    TypeRef result;
    std::string description;
    std::string help;
    bool threadSafe = false;
    std::string asyncType;
    std::vector<std::string> tags;
    EndpointInfo endpoint;
};

struct FieldInfo {
    std::string name;
    std::string description;
    std::uint32_t offset = 0;
    TypeRef type;
    bool optional = false;
};

struct EnumeratorInfo {
    std::string name;
    std::string description;
    std::int32_t value = 0;
};

struct TypeInfo {
    std::string name;
    std::string nameSpace;
    std::uint32_t size = 0;
    std::string description;
    std::vector<std::string> tags;
    bool hasFields = false;  // false: an enumeration (or a structure without fields)
    std::vector<FieldInfo> fields;
    std::vector<EnumeratorInfo> enumerators;
};

struct EventInfo {
    std::string name;
    std::string nameSpace;
    std::string payloadType;
    std::string description;
    std::vector<std::string> tags;
};

struct ApiDescription {
    std::vector<FunctionInfo> functions;  // one per endpoint record, in table order
    std::vector<TypeInfo> types;
    std::vector<EventInfo> events;
    // Facts that break the contract without stopping the walk (a null text,
    // a kind code out of range, a field naming an unregistered type), each
    // naming the record, e.g. "type HpkBeX field y: type name is null".
    std::vector<std::string> problems;

    const TypeInfo* FindType(const std::string& name) const;
};

// Walks `table`. Fails when a record or chain cannot be followed (unreadable
// memory, a broken or cyclic chain, a count that does not match); `out` then
// holds what was read before, which a handshake check still shows.
Outcome<> ReadApiDescription(const HostTableRecord* table, ApiDescription& out);

// Text name of a type kind ("int32", "vector", ...); "" outside 1..19.
const char* TypeKindText(HostTypeKind kind);

// A readable type: "string", "vector<int32>", "HpkBeArxContentTargetingGeoInfo",
// "vector<HpkBeArxContentTargetingChampionGames>", "map<string, int32>".
std::string TypeRefText(const TypeRef& type);

// The endpoint whose path template matches `path` ("{name}" segments match
// any one non-empty segment) and whose method is `method` or 0; null if none.
const FunctionInfo* FindEndpoint(const ApiDescription& api, const std::string& path, std::uint32_t method);

}  // namespace hpk::host
