# Image-file filter modules: shared objects loaded by name at run time,
# placed in build/lib beside the camera modules.
#
# tavex_filter_module(NAME SOURCE... [LIBS LIB...]) builds build/lib/NAME.so
# from the sources, with its own copy of image/savefile.cpp (the one way a
# module writes a file, see image/savefile.h) and the image headers on the
# quoted include path.
function(tavex_filter_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBS")
  add_library(${name} MODULE ${arg_UNPARSED_ARGUMENTS} ${CMAKE_SOURCE_DIR}/image/savefile.cpp)
  set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  target_compile_options(${name} PRIVATE "SHELL:-iquote ${CMAKE_SOURCE_DIR}/image")
  if(arg_LIBS)
    target_link_libraries(${name} PRIVATE ${arg_LIBS})
  endif()
  # The programs and the unit tests load them: build them first.
  foreach(user tavex-cli tavex unit_tests)
    if(TARGET ${user})
      add_dependencies(${user} ${name})
    endif()
  endforeach()
endfunction()

tavex_filter_module(pgm ${CMAKE_SOURCE_DIR}/filters/pgm.cpp)
tavex_filter_module(incomplete ${CMAKE_SOURCE_DIR}/filters/incomplete.cpp)
