# quorvane_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [QT] [ENV ...] [TIMEOUT s])
#
# One GoogleTest binary per call; every test case becomes a CTest test so that
# ctest -j runs them in parallel. LABELS "threaded" marks suites that the TSan
# pass runs again; QT marks suites that need a QApplication (run offscreen). With
# QUORVANE_THREADED_TESTS_ONLY the other suites stay out of the default build and of CTest:
# the TSan pass would compile them only to leave them unrun.
function(quorvane_add_test name)
  cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  quorvane_warnings(${name})
  # gcc 12 reports "potential null pointer dereference" inside std::vector and Qt headers once
  # GoogleTest assertions are inlined into test bodies; the flag stays on for product code.
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-null-dereference>)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest Threads::Threads)
  # Header-only test support (waiting with a deadline, ...) is open to every suite.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(NOT T_QT)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(QUORVANE_THREADED_TESTS_ONLY AND NOT "threaded" IN_LIST T_LABELS)
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(env ${T_ENV} "QUORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}" "QUORVANE_BINARY_DIR=${PROJECT_BINARY_DIR}"
          "QUORVANE_PLUGIN_DIR=${QUORVANE_PLUGIN_DIR}"
          "NATNET_CAPTURES_DIR=${PROJECT_SOURCE_DIR}/tests/data/natnet-captures")
  if(T_QT)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  # ENVIRONMENT and LABELS are lists, and gtest_discover_tests splits list-valued PROPERTIES
  # into separate words (only the first variable would survive). So they are set by a small
  # script that CTest runs after the discovered tests are defined.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  set(properties_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake")
  file(WRITE "${properties_file}"
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES\n"
    "    ENVIRONMENT [==[${env}]==]\n"
    "    LABELS [==[${T_LABELS}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${properties_file}")
endfunction()
