// Where the programs find their Tcl scripts and help files (the files of
// src/disp, src/edit and src/help), in a build tree and installed alike.
#pragma once

#include <string>
#include <vector>

// The folders that may hold them, in the order they are tried, for a
// program in `programdir` (empty or ending in a slash):
//   programdir + "../share/tavex/"  installed (cmake --install, the package)
//   programdir + "../src/"          a build directory directly below the sources
//   sourcedir + "/src/"             only when programdir is `builddir`: the
//                                   program's own build directory, wherever it is
// builddir and sourcedir are the folders CMake configured (empty: unknown).
std::vector<std::string> DataFolders(const std::string &programdir, const std::string &builddir,
                                     const std::string &sourcedir);

// The path of `name` (such as "disp/tavex.tcl") in the first of those
// folders that holds it. When none does, the path below programdir +
// "../src/", so that the error names a place where it was looked for.
std::string DataFile(const std::string &programdir, const std::string &name,
                     const std::string &builddir, const std::string &sourcedir);

// DataFile with the build and source folders of this build.
std::string DataFile(const std::string &programdir, const std::string &name);
