// Answering the plugin's requests: resources from the store (a value, an
// error, or a body streamed in chunks), telemetry posts, the release routine
// the plugin calls, and the stream routines it reads through.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "diagnostics/positional_format.h"
#include "host_core.h"
#include "host_messages.h"
#include "host_platform.h"
#include "host_value_io.h"

namespace hpk::host {

namespace {

constexpr std::uint32_t kMethodPost = 6;
constexpr char kTelemetryPrefix[] = "/telemetry/v1/events/";
constexpr std::size_t kMaxUrl = 1 << 16;
char kEmptyText[] = "";

// Responses handed to the plugin and not yet released through the routine.
std::atomic<std::int64_t> gUnreleased{0};

void ReleaseResponse(HostResponse* response) {
    if (response == nullptr) return;
    ReleaseHostValue(response->body);
    if (response->errorOwned != 0) std::free(response->error);
    if (response->text != nullptr && response->text != kEmptyText) std::free(response->text);
    std::memset(response, 0, sizeof(HostResponse));
    --gUnreleased;
}

char* CopyText(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

bool AllZero(const HostResponse& response) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&response);
    return std::all_of(bytes, bytes + sizeof(HostResponse), [](unsigned char b) { return b == 0; });
}

}  // namespace

// A body the plugin reads in chunks. Owned by the core until the plugin
// closes it.
struct HostStream {
    HostCore* owner;
    std::string url;
    std::string text;
    std::size_t position = 0;
    std::uint32_t chunkSize = 4096;
    std::int32_t failAtRead = -1;
    std::uint32_t reads = 0;
    std::uint32_t yields = 0;

    static bool Read(void* stream, void* buffer, std::uint32_t* size, bool* more) {
        auto* self = static_cast<HostStream*>(stream);
        ++self->reads;
        if (self->failAtRead > 0 && self->reads == static_cast<std::uint32_t>(self->failAtRead)) {
            self->owner->timeline_.Record("stream", FormatPositional(kMsgStreamFailedRead, self->url, self->reads));
            return false;
        }
        const std::size_t left = self->text.size() - self->position;
        const std::size_t count = std::min<std::size_t>({left, *size, self->chunkSize});
        if (count != 0) std::memcpy(buffer, self->text.data() + self->position, count);
        self->position += count;
        *size = static_cast<std::uint32_t>(count);
        *more = self->position < self->text.size();
        return true;
    }

    static void Close(void* stream) {
        auto* self = static_cast<HostStream*>(stream);
        HostCore& core = *self->owner;
        core.timeline_.Record("stream", FormatPositional(kMsgStreamClosed, self->url, static_cast<unsigned>(self->position),
                                                         self->reads, self->yields));
        core.streams_.erase(self);
        if (core.reading_ == self) core.reading_ = nullptr;
        delete self;
    }
};

void HostCore::OnYield(CoreApi* self) {
    HostCore& core = From(self);
    if (core.reading_ != nullptr) {
        ++core.reading_->yields;
        return;
    }
    core.timeline_.Record("yield", kMsgYield);
}

void HostCore::HandleRequest(HostResponse& response, const HostRequest& request) {
    std::string url;
    const bool urlOk = ReadTextSafely(request.url, kMaxUrl, url);
    const std::string method = MethodText(request.method);
    if (!urlOk) {
        Problem(kMsgRequestUrlUnreadable);
        url = kMsgUnreadableText;
    }
    if (request.callerHandle != api_.pluginHandle) {
        Problem(FormatPositional(kMsgWrongHandle, request.callerHandle, api_.pluginHandle));
    }
    if (!AllZero(response)) Problem(FormatPositional(kMsgResponseNotZeroed, method, url));

    // Arguments: telemetry sends its fields as one positional map.
    BindingValue arguments;
    if (request.argumentCount != 0) {
        arguments.MakeCollection();
        if (!IsReadable(request.arguments, std::size_t{request.argumentCount} * sizeof(HostArgumentEntry))) {
            Problem(FormatPositional(kMsgArgumentsUnreadable, method, url));
        } else {
            for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
                std::string error;
                if (!ReadHostValue(arguments.Append(), request.arguments[i].value, error)) {
                    Problem(FormatPositional(kMsgArgumentBroken, method, url, error));
                }
            }
        }
    }

    const bool telemetry = request.method == kMethodPost && url.rfind(kTelemetryPrefix, 0) == 0;
    if (telemetry) {
        TelemetryEvent event;
        event.name = url.substr(sizeof(kTelemetryPrefix) - 1);
        if (arguments.Size() == 1) event.fields.CopyFrom(arguments.Element(0));
        timeline_.Record("telemetry", FormatPositional(kMsgTelemetrySummary, event.name,
                                                       static_cast<unsigned>(event.fields.Size())),
                         event.fields, Facts({{"event", event.name}}));
        telemetry_.push_back(std::move(event));
    }

    if (beforeAnswer && !telemetry) beforeAnswer(method, url);
    BindingValue shownBody;
    std::string answer = Answer(response, method, url, shownBody);
    response.release = &ReleaseResponse;
    ++gUnreleased;
    requests_.push_back(RequestRecord{method, url, response.status, response.error != nullptr});
    BindingValue detail;
    detail.MakeStructure();
    detail.Member("method").SetString(method);
    detail.Member("url").SetString(url);
    detail.Member("status").SetSigned(response.status);
    if (response.error != nullptr) detail.Member("error").SetString(response.error);
    if (!arguments.IsEmpty() && !telemetry) detail.Member("arguments").CopyFrom(arguments);
    timeline_.Record("request", method + " " + url + "  ->  " + answer, std::move(shownBody), std::move(detail));
}

std::string HostCore::Answer(HostResponse& response, const std::string& method, const std::string& url,
                             BindingValue& shownBody) {
    std::memset(&response, 0, sizeof(HostResponse));
    response.text = kEmptyText;
    const std::string path = url.substr(0, url.find('?'));
    auto found = store_.find(path);
    if (found == store_.end()) {
        if (method == "POST" && path.rfind(kTelemetryPrefix, 0) == 0) {
            response.status = 200;
            return "200";
        }
        response.status = 404;
        response.error = CopyText(FormatPositional(kMsgNotServed, path));
        response.errorOwned = 1;
        return kMsgNotServedShort;
    }
    const ResourceAnswer& answer = found->second;
    response.status = answer.status;
    switch (answer.kind) {
    case ResourceAnswer::Kind::Value:
        if (!BuildHostValue(response.body, answer.value)) Problem(kMsgOutOfMemory);
        shownBody.CopyFrom(answer.value);
        return std::to_string(answer.status);
    case ResourceAnswer::Kind::Error:
        response.error = CopyText(answer.message);
        response.errorOwned = 1;
        return std::to_string(answer.status) + " " + answer.message;
    case ResourceAnswer::Kind::Stream: {
        auto* stream = new HostStream{this, url, answer.streamText};
        stream->chunkSize = answer.chunkSize;
        stream->failAtRead = answer.failAtRead;
        streams_.insert(stream);
        reading_ = stream;
        response.stream = stream;
        response.streamRead = &HostStream::Read;
        response.streamClose = &HostStream::Close;
        response.streamSizeHint = answer.streamText.size();
        return FormatPositional(kMsgStreamAnswer, answer.status, static_cast<unsigned>(answer.streamText.size()),
                                answer.chunkSize);
    }
    }
    return {};
}

HostCore::~HostCore() {
    for (HostStream* stream : streams_) delete stream;
}

void HostCore::Finish() {
    for (HostStream* stream : streams_) {
        Problem(FormatPositional(kMsgStreamNotClosed, stream->url));
        delete stream;
    }
    streams_.clear();
    reading_ = nullptr;
    for (const std::string& label : marks_) Problem(FormatPositional(kMsgMarkNotClosed, label));
    marks_.clear();
    const std::int64_t unreleased = gUnreleased.exchange(0);
    if (unreleased > 0) Problem(FormatPositional(kMsgResponsesNotReleased, static_cast<long long>(unreleased)));
    if (unreleased < 0) Problem(FormatPositional(kMsgResponsesReleasedTwice, static_cast<long long>(-unreleased)));
}

}  // namespace hpk::host
