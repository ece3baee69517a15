# The layers: every include of ours names its header from the repository
# root (scripts/includes), each layer compiles against a view of the
# headers below it (CMakeLists.txt, "The layers"), and the interpreter core
# links and runs without the rest of the program.
add_test(NAME layers/includes COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/scripts/includes check)
set_tests_properties(layers/includes PROPERTIES TIMEOUT 60)

add_test(NAME layers/views
  COMMAND ${CMAKE_SOURCE_DIR}/tests/layers/views.sh ${CMAKE_CXX_COMPILER} ${CMAKE_BINARY_DIR}/views)
set_tests_properties(layers/views PROPERTIES TIMEOUT 120)

add_executable(interp_alone ${CMAKE_SOURCE_DIR}/tests/layers/interp_alone.cpp
  $<TARGET_OBJECTS:tavex_interp> $<TARGET_OBJECTS:tavex_leaf>)
tavex_compile_in_view(interp_alone interp)
target_link_libraries(interp_alone PRIVATE m)
add_test(NAME layers/interp-alone
  COMMAND ${CMAKE_SOURCE_DIR}/tests/layers/interp-alone.sh $<TARGET_FILE:interp_alone>)
set_tests_properties(layers/interp-alone PROPERTIES TIMEOUT 60)
