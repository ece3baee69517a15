# Camera modules: shared objects loaded by name at run time, placed in
# build/lib beside the filter modules. Each gets its own copy of the camera
# utilities (cutil). simcam is the simulated camera; simcamnolut, the same
# without camlut, exists for the tests of the loader.
set(CAMERA_MODULES simcam simcamnolut)
foreach(module ${CAMERA_MODULES})
  add_library(${module} MODULE ${CMAKE_SOURCE_DIR}/camera/simcam.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
  tavex_compile_in_view(${module} modules)
  set_target_properties(${module} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  # The programs and the unit tests load them: build them first.
  foreach(user tavex-cli tavex unit_tests)
    if(TARGET ${user})
      add_dependencies(${user} ${module})
    endif()
  endforeach()
endforeach()
target_compile_definitions(simcamnolut PRIVATE SIMCAM_WITHOUT_LUT)

# The unit tests exercise the utilities directly.
if(TARGET unit_tests)
  target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
endif()
