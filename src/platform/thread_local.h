// Thread-local variables of the library. The MinGW C++ runtime keeps its
// thread-local state in emulated TLS, so the Windows build does too; clang 14
// would then write a CodeView record naming a symbol that emulated TLS never
// defines, and the link fails. Such a variable gets no debug record there (a
// debugger could not read an emulated TLS slot anyway).
#pragma once

#if defined(_WIN32) && defined(__clang__)
#define HPK_THREAD_LOCAL __attribute__((nodebug)) thread_local
#else
#define HPK_THREAD_LOCAL thread_local
#endif
