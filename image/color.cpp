// Colour operators on raw pixel blocks. COL pixels are red, green, blue
// bytes (stride 3 ifw); GREY pixels lie inside a one-pixel border (stride
// ifw_grey). The IHS conversions are integer arithmetic on small tables;
// divisions by a pixel-dependent value are replaced by tables or by exact
// reciprocal products.
#include "image/color.h"
#include "image/intern.h"

#include <tmmintrin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

uint8_t *pixels(int h) { return imarray[h].data; }
uint8_t *greyrow(uint8_t *p, int r) { return p + size_t(r + 1) * ifw_grey + 1; }
uint8_t *colrow(uint8_t *p, int r) { return p + size_t(r) * ifw_col; }

struct IhsTables {
    uint8_t acos[513];
    uint16_t invroot[1024];
    int32_t ratio[86];
    double inverse[86];           // 1 / ratio[j]
    float ratiof[86];             // ratio[j] as a float (exact: |ratio| <= 2^18)
    uint8_t sat[256][256];        // [I][min]: saturation (0 for I = 0), min <= I
    uint8_t third[766];           // (R + G + B) / 3
    // Hue by (R - G + 255, R - B + 255): the fixed-point steps depend on
    // the two differences only, since G - B = (R - B) - (R - G).
    uint8_t hue[511 * 511];
};

IhsTables *makeihs() {
    IhsTables *made = new IhsTables{};
    IhsTables &t = *made;
    for (int i = 0; i <= 512; ++i) t.acos[i] = uint8_t(std::acos((i - 256) * 0.00390625) * 40.74366543152521);
    t.invroot[0] = 0;
    for (int k = 1; k < 1024; ++k) t.invroot[k] = uint16_t(65536.0 / std::sqrt(64.0 * k + 0.5));
    for (int j = 0; j <= 85; ++j) {
        float theta = float(j * 3.14159265358979323846 * 0.0078125);
        t.ratio[j] = j == 64 ? 262144 : int32_t(255.0 * std::cos(1.0471975511965976 - theta) / std::cos(double(theta)));
        t.inverse[j] = 1.0 / t.ratio[j];
        t.ratiof[j] = float(t.ratio[j]);
    }
    for (int i = 1; i < 256; ++i)
        for (int m = 0; m <= i; ++m) t.sat[i][m] = uint8_t((-(255 * m) / i - 1) & 255);
    for (int s = 0; s < 766; ++s) t.third[s] = uint8_t(s / 3);
    for (int d1 = -255; d1 <= 255; ++d1)
        for (int d2 = -255; d2 <= 255; ++d2) {
            if (d2 - d1 < -255 || d2 - d1 > 255) continue;   // no pixel has these differences
            const int X = d1 * d1 + d2 * (d2 - d1);
            const int c = std::clamp(((d1 + d2) * int(t.invroot[X >> 6])) >> 9, -256, 256);
            int H = t.acos[c + 256];
            if (d2 < d1) H = (256 - H) & 255;   // B > G
            t.hue[(d1 + 255) * 511 + d2 + 255] = uint8_t(H);
        }
    return made;
}

const IhsTables &ihs() {
    static const IhsTables *t = makeihs();   // built once, kept for the process
    return *t;
}

// q = trunc(p / den) for 0 <= p <= 65025 and |den| >= 127: the reciprocal
// product is within 1e-12 of the quotient, and a quotient that is not an
// integer lies at least 1 / |den| from one, so nudging by 1e-9 towards
// the quotient's sign only mends exact quotients that came out just short.
inline int exactdiv(int p, double inv) {
    double q = p * inv;
    return int(q + (q >= 0 ? 1e-9 : -1e-9));
}

// ------------------------------------------------ channel (de)interleaving
// 16 pixels are 48 bytes, three vectors. SSSE3's byte shuffle picks each
// channel's bytes out of the three vectors (and back); the program checks
// once that the processor has it and falls back to plain loops otherwise.
struct ShuffleMasks {
    uint8_t split[3][3][16];   // [channel][input vector]: pixel i <- byte
    uint8_t join[3][3][16];    // [output vector][channel]: byte p <- pixel
};
constexpr ShuffleMasks makemasks() {
    ShuffleMasks m{};
    for (int ch = 0; ch < 3; ++ch)
        for (int v = 0; v < 3; ++v)
            for (int i = 0; i < 16; ++i) {
                int q = 3 * i + ch;
                m.split[ch][v][i] = q / 16 == v ? uint8_t(q % 16) : 0x80;
                int p = 16 * v + i;
                m.join[v][ch][i] = p % 3 == ch ? uint8_t(p / 3) : 0x80;
            }
    return m;
}
constexpr ShuffleMasks masks = makemasks();

const bool hasssse3 = __builtin_cpu_supports("ssse3");

__attribute__((target("ssse3"))) inline __m128i pick(__m128i x, const uint8_t *m) {
    return _mm_shuffle_epi8(x, _mm_loadu_si128(reinterpret_cast<const __m128i *>(m)));
}
__attribute__((target("ssse3"))) inline void split16(const uint8_t *rgb, __m128i ch[3]) {
    __m128i v[3];
    for (int k = 0; k < 3; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgb) + k);
    for (int c = 0; c < 3; ++c)
        ch[c] = _mm_or_si128(_mm_or_si128(pick(v[0], masks.split[c][0]), pick(v[1], masks.split[c][1])),
                             pick(v[2], masks.split[c][2]));
}

// Returns how many pixels of the row it did (a multiple of 16).
__attribute__((target("ssse3"))) int splitrow(const uint8_t *rgb, uint8_t *r, uint8_t *g, uint8_t *b, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i ch[3];
        split16(rgb + 3 * x, ch);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(r + x), ch[0]);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(g + x), ch[1]);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(b + x), ch[2]);
    }
    return x;
}
__attribute__((target("ssse3"))) int joinrow(const uint8_t *r, const uint8_t *g, const uint8_t *b, uint8_t *rgb, int n) {
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i ch[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i *>(r + x)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(g + x)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x))};
        for (int v = 0; v < 3; ++v)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(rgb + 3 * x) + v,
                             _mm_or_si128(_mm_or_si128(pick(ch[0], masks.join[v][0]), pick(ch[1], masks.join[v][1])),
                                          pick(ch[2], masks.join[v][2])));
    }
    return x;
}
// (R + G + B) / 3 as (s * 43691) >> 17, exact for s <= 765.
__attribute__((target("ssse3"))) int intensityrow(const uint8_t *rgb, uint8_t *grey, int n) {
    const __m128i zero = _mm_setzero_si128(), third = _mm_set1_epi16(short(43691));
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i ch[3];
        split16(rgb + 3 * x, ch);
        __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(ch[0], zero), _mm_unpacklo_epi8(ch[1], zero)),
                                   _mm_unpacklo_epi8(ch[2], zero));
        __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(ch[0], zero), _mm_unpackhi_epi8(ch[1], zero)),
                                   _mm_unpackhi_epi8(ch[2], zero));
        lo = _mm_srli_epi16(_mm_mulhi_epu16(lo, third), 1);
        hi = _mm_srli_epi16(_mm_mulhi_epu16(hi, third), 1);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(grey + x), _mm_packus_epi16(lo, hi));
    }
    return x;
}

// IHS to RGB for 16 pixels of a row. Products S * I fit 16 bits; the
// quotient by T[j] is taken in single precision, which is exact here: the
// error of the float quotient is below 0.004 / |T|, while a quotient that
// is not an integer lies at least 1 / |T| from one.
__attribute__((target("ssse3"))) int ihsrow(const uint8_t *ihs, uint8_t *rgb, int n, const float *ratio) {
    const __m128i zero = _mm_setzero_si128(), c85 = _mm_set1_epi8(85), c86 = _mm_set1_epi8(86),
                  c171 = _mm_set1_epi8(char(171)), c255 = _mm_set1_epi16(255);
    int x = 0;
    for (; x + 16 <= n; x += 16) {
        __m128i ch[3];
        split16(ihs + 3 * x, ch);
        const __m128i I = ch[0], H = ch[1], S = ch[2];
        const __m128i past85 = _mm_cmpeq_epi8(_mm_max_epu8(H, c86), H);    // H > 85
        const __m128i past170 = _mm_cmpeq_epi8(_mm_max_epu8(H, c171), H);  // H > 170
        __m128i j = _mm_sub_epi8(H, _mm_and_si128(past85, c85));
        j = _mm_sub_epi8(j, _mm_and_si128(past170, c85));
        alignas(16) uint8_t js[16];
        alignas(16) float t[16];
        _mm_store_si128(reinterpret_cast<__m128i *>(js), j);
        for (int i = 0; i < 16; ++i) t[i] = ratio[js[i]];
        __m128i out[3][2];   // high, mid, low; 8 lanes of 16 bits each half
        for (int h = 0; h < 2; ++h) {
            const __m128i i16 = h ? _mm_unpackhi_epi8(I, zero) : _mm_unpacklo_epi8(I, zero);
            const __m128i s16 = h ? _mm_unpackhi_epi8(S, zero) : _mm_unpacklo_epi8(S, zero);
            const __m128i p = _mm_mullo_epi16(s16, i16);                       // S * I
            const __m128i m = _mm_srli_epi16(_mm_mulhi_epu16(p, _mm_set1_epi16(short(32897))), 7);   // / 255
            const __m128i plo = _mm_unpacklo_epi16(p, zero), phi = _mm_unpackhi_epi16(p, zero);
            const __m128i qlo = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(plo), _mm_load_ps(t + 8 * h)));
            const __m128i qhi = _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(phi), _mm_load_ps(t + 8 * h + 4)));
            const __m128i q = _mm_packs_epi32(qlo, qhi);
            const __m128i high = _mm_min_epi16(_mm_add_epi16(i16, q), c255);
            const __m128i low = _mm_sub_epi16(i16, m);
            __m128i mid = _mm_sub_epi16(_mm_add_epi16(m, _mm_add_epi16(i16, i16)), high);
            mid = _mm_max_epi16(_mm_min_epi16(mid, c255), zero);
            out[0][h] = high;
            out[1][h] = mid;
            out[2][h] = low;
        }
        const __m128i high = _mm_packus_epi16(out[0][0], out[0][1]), mid = _mm_packus_epi16(out[1][0], out[1][1]),
                      low = _mm_packus_epi16(out[2][0], out[2][1]);
        const __m128i s0 = _mm_andnot_si128(past85, _mm_set1_epi8(-1)), s1 = _mm_andnot_si128(past170, past85),
                      s2 = past170;
        auto sel = [&](__m128i a, __m128i b, __m128i c) {
            return _mm_or_si128(_mm_or_si128(_mm_and_si128(s0, a), _mm_and_si128(s1, b)), _mm_and_si128(s2, c));
        };
        const __m128i res[3] = {sel(high, low, mid), sel(mid, high, low), sel(low, mid, high)};
        for (int v = 0; v < 3; ++v)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(rgb + 3 * x) + v,
                             _mm_or_si128(_mm_or_si128(pick(res[0], masks.join[v][0]), pick(res[1], masks.join[v][1])),
                                          pick(res[2], masks.join[v][2])));
    }
    return x;
}

}  // namespace

const uint8_t *ihsacos() { return ihs().acos; }
const uint16_t *ihsinvroot() { return ihs().invroot; }
const int32_t *ihsratio() { return ihs().ratio; }

void colgrey(int col, int r, int g, int b) {
    uint8_t *c = pixels(col), *pr = pixels(r), *pg = pixels(g), *pb = pixels(b);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *cr = colrow(c, y);
        uint8_t *rr = greyrow(pr, y), *gr = greyrow(pg, y), *br = greyrow(pb, y);
        for (int x = hasssse3 ? splitrow(cr, rr, gr, br, ifw) : 0; x < ifw; ++x) {
            rr[x] = cr[3 * x];
            gr[x] = cr[3 * x + 1];
            br[x] = cr[3 * x + 2];
        }
    }
}

void greycol(int r, int g, int b, int col) {
    uint8_t *c = pixels(col), *pr = pixels(r), *pg = pixels(g), *pb = pixels(b);
    for (int y = 0; y < ifh; ++y) {
        uint8_t *cr = colrow(c, y);
        const uint8_t *rr = greyrow(pr, y), *gr = greyrow(pg, y), *br = greyrow(pb, y);
        for (int x = hasssse3 ? joinrow(rr, gr, br, cr, ifw) : 0; x < ifw; ++x) {
            cr[3 * x] = rr[x];
            cr[3 * x + 1] = gr[x];
            cr[3 * x + 2] = br[x];
        }
    }
}

void rgbihs(int col, int ihsima) {
    const IhsTables &t = ihs();
    const uint8_t *s = pixels(col);
    uint8_t *d = pixels(ihsima);
    const size_t n = size_t(ifw) * ifh;
    for (size_t i = 0; i < n; ++i) {
        const int R = s[3 * i], G = s[3 * i + 1], B = s[3 * i + 2];
        const int I = t.third[R + G + B];
        d[3 * i] = uint8_t(I);
        d[3 * i + 1] = t.hue[(R - G + 255) * 511 + R - B + 255];
        d[3 * i + 2] = t.sat[I][std::min(R, std::min(G, B))];
    }
}

void ihsrgb(int ihsima, int col) {
    const IhsTables &t = ihs();
    const uint8_t *s = pixels(ihsima);
    uint8_t *d = pixels(col);
    const size_t n = size_t(ifw) * ifh;
    // The pixels follow each other without gaps: one run of n pixels, in
    // pieces that fit an int.
    size_t start = 0;
    if (hasssse3)
        while (start + 16 <= n) {
            const int piece = int(std::min<size_t>(n - start, size_t(1) << 20));
            start += size_t(ihsrow(s + 3 * start, d + 3 * start, piece, t.ratiof));
            if (piece < (1 << 20)) break;
        }
    for (size_t i = start; i < n; ++i) {
        const int I = s[3 * i], H = s[3 * i + 1], S = s[3 * i + 2];
        const int j = H > 170 ? H - 170 : H > 85 ? H - 85 : H;
        const int m = (S * I) / 255;
        const int low = I - m;
        const int high = std::min(255, I + exactdiv(S * I, t.inverse[j]));
        const int mid = std::clamp(m + 2 * I - high, 0, 255);
        // Sector by H without branches: (high mid low), (low high mid),
        // (mid low high) for R, G, B.
        const int sector = (H > 85) + (H > 170);
        const int v[5] = {high, mid, low, high, mid};
        const int first = (3 - sector) % 3;
        uint8_t *p = d + 3 * i;
        p[0] = uint8_t(v[first]);
        p[1] = uint8_t(v[first + 1]);
        p[2] = uint8_t(v[first + 2]);
    }
}

void intensity(int col, int grey) {
    const IhsTables &t = ihs();
    uint8_t *c = pixels(col), *g = pixels(grey);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *cr = colrow(c, y);
        uint8_t *gr = greyrow(g, y);
        for (int x = hasssse3 ? intensityrow(cr, gr, ifw) : 0; x < ifw; ++x)
            gr[x] = t.third[cr[3 * x] + cr[3 * x + 1] + cr[3 * x + 2]];
    }
}

void colsphere(int col, int grey, int colour) {
    const int r0 = (colour >> 16) & 255, g0 = (colour >> 8) & 255, b0 = colour & 255;
    uint8_t *c = pixels(col), *g = pixels(grey);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *cr = colrow(c, y);
        uint8_t *gr = greyrow(g, y);
        for (int x = 0; x < ifw; ++x) {
            const int dr = cr[3 * x] - r0, dg = cr[3 * x + 1] - g0, db = cr[3 * x + 2] - b0;
            const int dist = int(std::sqrt(double(dr * dr + dg * dg + db * db)));
            gr[x] = uint8_t(std::min(255, dist / 2));
        }
    }
}

void colcone(int col, int grey, int colour) {
    const int r0 = (colour >> 16) & 255, g0 = (colour >> 8) & 255, b0 = colour & 255;
    const double norm = double(r0 * r0 + g0 * g0 + b0 * b0);
    uint8_t *c = pixels(col), *g = pixels(grey);
    for (int y = 0; y < ifh; ++y) {
        const uint8_t *cr = colrow(c, y);
        uint8_t *gr = greyrow(g, y);
        for (int x = 0; x < ifw; ++x) {
            const int R = cr[3 * x], G = cr[3 * x + 1], B = cr[3 * x + 2];
            const int p = R * r0 + G * g0 + B * b0;
            if (p == 0) {
                gr[x] = 255;
                continue;
            }
            const double k = norm / p;
            const double dr = R * k - r0, dg = G * k - g0, db = B * k - b0;
            const int dist = int(std::sqrt(dr * dr + dg * dg + db * db));
            gr[x] = uint8_t(std::min(255, dist / 2));
        }
    }
}
