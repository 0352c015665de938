// Growth of the key stack, off the inline path.
#include "formats/yaml_key_stack.h"

#include <algorithm>

namespace hpk {

void YamlKeyStack::Grow(std::size_t extra) {
    const std::size_t capacity = std::max(capacity_ * 2, size_ + extra);
    std::unique_ptr<char[]> heap(new char[capacity]);
    if (size_ != 0) std::memcpy(heap.get(), data_, size_);
    heap_ = std::move(heap);
    data_ = heap_.get();
    capacity_ = capacity;
}

}  // namespace hpk
