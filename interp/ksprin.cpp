// Kestrel printer: the external form of every value, with escapes (PRIN1,
// readable back where the type allows) or without (PRINC), and the flat size
// of a value. All output goes through ksputc, which also counts characters
// in ksfsize.
#include "interp/ks.h"

#include <cstdarg>
#include <cstring>
#include <string>

int ksfsize = 0;
int64_t ksprinted = 0;
int ksprinting = 0;

void putsubr(node fptr, const char *kind, node val);
void putatm(node fptr, const char *kind, node val);

namespace {

int prdepth = 0;   // lists, vectors and structures being printed

// One level of printer nesting; refuses to go deeper than KS_MAX_NESTING.
struct prnest {
    prnest() {
        if (prdepth >= KS_MAX_NESTING) ksfail("expression nested too deeply");
        ++prdepth;
    }
    ~prnest() { --prdepth; }
    prnest(const prnest &) = delete;
    prnest &operator=(const prnest &) = delete;
};

void putbytes(node fptr, const char *s, size_t n) {
    for (size_t i = 0; i < n; ++i) ksputc(fptr, (unsigned char)s[i]);
}

// printf into a string sized to fit, then to the stream.
[[gnu::format(printf, 2, 3)]] void putformatted(node fptr, const char *fmt, ...) {
    va_list ap, ap2;
    va_start(ap, fmt);
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n > 0) {
        std::string out((size_t)n + 1, '\0');
        vsnprintf(out.data(), out.size(), fmt, ap2);
        putbytes(fptr, out.data(), (size_t)n);
    }
    va_end(ap2);
}

// ---------------------------------------------------- number formats
// A user's *INTEGER-FORMAT* or *FLOAT-FORMAT* goes to printf only when it
// holds exactly one conversion that fits the value's type (flags, a width
// and a precision of at most three digits, and for integers the length 'l');
// any other text falls back to the default format.
struct convspec {
    char conv = 0;       // conversion letter
    bool longarg = false;
};

bool checkformat(const char *fmt, bool isfloat, convspec *spec) {
    int found = 0;
    for (const char *p = fmt; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') { ++p; continue; }
        if (++found > 1) return false;
        ++p;
        const char *flags = p;
        while (*p && strchr("-+ #0", *p)) ++p;
        std::string flagset(flags, p);
        int digits = 0;
        while (*p >= '0' && *p <= '9') { ++p; if (++digits > 3) return false; }
        bool precision = false;
        if (*p == '.') {
            precision = true;
            ++p;
            digits = 0;
            while (*p >= '0' && *p <= '9') { ++p; if (++digits > 3) return false; }
        }
        spec->longarg = false;
        if (*p == 'l') { spec->longarg = true; ++p; }
        char c = *p;
        if (c == '\0') return false;
        const char *allowed;
        if (isfloat) {
            if (!strchr("eEfgGaA", c)) return false;
            allowed = "-+ #0";
        } else if (c == 'd' || c == 'i') {
            allowed = "-+ 0";
        } else if (c == 'o' || c == 'x' || c == 'X') {
            allowed = "-#0";
        } else if (c == 'u') {
            allowed = "-0";
        } else if (c == 'c') {
            if (precision || spec->longarg) return false;
            allowed = "-";
        } else {
            return false;
        }
        if (flagset.find_first_not_of(allowed) != std::string::npos) return false;
        spec->conv = c;
    }
    return found == 1;
}

// The format named by a format variable if it is a safe string, else nullptr.
const char *userformat(node sym, bool isfloat, convspec *spec) {
    node fmt = getvalue(sym);
    if (!stringp(fmt) || !getstring(fmt)) return nullptr;
    return checkformat(getstring(fmt), isfloat, spec) ? getstring(fmt) : nullptr;
}

[[gnu::noinline]] void putfixnum(node fptr, int32_t v) {
    convspec spec;
    const char *fmt = userformat(s_ifmt, false, &spec);
    if (!fmt) {
        putformatted(fptr, "%d", v);
        return;
    }
    bool isunsigned = strchr("ouxX", spec.conv) != nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    if (spec.longarg && isunsigned) putformatted(fptr, fmt, (unsigned long)(uint32_t)v);
    else if (spec.longarg) putformatted(fptr, fmt, (long)v);
    else if (isunsigned) putformatted(fptr, fmt, (unsigned)v);
    else putformatted(fptr, fmt, (int)v);
#pragma GCC diagnostic pop
}

[[gnu::noinline]] void putflonum(node fptr, float f) {
    convspec spec;
    const char *fmt = userformat(s_ffmt, true, &spec);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    putformatted(fptr, fmt ? fmt : "%g", (double)f);
#pragma GCC diagnostic pop
}

// ---------------------------------------------------- other atoms
void putchcode(node fptr, int ch, bool escape) {
    if (!escape) {
        ksputc(fptr, ch);
    } else if (ch == '\n') {
        ksputstr(fptr, "#\\Newline");
    } else if (ch == ' ') {
        ksputstr(fptr, "#\\Space");
    } else {
        ksputstr(fptr, "#\\");
        ksputc(fptr, ch);
    }
}

void putstringbytes(node fptr, node str) {
    if (getstring(str) && getslength(str) > 0)
        putbytes(fptr, getstring(str), (size_t)getslength(str) - 1);
}

// Names of the funtab1 rows that have no Lisp name.
const char *unnamedrow(int row) {
    static constexpr const char *names[] = {
        "rmhash", "rmquote", "rmdquote", "rmbquote", "rmcomma", "rmlpar",
        "rmrpar", "rmsemi", nullptr, nullptr, "CLASS:NEW", "CLASS:ISNEW",
        "CLASS:ANSWER", "OBJECT:ISNEW", "OBJECT:CLASS", "OBJECT:SHOW"};
    return row >= 0 && row < (int)(sizeof names / sizeof names[0]) ? names[row] : nullptr;
}

// The name of a built-in from its table row; message handlers (table 0) are
// rows of funtab1 without a Lisp name. nullptr when nothing fits.
const char *subrname(node x) {
    int tab = x->b.s.tab, row = x->b.s.row;
    const funrow *table = ksfuntab(tab == 0 ? 1 : tab);
    if (!table || row < 0) return nullptr;
    for (int i = 0; i < row; ++i)
        if (!table[i].fn) return nullptr;   // row beyond the end of the table
    const funrow &r = table[row];
    if (!r.fn) return nullptr;
    if (tab != 0 && r.name) return r.name;
    return r.fn == getsubr(x) ? unnamedrow(row) : nullptr;
}

void putclosure(node fptr, node x) {
    node name = getelement(x, CL_NAME);
    if (symbolp(name)) {
        ksputstr(fptr, "#<Closure-");
        ksputstr(fptr, symname(name));
        putformatted(fptr, ": #%p>", (void *)x);
    } else {
        putatm(fptr, "Closure", x);
    }
}

void putlist(node fptr, node x, bool escape) {
    prnest nest;
    ksputc(fptr, '(');
    for (;;) {
        ksprint(fptr, car(x), escape);
        x = cdr(x);
        if (!consp(x)) break;
        ksputc(fptr, ' ');
    }
    if (x) {
        ksputstr(fptr, " . ");
        ksprint(fptr, x, escape);
    }
    ksputc(fptr, ')');
}

void putvector(node fptr, node x, bool escape) {
    prnest nest;
    ksputstr(fptr, "#(");
    for (int i = 0, n = getsize(x); i < n; ++i) {
        if (i) ksputc(fptr, ' ');
        ksprint(fptr, getelement(x, i), escape);
    }
    ksputc(fptr, ')');
}

bool downcasing() { return getvalue(s_printcase) == k_downcase; }

bool constituent(node e) { return e == k_const; }
bool tokenchar(node e) { return e == k_const || (consp(e) && car(e) == k_nmacro); }

node rtentry(int ch) {
    node rt = getvalue(s_readtable);
    if (!vectorp(rt) || ch >= getsize(rt)) return NIL;
    return getelement(rt, ch);
}

}  // namespace

// ------------------------------------------------------------ entry points
void ksprint(node fptr, node val, bool escape) {
    ksunwindframe unwound;   // nesting records and formatted strings
    struct printrun {
        printrun() { if (ksprinting++ == 0) ksprinted = 0; }
        ~printrun() { --ksprinting; }
    } run;
    switch (ntype(val)) {
    case FREE:
        if (val) putatm(fptr, "Free", val);
        else if (escape) putsymbol(fptr, "NIL", true);
        else ksputstr(fptr, "NIL");
        break;
    case SUBR: putsubr(fptr, "Subr", val); break;
    case FSUBR: putsubr(fptr, "FSubr", val); break;
    case CONS: putlist(fptr, val, escape); break;
    case SYMBOL: putsymbol(fptr, symname(val), escape); break;
    case FIXNUM: putfixnum(fptr, getfixnum(val)); break;
    case FLONUM: putflonum(fptr, getflonum(val)); break;
    case STRING:
        if (escape) putqstring(fptr, val);
        else putstringbytes(fptr, val);
        break;
    case CHAR: putchcode(fptr, getchcode(val) & 0xFF, escape); break;
    case VECTOR: putvector(fptr, val, escape); break;
    case CLOSURE: putclosure(fptr, val); break;
    case OBJECT: putatm(fptr, "Object", val); break;
    case STREAM: putatm(fptr, "File-Stream", val); break;
    case USTREAM: putatm(fptr, "Unnamed-Stream", val); break;
    case STRUCT: {
        prnest nest;
        ksprstruct(fptr, val, escape);
        break;
    }
    case BIN: putformatted(fptr, "b%d", getimage(val)); break;
    case GREY: putformatted(fptr, "g%d", getimage(val)); break;
    case COL: putformatted(fptr, "c%d", getimage(val)); break;
    default: putatm(fptr, "Foo", val); break;
    }
}

int flsize(node val) {
    ksfsize = 0;
    ksprint(NIL, val, true);
    return ksfsize;
}

// A symbol name with escapes: between bars when it holds characters that
// would not read back as one plain token, else plain with a backslash in
// front of names that would read as numbers or begin with '.' or '#'.
void putsymbol(node fptr, const char *name, bool escape) {
    if (!escape) {
        ksputstr(fptr, name);
        return;
    }
    if (constituent(rtentry((unsigned char)name[0]))) {
        for (const char *p = name; *p; ++p) {
            unsigned char ch = (unsigned char)*p;
            if ((ch >= 'a' && ch <= 'z') || !tokenchar(rtentry(ch))) {
                ksputc(fptr, '|');
                for (const char *q = name; *q; ++q) {
                    if (*q == '\\' || *q == '|') ksputc(fptr, '\\');
                    ksputc(fptr, (unsigned char)*q);
                }
                ksputc(fptr, '|');
                return;
            }
        }
    }
    if (name[0] == '.' || name[0] == '#' || isnumber(name, nullptr)) ksputc(fptr, '\\');
    bool lower = downcasing();
    for (const char *p = name; *p; ++p) {
        int ch = (unsigned char)*p;
        if (ch == '\\' || ch == '|') ksputc(fptr, '\\');
        if (lower && ch >= 'A' && ch <= 'Z') ch += 'a' - 'A';
        ksputc(fptr, ch);
    }
}

// A string between double quotes with the escapes the reader understands,
// so that reading the output gives the same bytes back.
void putqstring(node fptr, node str) {
    ksputc(fptr, '"');
    const char *s = getstring(str);
    int32_t n = s ? getslength(str) - 1 : 0;
    for (int32_t i = 0; i < n; ++i) {
        int ch = (unsigned char)s[i];
        switch (ch) {
        case '\\': ksputstr(fptr, "\\\\"); break;
        case '"': ksputstr(fptr, "\\\""); break;
        case '\t': ksputstr(fptr, "\\t"); break;
        case '\n': ksputstr(fptr, "\\n"); break;
        case '\f': ksputstr(fptr, "\\f"); break;
        case '\r': ksputstr(fptr, "\\r"); break;
        default:
            if (ch < 32) putformatted(fptr, "\\%03o", ch);
            else ksputc(fptr, ch);
            break;
        }
    }
    ksputc(fptr, '"');
}

void putsubr(node fptr, const char *kind, node val) {
    const char *name = subrname(val);
    if (!name) {
        putatm(fptr, kind, val);
        return;
    }
    putformatted(fptr, "#<%s-%s: #%p>", kind, name, (void *)val);
}

void putatm(node fptr, const char *kind, node val) {
    putformatted(fptr, "#<%s: #%p>", kind, (void *)val);
}

void ksterpri(node fptr) { ksputc(fptr, '\n'); }

void kscrpri(node fptr) { ksputc(fptr, '\r'); }

void ksputstr(node fptr, const char *str) {
    while (*str) ksputc(fptr, (unsigned char)*str++);
}
