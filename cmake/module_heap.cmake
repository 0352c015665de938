# The shared library counts its whole heap (src/boundary/module_heap.cpp): its
# own operator new and delete, and on Linux the C runtime's allocation calls of
# every object linked into it routed to the counting hooks. The C++ runtime
# and libyaml live inside the library for that (the Windows DLL links its C++
# runtime statically already), their symbols kept private by the export list.
target_sources(hpk-be-arx-content-targeting PRIVATE ${CMAKE_SOURCE_DIR}/src/boundary/module_heap.cpp)
if(WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    # The C++ runtime's string members with unwind entries (see the files).
    target_sources(hpk-be-arx-content-targeting PRIVATE ${CMAKE_SOURCE_DIR}/src/plugin/string_instances.cpp
                                                        ${CMAKE_SOURCE_DIR}/src/plugin/cow_string_instances.cpp)
endif()
if(NOT WIN32)
    find_library(HPK_YAML_STATIC_LIB NAMES libyaml.a REQUIRED)
    # Ahead of the framework's shared libyaml, so the reader's calls resolve here.
    target_link_libraries(hpk-be-arx-content-targeting PRIVATE ${HPK_YAML_STATIC_LIB})
    target_link_options(hpk-be-arx-content-targeting PRIVATE
        -static-libstdc++ -static-libgcc
        "LINKER:--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free,--wrap=strdup,--wrap=strndup")
endif()
