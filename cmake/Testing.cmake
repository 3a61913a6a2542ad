if(CMAKE_CROSSCOMPILING)
  # No GoogleTest libraries for the target: built here from Debian's sources
  # (package googletest), GoogleMock and the main function in one library.
  set(QUILLARC_GTEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest's sources, for a cross build")
  set(gt ${QUILLARC_GTEST_SOURCES}/googletest)
  set(gm ${QUILLARC_GTEST_SOURCES}/googlemock)
  if(NOT EXISTS ${gt}/src/gtest-all.cc)
    message(FATAL_ERROR "GoogleTest's sources are not in ${QUILLARC_GTEST_SOURCES} (apt-get install googletest)")
  endif()
  add_library(quillarc_gtest STATIC ${gt}/src/gtest-all.cc ${gm}/src/gmock-all.cc ${gt}/src/gtest_main.cc)
  target_include_directories(quillarc_gtest SYSTEM PUBLIC ${gt}/include ${gm}/include)
  target_include_directories(quillarc_gtest PRIVATE ${gt} ${gm})
  # Its sources are each already a whole library in one file.
  set_target_properties(quillarc_gtest PROPERTIES UNITY_BUILD OFF)
  find_package(Threads REQUIRED)
  target_link_libraries(quillarc_gtest PUBLIC Threads::Threads)
  foreach(name gtest gmock gtest_main)
    add_library(GTest::${name} ALIAS quillarc_gtest)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

option(QUILLARC_TEST_EACH_CASE
  "Each GoogleTest case a CTest entry of its own, run in a process of its own (OFF: one entry per test program)" ON)

# quillarc_test(NAME SOURCES... DEPS ... [LABELS ...]): one GoogleTest
# executable, each case its own CTest entry (in a native build with
# QUILLARC_TEST_EACH_CASE).
function(quillarc_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUILLARC_SHARED_MIDI_DIR="${QUILLARC_SHARED_DIR}/midi"
    QUILLARC_SHARED_BENCH_DIR="${QUILLARC_SHARED_DIR}/bench"
    QUILLARC_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  quillarc_warnings(${name})
  # Discovered tests take one label only (a list does not survive discovery),
  # so several are joined: "unit;threads" becomes "unit-threads", which
  # `ctest -L unit` and `ctest -L threads` both select (-L is a regex).
  set(labels unit)
  if(ARG_LABELS)
    set(labels ${ARG_LABELS})
  endif()
  if(CMAKE_CROSSCOMPILING OR NOT QUILLARC_TEST_EACH_CASE)
    # Under an emulator (Wine) every program start costs a good part of a
    # second, and listing the cases means running the program at build time;
    # under a sanitizer a start costs a tenth of a second, which for 470
    # cases was two thirds of the CPU time the ASan stage spent testing. The
    # whole executable is then one CTest entry, its output naming each case.
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}")
  else()
    list(JOIN labels "-" label)
    gtest_discover_tests(${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
  endif()
  # Its cases are listed only once it is built: until then the executable is
  # known to stand under its labels from here alone.
  foreach(each IN LISTS labels)
    set_property(GLOBAL APPEND PROPERTY QUILLARC_TEST_LABELS ${each})
    set_property(GLOBAL APPEND PROPERTY QUILLARC_TESTS_LABELLED_${each} ${name})
  endforeach()
endfunction()

# tests-<label> builds the GoogleTest executables of that label, so that a
# stage that runs one label builds only what it runs (cmake/TestTargets.cmake
# adds what the other tests of the label name on their command lines).
function(quillarc_label_targets)
  get_property(labels GLOBAL PROPERTY QUILLARC_TEST_LABELS)
  list(REMOVE_DUPLICATES labels)
  foreach(label IN LISTS labels)
    get_property(executables GLOBAL PROPERTY QUILLARC_TESTS_LABELLED_${label})
    add_custom_target(tests-${label})
    add_dependencies(tests-${label} ${executables})
  endforeach()
endfunction()
cmake_language(DEFER CALL quillarc_label_targets)
