# Writes OUTPUT, a C++ source whose function hpk::host::FUNCTION() returns the
# text of INPUT. With REQUIRE set, INPUT must hold that text exactly once
# (the place the program fills in).
file(READ "${INPUT}" HPK_TEXT)
string(FIND "${HPK_TEXT}" ")hpk_text\"" HPK_DELIMITER_FOUND)
if(NOT HPK_DELIMITER_FOUND EQUAL -1)
    message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
if(DEFINED REQUIRE)
    string(FIND "${HPK_TEXT}" "${REQUIRE}" HPK_FIRST)
    string(FIND "${HPK_TEXT}" "${REQUIRE}" HPK_LAST REVERSE)
    if(HPK_FIRST EQUAL -1 OR NOT HPK_FIRST EQUAL HPK_LAST)
        message(FATAL_ERROR "${INPUT} must contain ${REQUIRE} exactly once")
    endif()
endif()
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; edit that file instead.
#include <string_view>

namespace hpk::host {

std::string_view ${FUNCTION}() {
    return R\"hpk_text(${HPK_TEXT})hpk_text\";
}

}  // namespace hpk::host
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
