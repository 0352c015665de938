# Writes OUTPUT, a C++ source that returns the text of INPUT (the default
# scenario) from hpk::host::DefaultScenarioText().
file(READ "${INPUT}" HPK_SCENARIO_TEXT)
string(FIND "${HPK_SCENARIO_TEXT}" ")hpk_scenario\"" HPK_DELIMITER_FOUND)
if(NOT HPK_DELIMITER_FOUND EQUAL -1)
    message(FATAL_ERROR "${INPUT} contains the raw string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; edit that file instead.
#include \"scenario/scenario_reader.h\"

namespace hpk::host {

std::string_view DefaultScenarioText() {
    return R\"hpk_scenario(${HPK_SCENARIO_TEXT})hpk_scenario\";
}

}  // namespace hpk::host
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
