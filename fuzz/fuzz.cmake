# libFuzzer targets, built only in a tree configured with clang and
# TAVEX_FUZZ=ON (scripts/fuzz makes one in build-fuzz/). How to add a
# target: fuzz/README.
if(NOT TAVEX_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TAVEX_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

# All fuzz targets: `cmake --build DIR --target fuzz`.
add_custom_target(fuzz)

# tavex_fuzz_target(NAME SOURCE... [LIBS LIB...]) builds DIR/fuzz/NAME, an
# executable with libFuzzer's main, linked with the interpreter and the
# image library. Its seed corpus is fuzz/corpus/NAME/.
function(tavex_fuzz_target name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBS")
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE kestrel ${TCL_LIBRARY} ${arg_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzz ${name})
endfunction()

# IMALOAD's reading of the native format and of the pgm module (compiled
# in, so that its code is instrumented and nothing is loaded per input).
tavex_fuzz_target(imaload_native ${CMAKE_SOURCE_DIR}/fuzz/imaload_native.cpp)
tavex_fuzz_target(imaload_pgm ${CMAKE_SOURCE_DIR}/fuzz/imaload_pgm.cpp
                  ${CMAKE_SOURCE_DIR}/filters/pgm.cpp)

# The file-format modules, one target each: the module and its kit compiled
# in, its library linked.
foreach(format png tiff jpeg)
  set(lossy 0)
  if(format STREQUAL jpeg)
    set(lossy 1)
  endif()
  tavex_fuzz_target(imaload_${format} ${CMAKE_SOURCE_DIR}/fuzz/imaload_formats.cpp
                    ${CMAKE_SOURCE_DIR}/filters/${format}.cpp ${CMAKE_SOURCE_DIR}/filters/filterkit.cpp
                    LIBS ${FILTER_LIBRARIES_${format}})
  target_compile_definitions(imaload_${format} PRIVATE FORMAT_LOSSY=${lossy})
endforeach()

# The reader and evaluator: inputs typed into the console loop.
tavex_fuzz_target(console ${CMAKE_SOURCE_DIR}/fuzz/console.cpp)
