// Sessions drawn from a space. A session is a scenario document: the value
// tree a scenario file reads into, so what the explorer plays, what it shrinks
// and what it writes out for `hpk-host run` are one and the same thing.
#pragma once
#include <cstdint>
#include <string>

#include "binding/binding_value.h"
#include "explore/space.h"

namespace hpk::host {

struct ExploreSession {
    BindingValue document;  // {name, invariants, resources, steps}
    // Metamorphic sessions: the same steps with the commuting ones in another
    // order; both must end serving the same values. Empty otherwise.
    BindingValue reordered;
    std::size_t setupSteps = 0;  // steps before the commuting ones
};

// Session `index` of the exploration seeded with `seed`: the same arguments
// give the same session in any process, on any platform.
ExploreSession GenerateSession(const Space& space, std::uint64_t seed, std::uint64_t index, std::uint32_t steps);

// Compact JSON of a value, for comparing values and for messages.
std::string ValueKey(const BindingValue& value);

}  // namespace hpk::host
