# The shared library counts its whole heap (src/boundary/module_heap.cpp): its
# own operator new and delete, and the C runtime's allocation calls of every
# object linked into it routed to the counting hooks. The C++ runtime and
# libyaml live inside the library for that (the Windows DLL links its C++
# runtime statically already), their symbols kept private by the export list.
set(HPK_MODULE_WRAP malloc realloc free)
target_sources(hpk-be-arx-content-targeting PRIVATE ${CMAKE_SOURCE_DIR}/src/boundary/module_heap.cpp)
if(WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # The C++ runtime's string members and inline throwers with unwind entries
    # (see the files), and the DLL's own runtime pieces: its unwind tables'
    # registration, the runtime's thread support on the system's locks, and
    # its thread-local variables in the DLL's own thread storage.
    target_sources(hpk-be-arx-content-targeting PRIVATE
        ${CMAKE_SOURCE_DIR}/src/plugin/string_instances.cpp
        ${CMAKE_SOURCE_DIR}/src/plugin/cow_string_instances.cpp
        ${CMAKE_SOURCE_DIR}/src/boundary/module_error_instances_win32.cpp
        ${CMAKE_SOURCE_DIR}/src/boundary/module_unwind_win32.cpp
        ${CMAKE_SOURCE_DIR}/src/boundary/module_threads_win32.cpp
        ${CMAKE_SOURCE_DIR}/src/boundary/module_thread_storage_win32.cpp)
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/boundary/module_thread_storage_win32.cpp
                                PROPERTIES COMPILE_OPTIONS -fno-emulated-tls)
    # Constructors and destructors as functions of their own, not aliases of
    # their base-object forms: the linker would keep the runtime's copy.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/src/boundary/module_error_instances_win32.cpp
                                PROPERTIES COMPILE_OPTIONS "-Xclang;-mno-constructor-aliases")
    # An unwind entry for every function the library compiles, also those
    # clang knows cannot throw: hpk-product-unwind-tables then needs no list
    # of them.
    foreach(target hpk-be-arx-content-targeting hpk_framework yaml)
        target_compile_options(${target} PRIVATE -funwind-tables)
    endforeach()
    # gcc's crtbegin.o and crtend.o stay out (module_unwind_win32.cpp registers
    # the unwind tables instead); the DLL's start-up code is named here. No
    # pseudo-relocations: the runtime would patch its own sections for them.
    target_link_options(hpk-be-arx-content-targeting PRIVATE
        -nostartfiles "LINKER:--disable-runtime-pseudo-reloc")
    target_link_libraries(hpk-be-arx-content-targeting PRIVATE ${CMAKE_SYSROOT}/lib/dllcrt2.o)
else()
    # (The DLL defines calloc and strdup itself: see module_heap.cpp.)
    list(APPEND HPK_MODULE_WRAP calloc strdup strndup)
endif()
if(NOT WIN32)
    find_library(HPK_YAML_STATIC_LIB NAMES libyaml.a REQUIRED)
    # Ahead of the framework's shared libyaml, so the reader's calls resolve here.
    target_link_libraries(hpk-be-arx-content-targeting PRIVATE ${HPK_YAML_STATIC_LIB})
    target_link_options(hpk-be-arx-content-targeting PRIVATE -static-libstdc++ -static-libgcc)
endif()
list(JOIN HPK_MODULE_WRAP ",--wrap=" HPK_MODULE_WRAP)
target_link_options(hpk-be-arx-content-targeting PRIVATE "LINKER:--wrap=${HPK_MODULE_WRAP}")
