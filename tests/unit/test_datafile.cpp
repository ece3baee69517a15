// Where the programs find their scripts: installed layout, a build
// directory below the sources, a build directory elsewhere, and a copy of a
// program that must not reach back into the tree it was built from.
#include "shell/datafile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

struct DataFileTest : ::testing::Test {
    std::string root;   // ends in a slash
    void SetUp() override {
        char tmpl[] = "/tmp/tavex-datafile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = std::string(tmpl) + "/";
    }
    void TearDown() override { fs::remove_all(root); }
    // Creates root + path (and its folders); returns root + path.
    std::string make(const std::string &path) {
        fs::create_directories(fs::path(root + path).parent_path());
        std::ofstream(root + path) << "# script\n";
        return root + path;
    }
    void folder(const std::string &path) { fs::create_directories(root + path); }
};

TEST_F(DataFileTest, InstalledLayoutIsFoundBesideTheProgram) {
    folder("usr/bin");
    make("usr/share/tavex/disp/tavex.tcl");
    EXPECT_EQ(DataFile(root + "usr/bin/", "disp/tavex.tcl", "", ""),
              root + "usr/bin/../share/tavex/disp/tavex.tcl");
}

TEST_F(DataFileTest, BuildDirectoryBelowTheSourcesUsesTheirSrcFolder) {
    folder("repo/build");
    make("repo/src/help/help.tcl");
    EXPECT_EQ(DataFile(root + "repo/build/", "help/help.tcl", "", ""),
              root + "repo/build/../src/help/help.tcl");
}

TEST_F(DataFileTest, InstalledFilesWinOverASrcFolderBesideThem) {
    folder("opt/bin");
    make("opt/src/edit/edit.tcl");
    make("opt/share/tavex/edit/edit.tcl");
    EXPECT_EQ(DataFile(root + "opt/bin/", "edit/edit.tcl", "", ""),
              root + "opt/bin/../share/tavex/edit/edit.tcl");
}

TEST_F(DataFileTest, OwnBuildDirectoryElsewhereUsesTheSourcesItWasBuiltFrom) {
    folder("out");
    make("repo/src/disp/tavex.tcl");
    // The program's folder as Tcl may spell it: not canonical.
    EXPECT_EQ(DataFile(root + "out/../out/", "disp/tavex.tcl", root + "out", root + "repo"),
              root + "repo/src/disp/tavex.tcl");
}

TEST_F(DataFileTest, ACopiedProgramNeverReachesIntoTheBuildSources) {
    folder("out");
    folder("copy/bin");
    make("repo/src/disp/tavex.tcl");
    std::vector<std::string> folders =
        DataFolders(root + "copy/bin/", root + "out", root + "repo");
    EXPECT_EQ(folders.size(), 2u);
    // Not found: the path names the place beside the program.
    EXPECT_EQ(DataFile(root + "copy/bin/", "disp/tavex.tcl", root + "out", root + "repo"),
              root + "copy/bin/../src/disp/tavex.tcl");
}

TEST_F(DataFileTest, EachFileIsLookedUpOnItsOwn) {
    folder("usr/bin");
    make("usr/share/tavex/disp/tavex.tcl");
    make("usr/src/help/help.tcl");
    EXPECT_EQ(DataFile(root + "usr/bin/", "help/help.tcl", "", ""),
              root + "usr/bin/../src/help/help.tcl");
    // A folder of that name is not the script.
    folder("usr/share/tavex/edit/edit.tcl");
    EXPECT_EQ(DataFile(root + "usr/bin/", "edit/edit.tcl", "", ""),
              root + "usr/bin/../src/edit/edit.tcl");
}
