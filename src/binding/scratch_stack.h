// ScratchStack: the working stack of a reader (open containers, values and
// members waiting for their container to end). The first items live in the
// object itself, so a small document takes nothing from the heap for them.
#pragma once
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>

namespace hpk {

template <class T, std::size_t kInline>
class ScratchStack {
    static_assert(std::is_trivially_copyable<T>::value, "items are moved as bytes when the stack grows");

public:
    ScratchStack() = default;
    ScratchStack(const ScratchStack&) = delete;
    ScratchStack& operator=(const ScratchStack&) = delete;
    ~ScratchStack() {
        if (data_ != inline_) ::operator delete(data_);
    }

    std::size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    T* Data() { return data_; }
    T& operator[](std::size_t index) { return data_[index]; }
    T& Back() { return data_[size_ - 1]; }
    // A new item at the top, uninitialised. Throws std::bad_alloc.
    T& Push() {
        if (size_ == capacity_) Grow();
        return data_[size_++];
    }
    T Pop() { return data_[--size_]; }
    // Drops the items from `size` up.
    void Truncate(std::size_t size) { size_ = size; }

private:
    [[gnu::noinline]] void Grow() {
        if (capacity_ > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_alloc();
        T* grown = static_cast<T*>(::operator new(capacity_ * 2 * sizeof(T)));
        std::memcpy(static_cast<void*>(grown), data_, size_ * sizeof(T));
        if (data_ != inline_) ::operator delete(data_);
        data_ = grown;
        capacity_ *= 2;
    }

    T inline_[kInline];
    T* data_ = inline_;
    std::size_t size_ = 0;
    std::size_t capacity_ = kInline;
};

}  // namespace hpk
