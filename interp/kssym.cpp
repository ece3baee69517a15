// The symbol table, variable and function lookup through the environments,
// property lists, built-in registration, argument helpers and equality.
#include "interp/ks.h"

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
    ksgoodtable = table;
    int i = hash("*OBARRAY*", HSIZE);
    setelement(table, i, cons(obarray, getelement(table, i)));
}

static node keywordize(node sym) {
    if (symname(sym)[0] == ':') setvalue(sym, sym);
    return sym;
}

node ksmakesym(const char *name) { return keywordize(cvsymbol(name)); }

// The last table seen sound: the reader falls back on it when a user puts
// something else into *OBARRAY*. And every symbol that exists once start-up
// is done, in a list of its own: the interpreter holds many of them in C++
// globals, so they must outlive whatever a user does to the table. Both are
// collector roots.
node ksgoodtable, kspinned;

void kspinsymbols() {
    node table = getvalue(obarray);
    kspinned = NIL;
    for (int i = 0; i < HSIZE; ++i)
        for (node p = getelement(table, i); p; p = cdr(p)) kspinned = cons(car(p), kspinned);
}

// A user may set *OBARRAY* to anything. The reader only trusts a VECTOR of
// HSIZE buckets; anything else is replaced by the last sound table, and
// then the error is reported, so that the break loop and the top level read
// with a usable table again.
static node symboltable() {
    node table = getvalue(obarray);
    if (vectorp(table) && getsize(table) == HSIZE) return ksgoodtable = table;
    setvalue(obarray, ksgoodtable);
    kserror("bad obarray", table);
}

// Bucket i rebuilt after a bad cell: the good cells before it, then the
// start-up symbols of the bucket that they lack.
static void repairbucket(node table, int i, node prev) {
    if (prev) rplacd(prev, NIL); else setelement(table, i, NIL);
    node sym = NIL;
    ksguard g(&table, &prev, &sym);
    for (node p = kspinned; p; p = cdr(p)) {
        sym = car(p);
        if (hash(symname(sym), HSIZE) != i) continue;
        node q = getelement(table, i);
        while (q && car(q) != sym) q = cdr(q);
        if (q) continue;
        node cell = cons(sym, NIL);
        if (prev) rplacd(prev, cell); else setelement(table, i, cell);
        prev = cell;
    }
}

// The symbol named name in bucket i, or NIL. A bucket must be a proper list
// of symbols; a bad cell (not a cons, not a symbol in its car, or the start
// of a cycle) is repaired, and then the error is reported.
static node findinbucket(node table, int i, const char *name) {
    node prev = NIL, slow = getelement(table, i);
    bool step = false;
    for (node p = slow; p; prev = p, p = cdr(p)) {
        node bad = !consp(p) ? p : !symbolp(car(p)) ? car(p) : NIL;
        bool cycle = !bad && prev && p == slow;
        if (bad || cycle) {
            ksguard g(&bad);
            repairbucket(table, i, prev);
            if (cycle) ksfail("bad obarray");
            kserror("bad obarray", bad);
        }
        if (strcmp(name, symname(car(p))) == 0) return car(p);
        if (step) slow = cdr(slow);   // half the speed of p
        step = !step;
    }
    return NIL;
}

node ksenter(const char *name) {
    if (strcmp(name, "NIL") == 0) return NIL;
    int i = hash(name, HSIZE);
    node table = symboltable();
    if (node sym = findinbucket(table, i, name)) return sym;
    node sym = ksmakesym(name);
    ksguard g(&sym, &table);
    setelement(table, i, cons(sym, getelement(table, i)));
    return sym;
}

// ----------------------------------------------------------- environments
// A variable frame is a list of (symbol . value) bindings, or, for a method
// call, the pair (object . class) whose car is an OBJECT.
static bool objframe(node frame) { return consp(frame) && objectp(car(frame)); }

// The binding cell of sym in env, or NIL.
static node findbinding(node env, node sym, node *objpair) {
    for (; consp(env); env = cdr(env)) {
        node frame = car(env);
        if (objframe(frame)) {
            if (objpair) {
                node v;
                if (ksobgetvalue(frame, sym, &v)) { *objpair = frame; return NIL; }
            }
            continue;
        }
        for (; consp(frame); frame = cdr(frame))
            if (consp(car(frame)) && car(car(frame)) == sym) return car(frame);
    }
    return NIL;
}

node ksxgetvalue(node sym) {
    for (node env = ksenv; consp(env); env = cdr(env)) {
        node frame = car(env);
        if (objframe(frame)) {
            node v;
            if (ksobgetvalue(frame, sym, &v)) return v;
            continue;
        }
        for (; consp(frame); frame = cdr(frame))
            if (consp(car(frame)) && car(car(frame)) == sym) return cdr(car(frame));
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
    node subr = cvsubr(fn, type, row, tab);
    if (ksplainsubr(fn)) subr->n_flags |= PLAIN;
    setfunction(sym, subr);
}

// The function tables by number: funtab1 is the interpreter's own, the
// others are what the program adds (ksaddfuntab).
static const funrow *funtabs[4] = {nullptr, funtab1, nullptr, nullptr};

void ksaddfuntab(int tab, const funrow *rows) {
    if (tab == 2 || tab == 3) funtabs[tab] = rows;
}

const funrow *ksfuntab(int tab) { return tab >= 1 && tab <= 3 ? funtabs[tab] : nullptr; }

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

const char *ksfilename(node s) {
    const char *text = getstring(s);
    return strlen(text) + 1 == size_t(getslength(s)) ? text : nullptr;
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
// that neither long nor deeply nested lists use the machine stack. Atoms in
// the cars are compared at once; only pairs of conses wait on the stack.
// The walk of a circular structure never ends by itself: it lets a user
// break in, and its stack, which for any finite structure holds fewer pairs
// than there are nodes, is not let to grow beyond that.
bool equal(node a, node b) {
    std::vector<std::pair<node, node>> pending;
    pending.emplace_back(a, b);
    breakpoll poll;
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        for (;;) {
            poll.tick();
            int r = equal_atoms(x, y);
            if (r == 1) break;
            if (r == 0) return false;
            r = equal_atoms(car(x), car(y));
            if (r == 0) return false;
            if (r == -1) {
                if ((int64_t)pending.size() >= nnodes) ksfail("insufficient memory");
                pending.emplace_back(car(x), car(y));
            }
            x = cdr(x);
            y = cdr(y);
        }
    }
    return true;
}
