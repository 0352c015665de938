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

    std::size_t Size() const { return static_cast<std::size_t>(top_ - data_); }
    bool Empty() const { return top_ == data_; }
    T* Data() { return data_; }
    T& operator[](std::size_t index) { return data_[index]; }
    const T& operator[](std::size_t index) const { return data_[index]; }
    T& Back() { return top_[-1]; }
    const T& Back() const { return top_[-1]; }
    // A new item at the top, uninitialised. Throws std::bad_alloc.
    T& Push() {
        if (top_ == end_) Grow();
        return *top_++;
    }
    T Pop() { return *--top_; }
    // Drops the items from `size` up.
    void Truncate(std::size_t size) { top_ = data_ + size; }

private:
    [[gnu::noinline]] void Grow() {
        const std::size_t capacity = static_cast<std::size_t>(end_ - data_);
        const std::size_t size = Size();
        if (capacity > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_alloc();
        T* grown = static_cast<T*>(::operator new(capacity * 2 * sizeof(T)));
        std::memcpy(static_cast<void*>(grown), data_, size * sizeof(T));
        if (data_ != inline_) ::operator delete(data_);
        data_ = grown;
        top_ = grown + size;
        end_ = grown + capacity * 2;
    }

    // Pointers rather than counts: a push is a compare and a bump.
    T inline_[kInline];
    T* data_ = inline_;
    T* top_ = inline_;
    T* end_ = inline_ + kInline;
};

}  // namespace hpk
