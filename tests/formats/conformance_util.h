// Shared by the conformance tests: directory listing and a structural
// comparison of a decoded tree with the suite's expected data.
#pragma once
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "binding/binding_value.h"

namespace hpk::test {

// Sorted names of the entries of `directory`; empty when it does not exist.
inline std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline bool IsNumber(const BindingValue& value) {
    const BindingValueKind kind = value.Kind();
    return kind == BindingValueKind::Signed || kind == BindingValueKind::Unsigned || kind == BindingValueKind::Float;
}

// Numbers of any kind compare by value: integers exactly, floats as doubles.
inline bool SameNumber(const BindingValue& a, const BindingValue& b) {
    const bool aFloat = a.Kind() == BindingValueKind::Float;
    const bool bFloat = b.Kind() == BindingValueKind::Float;
    if (aFloat || bFloat) {
        auto wide = [](const BindingValue& v) {
            return v.Kind() == BindingValueKind::Float    ? v.AsFloat()
                   : v.Kind() == BindingValueKind::Signed ? static_cast<double>(v.AsSigned())
                                                          : static_cast<double>(v.AsUnsigned());
        };
        const double x = wide(a);
        const double y = wide(b);
        return x == y || (std::isnan(x) && std::isnan(y));
    }
    const bool aNegative = a.Kind() == BindingValueKind::Signed && a.AsSigned() < 0;
    const bool bNegative = b.Kind() == BindingValueKind::Signed && b.AsSigned() < 0;
    if (aNegative != bNegative) return false;
    if (aNegative) return a.AsSigned() == b.AsSigned();
    auto magnitude = [](const BindingValue& v) {
        return v.Kind() == BindingValueKind::Signed ? static_cast<std::uint64_t>(v.AsSigned()) : v.AsUnsigned();
    };
    return magnitude(a) == magnitude(b);
}

// Structural comparison, iterative. Containers must match in kind, size and
// keys (structures by key, whatever their order); scalars are compared by
// `sameScalar(actual, expected)`.
inline bool SameTree(const BindingValue& actual, const BindingValue& expected,
                     const std::function<bool(const BindingValue&, const BindingValue&)>& sameScalar) {
    std::vector<std::pair<const BindingValue*, const BindingValue*>> pending{{&actual, &expected}};
    while (!pending.empty()) {
        const auto [a, e] = pending.back();
        pending.pop_back();
        const bool aContainer = a->Kind() == BindingValueKind::Collection || a->Kind() == BindingValueKind::Structure;
        const bool eContainer = e->Kind() == BindingValueKind::Collection || e->Kind() == BindingValueKind::Structure;
        if (!aContainer && !eContainer) {
            if (!sameScalar(*a, *e)) return false;
            continue;
        }
        if (a->Kind() != e->Kind() || a->Size() != e->Size()) return false;
        if (a->Kind() == BindingValueKind::Collection) {
            for (std::size_t i = 0; i < a->Size(); ++i) pending.push_back({&a->Element(i), &e->Element(i)});
            continue;
        }
        bool keysMatch = true;
        // (A lambda may not capture a structured binding before C++20: copy it.)
        e->ForEachMember([&, node = a](std::string_view key, const BindingValue& value) {
            if (!node->HasMember(key)) keysMatch = false;
            pending.push_back({&node->Member(key), &value});
        });
        if (!keysMatch) return false;
    }
    return true;
}

// The default scalar rule: same kind and payload, numbers by value.
inline bool SameScalar(const BindingValue& a, const BindingValue& e) {
    if (IsNumber(a) && IsNumber(e)) return SameNumber(a, e);
    if (a.Kind() != e.Kind()) return false;
    switch (a.Kind()) {
        case BindingValueKind::Empty: return true;
        case BindingValueKind::Bool: return a.AsBool() == e.AsBool();
        case BindingValueKind::String: return a.AsString() == e.AsString();
        case BindingValueKind::Blob:
            return a.Size() == e.Size() && std::equal(a.BlobData(), a.BlobData() + a.Size(), e.BlobData());
        default: return a.Text() == e.Text();
    }
}

}  // namespace hpk::test
