# The names of the port library's entry points, read from
# io/PortEntryPointList.h by the C preprocessor, and linker version scripts
# made from them. A library linked with such a script exports exactly the
# listed names it defines, with C linkage, and keeps everything else inside
# (the simulator, the C++ runtime's inline functions, any helper).
#
#   VOLTREX_PORT_ENTRY_NAMES           the 13 entry points every build exports
#   VOLTREX_PORT_OPTIONAL_ENTRY_NAMES  the optional ones
#   voltrex_export_port_entry_points(<target> <name>...)
#       links <target> with a version script that exports the names given

set(VOLTREX_PORT_ENTRY_LIST ${PROJECT_SOURCE_DIR}/io/PortEntryPointList.h)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${VOLTREX_PORT_ENTRY_LIST})

set(_voltrex_names_source ${CMAKE_BINARY_DIR}/io/PortEntryPointNames.c)
file(CONFIGURE OUTPUT ${_voltrex_names_source} CONTENT [[
#include "io/PortEntryPointList.h"
#define VOLTREX_NAME(ReturnType, Name, Parameters, Arguments) Name
required: VOLTREX_PORT_ENTRY_POINTS(VOLTREX_NAME)
optional: VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_NAME)
]])
execute_process(
  COMMAND ${CMAKE_C_COMPILER} -E -P -I${PROJECT_SOURCE_DIR} ${_voltrex_names_source}
  OUTPUT_VARIABLE _voltrex_names
  ERROR_VARIABLE _voltrex_names_error
  RESULT_VARIABLE _voltrex_names_result
)
if(NOT _voltrex_names_result EQUAL 0)
  message(FATAL_ERROR "Cannot read the port entry points: ${_voltrex_names_error}")
endif()
string(REGEX MATCH "required:([^\n]*)" _voltrex_line "${_voltrex_names}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" VOLTREX_PORT_ENTRY_NAMES "${CMAKE_MATCH_1}")
string(REGEX MATCH "optional:([^\n]*)" _voltrex_line "${_voltrex_names}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" VOLTREX_PORT_OPTIONAL_ENTRY_NAMES
  "${CMAKE_MATCH_1}")
list(LENGTH VOLTREX_PORT_ENTRY_NAMES _voltrex_count)
if(NOT _voltrex_count EQUAL 13)
  message(FATAL_ERROR "Found ${_voltrex_count} port entry points, not 13: ${VOLTREX_PORT_ENTRY_NAMES}")
endif()

function(voltrex_export_port_entry_points target)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  list(JOIN ARGN ";\n    " names)
  file(CONFIGURE OUTPUT ${script} CONTENT "/* Made by the build from io/PortEntryPointList.h. */
{
  global:
    ${names};
  local:
    *;
};
")
  set_target_properties(${target} PROPERTIES LINK_DEPENDS ${script})
  target_link_options(${target} PRIVATE "LINKER:--version-script=${script}")
endfunction()
