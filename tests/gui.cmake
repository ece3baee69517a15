# Tests of the real GUI programs under a virtual X server (Xvfb). Each
# tests/gui/test-NAME.sh gets the paths of tavex, edit, help and tavex-cli;
# they are skipped (status 77) when xvfb-run or xdotool is missing. They run
# one at a time: each drives its windows with real key and mouse events.
if(TAVEX_GUI_BUILT)
  file(GLOB GUI_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gui/test-*.sh)
  foreach(script ${GUI_TESTS})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME gui/${name}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/gui/under-xvfb ${script}
              $<TARGET_FILE:tavex> $<TARGET_FILE:tavex-edit> $<TARGET_FILE:tavex-help>
              $<TARGET_FILE:tavex-cli>)
    set_tests_properties(gui/${name} PROPERTIES
      TIMEOUT 240 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE LABELS gui)
  endforeach()
endif()

# Every function of the three tables has an entry in the help viewer.
add_test(NAME gui/help-coverage
  COMMAND ${CMAKE_SOURCE_DIR}/tests/gui/check-help-coverage.sh
          $<TARGET_FILE:tavex-cli> ${CMAKE_SOURCE_DIR}/src/help/functions.txt)
set_tests_properties(gui/help-coverage PROPERTIES TIMEOUT 120 LABELS gui)
