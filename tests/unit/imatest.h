// Helpers shared by the image library's unit tests: an error function that
// throws instead of ending the process, store images released at scope
// exit, a fixture for tests of image operators and one for tests of image
// files.
#pragma once

#include "image/intern.h"
#include "image/io.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

struct ImaFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
[[noreturn]] inline void throwerror(const char *msg) { throw ImaFailure(msg); }

// An image of the store, released at scope exit. Without a size it has the
// current frame's geometry.
struct Img {
    int h;
    explicit Img(int depth) : h(newimage(ifx, ify, ifw, ifh, depth)) {}
    Img(int w, int hh, int depth, int x0 = 0, int y0 = 0) : h(newimage(x0, y0, w, hh, depth)) {}
    ~Img() { freeimage(h); }
    Img(const Img &) = delete;
    Img &operator=(const Img &) = delete;
    uint8_t *d() const { return imarray[h].data; }
    // Frame-relative pixel of a grey image; bit of a binary one.
    uint8_t &at(int x, int y) const { return d()[(y + 1) * ifw_grey + x + 1]; }
    int bit(int x, int y) const { return (d()[y * ifw_bin + x / 8] >> (x % 8)) & 1; }
};

// Each test of image operators gets the throwing error function and its
// own random generator with a fixed seed (chosen by the derived fixture);
// afterwards the frames are back at their start-up size.
struct ImageTest : ::testing::Test {
    std::mt19937 rng;
    explicit ImageTest(uint32_t seed) : rng(seed) {}
    void SetUp() override { set_ima_error(throwerror); }
    void TearDown() override {
        set_ima_error(default_error);
        iframe(0, 0, 256, 256);
        mframe(0, 0, 256, 256);
    }
    // Every byte of the block random: border and padding bits included.
    void randomize(int h) {
        for (uint32_t i = 0; i < imarray[h].nbytes; ++i) imarray[h].data[i] = uint8_t(rng());
    }
    int randint(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
};

// The folder of the test program (the build tree; modules are in its lib/).
inline std::string exedir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string p(buf, n > 0 ? size_t(n) : 0);
    return p.substr(0, p.rfind('/'));
}

// The names in folder dir, "." and ".." left out, sorted.
inline std::vector<std::string> entries(const std::string &dir) {
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Each test of image files gets its own empty folder and the throwing error
// function; no filter stays bound after it.
struct ImageFileTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        set_ima_error(throwerror);
        char tmpl[] = "/tmp/tavex-files-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        freefilter();
        set_ima_error(default_error);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string path(const std::string &name) const { return dir + "/" + name; }
    std::vector<std::string> entries() const { return ::entries(dir); }
};
