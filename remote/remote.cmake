# The remote camera: the server remotecamd (build/remotecamd) and the client
# module remotecam (build/lib/remotecam.so). Both use the camera utilities
# and one copy of the protocol primitives.
add_executable(remotecamd ${CMAKE_SOURCE_DIR}/remote/remotecamd.cpp
  ${CMAKE_SOURCE_DIR}/remote/protocol.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
target_link_libraries(remotecamd PRIVATE dl)
tavex_compile_in_view(remotecamd modules)

add_library(remotecam MODULE ${CMAKE_SOURCE_DIR}/remote/remotecam.cpp
  ${CMAKE_SOURCE_DIR}/remote/protocol.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
set_target_properties(remotecam PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
tavex_compile_in_view(remotecam modules)

foreach(user tavex-cli tavex)
  if(TARGET ${user})
    add_dependencies(${user} remotecam)
  endif()
endforeach()

# Tests: the server through a real super-server on 127.0.0.1, the client
# module against a scripted fake server, and the whole chain from tavex-cli
# to the simulated camera. oddcam is a misbehaving camera module for the
# server's tests only; it stays out of build/lib.
add_library(oddcam MODULE ${CMAKE_SOURCE_DIR}/tests/remote/oddcam.cpp)
set_target_properties(oddcam PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/testlib)

file(GLOB REMOTE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/remote/test_*.cpp)
add_executable(remote_tests ${REMOTE_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/remote/protocol.cpp)
target_link_libraries(remote_tests PRIVATE GTest::gtest GTest::gtest_main Threads::Threads dl)
target_compile_definitions(remote_tests PRIVATE
  REMOTECAMD="$<TARGET_FILE:remotecamd>"
  REMOTECAM_MODULE="$<TARGET_FILE:remotecam>"
  MODULE_DIR="${CMAKE_BINARY_DIR}/lib"
  TEST_MODULE_DIR="${CMAKE_BINARY_DIR}/testlib")
add_dependencies(remote_tests remotecamd remotecam oddcam simcam simcamnolut)
gtest_discover_tests(remote_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS remote TIMEOUT 120)

foreach(superserver systemd xinetd)
  add_test(NAME remote/chain-${superserver} COMMAND ${CMAKE_SOURCE_DIR}/tests/remote/test-chain.sh
    $<TARGET_FILE:tavex-cli> $<TARGET_FILE:remotecamd> ${superserver})
  set_tests_properties(remote/chain-${superserver} PROPERTIES LABELS remote TIMEOUT 300)
endforeach()

# Benchmark (never part of the tests): build/remote_bench times CAMSNAP +
# CAMREAD through remotecam and remotecamd on loopback against simcam
# in-process and a plain loopback transfer of the same bytes.
add_executable(remote_bench ${CMAKE_SOURCE_DIR}/bench/remote_bench.cpp)
target_link_libraries(remote_bench PRIVATE Threads::Threads dl)
target_compile_definitions(remote_bench PRIVATE
  REMOTECAMD="$<TARGET_FILE:remotecamd>" MODULE_DIR="${CMAKE_BINARY_DIR}/lib")
add_dependencies(remote_bench remotecamd remotecam simcam)

# A short run of the protocol fuzzer in the sanitizer tree (the long run:
# scripts/fuzz-remotecamd -n 1000000 -j 2 build-asan).
if(TAVEX_SANITIZE)
  add_test(NAME remote/fuzz-short
    COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/scripts/fuzz-remotecamd -n 4000 -s 1 ${CMAKE_BINARY_DIR})
  set_tests_properties(remote/fuzz-short PROPERTIES LABELS remote TIMEOUT 600)
endif()
