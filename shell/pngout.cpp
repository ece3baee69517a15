// PNG writer of the display picture (libpng).
#include "shell/pngout.h"
#include "shell/disp.h"
#include "image/savefile.h"

#include <csetjmp>
#include <cstdio>
#include <mutex>
#include <png.h>
#include <vector>

// Encodes the rows into fp. libpng reports errors by longjmp to the setjmp
// below, so this frame holds nothing with a destructor.
static bool encode(FILE *fp, int w, int h, png_bytep *rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, fp);
    png_set_compression_level(png, 1);   // written on every paint: favour speed
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string pngwritedisplay(const char *path) {
    std::lock_guard<std::mutex> lock(CSection);
    if (!Ima.pixels || Ima.w <= 0 || Ima.h <= 0) return "";
    std::vector<png_bytep> rows(size_t(Ima.h));
    for (int y = 0; y < Ima.h; ++y) rows[size_t(y)] = Ima.pixels + size_t(y) * 3 * size_t(Ima.w);
    savefile out;
    if (!savebegin(out, path)) return std::string("open error: ") + path;
    if (!encode(out.file, Ima.w, Ima.h, rows.data())) {
        savecancel(out);
        return std::string("write error: ") + path;
    }
    if (!savecommit(out)) return std::string("write error: ") + path;
    return "";
}
