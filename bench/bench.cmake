# Image operator benchmarks (never part of the tests): image_bench times the
# library routines; bench/run_image_bench.sh BUILD_DIR compares with OpenCV.
add_executable(image_bench ${CMAKE_SOURCE_DIR}/bench/image_bench.cpp)
target_link_libraries(image_bench PRIVATE kestrel ${TCL_LIBRARY})
