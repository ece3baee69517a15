// Filter module "pgm": binary Netpbm files. BIN images are written and read
// as PBM (P4, 1 = black = object pixel), GREY as PGM (P5) and COL as PPM
// (P6), 8 bits a sample. Netpbm has no image origin: the writer records it in
// a comment line "# origin X Y", which the reader takes back (origin 0 0
// without it). The options text is not used.
#include "image/io.h"

#include <sys/stat.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace {

FILE *reading;
savefile writing;
int imgw, imgh, imgdepth;
const char *error = "pgm: no error";

uint8_t reversebits(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

// Netpbm header parsing: white space and comments between fields. The
// origin comment is recognised wherever a comment may stand.
struct headerscan {
    FILE *f;
    long originx = 0, originy = 0;

    int skipspace() {
        int c = fgetc(f);
        for (;;) {
            if (c == '#') {
                char line[256];
                if (!fgets(line, sizeof line, f)) return EOF;
                long x, y;
                if (sscanf(line, " origin %ld %ld", &x, &y) == 2) originx = x, originy = y;
                // A comment longer than the buffer: skip the rest of it.
                if (!strchr(line, '\n')) {
                    while ((c = fgetc(f)) != EOF && c != '\n') {}
                }
                c = fgetc(f);
            } else if (c != EOF && isspace(c)) {
                c = fgetc(f);
            } else {
                return c;
            }
        }
    }

    // A decimal number of at most 9 digits (larger ones are refused).
    bool number(long &v) {
        int c = skipspace();
        if (c == EOF || !isdigit(c)) return false;
        v = 0;
        int digits = 0;
        while (c != EOF && isdigit(c)) {
            if (++digits > 9) return false;
            v = v * 10 + (c - '0');
            c = fgetc(f);
        }
        // Exactly one white-space character ends the last header field.
        return c != EOF && isspace(c);
    }
};

size_t filerowbytes(int w, int depth) {
    return depth == 1 ? size_t(w + 7) / 8 : depth == 8 ? size_t(w) : 3 * size_t(w);
}

// Row r of the image store's block for the depth (grey skips its border).
uint8_t *blockrow(uint8_t *data, int r) {
    if (imgdepth == 8) return data + size_t(r + 1) * size_t(imgw + 2) + 1;
    return data + size_t(r) * filerowbytes(imgw, imgdepth);
}

}  // namespace

extern "C" {

const char *filtererror() { return error; }

void filterfclose() {
    if (reading) fclose(reading);
    reading = nullptr;
    savecancel(writing);
}

bool filterfopen(const char *name, bool write) {
    filterfclose();
    error = "pgm: open error";
    if (write) return savebegin(writing, name);
    reading = fopen(name, "rb");
    return reading != nullptr;
}

bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *) {
    error = "pgm: write error";
    if (!writing.file) return false;
    const char *magic = depth == 1 ? "P4" : depth == 8 ? "P5" : depth == 24 ? "P6" : nullptr;
    if (!magic || w < 1 || h < 1) {
        error = "pgm: unsupported image";
        return false;
    }
    imgw = w, imgh = h, imgdepth = depth;
    if (depth == 1)
        return fprintf(writing.file, "%s\n# origin %d %d\n%d %d\n", magic, x0, y0, w, h) > 0;
    return fprintf(writing.file, "%s\n# origin %d %d\n%d %d\n255\n", magic, x0, y0, w, h) > 0;
}

bool filterwritedata(const uint8_t *data) {
    error = "pgm: write error";
    if (!writing.file) return false;
    size_t rowbytes = filerowbytes(imgw, imgdepth);
    std::vector<uint8_t> row(rowbytes);
    for (int r = 0; r < imgh; ++r) {
        const uint8_t *src = blockrow(const_cast<uint8_t *>(data), r);
        if (imgdepth == 1) {
            for (size_t i = 0; i < rowbytes; ++i) row[i] = reversebits(src[i]);
            if (imgw % 8) row[rowbytes - 1] &= uint8_t(0xFF00 >> (imgw % 8));   // padding bits 0
            src = row.data();
        }
        if (fwrite(src, 1, rowbytes, writing.file) != rowbytes) return false;
    }
    return savecommit(writing);
}

bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *) {
    error = "pgm: read error";
    if (!reading) return false;
    char magic[2];
    if (fread(magic, 1, 2, reading) != 2) return false;
    error = "pgm: not a binary PBM, PGM or PPM file";
    if (magic[0] != 'P' || (magic[1] != '4' && magic[1] != '5' && magic[1] != '6')) return false;
    int d = magic[1] == '4' ? 1 : magic[1] == '5' ? 8 : 24;
    headerscan scan{reading};
    long width, height, maxval = 255;
    if (!scan.number(width) || !scan.number(height) || (d != 1 && !scan.number(maxval)))
        return false;
    if (maxval != 255) {
        error = "pgm: only 8-bit samples (maxval 255) are supported";
        return false;
    }
    // The host checks the size; values are clamped so that they fit an int.
    *x0 = int(scan.originx < -1 || scan.originx > 1000000 ? -1 : scan.originx);
    *y0 = int(scan.originy < -1 || scan.originy > 1000000 ? -1 : scan.originy);
    *w = int(width);
    *h = int(height);
    *depth = d;
    imgw = int(width), imgh = int(height), imgdepth = d;
    // A regular file too short for the pixels its header announces is
    // refused now, before the host changes anything for it.
    struct stat st;
    long here = ftell(reading);
    if (loadableheader(*x0, *y0, *w, *h, d) && here >= 0 && fstat(fileno(reading), &st) == 0 &&
        S_ISREG(st.st_mode) &&
        uint64_t(st.st_size) < uint64_t(here) + filerowbytes(imgw, d) * uint64_t(imgh)) {
        error = "pgm: short pixel data";
        return false;
    }
    return true;
}

bool filterreaddata(uint8_t *data) {
    error = "pgm: short pixel data";
    if (!reading) return false;
    size_t rowbytes = filerowbytes(imgw, imgdepth);
    if (imgdepth == 8) memset(data, 0, size_t(imgw + 2) * size_t(imgh + 2));   // border 0
    for (int r = 0; r < imgh; ++r) {
        uint8_t *dst = blockrow(data, r);
        if (fread(dst, 1, rowbytes, reading) != rowbytes) return false;
        if (imgdepth == 1) {
            for (size_t i = 0; i < rowbytes; ++i) dst[i] = reversebits(dst[i]);
            if (imgw % 8) dst[rowbytes - 1] &= uint8_t((1 << (imgw % 8)) - 1);   // padding 0
        }
    }
    return true;
}

}  // extern "C"
