// The Lisp functions of character I/O: READ and the print family, files,
// character and byte access, string streams, FORMAT and the file scrambler
// CODE.
#include "interp/ks.h"
#include "image/savefile.h"

#include <cctype>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/stat.h>

// ------------------------------------------------------------------ helpers

// The optional stream argument of an input or output function; without it
// the value of the given standard stream variable.
static node optstream(node stdsym) {
    return moreargs() ? ksgetfile() : getvalue(stdsym);
}

// Takes every argument that is left (for functions that ignore extras).
static void dropargs() {
    ksargv += ksargc;
    ksargc = 0;
}

// A new STRING holding the characters of an unnamed stream's list.
static node ustreamtext(node ustream) {
    std::string text;
    for (node p = gethead(ustream); consp(p); p = cdr(p)) {
        if (!charp(car(p))) ksfail("bad stream");
        text += static_cast<char>(getchcode(car(p)));
    }
    return cvstringn(text.data(), static_cast<int32_t>(text.size()));
}

static void ustreamclear(node ustream) {
    sethead(ustream, NIL);
    settail(ustream, NIL);
}

// ------------------------------------------------------------ read and print

node xread() {
    node fptr = optstream(s_stdin);
    node eofval = moreargs() ? nextarg() : NIL;
    if (moreargs()) nextarg();              // the recursive flag is ignored
    kslastarg();
    node val = NIL;
    ksguard g(&fptr, &eofval, &val);
    return ksread(fptr, &val) ? val : eofval;
}

static node printvalue(bool escape, bool newline) {
    node val = ksarg();
    node fptr = optstream(s_stdout);
    kslastarg();
    ksguard g(&val, &fptr);
    ksprint(fptr, val, escape);
    if (newline) ksterpri(fptr);
    return val;
}

node xprint() { return printvalue(true, true); }
node xprin1() { return printvalue(true, false); }
node xprinc() { return printvalue(false, false); }

node xterpri() {
    node fptr = optstream(s_stdout);
    kslastarg();
    ksguard g(&fptr);
    ksterpri(fptr);
    return NIL;
}

static node flatlength(bool escape) {
    node val = ksarg();
    kslastarg();
    ksfsize = 0;
    ksprint(NIL, val, escape);
    return cvfixnum(ksfsize);
}

node xflatsize() { return flatlength(true); }
node xflatc() { return flatlength(false); }

// ------------------------------------------------------------------- files

node xopen() {
    node name = ksgetfname();
    if (!ksfilename(name)) ksabort("open, NUL character in file name");
    node dir = k_input, mode = k_text;
    ksgetkeyarg(k_direction, &dir);
    ksgetkeyarg(k_mode, &mode);
    // what follows the name must be complete :DIRECTION / :MODE pairs
    for (int i = 0; i < ksargc; i += 2) {
        if (ksargv[i] != k_direction && ksargv[i] != k_mode) ksbadtype(ksargv[i]);
        if (i + 1 >= ksargc) kstoofew();
    }
    dropargs();

    const char *how;
    if (dir == k_input) how = "r";
    else if (dir == k_output) how = "w";
    else kserror("bad direction", dir);
    if (mode != k_text && mode != k_binary) kserror("bad mode", mode);

    // the node exists before the file is opened, so no FILE can be lost
    ksguard g(&name);
    node stream = cvfile(nullptr);
    FILE *fp = mode == k_text ? osaopen(ksfilename(name), how) : osbopen(ksfilename(name), how);
    if (!fp) return NIL;
    setfile(stream, fp);
    return stream;
}

node xclose() {
    node fptr = ksarg();
    kslastarg();
    if (!streamp(fptr)) ksbadtype(fptr);
    FILE *fp = getfile(fptr);
    if (!fp) kserror("file not open", fptr);
    // the standard files carry the console: they stay open
    if (fp == stdin || fp == stdout || fp == stderr) return NIL;
    setfile(fptr, nullptr);
    setsavech(fptr, 0);
    osclose(fp);
    return NIL;
}

// ------------------------------------------------------ characters and bytes

node xrdchar() {
    node fptr = optstream(s_stdin);
    kslastarg();
    int ch = ksgetc(fptr);
    return ch < 0 ? NIL : cvchar(ch);
}

node xrdbyte() {
    node fptr = optstream(s_stdin);
    kslastarg();
    int ch = ksgetc(fptr);
    return ch < 0 ? NIL : cvfixnum(ch);
}

node xpkchar() {
    node flag = moreargs() ? nextarg() : NIL;
    node fptr = optstream(s_stdin);
    kslastarg();
    int ch = kspeek(fptr);
    if (flag) {
        while (ch >= 0 && isspace(ch)) {
            ksgetc(fptr);
            ch = kspeek(fptr);
        }
    }
    return ch < 0 ? NIL : cvchar(ch);
}

node xwrchar() {
    node ch = ksargchar();
    node fptr = optstream(s_stdout);
    kslastarg();
    ksputc(fptr, getchcode(ch));
    return ch;
}

node xwrbyte() {
    node fix = ksargfix();
    node fptr = optstream(s_stdout);
    kslastarg();
    ksputc(fptr, getfixnum(fix));
    return fix;
}

// Any length: the line grows in a std::string (amortised doubling), which is
// also released if reading raises an error.
node xreadline() {
    node fptr = optstream(s_stdin);
    kslastarg();
    std::string line;
    int ch = ksgetc(fptr);
    if (ch < 0) return NIL;
    while (ch >= 0 && ch != '\n') {
        line += static_cast<char>(ch);
        ch = ksgetc(fptr);
    }
    return cvstringn(line.data(), static_cast<int32_t>(line.size()));
}

// ----------------------------------------------------------- string streams

node xmkstrinput() {
    node str = ksargstr();
    int32_t len = getslength(str) - 1;
    int32_t start = 0, end = len;
    if (moreargs()) {
        node s = ksargfix();
        start = getfixnum(s);
        if (start < 0 || start > len) kserror("string index out of bounds", s);
    }
    if (moreargs()) {
        node e = ksargfix();
        end = getfixnum(e);
        if (end < 0 || end > len) kserror("string index out of bounds", e);
    }
    kslastarg();

    node stream = newustream();
    node last = NIL;
    ksguard g(&stream, &last);
    for (int32_t i = start; i < end; ++i) {
        node cell = cons(cvchar(static_cast<unsigned char>(getstring(str)[i])), NIL);
        if (last) rplacd(last, cell);
        else sethead(stream, cell);
        last = cell;
        settail(stream, cell);
    }
    return stream;
}

node xmkstroutput() {
    kslastarg();
    return newustream();
}

node xgetstroutput() {
    node stream = ksargustream();
    kslastarg();
    node text = ustreamtext(stream);
    ustreamclear(stream);
    return text;
}

node xgetlstoutput() {
    node stream = ksargustream();
    kslastarg();
    node list = gethead(stream);
    ustreamclear(stream);
    return list;
}

// -------------------------------------------------------------------- FORMAT

// Skips the newline after a tilde and the blanks that follow it, stopping at
// the next non-blank character or newline.
static const char *skipcontinuation(const char *p) {
    ++p;
    while (*p && *p != '\n' && isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}

node xformat() {
    node fptr;
    if (moreargs() && *ksargv == s_true) {
        nextarg();
        fptr = getvalue(s_stdout);
    } else {
        fptr = ksgetfile();
    }
    node ctrl = ksargstr();
    bool tostring = !fptr;
    ksguard g(&fptr, &ctrl);
    if (tostring) fptr = newustream();

    const char *p = getstring(ctrl);
    while (*p) {
        if (*p != '~') {
            ksputc(fptr, static_cast<unsigned char>(*p++));
            continue;
        }
        ++p;
        switch (*p) {
        case '\0':
            kserror("expecting a format directive", cvstring(p));
        case 'a': case 'A':
            ksprint(fptr, ksarg(), false);
            break;
        case 's': case 'S':
            ksprint(fptr, ksarg(), true);
            break;
        case '%':
            ksterpri(fptr);
            break;
        case '$':
            kscrpri(fptr);
            break;
        case '~':
            ksputc(fptr, '~');
            break;
        case '\n':
            p = skipcontinuation(p);
            continue;
        default:
            kserror("unknown format directive", cvstring(p));
        }
        ++p;
    }
    dropargs();                             // surplus arguments are ignored
    return tostring ? ustreamtext(fptr) : NIL;
}

// ---------------------------------------------------------------------- CODE

// Key used when CODE is called without a start value: the bytes "Kest".
// Changing it makes every file scrambled with the old default unreadable.
static constexpr uint32_t CODE_DEFAULT_KEY = 0x4B657374u;

struct fileclose {
    void operator()(FILE *fp) const { osclose(fp); }
};
using fileptr = std::unique_ptr<FILE, fileclose>;

static uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

static bool samefile(FILE *in, const char *name) {
    struct stat a, b;
    return fstat(fileno(in), &a) == 0 && stat(name, &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

node xcode() {
    if (!moreargs()) ksabort("code filename1 filename2 dir &opt start");
    node name1 = ksargstr();
    node name2 = ksargstr();
    int32_t dir = getfixnum(ksargfix());
    uint32_t key = moreargs() ? static_cast<uint32_t>(getfixnum(ksargfix()))
                              : CODE_DEFAULT_KEY;
    kslastarg();
    if (dir != 1 && dir != -1) ksabort("dir=1|-1");
    if (!ksfilename(name1) || !ksfilename(name2)) ksabort("code, NUL character in file name");

    fileptr in(osbopen(getstring(name1), "r"));
    if (!in) ksabort("file1 does not exists");
    // file2 naming file1 itself is refused: the scrambled copy would
    // replace its only source
    if (samefile(in.get(), getstring(name2))) ksabort("can't create file2");
    // file2 is saved like every file written for the user: a failure
    // leaves what was there before.
    savefile out;
    struct cancel {
        savefile &s;
        ~cancel() { savecancel(s); }
    } onabort{out};
    if (!savebegin(out, getstring(name2))) ksabort("can't create file2");

    for (;;) {
        unsigned char block[4] = {0, 0, 0, 0};
        int n = 0;
        int ch;
        while (n < 4 && (ch = osbgetc(in.get())) != EOF) block[n++] = static_cast<unsigned char>(ch);
        if (n == 0) break;
        uint32_t w = block[0] | (uint32_t(block[1]) << 8) | (uint32_t(block[2]) << 16) |
                     (uint32_t(block[3]) << 24);
        uint32_t o = ~(w ^ key);
        for (int i = 0; i < n; ++i) osbputc(static_cast<int>((o >> (8 * i)) & 0xff), out.file);
        if (ferror(out.file)) ksabort("write error on encoding");
        key = rotl32(key, 29) + (dir == 1 ? w : o);
        if (n < 4) break;
    }
    if (!savecommit(out)) ksabort("write error on encoding");
    return s_true;
}
