// FakeHost: scripted answers, the test's records of each call, and deliveries,
// over the reference host's core.
#include "support/fake_host.h"

#include <cstring>
#include <utility>

#include "binding/type_registry.h"
#include "host/host_value_io.h"
#include "boundary/allocation_hooks.h"
#include "plugin/host_types.h"
#include "plugin/plugin_base.h"
#include "host/record_value.h"

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

FakeHost::FakeHost(std::int32_t pluginHandle) : core_(timeline_, pluginHandle) {
    core_.Listen(this);
    releasesAtStart_ = host::HostCore::ReleasedResponses();
}

FakeHost::~FakeHost() = default;

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

void FakeHost::Requested(const HostRequest& request, const std::string& url,
                         const std::vector<RecordedArgument>& arguments) {
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.url = url;
    recorded.callerHandle = request.callerHandle;
    recorded.hadEndpointUserData = request.endpointUserData != nullptr;
    for (const RecordedArgument& argument : arguments) {
        RecordedArgument& copy = recorded.arguments.emplace_back();
        copy.name = argument.name;
        copy.value.CopyFrom(argument.value);
    }
    calls_.push_back("Request " + host::MethodText(request.method) + " " + url);
    requests_.push_back(std::move(recorded));
}

bool FakeHost::Answer(HostResponse& response, const std::string& url) {
    ++responsesHanded_;
    auto found = scripts_.find(url);
    if (found == scripts_.end()) {
        host::HostCore::SetError(response, 404, kFakeHostNoResource);
        return true;
    }
    // A copy: the plugin may re-script this url from inside the request.
    const std::shared_ptr<Script> script = found->second;
    switch (script->kind) {
        case Script::Kind::Value:
            response.status = 200;
            if (const host::Outcome<> built = host::BuildHostValue(response.body, script->body); !built.IsOk()) {
                host::HostCore::SetError(response, 500, built.Error());
            }
            break;
        case Script::Kind::Error: host::HostCore::SetError(response, script->status, script->message); break;
        case Script::Kind::Stream: {
            const std::uint32_t failAt = script->failAtRead ? static_cast<std::uint32_t>(*script->failAtRead + 1) : 0;
            core_.OpenStream(response, url, script->chunks, failAt, script->sizeHint);
            response.status = 200;
            if (!script->message.empty()) host::HostCore::SetError(response, script->status, script->message);
            break;
        }
        case Script::Kind::Custom: script->fill(response); break;
    }
    return true;
}

void FakeHost::Subscribed(const RecordedSubscription& subscription) {
    calls_.push_back("Subscribe " + subscription.name + " " + std::to_string(subscription.kind));
    subscribeCalls_.push_back(subscription);
}

void FakeHost::Unsubscribed(const std::string& name) {
    calls_.push_back("Unsubscribe " + name);
    unsubscribeCalls_.push_back(name);
}

void FakeHost::Posted(const RecordedEvent& event) { calls_.push_back("PostEvent " + event.name); }

void FakeHost::Yielded() {
    calls_.push_back("Yield");
    if (yieldHook_) yieldHook_();
}

void FakeHost::MarkBegun(const std::string& label, std::uint32_t value) {
    calls_.push_back("MarkBegin " + label + " " + std::to_string(value));
}

void FakeHost::MarkEnded() { calls_.push_back("MarkEnd"); }

void FakeHost::Logged(const LogLine& line) { calls_.push_back("Log " + std::to_string(line.level)); }

bool FakeHost::IsSubscribed(std::string_view name) const { return core_.IsSubscribed(std::string(name)); }

std::int64_t FakeHost::UnreleasedResponses() const {
    return responsesHanded_ - (host::HostCore::ReleasedResponses() - releasesAtStart_);
}

void FakeHost::ClearRecords() {
    requests_.clear();
    subscribeCalls_.clear();
    unsubscribeCalls_.clear();
    calls_.clear();
    core_.ClearRecords();
}

bool FakeHost::DeliverRawEvent(const std::string& name, const HostValue& payload) {
    return core_.DeliverRecord(name, payload) != 0;
}

bool FakeHost::DeliverEvent(const std::string& name, const BindingValue& payload) {
    return core_.DeliverEvent(name, payload) != 0;
}

bool FakeHost::DeliverResourceEvent(const std::string& uri, PluginResourceEventType type, const BindingValue& data,
                                    std::optional<std::string> eventName) {
    static const char* const kTypeNames[] = {"Create", "Update", "Delete"};
    BindingValue payload;
    payload.MakeStructure();
    payload.Member("uri").SetString(uri);
    payload.Member("eventType").SetString(kTypeNames[static_cast<int>(type)]);
    if (!data.IsEmpty()) payload.Member("data").CopyFrom(data);
    const std::string name = eventName ? *eventName : host::ResourceEventName(uri);
    return DeliverEvent(name, payload);
}

bool FakeHost::DeliverServiceProxyEvent(const std::string& eventName, const PluginServiceProxyResponse& response) {
    // The payload in the shape its registered record gives it.
    BindingTypeRegistry registry;
    RegisterHostTypes(registry);
    return DeliverEvent(eventName, host::RecordValue(response, registry));
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
    if (host::Outcome<BindingValue> body = host::ReadHostValue(response.body); body.IsOk()) {
        served.body = std::move(body.Value());
    }
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
