// What a served function's handler fills (HandlerResponse, with an optional
// body stream), and how it becomes the host's HostResponse record: the filling
// and the release routine live together here so that every allocation can be
// read beside its free.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "binding/binding_value.h"
#include "boundary/abi/host_request.h"

namespace hpk {

class EnumNameSource;

// A body the host reads piece by piece after the call. Owned by the
// HandlerResponse until the response is filled; then by the host, which closes
// it through the response's close routine.
class HostResponseStream {
public:
    // Fills up to *size bytes of `buffer`; *size becomes the bytes delivered and
    // *more says whether anything is left. False on a read failure.
    virtual bool Read(void* buffer, std::uint32_t* size, bool* more) = 0;
    // The byte count the host may expect (a hint).
    virtual std::uint32_t Size() = 0;
    virtual ~HostResponseStream() = default;
};

// One per served request, owned by the dispatcher.
struct HandlerResponse {
    BindingResult result;     // the returned value, or the error
    std::uint8_t flags = 0;   // carried to the host unchanged
    std::int32_t format = 0;  // 1..3 reach the host; anything else is written as 0
    std::int32_t status = 0;  // HTTP numbering; 0 when the handler set none
    std::string text;
    std::unordered_map<std::string, std::string> headers;
    std::unique_ptr<HostResponseStream> stream;

    // Sets the error (replacing the value and any earlier error) and drops the
    // body stream: an error response has no body to read.
    void SetError(std::string_view message);
    bool HasError() const { return !result.IsOk(); }
};

// The text every response without a text of its own points to. Never freed.
char* SharedEmptyText();

// The release routine stored in every response this plugin fills: frees the
// body, an owned error, the text (unless shared) and the headers, then zeroes
// all 62 bytes. Accepts a zeroed record. Never touches the stream: whoever reads
// it closes it. Never throws.
void ReleaseHostResponse(HostResponse* response);

// Releases whatever `response` holds and stores the release routine in it.
void ResetHostResponse(HostResponse& response);

// Sets an error on `response` (previously reset): an owned copy of `message`,
// or, when no memory is left, the static internal-error text (not owned).
void SetHostResponseError(HostResponse& response, std::string_view message);

// Writes `handler` into `response` (previously reset): the error or the body
// (enum values named through `enumNames`, which may be null), flags, format,
// status, text, headers, and the body stream, which moves out of `handler`.
// When memory runs out the response carries the internal-error text instead
// and nothing leaks.
void FillHostResponse(HostResponse& response, HandlerResponse& handler, const EnumNameSource* enumNames);

}  // namespace hpk
