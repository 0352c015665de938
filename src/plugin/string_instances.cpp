// The Windows DLL's own copy of std::string's out-of-line members, compiled
// here rather than taken from the static C++ runtime. That runtime is built by
// gcc, which puts the unwind table entry of each such member in a section of
// its own with no symbol to tie it to the code; lld drops those sections, so
// the runtime's copies have no unwind entries, and an exception thrown below
// one of them (std::bad_alloc from operator new under _M_create, when memory
// runs out while a string grows) cannot be unwound past it and ends the
// process instead of reaching the load's guard. The copies made here carry
// their unwind entries, and come ahead of the runtime's in the link, so every
// call to these members, the runtime's own included, reaches them.
#include <string>

#if defined(_WIN32) && defined(__clang__)
template class std::basic_string<char>;
#endif
