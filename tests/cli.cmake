# Front-end tests of tavex-cli: each tests/cli/test-NAME.sh gets the path of
# the program as its argument and exits non-zero on failure.
file(GLOB CLI_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cli/test-*.sh)
foreach(script ${CLI_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME cli/${name} COMMAND ${script} $<TARGET_FILE:tavex-cli>)
  set_tests_properties(cli/${name} PROPERTIES TIMEOUT 120)
endforeach()
# 200 images, one process each, also in the sanitizer tree.
set_tests_properties(cli/test-parallel-recipe PROPERTIES TIMEOUT 1200)
# One tavex-cli per example of the function reference.
set_tests_properties(cli/test-help-examples PROPERTIES TIMEOUT 900)
