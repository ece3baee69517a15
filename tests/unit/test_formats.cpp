// The file-format modules png, tiff and jpeg through the filter binding:
// round trips of every image type, parts of images, the frame limit, the
// option texts, files written directly with libpng and libtiff in the forms
// other programs produce, and cut or damaged files (refused, and quietly).
#include "tests/unit/imatest.h"
#include "image/io.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> readall(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeall(const std::string &path, const std::vector<uint8_t> &bytes, size_t n) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(n));
}

// An image as the filter interface sees it: header and pixel block.
struct picture {
    int x0 = 0, y0 = 0, w = 0, h = 0, depth = 0;
    std::vector<uint8_t> block;

    size_t stride() const { return depth == 1 ? size_t(w + 7) / 8 : depth == 8 ? size_t(w + 2) : 3 * size_t(w); }
    uint8_t *row(int r) {
        return depth == 8 ? block.data() + size_t(r + 1) * stride() + 1 : block.data() + size_t(r) * stride();
    }
    // The pixel (x, y) as a number: the bit, the grey value, 0xRRGGBB.
    unsigned at(int x, int y) {
        uint8_t *p = row(y);
        if (depth == 1) return (p[x / 8] >> (x % 8)) & 1;
        if (depth == 8) return p[x];
        return unsigned(p[3 * x] << 16 | p[3 * x + 1] << 8 | p[3 * x + 2]);
    }
};

size_t blocksize(int w, int h, int depth) {
    return depth == 1 ? size_t(w + 7) / 8 * size_t(h) : depth == 8 ? size_t(w + 2) * size_t(h + 2) : 3 * size_t(w) * size_t(h);
}

// Random pixels; the grey border and the bits behind a binary row are the
// reader's to clear, so they are random here too.
picture randompicture(int x0, int y0, int w, int h, int depth, unsigned seed) {
    picture p{x0, y0, w, h, depth, std::vector<uint8_t>(blocksize(w, h, depth))};
    std::mt19937 rng(seed);
    for (uint8_t &b : p.block) b = uint8_t(rng());
    return p;
}

// What a reader gives back for p: border and padding bits 0.
picture cleaned(picture p) {
    if (p.depth == 8) {
        std::vector<uint8_t> b(p.block.size(), 0);
        for (int r = 0; r < p.h; ++r) memcpy(b.data() + size_t(r + 1) * p.stride() + 1, p.row(r), size_t(p.w));
        p.block = b;
    }
    if (p.depth == 1 && p.w % 8)
        for (int r = 0; r < p.h; ++r) p.row(r)[p.stride() - 1] &= uint8_t((1 << (p.w % 8)) - 1);
    return p;
}

// The pixels of a rectangle of p, as a new picture at origin (x0 + x, y0 + y).
picture cut(picture p, int x, int y, int w, int h) {
    picture q{p.x0 + x, p.y0 + y, w, h, p.depth, std::vector<uint8_t>(blocksize(w, h, p.depth), 0)};
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            unsigned v = p.at(x + c, y + r);
            uint8_t *d = q.row(r);
            if (q.depth == 1) d[c / 8] |= uint8_t(v << (c % 8));
            if (q.depth == 8) d[c] = uint8_t(v);
            if (q.depth == 24) d[3 * c] = uint8_t(v >> 16), d[3 * c + 1] = uint8_t(v >> 8), d[3 * c + 2] = uint8_t(v);
        }
    return q;
}

struct FormatTest : ImageFileTest {

    void use(const char *module) {
        loadfilter((exedir() + "/lib/" + module).c_str());
        ASSERT_TRUE(filterok());
    }

    // Saves p with the bound module; the error text on failure, "" on success.
    std::string save(const std::string &name, const picture &p, const char *options = nullptr) {
        if (!filter.filterfopen(path(name).c_str(), true) ||
            !filter.filterwriteheader(p.x0, p.y0, p.w, p.h, p.depth, options) ||
            !filter.filterwritedata(p.block.data())) {
            std::string e = filter.filtererror();
            filter.filterfclose();
            return e;
        }
        return "";
    }

    // Loads with the bound module; the error text on failure, "" on success.
    std::string load(const std::string &name, picture &p, const char *options = nullptr) {
        p = picture{};
        if (!filter.filterfopen(path(name).c_str(), false) ||
            !filter.filterreadheader(&p.x0, &p.y0, &p.w, &p.h, &p.depth, options)) {
            std::string e = filter.filtererror();
            filter.filterfclose();
            return e;
        }
        if (p.w < 1 || p.w > 4096 || p.h < 1 || p.h > 4096) return "implausible header";
        p.block.assign(blocksize(p.w, p.h, p.depth), 0xA5);
        bool ok = filter.filterreaddata(p.block.data());
        std::string e = ok ? "" : filter.filtererror();
        filter.filterfclose();
        return e;
    }
};

void expectsame(const picture &a, const picture &b, const std::string &what) {
    EXPECT_EQ((std::vector<int>{a.x0, a.y0, a.w, a.h, a.depth}),
              (std::vector<int>{b.x0, b.y0, b.w, b.h, b.depth}))
        << what;
    EXPECT_TRUE(a.block == b.block) << what;
}

// ------------------------------------------------------------ round trips

TEST_F(FormatTest, LosslessRoundTripsOfEveryTypeAndOddWidths) {
    struct variant {
        const char *module;
        const char *options;
    };
    for (variant v : {variant{"png", nullptr}, variant{"png", "level=0"}, variant{"png", "level=9"},
                      variant{"tiff", nullptr}, variant{"tiff", "compression=lzw"},
                      variant{"tiff", "compression=deflate"}, variant{"tiff", "compression=packbits"}}) {
        use(v.module);
        unsigned seed = 1;
        for (int depth : {1, 8, 24})
            for (int w : {1, 3, 8, 13, 17, 33})
                for (int h : {1, 6}) {
                    picture p = randompicture(w * 7, 4095 - h, w, h, depth, seed++);
                    std::string what = std::string(v.module) + " " + (v.options ? v.options : "") +
                                       " depth " + std::to_string(depth) + " " + std::to_string(w) +
                                       " x " + std::to_string(h);
                    ASSERT_EQ(save("rt", p, v.options), "") << what;
                    picture back;
                    ASSERT_EQ(load("rt", back), "") << what;
                    expectsame(back, cleaned(p), what);
                }
    }
}

TEST_F(FormatTest, JpegRoundTripsKeepGeometryAndPixelsCloseToTheOriginal) {
    use("jpeg");
    for (int depth : {1, 8, 24})
        for (int w : {1, 13, 40}) {
            // A smooth picture: JPEG at quality 100 keeps it within a few levels.
            picture p{w, 3, w, 21, depth, std::vector<uint8_t>(blocksize(w, 21, depth), 0)};
            size_t rowbytes = depth == 1 ? p.stride() : size_t(depth / 8) * size_t(w);
            for (int r = 0; r < p.h; ++r)
                for (size_t i = 0; i < rowbytes; ++i)
                    p.row(r)[i] = depth == 1 ? (r >= 10 ? 0xFF : 0) : uint8_t(100 + r * 3 + int(i % 3) * 20);
            ASSERT_EQ(save("q.jpg", p, "quality=100"), "");
            picture back;
            ASSERT_EQ(load("q.jpg", back), "");
            EXPECT_EQ((std::vector<int>{back.x0, back.y0, back.w, back.h, back.depth}),
                      (std::vector<int>{p.x0, p.y0, p.w, p.h, depth == 1 ? 8 : depth}));
            int worst = 0;
            for (int r = 0; r < p.h; ++r)
                for (int c = 0; c < p.w; ++c) {
                    unsigned a = p.at(c, r), b = back.at(c, r);
                    if (depth == 1) a = a ? 255 : 0;
                    for (int s = 0; s < 24; s += 8)
                        worst = std::max(worst, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
                }
            EXPECT_LE(worst, depth == 1 ? 12 : 4) << "depth " << depth << " width " << w;
        }
    // A lower quality makes a smaller file.
    picture p = randompicture(0, 0, 64, 64, 24, 9);
    ASSERT_EQ(save("hi.jpg", p, "quality=95"), "");
    ASSERT_EQ(save("lo.jpg", p, "quality=10"), "");
    EXPECT_LT(readall(path("lo.jpg")).size(), readall(path("hi.jpg")).size() / 2);
}

// ------------------------------------------------------------ parts and limits

TEST_F(FormatTest, PartsOfAnImage) {
    for (const char *module : {"png", "tiff", "jpeg"}) {
        use(module);
        for (int depth : {1, 8, 24}) {
            picture p = randompicture(11, 2, 37, 23, depth, unsigned(depth));
            // LZW cannot start decoding in the middle of a strip.
            ASSERT_EQ(save("part", p, std::string(module) == "tiff" ? "compression=lzw" : nullptr), "");
            picture whole, part;
            ASSERT_EQ(load("part", whole), "");
            // JPEG too gives a part exactly as it is in the whole image.
            int x = 5;
            ASSERT_EQ(load("part", part, "x=5 y=4 w=17 h=9"), "") << module;
            expectsame(part, cut(whole, x, 4, 17, 9), std::string(module) + " part " + std::to_string(depth));
            // Up to the edges; the region's parts default to the rest.
            ASSERT_EQ(load("part", part, "y=22"), "");
            expectsame(part, cut(whole, 0, 22, 37, 1), std::string(module) + " last row");
            ASSERT_EQ(load("part", part, "x=36"), "");
            expectsame(part, cut(whole, 36, 0, 1, 23), std::string(module) + " last column");
        }
        std::string m = module;
        picture none;
        EXPECT_EQ(load("part", none, "x=37"),
                  m + ": the region must start inside the 37 x 23 image (x= 0 to 36, y= 0 to 22)");
        EXPECT_EQ(load("part", none, "x=30 w=8"),
                  m + ": the region x=30 y=0 must end inside the 37 x 23 image (w= 1 to 7, h= 1 to 23)");
        EXPECT_EQ(load("part", none, "h=0"),
                  m + ": the region x=0 y=0 must end inside the 37 x 23 image (w= 1 to 37, h= 1 to 23)");
    }
}

TEST_F(FormatTest, ImagesBeyondTheFrameLimitNeedARegion) {
    for (const char *module : {"png", "tiff", "jpeg"}) {
        use(module);
        std::string m = module;
        picture big = randompicture(0, 0, 5000, 3, 8, 5);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 5000; ++c) big.row(r)[c] = uint8_t(c / 16 + r * 40);   // JPEG-friendly
        ASSERT_EQ(save("big", big), "");
        picture p;
        EXPECT_EQ(load("big", p),
                  m + ": the image is 5000 x 3 pixels, larger than 4096 x 4096; load a part of it "
                      "with x= y= w= h=");
        EXPECT_EQ(load("big", p, "x=100"), m + ": the region of 4900 x 3 pixels is larger than 4096 x 4096");
        ASSERT_EQ(load("big", p, "x=904 y=1"), "");
        EXPECT_EQ((std::vector<int>{p.x0, p.y0, p.w, p.h}), (std::vector<int>{904, 1, 4096, 2}));
        ASSERT_EQ(load("big", p, "x=904 w=4096 h=2"), "");
        if (m != "jpeg") expectsame(p, cut(cleaned(big), 904, 0, 4096, 2), m + " big part");
    }
}

TEST_F(FormatTest, OptionTexts) {
    picture p = randompicture(0, 0, 4, 4, 8, 3);
    use("png");
    EXPECT_EQ(save("o.png", p, "quality=5"), "png: unknown option \"quality=5\" (options here: level=)");
    EXPECT_EQ(save("o.png", p, "level=10"), "png: level= must be a whole number from 0 to 9, not \"10\"");
    EXPECT_EQ(save("o.png", p, "level"), "png: unknown option \"level\" (options here: level=)");
    ASSERT_EQ(save("o.png", p, "  level=1   level=2 "), "");   // the last one counts
    picture back;
    EXPECT_EQ(load("o.png", back, "level=2"),
              "png: unknown option \"level=2\" (options here: x= y= w= h= reduce=)");
    EXPECT_EQ(load("o.png", back, "reduce=low"), "png: reduce= must be one of high, stretch, not \"low\"");
    EXPECT_EQ(load("o.png", back, "x=1x"),
              "png: the region must start inside the 4 x 4 image (x= 0 to 3, y= 0 to 3)");
    use("tiff");
    EXPECT_EQ(save("o.tif", p, "compression=zip"),
              "tiff: compression= must be one of none, lzw, deflate, packbits, not \"zip\"");
    ASSERT_EQ(save("o.tif", p, "COMPRESSION=LZW"), "tiff: unknown option \"COMPRESSION=LZW\" (options here: compression=)");
    ASSERT_EQ(save("o.tif", p, "compression=LZW"), "");
    EXPECT_EQ(load("o.tif", back, "page=1"), "tiff: the file has no page 1");
    use("jpeg");
    EXPECT_EQ(save("o.jpg", p, "quality=0"), "jpeg: quality= must be a whole number from 1 to 100, not \"0\"");
    // A refused save leaves no file behind.
    EXPECT_TRUE(readall(path("o.jpg")).empty());
}

// ------------------------------------------------------------ other programs' files

// A PNG written directly with libpng: rows given as bytes in the file's own
// layout (16-bit samples big-endian).
void writepng(const std::string &name, int w, int h, int bitdepth, int colortype, bool interlace,
              const std::vector<std::vector<uint8_t>> &rows, const std::vector<png_color> &palette = {},
              const char *origin = nullptr) {
    FILE *f = fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), bitdepth, colortype,
                 interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_text text{};
    if (origin) {
        text.compression = PNG_TEXT_COMPRESSION_zTXt;
        text.key = const_cast<char *>("Tavex origin");
        text.text = const_cast<char *>(origin);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    std::vector<png_bytep> pointers;
    for (auto &r : rows) pointers.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    fclose(f);
}

TEST_F(FormatTest, PngFormsOfOtherPrograms) {
    use("png");
    picture p;
    for (bool interlace : {false, true}) {
        std::string tag = interlace ? " interlaced" : "";
        // 16-bit grey: the high byte, or the loaded part's range stretched.
        std::vector<std::vector<uint8_t>> rows(3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 9; ++c) {
                unsigned v = 1000 + unsigned(r * 9 + c) * 100;   // 1000 ... 3600
                rows[size_t(r)].push_back(uint8_t(v >> 8));
                rows[size_t(r)].push_back(uint8_t(v));
            }
        writepng(path("g16.png"), 9, 3, 16, PNG_COLOR_TYPE_GRAY, interlace, rows, {}, "12 34");
        ASSERT_EQ(load("g16.png", p), "");
        EXPECT_EQ((std::vector<int>{p.x0, p.y0, p.depth}), (std::vector<int>{12, 34, 8}));
        EXPECT_EQ(p.at(0, 0), 1000u >> 8) << tag;
        EXPECT_EQ(p.at(8, 2), 3600u >> 8) << tag;
        ASSERT_EQ(load("g16.png", p, "reduce=stretch"), "");
        EXPECT_EQ(p.at(0, 0), 0u) << tag;
        EXPECT_EQ(p.at(8, 2), 255u) << tag;
        EXPECT_EQ(p.at(4, 1), unsigned((1300 * 255 + 1300) / 2600)) << tag;   // v = 2300
        // Stretching a part uses the part's range.
        ASSERT_EQ(load("g16.png", p, "reduce=stretch x=1 y=1 w=2 h=1"), "");
        EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0), unsigned(p.x0)}),
                  (std::vector<unsigned>{0, 255, 13})) << tag;

        // Palette (with a 2-bit index) to colour; an odd width.
        std::vector<png_color> pal = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};
        std::vector<std::vector<uint8_t>> prow = {{0x1B, 0xC0}, {0xE4, 0x00}};   // 0 1 2 3 3 / 3 2 1 0 0
        writepng(path("pal.png"), 5, 2, 2, PNG_COLOR_TYPE_PALETTE, interlace, prow, pal);
        ASSERT_EQ(load("pal.png", p), "");
        EXPECT_EQ(p.depth, 24);
        EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0), p.at(2, 0), p.at(3, 0), p.at(4, 0),
                                         p.at(0, 1), p.at(4, 1)}),
                  (std::vector<unsigned>{0xFF0000, 0x00FF00, 0x0000FF, 0x090807, 0x090807, 0x090807,
                                         0xFF0000}))
            << tag;

        // Grey with alpha and RGBA lose their alpha; 2-bit grey is scaled.
        writepng(path("ga.png"), 2, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, interlace, {{10, 0, 200, 255}});
        ASSERT_EQ(load("ga.png", p), "");
        EXPECT_EQ((std::vector<unsigned>{unsigned(p.depth), p.at(0, 0), p.at(1, 0)}),
                  (std::vector<unsigned>{8, 10, 200}));
        writepng(path("rgba.png"), 1, 1, 8, PNG_COLOR_TYPE_RGBA, interlace, {{1, 2, 3, 4}});
        ASSERT_EQ(load("rgba.png", p), "");
        EXPECT_EQ(p.at(0, 0), 0x010203u);
        writepng(path("g2.png"), 4, 1, 2, PNG_COLOR_TYPE_GRAY, interlace, {{0x1B}});   // 0 1 2 3
        ASSERT_EQ(load("g2.png", p), "");
        EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0), p.at(2, 0), p.at(3, 0)}),
                  (std::vector<unsigned>{0, 85, 170, 255}));
        // 1-bit grey is binary: bit 7 of the file's byte is the leftmost pixel.
        writepng(path("b.png"), 10, 1, 1, PNG_COLOR_TYPE_GRAY, interlace, {{0x81, 0x40}});
        ASSERT_EQ(load("b.png", p), "");
        EXPECT_EQ(p.depth, 1);
        EXPECT_EQ(p.block, (std::vector<uint8_t>{0x81, 0x02})) << tag;
    }
    // An interlaced image and its parts: every pass lands in its place.
    picture src = randompicture(0, 0, 19, 13, 24, 77);
    std::vector<std::vector<uint8_t>> rows;
    for (int r = 0; r < 13; ++r) rows.emplace_back(src.row(r), src.row(r) + 57);
    writepng(path("i.png"), 19, 13, 8, PNG_COLOR_TYPE_RGB, true, rows);
    ASSERT_EQ(load("i.png", p), "");
    expectsame(p, src, "interlaced colour");
    ASSERT_EQ(load("i.png", p, "x=3 y=5 w=11 h=7"), "");
    expectsame(p, cut(src, 3, 5, 11, 7), "interlaced part");
    // A text chunk with a bad origin is ignored.
    writepng(path("o.png"), 1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{5}}, {}, "12 -3");
    ASSERT_EQ(load("o.png", p), "");
    EXPECT_EQ((std::vector<int>{p.x0, p.y0}), (std::vector<int>{0, 0}));
}

// A TIFF written directly with libtiff: one strip, or 16 x 16 tiles.
struct tiffform {
    uint16_t photometric, bits, samples;
    bool tiled = false;
    std::vector<uint16_t> colormap = {};
    float xpos = -1;   // XPosition in pixels (resolution 1), none when negative
};
void writetiff(const std::string &name, int w, int h, const tiffform &f, const std::vector<uint8_t> &data) {
    TIFF *t = TIFFOpen(name.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, f.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, f.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, f.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (f.samples == 2 || f.samples == 4) {
        uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        if (f.photometric != PHOTOMETRIC_SEPARATED) TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!f.colormap.empty()) {
        size_t n = f.colormap.size() / 3;
        TIFFSetField(t, TIFFTAG_COLORMAP, f.colormap.data(), f.colormap.data() + n, f.colormap.data() + 2 * n);
    }
    if (f.xpos >= 0) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 1.0f);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 1.0f);
        TIFFSetField(t, TIFFTAG_XPOSITION, f.xpos);
        TIFFSetField(t, TIFFTAG_YPOSITION, 2.0f);
    }
    size_t rowbytes = (size_t(w) * f.samples * f.bits + 7) / 8;
    if (f.tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16u);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16u);
        size_t tilerow = 16 * f.samples * f.bits / 8;
        std::vector<uint8_t> tile(tilerow * 16);
        for (int ty = 0; ty < h; ty += 16)
            for (int tx = 0; tx < w; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int r = 0; r < 16 && ty + r < h; ++r) {
                    size_t from = size_t(tx) * f.samples * f.bits / 8;
                    size_t n = std::min(tilerow, rowbytes - from);
                    memcpy(tile.data() + size_t(r) * tilerow, data.data() + size_t(ty + r) * rowbytes + from, n);
                }
                TIFFWriteTile(t, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(h));
        TIFFWriteEncodedStrip(t, 0, const_cast<uint8_t *>(data.data()), tmsize_t(rowbytes * size_t(h)));
    }
    TIFFClose(t);
}

TEST_F(FormatTest, TiffFormsOfOtherPrograms) {
    use("tiff");
    picture p;
    // Min-is-white: 1-bit (bit set = black, so not set here) and 4-bit grey.
    writetiff(path("w1.tif"), 10, 1, {PHOTOMETRIC_MINISWHITE, 1, 1}, {0x81, 0x40});
    ASSERT_EQ(load("w1.tif", p), "");
    EXPECT_EQ(p.depth, 1);
    EXPECT_EQ(p.block, (std::vector<uint8_t>{0x7E, 0x01}));
    writetiff(path("w4.tif"), 3, 1, {PHOTOMETRIC_MINISWHITE, 4, 1}, {0x0F, 0x50});   // 0 15 5
    ASSERT_EQ(load("w4.tif", p), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0), p.at(2, 0)}), (std::vector<unsigned>{255, 0, 170}));
    // 16-bit grey with alpha; 16-bit RGB stretched over all three channels.
    std::vector<uint8_t> ga;
    for (uint16_t v : {0x1234, 0xFFFF, 0xABCD, 0x0000}) ga.push_back(uint8_t(v)), ga.push_back(uint8_t(v >> 8));
    writetiff(path("ga16.tif"), 2, 1, {PHOTOMETRIC_MINISBLACK, 16, 2}, ga);
    ASSERT_EQ(load("ga16.tif", p), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0)}), (std::vector<unsigned>{0x12, 0xAB}));
    std::vector<uint8_t> rgb16;
    for (uint16_t v : {200, 300, 400, 600, 500, 250}) rgb16.push_back(uint8_t(v)), rgb16.push_back(uint8_t(v >> 8));
    writetiff(path("rgb16.tif"), 2, 1, {PHOTOMETRIC_RGB, 16, 3}, rgb16);
    ASSERT_EQ(load("rgb16.tif", p, "reduce=stretch"), "");
    // (v - 200) * 255 / 400, rounded: 0 64 128 255 191 32
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0)}), (std::vector<unsigned>{0x004080, 0xFFBF20}));
    // Palette with 16-bit entries, and one whose entries are 8-bit values.
    writetiff(path("pal.tif"), 2, 1, {PHOTOMETRIC_PALETTE, 1, 1, false, {0xFFFF, 0x1000, 0, 0x2000, 0, 0x8000}}, {0x40});
    ASSERT_EQ(load("pal.tif", p), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0)}), (std::vector<unsigned>{0xFF0000, 0x102080}));
    writetiff(path("pal8.tif"), 2, 1, {PHOTOMETRIC_PALETTE, 1, 1, false, {255, 16, 0, 32, 0, 128}}, {0x40});
    ASSERT_EQ(load("pal8.tif", p), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0)}), (std::vector<unsigned>{0xFF0000, 0x102080}));
    // CMYK: each ink darkens by its share.
    writetiff(path("cmyk.tif"), 2, 1, {PHOTOMETRIC_SEPARATED, 8, 4}, {0, 0, 0, 0, 255, 0, 51, 51});
    ASSERT_EQ(load("cmyk.tif", p), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0)}), (std::vector<unsigned>{0xFFFFFF, 0x00CCA3}));
    // Tiles, whole and in part (a part across tile edges).
    picture src = randompicture(0, 0, 37, 35, 24, 11);
    writetiff(path("tiles.tif"), 37, 35, {PHOTOMETRIC_RGB, 8, 3, true}, src.block);
    ASSERT_EQ(load("tiles.tif", p), "");
    expectsame(p, src, "tiled");
    ASSERT_EQ(load("tiles.tif", p, "x=15 y=14 w=19 h=20"), "");
    expectsame(p, cut(src, 15, 14, 19, 20), "tiled part");
    picture grey = randompicture(0, 0, 20, 17, 8, 12);
    std::vector<uint8_t> greydata;
    for (int r = 0; r < 17; ++r) greydata.insert(greydata.end(), grey.row(r), grey.row(r) + 20);
    writetiff(path("gtiles.tif"), 20, 17, {PHOTOMETRIC_MINISBLACK, 8, 1, true}, greydata);
    ASSERT_EQ(load("gtiles.tif", p, "x=17 y=16"), "");
    expectsame(p, cut(cleaned(grey), 17, 16, 3, 1), "grey tiled part");
    // An origin beyond 2^24 counts as none; a part whose origin would pass
    // it keeps its offset only; every origin loaded can be saved (found by
    // fuzzing: a load that could not be saved).
    writetiff(path("far.tif"), 2, 1, {PHOTOMETRIC_MINISBLACK, 8, 1, false, {}, 50331648.0f}, {1, 2});
    ASSERT_EQ(load("far.tif", p), "");
    EXPECT_EQ((std::vector<int>{p.x0, p.y0}), (std::vector<int>{0, 0}));
    writetiff(path("edge.tif"), 2, 1, {PHOTOMETRIC_MINISBLACK, 8, 1, false, {}, 16777215.0f}, {1, 2});
    ASSERT_EQ(load("edge.tif", p, "x=1"), "");
    EXPECT_EQ((std::vector<int>{p.x0, p.y0}), (std::vector<int>{16777216, 2}));
    writetiff(path("edge.tif"), 2, 1, {PHOTOMETRIC_MINISBLACK, 8, 1, false, {}, 16777216.0f}, {1, 2});
    ASSERT_EQ(load("edge.tif", p, "x=1"), "");
    EXPECT_EQ((std::vector<int>{p.x0, p.y0}), (std::vector<int>{1, 2}));
    ASSERT_EQ(load("edge.tif", p), "");
    for (const char *module : {"tiff", "png", "jpeg"}) {
        use(module);
        ASSERT_EQ(save("edge", p), "") << module;
        picture back;
        ASSERT_EQ(load("edge", back), "") << module;
        EXPECT_EQ((std::vector<int>{back.x0, back.y0}), (std::vector<int>{16777216, 2})) << module;
    }
    use("tiff");
    // What is refused, and how.
    writetiff(path("f32.tif"), 1, 1, {PHOTOMETRIC_MINISBLACK, 32, 1}, {0, 0, 0, 0});
    EXPECT_EQ(load("f32.tif", p), "tiff: 32-bit samples, 1 a pixel, are not supported for this photometric interpretation");
    writetiff(path("lab.tif"), 1, 1, {PHOTOMETRIC_CIELAB, 8, 3}, {0, 0, 0});
    EXPECT_EQ(load("lab.tif", p), "tiff: photometric interpretation 8 is not supported");
}

// ------------------------------------------------------------ damaged files

// Runs fn with standard error sent to a file; what was written there.
template <typename F>
std::string stderrof(const std::string &file, F fn) {
    fflush(stderr);
    int saved = dup(2);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::vector<uint8_t> text = readall(file);
    return {text.begin(), text.end()};
}

TEST_F(FormatTest, CutAndDamagedFilesAreRefusedQuietly) {
    for (const char *module : {"png", "tiff", "jpeg"}) {
        use(module);
        picture p = randompicture(3, 4, 29, 18, 24, 21);
        ASSERT_EQ(save("good", p), "");
        std::vector<uint8_t> good = readall(path("good"));
        picture whole;
        ASSERT_EQ(load("good", whole), "");
        std::string noise = stderrof(path("stderr"), [&] {
            // Every cut: refused, or (a cut in trailing metadata) the whole image.
            for (size_t n = 0; n < good.size(); n += 1 + n / 16) {
                writeall(path("cut"), good, n);
                picture back;
                std::string e = load("cut", back);
                if (e.empty())
                    expectsame(back, whole, std::string(module) + " cut at " + std::to_string(n));
                else
                    EXPECT_EQ(e.rfind(std::string(module) + ": ", 0), 0u) << e;
            }
            // Bytes overwritten through the file: anything but a crash.
            std::mt19937 rng(5);
            for (int i = 0; i < 100; ++i) {
                std::vector<uint8_t> bad = good;
                for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = uint8_t(rng());
                writeall(path("bad"), bad, bad.size());
                picture back;
                load("bad", back);
            }
        });
        EXPECT_EQ(noise, "") << module;
        // A truncated file names the problem.
        writeall(path("half"), good, good.size() / 2);
        picture back;
        std::string e = load("half", back);
        EXPECT_NE(e, "") << module;
    }
}

// A chunk that announces more bytes than the file holds is refused before
// libpng sizes a buffer for it (the fuzz seed
// regression-text-chunk-of-1200mb checks that no such block is allocated);
// files whose chunks all fit load as before, even without IEND.
TEST_F(FormatTest, PngChunksLongerThanTheFileAreRefused) {
    use("png");
    writepng(path("g.png"), 3, 2, 8, PNG_COLOR_TYPE_GRAY, false, {{1, 2, 3}, {4, 5, 6}});
    const std::vector<uint8_t> good = readall(path("g.png"));
    auto loadbytes = [&](const std::vector<uint8_t> &file, picture &p) {
        writeall(path("c.png"), file, file.size());
        return load("c.png", p);
    };
    // after the signature and IHDR (8 + 25 bytes)
    auto withchunk = [&](uint32_t length, const std::string &body) {
        std::vector<uint8_t> f(good.begin(), good.begin() + 33);
        for (int i = 24; i >= 0; i -= 8) f.push_back(uint8_t(length >> i));
        for (char c : "tEXt" + body) f.push_back(uint8_t(c));
        uint32_t crc = uint32_t(::crc32(0, f.data() + 37, uInt(4 + body.size())));
        for (int i = 24; i >= 0; i -= 8) f.push_back(uint8_t(crc >> i));
        f.insert(f.end(), good.begin() + 33, good.end());
        return f;
    };
    picture p;
    ASSERT_EQ(loadbytes(withchunk(5, std::string("a\0bcd", 5)), p), "");
    EXPECT_EQ(p.at(2, 1), 6u);
    EXPECT_EQ(loadbytes(withchunk(0x49454E25, std::string("a\0bcd", 5)), p), "png: the file ends too early");
    // the announced length passes the end by one byte
    std::vector<uint8_t> f = withchunk(5, std::string("a\0bcd", 5));
    f.resize(33 + 8 + 5 + 3);
    EXPECT_EQ(loadbytes(f, p), "png: the file ends too early");
    // no IEND (its 12 bytes cut off): the image is all there and loads
    std::vector<uint8_t> noend(good.begin(), good.end() - 12);
    ASSERT_EQ(loadbytes(noend, p), "");
    EXPECT_EQ(p.at(0, 1), 4u);
}

TEST_F(FormatTest, AbsurdSizesAreRefusedBeforeAnythingIsRead) {
    use("png");
    // A valid header for 70000 x 1 grey, then nothing.
    writepng(path("wide.png"), 1, 1, 8, PNG_COLOR_TYPE_GRAY, false, {{0}});
    std::vector<uint8_t> png = readall(path("wide.png"));
    // IHDR width at bytes 16-19 (big-endian); the CRC is then wrong, which
    // libpng reports for a critical chunk: patch the CRC too.
    png[16] = 0, png[17] = 1, png[18] = 0x11, png[19] = 0x70;
    uint32_t crc = uint32_t(::crc32(0, png.data() + 12, 17));
    png[29] = uint8_t(crc >> 24), png[30] = uint8_t(crc >> 16), png[31] = uint8_t(crc >> 8), png[32] = uint8_t(crc);
    writeall(path("wide.png"), png, png.size());
    picture p;
    EXPECT_EQ(load("wide.png", p), "png: the image is 70000 x 1 pixels, larger than 65535 x 65535: not read");
    // 4096 x 4096 announced, no pixel data: the header is fine, the data fails.
    png[16] = 0, png[17] = 0, png[18] = 0x10, png[19] = 0;
    png[20] = 0, png[21] = 0, png[22] = 0x10, png[23] = 0;
    crc = uint32_t(::crc32(0, png.data() + 12, 17));
    png[29] = uint8_t(crc >> 24), png[30] = uint8_t(crc >> 16), png[31] = uint8_t(crc >> 8), png[32] = uint8_t(crc);
    writeall(path("empty.png"), png, png.size());
    EXPECT_EQ(load("empty.png", p), "png: Not enough image data");
    use("jpeg");
    std::vector<uint8_t> notjpeg = {0xFF, 0xD8, 0xFF};
    writeall(path("x.jpg"), notjpeg, notjpeg.size());
    EXPECT_EQ(load("x.jpg", p), "jpeg: the file ends too early");
    use("tiff");
    std::vector<uint8_t> nottiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
    writeall(path("x.tif"), nottiff, nottiff.size());
    EXPECT_NE(load("x.tif", p), "");
}

// ------------------------------------------------------------ JPEG in several scans

// A JPEG written directly with libjpeg: grey or colour (4:4:4), flat at
// value 120 or noise, in the scans the form names.
enum class scans { progressive, onecomponenteach, arithprogressive };
void writejpeg(const std::string &name, int w, int h, int components, scans form, bool noise) {
    jpeg_compress_struct c;
    jpeg_error_mgr errors;
    c.err = jpeg_std_error(&errors);
    jpeg_create_compress(&c);
    FILE *f = fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w), c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    for (int k = 0; k < components; ++k) c.comp_info[k].h_samp_factor = c.comp_info[k].v_samp_factor = 1;
    jpeg_scan_info each[3];
    if (form == scans::onecomponenteach) {
        // Sequential, but one scan for each component: libjpeg buffers them.
        for (int k = 0; k < components; ++k) each[k] = {1, {k, 0, 0, 0}, 0, 63, 0, 0};
        c.scan_info = each, c.num_scans = components;
    } else {
        jpeg_simple_progression(&c);
        c.arith_code = form == scans::arithprogressive;
    }
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * size_t(components), 120);
    std::mt19937 rng(7);
    for (int r = 0; r < h; ++r) {
        if (noise)
            for (uint8_t &b : row) b = uint8_t(rng());
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
}

// The file with the size in its frame header replaced by w x h.
void claimsize(const std::string &name, int w, int h) {
    std::vector<uint8_t> b = readall(name);
    for (size_t i = 0; i + 9 < b.size(); ++i)
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC1 || b[i + 1] == 0xC2 || b[i + 1] == 0xCA)) {
            b[i + 5] = uint8_t(h >> 8), b[i + 6] = uint8_t(h), b[i + 7] = uint8_t(w >> 8), b[i + 8] = uint8_t(w);
            writeall(name, b, b.size());
            return;
        }
    FAIL() << "no frame header in " << name;
}

TEST_F(FormatTest, JpegInSeveralScansNeedsTheDataForItsBuffer) {
    use("jpeg");
    picture p;
    auto header = [&](const std::string &name) {
        p = picture{};
        bool ok = filter.filterfopen(path(name).c_str(), false) &&
                  filter.filterreadheader(&p.x0, &p.y0, &p.w, &p.h, &p.depth, nullptr);
        std::string e = ok ? "" : filter.filtererror();
        filter.filterfclose();
        return e;
    };
    // Tiny files that announce 4096 x 4096 pixels in several scans are
    // refused by the header call, before libjpeg sizes its buffer.
    writejpeg(path("bomb.jpg"), 16, 16, 3, scans::progressive, true);
    claimsize(path("bomb.jpg"), 4096, 4096);
    size_t bytes = readall(path("bomb.jpg")).size();
    EXPECT_EQ(header("bomb.jpg"), "jpeg: the file ends too early: " + std::to_string(bytes) +
                                      " bytes cannot hold the 4096 x 4096 pixels it announces");
    writejpeg(path("each.jpg"), 16, 16, 3, scans::onecomponenteach, true);
    claimsize(path("each.jpg"), 4096, 4096);
    EXPECT_EQ(header("each.jpg").rfind("jpeg: the file ends too early: ", 0), 0u);
    // Arithmetic coding can be that short: there the buffer's size is
    // capped (and a region does not make it smaller): 750 x 750 blocks in
    // each of 3 components, 128 bytes a block, are 205.99 MB.
    writejpeg(path("arith.jpg"), 16, 16, 3, scans::arithprogressive, true);
    claimsize(path("arith.jpg"), 6000, 6000);
    EXPECT_EQ(load("arith.jpg", p, "w=10 h=10"),
              "jpeg: the image is 6000 x 6000 pixels in several scans, which takes 206 MB to "
              "decode (at most 128 MB): not read");
    claimsize(path("arith.jpg"), 4096, 4096);
    EXPECT_EQ(header("arith.jpg"), "");
    load("arith.jpg", p);   // whatever the zeros the decoder supplies make of it
    // Real files of that size load: a flat one is the shortest Huffman
    // coding allows (one bit a block in its first scan).
    for (int components : {1, 3})
        for (scans form : {scans::progressive, scans::onecomponenteach, scans::arithprogressive}) {
            std::string what = std::to_string(components) + " components, form " + std::to_string(int(form));
            writejpeg(path("flat.jpg"), 4096, 4096, components, form, false);
            ASSERT_EQ(load("flat.jpg", p), "") << what;
            bool flat = true;
            for (int r = 0; r < p.h; r += 7) {
                const uint8_t *px = p.row(r);
                for (size_t i = 0; i < size_t(p.w) * size_t(p.depth / 8); ++i) flat = flat && px[i] == 120;
            }
            EXPECT_TRUE(flat) << what;
        }
    writejpeg(path("noise.jpg"), 4096, 4096, 1, scans::progressive, true);
    ASSERT_EQ(load("noise.jpg", p), "");
    EXPECT_EQ((std::vector<int>{p.w, p.h, p.depth}), (std::vector<int>{4096, 4096, 8}));
}

// ------------------------------------------------------------ TIFF data that is not there

// A little-endian TIFF of 8-bit grey built byte by byte, so that strip or
// tile offsets and byte counts can be anything: the pieces' bytes follow
// the header, then the offset and count arrays, then the directory.
struct piece {
    std::vector<uint8_t> bytes;
    int64_t offset = -1, count = -1;   // as stored; -1: where and how long the bytes are
};
std::vector<uint8_t> buildtiff(uint32_t w, uint32_t h, uint32_t along, const std::vector<piece> &pieces,
                               bool tiled, uint16_t compression = COMPRESSION_NONE,
                               uint16_t samples = 1) {
    std::vector<uint8_t> f = {'I', 'I', 42, 0, 0, 0, 0, 0};
    auto put32 = [&](uint32_t v) { for (int i = 0; i < 32; i += 8) f.push_back(uint8_t(v >> i)); };
    auto put16 = [&](uint16_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
    std::vector<uint32_t> offsets, counts;
    for (const piece &p : pieces) {
        offsets.push_back(uint32_t(p.offset >= 0 ? p.offset : int64_t(f.size())));
        counts.push_back(uint32_t(p.count >= 0 ? p.count : int64_t(p.bytes.size())));
        f.insert(f.end(), p.bytes.begin(), p.bytes.end());
    }
    // Arrays of more than one value live outside the directory.
    auto array = [&](const std::vector<uint32_t> &v) {
        if (v.size() == 1) return v[0];
        uint32_t at = uint32_t(f.size());
        for (uint32_t x : v) put32(x);
        return at;
    };
    uint32_t offsetvalue = array(offsets), countvalue = array(counts);
    struct entry { uint16_t tag, type; uint32_t n, value; };
    std::vector<entry> dir = {{256, 4, 1, w}, {257, 4, 1, h}, {258, 3, 1, 8}, {259, 3, 1, compression}, {262, 3, 1, 1}};
    if (tiled)
        dir.insert(dir.end(), {{277, 3, 1, samples}, {322, 4, 1, along}, {323, 4, 1, along},
                               {324, 4, uint32_t(offsets.size()), offsetvalue},
                               {325, 4, uint32_t(counts.size()), countvalue}});
    else
        dir.insert(dir.end(), {{273, 4, uint32_t(offsets.size()), offsetvalue}, {277, 3, 1, samples}, {278, 4, 1, along},
                               {279, 4, uint32_t(counts.size()), countvalue}});
    uint32_t at = uint32_t(f.size());
    for (int i = 0; i < 4; ++i) f[size_t(4 + i)] = uint8_t(at >> (8 * i));
    put16(uint16_t(dir.size()));
    for (const entry &e : dir) {
        put16(e.tag), put16(e.type), put32(e.n);
        if (e.type == 3 && e.n == 1)
            put16(uint16_t(e.value)), put16(0);
        else
            put32(e.value);
    }
    put32(0);
    return f;
}

std::vector<uint8_t> bytesfrom(uint8_t first, size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(first + i);
    return v;
}

TEST_F(FormatTest, TiffStripsAndTilesWithoutTheirDataAreRefused) {
    use("tiff");
    picture p;
    auto loadbytes = [&](const std::vector<uint8_t> &file, const char *options = nullptr) {
        writeall(path("d.tif"), file, file.size());
        return load("d.tif", p, options);
    };
    const std::string damaged = "tiff: the file is damaged or incomplete: ";
    // 8 x 4 grey in two strips of two rows: the sound file first.
    std::vector<uint8_t> top = bytesfrom(1, 16), bottom = bytesfrom(101, 16);
    ASSERT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {bottom}}, false)), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(7, 3)}), (std::vector<unsigned>{1, 116}));
    // A strip with no data: a sparse one (offset and count 0), a count of
    // 0, an offset of 0; with and without compression.
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {{}, 0, 0}}, false)), damaged + "strip 1 has no data");
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {bottom, -1, 0}}, false)), damaged + "strip 1 has no data");
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top, 0}, {bottom}}, false)), damaged + "strip 0 has no data");
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {{}, 0, 0}}, false, COMPRESSION_ADOBE_DEFLATE)),
              damaged + "strip 1 has no data");
    // ... or past the end of the file, or fewer bytes than its rows.
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {{}, 100000, 16}}, false)),
              damaged + "strip 1 passes the end of the file");
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {bottom, -1, 15}}, false)),
              damaged + "strip 1 holds 15 of its 16 bytes");
    // A part that does not touch the missing strip loads.
    ASSERT_EQ(loadbytes(buildtiff(8, 4, 2, {{top}, {{}, 0, 0}}, false), "y=0 h=2"), "");
    EXPECT_EQ(p.at(7, 1), 16u);
    // A last strip of one row (4 rows by 3) needs 8 bytes only.
    ASSERT_EQ(loadbytes(buildtiff(8, 4, 3, {{bytesfrom(1, 24)}, {bytesfrom(50, 8)}}, false)), "");
    EXPECT_EQ(p.at(7, 3), 57u);
    // A file cut inside its only strip (the data comes last here).
    std::vector<uint8_t> whole = buildtiff(8, 4, 4, {{{}, 300, 32}}, false);
    whole.resize(300);
    std::vector<uint8_t> data = bytesfrom(1, 32);
    whole.insert(whole.end(), data.begin(), data.end());
    ASSERT_EQ(loadbytes(whole), "");
    EXPECT_EQ(p.at(7, 3), 32u);
    for (size_t cut : {size_t(300), size_t(301), size_t(331)}) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
        EXPECT_EQ(loadbytes(part), damaged + "strip 0 passes the end of the file") << cut;
    }
    // Tiles of 16 x 16 in a 32 x 32 image, tile 1 (top right) missing,
    // sparse, or beyond the end.
    std::vector<uint8_t> t0 = bytesfrom(0, 256), t1 = bytesfrom(1, 256), t2 = bytesfrom(2, 256), t3 = bytesfrom(3, 256);
    ASSERT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {t1}, {t2}, {t3}}, true)), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(16, 0), p.at(31, 31)}), (std::vector<unsigned>{1, 258 % 256}));
    EXPECT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {{}, 0, 0}, {t2}, {t3}}, true)), damaged + "tile 1 has no data");
    EXPECT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {t1, -1, 0}, {t2}, {t3}}, true, COMPRESSION_ADOBE_DEFLATE)),
              damaged + "tile 1 has no data");
    EXPECT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {{}, 5000, 256}, {t2}, {t3}}, true)),
              damaged + "tile 1 passes the end of the file");
    EXPECT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {t1}, {t2}, {t3, -1, 255}}, true)),
              damaged + "tile 3 holds 255 of its 256 bytes");
    ASSERT_EQ(loadbytes(buildtiff(32, 32, 16, {{t0}, {{}, 0, 0}, {t2}, {t3}}, true), "x=0 y=0 w=16"), "");
    EXPECT_EQ(p.at(0, 31), 2u + 240u);   // row 15 of tile 2
}

// A header whose rows would need huge buffers is refused before they are
// sized: absurd sample counts (a scanline of 65535 samples a pixel would be
// hundreds of megabytes), tiles whose band passes the bound.
TEST_F(FormatTest, TiffRowsTooLargeForTheirBuffersAreRefused) {
    use("tiff");
    picture p;
    auto loadbytes = [&](const std::vector<uint8_t> &file) {
        writeall(path("d.tif"), file, file.size());
        return load("d.tif", p);
    };
    std::vector<uint8_t> rows = bytesfrom(1, 32);
    ASSERT_EQ(loadbytes(buildtiff(8, 4, 4, {{rows}}, false)), "");   // the sound file
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 4, {{rows}}, false, COMPRESSION_NONE, 65535)),
              "tiff: images of 65535 samples a pixel are not supported");
    EXPECT_EQ(loadbytes(buildtiff(8, 4, 4, {{rows}}, false, COMPRESSION_NONE, 17)),
              "tiff: images of 17 samples a pixel are not supported");
    // 16 samples (grey and 15 extra channels) is the most there may be.
    std::vector<uint8_t> wide = bytesfrom(0, 8 * 4 * 16);
    ASSERT_EQ(loadbytes(buildtiff(8, 4, 4, {{wide}}, false, COMPRESSION_NONE, 16)), "");
    EXPECT_EQ((std::vector<unsigned>{p.at(0, 0), p.at(1, 0), p.at(0, 1)}),
              (std::vector<unsigned>{0, 16, 128}));
    // One tile of 8192 x 8192 grey pixels is 64 MB and more: refused, as
    // the file is, before its data is looked at.
    EXPECT_EQ(loadbytes(buildtiff(16, 16, 8192, {{rows}}, true, COMPRESSION_ADOBE_DEFLATE, 2)),
              "tiff: tiles of 8192 x 8192 pixels are not supported");
}

}  // namespace
