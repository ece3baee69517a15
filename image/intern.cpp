// The image store: the table of image records, the image frame and the
// measure frame, filling and re-framing of images, and the replaceable error
// function through which the whole image library reports failures.
#include "image/intern.h"
#include "image/invariant.h"
#include "image/queue.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

s_image imarray[MAXIMAGES];
void (*ima_poll)();
int32_t id_used;
int64_t mem_used;

int32_t ifx, ify, ifw, ifh, ifw_grey, ifh_grey, ifw_bin, ifw_col;
int32_t mfx, mfy, mfw, mfh;

// ------------------------------------------------------------ error function
static ima_error_fn error_fn;

void set_ima_error(ima_error_fn fn) { error_fn = fn; }

void ima_error(const char *msg) {
    if (error_fn) error_fn(msg);
    default_error(msg);   // an error function must not return; make sure
}

void default_error(const char *msg) {
    perror(msg);
    exit(-1);
}

// ------------------------------------------------------------ records
uint32_t imagebytes(int32_t w, int32_t h, int32_t depth) {
    uint32_t uw = uint32_t(w), uh = uint32_t(h);
    switch (depth) {
    case 1: return (uw + 7) / 8 * uh;
    case 8: return (uw + 2) * (uh + 2);
    case 16: return 2 * uw * uh;
    case 24: return 3 * uw * uh;
    case 32: return 4 * uw * uh;
    default: return 0;
    }
}

bool imagerecordok(const s_image &r) {
    bool depthok = r.depth == 1 || r.depth == 8 || r.depth == 16 || r.depth == 24 || r.depth == 32;
    return r.inuse && r.data && depthok && r.w >= 0 && r.w <= MAXFRAME && r.h >= 0 &&
           r.h <= MAXFRAME && imagebytes(r.w, r.h, r.depth) == r.nbytes;
}

// ------------------------------------------------------------ block cache
// Blocks of released images wait here for the next image of the same size:
// a loop that drops its results then reuses warm memory instead of paying
// for fresh pages. The cache holds at most CACHE_BLOCKS blocks and
// cachelimit bytes; the oldest blocks go back to the system first. Cached
// blocks are not image memory: mem_used and the budget count live images
// only.
enum { CACHE_BLOCKS = 64 };
static uint8_t *cacheddata[CACHE_BLOCKS];   // oldest first
static uint32_t cachedsize[CACHE_BLOCKS];
static int ncached;
static int64_t cachedbytes;

static constexpr int64_t CACHE_MAX = int64_t(128) << 20;
static int64_t cachelimit = CACHE_MAX;

void set_ima_cachelimit(int64_t bytes) { cachelimit = std::clamp<int64_t>(bytes, 0, CACHE_MAX); }

// Takes block i out of the cache and returns it.
static uint8_t *uncache(int i) {
    uint8_t *data = cacheddata[i];
    cachedbytes -= cachedsize[i];
    --ncached;
    std::memmove(cacheddata + i, cacheddata + i + 1, sizeof cacheddata[0] * size_t(ncached - i));
    std::memmove(cachedsize + i, cachedsize + i + 1, sizeof cachedsize[0] * size_t(ncached - i));
    return data;
}

// A cached block of exactly nbytes (the most recent one), or NULL.
static uint8_t *takecached(uint32_t nbytes) {
    for (int i = ncached - 1; i >= 0; --i)
        if (cachedsize[i] == nbytes) return uncache(i);
    return nullptr;
}

static void putcached(uint8_t *data, uint32_t nbytes) {
    if (nbytes > cachelimit) {
        free(data);
        return;
    }
    while (ncached == CACHE_BLOCKS || cachedbytes + nbytes > cachelimit) free(uncache(0));
    cacheddata[ncached] = data;
    cachedsize[ncached] = nbytes;
    ++ncached;
    cachedbytes += nbytes;
}

void ima_dropcache() {
    while (ncached > 0) free(uncache(ncached - 1));
}

int64_t ima_cachedbytes() { return cachedbytes; }

// A block for a new image: a cached one of the same size, or a fresh one
// (after returning the cache to the system if memory is short).
static uint8_t *imageblock(uint32_t nbytes) {
    // malloc(0) may legitimately return NULL; a block of at least one byte
    // keeps "data == NULL" meaning "free row".
    if (nbytes == 0) nbytes = 1;
    if (uint8_t *data = takecached(nbytes)) {
#ifdef __SANITIZE_ADDRESS__
        // Sanitizer builds: a reused block holds junk, so that an operator
        // that reads pixels it never wrote shows up in the tests.
        memset(data, 0xA5, nbytes);
#endif
        return data;
    }
    uint8_t *data = static_cast<uint8_t *>(malloc(nbytes));
    if (!data && ncached > 0) {
        ima_dropcache();
        data = static_cast<uint8_t *>(malloc(nbytes));
    }
    return data;
}

void imainit() {
    if (!error_fn) error_fn = default_error;
    mfx = mfy = 0;
    mfw = mfh = 256;
    iframe(0, 0, 256, 256);
    mframe(0, 0, 256, 256);
    qinit();
    for (s_image &r : imarray) {
        free(r.data);
        r = s_image{};
    }
    ima_dropcache();
    mem_used = 0;
    id_used = 0;
}

int newimage(int x0, int y0, int w, int h, int depth) {
    int handle = 0;
    while (handle < MAXIMAGES && imarray[handle].inuse) ++handle;
    if (handle == MAXIMAGES) ima_error("newimage, no more image handles");
    uint32_t nbytes = imagebytes(w, h, depth);
    uint8_t *data = imageblock(nbytes);
    if (!data) ima_error("newimage, allocation problem");
    s_image &r = imarray[handle];
    r.x0 = x0;
    r.y0 = y0;
    r.w = w;
    r.h = h;
    r.depth = depth;
    r.nbytes = nbytes;
    r.data = data;
    r.inuse = 1;
    INVARIANT(imagerecordok(r));
    mem_used += nbytes;
    id_used += 1;
    return handle;
}

void freeimage(int handle) {
    s_image &r = imarray[handle];
    if (!r.inuse) ima_error("freeimage, image is not in use");
    INVARIANT(imagerecordok(r));
    putcached(r.data, r.nbytes ? r.nbytes : 1);
    r.data = nullptr;
    r.inuse = 0;
    id_used -= 1;
    mem_used -= r.nbytes;
}

// ------------------------------------------------------------ filling
void binset(int handle, int value) {
    memset(imarray[handle].data, value < 1 ? 0 : 255, size_t(ifw_bin) * size_t(ifh));
}

void greyset(int handle, int value) {
    memset(imarray[handle].data, value & 255, size_t(ifw_grey) * size_t(ifh_grey));
}

// Writes the pixel once, then doubles the filled run with memcpy.
void colset(int handle, int value) {
    uint8_t *p = imarray[handle].data;
    size_t n = 3 * size_t(ifw) * size_t(ifh);
    p[0] = uint8_t(value >> 16);
    p[1] = uint8_t(value >> 8);
    p[2] = uint8_t(value);
    for (size_t done = 3; done < n;) {
        size_t k = std::min(done, n - done);
        memcpy(p + done, p, k);
        done += k;
    }
}

// ------------------------------------------------------------ frames
static int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

void iframe(int x, int y, int w, int h) {
    ifw = clampi(w, 1, MAXFRAME);
    ifh = clampi(h, 1, MAXFRAME);
    ifx = x < 0 ? 0 : x;
    ify = y < 0 ? 0 : y;
    ifw_grey = ifw + 2;
    ifh_grey = ifh + 2;
    ifw_bin = (ifw + 7) / 8;
    ifw_col = 3 * ifw;
    mfx = std::min(ifx + ifw - 1, std::max(ifx, mfx));
    mfy = std::min(ify + ifh - 1, std::max(ify, mfy));
    mfw = std::min(mfw, ifx + ifw - mfx);
    mfh = std::min(mfh, ify + ifh - mfy);
}

void mframe(int x, int y, int w, int h) {
    mfx = std::min(std::max(x, ifx), ifx + ifw - 1);
    mfy = std::min(std::max(y, ify), ify + ifh - 1);
    mfw = std::min(w, ifx + ifw - mfx);
    mfh = std::min(h, ify + ifh - mfy);
}

void frames(int x, int y, int w, int h) {
    iframe(x, y, w, h);
    mframe(x, y, w, h);
}

// ------------------------------------------------------------ re-framing
// Ors n bits of the row src, starting at bit sbit, into the row dst from
// bit dbit on (bit 0 of a byte is its leftmost pixel). Whole destination
// bytes are assembled from a 16-bit window of the source.
static void orbits(const uint8_t *src, int64_t sbit, uint8_t *dst, int64_t dbit, int64_t n) {
    auto srcbyte = [&](int64_t bit) -> unsigned {   // 8 source bits from bit on
        const uint8_t *p = src + (bit >> 3);
        int shift = int(bit & 7);
        unsigned lo = p[0];
        // the next byte is read only when bits of it are needed, so the
        // window never reaches past the last byte holding a copied bit
        unsigned hi = shift ? p[1] : 0;
        return ((lo | (hi << 8)) >> shift) & 0xFF;
    };
    while (n > 0) {
        int off = int(dbit & 7);
        int take = int(std::min<int64_t>(8 - off, n));
        unsigned mask = ((1u << take) - 1u) << off;
        unsigned bits;
        if (take <= 8 - int(sbit & 7)) {      // all wanted bits in one source byte
            bits = (unsigned(src[sbit >> 3]) >> (sbit & 7));
        } else {
            bits = srcbyte(sbit);
        }
        dst[dbit >> 3] |= uint8_t((bits << off) & mask);
        sbit += take;
        dbit += take;
        n -= take;
    }
}

void convert(int src, int dst) {
    const s_image &s = imarray[src];
    s_image &d = imarray[dst];
    INVARIANT(imagerecordok(s) && imagerecordok(d) && s.depth == d.depth);
    int cx0 = std::max(s.x0, d.x0), cx1 = std::min(s.x0 + s.w, d.x0 + d.w);
    int cy0 = std::max(s.y0, d.y0), cy1 = std::min(s.y0 + s.h, d.y0 + d.h);
    bool overlap = cx0 < cx1 && cy0 < cy1;
    size_t n = size_t(overlap ? cx1 - cx0 : 0);
    switch (s.depth) {
    case 8: {
        size_t sstride = size_t(s.w) + 2, dstride = size_t(d.w) + 2;
        memset(d.data, 0, dstride * (size_t(d.h) + 2));
        for (int y = cy0; overlap && y < cy1; ++y)
            memcpy(d.data + size_t(y - d.y0 + 1) * dstride + size_t(cx0 - d.x0 + 1),
                   s.data + size_t(y - s.y0 + 1) * sstride + size_t(cx0 - s.x0 + 1), n);
        break;
    }
    case 24: {
        size_t sstride = 3 * size_t(s.w), dstride = 3 * size_t(d.w);
        memset(d.data, 0, dstride * size_t(d.h));
        for (int y = cy0; overlap && y < cy1; ++y)
            memcpy(d.data + size_t(y - d.y0) * dstride + 3 * size_t(cx0 - d.x0),
                   s.data + size_t(y - s.y0) * sstride + 3 * size_t(cx0 - s.x0), 3 * n);
        break;
    }
    case 1: {
        size_t sstride = (size_t(s.w) + 7) / 8, dstride = (size_t(d.w) + 7) / 8;
        memset(d.data, 0, dstride * size_t(d.h));
        for (int y = cy0; overlap && y < cy1; ++y)
            orbits(s.data + size_t(y - s.y0) * sstride, cx0 - s.x0,
                   d.data + size_t(y - d.y0) * dstride, cx0 - d.x0, int64_t(n));
        break;
    }
    default:
        break;
    }
}
