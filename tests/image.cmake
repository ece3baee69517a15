# Display checks of the image layer: tavex-cli paints into a PNG
# (--display-png) and a standard-library Python script reads the pixels back.
add_test(NAME image/display-png
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/image/test_display_png.py $<TARGET_FILE:tavex-cli>)
set_tests_properties(image/display-png PROPERTIES TIMEOUT 300)
