// The keys that lead from a YAML document's root to the reader's open
// containers.
#pragma once
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace hpk {

// Keys back to back, outermost first. Every container with a key appends and
// later truncates, so this does only that, inline, and keeps short paths of
// keys in place without allocating.
class YamlKeyStack {
public:
    YamlKeyStack() = default;
    YamlKeyStack(const YamlKeyStack&) = delete;
    YamlKeyStack& operator=(const YamlKeyStack&) = delete;

    std::size_t Size() const { return size_; }
    // Borrowed until the next Append.
    std::string_view View(std::size_t offset, std::size_t length) const {
        return std::string_view(data_ + offset, length);
    }
    void Append(std::string_view key) {
        if (capacity_ - size_ < key.size()) Grow(key.size());
        if (!key.empty()) std::memcpy(data_ + size_, key.data(), key.size());
        size_ += key.size();
    }
    void Truncate(std::size_t size) { size_ = size; }

private:
    static constexpr std::size_t kInline = 64;

    void Grow(std::size_t extra);

    char inline_[kInline];
    std::unique_ptr<char[]> heap_;  // the storage once the keys outgrow `inline_`
    char* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInline;
};

}  // namespace hpk
