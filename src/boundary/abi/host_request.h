// Request and response records exchanged with the host in both directions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "boundary/abi/host_value.h"

#pragma pack(push, 1)
struct HostArgumentEntry {
    const char* name;  // null for a positional argument
    HostValue value;   // owned by whoever filled the request
};
struct HostHeaderEntry {
    const char* name;
    const char* value;
};
struct HostRequest {
    std::uint32_t method;          // RequestMethod code; 8: see methodName
    const char* url;               // path, optionally "?" and a query string
    HostArgumentEntry* arguments;  // null when argumentCount is 0
    std::uint32_t argumentCount;
    void* endpointUserData;  // handed back unchanged from the endpoint record
    HostHeaderEntry* headers;
    std::uint32_t headerCount;
    const char* contentType;  // may be null
    const void* body;         // null: no body
    std::uint32_t bodyLength;
    std::int32_t callerHandle;  // the sending plugin's handle
    const char* methodName;     // read only when method is 8
};

struct HostResponse;
// Stream routines stored in a response by the callee; the reader calls them.
using HostStreamReadFn = bool (*)(void* stream, void* buffer, std::uint32_t* size, bool* more);
using HostStreamCloseFn = void (*)(void* stream);
using HostResponseReleaseFn = void (*)(HostResponse* response);

struct HostResponse {
    HostValue body;            // owned by this record until release
    char* error;               // null on success
    std::uint8_t errorOwned;   // 1: `error` is freed by release
    std::uint8_t flags;        // copied from the handler's response
    std::uint32_t format;      // 1..3, else 0
    std::int32_t status;       // HTTP numbering; 404 for an unknown function
    char* text;                // owned, or the shared empty string that is never freed
    HostHeaderEntry* headers;  // owned array of owned texts, or null
    std::uint32_t headerCount;
    HostStreamReadFn streamRead;  // null without a stream
    HostStreamCloseFn streamClose;
    std::uint64_t streamSizeHint;   // high half always 0
    void* stream;                   // opaque; closed by whoever reads it
    HostResponseReleaseFn release;  // set by the callee; the caller calls it once
};
#pragma pack(pop)

static_assert(sizeof(HostArgumentEntry) == 16 && offsetof(HostArgumentEntry, value) == 4);
static_assert(sizeof(HostHeaderEntry) == 8 && offsetof(HostHeaderEntry, value) == 4);
static_assert(sizeof(HostRequest) == 48);
static_assert(offsetof(HostRequest, url) == 4 && offsetof(HostRequest, arguments) == 8 &&
              offsetof(HostRequest, argumentCount) == 12 && offsetof(HostRequest, endpointUserData) == 16 &&
              offsetof(HostRequest, headers) == 20 && offsetof(HostRequest, headerCount) == 24 &&
              offsetof(HostRequest, contentType) == 28 && offsetof(HostRequest, body) == 32 &&
              offsetof(HostRequest, bodyLength) == 36 && offsetof(HostRequest, callerHandle) == 40 &&
              offsetof(HostRequest, methodName) == 44);
static_assert(sizeof(HostResponse) == 62);
static_assert(offsetof(HostResponse, error) == 12 && offsetof(HostResponse, errorOwned) == 16 &&
              offsetof(HostResponse, flags) == 17 && offsetof(HostResponse, format) == 18 &&
              offsetof(HostResponse, status) == 22 && offsetof(HostResponse, text) == 26 &&
              offsetof(HostResponse, headers) == 30 && offsetof(HostResponse, headerCount) == 34 &&
              offsetof(HostResponse, streamRead) == 38 && offsetof(HostResponse, streamClose) == 42 &&
              offsetof(HostResponse, streamSizeHint) == 46 && offsetof(HostResponse, stream) == 54 &&
              offsetof(HostResponse, release) == 58);
