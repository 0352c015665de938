// The small readers scenario files are built from: a mapping whose unknown
// keys are reported, and typed reads of texts, lists, counts and durations
// that record the first mistake with its place.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/binding_value.h"

namespace hpk::host {

// A mapping being read: remembers the keys taken, so the ones left over can
// be reported as unknown. `map` is borrowed for the object's lifetime.
class ScenarioFields {
public:
    ScenarioFields(const BindingValue& map, std::string where) : map_(map), where_(std::move(where)) {}

    // The member, or null when absent; either way the key counts as known.
    const BindingValue* Take(std::string_view key);
    // "" when every key was taken, else the first other key in key order.
    std::string Unknown() const;
    const std::string& Where() const { return where_; }

private:
    const BindingValue& map_;
    std::string where_;
    std::vector<std::string> taken_;
};

// Typed reads; the first mistake is kept ("<where>: <problem>") and every
// read after it still runs but changes nothing that is reported.
class ScenarioValueReader {
public:
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    void Fail(const std::string& where, const std::string& problem);
    void CheckUnknown(const ScenarioFields& fields);

    // A text; numbers and bools give their text form, an empty value "".
    bool Text(const BindingValue& value, std::string& out, const std::string& where, std::string_view key);
    // A list of texts; a single text counts as a list of one.
    bool TextList(const BindingValue& value, std::vector<std::string>& out, const std::string& where,
                  std::string_view key);
    bool Unsigned(const BindingValue& value, std::uint64_t& out, const std::string& where, std::string_view key);
    // A number of milliseconds, or "<n> ms" / "<n> s"; at most ten minutes.
    bool Duration(const BindingValue& value, std::uint32_t& out, const std::string& where);

private:
    std::string error_;
};

}  // namespace hpk::host
