# Image operator benchmarks (never part of the tests): image_bench times the
# library routines; bench/run_image_bench.sh BUILD_DIR compares with OpenCV.
add_executable(image_bench ${CMAKE_SOURCE_DIR}/bench/image_bench.cpp)
target_link_libraries(image_bench PRIVATE kestrel ${TCL_LIBRARY})
# camera_bench times the demosaicking of the camera modules;
# bench/run_camera_bench.sh BUILD_DIR adds the frame rates and OpenCV's time.
add_executable(camera_bench ${CMAKE_SOURCE_DIR}/bench/camera_bench.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
# bench/run_formats_bench.sh BUILD_DIR: image files against OpenCV.
add_executable(formats_bench ${CMAKE_SOURCE_DIR}/bench/formats_bench.cpp)
target_link_libraries(formats_bench PRIVATE kestrel ${TCL_LIBRARY})
