// Nodes, segments, the two interpreter stacks and the mark-and-sweep collector.
#include "interp/ks.h"

#include <cstdlib>
#include <cstring>
#include <vector>

// A segment: header followed by its nodes; segments are never freed.
struct segment {
    int32_t count;
    segment *next;
    nodeS *nodes() { return reinterpret_cast<nodeS *>(this + 1); }
};
static_assert(sizeof(segment) % alignof(nodeS) == 0);

node fnodes;
int64_t nfree, nnodes, total;
int32_t nsegs, anodes, gccalls;
int freeall;

node **ksstkbase, **ksstktop, **ksstack, **kslimit;
node *ksargstkbase, *ksargstktop, *kssp, *ksfp;

static segment *segs, *lastseg, *fixseg, *charseg;

enum { EVSTACK_BYTES = 32000, ARGSTACK_BYTES = 16000, EVSTACK_RESERVE = 200 };
enum { FIX_LOW = -128, FIX_HIGH = 255 };

// The report of an overflow may use the reserve; the limit is set back when
// the abort lands (ksrestore). Overflowing the reserve too cannot be reported.
[[noreturn]] void ksstkoverflow() {
    if (kslimit == ksstkbase) ksfatal("evaluation stack overflow");
    kslimit = ksstkbase;
    ksabort("evaluation stack overflow");
}

void ksstkreserve() { kslimit = ksstkbase + EVSTACK_RESERVE; }
[[noreturn]] void ksargstkoverflow() { ksabort("argument stack overflow"); }

segment *newsegment(int32_t n) {
    size_t bytes = sizeof(segment) + (size_t)n * sizeof(nodeS);
    segment *seg = static_cast<segment *>(calloc(1, bytes));
    if (!seg) return nullptr;
    seg->count = n;
    if (lastseg) lastseg->next = seg; else segs = seg;
    lastseg = seg;
    total += (int64_t)bytes;
    nnodes += n;
    ++nsegs;
    return seg;
}

int addseg() {
    if (anodes <= 0) return 0;
    segment *seg = newsegment(anodes);
    if (!seg) return 0;
    nodeS *p = seg->nodes();
    for (int32_t i = 0; i < seg->count; ++i) {
        p[i].n_type = FREE;
        p[i].b.cdr = fnodes;
        fnodes = &p[i];
    }
    nfree += seg->count;
    return 1;
}

// After a collection, segments are added while fewer than anodes nodes are
// free, and also while less than a quarter of all nodes is free: adding a
// single segment per collection would make a growing heap collect once per
// anodes allocations, so that building a long list costs time quadratic in
// its length.
void findmem() {
    gc();
    while (nfree < anodes || nfree < nnodes / 4)
        if (!addseg()) break;
}

// ------------------------------------------------------------ allocation
node newnode(int type) {
#ifdef KS_GC_STRESS
    findmem();
#endif
    if (!fnodes) {
        findmem();
        if (!fnodes) ksabort("insufficient node space");
    }
    node n = fnodes;
    fnodes = n->b.cdr;
    --nfree;
    n->n_type = (uint8_t)type;
    n->n_flags = 0;
    n->a.raw = 0;
    n->b.raw = 0;
    return n;
}

node cons(node a, node d) {
    ksguard g(&a, &d);
    node n = newnode(CONS);
    n->a.car = a;
    n->b.cdr = d;
    return n;
}

node cvfixnum(int32_t v) {
    if (v >= FIX_LOW && v <= FIX_HIGH) return &fixseg->nodes()[v - FIX_LOW];
    node n = newnode(FIXNUM);
    n->a.i = v;
    return n;
}

node cvflonum(float f) {
    node n = newnode(FLONUM);
    n->a.f = f;
    return n;
}

node cvchar(int c) { return &charseg->nodes()[c & 255]; }

char *stralloc(int32_t n) {
    if (n < 1) n = 1;
    char *p = static_cast<char *>(malloc((size_t)n));
    if (!p) {
        gc();
        p = static_cast<char *>(malloc((size_t)n));
        if (!p) ksfail("insufficient string space");
    }
    total += n;
    return p;
}

void strfree(char *p, int32_t n) {
    free(p);
    total -= n < 1 ? 1 : n;
}

node newstring(int32_t n) {
    if (n < 1) n = 1;
    node s = newnode(STRING);
    ksguard g(&s);
    s->b.str = stralloc(n);
    s->b.str[0] = '\0';
    s->a.size = n;
    return s;
}

node cvstringn(const char *str, int32_t n) {
    node s = newstring(n + 1);
    memcpy(s->b.str, str, (size_t)n);
    s->b.str[n] = '\0';
    return s;
}

node cvstring(const char *str) { return cvstringn(str, (int32_t)strlen(str)); }

node newvectorlike(int type, int32_t n) {
    if (n < 0) ksfail("insufficient vector space");
    node v = newnode(type);
    if (n == 0) return v;
    ksguard g(&v);
    void *p = calloc((size_t)n, sizeof(node));
    if (!p) {
        gc();
        if (anodes > nfree) addseg();
        p = calloc((size_t)n, sizeof(node));
        if (!p) ksfail("insufficient vector space");
    }
    total += (int64_t)n * (int64_t)sizeof(node);
    v->b.data = static_cast<node *>(p);
    v->a.size = n;
    return v;
}

node newvector(int32_t n) { return newvectorlike(VECTOR, n); }

node newstruct(node type, int32_t n) {
    ksguard g(&type);
    node s = newvectorlike(STRUCT, n + 1);
    setelement(s, 0, type);
    return s;
}

node newobject(node cls, int32_t n) {
    ksguard g(&cls);
    node o = newvectorlike(OBJECT, n + 1);
    setelement(o, 0, cls);
    return o;
}

node newclosure(node name, node type, node env, node fenv) {
    ksguard g(&name, &type, &env, &fenv);
    node c = newvectorlike(CLOSURE, CL_SIZE);
    setelement(c, CL_NAME, name);
    setelement(c, CL_TYPE, type);
    setelement(c, CL_ENV, env);
    setelement(c, CL_FENV, fenv);
    return c;
}

node cvsymbol(const char *name) {
    node pname = cvstring(name);
    ksguard g(&pname);
    node sym = newvectorlike(SYMBOL, SYM_SIZE);
    setvalue(sym, s_unbound);
    setfunction(sym, s_unbound);
    sym->b.data[SYM_PNAME] = pname;
    return sym;
}

node cvsubr(subrfn fn, int type, int row, int tab) {
    node s = newnode(type);
    s->a.fn = fn;
    s->b.s.row = row;
    s->b.s.tab = tab;
    return s;
}

node cvfile(FILE *fp) {
    node s = newnode(STREAM);
    s->a.fp = fp;
    s->b.file.savech = 0;
    s->b.file.lines = 0;
    return s;
}

node newustream() { return newnode(USTREAM); }

static node cvimage(int type, int32_t h) {
    node n = newnode(type);
    n->a.i = h;
    return n;
}
node cvbin(int32_t h) { return cvimage(BIN, h); }
node cvgrey(int32_t h) { return cvimage(GREY, h); }
node cvcol(int32_t h) { return cvimage(COL, h); }
node cvlgrey(int32_t h) { return cvimage(LGREY, h); }
node cvfgrey(int32_t h) { return cvimage(FGREY, h); }

// ---------------------------------------------------------------- marking
// An explicit mark stack instead of recursion: neither long lists nor deeply
// nested vectors use the machine stack. The cdr chain of a list is followed
// in a loop, so a long list needs one stack slot per non-trivial car.
static std::vector<node> markstack;

static void markfrom(node root) {
    if (!root) return;
    markstack.push_back(root);
    while (!markstack.empty()) {
        node x = markstack.back();
        markstack.pop_back();
        while (x && !(x->n_flags & MARK)) {
            x->n_flags |= MARK;
            int t = x->n_type;
            if (t == CONS || t == USTREAM) {
                node a = x->a.car;
                if (a && !(a->n_flags & MARK)) markstack.push_back(a);
                x = x->b.cdr;
                continue;
            }
            if (vectorlike(t)) {
                for (int32_t i = x->a.size - 1; i >= 0; --i) {
                    node e = x->b.data[i];
                    if (e && !(e->n_flags & MARK)) markstack.push_back(e);
                }
            }
            break;
        }
    }
}

void mark(node x) { markfrom(x); }

// ---------------------------------------------------------------- sweeping
static bool stdfile(FILE *fp) { return fp == stdin || fp == stdout || fp == stderr; }

static void release(node x) {
    switch (x->n_type) {
    case SYMBOL: case OBJECT: case VECTOR: case CLOSURE: case STRUCT:
        if (x->a.size > 0) {
            free(x->b.data);
            total -= (int64_t)x->a.size * (int64_t)sizeof(node);
        }
        break;
    case STRING:
        if (x->b.str) strfree(x->b.str, x->a.size);
        break;
    case STREAM:
        // the standard files are never closed, even if their stream is dropped
        if (x->a.fp && !stdfile(x->a.fp)) osclose(x->a.fp);
        break;
    case BIN: case GREY: case COL: case LGREY: case FGREY:
        if (ksimage.freeimage) ksimage.freeimage(x);
        break;
    default:
        break;
    }
}

void sweep() {
    fnodes = nullptr;
    nfree = 0;
    for (segment *seg = segs; seg; seg = seg->next) {
        if (seg == fixseg || seg == charseg) continue;
        nodeS *p = seg->nodes();
        for (int32_t i = 0; i < seg->count; ++i) {
            node x = &p[i];
            if (x->n_flags & MARK) {
                x->n_flags &= (uint8_t)~MARK;
                continue;
            }
            release(x);
            x->n_type = FREE;
            x->n_flags = 0;
            x->a.raw = 0;
            x->b.cdr = fnodes;
            fnodes = x;
            ++nfree;
        }
    }
}

static bool gcflag() { return s_gcflag && getvalue(s_gcflag) && getvalue(s_gcflag) != s_unbound; }

static void markroots() {
    markfrom(obarray);
    markfrom(ksenv);
    markfrom(ksfenv);
    markfrom(ksdenv);
    markfrom(ksvalue);
    markfrom(ksgoodtable);
    markfrom(kspinned);
    for (node **p = ksstack; p < ksstktop; ++p)
        if (*p) markfrom(**p);
    for (node *p = ksargstkbase; p < kssp; ++p)
        if (*p) markfrom(*p);
}

// *GC-HOOK* never runs inside the allocation that collected: a built-in
// may be half done there (frames measured, a block being filled), and user
// code could pull the ground from under it. A collection only records the
// call; the evaluator makes it at its next safe point (ksgchooknow), with
// the figures of the latest collection. Collections made while the hook
// runs record nothing.
bool ksgchookpending;
static bool gchookrunning;
static int64_t gchooknodes, gchookfree;

void ksgchooknow() {
    ksgchookpending = false;
    node hook = s_gchook ? getvalue(s_gchook) : NIL;
    if (!hook || hook == s_unbound || gchookrunning) return;
    gchookrunning = true;
    struct running_guard { ~running_guard() { gchookrunning = false; } } rg;
    ksunwindframe unwound;   // rg must run whichever way the hook is left
    ksguard g(&hook);
    node total_nodes = cvfixnum((int32_t)gchooknodes);
    ksguard g2(&total_nodes);
    node free_nodes = cvfixnum((int32_t)gchookfree);
    kscall2(hook, total_nodes, free_nodes);
}

void gc() {
    if (gcflag()) {
        char buf[64];
        snprintf(buf, sizeof buf, "[ gc: total %ld, ", (long)nnodes);
        stdputstr(buf);
    }
    markroots();
    if (freeall && ksimage.freeimage) {
        // Free-all mode releases the images of all BIN, GREY and COL values,
        // reachable or not. A reachable value keeps its node (it is marked),
        // turned into a dead value by the image hook, so no variable can ever
        // see a reused node; unreachable ones are released by the sweep.
        for (segment *seg = segs; seg; seg = seg->next) {
            nodeS *p = seg->nodes();
            for (int32_t i = 0; i < seg->count; ++i) {
                node x = &p[i];
                int t = x->n_type;
                if ((t == BIN || t == GREY || t == COL) && (x->n_flags & MARK)) ksimage.freeimage(x);
            }
        }
    }
    sweep();
    ++gccalls;
    if (!gchookrunning && s_gchook) {
        node hook = getvalue(s_gchook);
        if (hook && hook != s_unbound) {
            ksgchookpending = true;
            gchooknodes = nnodes;
            gchookfree = nfree;
        }
    }
    if (gcflag()) {
        char buf[64];
        snprintf(buf, sizeof buf, "%ld free ]\n", (long)nfree);
        stdputstr(buf);
    }
}

// ---------------------------------------------------------------- report
void stats() {
    char buf[96];
    snprintf(buf, sizeof buf, "Nodes:       %ld\n", (long)nnodes); stdputstr(buf);
    snprintf(buf, sizeof buf, "Free nodes:  %ld\n", (long)nfree); stdputstr(buf);
    snprintf(buf, sizeof buf, "Segments:    %d\n", nsegs); stdputstr(buf);
    snprintf(buf, sizeof buf, "Allocate:    %d\n", anodes); stdputstr(buf);
    snprintf(buf, sizeof buf, "Total:       %ld\n", (long)total); stdputstr(buf);
    snprintf(buf, sizeof buf, "Collections: %d\n", gccalls); stdputstr(buf);
    if (ksimage.qinfo) ksimage.qinfo();
    if (ksimage.meminfo) ksimage.meminfo();
}

// ---------------------------------------------------------------- start-up
void ksminit() {
    nfree = nnodes = total = 0;
    nsegs = 0;
    gccalls = 0;
    anodes = 2000;
    fnodes = nullptr;
    segs = lastseg = nullptr;

    if (!(fixseg = newsegment(FIX_HIGH - FIX_LOW + 1))) ksfatal("insufficient memory");
    for (int i = 0; i < fixseg->count; ++i) {
        node n = &fixseg->nodes()[i];
        n->n_type = FIXNUM;
        n->a.i = i + FIX_LOW;
    }
    if (!(charseg = newsegment(256))) ksfatal("insufficient memory");
    for (int i = 0; i < 256; ++i) {
        node n = &charseg->nodes()[i];
        n->n_type = CHAR;
        n->a.i = i;
    }
    nfree = nnodes;   // preset nodes count as free until the first sweep

    ksenv = ksfenv = ksdenv = NIL;
    obarray = ksgoodtable = kspinned = NIL;
    s_gchook = s_gcflag = NIL;
    ksgchookpending = false;

    void *ev = malloc(EVSTACK_BYTES);
    void *av = malloc(ARGSTACK_BYTES);
    if (!ev || !av) ksfatal("insufficient memory");
    ksstkbase = static_cast<node **>(ev);
    ksstktop = ksstkbase + EVSTACK_BYTES / sizeof(node *);
    ksstack = ksstktop;
    ksstkreserve();
    ksargstkbase = static_cast<node *>(av);
    ksargstktop = ksargstkbase + ARGSTACK_BYTES / sizeof(node);
    ksargstkbase[0] = NIL;
    ksfp = ksargstkbase;
    kssp = ksargstkbase + 1;
    markstack.reserve(4096);
}

// ---------------------------------------------------------------- Lisp
node xgc() {
    kslastarg();
    gc();
    return NIL;
}

node xexpand() {
    int32_t n = 1;
    if (moreargs()) n = getfixnum(ksargfix());
    kslastarg();
    int32_t added = 0;
    while (added < n && addseg()) ++added;
    return cvfixnum(added);
}

node xalloc() {
    int32_t n = getfixnum(ksargfix());
    kslastarg();
    int32_t old = anodes;
    anodes = n;
    return cvfixnum(old);
}

node xroom() {
    if (moreargs()) nextarg();
    kslastarg();
    stats();
    return NIL;
}
