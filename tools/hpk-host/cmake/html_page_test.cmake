# Draws a scenario's timeline page in headless Chromium and checks the page as
# the browser left it after its script ran: drawn without error, every line
# of EXPECTED among the lines the page lists of what it drew (its steps, its
# publications with where they happened, the final filters, the result), and
# none of the scenario's markup-like texts turned into markup.
#   HOST      the hpk-host command, '|'-separated (an emulator first, if any)
#   SCENARIO  PLUGIN  PAGE (the page to write)  EXPECTED (a file of lines)
#   CHROMIUM  the browser; empty: the test is skipped
cmake_policy(VERSION 3.20)
if(NOT CHROMIUM)
    message(STATUS "chromium is not installed: the page is not checked")
    return()
endif()
string(REPLACE "|" ";" host "${HOST}")
list(FILTER host EXCLUDE REGEX "^$")
file(REMOVE "${PAGE}")
execute_process(COMMAND ${host} run ${SCENARIO} --plugin ${PLUGIN} --html ${PAGE}
                RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT code EQUAL 0 OR NOT EXISTS "${PAGE}")
    message(FATAL_ERROR "hpk-host run --html failed (${code}): ${errors}")
endif()

# A fresh profile each time; `timeout` ends the browser's whole process group
# should it hang.
set(profile "${PAGE}.profile")
file(REMOVE_RECURSE "${profile}")
find_program(TIMEOUT timeout)
set(limit)
if(TIMEOUT)
    set(limit ${TIMEOUT} -k 5 60)
endif()
execute_process(COMMAND ${limit} ${CHROMIUM} --headless --no-sandbox --disable-gpu --disable-dev-shm-usage --no-first-run
                        --user-data-dir=${profile} --dump-dom file://${PAGE}
                RESULT_VARIABLE code OUTPUT_VARIABLE dom ERROR_VARIABLE errors TIMEOUT 90)
file(REMOVE_RECURSE "${profile}")
if(NOT code EQUAL 0)
    message(FATAL_ERROR "chromium --dump-dom failed (${code}): ${errors}")
endif()

string(REGEX MATCH "data-rendered=\"[^\"]*\"" rendered "${dom}")
if(NOT rendered STREQUAL "data-rendered=\"yes\"")
    message(FATAL_ERROR "the page was not drawn: ${rendered}")
endif()
foreach(injected "data-injected=" "<b id=\"injected\"")
    string(FIND "${dom}" "${injected}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "text from the scenario became markup: ${injected}")
    endif()
endforeach()

string(REGEX MATCH "<pre id=\"rendered\">([^<]*)</pre>" drawn "${dom}")
set(drawn "\n${CMAKE_MATCH_1}")
string(REPLACE "&lt;" "<" drawn "${drawn}")
string(REPLACE "&gt;" ">" drawn "${drawn}")
string(REPLACE "&quot;" "\"" drawn "${drawn}")
string(REPLACE "&amp;" "&" drawn "${drawn}")
# Lines of EXPECTED hold no ';' (a list separator here).
file(STRINGS "${EXPECTED}" expected ENCODING UTF-8)
foreach(line IN LISTS expected)
    string(FIND "${drawn}" "\n${line}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the page does not show\n  ${line}\nit shows${drawn}")
    endif()
endforeach()
