// One loaded plugin, driven only through its exported entry point and the
// records it hands back: load and handshake, init, requests through its
// endpoint records, the memory counters, shutdown. Every call is recorded in
// the timeline, with what the plugin does inside it nested below.
#pragma once
#include <cstdint>
#include <string>

#include "host/api_description.h"
#include "binding/binding_value.h"
#include "host/host_core.h"
#include "host/host_platform.h"
#include "boundary/abi/load_record.h"
#include "host/timeline.h"

namespace hpk::host {

// The plugin API version this host offers.
inline constexpr std::uint32_t kHostApiVersion[3] = {18, 0, 0};
// The caller handle the host puts in the requests it sends itself.
inline constexpr std::int32_t kHostCallerHandle = 0;
// The handle the host gives the plugin at init.
inline constexpr std::int32_t kPluginHandle = 7;

// What a request through an endpoint record came back with.
struct EndpointAnswer {
    bool reached = false;  // an endpoint matched the url and was called
    std::int32_t status = 0;
    bool failed = false;  // the response carried an error
    std::string error;
    BindingValue body;  // a streamed body is shown as its text
    bool streamed = false;
};

class PluginSession {
public:
    PluginSession(Timeline& timeline, HostCore& core) : timeline_(timeline), core_(core) {}
    ~PluginSession();
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Loads the library, calls the entry point with the host's version and
    // reads the host table. Fails when the library, its entry point or the
    // handshake's outputs cannot be used.
    Outcome<> Load(const std::string& path);
    // The load record as the plugin left it.
    const PluginLoadRecord& LoadRecord() const { return record_; }
    // The callbacks as copied at load: the table lives inside the plugin
    // object and is gone after shutdown.
    const PluginCallbacks& Callbacks() const { return callbacks_; }
    const ApiDescription& Api() const { return api_; }
    const std::string& FullName() const { return fullName_; }

    // True once the entry point has run (even if its outputs were unusable).
    bool Loaded() const { return loaded_; }

    // Calls init with the host's table; returns what it returned.
    bool Init();
    bool Initialized() const { return initialized_; }

    // GET `url` through the endpoint record whose path matches it.
    EndpointAnswer Get(const std::string& url);
    // Calls `function`'s endpoint with `method` and `url`, as the client's
    // host dispatches requests. Checks the release routine and that it leaves
    // the record zeroed.
    EndpointAnswer Call(const FunctionInfo& function, std::uint32_t method, const std::string& url);

    // PluginCallbacks slot 2; valid also after shutdown while the library is
    // loaded (the plugin argument is not used).
    MemoryCountersRecord Counters();
    // Reads the counters and records them in the timeline under `label`.
    MemoryCountersRecord RecordCounters(const std::string& label);

    // Calls shutdown once; later calls do nothing. The library stays loaded.
    void Shutdown();

private:
    Timeline& timeline_;
    HostCore& core_;
    PluginLibrary library_;
    PluginLoadRecord record_{};
    PluginCallbacks callbacks_{};
    void* plugin_ = nullptr;
    std::string fullName_;
    ApiDescription api_;
    bool loaded_ = false;
    bool initialized_ = false;
    bool shutDown_ = false;
};

// Reads what the entry point left in `record`: the callbacks (copied, since
// their table lives inside the plugin object and goes with it), the full name
// and the host table. Fails when one of them cannot be used; the outputs then
// keep what was read before (a shutdown slot still frees the plugin).
Outcome<> ReadLoadRecord(const PluginLoadRecord& record, PluginCallbacks& callbacks, std::string& fullName,
                         ApiDescription& api);

// Plays `step` at once: an update or delete is delivered now (one meant for
// `during` a request too), a serve, GET or post is done, and waits and
// expectations do nothing. For drivers that exercise the plugin rather than
// check a scenario; `run` and `explore` play steps with StepPlayer.
void PlayStepAtOnce(HostCore& core, PluginSession& session, const ScenarioStep& step);

// The counters as a structure of named members, plus live bytes and blocks.
BindingValue CountersValue(const MemoryCountersRecord& counters);

}  // namespace hpk::host
