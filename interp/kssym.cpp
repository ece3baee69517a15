// The symbol table, variable and function lookup through the environments,
// property lists, built-in registration, argument helpers and equality.
#include "ks.h"

#include <cstring>
#include <string>
#include <vector>

node obarray;
node ksenv, ksfenv, ksdenv;
node ksvalue;

enum { HSIZE = 199 };

int hash(const char *name, int size) {
    uint32_t h = 0;
    for (const char *p = name; *p; ++p) h = (h << 2) ^ (uint32_t)(int32_t)(signed char)*p;
    if (size <= 0) return 0;
    int64_t r = (int64_t)(int32_t)h % size;
    return (int)(r < 0 ? -r : r);
}

void kssinit() {
    obarray = cvsymbol("*OBARRAY*");
    ksguard g(&obarray);
    node table = newvector(HSIZE);
    setvalue(obarray, table);
    int i = hash("*OBARRAY*", HSIZE);
    setelement(table, i, cons(obarray, getelement(table, i)));
}

static node keywordize(node sym) {
    if (symname(sym)[0] == ':') setvalue(sym, sym);
    return sym;
}

node ksmakesym(const char *name) { return keywordize(cvsymbol(name)); }

node ksenter(const char *name) {
    if (strcmp(name, "NIL") == 0) return NIL;
    int i = hash(name, HSIZE);
    node table = getvalue(obarray);
    for (node p = getelement(table, i); p; p = cdr(p))
        if (strcmp(name, symname(car(p))) == 0) return car(p);
    node sym = ksmakesym(name);
    ksguard g(&sym);
    table = getvalue(obarray);
    setelement(table, i, cons(sym, getelement(table, i)));
    return sym;
}

// ----------------------------------------------------------- environments
// A variable frame is a list of (symbol . value) bindings, or, for a method
// call, the pair (object . class) whose car is an OBJECT.
static bool objframe(node frame) { return consp(frame) && objectp(car(frame)); }

// The binding cell of sym in env, or NIL.
static node findbinding(node env, node sym, node *objpair) {
    for (; env; env = cdr(env)) {
        node frame = car(env);
        if (objframe(frame)) {
            if (objpair) {
                node v;
                if (ksobgetvalue(frame, sym, &v)) { *objpair = frame; return NIL; }
            }
            continue;
        }
        for (; frame; frame = cdr(frame))
            if (car(car(frame)) == sym) return car(frame);
    }
    return NIL;
}

node ksxgetvalue(node sym) {
    for (node env = ksenv; env; env = cdr(env)) {
        node frame = car(env);
        if (objframe(frame)) {
            node v;
            if (ksobgetvalue(frame, sym, &v)) return v;
            continue;
        }
        for (; frame; frame = cdr(frame))
            if (car(car(frame)) == sym) return cdr(car(frame));
    }
    return getvalue(sym);
}

node ksgetvalue(node sym) {
    node v;
    while ((v = ksxgetvalue(sym)) == s_unbound)
        kscerror("try evaluating symbol again", "unbound variable", sym);
    return v;
}

void kssetvalue(node sym, node val) {
    node objpair = NIL;
    node b = findbinding(ksenv, sym, &objpair);
    if (b) rplacd(b, val);
    else if (objpair) ksobsetvalue(objpair, sym, val);
    else setvalue(sym, val);
}

node ksxgetfunction(node sym) {
    node b = findbinding(ksfenv, sym, nullptr);
    return b ? cdr(b) : getfunction(sym);
}

node ksgetfunction(node sym) {
    node v;
    while ((v = ksxgetfunction(sym)) == s_unbound)
        kscerror("try evaluating symbol again", "unbound function", sym);
    return v;
}

void kssetfunction(node sym, node val) {
    node b = findbinding(ksfenv, sym, nullptr);
    if (b) rplacd(b, val);
    else setfunction(sym, val);
}

// ----------------------------------------------------------- property lists
node findprop(node sym, node prop) {
    for (node p = getplist(sym); consp(p) && consp(cdr(p)); p = cdr(cdr(p)))
        if (car(p) == prop) return cdr(p);
    return NIL;
}

node ksgetprop(node sym, node prop) {
    node p = findprop(sym, prop);
    return p ? car(p) : NIL;
}

void ksputprop(node sym, node val, node prop) {
    node p = findprop(sym, prop);
    if (p) { rplaca(p, val); return; }
    ksguard g(&sym, &val, &prop);
    node rest = cons(val, getplist(sym));
    setplist(sym, cons(prop, rest));
}

void ksremprop(node sym, node prop) {
    node prev = NIL;
    for (node p = getplist(sym); consp(p) && consp(cdr(p)); prev = cdr(p), p = cdr(cdr(p))) {
        if (car(p) == prop) {
            if (prev) rplacd(prev, cdr(cdr(p)));
            else setplist(sym, cdr(cdr(p)));
            return;
        }
    }
}

// ----------------------------------------------------------- registration
void kssubr(const char *name, int type, subrfn fn, int row, int tab) {
    node sym = ksenter(name);
    ksguard g(&sym);
    setfunction(sym, cvsubr(fn, type, row, tab));
}

const funrow *ksfuntab(int tab) {
    switch (tab) {
    case 1: return funtab1;
    case 2: return funtab2;
    case 3: return funtab3;
    default: return nullptr;
    }
}

node xnotimp() { ksfail("function not implemented"); }

// ----------------------------------------------------------- argument helpers
[[noreturn]] void ksbadtype(node arg) { kserror("bad argument type", arg); }
[[noreturn]] void kstoofew() { ksfail("too few arguments"); }
[[noreturn]] void kstoomany() { ksfail("too many arguments"); }

bool ksgetkeyarg(node key, node *val) {
    for (int i = 0; i + 1 < ksargc; i += 2) {
        if (ksargv[i] == key) { *val = ksargv[i + 1]; return true; }
    }
    return false;
}

bool ksgkfixnum(node key, int32_t *val) {
    node v;
    if (!ksgetkeyarg(key, &v)) return false;
    if (!fixp(v)) ksbadtype(v);
    *val = getfixnum(v);
    return true;
}

void kstest(node *fn, bool *sense) {
    node f;
    if (ksgetkeyarg(k_test, &f)) { *fn = f; *sense = true; return; }
    if (ksgetkeyarg(k_tnot, &f)) { *fn = f; *sense = false; return; }
    *fn = getfunction(s_eql);
    *sense = true;
}

node ksgetfile() {
    node f = ksarg();
    if (!f || ustreamp(f)) return f;
    if (streamp(f)) {
        if (!getfile(f)) kserror("file not open", f);
        return f;
    }
    ksbadtype(f);
}

node ksgetfname() {
    node n = ksarg();
    if (stringp(n)) return n;
    if (symbolp(n)) return getpname(n);
    ksbadtype(n);
}

bool needsextension(const char *name) {
    size_t n = strlen(name);
    for (size_t i = n; i > 0; --i) {
        unsigned char c = (unsigned char)name[i - 1];
        if (c == '.') return false;
        if (!isalnum(c)) return true;
    }
    return true;
}

// ----------------------------------------------------------- equality
bool eq(node a, node b) { return a == b; }

bool eql(node a, node b) {
    if (a == b) return true;
    if (!a || !b || a->n_type != b->n_type) return false;
    if (a->n_type == FIXNUM) return getfixnum(a) == getfixnum(b);
    if (a->n_type == FLONUM) return getflonum(a) == getflonum(b);
    return false;
}

// Compares two atoms (or a cons with anything) without descending.
static int equal_atoms(node a, node b) {   // 1 equal, 0 differ, -1 both conses
    if (a == b) return 1;
    if (!a || !b) return 0;
    int t = a->n_type;
    if (t == CONS) return b->n_type == CONS ? -1 : 0;
    if (t != b->n_type) {
        if (imagep(a) && imagep(b)) return 0;
        return 0;
    }
    switch (t) {
    case FIXNUM: return getfixnum(a) == getfixnum(b);
    case FLONUM: return getflonum(a) == getflonum(b);
    case STRING: return strcmp(getstring(a), getstring(b)) == 0;
    case BIN: case GREY: case COL: case LGREY: case FGREY:
        return getimage(a) == getimage(b);
    default: return 0;
    }
}

// Iterative over the cdr, with an explicit stack of pending car pairs, so
// that neither long nor deeply nested lists use the machine stack.
bool equal(node a, node b) {
    std::vector<std::pair<node, node>> pending;
    pending.emplace_back(a, b);
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        for (;;) {
            int r = equal_atoms(x, y);
            if (r == 1) break;
            if (r == 0) return false;
            pending.emplace_back(car(x), car(y));
            x = cdr(x);
            y = cdr(y);
        }
    }
    return true;
}
