# Each library exposes only its own folder to what links it. Sources name
# headers from the tree's root ("instrument/Instrument.h"), but no target
# puts the tree's root on its include path: a target's include root is a
# folder of its own in the build tree holding one symbolic link, named after
# the source folder, to that folder. A target that does not link another
# therefore cannot include the other's headers: the compiler does not find
# them. tools/check-layering checks the same arrows on the sources alone.
#
#   voltrex_include_root(<target> <folder>)
#       <target> exposes <folder> (to what links it; a program or a loadable
#       library only to its own sources)
#   voltrex_include_headers(<target> <header>...)
#       <target> exposes only the headers named (paths from the tree's root)

set(VOLTREX_INCLUDE_ROOTS ${CMAKE_BINARY_DIR}/include-roots)

function(_voltrex_link_into root relative)
  get_filename_component(parent ${root}/${relative} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${relative} ${root}/${relative} SYMBOLIC)
endfunction()

function(_voltrex_expose target root)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  elseif(type STREQUAL "STATIC_LIBRARY")
    target_include_directories(${target} PUBLIC ${root})
  else()
    target_include_directories(${target} PRIVATE ${root})
  endif()
endfunction()

# A root is made afresh at every configuration, so that a target that now
# exposes less than before (headers instead of its folder) does not keep the
# old links. (REMOVE_RECURSE removes a link, never what it points to.)
function(voltrex_include_root target folder)
  set(root ${VOLTREX_INCLUDE_ROOTS}/${target})
  file(REMOVE_RECURSE ${root})
  _voltrex_link_into(${root} ${folder})
  _voltrex_expose(${target} ${root})
endfunction()

function(voltrex_include_headers target)
  set(root ${VOLTREX_INCLUDE_ROOTS}/${target})
  file(REMOVE_RECURSE ${root})
  foreach(header ${ARGN})
    _voltrex_link_into(${root} ${header})
  endforeach()
  _voltrex_expose(${target} ${root})
endfunction()
