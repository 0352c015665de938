// The space `hpk-host explore` searches, read from a YAML file (the format is
// in scenarios/README.md): the resources the plugin follows with weighted
// variants of what they serve, the kinds of step and their weights, the GETs
// and posts a session may make, the plugin's own resources with the shape
// their values must keep, and the inputs that commute. Everything that is
// particular to a plugin is here, so another plugin needs another file.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_value.h"
#include "explore/pattern.h"
#include "text/outcome.h"

namespace hpk::host {

// One thing a resource may serve: a mapping {value | error | stream, status?}
// exactly as a scenario file writes a resource's answer.
struct SpaceVariant {
    std::uint32_t weight = 1;
    BindingValue answer;
    bool hasValue = false;  // a value an update event can carry
};

struct SpaceInput {
    std::string uri;
    std::uint32_t weight = 1;    // share of the steps that touch this resource
    std::uint32_t atStart = 50;  // percent of sessions that serve it from the start
    std::vector<SpaceVariant> variants;
    std::vector<std::uint32_t> valueWeights;  // weight per variant; 0 for those without a value
    std::vector<std::uint32_t> allWeights;
};

struct SpacePost {
    std::string event;
    BindingValue payload;
    std::uint32_t weight = 1;
};

// A resource the plugin serves. When `list` is set, its value's member of
// that name is a list of texts: no text twice, each matching one of `order`,
// and the patterns they match never going back in `order`.
struct ServedRule {
    std::string path;
    std::string list;
    std::vector<std::string> order;
    std::vector<TextPattern> patterns;
};

enum class SpaceStepKind : std::uint8_t { Update, Serve, Delete, Repeat, Get, Post, Nested, Count };
const char* SpaceStepKindText(SpaceStepKind kind);

struct Space {
    std::string name;
    std::string path;  // the file it was read from
    std::vector<ServedRule> served;
    std::vector<SpaceInput> inputs;
    std::vector<std::uint32_t> stepWeights;  // by SpaceStepKind
    std::vector<std::string> gets;
    std::vector<SpacePost> posts;
    std::vector<std::uint32_t> postWeights;
    std::vector<std::string> nestIn;  // request paths nested updates are delivered in
    // The host's model of the plugin's feature whose values `model-agrees`
    // checks ("content-targeting"); empty for none.
    std::string model;
    // Sessions whose later inputs commute (see scenarios/README.md).
    struct Metamorphic {
        std::uint32_t share = 0;          // percent of the sessions
        BindingValue resources;           // served from the start, as in a scenario
        BindingValue setup;               // steps played first, as in a scenario
        std::vector<SpaceInput> commute;  // inputs whose updates may arrive in any order
    } metamorphic;
};

// Reads and checks the space file; fails naming the place.
Outcome<Space> ReadSpaceFile(const std::string& path);
Outcome<Space> SpaceFromText(std::string_view text);

}  // namespace hpk::host
