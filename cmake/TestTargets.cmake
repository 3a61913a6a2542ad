# Prints the build targets that the tests of one label need, one per line, so
# that a stage builds only what it runs:
#
#   cmake -DBUILD_DIR=build/tsan -DLABEL=threads -P cmake/TestTargets.cmake
#
# LABEL is matched as `ctest -L` matches it (a regular expression against
# each label); EXCLUDE, when given, as `ctest -LE` does: a test with a label
# that matches it is left out, as is a GoogleTest label word that matches it. Printed: tests-<word> for each GoogleTest label word that
# LABEL matches (their cases are listed only once they are built; see
# Testing.cmake), and every file of the build that the label's other tests
# name on their command lines (a test program, or a program a script is
# given). Run after configuring BUILD_DIR, before building: the test files
# that CMake wrote are read here as CTest would read them.
cmake_minimum_required(VERSION 3.25)
if(NOT BUILD_DIR OR NOT LABEL)
  message(FATAL_ERROR "usage: cmake -DBUILD_DIR=DIR -DLABEL=LABEL [-DEXCLUDE=LABEL] -P TestTargets.cmake")
endif()
get_filename_component(build "${BUILD_DIR}" ABSOLUTE)

execute_process(COMMAND ninja -C "${build}" -t targets all
  OUTPUT_VARIABLE ninja_targets RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ninja could not list the targets of ${build}")
endif()
# "path: rule" per line, as a list of paths.
string(REGEX REPLACE ": [^\n]*\n" ";" outputs "${ninja_targets}")

# The commands CTest reads, each argument kept whole (ARGVn, not ARGN, which
# would split a quoted list).
set(test_names "")
function(add_test name)
  set(words "")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 1 ${last})
    list(APPEND words "${ARGV${i}}")
  endforeach()
  set_property(GLOBAL APPEND PROPERTY test_names "${name}")
  set_property(GLOBAL PROPERTY "words_${name}" "${words}")
endfunction()
function(set_tests_properties)
  set(names "")
  math(EXPR last "${ARGC} - 1")
  set(i 0)
  while(i LESS_EQUAL last AND NOT "${ARGV${i}}" STREQUAL "PROPERTIES")
    list(APPEND names "${ARGV${i}}")
    math(EXPR i "${i} + 1")
  endwhile()
  while(i LESS last)
    math(EXPR key "${i} + 1")
    math(EXPR value "${i} + 2")
    if("${ARGV${key}}" STREQUAL "LABELS")
      foreach(name IN LISTS names)
        set_property(GLOBAL PROPERTY "labels_${name}" "${ARGV${value}}")
      endforeach()
    endif()
    math(EXPR i "${i} + 2")
  endwhile()
endfunction()
function(subdirs dir)
  if(IS_ABSOLUTE "${dir}")
    include("${dir}/CTestTestfile.cmake" OPTIONAL)
  else()
    include("${CMAKE_CURRENT_LIST_DIR}/${dir}/CTestTestfile.cmake" OPTIONAL)
  endif()
endfunction()
include("${build}/CTestTestfile.cmake")

set(needed "")
foreach(output IN LISTS outputs)
  if(output MATCHES "^tests-(.*)$" AND CMAKE_MATCH_1 MATCHES "${LABEL}"
     AND NOT (EXCLUDE AND CMAKE_MATCH_1 MATCHES "${EXCLUDE}"))
    list(APPEND needed "${output}")
  endif()
endforeach()
get_property(test_names GLOBAL PROPERTY test_names)
foreach(name IN LISTS test_names)
  get_property(labels GLOBAL PROPERTY "labels_${name}")
  set(selected FALSE)
  foreach(label IN LISTS labels)
    if(label MATCHES "${LABEL}")
      set(selected TRUE)
    endif()
  endforeach()
  foreach(label IN LISTS labels)
    if(EXCLUDE AND label MATCHES "${EXCLUDE}")
      set(selected FALSE)
    endif()
  endforeach()
  if(NOT selected)
    continue()
  endif()
  get_property(words GLOBAL PROPERTY "words_${name}")
  foreach(word IN LISTS words)
    string(FIND "${word}" "${build}/" at)
    if(at EQUAL 0)
      file(RELATIVE_PATH path "${build}" "${word}")
      if(path IN_LIST outputs)
        list(APPEND needed "${path}")
      endif()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES needed)
foreach(target IN LISTS needed)
  # Standard output (message() writes to standard error).
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${target}")
endforeach()
