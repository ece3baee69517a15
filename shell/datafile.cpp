// Lookup of the scripts and help files; the install rules (install.cmake)
// put them in share/tavex/, the first folder tried.
#include "shell/datafile.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

// Set by CMake for this unit; without them only the two folders relative
// to the program are tried.
#ifndef TAVEX_BUILD_DIR
#define TAVEX_BUILD_DIR ""
#endif
#ifndef TAVEX_SOURCE_DIR
#define TAVEX_SOURCE_DIR ""
#endif

// The canonical form of an existing folder, "" when it cannot be had.
static std::string Canonical(const std::string &dir) {
    if (dir.empty()) return "";
    char buf[PATH_MAX];
    return realpath(dir.c_str(), buf) ? buf : "";
}

std::vector<std::string> DataFolders(const std::string &programdir, const std::string &builddir,
                                     const std::string &sourcedir) {
    std::vector<std::string> folders{programdir + "../share/tavex/", programdir + "../src/"};
    std::string here = Canonical(programdir.empty() ? "." : programdir);
    if (!sourcedir.empty() && !here.empty() && here == Canonical(builddir))
        folders.push_back(sourcedir + "/src/");
    return folders;
}

static bool ReadableFile(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

std::string DataFile(const std::string &programdir, const std::string &name,
                     const std::string &builddir, const std::string &sourcedir) {
    for (const std::string &folder : DataFolders(programdir, builddir, sourcedir))
        if (ReadableFile(folder + name)) return folder + name;
    return programdir + "../src/" + name;
}

std::string DataFile(const std::string &programdir, const std::string &name) {
    return DataFile(programdir, name, TAVEX_BUILD_DIR, TAVEX_SOURCE_DIR);
}
