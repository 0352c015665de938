// The shared library's heap routing (module_heap.cpp, linked into the shared
// library only).
#pragma once

namespace hpk {

// Called when the host first enters the library: from then on the C runtime
// calls of the library's code and of its C++ runtime are counted. What the
// runtime took while the library was being mapped is its static state.
void BeginCountingRuntimeHeap() noexcept;

}  // namespace hpk
