// Our side of the image-file benchmark: for every file DIR/in-TYPE-CASE.EXT
// that formats_peer.py wrote, the best of ROUNDS loads through the case's
// filter module (as IMALOAD does: open, header, data into a store-sized
// block) and saves of that image with the same settings as OpenCV's.
// Prints "save|load TYPE CASE MS" (processor time, as the peer script
// measures it). Usage: formats_bench DIR ROUNDS.
#include "image/intern.h"
#include "image/io.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

struct benchcase {
    const char *name, *ext, *module, *options;
};
constexpr benchcase cases[] = {
    {"png-level1", "png", "png", "level=1"},  {"png-level6", "png", "png", "level=6"},
    {"tiff-none", "tif", "tiff", "compression=none"}, {"tiff-lzw", "tif", "tiff", "compression=lzw"},
    {"jpeg-q95", "jpg", "jpeg", "quality=95"},
};

[[noreturn]] void die(const char *msg) {
    fprintf(stderr, "formats_bench: %s\n", msg);
    exit(1);
}

// Processor time of the process in milliseconds: the machine is shared,
// and both sides are measured the same way (one thread each).
double cpums() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

template <typename F>
double best(int rounds, F fn) {
    double b = 1e30;
    for (int i = 0; i < rounds; ++i) {
        double t = cpums();
        fn();
        b = std::min(b, cpums() - t);
    }
    return b;
}

struct image {
    int x0, y0, w, h, depth;
    std::vector<uint8_t> block;
};

void load(const std::string &path, image &im) {
    if (!filter.filterfopen(path.c_str(), false) ||
        !filter.filterreadheader(&im.x0, &im.y0, &im.w, &im.h, &im.depth, nullptr))
        die(filter.filtererror());
    im.block.resize(imagebytes(im.w, im.h, im.depth));
    if (!filter.filterreaddata(im.block.data())) die(filter.filtererror());
    filter.filterfclose();
}

void save(const std::string &path, const image &im, const char *options) {
    if (!filter.filterfopen(path.c_str(), true) ||
        !filter.filterwriteheader(im.x0, im.y0, im.w, im.h, im.depth, options) ||
        !filter.filterwritedata(im.block.data()))
        die(filter.filtererror());
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) die("usage: formats_bench DIR ROUNDS");
    std::string dir = argv[1];
    int rounds = atoi(argv[2]);
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string lib = std::string(exe, size_t(n > 0 ? n : 0));
    lib = lib.substr(0, lib.rfind('/')) + "/lib/";
    for (const char *kind : {"grey", "col"})
        for (const benchcase &c : cases) {
            loadfilter((lib + c.module).c_str());
            std::string in = dir + "/in-" + kind + "-" + c.name + "." + c.ext;
            std::string out = dir + "/ours-" + kind + "-" + c.name + "." + c.ext;
            image im;
            load(in, im);
            printf("save %s %s %.1f\n", kind, c.name, best(rounds, [&] { save(out, im, c.options); }));
            printf("load %s %s %.1f\n", kind, c.name, best(rounds, [&] { load(in, im); }));
            fflush(stdout);
            freefilter();
        }
}
