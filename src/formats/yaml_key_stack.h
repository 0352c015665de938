// The YAML reader's open containers, and the keys that lead from the
// document's root to them.
#pragma once
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

namespace hpk {

// The reader's open containers, innermost last. The first levels live in
// place, so a shallow document takes nothing from the heap for them; deeper
// ones move to heap storage. Items are trivially copyable and constructed only
// when pushed.
template <class T, std::size_t kInline>
class YamlOpenStack {
public:
    YamlOpenStack() = default;
    YamlOpenStack(const YamlOpenStack&) = delete;
    YamlOpenStack& operator=(const YamlOpenStack&) = delete;

    bool Empty() const { return size_ == 0; }
    std::size_t Size() const { return size_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T& Back() { return data_[size_ - 1]; }
    // A new top item, default-initialised (fields without an initialiser are
    // indeterminate):
    // the caller fills it in place.
    T& Push() {
        if (size_ == capacity_) Grow();
        T* item = new (&data_[size_]) T;
        ++size_;
        return *item;
    }
    void Pop() { --size_; }

private:
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

    void Grow() {
        std::unique_ptr<unsigned char[]> heap(new unsigned char[capacity_ * 2 * sizeof(T)]);
        std::memcpy(heap.get(), static_cast<const void*>(data_), size_ * sizeof(T));
        heap_ = std::move(heap);
        data_ = reinterpret_cast<T*>(heap_.get());
        capacity_ *= 2;
    }

    alignas(T) unsigned char inline_[kInline * sizeof(T)];
    std::unique_ptr<unsigned char[]> heap_;  // the storage once the stack outgrows `inline_`
    T* data_ = reinterpret_cast<T*>(inline_);
    std::size_t size_ = 0;
    std::size_t capacity_ = kInline;
};

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
