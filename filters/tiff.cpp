// Filter module "tiff": TIFF files through libtiff.
//
// Reading (one image of the file; page= chooses another, counting from 0):
// bilevel (1-bit grey) becomes BIN (set = white), 2-, 4-, 8- and 16-bit grey
// GREY, RGB, palette and 8-bit CMYK COL; extra samples (alpha) are dropped;
// 16-bit samples keep their high byte, or with reduce=stretch the range the
// loaded part holds is stretched to 0-255. YCbCr is read when JPEG
// compressed (libtiff converts it to RGB); separate planes, floating-point
// and signed samples are refused. Stripped and tiled files; x= y= w= h= load
// a part, decoding only the strips or tiles it touches.
//
// Writing: BIN as bilevel, GREY as 8-bit grey, COL as 8-bit RGB;
// compression= none (default), lzw, deflate or packbits, the latter three
// with the horizontal predictor for 8-bit data. The origin is kept in the
// position tags (with a resolution of 1, so positions are pixels).
//
// Every strip or tile a read needs must lie inside the file: one with no
// data (offset or byte count 0, as sparse files have), one that passes the
// file's end, or an uncompressed one shorter than its rows makes the file
// damaged or incomplete, refused by the header call rather than loaded as
// zeros.
//
// libtiff's errors become the error text (the first one of a call); its
// warnings are dropped. No allocation is larger than one row of the file,
// one band of tiles, or libtiff's own buffers, which it caps.
#include "filters/filterkit.h"
#include "image/io.h"

#include <tiffio.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>

extern const char *const modulename = "tiff";

namespace {

// libtiff never allocates more than this in one block for us.
constexpr tmsize_t MAXALLOC = 256 << 20;
// Our own row buffers stay far below it: a pixel has at most MAXSAMPLES
// samples (what we read are the first four; more are extra channels), so
// that a scanline is at most 2 MB, and a band of tiles holds at most
// MAXBAND bytes. A file beyond either is refused before they are sized.
constexpr uint16_t MAXSAMPLES = 16;
constexpr uint64_t MAXBAND = 64 << 20;

// What a file's pixels are, as far as reading goes.
enum class kind { bilevel, grey, rgb, palette, cmyk };

// One file at a time.
TIFF *tif;

// The read in progress.
readplan plan;
kind pixelkind;
int bps, spp;           // bits a sample, samples a pixel
bool inverted;          // min-is-white grey
bool tiled;
uint32_t tilew, tileh;
uint16_t *cmap[3];      // palette, 16-bit entries
int cmapshift;          // 8 for 16-bit entries, 0 for files that store 8-bit ones
std::vector<uint8_t> filerows;   // a scanline, or a band of tiles side by side
std::vector<uint8_t> tile;       // one decoded tile
size_t bandrowbytes;             // bytes of one row of the band
std::vector<uint16_t> wide;      // 16-bit samples of the part's row
std::vector<uint8_t> pixels;     // the part's row in the block's form

// The write in progress.
int outx0, outy0, outw, outh, outdepth, outcompression;

// --------------------------------------------------- libtiff over a FILE
// libtiff works on the FILE's descriptor (the FILE itself is never read or
// written, so nothing is buffered twice); a regular file being read is
// mapped into memory, which libtiff reads strips from directly.
int fdof(thandle_t h) { return fileno(static_cast<FILE *>(h)); }
tmsize_t readproc(thandle_t h, void *buf, tmsize_t n) {
    size_t done = 0;
    while (done < size_t(n)) {
        ssize_t k = read(fdof(h), static_cast<char *>(buf) + done, size_t(n) - done);
        if (k <= 0) break;
        done += size_t(k);
    }
    return tmsize_t(done);
}
tmsize_t writeproc(thandle_t h, void *buf, tmsize_t n) {
    size_t done = 0;
    while (done < size_t(n)) {
        ssize_t k = write(fdof(h), static_cast<const char *>(buf) + done, size_t(n) - done);
        if (k <= 0) return -1;
        done += size_t(k);
    }
    return n;
}
toff_t seekproc(thandle_t h, toff_t off, int whence) {
    if (off > toff_t(INT64_MAX)) return toff_t(-1);
    off_t at = lseek(fdof(h), off_t(off), whence);
    return at < 0 ? toff_t(-1) : toff_t(at);
}
int closeproc(thandle_t) { return 0; }   // the FILE is closed by filterfclose
toff_t sizeproc(thandle_t h) {
    struct stat st;
    return fstat(fdof(h), &st) == 0 && st.st_size > 0 ? toff_t(st.st_size) : 0;
}
int mapproc(thandle_t h, void **base, toff_t *size) {
    struct stat st;
    if (fstat(fdof(h), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return 0;
    void *p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fdof(h), 0);
    if (p == MAP_FAILED) return 0;
    *base = p;
    *size = toff_t(st.st_size);
    return 1;
}
void unmapproc(thandle_t, void *base, toff_t size) { munmap(base, size_t(size)); }

int onerror(TIFF *, void *, const char *, const char *format, va_list ap) {
    if (!failed()) {
        char text[200];
        vsnprintf(text, sizeof text, format, ap);
        fail("%s", text);
    }
    return 1;
}
int onwarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

TIFF *opentiff(const char *mode, FILE *f) {
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, MAXALLOC);
    TIFFOpenOptionsSetErrorHandlerExtR(opts, onerror, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, onwarning, nullptr);
    TIFF *t = TIFFClientOpenExt(modulename, mode, f, readproc, writeproc, seekproc, closeproc,
                                sizeproc, mapproc, unmapproc, opts);
    TIFFOpenOptionsFree(opts);
    return t;
}

void closetiff() {
    if (tif) TIFFClose(tif);
    tif = nullptr;
}

// ---------------------------------------------------------------- reading

// The kind of the current directory's pixels, or a refusal naming what is
// not supported.
bool classify() {
    uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    uint16_t bits = 1, samples = 1, compression = COMPRESSION_NONE, inkset = INKSET_CMYK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkset);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
        photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (samples == 0 || samples > MAXSAMPLES)
        return fail("images of %u samples a pixel are not supported", samples);
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID)
        return fail("only unsigned integer samples are supported (sample format %u)", format);
    if (planar != PLANARCONFIG_CONTIG && samples > 1)
        return fail("images with separate colour planes are not supported");
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && bits == 8) {
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    bps = bits, spp = samples;
    inverted = photometric == PHOTOMETRIC_MINISWHITE;
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        if (bits == 1 && samples == 1) {
            pixelkind = kind::bilevel;
            return true;
        }
        pixelkind = kind::grey;
        if ((bits == 2 || bits == 4 || bits == 8 || bits == 16) && samples >= 1) return true;
        break;
    case PHOTOMETRIC_RGB:
        pixelkind = kind::rgb;
        if ((bits == 8 || bits == 16) && samples >= 3) return true;
        break;
    case PHOTOMETRIC_PALETTE:
        pixelkind = kind::palette;
        if (bits <= 8 && samples == 1 && (bits & (bits - 1)) == 0) {
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &cmap[0], &cmap[1], &cmap[2]))
                return fail("the palette image has no colour map");
            // Some writers store 8-bit values in the 16-bit map.
            cmapshift = 0;
            for (int c = 0; c < 3; ++c)
                for (int i = 0; i < 1 << bits; ++i)
                    if (cmap[c][i] > 255) cmapshift = 8;
            return true;
        }
        break;
    case PHOTOMETRIC_SEPARATED:
        pixelkind = kind::cmyk;
        if (inkset != INKSET_CMYK) return fail("only CMYK inks are supported");
        if (bits == 8 && samples >= 4) return true;
        break;
    case PHOTOMETRIC_YCBCR:
        return fail("YCbCr images are supported with JPEG compression only");
    default:
        return fail("photometric interpretation %u is not supported", photometric);
    }
    return fail("%u-bit samples, %u a pixel, are not supported for this photometric interpretation",
                bits, samples);
}

// The origin from the position tags, 0 0 without valid ones.
void fileorigin(int &x0, int &y0) {
    float pos[2] = {0, 0}, res[2] = {1, 1};
    bool have = TIFFGetField(tif, TIFFTAG_XPOSITION, &pos[0]) |
                TIFFGetField(tif, TIFFTAG_YPOSITION, &pos[1]);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &res[0]);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &res[1]);
    x0 = y0 = 0;
    if (!have) return;
    int out[2];
    for (int i = 0; i < 2; ++i) {
        double v = double(pos[i]) * (res[i] > 0 ? double(res[i]) : 1.0);
        if (!std::isfinite(v) || v < 0 || v > double(MAXORIGIN)) return;
        out[i] = int(std::lround(v));
    }
    x0 = out[0], y0 = out[1];
}

// Sizes the buffers: a scanline, or a band of the tiles that the part's
// columns touch.
bool sizebuffers() {
    const region &p = plan.part;
    tiled = TIFFIsTiled(tif);
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tilew);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileh);
        uint64_t tilebytes = TIFFTileSize64(tif);
        if (tilew == 0 || tileh == 0 || tilebytes == 0) return failed() ? false : fail("bad tile size");
        uint64_t across = (uint64_t(p.x + p.w - 1) / tilew) - uint64_t(p.x) / tilew + 1;
        uint64_t band = across * tilebytes;
        if (tilew % 8 || band > MAXBAND)
            return fail("tiles of %u x %u pixels are not supported", tilew, tileh);
        bandrowbytes = size_t(band / tileh);
        filerows.resize(size_t(band));
        tile.resize(size_t(tilebytes));
    } else {
        tmsize_t line = TIFFScanlineSize(tif);
        if (line <= 0) return failed() ? false : fail("bad scanline size");
        filerows.resize(size_t(line));
    }
    size_t samples = size_t(p.w) * 3;
    wide.resize(samples);
    pixels.resize(samples);
    return true;
}

// Checks one strip or tile that a read needs (see the top); rows is the
// number of rows an uncompressed one holds.
bool checkstrile(uint32_t k, uint32_t rows, uint64_t filesize, bool raw) {
    const char *what = tiled ? "tile" : "strip";
    uint64_t offset = TIFFGetStrileOffset(tif, k), count = TIFFGetStrileByteCount(tif, k);
    if (offset == 0 || count == 0)
        return fail("the file is damaged or incomplete: %s %u has no data", what, k);
    if (filesize > 0 && (offset > filesize || count > filesize - offset))
        return fail("the file is damaged or incomplete: %s %u passes the end of the file", what, k);
    uint64_t need = raw ? tiled ? TIFFTileSize64(tif) : TIFFVStripSize64(tif, rows) : 0;
    if (count < need)
        return fail("the file is damaged or incomplete: %s %u holds %llu of its %llu bytes", what, k,
                    (unsigned long long)count, (unsigned long long)need);
    return true;
}

// Checks the strips or tiles that the part touches.
bool checkdata() {
    const region &p = plan.part;
    uint64_t filesize;   // 0: not a regular file, nothing to check against
    readingsize(&filesize);
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    bool raw = compression == COMPRESSION_NONE;
    uint64_t y1 = uint64_t(p.y + p.h), x1 = uint64_t(p.x + p.w);   // past the part
    if (tiled) {
        for (uint64_t y = uint64_t(p.y) / tileh * tileh; y < y1; y += tileh)
            for (uint64_t x = uint64_t(p.x) / tilew * tilew; x < x1; x += tilew)
                if (!checkstrile(TIFFComputeTile(tif, uint32_t(x), uint32_t(y), 0, 0), tileh, filesize, raw))
                    return false;
        return true;
    }
    uint32_t perstrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &perstrip);
    uint64_t down = perstrip ? perstrip : 1;
    for (uint64_t y = uint64_t(p.y) / down * down; y < y1; y += down) {
        uint32_t rows = uint32_t(std::min(down, uint64_t(plan.fileh) - y));
        if (!checkstrile(TIFFComputeStrip(tif, uint32_t(y), 0), rows, filesize, raw)) return false;
    }
    return true;
}

// Sample k of a packed row of bps-bit samples.
unsigned sample(const uint8_t *row, size_t k) {
    switch (bps) {
    case 8: return row[k];
    case 16: {
        uint16_t v;
        memcpy(&v, row + 2 * k, 2);
        return v;
    }
    default: {
        size_t bit = k * size_t(bps);
        return (row[bit / 8] >> (8 - bps - int(bit % 8))) & ((1u << bps) - 1);
    }
    }
}

// Pixels c0 ... c0 + n - 1 of a file row into the part's row: the block's
// bytes in pixels, or for 16-bit grey and RGB the samples in wide (which
// the caller narrows).
void convertrow(const uint8_t *row, size_t c0, int n) {
    size_t s = size_t(spp);
    uint8_t *out = pixels.data();
    switch (pixelkind) {
    case kind::bilevel:
        for (int i = 0; i < n; ++i) out[i] = uint8_t(sample(row, c0 + size_t(i)) ^ inverted);
        break;
    case kind::grey: {
        unsigned top = (1u << bps) - 1;
        for (int i = 0; i < n; ++i) {
            unsigned v = sample(row, (c0 + size_t(i)) * s);
            if (inverted) v = top - v;
            if (bps == 16)
                wide[size_t(i)] = uint16_t(v);
            else
                out[i] = uint8_t(v * 255 / top);
        }
        break;
    }
    case kind::rgb:
        for (int i = 0; i < n; ++i)
            for (size_t c = 0; c < 3; ++c) {
                unsigned v = sample(row, (c0 + size_t(i)) * s + c);
                if (bps == 16)
                    wide[3 * size_t(i) + c] = uint16_t(v);
                else
                    out[3 * size_t(i) + c] = uint8_t(v);
            }
        break;
    case kind::palette:
        for (int i = 0; i < n; ++i) {
            unsigned index = sample(row, c0 + size_t(i));
            for (int c = 0; c < 3; ++c) out[3 * i + c] = uint8_t(cmap[c][index] >> cmapshift);
        }
        break;
    case kind::cmyk:
        // As libtiff's own RGBA reader does: each ink darkens by its share.
        for (int i = 0; i < n; ++i) {
            const uint8_t *p = row + (c0 + size_t(i)) * s;
            unsigned k = 255u - p[3];
            for (int c = 0; c < 3; ++c) out[3 * i + c] = uint8_t(k * (255u - p[c]) / 255u);
        }
        break;
    }
}

// File row y (inside the part's rows) and the column of the part's first
// pixel in it; null when libtiff failed.
const uint8_t *filerow(int y, size_t &c0) {
    const region &p = plan.part;
    if (!tiled) {
        c0 = size_t(p.x);
        if (TIFFReadScanline(tif, filerows.data(), uint32_t(y), 0) < 0) return nullptr;
        return filerows.data();
    }
    uint32_t tx0 = uint32_t(p.x) / tilew * tilew;
    uint32_t ty0 = uint32_t(y) / tileh * tileh;
    c0 = size_t(uint32_t(p.x) - tx0);
    // A new band of tiles at its first row (or the part's first row): each
    // tile is decoded, then its rows laid side by side with its neighbours'.
    if (uint32_t(y) == ty0 || y == p.y) {
        size_t tilerow = tile.size() / tileh;
        size_t across = bandrowbytes / tilerow;
        for (size_t t = 0; t < across; ++t) {
            if (TIFFReadTile(tif, tile.data(), tx0 + uint32_t(t) * tilew, ty0, 0, 0) < 0)
                return nullptr;
            for (size_t r = 0; r < tileh; ++r)
                memcpy(filerows.data() + r * bandrowbytes + t * tilerow, tile.data() + r * tilerow,
                       tilerow);
        }
    }
    return filerows.data() + size_t(uint32_t(y) - ty0) * bandrowbytes;
}

// Reads the part's rows into the block, or with scan into the stretch's
// range.
bool readrows(uint8_t *block, bool scan) {
    const region &p = plan.part;
    bool direct = bps == 8 && !inverted &&
                  ((pixelkind == kind::grey && spp == 1) || (pixelkind == kind::rgb && spp == 3));
    size_t channels = plan.depth == 24 ? 3 : 1;
    // Most codecs cannot start in the middle of a strip: the rows of the
    // part's first strip above the part are decoded and dropped.
    if (!tiled) {
        uint32_t perstrip = 0;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &perstrip);
        if (perstrip == 0) perstrip = 1;
        for (uint32_t y = uint32_t(p.y) / perstrip * perstrip; y < uint32_t(p.y); ++y)
            if (TIFFReadScanline(tif, filerows.data(), y, 0) < 0)
                return failed() ? false : fail("read error");
    }
    for (int r = 0; r < p.h; ++r) {
        size_t c0;
        const uint8_t *row = filerow(p.y + r, c0);
        if (!row) return failed() ? false : fail("read error");
        const uint8_t *px = row + c0 * channels;
        if (!direct) {
            convertrow(row, c0, p.w);
            px = pixels.data();
            if (bps == 16) {
                size_t n = size_t(p.w) * channels;
                if (scan) {
                    plan.narrow.scan(wide.data(), n);
                    continue;
                }
                plan.narrow.maprow(wide.data(), n, pixels.data());
            }
        }
        putpixels(block, p.w, plan.depth, r, 0, 1, px, p.w);
    }
    return true;
}

// ---------------------------------------------------------------- writing
bool encode(const uint8_t *block) {
    int w = outw, h = outh, depth = outdepth;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, depth == 1 ? 1 : 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, depth == 24 ? 3 : 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 depth == 24 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, outcompression);
    bool predicted = depth != 1 && (outcompression == COMPRESSION_LZW ||
                                    outcompression == COMPRESSION_ADOBE_DEFLATE);
    if (predicted) TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 1.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 1.0f);
    TIFFSetField(tif, TIFFTAG_XPOSITION, float(outx0));
    TIFFSetField(tif, TIFFTAG_YPOSITION, float(outy0));
    // libtiff's predictor works in place: then each row is copied first.
    size_t rowbytes = depth == 1 ? size_t(w + 7) / 8 : size_t(w) * size_t(depth / 8);
    for (int r = 0; r < h; ++r) {
        uint8_t *row = const_cast<uint8_t *>(blockrow(block, w, depth, r));
        if (depth == 1) {
            copybinrow(block, w, r, pixels.data());
            TIFFReverseBits(pixels.data(), tmsize_t(rowbytes));   // TIFF: leftmost pixel in bit 7
            row = pixels.data();
        } else if (predicted) {
            memcpy(pixels.data(), row, rowbytes);
            row = pixels.data();
        }
        if (TIFFWriteScanline(tif, row, uint32_t(r), 0) < 0) return false;
    }
    return TIFFFlush(tif) == 1;
}

}  // namespace

void endlibrary() {
    closetiff();
}

extern "C" {

bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options) {
    clearerror();
    if (!reading) return fail("read error");
    optionset o;
    int page = 0;
    if (!parseoptions(options, {READ_OPTION_KEYS, "page"}, o) ||
        !intoption(o, "page", 0, 65535, page))
        return false;
    closetiff();
    tif = opentiff("r", reading);
    if (!tif) return failed() ? false : fail("not a TIFF file");
    if (page > 0 && !TIFFSetDirectory(tif, tdir_t(page))) {
        clearerror();
        return fail("the file has no page %d", page);
    }
    uint32_t fw = 0, fh = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &fw) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &fh))
        return fail("the image has no size");
    if (fw > MAXFILESIDE || fh > MAXFILESIDE)
        return fail("the image is %u x %u pixels, larger than %d x %d: not read", fw, fh,
                    MAXFILESIDE, MAXFILESIDE);
    plan = readplan{};
    plan.filew = int(fw), plan.fileh = int(fh);
    if (!classify() || !planregion(o, plan)) return false;
    plan.depth = pixelkind == kind::bilevel ? 1 : pixelkind == kind::grey ? 8 : 24;
    int fx0, fy0;
    fileorigin(fx0, fy0);
    planorigin(plan, fx0, fy0);
    if (!sizebuffers() || !checkdata()) return false;
    *x0 = plan.x0, *y0 = plan.y0, *w = plan.part.w, *h = plan.part.h, *depth = plan.depth;
    return true;
}

bool filterreaddata(uint8_t *data) {
    clearerror();
    if (!tif) return fail("read error");
    const region &p = plan.part;
    if (plan.depth == 1) memset(data, 0, size_t(p.w + 7) / 8 * size_t(p.h));
    if (plan.depth == 8) clearborder(data, p.w, p.h);
    if (bps == 16 && plan.narrow.stretch) {
        if (!readrows(data, true)) return false;
        plan.narrow.prepare();
    }
    bool ok = readrows(data, false);
    closetiff();
    return ok;
}

bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *options) {
    clearerror();
    optionset o;
    int method = 0;
    if (!parseoptions(options, {"compression"}, o) ||
        !choiceoption(o, "compression", {"none", "lzw", "deflate", "packbits"}, method))
        return false;
    static const int methods[] = {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE,
                                  COMPRESSION_PACKBITS};
    if (depth != 1 && depth != 8 && depth != 24) return fail("images of depth %d are not supported", depth);
    if (w < 1 || h < 1 || x0 < 0 || y0 < 0 || x0 > MAXORIGIN || y0 > MAXORIGIN)
        return fail("cannot write an image of %d x %d pixels at (%d %d)", w, h, x0, y0);
    outx0 = x0, outy0 = y0, outw = w, outh = h, outdepth = depth;
    outcompression = methods[method];
    pixels.resize(size_t(w) * 3);
    return true;
}

bool filterwritedata(const uint8_t *data) {
    clearerror();
    if (!writing.file || outdepth == 0) return fail("write error");
    tif = opentiff("w", writing.file);
    bool ok = tif && encode(data);
    closetiff();
    outdepth = 0;
    if (!ok || failed()) {
        savecancel(writing);
        return fail("write error");
    }
    if (!savecommit(writing)) return fail("write error");
    return true;
}

}  // extern "C"
