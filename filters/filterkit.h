// What the file-format modules png, tiff and jpeg share, compiled into each
// of them: the file being read or written (and the interface's open, close
// and error calls on it), the module's error text, its options text, the
// part of a file image to load, 16-bit samples narrowed to 8 bits, and rows
// moved between decoded form and the image store's pixel block (BIN bit 0
// leftmost, GREY inside a one-pixel border, COL red-green-blue).
//
// Every module reads one file at a time: the header call fixes a plan (the
// region, the depth, how samples are narrowed) that the data call carries
// out; a writer remembers the header and encodes the whole block at once.
#pragma once

#include "image/savefile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ----------------------------------------------------------- error text
// The module's name (its file name without ".so"), defined by each module;
// every error text starts with it.
extern const char *const modulename;

// The text filtererror returns.
const char *lasterror();
// Sets the error text to "NAME: " and the formatted message; false, so that
// a caller can `return fail(...)`.
bool fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Whether fail was called since the last clearerror.
bool failed();
void clearerror();

// ------------------------------------------------------------ the file
// The file being read (null when none) and the one being written; the
// interface's filterfopen and filterfclose, defined in filterkit.cpp, open
// and close them, and filtererror returns lasterror().
extern FILE *reading;
extern savefile writing;
// Whether the file being read is a regular file, and then its size in
// *bytes (0 otherwise): a pipe or device has no size to check a header
// against.
bool readingsize(uint64_t *bytes);
// Releases what the module's library holds of the current file; defined
// by each module, called by filterfclose before the file is closed.
void endlibrary();

// --------------------------------------------------------------- options
// An options text is words key=value separated by white space. Every word
// must name one of the keys the call knows (a misspelt option is an error,
// not a silent default); a later word overrides an earlier one.
struct optionset {
    std::vector<std::pair<std::string, std::string>> words;
    // The value of key, or null when it was not given.
    const char *find(const char *key) const;
};

// Parses text (null or empty: no options) against the known keys.
bool parseoptions(const char *text, std::initializer_list<const char *> known, optionset &out);
// An integer option within [lo, hi]; out keeps its value when absent.
bool intoption(const optionset &o, const char *key, int lo, int hi, int &out);
// An option whose value is one of choices; out is the index of the match
// and keeps its value when absent.
bool choiceoption(const optionset &o, const char *key,
                  std::initializer_list<const char *> choices, int &out);

// The keys every reader takes: the region x= y= w= h= and reduce=.
#define READ_OPTION_KEYS "x", "y", "w", "h", "reduce"

// ---------------------------------------------------------------- reading
// The largest file image a module looks at, whatever part of it is loaded;
// beyond it no row buffer is even sized.
enum { MAXFILESIDE = 65535 };

// The part of a file image that is loaded, in file pixels.
struct region {
    int x, y, w, h;
};

// How 16-bit samples become 8 bits: the high byte, or a linear stretch of
// the range [lo, hi] that the loaded part actually holds to 0-255.
struct narrowing {
    bool stretch = false;
    uint16_t lo = 0xFFFF, hi = 0;
    std::vector<uint8_t> table;   // the stretch, by sample value

    void reset() { lo = 0xFFFF, hi = 0, table.clear(); }
    // Widens [lo, hi] to cover n samples.
    void scan(const uint16_t *s, size_t n);
    // Builds the stretch table once the range is known.
    void prepare();
    uint8_t map(uint16_t v) const { return stretch ? table[v] : uint8_t(v >> 8); }
    void maprow(const uint16_t *s, size_t n, uint8_t *out) const;
};

// The plan of one read, fixed by the header call.
struct readplan {
    int filew = 0, fileh = 0;     // the file image
    region part{};                // what is loaded
    int depth = 0;                // 1, 8 or 24
    int x0 = 0, y0 = 0;           // origin of the loaded part
    narrowing narrow;
};

// Fills plan.part from the options x= y= w= h= (all of the image by
// default), refusing images and regions that do not fit the frame limit,
// naming their size; sets reduce= into plan.narrow. The file size must be
// known in plan.filew, plan.fileh.
bool planregion(const optionset &o, readplan &plan);
// The loaded part's origin: the file's origin (0 0 when absent) moved by the
// region's offset; on an axis where that passes MAXORIGIN, the offset alone.
void planorigin(readplan &plan, int filex0, int filey0);

// Origins run from 0 to MAXORIGIN, which TIFF's float positions hold
// exactly: a reader takes a stored origin in that range (anything else
// counts as none), writers refuse others. In text the origin is "X Y";
// parseorigin refuses anything else.
enum { MAXORIGIN = 1 << 24 };
std::string origintext(int x0, int y0);
bool parseorigin(const char *text, size_t len, int &x0, int &y0);
// The key of the origin text (PNG text chunk, JPEG comment).
#define ORIGIN_KEY "Tavex origin"

// ------------------------------------------------------ the pixel block
// Row r of a w-pixel-wide block of depth 1, 8 or 24 (grey: inside the
// border).
uint8_t *blockrow(uint8_t *block, int w, int depth, int r);
const uint8_t *blockrow(const uint8_t *block, int w, int depth, int r);
// Zeroes the border of a bordered grey block of w x h pixels.
void clearborder(uint8_t *block, int w, int h);
// Puts n pixels of one byte (depth 1: non-zero is set; depth 8) or three
// bytes (depth 24) into row r from column c on, every step-th column.
void putpixels(uint8_t *block, int w, int depth, int r, int c, int step, const uint8_t *pixels,
               int n);
// Copies BIN row r with its padding bits cleared (w pixels, bit 0 leftmost).
void copybinrow(const uint8_t *block, int w, int r, uint8_t *out);
