# Writes and installs menu entries at install time, when the prefix is final
# ("cmake --install --prefix" may differ from the configured one). Included
# from the install script with:
#   VOLTREX_ENTRIES            the entries' names (default: the main program's
#                              two, voltrex2 and voltrex2-simulated)
#   VOLTREX_ENTRY_SOURCE       folder of the *.desktop.in templates
#   VOLTREX_ENTRY_BINARY       where the written entries are kept
#   VOLTREX_ENTRY_LAUNCHER     the launcher, relative to the prefix or absolute
#   VOLTREX_ENTRY_DESTINATION  the applications folder, likewise

function(voltrex_under_prefix out path)
  if(IS_ABSOLUTE "${path}")
    set(${out} "${path}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${path}" PARENT_SCOPE)
  endif()
endfunction()

voltrex_under_prefix(launcher "${VOLTREX_ENTRY_LAUNCHER}")
voltrex_under_prefix(destination "${VOLTREX_ENTRY_DESTINATION}")

# The Exec key is split into arguments at spaces; a path with a space or a
# reserved character is quoted, with ", `, $ and \ escaped by a backslash. A
# backslash is then doubled once more, as every string value's is.
if(launcher MATCHES "^[A-Za-z0-9_./+,:@%-]+$")
  set(VOLTREX_LAUNCHER_EXEC "${launcher}")
else()
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${launcher}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  set(VOLTREX_LAUNCHER_EXEC "\"${quoted}\"")
endif()
# TryExec is a plain string value: only a backslash is escaped there.
string(REPLACE "\\" "\\\\" VOLTREX_LAUNCHER_PATH "${launcher}")

if(NOT VOLTREX_ENTRIES)
  set(VOLTREX_ENTRIES voltrex2 voltrex2-simulated)
endif()
foreach(entry ${VOLTREX_ENTRIES})
  configure_file("${VOLTREX_ENTRY_SOURCE}/${entry}.desktop.in"
                 "${VOLTREX_ENTRY_BINARY}/${entry}.desktop" @ONLY)
  file(INSTALL "${VOLTREX_ENTRY_BINARY}/${entry}.desktop" DESTINATION "${destination}")
endforeach()
# The next inclusion (another folder's entries) starts from the default again.
unset(VOLTREX_ENTRIES)
