// Strings and characters: comparison, case conversion, trimming,
// concatenation, substrings and the character functions.
//
// Only the ASCII letters have case (the "C" locale's classes), and string
// bytes compare as signed 8-bit values.
#include "interp/ks.h"

#include <climits>
#include <cstring>


namespace {

bool isupperc(int c) { return c >= 'A' && c <= 'Z'; }
bool islowerc(int c) { return c >= 'a' && c <= 'z'; }
bool isdigitc(int c) { return c >= '0' && c <= '9'; }
int toupperc(int c) { return islowerc(c) ? c - 'a' + 'A' : c; }
int tolowerc(int c) { return isupperc(c) ? c - 'A' + 'a' : c; }

node boolnode(bool b) { return b ? s_true : NIL; }

int32_t strlength(node s) { return getslength(s) - 1; }

// A half-open range of character positions within a string.
struct range {
    int32_t start, end;
};

// One index keyword of a range: it must lie in 0..len.
int32_t rangeindex(node key, int32_t dflt, int32_t len) {
    node v;
    if (!ksgetkeyarg(key, &v)) return dflt;
    if (!fixp(v)) ksbadtype(v);
    int32_t i = getfixnum(v);
    if (i < 0 || i > len) kserror("string index out of bounds", v);
    return i;
}

// The range of str given by its start and end keywords (whole string by
// default).
range strrange(node str, node kstart, node kend) {
    int32_t len = strlength(str);
    range r;
    r.start = rangeindex(kstart, 0, len);
    r.end = rangeindex(kend, len, len);
    if (r.end < r.start) kserror("starting index error", cvfixnum(r.start));
    return r;
}

// The byte at i as the signed value strings compare by, folded to lower
// case for the case-insensitive forms.
int cmpchar(const char *s, int32_t i, bool fold) {
    signed char c = s[i];
    if (fold && isupperc(c)) c = (signed char)tolowerc(c);
    return c;
}

// STRING=, STRING/=, STRING<, STRING<=, STRING>, STRING>= ('=', '#', '<',
// 'L', '>', 'G') and their case-folding forms.
node strcompare(int op, bool fold) {
    node s1 = ksargstr();
    node s2 = ksargstr();
    range r1 = strrange(s1, k_start1, k_end1);
    range r2 = strrange(s2, k_start2, k_end2);
    kskeysdone();
    const char *p1 = getstring(s1), *p2 = getstring(s2);
    int32_t i1 = r1.start, i2 = r2.start;
    for (; i1 < r1.end && i2 < r2.end; ++i1, ++i2) {
        int c1 = cmpchar(p1, i1, fold), c2 = cmpchar(p2, i2, fold);
        if (c1 == c2) continue;
        bool holds;
        switch (op) {
        case '=': return NIL;
        case '#': holds = true; break;
        case '<': case 'L': holds = c1 < c2; break;
        default: holds = c1 > c2; break;   // '>', 'G'
        }
        return holds ? cvfixnum(i1) : NIL;
    }
    bool end1 = i1 >= r1.end, end2 = i2 >= r2.end;
    bool holds;
    switch (op) {
    case '=': return boolnode(end1 && end2);
    case '#': holds = !(end1 && end2); break;
    case '<': holds = end1 && !end2; break;
    case '>': holds = end2 && !end1; break;
    case 'L': holds = end1; break;
    default: holds = end2; break;   // 'G'
    }
    return holds ? cvfixnum(i1) : NIL;
}

// STRING-UPCASE and friends: the letters of the range converted, in a new
// string or in place.
node changecase(bool upcase, bool inplace) {
    node str = ksargstr();
    range r = strrange(str, k_start, k_end);
    kskeysdone();
    node out = inplace ? str : cvstringn(getstring(str), strlength(str));
    char *p = getstring(out);
    for (int32_t i = r.start; i < r.end; ++i) {
        unsigned char c = (unsigned char)p[i];
        p[i] = (char)(upcase ? toupperc(c) : tolowerc(c));
    }
    return out;
}

// STRING-TRIM and its one-sided forms: a new string without the characters
// of the bag at the chosen ends.
node trim(bool left, bool right) {
    node bag = ksargstr();
    node str = ksargstr();
    kslastarg();
    const char *b = getstring(bag), *p = getstring(str);
    size_t blen = (size_t)strlength(bag);
    int32_t i = 0, j = strlength(str);
    if (left)
        while (i < j && memchr(b, p[i], blen)) ++i;
    if (right)
        while (j > i && memchr(b, p[j - 1], blen)) --j;
    return cvstringn(p + i, j - i);
}

// CHAR< ... CHAR-GREATERP: each character against the one before it.
node chrcompare(int op, bool fold) {
    node prev = ksargchar();
    while (moreargs()) {
        node x = nextarg();
        if (!charp(x)) ksbadtype(x);
        int a = getchcode(prev), b = getchcode(x);
        if (fold) {
            a = tolowerc(a);
            b = tolowerc(b);
        }
        bool holds;
        switch (op) {
        case '<': holds = a < b; break;
        case 'L': holds = a <= b; break;
        case '=': holds = a == b; break;
        case '#': holds = a != b; break;
        case 'G': holds = a >= b; break;
        default: holds = a > b; break;   // '>'
        }
        if (!holds) return NIL;
        prev = x;
    }
    return s_true;
}

int chararg() {
    node c = ksargchar();
    kslastarg();
    return getchcode(c);
}

}  // namespace

// ------------------------------------------------------------ comparison
node xstreql() { return strcompare('=', false); }
node xstrneq() { return strcompare('#', false); }
node xstrlss() { return strcompare('<', false); }
node xstrleq() { return strcompare('L', false); }
node xstrgtr() { return strcompare('>', false); }
node xstrgeq() { return strcompare('G', false); }
node xstrieql() { return strcompare('=', true); }
node xstrineq() { return strcompare('#', true); }
node xstrilss() { return strcompare('<', true); }
node xstrileq() { return strcompare('L', true); }
node xstrigtr() { return strcompare('>', true); }
node xstrigeq() { return strcompare('G', true); }

// ------------------------------------------------------------ case and trimming
node xupcase() { return changecase(true, false); }
node xdowncase() { return changecase(false, false); }
node xnupcase() { return changecase(true, true); }
node xndowncase() { return changecase(false, true); }

node xtrim() { return trim(true, true); }
node xlefttrim() { return trim(true, false); }
node xrighttrim() { return trim(false, true); }

// ------------------------------------------------------------ building strings
node xstrcat() {
    int64_t length = 0;
    for (int i = 0; i < ksargc; ++i) {
        if (!stringp(ksargv[i])) ksbadtype(ksargv[i]);
        length += strlength(ksargv[i]);
    }
    if (length >= INT32_MAX) ksfail("insufficient string space");
    node out = newstring((int32_t)length + 1);
    char *p = getstring(out);
    while (moreargs()) {
        node s = nextarg();
        int32_t n = strlength(s);
        memcpy(p, getstring(s), (size_t)n);
        p += n;
    }
    *p = '\0';
    return out;
}

// (subseq string start [end]); an end below the start is refused like a
// reversed keyword range.
node xsubseq() {
    node str = ksargstr();
    node start = ksargfix();
    node end = moreargs() ? ksargfix() : NIL;
    kslastarg();
    int32_t len = strlength(str);
    int32_t s = getfixnum(start);
    if (s < 0 || s > len) kserror("string index out of bounds", start);
    int32_t e = len;
    if (end) {
        e = getfixnum(end);
        if (e < 0 || e > len) kserror("string index out of bounds", end);
    }
    if (e < s) kserror("starting index error", start);
    return cvstringn(getstring(str) + s, e - s);
}

node xstring() {
    node x = ksarg();
    kslastarg();
    if (stringp(x)) return x;
    if (symbolp(x)) return getpname(x);
    if (charp(x)) {
        char c = (char)getchcode(x);
        return cvstringn(&c, 1);
    }
    ksbadtype(x);
}

node xchar() {
    node str = ksargstr();
    node index = ksargfix();
    kslastarg();
    int32_t i = getfixnum(index);
    if (i < 0 || i >= strlength(str)) kserror("index out of range", index);
    return cvchar((unsigned char)getstring(str)[i]);
}

// ------------------------------------------------------------ characters
node xcharcode() { return cvfixnum(chararg()); }
node xcharint() { return cvfixnum(chararg()); }

// The character of a code; there is none outside 0..255, which gives NIL.
static node codechar() {
    node n = ksargfix();
    kslastarg();
    int32_t c = getfixnum(n);
    return c >= 0 && c <= 255 ? cvchar(c) : NIL;
}
node xcodechar() { return codechar(); }
node xintchar() { return codechar(); }

node xuppercasep() { return boolnode(isupperc(chararg())); }
node xlowercasep() { return boolnode(islowerc(chararg())); }
node xbothcasep() {
    int c = chararg();
    return boolnode(isupperc(c) || islowerc(c));
}
node xalphanumericp() {
    int c = chararg();
    return boolnode(isupperc(c) || islowerc(c) || isdigitc(c));
}

node xdigitp() {
    int c = chararg();
    return isdigitc(c) ? cvfixnum(c - '0') : NIL;
}

node xdigitchar() {
    node n = ksargfix();
    kslastarg();
    int32_t d = getfixnum(n);
    return d >= 0 && d <= 9 ? cvchar('0' + d) : NIL;
}

node xchupcase() {
    node c = ksargchar();
    kslastarg();
    int code = getchcode(c);
    return islowerc(code) ? cvchar(toupperc(code)) : c;
}

node xchdowncase() {
    node c = ksargchar();
    kslastarg();
    int code = getchcode(c);
    return isupperc(code) ? cvchar(tolowerc(code)) : c;
}

node xchrlss() { return chrcompare('<', false); }
node xchrleq() { return chrcompare('L', false); }
node xchreql() { return chrcompare('=', false); }
node xchrneq() { return chrcompare('#', false); }
node xchrgeq() { return chrcompare('G', false); }
node xchrgtr() { return chrcompare('>', false); }
node xchrilss() { return chrcompare('<', true); }
node xchrileq() { return chrcompare('L', true); }
node xchrieql() { return chrcompare('=', true); }
node xchrineq() { return chrcompare('#', true); }
node xchrigeq() { return chrcompare('G', true); }
node xchrigtr() { return chrcompare('>', true); }
