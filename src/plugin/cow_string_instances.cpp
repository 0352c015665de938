// The Windows DLL's own copy of the reference-counted string's members, for
// the same reason as string_instances.cpp: the C++ runtime's exception classes
// (std::logic_error, std::runtime_error and kin) keep their message in one, so
// running out of memory while such an exception is made must unwind through
// them to reach the guard. A translation unit of its own: the old string ABI
// is chosen before any header.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

#if defined(_WIN32) && defined(__clang__)
template class std::basic_string<char>;
#endif
