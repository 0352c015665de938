// Typed reads of scenario values.
#include "scenario/scenario_fields.h"

#include <sstream>

#include "diagnostics/positional_format.h"
#include "text/host_messages.h"

namespace hpk::host {

namespace {

constexpr std::uint64_t kMaxWait = 600000;

}  // namespace

const BindingValue* ScenarioFields::Take(std::string_view key) {
    taken_.emplace_back(key);
    return map_.HasMember(key) ? &map_.Member(key) : nullptr;
}

std::string ScenarioFields::Unknown() const {
    std::string unknown;
    map_.ForEachMember([&](std::string_view key, const BindingValue&) {
        if (!unknown.empty()) return;
        for (const std::string& name : taken_) {
            if (name == key) return;
        }
        unknown = std::string(key);
    });
    return unknown;
}

void ScenarioValueReader::Fail(const std::string& where, const std::string& problem) {
    if (error_.empty()) error_ = where + ": " + problem;
}

void ScenarioValueReader::CheckUnknown(const ScenarioFields& fields) {
    std::string unknown = fields.Unknown();
    if (!unknown.empty()) Fail(fields.Where(), FormatPositional(kMsgScenarioUnknownKey, unknown));
}

bool ScenarioValueReader::Text(const BindingValue& value, std::string& out, const std::string& where,
                               std::string_view key) {
    switch (value.Kind()) {
        case BindingValueKind::Empty: out.clear(); return true;
        case BindingValueKind::String: out = std::string(value.AsString()); return true;
        case BindingValueKind::Bool:
        case BindingValueKind::Signed:
        case BindingValueKind::Unsigned:
        case BindingValueKind::Float: out = value.Text(); return true;
        default: Fail(where, FormatPositional(kMsgScenarioNotText, key)); return false;
    }
}

bool ScenarioValueReader::TextList(const BindingValue& value, std::vector<std::string>& out, const std::string& where,
                                   std::string_view key) {
    if (value.Kind() != BindingValueKind::Collection) {
        std::string one;
        if (!Text(value, one, where, key)) return false;
        out.push_back(std::move(one));
        return true;
    }
    for (std::size_t i = 0; i < value.Size(); ++i) {
        std::string item;
        if (!Text(value.Element(i), item, where, key)) return false;
        out.push_back(std::move(item));
    }
    return true;
}

bool ScenarioValueReader::Unsigned(const BindingValue& value, std::uint64_t& out, const std::string& where,
                                   std::string_view key) {
    if (value.Kind() == BindingValueKind::Unsigned) {
        out = value.AsUnsigned();
        return true;
    }
    Fail(where, FormatPositional(kMsgScenarioNotCount, key));
    return false;
}

bool ScenarioValueReader::Duration(const BindingValue& value, std::uint32_t& out, const std::string& where) {
    std::uint64_t amount = 0;
    std::uint64_t scale = 1;
    if (value.Kind() == BindingValueKind::Unsigned) {
        amount = value.AsUnsigned();
    } else if (value.Kind() == BindingValueKind::String) {
        std::istringstream in{std::string(value.AsString())};
        std::string unit;
        if (!(in >> amount >> unit) || !(unit == "ms" || unit == "s") || !in.eof()) {
            Fail(where, kMsgScenarioBadDuration);
            return false;
        }
        scale = unit == "s" ? 1000 : 1;
    } else {
        Fail(where, kMsgScenarioBadDuration);
        return false;
    }
    if (amount > kMaxWait || amount * scale > kMaxWait) {
        Fail(where, kMsgScenarioBadDuration);
        return false;
    }
    out = static_cast<std::uint32_t>(amount * scale);
    return true;
}

}  // namespace hpk::host
