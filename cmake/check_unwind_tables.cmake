# Runs hpk-unwind-tables-check on the DLL with its PDB's functions, as
# llvm-pdbutil prints them (see packaging/checks/unwind_tables_check.cpp).
# usage: cmake -DCHECK=... -DEMULATOR=... -DLIBRARY=... -DSYMBOLS=... -DLIST=... -DDUMP=... -P check_unwind_tables.cmake
execute_process(COMMAND llvm-pdbutil-14 dump -modules -symbols -publics -section-contribs ${SYMBOLS}
                OUTPUT_FILE ${DUMP} ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "llvm-pdbutil could not read ${SYMBOLS} (${rc}): ${err}")
endif()
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
execute_process(COMMAND ${EMULATOR} ${CHECK} ${LIBRARY} ${DUMP} ${LIST} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "functions of ${LIBRARY} without unwind entries (see above)")
endif()
