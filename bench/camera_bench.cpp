// camera_bench [DIR]: times the Bayer demosaicking of the camera modules
// (cutil's debayer) on random RGGB frames of 1024 x 1024 and 4096 x 4096,
// best of several runs. With DIR, each raw frame is also written to
// DIR/bayerSIZE.raw so that a peer can time itself on the same input.
// Output lines: DEBAYER SIZE MILLISECONDS.
#include "camera/cutil.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    std::mt19937 gen(7);
    for (int size : {1024, 4096}) {
        size_t n = size_t(size) * size_t(size);
        std::vector<unsigned char> raw(n), rgb(3 * n);
        for (auto &b : raw) b = (unsigned char)(gen() & 255);
        if (argc > 1) {
            std::string name = std::string(argv[1]) + "/bayer" + std::to_string(size) + ".raw";
            if (FILE *f = fopen(name.c_str(), "wb")) {
                fwrite(raw.data(), 1, n, f);
                fclose(f);
            }
        }
        double best = 1e30;
        for (int run = 0; run < (size == 1024 ? 40 : 8); ++run) {
            auto t0 = std::chrono::steady_clock::now();
            debayer(raw.data(), size, size, rgb.data());
            auto t1 = std::chrono::steady_clock::now();
            best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
        printf("DEBAYER %d %.3f\n", size, best);
    }
}
