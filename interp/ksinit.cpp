// Interpreter start-up: the predefined symbols and the built-in tables.
#include "interp/ks.h"

#include <initializer_list>

#define KS_DEFINE_SYMBOL_(global, name) node global;
KS_PREDEFINED(KS_DEFINE_SYMBOL_)
#undef KS_DEFINE_SYMBOL_

// The predefined symbols in the order they are entered.
struct symrow {
    node *global;
    const char *name;
};

static const symrow predefined[] = {
#define KS_SYMBOL_ROW_(global, name) {&global, name},
    KS_PREDEFINED(KS_SYMBOL_ROW_)
#undef KS_SYMBOL_ROW_
};

void kssymbols() {
    // The unbound marker must exist before any other symbol is made, since
    // new symbols are initialised with it; it is its own value.
    s_unbound = NIL;
    s_unbound = ksenter("*UNBOUND*");
    setvalue(s_unbound, s_unbound);
    setfunction(s_unbound, s_unbound);
    for (const symrow &r : predefined) *r.global = ksenter(r.name);
    setvalue(s_true, s_true);
    setvalue(s_ifmt, cvstring("%d"));
    setvalue(s_ffmt, cvstring("%g"));
    setvalue(s_printcase, k_upcase);

    node f = cvfile(stdin);
    setvalue(s_stdin, f);
    f = cvfile(stdout);
    setvalue(s_stdout, f);
    f = cvfile(stderr);
    setvalue(s_stderr, f);
    setvalue(s_debugio, f);
    setvalue(s_traceout, f);

    obsymbols();
}

static void registertable(const funrow *tab, int tabno) {
    for (int i = 0; tab[i].fn; ++i)
        if (tab[i].name) kssubr(tab[i].name, tab[i].type, tab[i].fn, i, tabno);
}

static void alias(const char *to, const char *from) {
    node fn = getfunction(ksenter(from));
    setfunction(ksenter(to), fn);
}

void ksinit() {
    ksminit();
    ksreinit();
}

void ksreinit() {
    ksdinit();
    kssinit();
    kssymbols();
    ksrinit();
    ksoinit();
    for (node s : {s_evalhook, s_applyhook, s_tracelist, s_tracenable, s_tlimit,
                   s_breakenable, s_gcflag, s_gchook})
        setvalue(s, NIL);
    setvalue(s_ifmt, cvstring("%d"));
    setvalue(s_ffmt, cvstring("%g"));
    setvalue(s_printcase, k_upcase);
    for (int tab = 1; tab <= 3; ++tab)
        if (const funrow *rows = ksfuntab(tab)) registertable(rows, tab);
    alias("NOT", "NULL");
    alias("FIRST", "CAR");
    alias("SECOND", "CADR");
    alias("THIRD", "CADDR");
    alias("FOURTH", "CADDDR");
    alias("REST", "CDR");
    kscinit();
}
