// Split, join, replacement, lower-casing and Base64.
#include "diagnostics/text_util.h"

namespace hpk {

std::vector<std::string> Split(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (delimiter.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t found = text.find(delimiter, start);
        if (found == std::string_view::npos) {
            pieces.emplace_back(text.substr(start));
            return pieces;
        }
        pieces.emplace_back(text.substr(start, found - start));
        start = found + delimiter.size();
    }
}

std::string Join(const std::vector<std::string>& pieces, std::string_view separator, std::size_t first,
                 std::size_t count) {
    std::string joined;
    if (first >= pieces.size() || count == 0) return joined;
    // Written this way round so a huge count cannot overflow first + count.
    const std::size_t last = pieces.size() - first > count ? first + count : pieces.size();
    for (std::size_t i = first; i < last; ++i) {
        if (i != first) joined.append(separator);
        joined.append(pieces[i]);
    }
    return joined;
}

std::string ReplaceAll(std::string_view text, std::string_view pattern, std::string_view replacement) {
    if (text.empty() || pattern.empty() || pattern == replacement) return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t found = text.find(pattern, start);
        if (found == std::string_view::npos) break;
        result.append(text.substr(start, found - start));
        result.append(replacement);
        start = found + pattern.size();
    }
    result.append(text.substr(start));
    return result;
}

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    if (size == 0 || data == nullptr) return encoded;
    encoded.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        encoded.push_back(kAlphabet[(group >> 18) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 12) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 6) & 0x3F]);
        encoded.push_back(kAlphabet[group & 0x3F]);
    }
    const std::size_t rest = size - i;
    if (rest != 0) {
        std::uint32_t group = std::uint32_t{data[i]} << 16;
        if (rest == 2) group |= std::uint32_t{data[i + 1]} << 8;
        encoded.push_back(kAlphabet[(group >> 18) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 12) & 0x3F]);
        encoded.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        encoded.push_back('=');
    }
    return encoded;
}

}  // namespace hpk
