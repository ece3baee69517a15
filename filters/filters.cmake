# Image-file filter modules: shared objects loaded by name at run time,
# placed in build/lib beside the camera modules.
#
# tavex_filter_module(NAME SOURCE... [LIBS LIB...]) builds build/lib/NAME.so
# from the sources, with its own copy of image/savefile.cpp (the one way a
# module writes a file, see image/savefile.h). The target is filter_NAME, so that a module named
# like a library (png) is never taken for that library.
function(tavex_filter_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBS")
  set(target filter_${name})
  add_library(${target} MODULE ${arg_UNPARSED_ARGUMENTS} ${CMAKE_SOURCE_DIR}/image/savefile.cpp)
  tavex_compile_in_view(${target} modules)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  if(arg_LIBS)
    target_link_libraries(${target} PRIVATE ${arg_LIBS})
  endif()
  # The programs and the unit tests load them: build them first.
  foreach(user tavex-cli tavex unit_tests)
    if(TARGET ${user})
      add_dependencies(${user} ${target})
    endif()
  endforeach()
endfunction()

tavex_filter_module(pgm ${CMAKE_SOURCE_DIR}/filters/pgm.cpp)
tavex_filter_module(incomplete ${CMAKE_SOURCE_DIR}/filters/incomplete.cpp)

# The file-format modules share filterkit and link Debian's libraries.
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
find_package(JPEG REQUIRED)
set(FILTER_LIBRARIES_png PNG::PNG)
set(FILTER_LIBRARIES_tiff TIFF::TIFF)
set(FILTER_LIBRARIES_jpeg JPEG::JPEG)
foreach(format png tiff jpeg)
  tavex_filter_module(${format} ${CMAKE_SOURCE_DIR}/filters/${format}.cpp
                      ${CMAKE_SOURCE_DIR}/filters/filterkit.cpp LIBS ${FILTER_LIBRARIES_${format}})
endforeach()

# The unit tests write files in other programs' forms with the libraries.
if(TARGET unit_tests)
  target_link_libraries(unit_tests PRIVATE PNG::PNG TIFF::TIFF JPEG::JPEG)
endif()

# Files of the modules against OpenCV, scikit-image and Pillow.
add_test(NAME image/formats-interop
  COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tests/image/test_formats_interop.py $<TARGET_FILE:tavex-cli>)
set_tests_properties(image/formats-interop PROPERTIES TIMEOUT 300)
