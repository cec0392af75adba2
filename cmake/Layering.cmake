# The layering's arrows come from one table, tools/layering.txt, which
# tools/check-layering reads too: a library links exactly the libraries of
# the modules its line names, so the build and the check cannot disagree.
#
#   voltrex_link_layer(<target> <module>)
#       links <target> (PUBLIC for a library, PRIVATE for a program) to the
#       libraries of the modules <module> may include

file(STRINGS ${PROJECT_SOURCE_DIR}/tools/layering.txt _voltrex_layers REGEX "^[a-z]+:")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/tools/layering.txt)
foreach(_line IN LISTS _voltrex_layers)
  string(REGEX MATCH "^([a-z]+):(.*)$" _match "${_line}")
  string(STRIP "${CMAKE_MATCH_2}" _allowed)
  separate_arguments(_allowed UNIX_COMMAND "${_allowed}")
  set_property(GLOBAL PROPERTY VOLTREX_LAYER_${CMAKE_MATCH_1} "${_allowed}")
endforeach()

# The library of each module: voltrex_<module>, but for these.
set(VOLTREX_LIBRARY_portio voltrex_port_io)
set(VOLTREX_LIBRARY_results voltrex_results_core)
set(VOLTREX_LIBRARY_calibratewizard voltrex_calibrate_wizard)

function(voltrex_link_layer target module)
  get_property(known GLOBAL PROPERTY VOLTREX_LAYER_${module} SET)
  if(NOT known)
    message(FATAL_ERROR "${module} has no line in tools/layering.txt")
  endif()
  get_property(allowed GLOBAL PROPERTY VOLTREX_LAYER_${module})
  set(libraries)
  foreach(name IN LISTS allowed)
    if(DEFINED VOLTREX_LIBRARY_${name})
      list(APPEND libraries ${VOLTREX_LIBRARY_${name}})
    else()
      list(APPEND libraries voltrex_${name})
    endif()
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "STATIC_LIBRARY")
    target_link_libraries(${target} PUBLIC ${libraries})
  else()
    target_link_libraries(${target} PRIVATE ${libraries})
  endif()
endfunction()
