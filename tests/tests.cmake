# Unit tests (GoogleTest) and Lisp golden transcripts.
find_package(GTest REQUIRED)

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
if(UNIT_TEST_SOURCES)
  add_executable(unit_tests ${UNIT_TEST_SOURCES})
  target_link_libraries(unit_tests PRIVATE kestrel GTest::gtest GTest::gtest_main ${TCL_LIBRARY})
  gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)
endif()

# Each tests/lisp/NAME.lsp is typed into `tavex-cli -xS`; the console output
# must equal tests/lisp/NAME.out.
file(GLOB LISP_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/lisp/*.lsp)
# A build that collects on every allocation skips the tests marked with a
# NAME.nostress file (those that build million-node lists).
foreach(lsp ${LISP_TESTS})
  get_filename_component(name ${lsp} NAME_WE)
  if(TAVEX_GC_STRESS AND EXISTS ${CMAKE_SOURCE_DIR}/tests/lisp/${name}.nostress)
    continue()
  endif()
  add_test(NAME lisp/${name}
    COMMAND ${CMAKE_SOURCE_DIR}/tests/lisp/run-golden $<TARGET_FILE:tavex-cli> ${lsp})
  set_tests_properties(lisp/${name} PROPERTIES LABELS lisp TIMEOUT 600)
endforeach()

# The committed function tables are exactly what their generators make.
add_test(NAME gen/tables COMMAND ${CMAKE_SOURCE_DIR}/scripts/gen/check)
# No identifier carries the prefix of a unit other than its own.
add_test(NAME names/prefixes COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-names)
# The golden runner names the input form behind a differing output line.
add_test(NAME lisp-runner/formof COMMAND ${CMAKE_SOURCE_DIR}/tests/lisp/formof-test)
