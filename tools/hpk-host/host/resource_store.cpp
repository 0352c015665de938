// The store of served resources, the responses built from it, the release
// routine the plugin calls, and the stream routines it reads through.
#include "host/resource_store.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "diagnostics/positional_format.h"
#include "host/host_value_io.h"
#include "text/host_messages.h"

namespace hpk::host {

namespace {

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

}  // namespace

// A body the plugin reads in chunks, one per read (split when the reader's
// buffer or the cap per read is smaller). Owned by the core until the plugin
// closes it.
struct HostStream {
    ResourceStore* owner;
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
            GuardedCall(self->owner->core_, [self] {
                self->owner->core_.Log().Record("stream",
                                                FormatPositional(kMsgStreamFailedRead, self->url, self->reads));
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
        ResourceStore& store = *self->owner;
        GuardedCall(store.core_, [self, &store] {
            store.core_.Log().Record(
                "stream", FormatPositional(kMsgStreamClosed, self->url, static_cast<unsigned>(self->position),
                                           self->reads, self->yields));
        });
        store.streams_.erase(self);
        ++store.streamCloses_;
        if (store.reading_ == self) store.reading_ = nullptr;
        delete self;
    }
};

bool ResourceStore::YieldToStream() {
    if (reading_ == nullptr) return false;
    ++reading_->yields;
    return true;
}

std::int64_t ResourceStore::ReleasedResponses() { return gReleased.load(); }

void ResourceStore::SetError(HostResponse& response, std::int32_t status, const std::string& text) {
    response.status = status;
    response.error = CopyText(text);
    response.errorOwned = 1;
}

void ResourceStore::OpenStream(HostResponse& response, const std::string& url, std::vector<std::string> chunks,
                               std::uint32_t failAtRead, std::uint64_t sizeHint, std::uint32_t maxRead) {
    auto* stream = new HostStream{this, url, std::move(chunks), failAtRead, maxRead};
    streams_.insert(stream);
    reading_ = stream;
    response.stream = stream;
    response.streamRead = &HostStream::Read;
    response.streamClose = &HostStream::Close;
    response.streamSizeHint = sizeHint;
}

void ResourceStore::HandOver(HostResponse& response) {
    if (response.release != nullptr) return;
    response.release = &ReleaseResponse;
    ++gUnreleased;
}

std::string ResourceStore::Answer(HostResponse& response, const std::string& method, const std::string& url,
                                  BindingValue& shownBody, ResourceAnswer& made,
                                  const ResourceAnswer*& served) {
    std::memset(&response, 0, sizeof(HostResponse));
    response.text = kEmptyText;
    const std::string path = url.substr(0, url.find('?'));
    auto found = answers_.find(path);
    if (found == answers_.end()) {
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
            if (Outcome<> built = BuildHostValue(response.body, answer.value); !built.IsOk()) {
                core_.Problem(built.Error());
            }
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

ResourceStore::~ResourceStore() {
    for (HostStream* stream : streams_) delete stream;
}

void ResourceStore::CloseLeftStreams() {
    for (HostStream* stream : streams_) {
        core_.Problem(FormatPositional(kMsgStreamNotClosed, stream->url));
        delete stream;
    }
    streams_.clear();
    reading_ = nullptr;
}

void ResourceStore::ReportUnreleased() {
    const std::int64_t unreleased = gUnreleased.exchange(0);
    if (unreleased > 0) core_.Problem(FormatPositional(kMsgResponsesNotReleased, static_cast<long long>(unreleased)));
    if (unreleased < 0)
        core_.Problem(FormatPositional(kMsgResponsesReleasedTwice, static_cast<long long>(-unreleased)));
}

}  // namespace hpk::host
