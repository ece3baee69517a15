// Times the image library's pixel-wise, copy, rotation and zoom routines on
// 1024 x 1024 and 4096 x 4096 binary, grey and colour images (best of
// several runs). Output lines: OPERATOR TYPE SIZE MILLISECONDS, read by
// run_image_bench.sh, which puts OpenCV's times beside them.
#include "image/base.h"
#include "image/color.h"
#include "image/intern.h"
#include "image/meas.h"
#include "image/morph.h"
#include "image/signal.h"
#include "image/trans.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

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

// ------------------------------------------------ morphology and measurements
// Inputs shared with the peers: when TAVEX_BENCH_DATA names a directory, the
// frame pixels of each input are written there as NAME_SIZE.u8 (row-major
// bytes) for bench/peers.py to time the same images.

uint8_t &px(int h, int x, int y) { return imarray[h].data[size_t(y + 1) * size_t(ifw_grey) + size_t(x) + 1]; }

void dump(int h, const char *name, int size) {
    const char *dir = std::getenv("TAVEX_BENCH_DATA");
    if (!dir) return;
    std::string path = std::string(dir) + "/" + name + "_" + std::to_string(size) + ".u8";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) benchfail("cannot write benchmark data");
    for (int y = 0; y < ifh; ++y) std::fwrite(&px(h, 0, y), 1, size_t(ifw), f);
    std::fclose(f);
}

// Uniform noise smoothed by three box passes of the radius each way:
// a smooth random relief around 128, stretched by gain.
void smoothnoise(int h, int radius, double gain, std::mt19937 &rng) {
    const int n = ifw;
    std::vector<double> a(size_t(n) * size_t(n)), b(a.size());
    for (double &v : a) v = double(rng() % 256);
    for (int pass = 0; pass < 6; ++pass) {   // 3 x horizontal + vertical
        const bool horiz = pass % 2 == 0;
        for (int i = 0; i < n; ++i) {
            double sum = 0;
            auto at = [&](int j) -> double & { return horiz ? a[size_t(i) * size_t(n) + size_t(j)] : a[size_t(j) * size_t(n) + size_t(i)]; };
            auto out = [&](int j) -> double & { return horiz ? b[size_t(i) * size_t(n) + size_t(j)] : b[size_t(j) * size_t(n) + size_t(i)]; };
            for (int j = -radius; j <= radius; ++j) sum += at(std::clamp(j, 0, n - 1));
            for (int j = 0; j < n; ++j) {
                out(j) = sum / (2 * radius + 1);
                sum += at(std::min(j + radius + 1, n - 1)) - at(std::max(j - radius, 0));
            }
        }
        std::swap(a, b);
    }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            px(h, x, y) = uint8_t(std::clamp((a[size_t(y) * size_t(n) + size_t(x)] - 128) * gain + 128, 0.0, 255.0));
}

void morphbench(std::mt19937 &rng) {
    for (int size : {1024, 4096}) {
        const int runs = size == 1024 ? 10 : 3;
        frames(0, 0, size, size);
        auto t = [&](const char *op, const char *type, const std::function<void()> &f) { report(op, type, size, bestms(runs, f)); };
        const int relief = newimage(0, 0, size, size, 8), blobs = newimage(0, 0, size, size, 8);
        const int bin = newimage(0, 0, size, size, 1), work = newimage(0, 0, size, size, 8);
        const int res = newimage(0, 0, size, size, 8), marks = newimage(0, 0, size, size, 8);
        const int low = newimage(0, 0, size, size, 8), seed = newimage(0, 0, size, size, 1);
        const int outbin = newimage(0, 0, size, size, 1);
        smoothnoise(relief, size / 256, 40.0 * size / 1024, rng);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) px(blobs, x, y) = px(relief, x, y) > 128;
        morph_greybin(blobs, bin);
        // Watershed markers: the labelled deep parts of the relief.
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) px(low, x, y) = px(relief, x, y) < 30;
        label(marks, low, 0xFFFFFFFFu);
        // Reconstruction seeds: the relief lowered by 40 (grey), one blob
        // pixel in 500 (binary).
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) px(low, x, y) = uint8_t(std::max(0, px(relief, x, y) - 40));
        std::memset(imarray[seed].data, 0, imarray[seed].nbytes);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (px(blobs, x, y) && rng() % 500 == 0) imarray[seed].data[size_t(y) * size_t(ifw_bin) + size_t(x / 8)] |= uint8_t(1 << (x % 8));
        for (auto [h, name] : {std::pair{relief, "relief"}, {blobs, "blobs"}, {marks, "markers"}, {low, "lowered"}}) dump(h, name, size);
        morph_bingrey(seed, work);
        dump(work, "seeds", size);

        t("LABEL", "bin", [&] {
            morph_bingrey(bin, work);
            label(res, work, 0xFFFFFFFFu);
        });
        dump(res, "labels", size);   // 255 labels, wrapped, for the features
        t("BUILD", "bin", [&] {
            morph_bingrey(bin, work);
            morph_markbin(seed, work, 2);
            binreach(work, 0xFFFFFFFFu);
            morph_greybin(work, outbin, 2);
        });
        t("BUILD", "grey", [&] {
            greycopy(low, res);
            greybuild(res, relief);
        });
        t("WATERSHED", "grey", [&] {
            greycopy(marks, res);
            watershed(res, relief);
        });
        morph_bingrey(bin, work);
        label(res, work, 0xFFFFFFFFu);
        std::vector<s_feature> buf(FEAT_LABELS);
        t("FEATMEAS", "grey", [&] {
            f_fpoint(res, buf.data());
            f_mpoint(res, buf.data());
            f_rect(res, buf.data());
            f_area(res, buf.data());
            f_volume(res, relief, buf.data());
            f_grey(res, relief, buf.data());
        });
        volatile int64_t sink = 0;
        t("SUM", "grey", [&] { sink = sink + greysum(relief); });
        t("SUM", "bin", [&] { sink = sink + binsum(bin); });
        uint32_t counts[256];
        t("HISTOGRAM", "grey", [&] { histogram(relief, counts); });
        t("GREYMEAS", "grey", [&] {
            int lo, hi;
            double mean;
            greymeas(relief, &lo, &hi, &mean);
            sink = sink + lo + hi;
        });
        for (int h : {relief, blobs, bin, work, res, marks, low, seed, outbin}) freeimage(h);
    }
}

// Point and neighbourhood transforms and colour operators on random
// images. Names carry the parameter: INFNBH511 is the full square,
// LINDIL11 a horizontal segment of size 11 (2 * 11 + 1 pixels), LINDILV11 a
// vertical one, LINDIL30-11 one at 30 degrees, MEDIAN5 the 11 x 11 median.
void transbench(std::mt19937 &rng) {
    for (int size : {1024, 4096}) {
        const int runs = size == 1024 ? 30 : 6, slow = size == 1024 ? 6 : 2;
        iframe(0, 0, size, size);
        int g = newimage(0, 0, size, size, 8), gd = newimage(0, 0, size, size, 8);
        int b = newimage(0, 0, size, size, 1), bd = newimage(0, 0, size, size, 1);
        int c = newimage(0, 0, size, size, 24), cd = newimage(0, 0, size, size, 24);
        int r = newimage(0, 0, size, size, 8), gg = newimage(0, 0, size, size, 8);
        randomize(g, rng);
        randomize(b, rng);
        randomize(c, rng);
        auto t = [&](const std::string &op, const char *type, int n, const std::function<void()> &f) {
            report(op.c_str(), type, size, bestms(n, f));
        };
        for (int se : {511, 171}) {
            const std::string in = "INFNBH" + std::to_string(se), sup = "SUPNBH" + std::to_string(se);
            t(in, "grey", runs, [&] { greyinfnbh(g, gd, se); });
            t(sup, "grey", runs, [&] { greysupnbh(g, gd, se); });
            t(in, "bin", runs, [&] { bininfnbh(b, bd, bd, se); });
            t(sup, "bin", runs, [&] { binsupnbh(b, bd, bd, se); });
        }
        for (int len : {11, 101}) {
            const std::string n = std::to_string(len);
            t("LINDIL" + n, "grey", slow, [&] { greylindilation(g, gd, 0, len); });
            t("LINERO" + n, "grey", slow, [&] { greylinerosion(g, gd, 0, len); });
            t("LINDILV" + n, "grey", slow, [&] { greylindilation(g, gd, 90, len); });
            t("LINDIL30-" + n, "grey", slow, [&] { greylindilation(g, gd, 30, len); });
        }
        for (int half : {1, 5, 15})
            t("MEDIAN" + std::to_string(half), "grey", half == 1 ? runs : slow, [&] { median(g, gd, half); });
        // About one pixel in 64 is background.
        for (uint32_t i = 0; i < imarray[bd].nbytes; ++i) imarray[bd].data[i] = uint8_t(rng() % 8 ? 0xFF : 0xFE);
        t("DISTANCE", "bin", runs, [&] {
            bingrey(bd, gd);
            distance(gd, 1);
        });
        t("THRESH", "grey", runs, [&] { thresh(g, bd, 100, 255); });
        t("INVERT", "grey", runs, [&] { greyinvert(gd); });
        unsigned char lut[256];
        for (int i = 0; i < 256; ++i) lut[i] = uint8_t(255 - i / 2);
        t("ANAMORPH", "grey", runs, [&] { anamorph(gd, lut); });
        t("COL-GREY", "col", runs, [&] { colgrey(c, r, gd, gg); });
        t("INTENSITY", "col", runs, [&] { intensity(c, gd); });
        t("RGB-IHS", "col", runs, [&] { rgbihs(c, cd); });
        t("IHS-RGB", "col", runs, [&] { ihsrgb(c, cd); });
        for (int h : {g, gd, b, bd, c, cd, r, gg}) freeimage(h);
    }
}

void pixelbench(std::mt19937 &rng);

// Convolutions (mode 0; binomial masks of 3 and 5, a 15 x 15 box), the whole FFT of a (magnitude,
// phase) pair as the Lisp function runs it, and the recursive row filter.
// NAME-plain lines time the plain routines (signal_avx2 cleared).
void signalbench(std::mt19937 &rng) {
    for (int size : {1024, 4096}) {
        const int runs = size == 1024 ? 10 : 3;
        iframe(0, 0, size, size);
        const int g = newimage(0, 0, size, size, 8), a = newimage(0, 0, size, size, 8);
        const int gd = newimage(0, 0, size, size, 8), ad = newimage(0, 0, size, size, 8);
        const int re = newimage(0, 0, size, size, 32), im = newimage(0, 0, size, size, 32);
        randomize(g, rng);
        randomize(a, rng);
        auto t = [&](const std::string &op, const std::function<void()> &f) { report(op.c_str(), "grey", size, bestms(runs, f)); };
        // binomial masks of 3 and 5, the 15 x 15 box
        auto maskof = [](int n) {
            std::vector<int32_t> row(1, 1);
            for (int k = 1; k < n; ++k) {
                std::vector<int32_t> next(row.size() + 1, 0);
                for (size_t j = 0; j < row.size(); ++j) next[j] += row[j], next[j + 1] += row[j];
                row = next;
            }
            if (n > 5) row.assign(size_t(n), 1);
            std::vector<int32_t> mask;
            for (int32_t u : row)
                for (int32_t v : row) mask.push_back(u * v);
            return mask;
        };
        for (bool simd : {true, false}) {
            const bool had = signal_avx2;
            signal_avx2 = signal_avx2 && simd;
            const std::string suffix = simd ? "" : "-plain";
            for (int n : {3, 5, 15}) {
                const std::vector<int32_t> mask = maskof(n);
                int fact = 0;
                for (int32_t v : mask) fact += v;
                if (simd || n < 15 || size == 1024) t("CONV" + std::to_string(n) + suffix, [&] { conv(g, gd, mask.data(), n, n, 0, fact); });
            }
            const int32_t h3[3] = {1, 2, 1};
            t("CONVH3" + suffix, [&] { convh(g, gd, h3, 3, 0, 4); });
            t("FFT" + suffix, [&] {
                conveuler(g, a, re, im, 1.0f);
                fft(re, im, 1);
                convbackeuler(re, im, gd, ad, 1.0f);
            });
            t("FFTCORE" + suffix, [&] { fft(re, im, 1); });
            signal_avx2 = had;
        }
        const float ra[1] = {0.5f}, rb[1] = {0.5f};
        t("RECH", [&] { rech(g, gd, ra, 1, rb, 1, 1); });
        for (int h : {g, a, gd, ad, re, im}) freeimage(h);
    }
}

}  // namespace

// image_bench [SECTION...]: all sections, or only the named ones of
// pixel (arithmetic, copies, rotations, zooms), morph, trans and signal.
int main(int argc, char **argv) {
    set_ima_error(benchfail);
    imainit();
    std::mt19937 rng(7);
    auto wanted = [&](const char *name) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], name) == 0) return true;
        return false;
    };
    if (wanted("pixel")) pixelbench(rng);
    if (wanted("morph")) morphbench(rng);
    if (wanted("trans")) transbench(rng);
    if (wanted("signal")) signalbench(rng);
    return 0;
}

namespace {

void pixelbench(std::mt19937 &rng) {
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
}

}  // namespace
