// Filling and releasing HostResponse records. Everything the host frees later
// comes from the counting allocation hooks.
#include "router/handler_response.h"

#include <cstring>

#include "binding/host_value_convert.h"
#include "boundary/allocation_hooks.h"
#include "boundary/boundary_guard.h"
#include "router/router_messages.h"

namespace hpk {
namespace {

char gSharedEmptyText[1] = {'\0'};

// The internal-error text is static: writing it must not need memory.
void SetStaticError(HostResponse& response) {
    ReleaseHostValue(response.body);
    if (response.errorOwned != 0) Free(response.error);
    response.error = const_cast<char*>(kMsgInternalError);
    response.errorOwned = 0;
}

bool StreamRead(void* stream, void* buffer, std::uint32_t* size, bool* more) {
    if (stream == nullptr || size == nullptr || more == nullptr) return false;
    bool read = false;
    GuardedCall(
        [&](const std::exception*) {
            // The host cannot take an exception: a failing stream is a failed read.
            *size = 0;
            *more = false;
        },
        [&] { read = static_cast<HostResponseStream*>(stream)->Read(buffer, size, more); });
    return read;
}

void StreamClose(void* stream) {
    // A destructor that throws would end the process anyway; nothing to add.
    delete static_cast<HostResponseStream*>(stream);
}

// An owned copy of `text`, or null when memory ran out.
char* CopyText(std::string_view text) { return DuplicateText(text.data(), text.size()); }

bool FillHeaders(HostResponse& response, const std::unordered_map<std::string, std::string>& headers) {
    if (headers.empty()) return true;
    auto* entries = static_cast<HostHeaderEntry*>(Allocate(headers.size() * sizeof(HostHeaderEntry)));
    if (entries == nullptr) return false;
    std::memset(entries, 0, headers.size() * sizeof(HostHeaderEntry));
    // Stored before filling, so that the release routine frees a half-filled array.
    response.headers = entries;
    response.headerCount = static_cast<std::uint32_t>(headers.size());
    std::size_t i = 0;
    for (const auto& header : headers) {
        entries[i].name = CopyText(header.first);
        entries[i].value = CopyText(header.second);
        if (entries[i].name == nullptr || entries[i].value == nullptr) return false;
        ++i;
    }
    return true;
}

}  // namespace

void HandlerResponse::SetError(std::string_view message) {
    // A response's error is replaced, unlike a result's: a body error replaces
    // one from an earlier stage, and a handler may fail after setting its own.
    const std::string text(message);  // `message` may point into the result
    result = BindingResult();
    result.SetError(text);
    stream.reset();
}

char* SharedEmptyText() { return gSharedEmptyText; }

void ReleaseHostResponse(HostResponse* response) {
    if (response == nullptr) return;
    ReleaseHostValue(response->body);
    if (response->errorOwned != 0) Free(response->error);
    if (response->text != nullptr && response->text != gSharedEmptyText) Free(response->text);
    if (response->headers != nullptr) {
        for (std::uint32_t i = 0; i < response->headerCount; ++i) {
            Free(const_cast<char*>(response->headers[i].name));
            Free(const_cast<char*>(response->headers[i].value));
        }
        Free(response->headers);
    }
    std::memset(static_cast<void*>(response), 0, sizeof(HostResponse));
}

void ResetHostResponse(HostResponse& response) {
    ReleaseHostResponse(&response);
    response.release = &ReleaseHostResponse;
}

void SetHostResponseError(HostResponse& response, std::string_view message) {
    ReleaseHostValue(response.body);
    if (response.errorOwned != 0) Free(response.error);
    response.error = CopyText(message);
    response.errorOwned = 1;
    if (response.error == nullptr) SetStaticError(response);
}

void FillHostResponse(HostResponse& response, HandlerResponse& handler, const EnumNameSource* enumNames) {
    bool complete = true;
    if (handler.HasError()) {
        SetHostResponseError(response, handler.result.ErrorText());
    } else {
        complete = ToHostValue(response.body, handler.result.Value(), enumNames);
    }
    response.flags = handler.flags;
    response.format = handler.format >= 1 && handler.format <= 3 ? static_cast<std::uint32_t>(handler.format) : 0;
    response.status = handler.status;
    if (handler.text.empty()) {
        response.text = gSharedEmptyText;
    } else {
        response.text = CopyText(handler.text);
        complete = complete && response.text != nullptr;
    }
    complete = complete && FillHeaders(response, handler.headers);
    if (!complete) {
        // Out of memory: hand back no partial body, only the static error. The
        // stream stays with the handler response and dies with it.
        const HostResponseReleaseFn release = response.release;
        const std::int32_t status = response.status;
        ReleaseHostResponse(&response);
        response.release = release;
        response.status = status;
        response.text = gSharedEmptyText;
        SetStaticError(response);
        return;
    }
    if (handler.stream != nullptr) {
        response.streamSizeHint = handler.stream->Size();
        response.streamRead = &StreamRead;
        response.streamClose = &StreamClose;
        response.stream = handler.stream.release();
    }
}

}  // namespace hpk
