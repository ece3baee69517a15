// Shared parts of the file-format modules; see filterkit.h.
#include "filters/filterkit.h"
#include "image/intern.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

// ------------------------------------------------------------ the file
FILE *reading;

bool readingsize(uint64_t *bytes) {
    struct stat st;
    bool regular = reading && fstat(fileno(reading), &st) == 0 && S_ISREG(st.st_mode);
    *bytes = regular ? uint64_t(st.st_size) : 0;
    return regular;
}
savefile writing;

extern "C" {

const char *filtererror() { return lasterror(); }

void filterfclose() {
    endlibrary();
    if (reading) fclose(reading);
    reading = nullptr;
    savecancel(writing);
}

// A failure here is "open error"; a later call replaces the text.
bool filterfopen(const char *name, bool write) {
    filterfclose();
    clearerror();
    fail("open error");
    if (write) return savebegin(writing, name);
    reading = fopen(name, "rb");
    return reading != nullptr;
}

}  // extern "C"

// ----------------------------------------------------------- error text
namespace {
char errortext[256];
bool errorset;
}  // namespace

const char *lasterror() {
    if (!errorset) snprintf(errortext, sizeof errortext, "%s: no error", modulename);
    return errortext;
}

bool fail(const char *format, ...) {
    int n = snprintf(errortext, sizeof errortext, "%s: ", modulename);
    va_list ap;
    va_start(ap, format);
    vsnprintf(errortext + n, sizeof errortext - size_t(n), format, ap);
    va_end(ap);
    errorset = true;
    return false;
}

bool failed() { return errorset; }
void clearerror() { errorset = false; }

// --------------------------------------------------------------- options
const char *optionset::find(const char *key) const {
    for (auto it = words.rbegin(); it != words.rend(); ++it)
        if (it->first == key) return it->second.c_str();
    return nullptr;
}

bool parseoptions(const char *text, std::initializer_list<const char *> known, optionset &out) {
    out.words.clear();
    for (const char *p = text ? text : ""; *p;) {
        if (isspace((unsigned char)*p)) {
            ++p;
            continue;
        }
        const char *end = p;
        while (*end && !isspace((unsigned char)*end)) ++end;
        std::string word(p, end);
        p = end;
        size_t eq = word.find('=');
        std::string key = word.substr(0, eq);
        bool isknown = false;
        for (const char *k : known) isknown = isknown || key == k;
        if (eq == std::string::npos || eq == 0 || eq + 1 == word.size() || !isknown) {
            std::string keys;
            for (const char *k : known) keys += std::string(keys.empty() ? "" : " ") + k + "=";
            return fail("unknown option \"%.60s\" (options here: %s)", word.c_str(), keys.c_str());
        }
        out.words.emplace_back(key, word.substr(eq + 1));
    }
    return true;
}

bool intoption(const optionset &o, const char *key, int lo, int hi, int &out) {
    const char *v = o.find(key);
    if (!v) return true;
    char *end;
    errno = 0;
    long n = strtol(v, &end, 10);
    if (*end || end == v || errno || n < lo || n > hi)
        return fail("%s= must be a whole number from %d to %d, not \"%.40s\"", key, lo, hi, v);
    out = int(n);
    return true;
}

bool choiceoption(const optionset &o, const char *key, std::initializer_list<const char *> choices,
                  int &out) {
    const char *v = o.find(key);
    if (!v) return true;
    int i = 0;
    std::string all;
    for (const char *c : choices) {
        if (strcasecmp(v, c) == 0) {
            out = i;
            return true;
        }
        all += std::string(all.empty() ? "" : ", ") + c;
        ++i;
    }
    return fail("%s= must be one of %s, not \"%.40s\"", key, all.c_str(), v);
}

// ---------------------------------------------------------------- reading
void narrowing::scan(const uint16_t *s, size_t n) {
    uint16_t l = lo, h = hi;
    for (size_t i = 0; i < n; ++i) {
        if (s[i] < l) l = s[i];
        if (s[i] > h) h = s[i];
    }
    lo = l, hi = h;
}

// A range of one value (or none) keeps the high byte: there is nothing to
// stretch.
void narrowing::prepare() {
    table.resize(65536);
    unsigned span = hi > lo ? unsigned(hi - lo) : 0;
    for (unsigned v = 0; v < 65536; ++v) {
        if (span == 0)
            table[v] = uint8_t(v >> 8);
        else if (v <= lo)
            table[v] = 0;
        else if (v >= hi)
            table[v] = 255;
        else
            table[v] = uint8_t(((v - lo) * 255u + span / 2) / span);
    }
}

void narrowing::maprow(const uint16_t *s, size_t n, uint8_t *out) const {
    if (stretch) {
        const uint8_t *t = table.data();
        for (size_t i = 0; i < n; ++i) out[i] = t[s[i]];
    } else {
        for (size_t i = 0; i < n; ++i) out[i] = uint8_t(s[i] >> 8);
    }
}

bool planregion(const optionset &o, readplan &plan) {
    int fw = plan.filew, fh = plan.fileh;
    if (fw < 1 || fh < 1) return fail("the image has no pixels (%d x %d)", fw, fh);
    if (fw > MAXFILESIDE || fh > MAXFILESIDE)
        return fail("the image is %d x %d pixels, larger than %d x %d: not read", fw, fh,
                    MAXFILESIDE, MAXFILESIDE);
    int mode = 0;
    if (!choiceoption(o, "reduce", {"high", "stretch"}, mode)) return false;
    plan.narrow = narrowing{};
    plan.narrow.stretch = mode == 1;
    bool crop = o.find("x") || o.find("y") || o.find("w") || o.find("h");
    region r{0, 0, fw, fh};
    if (!intoption(o, "x", 0, fw - 1, r.x) || !intoption(o, "y", 0, fh - 1, r.y)) {
        return fail("the region must start inside the %d x %d image (x= 0 to %d, y= 0 to %d)", fw,
                    fh, fw - 1, fh - 1);
    }
    r.w = fw - r.x, r.h = fh - r.y;
    if (!intoption(o, "w", 1, fw - r.x, r.w) || !intoption(o, "h", 1, fh - r.y, r.h))
        return fail("the region x=%d y=%d must end inside the %d x %d image (w= 1 to %d, h= 1 to %d)",
                    r.x, r.y, fw, fh, fw - r.x, fh - r.y);
    if (r.w > MAXFRAME || r.h > MAXFRAME) {
        if (crop)
            return fail("the region of %d x %d pixels is larger than %d x %d", r.w, r.h, MAXFRAME,
                        MAXFRAME);
        return fail("the image is %d x %d pixels, larger than %d x %d; load a part of it with "
                    "x= y= w= h=",
                    fw, fh, MAXFRAME, MAXFRAME);
    }
    plan.part = r;
    return true;
}

void planorigin(readplan &plan, int filex0, int filey0) {
    plan.x0 = filex0 + plan.part.x <= MAXORIGIN ? filex0 + plan.part.x : plan.part.x;
    plan.y0 = filey0 + plan.part.y <= MAXORIGIN ? filey0 + plan.part.y : plan.part.y;
}

std::string origintext(int x0, int y0) { return std::to_string(x0) + " " + std::to_string(y0); }

bool parseorigin(const char *text, size_t len, int &x0, int &y0) {
    long v[2];
    size_t i = 0;
    for (int k = 0; k < 2; ++k) {
        if (k == 1) {
            if (i >= len || text[i] != ' ') return false;
            ++i;
        }
        size_t start = i;
        long n = 0;
        while (i < len && isdigit((unsigned char)text[i]) && i - start < 10) n = n * 10 + (text[i++] - '0');
        if (i == start || n > MAXORIGIN) return false;
        v[k] = n;
    }
    if (i != len) return false;
    x0 = int(v[0]), y0 = int(v[1]);
    return true;
}

// ------------------------------------------------------ the pixel block
uint8_t *blockrow(uint8_t *block, int w, int depth, int r) {
    switch (depth) {
    case 1: return block + size_t(r) * (size_t(w + 7) / 8);
    case 8: return block + size_t(r + 1) * size_t(w + 2) + 1;
    default: return block + size_t(r) * 3 * size_t(w);
    }
}

const uint8_t *blockrow(const uint8_t *block, int w, int depth, int r) {
    return blockrow(const_cast<uint8_t *>(block), w, depth, r);
}

void clearborder(uint8_t *block, int w, int h) {
    size_t stride = size_t(w) + 2;
    memset(block, 0, stride);
    memset(block + (size_t(h) + 1) * stride, 0, stride);
    for (int r = 1; r <= h; ++r) {
        block[size_t(r) * stride] = 0;
        block[size_t(r) * stride + stride - 1] = 0;
    }
}

void putpixels(uint8_t *block, int w, int depth, int r, int c, int step, const uint8_t *pixels,
               int n) {
    uint8_t *row = blockrow(block, w, depth, r);
    if (depth == 1) {
        for (int i = 0; i < n; ++i, c += step) {
            uint8_t bit = uint8_t(1u << (c & 7));
            if (pixels[i])
                row[c >> 3] |= bit;
            else
                row[c >> 3] &= uint8_t(~bit);
        }
    } else if (depth == 8) {
        if (step == 1) {
            memcpy(row + c, pixels, size_t(n));
            return;
        }
        for (int i = 0; i < n; ++i, c += step) row[c] = pixels[i];
    } else {
        if (step == 1) {
            memcpy(row + 3 * size_t(c), pixels, 3 * size_t(n));
            return;
        }
        for (int i = 0; i < n; ++i, c += step) memcpy(row + 3 * size_t(c), pixels + 3 * size_t(i), 3);
    }
}

void copybinrow(const uint8_t *block, int w, int r, uint8_t *out) {
    size_t n = size_t(w + 7) / 8;
    memcpy(out, blockrow(block, w, 1, r), n);
    if (w % 8) out[n - 1] &= uint8_t((1u << (w % 8)) - 1);
}
