// The packed description of the plugin's API handed to the host at load:
// the table, function/argument/type/field/enumerator/event records, and the
// endpoint records the host dispatches requests through. Every record kind is
// one contiguous array, also chained through its first word (null in the last).
#pragma once
#include <cstddef>
#include <cstdint>

#include "boundary/abi/host_request.h"

// The codes a HostTypeTriple carries: the native shape of a value. The plugin's
// type system names kinds with these same codes (BindingTypeKind is this type).
enum class HostTypeKind : std::uint32_t {
    None = 0,  // also written for any code outside 1..19
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float = 10,
    Double = 11,
    String = 12,
    Object = 13,  // any dynamic value, passed through
    Blob = 14,    // byte vector
    Vector = 15,
    Enum = 16,    // registered enumeration
    Struct = 17,  // registered structure
    Callback = 18,
    Map = 19,  // string to one element type
};
inline constexpr HostTypeKind kLastHostTypeKind = HostTypeKind::Map;

#pragma pack(push, 1)
struct HostTypeTriple {
    std::uint32_t kind;         // HostTypeKind
    std::uint32_t elementKind;  // HostTypeKind of the element, for vector and map
    const char* name;           // registered name for vector/enum/struct/map, else ""
};
struct HostArgumentRecord {
    HostArgumentRecord* next;
    const char* name;
    const char* description;
    HostTypeTriple type;
    std::uint8_t optional;
};
struct HostFunctionRecord {
    HostFunctionRecord* next;  // in an endpoint array: the next endpoint record
    std::uint32_t zero;
    void* endpointUserData;  // set when the endpoint records are assembled
    const char* name;
    const char* nameSpace;
    HostArgumentRecord* arguments;
    std::uint32_t argumentCount;
    HostTypeTriple result;
    const char* description;
    const char* help;
    std::uint8_t threadSafe;
    const char* asyncTypeName;  // "" unless asynchronous
    const char* const* tags;
    std::uint32_t tagCount;
};
struct HostFieldRecord {
    HostFieldRecord* next;
    const char* name;
    const char* description;
    std::uint32_t offset;  // in the native record
    HostTypeTriple type;
    std::uint8_t optional;
};
struct HostEnumeratorRecord {
    HostEnumeratorRecord* next;
    const char* name;
    const char* description;
    std::int32_t value;
};
struct HostTypeRecord {
    HostTypeRecord* next;
    const char* name;
    const char* nameSpace;
    std::uint32_t size;
    const char* description;
    const char* const* tags;
    std::uint32_t tagCount;
    HostFieldRecord* fields;            // null when the type has no fields
    HostEnumeratorRecord* enumerators;  // null when the type has fields
    std::uint32_t count;                // fields if any, else enumerators
};
struct HostEventRecord {
    HostEventRecord* next;
    const char* name;
    const char* nameSpace;
    const char* payloadTypeName;
    const char* description;
    const char* const* tags;
    std::uint32_t tagCount;
};

// Request routine stored in every endpoint record; fills `response`.
using HostRequestCallback = void (*)(HostResponse* response, const HostRequest* request);

struct HostArgumentLocationRecord {
    HostArgumentLocationRecord* next;
    std::int32_t location;  // 1..5 kept, anything else written as 0
};
struct HostTextListRecord {
    HostTextListRecord* next;
    const char* const* texts;
    std::uint32_t count;
};
struct HostEndpointRecord {
    HostFunctionRecord function;  // function.next chains the endpoint records
    HostRequestCallback requestCallback;
    HostArgumentLocationRecord* argumentLocations;
    const char* pathTemplate;
    std::uint32_t method;  // 1..8 as registered, else 0
    std::uint8_t flags;
    HostTextListRecord* textLists;
    std::uint32_t textListCount;
    const char* methodName;
};
struct HostTableRecord {
    HostEndpointRecord* endpoints;
    std::uint32_t endpointCount;
    HostTypeRecord* types;
    std::uint32_t typeCount;
    HostEventRecord* events;
    std::uint32_t eventCount;
};
#pragma pack(pop)

static_assert(sizeof(HostTypeTriple) == 12 && offsetof(HostTypeTriple, name) == 8);
static_assert(sizeof(HostArgumentRecord) == 25);
static_assert(offsetof(HostArgumentRecord, name) == 4 && offsetof(HostArgumentRecord, description) == 8 &&
              offsetof(HostArgumentRecord, type) == 12 && offsetof(HostArgumentRecord, optional) == 24);
static_assert(sizeof(HostFunctionRecord) == 61);
static_assert(offsetof(HostFunctionRecord, zero) == 4 && offsetof(HostFunctionRecord, endpointUserData) == 8 &&
              offsetof(HostFunctionRecord, name) == 12 && offsetof(HostFunctionRecord, nameSpace) == 16 &&
              offsetof(HostFunctionRecord, arguments) == 20 && offsetof(HostFunctionRecord, argumentCount) == 24 &&
              offsetof(HostFunctionRecord, result) == 28 && offsetof(HostFunctionRecord, description) == 40 &&
              offsetof(HostFunctionRecord, help) == 44 && offsetof(HostFunctionRecord, threadSafe) == 48 &&
              offsetof(HostFunctionRecord, asyncTypeName) == 49 && offsetof(HostFunctionRecord, tags) == 53 &&
              offsetof(HostFunctionRecord, tagCount) == 57);
static_assert(sizeof(HostFieldRecord) == 29);
static_assert(offsetof(HostFieldRecord, offset) == 12 && offsetof(HostFieldRecord, type) == 16 &&
              offsetof(HostFieldRecord, optional) == 28);
static_assert(sizeof(HostEnumeratorRecord) == 16 && offsetof(HostEnumeratorRecord, value) == 12);
static_assert(sizeof(HostTypeRecord) == 40);
static_assert(offsetof(HostTypeRecord, size) == 12 && offsetof(HostTypeRecord, tags) == 20 &&
              offsetof(HostTypeRecord, fields) == 28 && offsetof(HostTypeRecord, enumerators) == 32 &&
              offsetof(HostTypeRecord, count) == 36);
static_assert(sizeof(HostEventRecord) == 28);
static_assert(offsetof(HostEventRecord, payloadTypeName) == 12 && offsetof(HostEventRecord, tagCount) == 24);
static_assert(sizeof(HostArgumentLocationRecord) == 8 && sizeof(HostTextListRecord) == 12);
static_assert(sizeof(HostEndpointRecord) == 90);
static_assert(offsetof(HostEndpointRecord, requestCallback) == 61 &&
              offsetof(HostEndpointRecord, argumentLocations) == 65 &&
              offsetof(HostEndpointRecord, pathTemplate) == 69 && offsetof(HostEndpointRecord, method) == 73 &&
              offsetof(HostEndpointRecord, flags) == 77 && offsetof(HostEndpointRecord, textLists) == 78 &&
              offsetof(HostEndpointRecord, textListCount) == 82 && offsetof(HostEndpointRecord, methodName) == 86);
static_assert(sizeof(HostTableRecord) == 24 && offsetof(HostTableRecord, eventCount) == 20);
