// Times the image library's pixel-wise, copy, rotation and zoom routines on
// 1024 x 1024 and 4096 x 4096 binary, grey and colour images (best of
// several runs). Output lines: OPERATOR TYPE SIZE MILLISECONDS, read by
// run_image_bench.sh, which puts OpenCV's times beside them.
#include "base.h"
#include "intern.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>

namespace {

[[noreturn]] void benchfail(const char *msg) {
    std::fprintf(stderr, "image_bench: %s\n", msg);
    std::exit(1);
}

double bestms(int runs, const std::function<void()> &op) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        op();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

void randomize(int h, std::mt19937 &rng) {
    for (uint32_t i = 0; i < imarray[h].nbytes; ++i) imarray[h].data[i] = uint8_t(rng());
}

void report(const char *op, const char *type, int size, double ms) {
    std::printf("%s %s %d %.4f\n", op, type, size, ms);
    std::fflush(stdout);
}

}  // namespace

int main() {
    set_ima_error(benchfail);
    imainit();
    std::mt19937 rng(7);
    const float angle = float(30 * 0.017453292519943295);
    for (int size : {1024, 4096}) {
        const int runs = size == 1024 ? 30 : 6;
        iframe(0, 0, size, size);
        for (int depth : {1, 8, 24}) {
            const char *type = depth == 1 ? "bin" : depth == 8 ? "grey" : "col";
            int a = newimage(0, 0, size, size, depth), b = newimage(0, 0, size, size, depth);
            int d = newimage(0, 0, size, size, depth), m = newimage(0, 0, size, size, 1);
            randomize(a, rng);
            randomize(b, rng);
            randomize(m, rng);
            auto t = [&](const char *op, const std::function<void()> &f) { report(op, type, size, bestms(runs, f)); };
            if (depth == 8) {
                t("ADD", [&] { greyadd(a, d, OP_IMAGE); });
                t("SUB", [&] { greysub(a, d, OP_IMAGE); });
                t("SUP", [&] { greysup(a, d); });
                t("INF", [&] { greyinf(a, d); });
                t("MASK", [&] { greymask(a, m, d, OP_IMAGE); });
            } else if (depth == 24) {
                t("ADD", [&] { coladd(a, d, OP_IMAGE); });
                t("SUB", [&] { colsub(a, d, OP_IMAGE); });
                t("SUP", [&] { colsup(a, d); });
                t("INF", [&] { colinf(a, d); });
                t("MASK", [&] { colmask(a, m, d, OP_IMAGE); });
            } else {
                t("SUP", [&] { binsup(a, d); });
                t("INF", [&] { bininf(a, d); });
            }
            auto pick = [depth](auto binf, auto greyf, auto colf) { return depth == 1 ? binf : depth == 8 ? greyf : colf; };
            auto copy = pick(bincopy, greycopy, colcopy);
            t("COPY", [&] { copy(a, d); });
            auto shift = pick(binshift, greyshift, colshift);
            t("SHIFT", [&] { shift(a, d, 37, -21); });
            auto rot90 = pick(binrot90, greyrot90, colrot90);
            t("ROT90", [&] { rot90(a, d, 1); });
            auto rot = pick(binrot, greyrot, colrot);
            t("ROT", [&] { rot(a, d, angle); });
            if (depth != 1) {
                auto rotbil = depth == 8 ? greyrotbil : colrotbil;
                t("ROTBIL", [&] { rotbil(a, d, angle); });
            }
            auto zoom = pick(binzoom, greyzoom, colzoom);
            t("ZOOM", [&] { zoom(a, d, 2.0f, 2.0f); });
            if (depth != 1) {
                auto zoombil = depth == 8 ? greyzoombil : colzoombil;
                t("ZOOMBIL", [&] { zoombil(a, d, 2.0f, 2.0f); });
            }
            for (int h : {a, b, d, m}) freeimage(h);
        }
    }
    return 0;
}
