// Anchors of one YAML document and the paths that lead to anchored values.
// An anchored value is found again by its path from the root rather than by
// address, because the tree moves its nodes while it grows.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/binding_value.h"

namespace hpk {

// One step down from a parent: an element index or a member key.
struct YamlPathStep {
    bool byKey = false;
    std::size_t index = 0;
    std::string key;
};

struct YamlAnchor {
    bool isKey = false;  // anchored mapping key: `keyText` is what an alias gives
    bool open = false;   // the anchored container is still being read
    std::string keyText;
    std::int32_t path = -1;  // YamlPathStore record of the anchored value; -1 the root
};

// Paths as a tree of records, each naming its parent, so the paths of many
// anchors share their common prefix and the store grows with the number of
// nodes on anchored paths, not with depth times anchors.
class YamlPathStore {
public:
    static constexpr std::int32_t kRoot = -1;

    std::int32_t Add(std::int32_t parent, const YamlPathStep& step);
    std::size_t Length(std::int32_t record) const;
    // The value at `record`, reached from `root` by read-only access (the
    // shared empty value when the tree no longer has it). Borrowed.
    const BindingValue& Resolve(const BindingValue& root, std::int32_t record) const;

private:
    struct Record {
        std::int32_t parent;
        YamlPathStep step;
    };
    std::vector<Record> records_;
};

class YamlAnchorTable {
public:
    // Null when the name is already taken. The entry's address is stable.
    YamlAnchor* Enter(std::string_view name);
    const YamlAnchor* Find(std::string_view name) const;

private:
    // Made by the first anchor: most documents have none, and they should not
    // pay for setting up and tearing down the map.
    std::unique_ptr<std::unordered_map<std::string, YamlAnchor>> anchors_;
};

// Counts `value` and its descendants, stopping once the count passes `cap`
// (the result is then cap + 1). Iterative.
std::uint32_t CountYamlValues(const BindingValue& value, std::uint32_t cap);

}  // namespace hpk
