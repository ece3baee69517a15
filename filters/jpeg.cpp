// Filter module "jpeg": JPEG (JFIF) files through libjpeg-turbo.
//
// Reading: greyscale becomes GREY; YCbCr and RGB become COL; CMYK and YCCK
// become COL through libjpeg's CMYK output (Adobe files store the inks
// inverted). x= y= w= h= load a part: libjpeg skips the rows above it and
// decodes only the block columns it touches. A truncated or corrupt file is
// an error, not a picture with grey holes; libjpeg's other warnings are
// dropped. Progressive files (and others in several scans) are decoded
// through a buffer of the whole image's coefficients, which the header call
// sizes before libjpeg allocates it: a file too short to hold a first scan
// of every block is refused as truncated, a buffer beyond a cap as too
// large. libjpeg's memory is capped too, and so is the number of scans.
//
// Writing: GREY as greyscale, COL as YCbCr (4:2:0), BIN as greyscale 0 and
// 255 (JPEG has no bilevel form); quality= 1-100, default 95. The origin is
// kept in a comment "Tavex origin X Y", which the reader takes back.
//
// libjpeg reports errors by longjmp: every call into it runs inside
// guarded(), and the code that runs there holds no object with a destructor.
#include "filters/filterkit.h"
#include "image/io.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>


#include <jerror.h>
#include <jpeglib.h>

extern const char *const modulename = "jpeg";

namespace {

constexpr long MAXMEMORY = 256L << 20;   // libjpeg's own allocations
// The coefficient buffer of a file in several scans: enough for the frame
// limit's 4096 x 4096 pixels in four full-size components.
constexpr uint64_t MAXCOEFBYTES = 128ULL << 20;
constexpr int MAXSCANS = 1000;           // a progressive file's scans

struct errorexit {
    jpeg_error_mgr mgr;
    jmp_buf jump;
};

// One file at a time.
errorexit errors;
jpeg_progress_mgr progress;
jpeg_decompress_struct din;
bool dinlive;
jpeg_compress_struct cout;
bool coutlive;

// The read in progress.
readplan plan;
bool cmyk;
std::vector<uint8_t> filerow;   // one decoded row
std::vector<uint8_t> pixels;    // the part's row in the block's form

// The write in progress.
int outx0, outy0, outw, outh, outdepth, outquality;
std::string comment;

[[noreturn]] void giveup(j_common_ptr c) {
    if (!failed()) {
        char text[JMSG_LENGTH_MAX];
        c->err->format_message(c, text);
        fail("%s", text);
    }
    longjmp(errors.jump, 1);
}

// Warnings that mean pixels are missing or wrong end the read; the others
// (odd markers, extra bytes between segments) are dropped.
void onmessage(j_common_ptr c, int level) {
    if (level >= 0) return;
    switch (c->err->msg_code) {
    case JWRN_JPEG_EOF: fail("the file ends too early"); giveup(c);
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_NOT_SEQUENTIAL: giveup(c);
    default: return;
    }
}

void onprogress(j_common_ptr c) {
    if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > MAXSCANS) {
        fail("more than %d scans: not read", MAXSCANS);
        giveup(c);
    }
}

template <typename F>
bool guarded(F fn) {
    if (setjmp(errors.jump)) return false;
    fn();
    return true;
}

void seterrors() {
    jpeg_std_error(&errors.mgr);
    errors.mgr.error_exit = giveup;
    errors.mgr.emit_message = onmessage;
}

void enddecompress() {
    if (dinlive) jpeg_destroy_decompress(&din);
    dinlive = false;
}

void endcompress() {
    if (coutlive) jpeg_destroy_compress(&cout);
    coutlive = false;
}

// ---------------------------------------------------------------- reading

// The origin from a comment, 0 0 without a valid one.
void fileorigin(int &x0, int &y0) {
    x0 = y0 = 0;
    size_t keylen = strlen(ORIGIN_KEY);
    for (jpeg_saved_marker_ptr m = din.marker_list; m; m = m->next) {
        const char *text = reinterpret_cast<const char *>(m->data);
        if (m->marker == JPEG_COM && m->data_length > keylen + 1 && memcmp(text, ORIGIN_KEY, keylen) == 0 &&
            text[keylen] == ' ' &&
            parseorigin(text + keylen + 1, m->data_length - keylen - 1, x0, y0))
            return;
    }
    x0 = y0 = 0;
}

void readheader() {
    seterrors();
    din.err = &errors.mgr;
    jpeg_create_decompress(&din);
    dinlive = true;
    din.mem->max_memory_to_use = MAXMEMORY;
    progress.progress_monitor = onprogress;
    din.progress = &progress;
    jpeg_stdio_src(&din, reading);
    jpeg_save_markers(&din, JPEG_COM, 0xFFFF);
    jpeg_read_header(&din, TRUE);
}

// A file in several scans makes jpeg_start_decompress allocate 128 bytes
// for every block of every component (rounded up to whole MCUs). With
// Huffman coding each of those blocks costs at least one bit in the scan
// that brings its DC coefficient, so a file of fewer bytes than blocks / 8
// cannot be complete. Arithmetic coding can spend less than a bit on a
// block (a flat 4096 x 4096 image takes a few hundred bytes): there only
// the cap bounds the buffer.
bool checkbuffer() {
    if (!jpeg_has_multiple_scans(&din)) return true;
    uint64_t blocks = 0, buffered = 0;
    for (int c = 0; c < din.num_components; ++c) {
        const jpeg_component_info &k = din.comp_info[c];
        uint64_t h = uint64_t(k.h_samp_factor), v = uint64_t(k.v_samp_factor);
        blocks += uint64_t(k.width_in_blocks) * k.height_in_blocks;
        buffered += (k.width_in_blocks + h - 1) / h * h * ((k.height_in_blocks + v - 1) / v * v);
    }
    if (buffered * 128 > MAXCOEFBYTES)
        return fail("the image is %u x %u pixels in several scans, which takes %llu MB to decode "
                    "(at most %llu MB): not read",
                    din.image_width, din.image_height,
                    (unsigned long long)((buffered * 128 + (1 << 20) - 1) >> 20),
                    (unsigned long long)(MAXCOEFBYTES >> 20));
    uint64_t size;
    if (din.arith_code || !readingsize(&size)) return true;
    if (size < blocks / 8)
        return fail("the file ends too early: %llu bytes cannot hold the %u x %u pixels it announces",
                    (unsigned long long)size, din.image_width, din.image_height);
    return true;
}

// Decodes the part into the block.
void decode(uint8_t *block) {
    const region &p = plan.part;
    jpeg_start_decompress(&din);
    // A part is decoded with a margin of one block column on each side, so
    // that upsampled colour at its edges is what the whole image has there.
    int left = std::max(0, p.x - 16), right = std::min(plan.filew, p.x + p.w + 16);
    JDIMENSION xoffset = JDIMENSION(left), width = JDIMENSION(right - left);
    if (p.x > 0 || p.w < plan.filew) jpeg_crop_scanline(&din, &xoffset, &width);
    if (p.y > 0 && jpeg_skip_scanlines(&din, JDIMENSION(p.y)) != JDIMENSION(p.y)) {
        fail("the file ends too early");
        longjmp(errors.jump, 1);
    }
    size_t channels = size_t(din.output_components);
    size_t skip = size_t(JDIMENSION(p.x) - xoffset);
    // Without a crop, grey and RGB rows are decoded straight into the block.
    bool direct = !cmyk && skip == 0 && width == JDIMENSION(p.w);
    for (int r = 0; r < p.h; ++r) {
        JSAMPROW row = direct ? blockrow(block, p.w, plan.depth, r) : filerow.data();
        if (jpeg_read_scanlines(&din, &row, 1) != 1) {
            fail("the file ends too early");
            longjmp(errors.jump, 1);
        }
        if (direct) continue;
        const uint8_t *px = filerow.data() + skip * channels;
        if (cmyk) {
            bool inverted = din.saw_Adobe_marker;
            for (int i = 0; i < p.w; ++i) {
                const uint8_t *s = px + 4 * size_t(i);
                unsigned k = inverted ? s[3] : 255u - s[3];
                for (int c = 0; c < 3; ++c)
                    pixels[3 * size_t(i) + size_t(c)] =
                        uint8_t(k * (inverted ? s[c] : 255u - s[c]) / 255u);
            }
            px = pixels.data();
        }
        putpixels(block, p.w, plan.depth, r, 0, 1, px, p.w);
    }
    jpeg_abort_decompress(&din);
}

// ---------------------------------------------------------------- writing
void encode(const uint8_t *block) {
    seterrors();
    cout.err = &errors.mgr;
    jpeg_create_compress(&cout);
    coutlive = true;
    jpeg_stdio_dest(&cout, writing.file);
    cout.image_width = JDIMENSION(outw);
    cout.image_height = JDIMENSION(outh);
    cout.input_components = outdepth == 24 ? 3 : 1;
    cout.in_color_space = outdepth == 24 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cout);
    jpeg_set_quality(&cout, outquality, TRUE);
    jpeg_start_compress(&cout, TRUE);
    jpeg_write_marker(&cout, JPEG_COM, reinterpret_cast<const JOCTET *>(comment.data()),
                      unsigned(comment.size()));
    for (int r = 0; r < outh; ++r) {
        JSAMPROW row = const_cast<uint8_t *>(blockrow(block, outw, outdepth, r));
        if (outdepth == 1) {
            const uint8_t *bits = row;
            for (int c = 0; c < outw; ++c) pixels[size_t(c)] = (bits[c >> 3] >> (c & 7)) & 1 ? 255 : 0;
            row = pixels.data();
        }
        jpeg_write_scanlines(&cout, &row, 1);
    }
    jpeg_finish_compress(&cout);
}

}  // namespace

void endlibrary() {
    enddecompress();
    endcompress();
}

extern "C" {

bool filterreadheader(int *x0, int *y0, int *w, int *h, int *depth, const char *options) {
    clearerror();
    if (!reading) return fail("read error");
    optionset o;
    if (!parseoptions(options, {READ_OPTION_KEYS}, o)) return false;
    enddecompress();
    if (!guarded(readheader)) return false;
    plan = readplan{};
    plan.filew = int(din.image_width), plan.fileh = int(din.image_height);
    if (!planregion(o, plan) || !checkbuffer()) return false;
    switch (din.jpeg_color_space) {
    case JCS_GRAYSCALE: din.out_color_space = JCS_GRAYSCALE; break;
    case JCS_YCbCr:
    case JCS_RGB: din.out_color_space = JCS_RGB; break;
    case JCS_CMYK:
    case JCS_YCCK: din.out_color_space = JCS_CMYK; break;
    default: return fail("colour space %d with %d components is not supported", int(din.jpeg_color_space), din.num_components);
    }
    cmyk = din.out_color_space == JCS_CMYK;
    plan.depth = din.out_color_space == JCS_GRAYSCALE ? 8 : 24;
    int fx0, fy0;
    fileorigin(fx0, fy0);
    planorigin(plan, fx0, fy0);
    filerow.resize(size_t(plan.filew) * 4);
    pixels.resize(size_t(plan.part.w) * 3);
    *x0 = plan.x0, *y0 = plan.y0, *w = plan.part.w, *h = plan.part.h, *depth = plan.depth;
    return true;
}

bool filterreaddata(uint8_t *data) {
    clearerror();
    if (!reading || !dinlive) return fail("read error");
    if (plan.depth == 8) clearborder(data, plan.part.w, plan.part.h);
    bool ok = guarded([&] { decode(data); });
    enddecompress();
    return ok;
}

bool filterwriteheader(int x0, int y0, int w, int h, int depth, const char *options) {
    clearerror();
    optionset o;
    outquality = 95;
    if (!parseoptions(options, {"quality"}, o) || !intoption(o, "quality", 1, 100, outquality))
        return false;
    if (depth != 1 && depth != 8 && depth != 24) return fail("images of depth %d are not supported", depth);
    if (w < 1 || h < 1 || w > JPEG_MAX_DIMENSION || h > JPEG_MAX_DIMENSION || x0 < 0 || y0 < 0 ||
        x0 > MAXORIGIN || y0 > MAXORIGIN)
        return fail("cannot write an image of %d x %d pixels at (%d %d)", w, h, x0, y0);
    outx0 = x0, outy0 = y0, outw = w, outh = h, outdepth = depth;
    comment = std::string(ORIGIN_KEY " ") + origintext(x0, y0);
    pixels.resize(size_t(w));
    return true;
}

bool filterwritedata(const uint8_t *data) {
    clearerror();
    if (!writing.file || outdepth == 0) return fail("write error");
    bool ok = guarded([&] { encode(data); });
    endcompress();
    outdepth = 0;
    if (!ok) {
        savecancel(writing);
        return fail("write error");
    }
    if (!savecommit(writing)) return fail("write error");
    return true;
}

}  // extern "C"
