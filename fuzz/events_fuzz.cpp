// The real plugin through the fake host: resources scripted from the input are
// there at init, then a run of events with arbitrary names, URIs, event types
// and payloads reaches the subscribed callbacks, the two served resources are
// read, and the plugin shuts down. Checks: every response handed to the plugin
// is released, every stream closed, no subscription left, and the counting
// allocator back at its starting live bytes and blocks.
//
// Input: a byte choosing which of the eight resources the plugin reads are
// scripted, each with a script (see Script below); then events until the input
// ends (at most kMaxEvents): a kind byte (low bits: which subscription; bit 4
// re-scripts a resource, bit 5 reads a served resource first), a name byte (1:
// a text follows, 2: a null name, else the subscribed name), then a payload: a resource event {uri, eventType, data}
// with each part chosen by a byte, or a raw HostValue recipe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "binding/host_value_convert.h"
#include "fuzz_support.h"
#include "boundary/abi/host_event.h"
#include "boundary/allocation_hooks.h"
#include "formats/json_reader.h"
#include "plugin/plugin_base.h"
#include "router/request_method.h"
#include "support/fake_host.h"

namespace {

using hpk::BindingResult;
using hpk::BindingValue;
using hpk::FakeHost;

constexpr std::size_t kMaxEvents = 48;

const char* const kResources[] = {
    "/arx-login/v1/session",
    "/arx-platform-config/v1/namespaces/TvxContentTargeting",
    "/vodivozaze/get_region_locale",
    "/arx-settings/v2/ready",
    "/arx-geoinfo/v1/whereami",
    "/arx-settings/v2/account/TVXPreferences/arx-content-targeting",
    "/arx-acs/v2/recently-played-champions/current-summoner",
    "/arx-summoner/v1/current-summoner",
};
constexpr std::size_t kResourceCount = sizeof kResources / sizeof kResources[0];
const char* const kServed[] = {"/arx-content-targeting/v1/filters", "/arx-content-targeting/v1/locale"};
const char* const kEventTypes[] = {"Create", "Update", "Delete"};

void Check(bool condition) {
    if (!condition) std::abort();
}

// JSON text, or (when it does not parse) the text as a string value.
BindingValue JsonOrText(const std::string& text) {
    BindingValue value;
    BindingResult parsed = hpk::ParseJson(text.c_str());
    if (parsed.IsOk()) {
        parsed.TakeValue(value);
    } else {
        value.SetString(text);
    }
    return value;
}

// A value read from a host value recipe; a recipe with a bad tag gives empty.
BindingValue RecipeValue(hpk::fuzz::FuzzBytes& input) {
    hpk::fuzz::HostValueRecipe recipe(input);
    BindingResult read;
    hpk::HostValueToBinding(read, recipe.Root(), "<value>");
    BindingValue value;
    if (read.IsOk()) read.TakeValue(value);
    return value;
}

// A script byte: 0 JSON text, 1 a recipe value, 2 an error with a status,
// 3 a JSON text streamed in chunks of the next byte's size (a failing read
// when that byte is odd), 4 no script (404).
void Script(FakeHost& host, const std::string& url, hpk::fuzz::FuzzBytes& input) {
    switch (input.Byte() % 5) {
        case 0: host.ServeValue(url, JsonOrText(input.Text())); break;
        case 1: host.ServeValue(url, RecipeValue(input)); break;
        case 2: {
            const auto status = static_cast<std::int32_t>(input.U16());
            host.ServeError(url, status, input.Text());
            break;
        }
        case 3: {
            const std::size_t chunk = input.Byte() % 16 + 1;
            const bool fail = chunk % 2 == 0 && input.Byte() % 4 == 0;
            const std::string text = input.Text();
            std::vector<std::string> chunks;
            for (std::size_t at = 0; at < text.size(); at += chunk) chunks.push_back(text.substr(at, chunk));
            host.ServeStream(url, chunks, fail ? std::optional<std::size_t>(chunks.size() / 2) : std::nullopt);
            break;
        }
        default: host.Forget(url); break;
    }
}

void Get(FakeHost& host, hpk::FakePluginSession& session, const char* path) {
    const HostEndpointRecord* endpoint = FakeHost::FindEndpoint(*session.Record().hostTable, path);
    Check(endpoint != nullptr);
    const FakeHost::ServedResponse response =
        host.CallEndpoint(*endpoint, static_cast<std::uint32_t>(hpk::RequestMethod::Get), path);
    Check(response.released && !response.error.has_value());
}

// A resource event payload: each part present or not, well-formed or not.
BindingValue ResourceEvent(hpk::fuzz::FuzzBytes& input, const std::string& subscribedUri) {
    BindingValue payload;
    payload.MakeStructure();
    const std::uint8_t parts = input.Byte();
    switch (parts % 4) {
        case 0: payload.Member("uri").SetString(subscribedUri); break;
        case 1: payload.Member("uri").SetString(kResources[input.Byte() % kResourceCount]); break;
        case 2: payload.Member("uri").SetString(input.Text()); break;
        default: break;
    }
    switch ((parts >> 2) % 4) {
        case 0: payload.Member("eventType").SetString(kEventTypes[input.Byte() % 3]); break;
        case 1: payload.Member("eventType").SetString(input.Text()); break;
        case 2: payload.Member("eventType").SetSigned(static_cast<std::int8_t>(input.Byte())); break;
        default: break;
    }
    switch ((parts >> 4) % 4) {
        case 0: payload.Member("data").CopyFrom(JsonOrText(input.Text())); break;
        case 1: payload.Member("data").CopyFrom(RecipeValue(input)); break;
        case 2: payload.Member("data").SetBool(input.Byte() % 2 == 0); break;
        default: break;
    }
    if ((parts & 0x40) != 0) payload.Member(input.Text()).CopyFrom(RecipeValue(input));
    return payload;
}

void Run(const std::uint8_t* data, std::size_t size) {
    hpk::fuzz::FuzzBytes input(data, size);
    FakeHost host;
    {
        hpk::FakePluginSession session(host);
        const std::uint8_t scripted = input.Byte();
        for (std::size_t i = 0; i < kResourceCount; ++i) {
            if ((scripted >> i) & 1) Script(host, kResources[i], input);
        }
        Check(session.Load());
        Check(session.Init());
        for (std::size_t events = 0; events < kMaxEvents && !input.Empty(); ++events) {
            const std::uint8_t kind = input.Byte();
            if ((kind & 0x10) != 0) Script(host, kResources[input.Byte() % kResourceCount], input);
            if ((kind & 0x20) != 0) Get(host, session, kServed[input.Byte() % 2]);
            // The subscriptions still active, in the order they were made.
            std::vector<FakeHost::RecordedSubscription> active;
            for (const auto& subscription : host.SubscribeCalls()) {
                if (host.IsSubscribed(subscription.name) && subscription.callback != nullptr) {
                    active.push_back(subscription);
                }
            }
            if (active.empty()) break;
            const FakeHost::RecordedSubscription target = active[(kind & 0x0F) % active.size()];
            // The name the host says it delivers under: the subscribed one,
            // any text, or none at all.
            const std::uint8_t nameKind = input.Byte() % 4;
            const std::string name = nameKind == 1 ? input.Text() : target.name;
            std::string uri = target.name;
            for (const char* resource : kResources) {
                if (hpk::EventNameOfUri(resource) == target.name) uri = resource;
            }

            HostEvent event{};
            event.name = nameKind == 2 ? nullptr : name.c_str();
            event.context = target.context;
            if ((kind & 0x40) != 0) {
                hpk::fuzz::HostValueRecipe raw(input);
                event.payload = raw.Root();
                target.callback(&event);
            } else {
                hpk::HostValueOwner payload;
                Check(hpk::ToHostValue(payload.Get(), ResourceEvent(input, uri), nullptr));
                event.payload = payload.Get();
                target.callback(&event);
            }
        }
        for (const char* path : kServed) Get(host, session, path);
        session.Shutdown();
    }
    Check(host.ActiveSubscriptionCount() == 0);
    Check(host.UnreleasedResponses() == 0);
    Check(host.OpenStreams() == 0);
    host.ClearRecords();
    host.ClearScripts();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first run creates what lives for the process (log manager, type
    // records); every later run must give back all it takes.
    static const bool warm = [] {
        Run(nullptr, 0);
        return true;
    }();
    (void)warm;
    const std::int64_t blocks = hpk::LiveBlocks();
    const std::int64_t bytes = hpk::LiveBytes();
    Run(data, size);
    Check(hpk::LiveBlocks() == blocks && hpk::LiveBytes() == bytes);
    return 0;
}
