// Writing a scenario document (the value tree a scenario file reads into)
// back out as YAML that `hpk-host run` reads to the same tree: top-level keys
// in block style, each resource and step on one line in flow style, every
// text double-quoted so that nothing in it is read as another kind.
#pragma once
#include <string>

#include "binding/binding_value.h"

namespace hpk::host {

std::string ScenarioYaml(const BindingValue& document);
// One value in YAML flow style.
std::string YamlFlow(const BindingValue& value);

}  // namespace hpk::host
