# The GUI programs: the workstation tavex and the two Tk launchers edit and
# help. They need Tk and the X11 client library; without them they are
# left out and the headless tavex-cli still builds.
find_package(X11)
if(TK_INCLUDE_PATH AND TK_LIBRARY AND X11_FOUND)
  add_library(tkstart OBJECT shell/tkstart.cpp shell/datafile.cpp shell/extent.cpp)
  target_include_directories(tkstart PUBLIC ${TCL_INCLUDE_PATH} ${TK_INCLUDE_PATH})

  add_executable(tavex shell/tavex.cpp shell/disppaint.cpp shell/tkstart.cpp shell/datafile.cpp)
  target_include_directories(tavex PRIVATE ${TK_INCLUDE_PATH} ${X11_INCLUDE_DIR})
  target_link_libraries(tavex PRIVATE kestrel ${TK_LIBRARY} ${TCL_LIBRARY} ${X11_LIBRARIES})
  set_target_properties(tavex PROPERTIES BUILD_RPATH "$ORIGIN/lib" INSTALL_RPATH "$ORIGIN/lib")

  # "help" is a reserved target name (the Makefile generator's own), so
  # the launchers' targets are tavex-edit and tavex-help; the programs are
  # build/edit and build/help.
  foreach(launcher edit help)
    add_executable(tavex-${launcher} shell/${launcher}.cpp)
    set_target_properties(tavex-${launcher} PROPERTIES OUTPUT_NAME ${launcher})
    target_link_libraries(tavex-${launcher} PRIVATE tkstart ${TK_LIBRARY} ${TCL_LIBRARY}
                          ${X11_LIBRARIES} Threads::Threads)
  endforeach()
  set(TAVEX_GUI_BUILT ON)
else()
  message(STATUS "Tk or X11 not found: tavex, edit and help are not built")
endif()
