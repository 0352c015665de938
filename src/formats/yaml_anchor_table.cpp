// Anchor table, anchored paths and the subtree count behind the alias limit.
#include "formats/yaml_anchor_table.h"

namespace hpk {

std::int32_t YamlPathStore::Add(std::int32_t parent, const YamlPathStep& step) {
    records_.push_back(Record{parent, step});
    return static_cast<std::int32_t>(records_.size() - 1);
}

std::size_t YamlPathStore::Length(std::int32_t record) const {
    std::size_t length = 0;
    for (; record != kRoot; record = records_[static_cast<std::size_t>(record)].parent) ++length;
    return length;
}

const BindingValue& YamlPathStore::Resolve(const BindingValue& root, std::int32_t record) const {
    std::vector<const YamlPathStep*> steps;
    for (; record != kRoot; record = records_[static_cast<std::size_t>(record)].parent) {
        steps.push_back(&records_[static_cast<std::size_t>(record)].step);
    }
    const BindingValue* value = &root;
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        value = (*step)->byKey ? &value->Member((*step)->key) : &value->Element((*step)->index);
    }
    return *value;
}

YamlAnchor* YamlAnchorTable::Enter(std::string_view name) {
    if (anchors_ == nullptr) anchors_ = std::make_unique<std::unordered_map<std::string, YamlAnchor>>();
    auto [entry, inserted] = anchors_->try_emplace(std::string(name));
    return inserted ? &entry->second : nullptr;
}

const YamlAnchor* YamlAnchorTable::Find(std::string_view name) const {
    if (anchors_ == nullptr) return nullptr;
    const auto entry = anchors_->find(std::string(name));
    return entry == anchors_->end() ? nullptr : &entry->second;
}

std::uint32_t CountYamlValues(const BindingValue& value, std::uint32_t cap) {
    std::vector<const BindingValue*> pending{&value};
    std::uint32_t count = 0;
    while (!pending.empty() && count <= cap) {
        const BindingValue& next = *pending.back();
        pending.pop_back();
        ++count;
        if (next.Kind() == BindingValueKind::Collection) {
            for (std::size_t i = 0, n = next.Size(); i < n; ++i) pending.push_back(&next.Element(i));
        } else if (next.Kind() == BindingValueKind::Structure) {
            next.ForEachMember(
                [&pending](std::string_view, const BindingValue& member) { pending.push_back(&member); });
        }
    }
    return count;
}

}  // namespace hpk
