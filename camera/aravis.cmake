# Camera module "aravis": GigE Vision and USB3 Vision cameras through
# Debian's Aravis library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ARAVIS REQUIRED IMPORTED_TARGET aravis-0.8)
add_library(aravis MODULE ${CMAKE_SOURCE_DIR}/camera/aravis.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
tavex_compile_in_view(aravis modules)
set_target_properties(aravis PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
target_link_libraries(aravis PRIVATE PkgConfig::ARAVIS)
foreach(user tavex-cli tavex unit_tests)
  if(TARGET ${user})
    add_dependencies(${user} aravis)
  endif()
endforeach()
# GObject types cannot be registered twice in a process, so Aravis must never
# be unloaded and loaded again: the module stays in memory once loaded.
target_link_options(aravis PRIVATE -Wl,-z,nodelete)
add_test(NAME camera/aravis-gige
  COMMAND ${CMAKE_SOURCE_DIR}/tests/camera/test-aravis-gige.sh $<TARGET_FILE:tavex-cli>)
set_tests_properties(camera/aravis-gige PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
add_test(NAME camera/aravis-remote
  COMMAND ${CMAKE_SOURCE_DIR}/tests/camera/test-aravis-remote.sh
  $<TARGET_FILE:tavex-cli> $<TARGET_FILE:remotecamd>)
set_tests_properties(camera/aravis-remote PROPERTIES TIMEOUT 180)
