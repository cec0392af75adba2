# A faster build for the presets: most of the tree's compile time is headers
# parsed again and again, Qt's above all, and GoogleTest's in every test
# source. With VOLTREX_FAST_BUILD
#   - the Qt programs and their window tests precompile the Qt headers they
#     use (once per target, or once for a group of targets with the same
#     flags);
#   - the GoogleTest programs compile their sources in batches (one unity
#     source per few test files), which also shares their template code.
# The production sources without Qt are compiled one by one in every build,
# and the package build (no preset) turns it all off, so each source is
# still checked to include what it uses.
#
#   voltrex_qt_pch(<target> [TEST])
#       precompiles the Qt Widgets headers the windows use (with QtTest's for
#       a TEST library)
#   voltrex_reuse_pch(<target> <from>)
#       lets <target> use the headers precompiled for <from>, which must be
#       built with the same flags
#   voltrex_batch_test_sources()
#       at the end of the top-level list: every GoogleTest program of a tests/
#       folder compiles in batches

option(VOLTREX_FAST_BUILD
       "Precompile the Qt headers and compile the GoogleTest programs in batches" OFF)

set(_voltrex_qt_pch_headers
  <QApplication> <QCheckBox> <QComboBox> <QDialog> <QDir> <QFile> <QFileInfo> <QLabel>
  <QLineEdit> <QMessageBox> <QObject> <QPushButton> <QString> <QStringList> <QTimer>
  <QVBoxLayout> <QWidget> <functional> <map> <memory> <optional> <string> <vector>)

# The source that compiles a program's moc output is empty where its sources
# include their own (the window tests, which reuse a library's headers);
# loading the 160 MB of precompiled headers into it took two seconds of
# nothing per program. A library's moc output needs the Qt headers, and
# compiles faster with them precompiled.
function(_voltrex_moc_source_without_pch target)
  get_target_property(binaryDir ${target} BINARY_DIR)
  set_source_files_properties(${binaryDir}/${target}_autogen/mocs_compilation.cpp
    TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
endfunction()

function(voltrex_qt_pch target)
  if(NOT VOLTREX_FAST_BUILD)
    return()
  endif()
  set(headers ${_voltrex_qt_pch_headers})
  if(ARGN STREQUAL "TEST")
    list(APPEND headers <QtTest>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

function(voltrex_reuse_pch target from)
  if(NOT VOLTREX_FAST_BUILD)
    return()
  endif()
  target_precompile_headers(${target} REUSE_FROM ${from})
  # GCC uses a precompiled header only with the position independence it was
  # made with: a library's sources get -fPIC, a program's -fPIE. Qt 6.4
  # (Debian 12) adds -fPIC to every target that uses it, which hid this; Qt
  # 6.8 (Debian 13) does not, and the window tests failed to compile there.
  get_target_property(type ${target} TYPE)
  get_target_property(fromType ${from} TYPE)
  if(type STREQUAL "EXECUTABLE" AND NOT fromType STREQUAL "EXECUTABLE")
    target_compile_options(${target} PRIVATE -fPIC)
  endif()
  if(type STREQUAL "EXECUTABLE")
    _voltrex_moc_source_without_pch(${target})
  endif()
endfunction()

function(_voltrex_batch_tests_under dir)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    _voltrex_batch_tests_under(${subdir})
  endforeach()
  if(NOT dir MATCHES "/tests$")
    return()
  endif()
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(links ${target} LINK_LIBRARIES)
    if(type STREQUAL "EXECUTABLE" AND links MATCHES "GTest::")
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    endif()
  endforeach()
endfunction()

function(voltrex_batch_test_sources)
  if(VOLTREX_FAST_BUILD)
    _voltrex_batch_tests_under(${PROJECT_SOURCE_DIR})
  endif()
endfunction()
