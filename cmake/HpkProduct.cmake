# The shipped library as a product: a version resource, symbols beside a
# stripped binary (a PDB for Windows debuggers, a debuglink file on Linux),
# and the same bytes from every clean checkout of a commit, wherever it lies.
# include() this before the targets (it sets flags they inherit) and call
# hpk_product_targets() once they all exist.

# The PE timestamp is the commit time, so that two builds of a commit agree.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(HPK_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
    execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE HPK_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(NOT git_result EQUAL 0 OR NOT HPK_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        set(HPK_SOURCE_DATE_EPOCH 0)
    endif()
endif()

if(WIN32)
    # clang and lld write their command lines into the debug records: every
    # command runs with the checkout's path made relative to the build tree,
    # and source paths then read as from the checkout's root (./src/...).
    file(RELATIVE_PATH HPK_CHECKOUT_FROM_BUILD ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
    string(REGEX REPLACE "/$" "" HPK_CHECKOUT_FROM_BUILD "${HPK_CHECKOUT_FROM_BUILD}")
    if(HPK_CHECKOUT_FROM_BUILD STREQUAL "")
        set(HPK_CHECKOUT_FROM_BUILD .)
    endif()
    set(HPK_RELATIVE_LAUNCHER ${CMAKE_SOURCE_DIR}/cmake/relative-paths.sh ${CMAKE_SOURCE_DIR} ${HPK_CHECKOUT_FROM_BUILD})
    foreach(lang C CXX)
        set(CMAKE_${lang}_COMPILER_LAUNCHER ${HPK_RELATIVE_LAUNCHER})
        set(CMAKE_${lang}_LINKER_LAUNCHER ${HPK_RELATIVE_LAUNCHER})
    endforeach()
    add_compile_options(-ffile-compilation-dir=.)
    if(NOT HPK_CHECKOUT_FROM_BUILD STREQUAL ".")
        add_compile_options(-ffile-prefix-map=${HPK_CHECKOUT_FROM_BUILD}/=./)
    endif()
    find_program(HPK_LLVM_OBJCOPY llvm-objcopy-14 REQUIRED)
else()
    # gcc leaves its -I and prefix-map options out of the recorded switches.
    add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
endif()

function(hpk_product_targets)
    set(plugin hpk-be-arx-content-targeting)
    # The library's own code always carries debug information: it goes to the
    # symbols file, and the shipped binary is stripped.
    foreach(target ${plugin} hpk_framework yaml)
        if(TARGET ${target})
            if(WIN32)
                target_compile_options(${target} PRIVATE -g -gcodeview)
            else()
                target_compile_options(${target} PRIVATE -g)
            endif()
        endif()
    endforeach()

    if(WIN32)
        set(HPK_PRODUCT_NAME ${plugin})
        set(HPK_ORIGINAL_FILENAME ${plugin}.dll)
        set(HPK_FILE_DESCRIPTION "Content-targeting plugin for the game client's plugin host")
        configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
        target_sources(${plugin} PRIVATE ${CMAKE_BINARY_DIR}/version.rc)

        # lld writes the PDB beside the DLL (the linker runs in the build
        # tree) and the DLL names it without a directory, as debuggers and
        # symbol servers expect. Module paths in the PDB stay relative.
        target_link_options(${plugin} PRIVATE
            -Wl,--pdb=${plugin}.pdb
            -Wl,--Xlink=-pdbaltpath:${plugin}.pdb
            -Wl,--Xlink=-pdbsourcepath:.)
        set_property(TARGET ${plugin} APPEND PROPERTY ADDITIONAL_CLEAN_FILES ${CMAKE_BINARY_DIR}/${plugin}.pdb)
        foreach(target ${plugin} hpk-host)
            if(TARGET ${target})
                target_link_options(${target} PRIVATE -Wl,--Xlink=-timestamp:${HPK_SOURCE_DATE_EPOCH})
            endif()
        endforeach()
        # The static C++ runtime brings DWARF sections that lld keeps even
        # when it writes a PDB: strip them, and the symbol table, afterwards.
        add_custom_command(TARGET ${plugin} POST_BUILD
            COMMAND ${HPK_LLVM_OBJCOPY} --strip-all $<TARGET_FILE:${plugin}>
            VERBATIM)
    elseif(NOT HPK_SANITIZE AND NOT HPK_BUILD_FUZZ)
        # The debug information moves to a file beside the library that
        # debuggers find through the library's debuglink.
        add_custom_command(TARGET ${plugin} POST_BUILD
            COMMAND objcopy --only-keep-debug $<TARGET_FILE:${plugin}> $<TARGET_FILE:${plugin}>.debug
            COMMAND objcopy --strip-all --add-gnu-debuglink=$<TARGET_FILE:${plugin}>.debug $<TARGET_FILE:${plugin}>
            VERBATIM)
        set_property(TARGET ${plugin} APPEND PROPERTY ADDITIONAL_CLEAN_FILES $<TARGET_FILE:${plugin}>.debug)
    endif()

    if(NOT HPK_BUILD_TESTS OR HPK_SANITIZE OR HPK_BUILD_FUZZ)
        return()
    endif()
    # The shipped binary is stripped and its symbols file holds the entry
    # point with its lines; the DLL imports only what it always did.
    if(WIN32)
        set(symbols_file ${CMAKE_BINARY_DIR}/${plugin}.pdb)
    else()
        set(symbols_file $<TARGET_FILE:${plugin}>.debug)
    endif()
    add_test(NAME hpk-product-symbols
             COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${plugin}> -DSYMBOLS=${symbols_file}
                     -DWINDOWS=${WIN32} -P ${CMAKE_SOURCE_DIR}/cmake/check_symbols.cmake)
    if(WIN32)
        # Read back the way Windows reads it: GetFileVersionInfo under Wine.
        add_executable(hpk-version-resource-check ${CMAKE_SOURCE_DIR}/packaging/checks/version_resource_check.cpp)
        target_link_libraries(hpk-version-resource-check PRIVATE version)
        add_test(NAME hpk-product-version-resource
                 COMMAND hpk-version-resource-check $<TARGET_FILE:${plugin}> ${PROJECT_VERSION})
        # Unloading the DLL gives back everything loading and running it took.
        add_executable(hpk-load-cycles-check ${CMAKE_SOURCE_DIR}/packaging/checks/load_cycles_check.cpp)
        target_include_directories(hpk-load-cycles-check PRIVATE ${CMAKE_SOURCE_DIR}/src)
        add_test(NAME hpk-product-load-cycles COMMAND hpk-load-cycles-check $<TARGET_FILE:${plugin}>)
        # The DLL imports what packaging/INTEGRATION.md lists, each with its reason.
        add_test(NAME hpk-product-imports
                 COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:${plugin}>
                         -DLIST=${CMAKE_SOURCE_DIR}/packaging/INTEGRATION.md
                         -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)
        # An exception can cross every function of the DLL but a reviewed few.
        add_executable(hpk-unwind-tables-check ${CMAKE_SOURCE_DIR}/packaging/checks/unwind_tables_check.cpp)
        string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
        add_test(NAME hpk-product-unwind-tables
                 COMMAND ${CMAKE_COMMAND} -DCHECK=$<TARGET_FILE:hpk-unwind-tables-check> "-DEMULATOR=${emulator}"
                         -DLIBRARY=$<TARGET_FILE:${plugin}> -DSYMBOLS=${symbols_file}
                         -DLIST=${CMAKE_SOURCE_DIR}/packaging/checks/functions_without_unwind_entries.txt
                         -DDUMP=${CMAKE_BINARY_DIR}/${plugin}.pdb.txt
                         -P ${CMAKE_SOURCE_DIR}/cmake/check_unwind_tables.cmake)
    endif()
endfunction()
