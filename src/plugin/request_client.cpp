// Requests the plugin makes through the host: filling HostRequest, reading the
// HostResponse into a value or a RequestError, and releasing every response and
// closing every stream exactly once, on every path.
#include "plugin/request_client.h"

#include <algorithm>

#include "binding/host_value_convert.h"
#include "binding/type_registry.h"
#include "boundary/boundary_messages.h"
#include "diagnostics/named_template.h"
#include "formats/json_reader.h"
#include "plugin/plugin_messages.h"
#include "plugin/runtime_log.h"

namespace hpk {
namespace {

constexpr std::uint32_t kChunkSize = 4096;
// The size hint comes from another plugin; a wild one must not make us
// reserve gigabytes before a single byte has arrived.
constexpr std::uint64_t kMaxReservedHint = 16u * 1024u * 1024u;

// Closes the response's stream (when still open) and then runs its release
// routine, once, when the call that owns the response returns.
class ResponseOwner {
public:
    explicit ResponseOwner(HostResponse& response) : response_(response) {}
    ~ResponseOwner() {
        CloseResponseStream(response_);
        if (response_.release != nullptr) {
            HostResponseReleaseFn release = response_.release;
            response_.release = nullptr;
            release(&response_);
        }
    }
    ResponseOwner(const ResponseOwner&) = delete;
    ResponseOwner& operator=(const ResponseOwner&) = delete;

    static void CloseResponseStream(HostResponse& response) {
        HostStreamCloseFn close = response.streamClose;
        void* stream = response.stream;
        response.streamRead = nullptr;
        response.streamClose = nullptr;
        response.stream = nullptr;
        if (close != nullptr) close(stream);
    }

private:
    HostResponse& response_;
};

}  // namespace

RequestError MakeRequestError(std::string_view messageTemplate, std::int32_t code, std::string_view method,
                              std::string_view url, std::string_view error) {
    const NamedValue values[] = {NamedValue(method), NamedValue(url), NamedValue(error)};
    NamedMessage formatted = FormatNamedTemplate(messageTemplate, values, 3);
    RequestError result;
    result.code = code;
    result.message = std::move(formatted.message);
    BindingValue& details = result.details.MakeStructure();
    for (const NamedDetail& detail : formatted.details) {
        details.Member(detail.name).SetString(detail.value.AsString());
    }
    if (code != 0) details.Member(kDetailErrorCode).SetSigned(code);
    return result;
}

RequestOutcome RequestClient::SendRequest(RequestMethod method, std::string_view url, HostResponse& response) {
    const std::uint32_t code = NormalisedMethodCode(method);
    const std::string urlText(url);
    HostRequest request{};
    request.method = code;
    request.url = urlText.c_str();
    request.callerHandle = context_.pluginHandle;
    context_.host.CoreRequest(response, request);
    if (response.error == nullptr) return std::nullopt;
    return MakeRequestError(kMsgErrorResponse, response.status, MethodName(code), url, response.error);
}

FetchResult RequestClient::FetchValue(RequestMethod method, std::string_view url) {
    const char* methodName = MethodName(NormalisedMethodCode(method));
    FetchResult outcome;
    HostResponse response{};
    ResponseOwner owner(response);
    outcome.error = SendRequest(method, url, response);
    if (outcome.error) return outcome;

    BindingResult decoded;
    if (response.streamRead != nullptr) {
        ReadStreamedBody(decoded, response);
        if (!decoded.IsOk()) {
            outcome.error = MakeRequestError(kMsgErrorReadingStream, 0, methodName, url, decoded.ErrorText());
            return outcome;
        }
    } else {
        HostValueToBinding(decoded, response.body, kResultValuePath);
        if (!decoded.IsOk()) {
            outcome.error = MakeRequestError(kMsgErrorConverting, 0, methodName, url, decoded.ErrorText());
            return outcome;
        }
    }
    // The requested result is the dynamic value itself: taking it cannot fail.
    decoded.TakeValue(outcome.value);
    return outcome;
}

RequestOutcome RequestClient::CallResource(RequestMethod method, std::string_view url) {
    HostResponse response{};
    ResponseOwner owner(response);
    return SendRequest(method, url, response);
}

RequestOutcome RequestClient::CallWithParameterValue(RequestMethod method, std::string_view url,
                                                     const BindingResult& parameters) {
    const std::uint32_t code = NormalisedMethodCode(method);
    if (!parameters.IsOk()) {
        return MakeRequestError(kMsgParametersNotSent, 400, MethodName(code), url, parameters.ErrorText());
    }
    HostValueOwner argumentValue;
    if (!ToHostValue(argumentValue.Get(), parameters.Value(), &context_.registry)) {
        // Only memory can run out here; callers such as telemetry drop the
        // outcome, so the request that never went out is logged.
        RequestError error = MakeRequestError(kMsgParametersNotSent, 400, MethodName(code), url, kFailureOutOfMemory);
        LogRuntime(RuntimeLogLevel::Error, kLogRequestNotSent, context_.fullName.c_str(), error.message.c_str());
        return error;
    }
    HostArgumentEntry argument{};
    argument.name = nullptr;  // positional
    argument.value = argumentValue.Get();

    const std::string urlText(url);
    HostRequest request{};
    request.method = code;
    request.url = urlText.c_str();
    request.arguments = &argument;
    request.argumentCount = 1;
    request.callerHandle = context_.pluginHandle;
    HostResponse response{};
    ResponseOwner owner(response);
    context_.host.CoreRequest(response, request);
    if (response.error == nullptr) return std::nullopt;
    return MakeRequestError(kMsgErrorResponse, response.status, MethodName(code), url, response.error);
}

void RequestClient::ReadStreamedBody(BindingResult& result, HostResponse& response) {
    std::string text;
    const std::uint64_t hint = response.streamSizeHint;  // a packed field: read it by value
    text.reserve(static_cast<std::size_t>(std::min(hint, kMaxReservedHint)));
    char chunk[kChunkSize];
    bool more = true;
    bool failed = false;
    while (more && response.streamRead != nullptr) {
        std::uint32_t size = kChunkSize;
        more = true;
        if (!response.streamRead(response.stream, chunk, &size, &more)) {
            failed = true;
            break;
        }
        // A reader that claims more than the buffer holds cannot have written it.
        size = std::min(size, kChunkSize);
        text.append(chunk, size);
        if (size < kChunkSize && more) WaitYield();
    }
    ResponseOwner::CloseResponseStream(response);
    if (failed) {
        result.SetError(kMsgStreamReadError);
        return;
    }
    BindingResult parsed = ParseJson(text.c_str());
    if (!parsed.IsOk()) {
        result.SetError(parsed.ErrorText());
        return;
    }
    parsed.TakeValue(result.Value());
}

void RequestClient::WaitYield() {
    context_.host.CoreMarkBegin(kWaitYieldLabel, 0);
    context_.host.CoreYield();
    context_.host.CoreMarkEnd();
}

}  // namespace hpk
