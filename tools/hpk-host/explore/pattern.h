// The patterns a space file gives for the texts a served list may hold: a
// small regular-expression language (literals, ".", classes such as
// [a-z0-9._~-], groups with alternatives (a|b), and the repeats *, +, ? and
// {n}), matched against the whole text by backtracking. The standard
// library's engine cost more than the plugin itself in a debug build.
// Nested repeats such as (a*)* take exponential time on a text that fails:
// write patterns for the texts they check, not to test the engine.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/outcome.h"

namespace hpk::host {

class TextPattern {
public:
    // Fails when `pattern` is not in the language above.
    static Outcome<TextPattern> Compile(std::string_view pattern);
    // Whether the whole of `text` matches.
    bool Matches(std::string_view text) const;

    struct Node;

private:
    std::shared_ptr<const Node> root_;
};

}  // namespace hpk::host
