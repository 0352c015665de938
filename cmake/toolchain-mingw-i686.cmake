# Cross build of the Windows DLL with clang and lld in MinGW mode, against
# Debian's mingw-w64 headers and import libraries and the posix-threads
# libstdc++ of its cross g++ (so std::mutex and std::thread are available).
# clang emits CodeView and lld writes the PDB that Windows debuggers read.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_RC_FLAGS_INIT "--target=pe-i386")
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
set(CMAKE_SYSROOT /usr/i686-w64-mingw32)

# clang 14 does not recognise the "12-posix" version directory of Debian's
# cross gcc, so its C++ headers and runtime libraries are named here.
file(GLOB HPK_MINGW_GCC_DIR LIST_DIRECTORIES true /usr/lib/gcc/i686-w64-mingw32/*-posix)
if(NOT HPK_MINGW_GCC_DIR)
    message(FATAL_ERROR "the posix mingw-w64 g++ is missing: run scripts/setup.sh")
endif()
list(GET HPK_MINGW_GCC_DIR 0 HPK_MINGW_GCC_DIR)
# The cross gcc's libstdc++ keeps its thread_local state in emulated TLS
# (__emutls_v.*): clang must use the same.
set(CMAKE_CXX_FLAGS_INIT "-femulated-tls -nostdinc++ -cxx-isystem ${HPK_MINGW_GCC_DIR}/include/c++ -cxx-isystem ${HPK_MINGW_GCC_DIR}/include/c++/i686-w64-mingw32 -cxx-isystem ${HPK_MINGW_GCC_DIR}/include/c++/backward -Wno-unused-command-line-argument")
set(CMAKE_C_FLAGS_INIT "-femulated-tls -Wno-unused-command-line-argument")
# -B: gcc's own crtbegin.o, which registers the DWARF unwind tables with the
# static libgcc unwinder; mingw-w64's (clang's default) does not, and every
# exception would then end the process.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-14 -B${HPK_MINGW_GCC_DIR}/ -L${HPK_MINGW_GCC_DIR} -pthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
