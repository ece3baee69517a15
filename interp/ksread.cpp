// Kestrel reader: turns characters from a stream into expressions.
//
// Every character is classified through the current value of *READTABLE*
// (a 256-entry vector), looked up afresh for each character so that Lisp code
// can change entries between two characters. Macro characters call their
// function with the stream and the character; the built-in macro functions
// are recognised and run directly (no argument frame), anything else goes
// through kscall2.
//
// Nesting: lists, vectors, quotes and every other macro character count one
// level; more than KS_MAX_NESTING levels is an error. Lists under construction
// are kept in one chain (rdpending) that a single evaluation-stack slot
// protects, so deep nesting does not use one protection slot per level.
#include "interp/ks.h"

#include <cfloat>
#include <cmath>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

// The built-in read-macro functions (rows 0-7 of funtab1).
node rmhash();
node rmquote();
node rmdquote();
node rmbquote();
node rmcomma();
node rmlpar();
node rmrpar();
node rmsemi();

namespace {

int rddepth = 0;        // macro calls active in the reader
node rdpending = NIL;   // header cells of the lists being read, innermost first

// One level of reader nesting; refuses to go deeper than KS_MAX_NESTING.
struct rdnest {
    rdnest() {
        if (rddepth >= KS_MAX_NESTING) ksfail("expression nested too deeply");
        ++rddepth;
    }
    ~rdnest() { --rddepth; }
    rdnest(const rdnest &) = delete;
    rdnest &operator=(const rdnest &) = delete;
};

// A list under construction: its header cell (car = the enclosing header,
// cdr = the elements so far) is linked into rdpending, which is protected by
// one evaluation-stack slot pushed by the outermost list.
struct rdlistcell {
    node hdr;
    node prev;
    node **stacksave = nullptr;
    rdlistcell() : prev(rdpending) {
        hdr = cons(prev, NIL);
        if (prev == NIL) {
            stacksave = ksstack;
            kspush(&rdpending);
        }
        rdpending = hdr;
    }
    ~rdlistcell() {
        rdpending = prev;
        if (stacksave) ksstack = stacksave;
    }
    rdlistcell(const rdlistcell &) = delete;
    rdlistcell &operator=(const rdlistcell &) = delete;
};

inline bool stdspace(int ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

inline bool isdigitc(int ch) { return ch >= '0' && ch <= '9'; }
inline int upcase(int ch) { return ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch; }

// The read-table entry of a character (NIL for end of file or a bad table).
inline node rtentry(int ch) {
    node rt = getvalue(s_readtable);
    if (ch < 0 || !vectorp(rt) || ch >= getsize(rt)) return NIL;
    return getelement(rt, ch);
}

[[noreturn]] void eoferror() { ksfail("unexpected EOF"); }

// Next character that is not standard white space (-1 at end of file).
int skipspace(node fptr) {
    int ch;
    while ((ch = ksgetc(fptr)) >= 0 && stdspace(ch)) {}
    return ch;
}

node list1(node v) {
    ksguard g(&v);
    return cons(v, NIL);
}

// Collects a token into buf (STRMAX characters at most, the rest dropped);
// unescaped constituents are upper-cased. Returns its length.
int pname(node fptr, char *buf, bool *escaped) {
    int n = 0;
    auto add = [&](int ch) { if (n < STRMAX) buf[n++] = (char)ch; };
    *escaped = false;
    for (;;) {
        int ch = ksgetc(fptr);
        node e = rtentry(ch);
        if (e == k_sescape) {
            if ((ch = ksgetc(fptr)) < 0) eoferror();
            add(ch);
            *escaped = true;
        } else if (e == k_mescape) {
            *escaped = true;
            for (;;) {
                if ((ch = ksgetc(fptr)) < 0) eoferror();
                node e2 = rtentry(ch);
                if (e2 == k_mescape) break;
                if (e2 == k_sescape && (ch = ksgetc(fptr)) < 0) eoferror();
                add(ch);
            }
        } else if (e == k_const || (consp(e) && car(e) == k_nmacro)) {
            add(upcase(ch));
        } else {
            if (ch >= 0) ksungetc(fptr, ch);
            break;
        }
    }
    buf[n] = '\0';
    if (n == 0) ksfail("zero length name");
    return n;
}

// A symbol or number token. Kept out of line so that the recursive reading
// path does not carry the token buffer in every frame.
[[gnu::noinline]] node readtoken(node fptr) {
    char buf[STRMAX + 1];
    bool escaped;
    pname(fptr, buf, &escaped);
    node val;
    if (!escaped && isnumber(buf, &val)) return val;
    return ksenter(buf);
}

// #:name, an uninterned symbol.
[[gnu::noinline]] node readuninterned(node fptr) {
    char buf[STRMAX + 1];
    bool escaped;
    pname(fptr, buf, &escaped);
    return ksmakesym(buf);
}

// #\c, #\Newline, #\Space (the backslash is still to be read).
[[gnu::noinline]] node readcharacter(node fptr) {
    char buf[STRMAX + 1];
    bool escaped;
    int n = pname(fptr, buf, &escaped);
    if (n == 1) return cvchar((unsigned char)buf[0]);
    for (int i = 0; i < n; ++i) buf[i] = (char)upcase((unsigned char)buf[i]);
    if (strcmp(buf, "NEWLINE") == 0) return cvchar('\n');
    if (strcmp(buf, "SPACE") == 0) return cvchar(' ');
    kserror("unknown character name", cvstring(buf));
}

// #b, #o, #x: unsigned digits below the radix, kept to 32 bits.
node readradix(node fptr, unsigned radix) {
    uint32_t val = 0;
    for (;;) {
        int ch = ksgetc(fptr);
        unsigned digit;
        if (isdigitc(ch)) digit = ch - '0';
        else if (upcase(ch) >= 'A' && upcase(ch) <= 'F') digit = upcase(ch) - 'A' + 10;
        else digit = 99;
        if (digit >= radix) {
            if (ch >= 0) ksungetc(fptr, ch);
            break;
        }
        val = val * radix + digit;
    }
    return cvfixnum((int32_t)val);
}

// #| ... |#, nesting; end of file ends it silently.
void skipblockcomment(node fptr) {
    int level = 1, prev = 0, ch;
    while ((ch = ksgetc(fptr)) >= 0) {
        if (prev == '|' && ch == '#') {
            if (--level == 0) return;
            ch = 0;
        } else if (prev == '#' && ch == '|') {
            ++level;
            ch = 0;
        }
        prev = ch;
    }
}

// A string literal after its opening double quote. The text is gathered in
// a growing buffer, so a string of any length costs linear time.
[[gnu::noinline]] node readstring(node fptr) {
    std::string text;
    for (;;) {
        int ch = ksgetc(fptr);
        if (ch < 0) eoferror();
        if (ch == '"') break;
        if (ch == '\\') {
            if ((ch = ksgetc(fptr)) < 0) eoferror();
            switch (ch) {
            case 'n': ch = '\n'; break;
            case 't': ch = '\t'; break;
            case 'r': ch = '\r'; break;
            case 'f': ch = '\f'; break;
            default:
                if (ch >= '0' && ch <= '7') {
                    int code = ch - '0';
                    for (int i = 0; i < 2; ++i) {
                        int d = ksgetc(fptr);
                        if (d < 0) eoferror();
                        if (d < '0' || d > '7') ksfail("invalid octal digit");
                        code = code * 8 + (d - '0');
                    }
                    ch = code & 0xFF;
                }
                break;
            }
        }
        if (text.size() >= (size_t)INT32_MAX - 1) ksfail("insufficient string space");
        text.push_back((char)ch);
    }
    return cvstringn(text.data(), (int32_t)text.size());
}

void skipline(node fptr) {
    int ch;
    while ((ch = ksgetc(fptr)) >= 0 && ch != '\n') {}
}

node readlistbody(node fptr, bool dotted);

// The next expression, skipping white space and comments; end of file is an
// error. Unlike ksread, the white space after it is left in the stream.
node readexpr(node fptr) {
    node val = NIL;
    for (;;) {
        int r = readone(fptr, &val);
        if (r > 0) return val;
        if (r < 0) eoferror();
    }
}

// (sym expr) for the quote-like macro characters.
node readwrapped(node fptr, node sym) {
    node val = readexpr(fptr);
    node form = NIL;
    ksguard g(&val, &form);
    form = cons(val, NIL);
    return cons(sym, form);
}

// The expression after the dot of a dotted pair.
node readdottedcdr(node fptr) {
    node val = NIL;
    for (;;) {
        int ch = skipspace(fptr);
        if (ch < 0) eoferror();
        if (ch == ')') ksfail("invalid dotted pair");
        ksungetc(fptr, ch);
        if (readone(fptr, &val) > 0) return val;
    }
}

// The elements of a list up to and including the closing parenthesis (the
// opening one is already read). With dotted false, '.' is an ordinary symbol.
node readlistbody(node fptr, bool dotted) {
    rdlistcell list;
    node tail = NIL;
    for (;;) {
        int ch = skipspace(fptr);
        if (ch < 0) eoferror();
        if (ch == ')') break;
        ksungetc(fptr, ch);
        node val = NIL;
        if (readone(fptr, &val) <= 0) continue;
        if (dotted && val == s_dot) {
            if (tail == NIL) ksfail("invalid dotted pair");
            rplacd(tail, readdottedcdr(fptr));
            if (skipspace(fptr) != ')') ksfail("invalid dotted pair");
            break;
        }
        node cell;
        {
            ksguard g(&val);
            cell = cons(val, NIL);
        }
        rplacd(tail ? tail : list.hdr, cell);
        tail = cell;
    }
    return cdr(list.hdr);
}

// A list read without dot syntax (for #( and #S); its length in *plen.
node readlist(node fptr, int *plen) {
    node list = readlistbody(fptr, false);
    int n = 0;
    for (node p = list; consp(p); p = cdr(p)) ++n;
    *plen = n;
    return list;
}

node readvector(node fptr) {
    int n;
    node list = readlist(fptr, &n);
    ksguard g(&list);
    node vec = newvector(n);
    for (int i = 0; i < n; ++i, list = cdr(list)) setelement(vec, i, car(list));
    return vec;
}

node readstruct(node fptr) {
    if (skipspace(fptr) != '(') ksfail("expecting an open paren");
    int n;
    node list = readlist(fptr, &n);
    ksguard g(&list);
    return ksrdstruct(list);
}

// The '#' dispatch; returns 1 with a value, 0 for a comment.
int readhash(node fptr, node *pval) {
    int ch = ksgetc(fptr);
    switch (ch) {
    case -1: eoferror();
    case '\'': *pval = readwrapped(fptr, s_function); return 1;
    case '(': *pval = readvector(fptr); return 1;
    case ':': *pval = readuninterned(fptr); return 1;
    case 'b': case 'B': *pval = readradix(fptr, 2); return 1;
    case 'o': case 'O': *pval = readradix(fptr, 8); return 1;
    case 'x': case 'X': *pval = readradix(fptr, 16); return 1;
    case 's': case 'S': *pval = readstruct(fptr); return 1;
    case '\\':
        ksungetc(fptr, ch);
        *pval = readcharacter(fptr);
        return 1;
    case '|': skipblockcomment(fptr); return 0;
    default: kserror("illegal character after #", cvfixnum(ch));
    }
}

node readcomma(node fptr) {
    int ch = ksgetc(fptr);
    if (ch == '@') return readwrapped(fptr, s_comat);
    if (ch >= 0) ksungetc(fptr, ch);
    return readwrapped(fptr, s_comma);
}

// Runs a macro character's function: the built-in ones directly, any other
// function through the normal call protocol.
int callmacro(node fun, node fptr, int ch, node *pval) {
    if (subrp(fun)) {
        subrfn fn = getsubr(fun);
        if (fn == rmlpar) { *pval = readlistbody(fptr, true); return 1; }
        if (fn == rmrpar) ksfail("misplaced right paren");
        if (fn == rmquote) { *pval = readwrapped(fptr, s_quote); return 1; }
        if (fn == rmdquote) { *pval = readstring(fptr); return 1; }
        if (fn == rmbquote) { *pval = readwrapped(fptr, s_bquote); return 1; }
        if (fn == rmcomma) { *pval = readcomma(fptr); return 1; }
        if (fn == rmsemi) { skipline(fptr); return 0; }
        if (fn == rmhash) return readhash(fptr, pval);
    }
    node r = kscall2(fun, fptr, cvchar(ch));
    if (!consp(r)) return 0;
    *pval = car(r);
    return 1;
}

// Arguments of a built-in macro function: a stream and a character.
node macroargs() {
    node fptr = ksgetfile();
    ksargchar();
    kslastarg();
    return fptr;
}

// Stores (kind . built-in of funtab1 row) as the entry of a character.
void defmacro(node table, int ch, node kind, int row) {
    node fn = cvsubr(funtab1[row].fn, SUBR, row, 1);
    ksguard g(&fn);
    setelement(table, ch, cons(kind, fn));
}

// Closes the load file on every way out of ksload.
struct loadfile {
    node *stream;
    ~loadfile() {
        FILE *fp = getfile(*stream);
        if (fp) {
            setfile(*stream, nullptr);
            osclose(fp);
        }
    }
};

}  // namespace

// ------------------------------------------------------------ read macros
node rmlpar() {
    node fptr = macroargs();
    rdnest nest;
    return list1(readlistbody(fptr, true));
}

node rmrpar() {
    macroargs();
    ksfail("misplaced right paren");
}

node rmquote() {
    node fptr = macroargs();
    rdnest nest;
    return list1(readwrapped(fptr, s_quote));
}

node rmbquote() {
    node fptr = macroargs();
    rdnest nest;
    return list1(readwrapped(fptr, s_bquote));
}

node rmcomma() {
    node fptr = macroargs();
    rdnest nest;
    return list1(readcomma(fptr));
}

node rmdquote() {
    node fptr = macroargs();
    return list1(readstring(fptr));
}

node rmsemi() {
    node fptr = macroargs();
    skipline(fptr);
    return NIL;
}

node rmhash() {
    node fptr = macroargs();
    rdnest nest;
    node val = NIL;
    return readhash(fptr, &val) ? list1(val) : NIL;
}

// ------------------------------------------------------------ reading
int readone(node fptr, node *pval) {
    ksunwindframe unwound;   // the reader's nesting records
    int ch = ksgetc(fptr);
    if (ch < 0) return -1;
    node e = rtentry(ch);
    if (e == k_wspace) return 0;
    if (e == k_const || e == k_sescape || e == k_mescape) {
        ksungetc(fptr, ch);
        *pval = readtoken(fptr);
        return 1;
    }
    if (consp(e)) {
        rdnest nest;
        return callmacro(cdr(e), fptr, ch, pval);
    }
    kserror("illegal character", cvfixnum(ch));
}

bool ksread(node fptr, node *pval, uint32_t *startline) {
    ksguard g(pval);
    int r;
    do {
        if (startline && streamp(fptr)) *startline = getlines(fptr) + 1;
    } while ((r = readone(fptr, pval)) == 0);
    if (r < 0) return false;
    int ch = ksgetc(fptr);
    if (ch >= 0 && !stdspace(ch)) ksungetc(fptr, ch);
    return true;
}

// Number syntax: [sign] digits [. digits] [E [sign] digits], with at least
// one digit before the exponent. Fraction or exponent digits make a FLONUM.
bool isnumber(const char *str, node *pval) {
    const char *p = str;
    if (*p == '+' || *p == '-') ++p;
    const char *intstart = p;
    while (isdigitc(*p)) ++p;
    const char *intend = p;
    int fracdigits = 0;
    if (*p == '.') {
        ++p;
        while (isdigitc(*p)) { ++p; ++fracdigits; }
    }
    if (intend == intstart && fracdigits == 0) return false;
    bool negexp = false;
    if (*p == 'E') {
        ++p;
        if (*p == '+' || *p == '-') negexp = *p++ == '-';
        while (isdigitc(*p)) { ++p; ++fracdigits; }
    }
    if (*p != '\0') return false;
    if (!pval) return true;

    if (fracdigits > 0) {
        const char *text = str[0] == '+' ? str + 1 : str;
        double d = 0.0;
        auto res = std::from_chars(text, p, d);
        if (res.ec == std::errc::result_out_of_range) d = negexp ? 0.0 : HUGE_VAL;
        if (str[0] == '-' && d > 0.0) d = -d;
        float f;
        if (d > FLT_MAX) f = HUGE_VALF;
        else if (d < -FLT_MAX) f = -HUGE_VALF;
        else f = (float)d;
        *pval = cvflonum(f);
    } else {
        uint32_t v = 0;   // the decimal value modulo 2^32
        for (const char *q = intstart; q < intend; ++q) v = v * 10u + (uint32_t)(*q - '0');
        if (str[0] == '-') v = 0u - v;
        *pval = cvfixnum((int32_t)v);
    }
    return true;
}

// ------------------------------------------------------------ loading
ksloadpos *ksloading;

namespace {

// Makes a load the innermost one for as long as it runs.
struct loadframe {
    ksloadpos pos;
    explicit loadframe(const char *name) : pos{name, 1, ksloading} { ksloading = &pos; }
    ~loadframe() { ksloading = pos.outer; }
};

}  // namespace

bool ksload(const char *name, bool vflag, bool pflag) {
    ksunwindframe unwound;   // the open file and its name
    std::string fname = name;
    if (needsextension(name)) fname += ".lsp";

    node fptr = cvfile(nullptr);
    node expr = NIL;
    ksguard g(&fptr, &expr);
    FILE *fp = osaopen(fname.c_str(), "r");
    if (!fp) return false;
    setfile(fptr, fp);
    loadfile closer{&fptr};

    if (vflag) {
        stdputstr("; loading \"");
        stdputstr(fname.c_str());
        stdputstr("\"\n");
    }

    loadframe frame(fname.c_str());
    context c;
    ksbegin(&c, CTX_ERROR, s_true);
    bool ok = true;
    try {
        while (ksread(fptr, &expr, &frame.pos.line)) {
            expr = kseval(expr);
            if (pflag) stdprint(expr);
        }
    } catch (ksjumpex &j) {
        if (!kscaught(j, &c)) throw;
        // The error has been reported; a batch run ends with it.
        if (ksbatch) wrapup(1);
        ok = false;
    }
    ksend(&c);
    return ok;
}

// ------------------------------------------------------------ the read table
void ksrinit() {
    node table = newvector(256);
    setvalue(s_readtable, table);   // reachable from now on
    for (int ch : {'\t', ' ', '\f', '\r', '\n'}) setelement(table, ch, k_wspace);
    for (const char *p = "!$%&*+-./0123456789:<=>?@[]^_{}~"; *p; ++p)
        setelement(table, (unsigned char)*p, k_const);
    for (int ch = 'A'; ch <= 'Z'; ++ch) {
        setelement(table, ch, k_const);
        setelement(table, ch - 'A' + 'a', k_const);
    }
    setelement(table, '\\', k_sescape);
    setelement(table, '|', k_mescape);
    defmacro(table, '#', k_nmacro, ROW_RMHASH);
    defmacro(table, '\'', k_tmacro, ROW_RMQUOTE);
    defmacro(table, '"', k_tmacro, ROW_RMDQUOTE);
    defmacro(table, '`', k_tmacro, ROW_RMBQUOTE);
    defmacro(table, ',', k_tmacro, ROW_RMCOMMA);
    defmacro(table, '(', k_tmacro, ROW_RMLPAR);
    defmacro(table, ')', k_tmacro, ROW_RMRPAR);
    defmacro(table, ';', k_tmacro, ROW_RMSEMI);
}
