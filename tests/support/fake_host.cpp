// FakeHost: the CoreApi slots, scripted resources and deliveries.
#include "support/fake_host.h"

#include <atomic>
#include <cstring>

#include "plugin/allocation_hooks.h"
#include "plugin/plugin_base.h"
#include "plugin/value_bridge.h"
#include "router/request_method.h"

namespace hpk {

struct FakeHost::Script {
    enum class Kind { Value, Error, Stream, Custom } kind = Kind::Value;
    BindingValue body;
    std::int32_t status = 0;
    std::string message;
    std::vector<std::string> chunks;
    std::optional<std::size_t> failAtRead;
    std::uint64_t sizeHint = 0;
    std::function<void(HostResponse&)> fill;
};

namespace {

std::atomic<std::int64_t> gReleases{0};

// The release routine of every response this host fills.
void FakeRelease(HostResponse* response) {
    ++gReleases;
    FreeHostValue(response->body);
    if (response->errorOwned != 0) Free(response->error);
    std::memset(response, 0, sizeof *response);
}

}  // namespace

// A streamed body: one chunk per read.
struct FakeStream {
    FakeHost* host;
    std::vector<std::string> chunks;
    std::size_t next = 0;
    std::size_t offset = 0;  // into chunks[next], when a chunk is split
    std::size_t reads = 0;
    std::optional<std::size_t> failAtRead;

    static bool Read(void* stream, void* buffer, std::uint32_t* size, bool* more) {
        auto* self = static_cast<FakeStream*>(stream);
        if (self->failAtRead && *self->failAtRead == self->reads++) return false;
        if (self->next >= self->chunks.size()) {
            *size = 0;
            *more = false;
            return true;
        }
        const std::string& chunk = self->chunks[self->next];
        const std::size_t count = std::min<std::size_t>(*size, chunk.size() - self->offset);
        std::memcpy(buffer, chunk.data() + self->offset, count);
        self->offset += count;
        if (self->offset >= chunk.size()) {
            ++self->next;
            self->offset = 0;
        }
        *size = static_cast<std::uint32_t>(count);
        *more = self->next < self->chunks.size();
        return true;
    }
    static void Close(void* stream) {
        auto* self = static_cast<FakeStream*>(stream);
        if (self == nullptr) return;
        --self->host->openStreams_;
        ++self->host->streamCloses_;
        delete self;
    }
};

struct FakeHostSlots {
    static void Request(CoreApi* table, HostResponse* response, const HostRequest* request) {
        FakeHost::From(table).HandleRequest(*response, *request);
    }
    static std::uint32_t Slot1(CoreApi*, std::uint32_t a, std::uint32_t) { return a; }
    static std::uint32_t PostEvent(CoreApi* table, const HostOutgoingEvent* event) {
        FakeHost& host = FakeHost::From(table);
        FakeHost::RecordedEvent recorded;
        recorded.name = event->name != nullptr ? event->name : "";
        BindingResult payload;
        DecodeHostValue(payload, event->payload, "<payload>");
        payload.TakeValue(recorded.payload);
        recorded.value = event->value;
        host.calls_.push_back("PostEvent " + recorded.name);
        host.postedEvents_.push_back(std::move(recorded));
        return 1;
    }
    static std::uint32_t Subscribe(CoreApi* table, const char* name, std::int32_t handle, HostEventCallback callback,
                                   void* context, std::uint32_t kind) {
        FakeHost& host = FakeHost::From(table);
        FakeHost::RecordedSubscription subscription{name, handle, callback, context, kind};
        host.calls_.push_back("Subscribe " + subscription.name + " " + std::to_string(kind));
        host.subscribeCalls_.push_back(subscription);
        host.active_[subscription.name] = subscription;
        return 1;
    }
    static std::uint32_t Unsubscribe(CoreApi* table, const char* name, std::int32_t) {
        FakeHost& host = FakeHost::From(table);
        host.calls_.push_back(std::string("Unsubscribe ") + name);
        host.unsubscribeCalls_.emplace_back(name);
        host.active_.erase(name);
        return 1;
    }
    static std::uint32_t Slot5(CoreApi*, std::uint32_t a, std::uint32_t, std::uint32_t, double, std::uint32_t) {
        return a;
    }
    static void Yield(CoreApi* table) {
        FakeHost& host = FakeHost::From(table);
        host.calls_.push_back("Yield");
        if (host.yieldHook_) host.yieldHook_();
    }
    static void MarkBegin(CoreApi* table, const char* label, std::uint32_t value) {
        FakeHost::From(table).calls_.push_back(std::string("MarkBegin ") + label + " " + std::to_string(value));
    }
    static void MarkEnd(CoreApi* table) { FakeHost::From(table).calls_.push_back("MarkEnd"); }
    static void Log(CoreApi* table, std::int32_t level, const char* message) {
        FakeHost& host = FakeHost::From(table);
        host.calls_.push_back("Log " + std::to_string(level));
        host.logs_.push_back({level, message != nullptr ? message : ""});
    }
};

FakeHost::FakeHost(std::int32_t pluginHandle) {
    table_.table = CoreApi{&FakeHostSlots::Request,   &FakeHostSlots::Slot1, &FakeHostSlots::PostEvent,
                           &FakeHostSlots::Subscribe, &FakeHostSlots::Unsubscribe, &FakeHostSlots::Slot5,
                           &FakeHostSlots::Yield,     &FakeHostSlots::MarkBegin, &FakeHostSlots::MarkEnd,
                           &FakeHostSlots::Log};
    table_.owner = this;
    api_.core = &table_.table;
    api_.pluginHandle = pluginHandle;
    releasesAtStart_ = gReleases.load();
}

FakeHost::~FakeHost() = default;

CoreApi* FakeHost::Table() { return &table_.table; }

FakeHost& FakeHost::From(CoreApi* table) { return *reinterpret_cast<TableWithOwner*>(table)->owner; }

void FakeHost::ServeValue(std::string url, const BindingValue& body) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Value;
    script->body.CopyFrom(body);
    scripts_[std::move(url)] = std::move(script);
}

void FakeHost::ServeError(std::string url, std::int32_t status, std::string message) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Error;
    script->status = status;
    script->message = std::move(message);
    scripts_[std::move(url)] = std::move(script);
}

void FakeHost::ServeStream(std::string url, std::vector<std::string> chunks, std::optional<std::size_t> failAtRead,
                           std::uint64_t sizeHint) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Stream;
    script->chunks = std::move(chunks);
    script->failAtRead = failAtRead;
    script->sizeHint = sizeHint;
    scripts_[std::move(url)] = std::move(script);
}

void FakeHost::ServeStreamedError(std::string url, std::int32_t status, std::string message,
                                  std::vector<std::string> chunks) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Stream;
    script->chunks = std::move(chunks);
    script->status = status;
    script->message = std::move(message);
    scripts_[std::move(url)] = std::move(script);
}

void FakeHost::ServeCustom(std::string url, std::function<void(HostResponse&)> fill) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Custom;
    script->fill = std::move(fill);
    scripts_[std::move(url)] = std::move(script);
}

void FakeHost::Forget(const std::string& url) { scripts_.erase(url); }

void FakeHost::HandleRequest(HostResponse& response, const HostRequest& request) {
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.url = request.url != nullptr ? request.url : "";
    recorded.callerHandle = request.callerHandle;
    recorded.hadEndpointUserData = request.endpointUserData != nullptr;
    for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
        RecordedArgument argument;
        if (request.arguments[i].name != nullptr) argument.name = request.arguments[i].name;
        BindingResult value;
        DecodeHostValue(value, request.arguments[i].value, "<argument>");
        value.TakeValue(argument.value);
        recorded.arguments.push_back(std::move(argument));
    }
    calls_.push_back(std::string("Request ") + MethodName(request.method) + " " + recorded.url);
    requests_.push_back(std::move(recorded));

    ++responsesHanded_;
    response.release = &FakeRelease;
    auto found = scripts_.find(request.url != nullptr ? request.url : "");
    if (found == scripts_.end()) {
        response.error = DuplicateText(kFakeHostNoResource, std::strlen(kFakeHostNoResource));
        response.errorOwned = 1;
        response.status = 404;
        return;
    }
    // A copy: the plugin may re-script this url from inside the request.
    const std::shared_ptr<Script> script = found->second;
    switch (script->kind) {
        case Script::Kind::Value:
            response.status = 200;
            if (auto failure = EncodeHostValue(response.body, script->body, nullptr)) {
                response.error = DuplicateText(failure->data(), failure->size());
                response.errorOwned = 1;
                response.status = 500;
            }
            break;
        case Script::Kind::Error:
            response.error = DuplicateText(script->message.data(), script->message.size());
            response.errorOwned = 1;
            response.status = script->status;
            break;
        case Script::Kind::Stream: {
            auto* stream = new FakeStream{this, script->chunks, 0, 0, 0, script->failAtRead};
            ++openStreams_;
            response.streamRead = &FakeStream::Read;
            response.streamClose = &FakeStream::Close;
            response.stream = stream;
            response.streamSizeHint = script->sizeHint;
            response.status = 200;
            if (!script->message.empty()) {
                response.error = DuplicateText(script->message.data(), script->message.size());
                response.errorOwned = 1;
                response.status = script->status;
            }
            break;
        }
        case Script::Kind::Custom:
            script->fill(response);
            if (response.release == nullptr) response.release = &FakeRelease;
            break;
    }
}

bool FakeHost::IsSubscribed(std::string_view name) const { return active_.count(std::string(name)) != 0; }

std::int64_t FakeHost::UnreleasedResponses() const { return responsesHanded_ - (gReleases.load() - releasesAtStart_); }

void FakeHost::ClearRecords() {
    requests_.clear();
    subscribeCalls_.clear();
    unsubscribeCalls_.clear();
    postedEvents_.clear();
    logs_.clear();
    calls_.clear();
}

bool FakeHost::DeliverRawEvent(const std::string& name, const HostValue& payload) {
    auto found = active_.find(name);
    if (found == active_.end()) return false;
    // A copy: the callback may unsubscribe.
    const RecordedSubscription subscription = found->second;
    HostEvent event{};
    event.name = name.c_str();
    event.payload = payload;
    event.context = subscription.context;
    subscription.callback(&event);
    return true;
}

bool FakeHost::DeliverEvent(const std::string& name, const BindingValue& payload) {
    HostValueOwner value;
    if (EncodeHostValue(value.Get(), payload, nullptr)) return false;
    return DeliverRawEvent(name, value.Get());
}

bool FakeHost::DeliverResourceEvent(const std::string& uri, PluginResourceEventType type, const BindingValue& data,
                                    std::optional<std::string> eventName) {
    static const char* const kTypeNames[] = {"Create", "Update", "Delete"};
    BindingValue payload;
    payload.MakeStructure();
    payload.Member("uri").SetString(uri);
    payload.Member("eventType").SetString(kTypeNames[static_cast<int>(type)]);
    if (!data.IsEmpty()) payload.Member("data").CopyFrom(data);
    const std::string name = eventName ? *eventName : EventNameOfUri(uri);
    return DeliverEvent(name, payload);
}

bool FakeHost::DeliverServiceProxyEvent(const std::string& eventName, const PluginServiceProxyResponse& response) {
    BindingValue payload;
    payload.MakeStructure();
    payload.Member("uuid").SetString(response.uuid);
    payload.Member("serviceName").SetString(response.serviceName);
    payload.Member("methodName").SetString(response.methodName);
    payload.Member("payload").SetString(response.payload);
    payload.Member("status").SetString(response.status);
    payload.Member("error").SetString(response.error);
    return DeliverEvent(eventName, payload);
}

const HostEndpointRecord* FakeHost::FindEndpoint(const HostTableRecord& table, std::string_view pathTemplate) {
    for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
        const HostEndpointRecord& endpoint = table.endpoints[i];
        if (endpoint.pathTemplate != nullptr && pathTemplate == endpoint.pathTemplate) return &endpoint;
    }
    return nullptr;
}

FakeHost::ServedResponse FakeHost::CallEndpoint(const HostEndpointRecord& endpoint, std::uint32_t method,
                                                const std::string& url, std::int32_t callerHandle) {
    HostRequest request{};
    request.method = method;
    request.url = url.c_str();
    request.endpointUserData = endpoint.function.endpointUserData;
    request.callerHandle = callerHandle;
    HostResponse response{};
    endpoint.requestCallback(&response, &request);

    ServedResponse served;
    if (response.error != nullptr) served.error = response.error;
    served.status = response.status;
    BindingResult body;
    DecodeHostValue(body, response.body, "<body>");
    body.TakeValue(served.body);
    if (response.streamRead != nullptr) {
        char buffer[4096];
        bool more = true;
        while (more) {
            std::uint32_t size = sizeof buffer;
            if (!response.streamRead(response.stream, buffer, &size, &more)) break;
            served.streamed.append(buffer, size);
        }
    }
    if (response.streamClose != nullptr) response.streamClose(response.stream);
    if (response.release != nullptr) {
        response.release(&response);
        served.released = true;
    }
    return served;
}

FakePluginSession::~FakePluginSession() {
    if (IsLoaded()) Shutdown();
}

bool FakePluginSession::Load(PluginFactory factory, std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    record_ = PluginLoadRecord{};
    record_.version[0] = major;
    record_.version[1] = minor;
    record_.version[2] = patch;
    if (factory != nullptr) {
        LoadPlugin(&record_, factory, "arx-content-targeting");
    } else {
        LoadContentTargetingPlugin(&record_);
    }
    return record_.plugin != nullptr && record_.callbacks != nullptr;
}

bool FakePluginSession::Init() { return record_.callbacks->init(record_.plugin, &host_.Api()) != 0; }

void FakePluginSession::Shutdown() {
    record_.callbacks->shutdown(record_.plugin);
    record_ = PluginLoadRecord{};
}

MemoryCountersRecord FakePluginSession::Counters() const {
    MemoryCountersRecord counters{};
    std::memset(&counters, 0xAB, sizeof counters);  // so a missing write shows
    record_.callbacks->memoryCounters(record_.plugin, &counters);
    return counters;
}

LeakCheck::LeakCheck() : blocks_(LiveBlocks()), bytes_(LiveBytes()) {}

std::int64_t LeakCheck::BlockDelta() const { return LiveBlocks() - blocks_; }

std::int64_t LeakCheck::ByteDelta() const { return LiveBytes() - bytes_; }

}  // namespace hpk
