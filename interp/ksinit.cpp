// Interpreter start-up: the predefined symbols and the built-in tables.
#include "interp/ks.h"

#include <initializer_list>

node s_unbound, s_true, s_dot, s_quote, s_function, s_bquote, s_comma, s_comat,
    s_lambda, s_macro, s_eql, s_ifmt, s_ffmt, s_plus, s_pplus, s_ppplus, s_star,
    s_sstar, s_ssstar, s_minus, s_setf, s_car, s_cdr, s_nth, s_aref, s_get,
    s_svalue, s_sfunction, s_splist, s_readtable, k_wspace, k_const, k_nmacro,
    k_tmacro, k_sescape, k_mescape, k_test, k_tnot, k_direction, k_input,
    k_output, k_mode, k_text, k_binary, s_printcase, k_upcase, k_downcase,
    k_start, k_end, k_start1, k_end1, k_start2, k_end2, k_verbose, k_print,
    k_count, k_key, lk_optional, lk_rest, lk_key, lk_aux, lk_allow, s_stdin,
    s_stdout, s_stderr, s_debugio, s_traceout, s_evalhook, s_applyhook,
    s_tracelist, s_tracenable, s_tlimit, s_breakenable, s_gcflag, s_gchook,
    a_subr, a_fsubr, a_cons, a_symbol, a_fixnum, a_flonum, a_string, a_object,
    a_stream, a_vector, a_closure, a_char, a_ustream;

// The predefined symbols in the order they are entered.
struct symrow {
    node *global;
    const char *name;
};

static const symrow predefined[] = {
    {&s_unbound, "*UNBOUND*"}, {&s_true, "T"}, {&s_dot, "."},
    {&s_quote, "QUOTE"}, {&s_function, "FUNCTION"}, {&s_bquote, "BACKQUOTE"},
    {&s_comma, "COMMA"}, {&s_comat, "COMMA-AT"}, {&s_lambda, "LAMBDA"},
    {&s_macro, "MACRO"}, {&s_eql, "EQL"}, {&s_ifmt, "*INTEGER-FORMAT*"},
    {&s_ffmt, "*FLOAT-FORMAT*"}, {&s_plus, "+"}, {&s_pplus, "++"},
    {&s_ppplus, "+++"}, {&s_star, "*"}, {&s_sstar, "**"}, {&s_ssstar, "***"},
    {&s_minus, "-"}, {&s_setf, "*SETF*"}, {&s_car, "CAR"}, {&s_cdr, "CDR"},
    {&s_nth, "NTH"}, {&s_aref, "AREF"}, {&s_get, "GET"},
    {&s_svalue, "SYMBOL-VALUE"}, {&s_sfunction, "SYMBOL-FUNCTION"},
    {&s_splist, "SYMBOL-PLIST"}, {&s_readtable, "*READTABLE*"},
    {&k_wspace, ":WHITE-SPACE"}, {&k_const, ":CONSTITUENT"},
    {&k_nmacro, ":NMACRO"}, {&k_tmacro, ":TMACRO"}, {&k_sescape, ":SESCAPE"},
    {&k_mescape, ":MESCAPE"}, {&k_test, ":TEST"}, {&k_tnot, ":TEST-NOT"},
    {&k_direction, ":DIRECTION"}, {&k_input, ":INPUT"}, {&k_output, ":OUTPUT"},
    {&k_mode, ":MODE"}, {&k_text, ":TEXT"}, {&k_binary, ":BINARY"},
    {&s_printcase, "*PRINT-CASE*"}, {&k_upcase, ":UPCASE"},
    {&k_downcase, ":DOWNCASE"}, {&k_start, ":START"}, {&k_end, ":END"},
    {&k_start1, ":START1"}, {&k_end1, ":END1"}, {&k_start2, ":START2"},
    {&k_end2, ":END2"}, {&k_verbose, ":VERBOSE"}, {&k_print, ":PRINT"},
    {&k_count, ":COUNT"}, {&k_key, ":KEY"}, {&lk_optional, "&OPTIONAL"},
    {&lk_rest, "&REST"}, {&lk_key, "&KEY"}, {&lk_aux, "&AUX"},
    {&lk_allow, "&ALLOW-OTHER-KEYS"}, {&s_stdin, "*STANDARD-INPUT*"},
    {&s_stdout, "*STANDARD-OUTPUT*"}, {&s_stderr, "*ERROR-OUTPUT*"},
    {&s_debugio, "*DEBUG-IO*"}, {&s_traceout, "*TRACE-OUTPUT*"},
    {&s_evalhook, "*EVALHOOK*"}, {&s_applyhook, "*APPLYHOOK*"},
    {&s_tracelist, "*TRACELIST*"}, {&s_tracenable, "*TRACENABLE*"},
    {&s_tlimit, "*TRACELIMIT*"}, {&s_breakenable, "*BREAKENABLE*"},
    {&s_gcflag, "*GC-FLAG*"}, {&s_gchook, "*GC-HOOK*"},
    {&a_subr, "SUBR"}, {&a_fsubr, "FSUBR"}, {&a_cons, "CONS"},
    {&a_symbol, "SYMBOL"}, {&a_fixnum, "FIXNUM"}, {&a_flonum, "FLONUM"},
    {&a_string, "STRING"}, {&a_object, "OBJECT"}, {&a_stream, "FILE-STREAM"},
    {&a_vector, "ARRAY"}, {&a_closure, "CLOSURE"}, {&a_char, "CHARACTER"},
    {&a_ustream, "UNNAMED-STREAM"},
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
    registertable(funtab1, 1);
    registertable(funtab2, 2);
    registertable(funtab3, 3);
    alias("NOT", "NULL");
    alias("FIRST", "CAR");
    alias("SECOND", "CADR");
    alias("THIRD", "CADDR");
    alias("FOURTH", "CADDDR");
    alias("REST", "CDR");
    kscinit();
}
