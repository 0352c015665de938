// A minimal stand-in plugin library for testing `hpk-host check` itself: it
// keeps every rule the check verifies, unless the environment variable
// HPK_FAKE_PLUGIN_FAULT names one rule to break:
//   type-cycle          the second type record points back to the first
//   keeps-subscription  shutdown leaves its one subscription in place
//   leaks               every load leaves 16 more bytes live in the counters
//   no-release          its endpoint answers without a release routine
//   stale-third         the third input it receives is published but not served
//   crash-third         the third input it receives crashes it
//   hang-third          the third input it receives never returns
// It follows one input, /fake/v1/input (a bool), and serves and publishes the
// last one as /fake/v1/thing: enough for `hpk-host explore` to play sessions
// against it, with tests/host/fake-space.yaml.
// Built only with the tests; it shares no code with the real plugin.
#include <cstdlib>
#include <cstring>
#include <string>

#include "boundary/abi/host_description.h"
#include "boundary/abi/load_record.h"

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

bool Fault(const char* name) {
    const char* fault = std::getenv("HPK_FAKE_PLUGIN_FAULT");
    return fault != nullptr && std::strcmp(fault, name) == 0;
}

const char* const kTags[] = {"Plugins"};
constexpr char kEvent[] = "OnJsonApiEvent_fake_v1_thing";
constexpr char kInputEvent[] = "OnJsonApiEvent_fake_v1_input";
constexpr char kThing[] = "/fake/v1/thing";

MemoryCountersRecord gCounters{};

struct FakePlugin {
    PluginCallbacks callbacks;
    const HostApi* api = nullptr;
    HostFieldRecord fields[1];
    HostTypeRecord types[2];
    HostEventRecord events[1];
    HostEndpointRecord endpoints[1];
    HostTableRecord table;
    bool thing = true;  // what /fake/v1/thing serves
    int inputs = 0;     // inputs received
};

FakePlugin* gPlugin = nullptr;

HostValue Text(const char* text) {
    HostValue value{};
    value.tag = static_cast<std::uint32_t>(HostValueTag::StringBorrowed);
    value.payload.span.data = const_cast<char*>(text);
    value.payload.span.count = static_cast<std::uint32_t>(std::strlen(text));
    return value;
}

// Posts {uri, eventType, data} under the resource's own name, then as "OnJsonApiEvent".
void Publish(FakePlugin& self, bool data) {
    HostValueEntry entries[3] = {};
    entries[0].key = "uri";
    entries[0].value = Text(kThing);
    entries[1].key = "eventType";
    entries[1].value = Text("Update");
    entries[2].key = "data";
    entries[2].value.tag = static_cast<std::uint32_t>(HostValueTag::Bool);
    entries[2].value.payload.boolean = data ? 1 : 0;
    HostOutgoingEvent event{};
    event.payload.tag = static_cast<std::uint32_t>(HostValueTag::Map);
    event.payload.payload.span.data = entries;
    event.payload.payload.span.count = 3;
    event.name = kEvent;
    self.api->core->PostEvent(self.api->core, &event);
    event.name = "OnJsonApiEvent";
    self.api->core->PostEvent(self.api->core, &event);
}

// The bool under "data" of a resource event's payload, if there is one.
bool ReadData(const HostValue& payload, bool& out) {
    if (payload.tag != static_cast<std::uint32_t>(HostValueTag::Map)) return false;
    const auto* entries = static_cast<const HostValueEntry*>(payload.payload.span.data);
    for (std::uint32_t i = 0; i < payload.payload.span.count; ++i) {
        if (std::strcmp(entries[i].key, "data") != 0) continue;
        if (entries[i].value.tag != static_cast<std::uint32_t>(HostValueTag::Bool)) return false;
        out = entries[i].value.payload.boolean != 0;
        return true;
    }
    return false;
}

void ReleaseResponse(HostResponse* response) {
    if (response->errorOwned != 0) std::free(response->error);
    std::memset(response, 0, sizeof(HostResponse));
}

void AnswerRequest(HostResponse* response, const HostRequest* request) {
    std::memset(response, 0, sizeof(HostResponse));
    if (!Fault("no-release")) response->release = &ReleaseResponse;
    if (std::strcmp(request->url, "/fake/v1/thing") != 0) {
        const char text[] = "Invalid function";
        response->error = static_cast<char*>(std::malloc(sizeof(text)));
        std::memcpy(response->error, text, sizeof(text));
        response->errorOwned = 1;
        response->status = 404;
        return;
    }
    response->body.tag = static_cast<std::uint32_t>(HostValueTag::Bool);
    response->body.payload.boolean = gPlugin != nullptr && gPlugin->thing ? 1 : 0;
}

void OnEvent(const HostEvent* event) {
    FakePlugin* self = static_cast<FakePlugin*>(event->context);
    bool data = false;
    if (std::strcmp(event->name, kInputEvent) != 0 || !ReadData(event->payload, data)) return;
    if (++self->inputs == 3 && Fault("crash-third")) std::abort();
    while (self->inputs == 3 && Fault("hang-third")) {}
    if (self->inputs != 3 || !Fault("stale-third")) self->thing = data;
    Publish(*self, data);
}

std::uint8_t Init(void* plugin, const HostApi* api) {
    auto* self = static_cast<FakePlugin*>(plugin);
    self->api = api;
    api->core->Subscribe(api->core, kEvent, api->pluginHandle, &OnEvent, self, 0);
    api->core->Subscribe(api->core, kInputEvent, api->pluginHandle, &OnEvent, self, 0);
    return 1;
}

void Shutdown(void* plugin) {
    auto* self = static_cast<FakePlugin*>(plugin);
    if (self->api != nullptr && !Fault("keeps-subscription")) {
        self->api->core->Unsubscribe(self->api->core, kEvent, self->api->pluginHandle);
        self->api->core->Unsubscribe(self->api->core, kInputEvent, self->api->pluginHandle);
    }
    gPlugin = nullptr;
    gCounters.totalBytesFreed += sizeof(FakePlugin);
    gCounters.totalFrees += 1;
    delete self;
}

void Counters(void*, MemoryCountersRecord* out) { *out = gCounters; }

void BuildTable(FakePlugin& p) {
    p.fields[0] = {nullptr, "ok", "", 0, {1, 0, ""}, 0};
    p.types[0] = {&p.types[1], "FakeThing", "", 1, "A thing.", kTags, 1, p.fields, nullptr, 1};
    p.types[1] = {nullptr, "FakeOther", "", 1, "", kTags, 1, p.fields, nullptr, 1};
    if (Fault("type-cycle")) p.types[1].next = &p.types[0];
    p.events[0] = {nullptr, "OnJsonApiEvent", "", "FakeThing", "Fired.", kTags, 1};
    HostFunctionRecord& f = p.endpoints[0].function;
    f.name = "GetFakeV1Thing";
    f.nameSpace = "";
    f.result = {17, 0, "FakeThing"};
    f.description = "";
    f.help = "";
    f.asyncTypeName = "";
    f.tags = kTags;
    f.tagCount = 1;
    f.endpointUserData = &p;
    p.endpoints[0].requestCallback = &AnswerRequest;
    p.endpoints[0].pathTemplate = "/fake/v1/thing";
    p.endpoints[0].method = 2;
    p.endpoints[0].methodName = "";
    p.table = {p.endpoints, 1, p.types, 2, p.events, 1};
}

}  // namespace

FAKE_EXPORT void load_arx_content_targeting(PluginLoadRecord* record) {
    auto* plugin = new FakePlugin{};
    gPlugin = plugin;
    gCounters.totalBytesAllocated += sizeof(FakePlugin) + (Fault("leaks") ? 16 : 0);
    gCounters.totalAllocations += 1;
    const std::uint64_t live = gCounters.totalBytesAllocated - gCounters.totalBytesFreed;
    if (live > gCounters.peakLiveBytes) gCounters.peakLiveBytes = live;
    plugin->callbacks = PluginCallbacks{&Init, &Shutdown, &Counters};
    BuildTable(*plugin);
    record->version[0] = 18;
    record->version[1] = 0;
    record->version[2] = 0;
    record->callbacks = &plugin->callbacks;
    record->plugin = plugin;
    record->fullName = "hpk-be-arx-content-targeting";
    record->hostTable = &plugin->table;
}
