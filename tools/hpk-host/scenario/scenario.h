// A scenario: what the host serves when the plugin starts, then the steps of
// a player's session in order, with the expectations that must hold. Read
// from YAML by scenario_reader.h; the file format is documented in
// scenarios/README.md.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_value.h"

namespace hpk::host {

// What the host answers for a URI.
struct ResourceAnswer {
    enum class Kind : std::uint8_t { Value = 0, Error = 1, Stream = 2 };
    Kind kind = Kind::Value;
    BindingValue value;              // Value: the body
    std::int32_t status = 200;       // Value and Stream: the status; Error: its status
    std::string message;             // Error: the error text
    std::string streamText;          // Stream: the body bytes
    std::uint32_t chunkSize = 4096;  // Stream: bytes delivered per read, at most
    std::int32_t failAtRead = -1;    // Stream: 1-based read that fails; -1 never
};

// Conditions checked when an expect step runs. Unset parts are not checked.
struct Expectations {
    std::optional<std::vector<std::string>> filters;                   // the served list, exactly
    std::vector<std::string> filtersInclude;                           // each served
    std::vector<std::string> filtersExclude;                           // none served
    std::optional<std::string> locale;                                 // the served locale, exactly
    std::vector<std::string> posted;                                   // event names posted at least once
    std::vector<std::string> notPosted;                                // event names never posted
    std::vector<std::pair<std::string, std::uint64_t>> postedCount;    // name, exact count
    std::optional<std::uint64_t> telemetryCount;                       // telemetry events posted
    std::vector<std::string> telemetryFields;                          // present in the last one
    std::vector<std::string> telemetryMissing;                         // absent from the last one
    std::vector<std::pair<std::string, std::string>> telemetryValues;  // field, exact value
    std::vector<std::string> requested;                                // "GET /x" or "/x" (any method)
    std::vector<std::string> notRequested;
    std::vector<std::pair<std::string, std::uint64_t>> requestedCount;  // request, exact count
    std::vector<std::string> subscribed;                                // event names subscribed now
    std::vector<std::string> notSubscribed;
    std::vector<std::string> logged;  // texts some log line contains
};

struct ScenarioStep {
    enum class Kind : std::uint8_t {
        Update = 0,  // store the value and post an Update (or Create) resource event
        Delete = 1,  // stop serving the URI and post a Delete resource event
        Serve = 2,   // change what the URI serves, silently
        Get = 3,     // GET a URL from the plugin through its endpoint records
        Wait = 4,    // sleep
        Expect = 5,  // check the expectations
        Post = 6,    // deliver any event with any payload to its subscribers
    };
    Kind kind = Kind::Update;
    std::size_t number = 0;            // 1-based position in the file, for messages
    std::string uri;                   // Update, Delete, Serve, Get; Post: the event name
    std::string eventType = "Update";  // Update: "Create" or "Update"
    ResourceAnswer answer;             // Update and Post (its value) and Serve
    std::uint32_t milliseconds = 0;    // Wait
    Expectations expect;               // Expect
    std::string note;                  // optional text shown with the step
    std::string during;                // Update: delivered inside the plugin's next request of this path
};

struct Scenario {
    std::string name;
    std::string description;
    std::vector<std::pair<std::string, ResourceAnswer>> resources;  // served from the start
    std::vector<ScenarioStep> steps;
    std::string invariants;  // a space file whose invariants are checked after every step
};

// Name of a step kind as written in scenario files ("update", "wait", ...).
const char* StepKindText(ScenarioStep::Kind kind);

}  // namespace hpk::host
