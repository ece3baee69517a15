# Install rules and the Debian package (cpack). Below the prefix:
#   bin/                 tavex, tavex-cli, tavex-edit, tavex-help, tavex-start,
#                        remotecamd
#   lib/tavex/           camera and file modules NAME.so (standin/: the
#                        stand-in camera SDKs); image/io.cpp looks here
#   share/tavex/         disp/, edit/, help/: all of src/; shell/datafile.cpp looks here
#   share/man/, share/applications/, share/icons/   man pages, desktop entry, icon
#   lib/systemd/system/  remotecamd.socket and remotecamd@.service
#   share/doc/tavex/     README.md; examples/: remotecamd.xinetd, services
set(TAVEX_MODULE_DESTINATION lib/tavex)
set(TAVEX_DATA_DESTINATION share/tavex)

# A program in its build directory also finds the scripts of its sources
# when that directory is not directly below them.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/shell/datafile.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  TAVEX_BUILD_DIR="${CMAKE_BINARY_DIR}" TAVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# The launcher beside the programs, in the build tree as installed.
configure_file(${CMAKE_SOURCE_DIR}/dist/tavex-start ${CMAKE_BINARY_DIR}/tavex-start COPYONLY)

# ------------------------------------------------------------ programs
foreach(program tavex tavex-cli)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "$ORIGIN/../${TAVEX_MODULE_DESTINATION}")
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
install(TARGETS remotecamd RUNTIME DESTINATION bin)
# Installed, the launchers carry the program's name: /usr/bin/edit is taken.
foreach(launcher edit help)
  if(TARGET tavex-${launcher})
    install(PROGRAMS $<TARGET_FILE:tavex-${launcher}> DESTINATION bin RENAME tavex-${launcher})
  endif()
endforeach()
install(PROGRAMS ${CMAKE_SOURCE_DIR}/dist/tavex-start DESTINATION bin)

# ------------------------------------------------------------ modules
# The test modules (incomplete, simcamnolut, oddcam) stay in the build tree.
foreach(module filter_pgm filter_png filter_tiff filter_jpeg simcam remotecam aravis vimbacam pvapicam)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION ${TAVEX_MODULE_DESTINATION})
  endif()
endforeach()
foreach(standin VimbaC PvAPI)
  if(TARGET ${standin})
    install(TARGETS ${standin} LIBRARY DESTINATION ${TAVEX_MODULE_DESTINATION}/standin)
  endif()
endforeach()

# ------------------------------------------------------------ data
# Everything below src/ (the scripts source their neighbours by relative path).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/src/ DESTINATION ${TAVEX_DATA_DESTINATION})
# Man pages are installed compressed (gzip -9n: no name or time stamp, so
# that the same page always gives the same bytes).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(TAVEX_MAN_PAGES)
foreach(page tavex.1 tavex-cli.1 remotecamd.8)
  set(gz ${CMAKE_BINARY_DIR}/dist/${page}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/dist
    COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_SOURCE_DIR}/dist/${page} > ${gz}
    DEPENDS ${CMAKE_SOURCE_DIR}/dist/${page} VERBATIM)
  list(APPEND TAVEX_MAN_PAGES ${gz})
  string(REGEX REPLACE ".*\\." "" section ${page})
  install(FILES ${gz} DESTINATION share/man/man${section})
endforeach()
add_custom_target(man-pages ALL DEPENDS ${TAVEX_MAN_PAGES})
install(FILES ${CMAKE_SOURCE_DIR}/dist/tavex.desktop DESTINATION share/applications)
install(FILES ${CMAKE_SOURCE_DIR}/dist/tavex.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION share/doc/tavex)
install(FILES ${CMAKE_SOURCE_DIR}/remote/services DESTINATION share/doc/tavex/examples)

# The super-server files name /usr/local/bin/remotecamd and the module
# folder /usr/local/lib/tavex; installed, they name the prefix they are
# installed under (known only at install time: cpack installs under its own).
function(tavex_install_prefixed source destination)
  get_filename_component(name ${source} NAME)
  install(CODE "
    file(READ \"${source}\" text)
    string(REPLACE \"/usr/local/\" \"\${CMAKE_INSTALL_PREFIX}/\" text \"\${text}\")
    file(WRITE \"${CMAKE_BINARY_DIR}/dist/${name}\" \"\${text}\")
    file(INSTALL \"${CMAKE_BINARY_DIR}/dist/${name}\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\")")
endfunction()
tavex_install_prefixed(${CMAKE_SOURCE_DIR}/remote/remotecamd.socket lib/systemd/system)
tavex_install_prefixed(${CMAKE_SOURCE_DIR}/remote/remotecamd@.service lib/systemd/system)
tavex_install_prefixed(${CMAKE_SOURCE_DIR}/remote/remotecamd.xinetd share/doc/tavex/examples)

# ------------------------------------------------------------ package
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavex)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_CONTACT "Tavex developers <tavex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive image-analysis workstation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavex is an image-analysis workstation: Kestrel expressions, a small Lisp
dialect with image types and some ninety image operators (morphology,
measurements, filters, Fourier transforms, colour), typed into a console or
loaded from files, with a display window for the results. tavex-cli runs
the same interpreter on a terminal; remotecamd serves cameras over TCP.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The dependencies are those of the shared libraries actually linked
# (dpkg-shlibdeps); the stand-in SDKs are found beside the modules.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_BINARY_DIR}/lib/standin)
include(CPack)

# ------------------------------------------------------------ tests
# The lookup of the scripts (test_datafile.cpp), the launcher's budget, the
# documents, and the package: built with cpack into the test's own folder,
# unpacked with dpkg -x and run from there (not in the sanitizer tree, whose
# programs need its runtime).
if(TARGET unit_tests)
  target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/shell/datafile.cpp)
endif()
add_test(NAME install/start COMMAND ${CMAKE_SOURCE_DIR}/tests/install/test-start.sh
  ${CMAKE_BINARY_DIR}/tavex-start $<TARGET_FILE:tavex-cli>)
add_test(NAME install/docs COMMAND ${CMAKE_SOURCE_DIR}/tests/install/test-docs.sh
  ${CMAKE_SOURCE_DIR} $<TARGET_FILE:tavex-cli>)
set_tests_properties(install/start install/docs PROPERTIES LABELS install TIMEOUT 120)
if(TAVEX_GUI_BUILT AND NOT TAVEX_SANITIZE AND NOT TAVEX_FUZZ)
  add_test(NAME install/package COMMAND ${CMAKE_SOURCE_DIR}/tests/gui/under-xvfb
    ${CMAKE_SOURCE_DIR}/tests/install/test-package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install/package PROPERTIES LABELS install TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
