# Checks the shipped library against its symbols file, as a debugger reading a
# crash would need them: the binary is stripped, the symbols file belongs to
# it, and it holds the entry point with a line table. On Windows the DLL also
# imports nothing beyond KERNEL32 and msvcrt (Advapi32 is loaded at run time).
# usage: cmake -DLIBRARY=... -DSYMBOLS=... -DWINDOWS=1|0 -P check_symbols.cmake

set(entry load_arx_content_targeting)

function(run out)
    execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${ARGN} failed (${rc}): ${err}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(expect text regex what)
    if(NOT text MATCHES "${regex}")
        message(FATAL_ERROR "${what}")
    endif()
endfunction()

function(refuse text regex what)
    if(text MATCHES "${regex}")
        message(FATAL_ERROR "${what}: ${CMAKE_MATCH_0}")
    endif()
endfunction()

if(WINDOWS)
    run(sections llvm-objdump-14 -h ${LIBRARY})
    refuse("${sections}" "\\.debug[_a-z]*" "the DLL still carries debug sections")
    run(headers llvm-readobj-14 --file-headers --coff-debug-directory ${LIBRARY})
    expect("${headers}" "SymbolCount: 0\n" "the DLL still carries a symbol table")

    # The DLL's debug directory names the PDB by file name and by GUID.
    get_filename_component(pdb_name ${SYMBOLS} NAME)
    expect("${headers}" "PDBFileName: ${pdb_name}\n" "the DLL does not name ${pdb_name}")
    string(REGEX MATCH "PDBGUID: \\(([0-9A-F ]+)\\)" _ "${headers}")
    string(REPLACE " " ";" b "${CMAKE_MATCH_1}")
    list(LENGTH b n)
    if(NOT n EQUAL 16)
        message(FATAL_ERROR "no PDB GUID in the DLL's debug directory")
    endif()
    # The GUID's first three fields are stored little-endian.
    list(GET b 3 2 1 0 5 4 7 6 8 9 10 11 12 13 14 15 g)
    string(REPLACE ";" "" g "${g}")
    string(REGEX REPLACE "^(........)(....)(....)(....)(............)$" "\\1-\\2-\\3-\\4-\\5" guid "${g}")
    run(summary llvm-pdbutil-14 dump -summary ${SYMBOLS})
    expect("${summary}" "GUID: {${guid}}" "the PDB (${summary}) is not the one the DLL names ({${guid}})")

    run(symbols llvm-pdbutil-14 dump -symbols ${SYMBOLS})
    expect("${symbols}" "S_GPROC32 [^\n]*`${entry}`" "the PDB has no function record for ${entry}")
    run(lines llvm-pdbutil-14 dump -l ${SYMBOLS})
    expect("${lines}" "plugin[/\\\\]entry\\.cpp \\(MD5: [0-9A-F]+\\)\n +[0-9A-F]+:[0-9A-F]+-[0-9A-F]+, line/addr entries = [1-9]"
           "the PDB has no line table for the entry point's source")

    run(imports llvm-objdump-14 -p ${LIBRARY})
    string(REGEX MATCHALL "DLL Name: [^\n]+" names "${imports}")
    if(NOT names STREQUAL "DLL Name: KERNEL32.dll;DLL Name: msvcrt.dll")
        message(FATAL_ERROR "the DLL imports ${names}; it must import only KERNEL32.dll and msvcrt.dll")
    endif()
else()
    run(sections readelf -S -W ${LIBRARY})
    refuse("${sections}" "\\.debug_[a-z]+|\\.symtab" "the library still carries")
    expect("${sections}" "\\.gnu_debuglink" "the library has no debuglink")
    get_filename_component(debug_name ${SYMBOLS} NAME)
    run(link readelf --string-dump=.gnu_debuglink ${LIBRARY})
    expect("${link}" "${debug_name}" "the debuglink does not name ${debug_name}")

    run(symbols readelf -s -W ${SYMBOLS})
    expect("${symbols}" "FUNC +GLOBAL +DEFAULT +[0-9]+ ${entry}\n" "the debug file has no symbol for ${entry}")
    run(lines objdump --dwarf=decodedline ${SYMBOLS})
    expect("${lines}" "entry\\.cpp +[0-9]+ +0x[0-9a-f]+" "the debug file has no line table for the entry point's source")
endif()
