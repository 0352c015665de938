// Helpers shared by the format reader tests: typed listings of trees, byte
// strings from hex, and the public conformance suites.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "text/value_printer.h"

namespace hpk::test {

// The typed listing of `value` (the same text `hpk-host decode` prints).
inline std::string Typed(const BindingValue& value) {
    std::string out;
    if (!host::ValueToTyped(value, out)) return "<too deep to list>";
    return out;
}

// "92 01 02" -> the three bytes; spaces are ignored.
inline std::string Bytes(std::string_view hex) {
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; i < hex.size(); ++i) {
        if (hex[i] == ' ') continue;
        out += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
        ++i;
    }
    return out;
}

inline bool ReadFileBytes(const std::string& path, std::string& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[65536];
    std::size_t got;
    out.clear();
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, got);
    std::fclose(file);
    return true;
}

// A path in tests/formats/suites, where set-up installs the suites the npm
// registry packages and the JSON suite is kept (see its README).
inline std::string SuitePath(std::string_view relative) {
    return std::string(HPK_SUITES_DIR) + "/" + std::string(relative);
}

// Depth of the chain of first children below `value` (0 for a scalar).
inline std::size_t FirstChildDepth(const BindingValue& value) {
    std::size_t depth = 0;
    const BindingValue* node = &value;
    while (node->Kind() == BindingValueKind::Collection && node->Size() > 0) {
        node = &node->Element(0);
        ++depth;
    }
    return depth;
}

}  // namespace hpk::test
