// A minimal stand-in plugin library for testing `hpk-host check` itself: it
// keeps every rule the check verifies, unless the environment variable
// HPK_FAKE_PLUGIN_FAULT names one rule to break:
//   type-cycle          the second type record points back to the first
//   keeps-subscription  shutdown leaves its one subscription in place
//   leaks               every load leaves 16 more bytes live in the counters
//   no-release          its endpoint answers without a release routine
// Built only with the tests; it shares no code with the real plugin.
#include <cstdlib>
#include <cstring>
#include <string>

#include "plugin/abi/host_description.h"
#include "plugin/abi/load_record.h"

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

MemoryCountersRecord gCounters{};

struct FakePlugin {
    PluginCallbacks callbacks;
    const HostApi* api = nullptr;
    HostFieldRecord fields[1];
    HostTypeRecord types[2];
    HostEventRecord events[1];
    HostEndpointRecord endpoints[1];
    HostTableRecord table;
};

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
    response->body.payload.boolean = 1;
}

void OnEvent(const HostEvent*) {}

std::uint8_t Init(void* plugin, const HostApi* api) {
    auto* self = static_cast<FakePlugin*>(plugin);
    self->api = api;
    api->core->Subscribe(api->core, kEvent, api->pluginHandle, &OnEvent, self, 0);
    return 1;
}

void Shutdown(void* plugin) {
    auto* self = static_cast<FakePlugin*>(plugin);
    if (self->api != nullptr && !Fault("keeps-subscription")) {
        self->api->core->Unsubscribe(self->api->core, kEvent, self->api->pluginHandle);
    }
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
