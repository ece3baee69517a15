// Filter module "png": PNG files through libpng.
//
// Reading: 1-bit grey becomes BIN (1 = white = set), other grey (with or
// without alpha) GREY, palette and RGB (with or without alpha) COL; alpha
// and transparency are dropped; 16-bit samples keep their high byte, or with
// reduce=stretch the range the loaded part holds is stretched to 0-255.
// Options x= y= w= h= load a part of the image. Interlaced files are read
// pass by pass into the part, so no more than one file row is ever held.
//
// Writing: BIN as 1-bit grey, GREY as 8-bit grey, COL as 8-bit RGB; level=
// (0-9, default 6) is the deflate level. The origin is kept in a text chunk
// "Tavex origin" = "X Y", which the reader takes back.
//
// libpng reports errors by longjmp: every call into it runs inside guarded(),
// and the code that runs there holds no object with a destructor; buffers
// live in the module state.
#include "filters/filterkit.h"
#include "image/io.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

extern const char *const modulename = "png";

namespace {

// One file at a time.
png_structp png;   // libpng's state of the current read or write
png_infop info;
bool pngwrites;    // png is a write struct

// The read in progress: the file's layout after libpng's transformations.
readplan plan;
bool interlaced;
int channels;       // samples a pixel: 1 or 3
bool sixteen;       // samples stay 16-bit (for the stretch)
size_t rowbytes;

// The write in progress.
int outx0, outy0, outw, outh, outdepth, outlevel;
std::string origin;

// Scratch rows: the decoded row (16-bit words so that 16-bit samples are
// aligned), the narrowed pixels.
std::vector<uint16_t> filerow;
std::vector<uint8_t> pixels;

[[noreturn]] void onerror(png_structp p, png_const_charp msg) {
    if (!failed()) fail("%s", msg);
    png_longjmp(p, 1);
}

// Warnings (a bad ancillary chunk, a CRC error in one) are not the user's
// business: the image is read as well as it can be.
void onwarning(png_structp, png_const_charp) {}

void readbytes(png_structp p, png_bytep data, size_t n) {
    if (fread(data, 1, n, reading) != n) {
        fail("the file ends too early");
        png_longjmp(p, 1);
    }
}

void writebytes(png_structp p, png_bytep data, size_t n) {
    if (fwrite(data, 1, n, writing.file) != n) {
        fail("write error");
        png_longjmp(p, 1);
    }
}

void flushnothing(png_structp) {}

// Runs fn with libpng's error exit set; false when libpng gave up.
template <typename F>
bool guarded(F fn) {
    if (setjmp(png_jmpbuf(png))) return false;
    fn();
    return true;
}

void endpng() {
    if (png && pngwrites) png_destroy_write_struct(&png, &info);
    if (png && !pngwrites) png_destroy_read_struct(&png, &info, nullptr);
    png = nullptr;
    info = nullptr;
}

bool newpng(bool write) {
    endpng();
    pngwrites = write;
    png = write ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onerror, onwarning)
                : png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onerror, onwarning);
    if (png) info = png_create_info_struct(png);
    if (!png || !info) return fail("out of memory");
    return true;
}

// ---------------------------------------------------------------- reading

// The origin from the text chunk, 0 0 without a valid one.
void fileorigin(int &x0, int &y0) {
    x0 = y0 = 0;
    png_textp texts;
    int n = 0;
    png_get_text(png, info, &texts, &n);
    for (int i = 0; i < n; ++i)
        if (strcmp(texts[i].key, ORIGIN_KEY) == 0 && texts[i].text &&
            parseorigin(texts[i].text, strlen(texts[i].text), x0, y0))
            return;
    x0 = y0 = 0;
}

// Whether every chunk up to IEND ends inside the file. libpng sizes the
// buffer of a text or other ancillary chunk from the length the chunk
// announces, before it reads a byte of it: a file of a hundred bytes could
// ask for gigabytes. Walks the chunk headers only; the read position is
// left where it was. A file that is not a PNG, or not seekable, is left to
// libpng's own checks.
bool chunksfit() {
    uint64_t size;
    if (!readingsize(&size)) return true;
    const off_t start = ftello(reading);
    uint8_t head[8];
    bool ispng = fseeko(reading, 0, SEEK_SET) == 0 && fread(head, 1, 8, reading) == 8 &&
                 png_sig_cmp(head, 0, 8) == 0;
    bool fits = true;
    for (uint64_t at = 8; ispng && at + 8 <= size;) {
        if (fseeko(reading, off_t(at), SEEK_SET) != 0 || fread(head, 1, 8, reading) != 8) break;
        uint64_t length = uint64_t(head[0]) << 24 | uint64_t(head[1]) << 16 | uint64_t(head[2]) << 8 | head[3];
        uint64_t end = at + 12 + length;   // length, type, data, CRC
        if (end > size) {
            fits = false;
            break;
        }
        if (memcmp(head + 4, "IEND", 4) == 0) break;
        at = end;
    }
    if (fseeko(reading, start, SEEK_SET) != 0) return fail("read error");
    return fits ? true : fail("the file ends too early");
}

// Reads the header from the start of the file and sets up the
// transformations; with plan true it also fixes the plan from the options.
bool startread(const optionset *options) {
    if (!chunksfit() || !newpng(false)) return false;
    png_uint_32 fw = 0, fh = 0;
    int bitdepth = 0, colortype = 0, interlace = 0;
    bool ok = guarded([&] {
        png_set_read_fn(png, nullptr, readbytes);
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);   // planregion decides
        png_read_info(png, info);
        png_get_IHDR(png, info, &fw, &fh, &bitdepth, &colortype, &interlace, nullptr, nullptr);
    });
    if (!ok) return false;
    if (options) {
        plan.filew = int(fw), plan.fileh = int(fh);
        if (!planregion(*options, plan)) return false;
        int x0, y0;
        fileorigin(x0, y0);
        planorigin(plan, x0, y0);
        plan.depth = colortype == PNG_COLOR_TYPE_GRAY && bitdepth == 1 ? 1
                     : (colortype & PNG_COLOR_MASK_COLOR)               ? 24
                                                                        : 8;
    }
    interlaced = interlace == PNG_INTERLACE_ADAM7;
    channels = plan.depth == 24 ? 3 : 1;
    sixteen = bitdepth == 16 && plan.narrow.stretch;
    ok = guarded([&] {
        if (plan.depth == 1) png_set_packing(png);   // one byte a pixel, 0 or 1
        if (colortype == PNG_COLOR_TYPE_GRAY && bitdepth < 8 && plan.depth == 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (colortype == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (colortype & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        if (bitdepth == 16 && sixteen) png_set_swap(png);
        if (bitdepth == 16 && !sixteen) png_set_strip_16(png);   // the high byte
        png_read_update_info(png, info);
        rowbytes = png_get_rowbytes(png, info);
    });
    if (!ok) return false;
    if (rowbytes != size_t(fw) * size_t(channels) * (sixteen ? 2 : 1))
        return fail("unexpected row layout (colour type %d, %d bits)", colortype, bitdepth);
    filerow.resize(rowbytes / 2 + 1);
    pixels.resize(size_t(plan.part.w) * size_t(channels));
    return true;
}

// Reads the rows (pass by pass for an interlaced file) and hands the part's
// pixels to the block, or with scan to the stretch's range.
void decoderows(uint8_t *block, bool scan) {
    const region &p = plan.part;
    auto *row8 = reinterpret_cast<uint8_t *>(filerow.data());
    int passes = interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        uint32_t cols = interlaced ? PNG_PASS_COLS(plan.filew, pass) : uint32_t(plan.filew);
        uint32_t rows = interlaced ? PNG_PASS_ROWS(plan.fileh, pass) : uint32_t(plan.fileh);
        if (cols == 0 || rows == 0) continue;   // libpng skips empty passes
        int xs = interlaced ? PNG_PASS_START_COL(pass) : 0;
        int ys = interlaced ? PNG_PASS_START_ROW(pass) : 0;
        int xstep = interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
        int ystep = interlaced ? 1 << PNG_PASS_ROW_SHIFT(pass) : 1;
        // The pass's columns inside the part: [i0, i1).
        long i0 = p.x <= xs ? 0 : (p.x - xs + xstep - 1) / xstep;
        long i1 = p.x + p.w <= xs ? 0 : (p.x + p.w - xs + xstep - 1) / xstep;
        if (i1 > long(cols)) i1 = long(cols);
        for (uint32_t r = 0; r < rows; ++r) {
            int y = ys + int(r) * ystep;
            if (!interlaced && y >= p.y + p.h) return;   // the rest is not needed
            png_read_row(png, row8, nullptr);
            if (y < p.y || y >= p.y + p.h || i1 <= i0) continue;
            size_t first = size_t(i0) * size_t(channels), n = size_t(i1 - i0) * size_t(channels);
            if (scan) {
                plan.narrow.scan(filerow.data() + first, n);
                continue;
            }
            const uint8_t *px = row8 + first;
            if (sixteen) {
                plan.narrow.maprow(filerow.data() + first, n, pixels.data());
                px = pixels.data();
            }
            putpixels(block, p.w, plan.depth, y - p.y, xs + int(i0) * xstep - p.x, xstep, px,
                      int(i1 - i0));
        }
    }
}

// ---------------------------------------------------------------- writing
void encode(const uint8_t *block) {
    png_set_write_fn(png, nullptr, writebytes, flushnothing);
    png_set_IHDR(png, info, png_uint_32(outw), png_uint_32(outh), outdepth == 1 ? 1 : 8,
                 outdepth == 24 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, outlevel);
    // As OpenCV does: libpng's own choice with filtered rows (Z_FILTERED)
    // makes files a few percent smaller at up to half again the time.
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = const_cast<char *>(ORIGIN_KEY);
    text.text = origin.data();
    text.text_length = origin.size();
    png_set_text(png, info, &text, 1);
    png_write_info(png, info);
    if (outdepth == 1) png_set_packswap(png);   // bit 0 leftmost, as in the block
    for (int r = 0; r < outh; ++r) {
        const uint8_t *row = blockrow(block, outw, outdepth, r);
        if (outdepth == 1) {
            copybinrow(block, outw, r, pixels.data());
            row = pixels.data();
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
}

}  // namespace

void endlibrary() {
    endpng();
}

extern "C" {

bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options) {
    clearerror();
    if (!reading) return fail("read error");
    optionset o;
    if (!parseoptions(options, {READ_OPTION_KEYS}, o)) return false;
    plan = readplan{};
    if (!startread(&o)) return false;
    *x0 = plan.x0, *y0 = plan.y0, *w = plan.part.w, *h = plan.part.h, *depth = plan.depth;
    return true;
}

bool filterreaddata(uint8_t *data) {
    clearerror();
    if (!reading || !png || pngwrites) return fail("read error");
    const region &p = plan.part;
    if (plan.depth == 1) memset(data, 0, size_t(p.w + 7) / 8 * size_t(p.h));
    if (plan.depth == 8) clearborder(data, p.w, p.h);
    if (sixteen) {
        // The stretch needs the part's range first: read it, then start over.
        if (!guarded([&] { decoderows(data, true); })) return false;
        plan.narrow.prepare();
        if (fseek(reading, 0, SEEK_SET) != 0) return fail("the file cannot be read a second time");
        if (!startread(nullptr)) return false;
    }
    bool ok = guarded([&] { decoderows(data, false); });
    endpng();
    return ok;
}

bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *options) {
    clearerror();
    optionset o;
    outlevel = 6;
    if (!parseoptions(options, {"level"}, o) || !intoption(o, "level", 0, 9, outlevel))
        return false;
    if (depth != 1 && depth != 8 && depth != 24) return fail("images of depth %d are not supported", depth);
    if (w < 1 || h < 1 || x0 < 0 || y0 < 0 || x0 > MAXORIGIN || y0 > MAXORIGIN)
        return fail("cannot write an image of %d x %d pixels at (%d %d)", w, h, x0, y0);
    outx0 = x0, outy0 = y0, outw = w, outh = h, outdepth = depth;
    origin = origintext(x0, y0);
    pixels.resize(size_t(w + 7) / 8);
    return true;
}

bool filterwritedata(const uint8_t *data) {
    clearerror();
    if (!writing.file || outdepth == 0) return fail("write error");
    bool ok = newpng(true) && guarded([&] { encode(data); });
    endpng();
    outdepth = 0;
    if (!ok) {
        savecancel(writing);
        return false;
    }
    if (!savecommit(writing)) return fail("write error");
    return true;
}

}  // extern "C"
