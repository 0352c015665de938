// Reading a scenario: YAML text through the framework's YAML reader into a
// value tree, then the tree into a Scenario. Every mistake is reported with
// where it is ("step 4 (expect): unknown key 'filter'"), and unknown keys are
// mistakes: an expectation with a misspelt name would otherwise pass unchecked.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "scenario/scenario.h"
#include "text/outcome.h"

namespace hpk::host {

// Parses `text` (YAML) into a scenario. Relative timestamps in resource
// values are resolved against `nowMilliseconds`.
Outcome<Scenario> ReadScenarioText(std::string_view text, std::uint64_t nowMilliseconds);

// Reads the file at `path`, then as ReadScenarioText. The file's name is put
// in front of any error.
Outcome<Scenario> ReadScenarioFile(const std::string& path, std::uint64_t nowMilliseconds);

// Builds the scenario from an already parsed tree.
Outcome<Scenario> ScenarioFromValue(const BindingValue& root, std::uint64_t nowMilliseconds);

// The scenario run when none is named: built into the executable from
// scenarios/default.yaml.
std::string_view DefaultScenarioText();

}  // namespace hpk::host
