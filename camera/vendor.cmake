# The GigE camera modules vimbacam and pvapicam: their shared logic gige.cpp
# plus one SDK layer each, placed in build/lib like the other camera modules.
# By default they are built against the stand-in SDK libraries of
# camera/standin/ (libVimbaC.so, libPvAPI.so in build/lib/standin), which
# simulate cameras. -DVIMBA_SDK_DIR=... / -DPVAPI_SDK_DIR=... build them
# against a real SDK's headers and library instead.
set(VIMBA_SDK_DIR "" CACHE PATH "Vimba SDK to build vimbacam against (empty: the stand-in)")
set(PVAPI_SDK_DIR "" CACHE PATH "PvAPI SDK to build pvapicam against (empty: the stand-in)")

set(STANDIN_DIR ${CMAKE_SOURCE_DIR}/camera/standin)

# standin_sdk(TARGET SOURCE): a stand-in SDK library lib<TARGET>.so.
function(standin_sdk target source)
  add_library(${target} SHARED ${STANDIN_DIR}/${source} ${STANDIN_DIR}/standin.cpp)
  set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/standin)
  target_include_directories(${target} PRIVATE ${STANDIN_DIR})
endfunction()

# gige_module(NAME SDK_DIR HEADER HEADER_SUFFIXES LIBRARY LIBRARY_SUFFIXES
#             STANDIN_SOURCE [DEFINITIONS...])
function(gige_module name sdkdir header headersuffixes library librarysuffixes standin)
  add_library(${name} MODULE ${CMAKE_SOURCE_DIR}/camera/gige.cpp
    ${CMAKE_SOURCE_DIR}/camera/${name}.cpp ${CMAKE_SOURCE_DIR}/camera/cutil.cpp)
  tavex_compile_in_view(${name} modules)
  set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
  if(sdkdir)
    find_path(${name}_SDK_INCLUDE ${header} PATHS ${sdkdir} PATH_SUFFIXES ${headersuffixes} NO_DEFAULT_PATH)
    find_library(${name}_SDK_LIBRARY ${library} PATHS ${sdkdir} PATH_SUFFIXES ${librarysuffixes} NO_DEFAULT_PATH)
    if(NOT ${name}_SDK_INCLUDE OR NOT ${name}_SDK_LIBRARY)
      message(FATAL_ERROR "${name}: no ${header} or lib${library}.so under ${sdkdir}")
    endif()
    target_include_directories(${name} PRIVATE ${${name}_SDK_INCLUDE} ${sdkdir})
    target_link_libraries(${name} PRIVATE ${${name}_SDK_LIBRARY})
    get_filename_component(libdir ${${name}_SDK_LIBRARY} DIRECTORY)
    set_target_properties(${name} PROPERTIES BUILD_RPATH ${libdir} INSTALL_RPATH ${libdir})
  else()
    standin_sdk(${library} ${standin})
    target_include_directories(${name} PRIVATE ${STANDIN_DIR})
    target_link_libraries(${name} PRIVATE ${library})
    set_target_properties(${name} PROPERTIES SKIP_BUILD_RPATH ON
      INSTALL_RPATH "$ORIGIN/standin" BUILD_WITH_INSTALL_RPATH ON)
  endif()
  target_compile_definitions(${name} PRIVATE ${ARGN})
  # The programs and the unit tests load them: build them first.
  foreach(user tavex-cli tavex unit_tests)
    if(TARGET ${user})
      add_dependencies(${user} ${name})
    endif()
  endforeach()
endfunction()

gige_module(vimbacam "${VIMBA_SDK_DIR}" VimbaC.h "VimbaC/Include;Include;include"
  VimbaC "VimbaC/DynamicLib/x86_64bit;lib" vimbac.cpp)
# PvApi.h wants the platform named.
gige_module(pvapicam "${PVAPI_SDK_DIR}" PvApi.h "inc-pc;include"
  PvAPI "bin-pc/x64;lib" pvapi.cpp _LINUX _x64)

# 1,000 init/snap/read/free cycles: in the sanitizer tree, where
# LeakSanitizer checks that nothing leaks (they take about five minutes,
# mostly the pauses that real cameras need).
if(TAVEX_SANITIZE AND TARGET tavex-cli)
  add_test(NAME camera/cycles COMMAND ${CMAKE_SOURCE_DIR}/tests/camera/cycles.sh $<TARGET_FILE:tavex-cli>)
  set_tests_properties(camera/cycles PROPERTIES TIMEOUT 1500)
endif()

# Both modules behind the remote camera server.
if(TARGET remotecamd AND TARGET remotecam AND TARGET tavex-cli)
  add_test(NAME camera/vendor-remote COMMAND ${CMAKE_SOURCE_DIR}/tests/camera/test-vendor-remote.sh
    $<TARGET_FILE:tavex-cli> $<TARGET_FILE:remotecamd>)
  set_tests_properties(camera/vendor-remote PROPERTIES LABELS remote TIMEOUT 180)
endif()

# The SDK options, with stand-ins laid out as the vendors' SDKs.
if(NOT VIMBA_SDK_DIR AND NOT PVAPI_SDK_DIR AND NOT TAVEX_SANITIZE AND TARGET tavex-cli)
  add_test(NAME camera/sdk-option COMMAND ${CMAKE_SOURCE_DIR}/tests/camera/test-sdk-option.sh
    ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  set_tests_properties(camera/sdk-option PROPERTIES TIMEOUT 600)
endif()
