// Relative timestamps in scenario values.
#include "scenario/relative_time.h"

#include <chrono>
#include <limits>
#include <vector>

namespace hpk::host {

namespace {

struct Unit {
    std::string_view name;
    std::uint64_t milliseconds;
};

constexpr Unit kUnits[] = {
    {"ms", 1},           {"millisecond", 1},   {"milliseconds", 1}, {"s", 1000},        {"second", 1000},
    {"seconds", 1000},   {"min", 60000},       {"minute", 60000},   {"minutes", 60000}, {"h", 3600000},
    {"hour", 3600000},   {"hours", 3600000},   {"d", 86400000},     {"day", 86400000},  {"days", 86400000},
    {"week", 604800000}, {"weeks", 604800000},
};

// Splits at single spaces; an empty word (two spaces, a leading or trailing
// space) makes the text no stamp.
bool SplitWords(std::string_view text, std::vector<std::string_view>& words) {
    std::size_t start = 0;
    while (true) {
        std::size_t space = text.find(' ', start);
        std::string_view word = text.substr(start, space == std::string_view::npos ? space : space - start);
        if (word.empty()) return false;
        words.push_back(word);
        if (space == std::string_view::npos) return true;
        start = space + 1;
    }
}

std::optional<std::uint64_t> ParseCount(std::string_view word) {
    if (word.empty() || word.size() > 12) return std::nullopt;
    std::uint64_t count = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return std::nullopt;
        count = count * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return count;
}

}  // namespace

std::optional<std::uint64_t> ParseRelativeTime(std::string_view text, std::uint64_t nowMilliseconds) {
    if (text == "now") return nowMilliseconds;
    std::vector<std::string_view> words;
    if (!SplitWords(text, words) || words.size() < 3 || words.size() % 2 != 1 || words.back() != "ago") {
        return std::nullopt;
    }
    std::uint64_t total = 0;
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
        std::optional<std::uint64_t> count = ParseCount(words[i]);
        if (!count) return std::nullopt;
        const Unit* unit = nullptr;
        for (const Unit& candidate : kUnits) {
            if (candidate.name == words[i + 1]) unit = &candidate;
        }
        if (unit == nullptr) return std::nullopt;
        total += *count * unit->milliseconds;  // at most 12 digits times a week: no overflow
    }
    if (total > nowMilliseconds) return std::nullopt;
    return nowMilliseconds - total;
}

std::size_t ResolveRelativeTimes(BindingValue& value, std::uint64_t nowMilliseconds) {
    std::size_t replaced = 0;
    std::vector<BindingValue*> pending{&value};
    while (!pending.empty()) {
        BindingValue* node = pending.back();
        pending.pop_back();
        switch (node->Kind()) {
            case BindingValueKind::String: {
                std::optional<std::uint64_t> stamp = ParseRelativeTime(node->AsString(), nowMilliseconds);
                if (stamp) {
                    node->SetUnsigned(*stamp);
                    ++replaced;
                }
                break;
            }
            case BindingValueKind::Collection:
                for (std::size_t i = 0; i < node->Size(); ++i) pending.push_back(&node->Element(i));
                break;
            case BindingValueKind::Structure:
                node->ForEachMember([&pending](std::string_view, BindingValue& member) { pending.push_back(&member); });
                break;
            default: break;
        }
    }
    return replaced;
}

std::uint64_t SystemMilliseconds() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace hpk::host
