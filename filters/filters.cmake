# Image-file filter modules: shared objects loaded by name at run time,
# placed in build/lib beside the camera modules.
foreach(module pgm incomplete)
  add_library(${module} MODULE ${CMAKE_SOURCE_DIR}/filters/${module}.cpp)
  set_target_properties(${module} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  target_compile_options(${module} PRIVATE "SHELL:-iquote ${CMAKE_SOURCE_DIR}/image")
  # The programs and the unit tests load them: build them first.
  foreach(user tavex-cli tavex unit_tests)
    if(TARGET ${user})
      add_dependencies(${user} ${module})
    endif()
  endforeach()
endforeach()
