// Compiling and matching text patterns. A node is a sequence of items; an
// item is a character set or a group of alternative sequences, repeated
// between `min` and `max` times. Matching walks the sequence with a
// continuation, so every way of splitting the text is tried.
#include "explore/pattern.h"

#include <bitset>
#include <functional>

#include "diagnostics/positional_format.h"
#include "explore/explore_messages.h"

namespace hpk::host {

namespace {

constexpr unsigned kMany = ~0u;

}  // namespace

struct TextPattern::Node {
    struct Item {
        std::bitset<256> set;                        // for a character item
        std::vector<std::shared_ptr<Node>> choices;  // for a group
        unsigned min = 1;
        unsigned max = 1;
    };
    std::vector<Item> items;
};

namespace {

using Node = TextPattern::Node;
using Continue = std::function<bool(std::size_t)>;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::shared_ptr<Node> Alternatives(std::vector<std::shared_ptr<Node>>& choices) {
        for (;;) {
            choices.push_back(Sequence());
            if (!error.empty()) return nullptr;
            if (at_ < text_.size() && text_[at_] == '|') {
                ++at_;
                continue;
            }
            return choices.back();
        }
    }

    std::shared_ptr<Node> Sequence() {
        auto node = std::make_shared<Node>();
        while (at_ < text_.size() && text_[at_] != '|' && text_[at_] != ')') {
            Node::Item item;
            const char c = text_[at_++];
            if (c == '(') {
                Alternatives(item.choices);
                if (at_ >= text_.size() || text_[at_] != ')') return Fail(kMsgPatternOpenGroup);
                ++at_;
            } else if (c == '[') {
                if (!Class(item.set)) return nullptr;
            } else if (c == '.') {
                item.set.set();
            } else if (c == '\\' && at_ < text_.size()) {
                item.set.set(static_cast<unsigned char>(text_[at_++]));
            } else if (c == '*' || c == '+' || c == '?' || c == '{' || c == ']') {
                return Fail(FormatPositional(kMsgPatternMisplaced, c));
            } else {
                item.set.set(static_cast<unsigned char>(c));
            }
            if (!Repeat(item)) return nullptr;
            node->items.push_back(std::move(item));
        }
        return node;
    }

    bool Done() const { return error.empty() && at_ == text_.size(); }
    std::string error;

private:
    std::shared_ptr<Node> Fail(std::string message) {
        if (error.empty()) error = std::move(message);
        return nullptr;
    }

    bool Class(std::bitset<256>& set) {
        bool first = true;
        while (at_ < text_.size() && (text_[at_] != ']' || first)) {
            first = false;
            unsigned char low = static_cast<unsigned char>(text_[at_++]);
            unsigned char high = low;
            if (at_ + 1 < text_.size() && text_[at_] == '-' && text_[at_ + 1] != ']') {
                high = static_cast<unsigned char>(text_[at_ + 1]);
                at_ += 2;
            }
            for (unsigned c = low; c <= high; ++c) set.set(c);
        }
        if (at_ >= text_.size()) {
            Fail(kMsgPatternOpenClass);
            return false;
        }
        ++at_;
        return true;
    }

    bool Repeat(Node::Item& item) {
        if (at_ >= text_.size()) return true;
        switch (text_[at_]) {
            case '*':
                item.min = 0;
                item.max = kMany;
                ++at_;
                return true;
            case '+':
                item.min = 1;
                item.max = kMany;
                ++at_;
                return true;
            case '?':
                item.min = 0;
                item.max = 1;
                ++at_;
                return true;
            case '{': {
                const std::size_t close = text_.find('}', at_);
                if (close == std::string_view::npos) {
                    Fail(kMsgPatternOpenCount);
                    return false;
                }
                unsigned count = 0;
                for (std::size_t i = at_ + 1; i < close; ++i) {
                    if (text_[i] < '0' || text_[i] > '9' || count > 1000) {
                        Fail(kMsgPatternBadCount);
                        return false;
                    }
                    count = count * 10 + static_cast<unsigned>(text_[i] - '0');
                }
                item.min = item.max = count;
                at_ = close + 1;
                return true;
            }
            default: return true;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

bool MatchSequence(const Node& node, std::size_t index, std::string_view text, std::size_t at, const Continue& next);

// Matches `item` repeated at least `done` .. times so far, then the rest.
bool MatchItem(const Node& node, std::size_t index, unsigned done, std::string_view text, std::size_t at,
               const Continue& next) {
    const Node::Item& item = node.items[index];
    auto rest = [&](std::size_t from) { return MatchSequence(node, index + 1, text, from, next); };
    if (item.choices.empty()) {
        // Characters: take as many as allowed, then give back (greedy).
        std::size_t end = at;
        unsigned count = 0;
        while (count < item.max && end < text.size() && item.set.test(static_cast<unsigned char>(text[end]))) {
            ++end;
            ++count;
        }
        for (;;) {
            if (count >= item.min && rest(end)) return true;
            if (count == 0) return false;
            --end;
            --count;
        }
    }
    if (done >= item.min && done == item.max) return rest(at);
    for (const auto& choice : item.choices) {
        const bool matched = MatchSequence(*choice, 0, text, at, [&](std::size_t after) {
            if (after == at) return false;  // an empty turn would repeat for ever
            return MatchItem(node, index, done + 1, text, after, next);
        });
        if (matched) return true;
    }
    return done >= item.min && rest(at);
}

bool MatchSequence(const Node& node, std::size_t index, std::string_view text, std::size_t at, const Continue& next) {
    if (index == node.items.size()) return next(at);
    return MatchItem(node, index, 0, text, at, next);
}

}  // namespace

Outcome<TextPattern> TextPattern::Compile(std::string_view pattern) {
    Parser parser(pattern);
    auto root = std::make_shared<Node>();
    Node::Item group;
    parser.Alternatives(group.choices);
    if (!parser.Done()) return Fail(parser.error.empty() ? kMsgPatternCloseGroup : parser.error);
    root->items.push_back(std::move(group));
    TextPattern compiled;
    compiled.root_ = std::move(root);
    return compiled;
}

bool TextPattern::Matches(std::string_view text) const {
    if (root_ == nullptr) return false;
    return MatchSequence(*root_, 0, text, 0, [&](std::size_t at) { return at == text.size(); });
}

}  // namespace hpk::host
