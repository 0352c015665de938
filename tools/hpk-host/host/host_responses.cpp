// Answering the plugin's requests: resources from the store (a value, an
// error, or a body streamed in chunks), telemetry posts, the release routine
// the plugin calls, and the stream routines it reads through.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "diagnostics/positional_format.h"
#include "host/host_core.h"
#include "text/host_messages.h"
#include "host/host_platform.h"
#include "host/host_value_io.h"

namespace hpk::host {

namespace {

constexpr std::uint32_t kMethodPost = 6;
constexpr char kTelemetryPrefix[] = "/telemetry/v1/events/";
constexpr std::size_t kMaxUrl = 1 << 16;
char kEmptyText[] = "";

// Responses handed to the plugin and not yet released through the routine,
// and all released so far.
std::atomic<std::int64_t> gUnreleased{0};
std::atomic<std::int64_t> gReleased{0};

void ReleaseResponse(HostResponse* response) {
    if (response == nullptr) return;
    ReleaseHostValue(response->body);
    if (response->errorOwned != 0) std::free(response->error);
    if (response->text != nullptr && response->text != kEmptyText) std::free(response->text);
    std::memset(response, 0, sizeof(HostResponse));
    --gUnreleased;
    ++gReleased;
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

// A body the plugin reads in chunks, one per read (split when the reader's
// buffer or the cap per read is smaller). Owned by the core until the plugin
// closes it.
struct HostStream {
    HostCore* owner;
    std::string url;
    std::vector<std::string> chunks;
    std::uint32_t failAtRead = 0;  // 1-based; 0 never
    std::uint32_t maxRead = 0;     // bytes per read at most; 0 no cap
    std::size_t next = 0;          // the chunk being read
    std::size_t offset = 0;        // into chunks[next]
    std::size_t position = 0;      // bytes delivered
    std::uint32_t reads = 0;
    std::uint32_t yields = 0;

    static bool Read(void* stream, void* buffer, std::uint32_t* size, bool* more) {
        auto* self = static_cast<HostStream*>(stream);
        ++self->reads;
        if (self->reads == self->failAtRead) {
            GuardedCall(*self->owner, [self] {
                self->owner->timeline_.Record("stream", FormatPositional(kMsgStreamFailedRead, self->url, self->reads));
            });
            return false;
        }
        std::size_t count = 0;
        if (self->next < self->chunks.size()) {
            const std::string& chunk = self->chunks[self->next];
            count = std::min<std::size_t>(*size, chunk.size() - self->offset);
            if (self->maxRead != 0) count = std::min<std::size_t>(count, self->maxRead);
            if (count != 0) std::memcpy(buffer, chunk.data() + self->offset, count);
            self->offset += count;
            self->position += count;
            if (self->offset >= chunk.size()) {
                ++self->next;
                self->offset = 0;
            }
        }
        *size = static_cast<std::uint32_t>(count);
        *more = self->next < self->chunks.size();
        return true;
    }

    static void Close(void* stream) {
        auto* self = static_cast<HostStream*>(stream);
        if (self == nullptr) return;
        HostCore& core = *self->owner;
        GuardedCall(core, [self, &core] {
            core.timeline_.Record("stream",
                                  FormatPositional(kMsgStreamClosed, self->url, static_cast<unsigned>(self->position),
                                                   self->reads, self->yields));
        });
        core.streams_.erase(self);
        ++core.streamCloses_;
        if (core.reading_ == self) core.reading_ = nullptr;
        delete self;
    }
};

void HostCore::OnYield(CoreApi* self) {
    HostCore& core = From(self);
    GuardedCall(core, [&core] {
        core.Tell([](HostCoreListener& listener) { listener.Yielded(); });
        if (core.reading_ != nullptr) {
            ++core.reading_->yields;
            return;
        }
        core.timeline_.Record("yield", kMsgYield);
    });
}

std::int64_t HostCore::ReleasedResponses() { return gReleased.load(); }

void HostCore::SetError(HostResponse& response, std::int32_t status, const std::string& text) {
    response.status = status;
    response.error = CopyText(text);
    response.errorOwned = 1;
}

void HostCore::OpenStream(HostResponse& response, const std::string& url, std::vector<std::string> chunks,
                          std::uint32_t failAtRead, std::uint64_t sizeHint, std::uint32_t maxRead) {
    auto* stream = new HostStream{this, url, std::move(chunks), failAtRead, maxRead};
    streams_.insert(stream);
    reading_ = stream;
    response.stream = stream;
    response.streamRead = &HostStream::Read;
    response.streamClose = &HostStream::Close;
    response.streamSizeHint = sizeHint;
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
    std::vector<RequestArgument> read;
    BindingValue arguments;
    if (request.argumentCount != 0) {
        arguments.MakeCollection();
        if (!IsReadable(request.arguments, std::size_t{request.argumentCount} * sizeof(HostArgumentEntry))) {
            Problem(FormatPositional(kMsgArgumentsUnreadable, method, url));
        } else {
            for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
                RequestArgument& argument = read.emplace_back();
                std::string name;
                if (request.arguments[i].name != nullptr && ReadTextSafely(request.arguments[i].name, kMaxUrl, name)) {
                    argument.name = name;
                }
                std::string error;
                if (!ReadHostValue(argument.value, request.arguments[i].value, error)) {
                    Problem(FormatPositional(kMsgArgumentBroken, method, url, error));
                }
                arguments.Append().CopyFrom(argument.value);
            }
        }
    }
    Tell([&](HostCoreListener& listener) { listener.Requested(request, url, read); });

    const bool telemetry = request.method == kMethodPost && url.rfind(kTelemetryPrefix, 0) == 0;
    if (telemetry) {
        TelemetryEvent event;
        event.name = url.substr(sizeof(kTelemetryPrefix) - 1);
        if (arguments.Size() == 1) event.fields.CopyFrom(arguments.Element(0));
        timeline_.Record("telemetry",
                         FormatPositional(kMsgTelemetrySummary, event.name, static_cast<unsigned>(event.fields.Size())),
                         event.fields, Facts({{"event", event.name}}));
        telemetry_.push_back(std::move(event));
    }

    BindingValue shownBody;
    std::string answer;
    std::memset(&response, 0, sizeof(HostResponse));
    bool layerAnswered = false;
    for (std::size_t i = 0; i < listeners_.size() && !layerAnswered; ++i) {
        layerAnswered = listeners_[i]->Answer(response, url);
    }
    // What was served, for the layers: the store's entry, or one made here.
    ResourceAnswer made;
    const ResourceAnswer* served = &made;
    if (layerAnswered) {
        answer = std::to_string(response.status);
        if (response.error != nullptr) answer += std::string(" ") + response.error;
        made.kind = response.error != nullptr ? ResourceAnswer::Kind::Error : ResourceAnswer::Kind::Value;
        made.status = response.status;
        if (response.error != nullptr) made.message = response.error;
    } else {
        answer = Answer(response, method, url, shownBody, made, served);
    }
    if (response.release == nullptr) {
        response.release = &ReleaseResponse;
        ++gUnreleased;
    }
    requests_.push_back(RequestRecord{method, url, response.status, response.error != nullptr});
    Tell([&](HostCoreListener& listener) { listener.Answered(requests_.back(), *served); });
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
                             BindingValue& shownBody, ResourceAnswer& made, const ResourceAnswer*& served) {
    std::memset(&response, 0, sizeof(HostResponse));
    response.text = kEmptyText;
    const std::string path = url.substr(0, url.find('?'));
    auto found = store_.find(path);
    if (found == store_.end()) {
        if (method == "POST" && path.rfind(kTelemetryPrefix, 0) == 0) {
            response.status = 200;
            made.status = 200;
            return "200";
        }
        SetError(response, 404, FormatPositional(kMsgNotServed, path));
        made.kind = ResourceAnswer::Kind::Error;
        made.status = 404;
        made.message = response.error;
        return kMsgNotServedShort;
    }
    const ResourceAnswer& answer = found->second;
    served = &answer;
    response.status = answer.status;
    switch (answer.kind) {
        case ResourceAnswer::Kind::Value:
            if (!BuildHostValue(response.body, answer.value)) Problem(kMsgOutOfMemory);
            shownBody.CopyFrom(answer.value);
            return std::to_string(answer.status);
        case ResourceAnswer::Kind::Error:
            SetError(response, answer.status, answer.message);
            return std::to_string(answer.status) + " " + answer.message;
        case ResourceAnswer::Kind::Stream: {
            // The text as one chunk, read at most `chunkSize` bytes at a time.
            OpenStream(response, url, {answer.streamText}, static_cast<std::uint32_t>(std::max(answer.failAtRead, 0)),
                       answer.streamText.size(), answer.chunkSize);
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
