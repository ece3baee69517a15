// The evaluator: forms, calls through argument frames, closures, lambda-list
// parsing and binding, macros, the evaluation hook and call tracing.
#include "interp/ks.h"

#include <string>

node *ksargv;
int ksargc;
int kstrcindent;

// ----------------------------------------------------------- argument frames
// Frame layout from its base: link (distance to the previous base), the
// function, the argument count, the arguments.

static inline void popframe() {
    kssp = ksfp;
    ksfp = ksfp - getfixnum(ksfp[0]);
}

// Pushes the link and function slots and a count placeholder; all three are
// on the stack before anything allocates.
node *ksbeginframe(node fun) {
    node *base = kssp;
    kspusharg(NIL);
    kspusharg(fun);
    kspusharg(NIL);
    base[0] = cvfixnum((int32_t)(base - ksfp));
    return base;
}

void ksendframe(node *base, int argc) {
    base[2] = cvfixnum(argc);
    ksfp = base;
}

int evpushargs(node fun, node args) {
    ksguard g(&args);
    node *base = ksbeginframe(fun);
    int n = 0;
    for (; consp(args); args = cdr(args)) {
        node v = kseval(car(args));
        kspusharg(v);
        ++n;
    }
    ksendframe(base, n);
    return n;
}

int pushargs(node fun, node args) {
    ksguard g(&args);
    node *base = ksbeginframe(fun);
    int n = 0;
    for (; consp(args); args = cdr(args)) {
        kspusharg(car(args));
        ++n;
    }
    ksendframe(base, n);
    return n;
}

node makearglist(int argc, node *argv) {
    node head = NIL, tail = NIL;
    ksguard g(&head, &tail);
    for (int i = 0; i < argc; ++i) {
        node c = cons(argv[i], NIL);
        if (tail) rplacd(tail, c); else head = c;
        tail = c;
    }
    return head;
}

node kscall(node fun, int argc, const node *args) {
    node *base = kssp;
    kspusharg(NIL);
    kspusharg(fun);
    kspusharg(NIL);
    for (int i = 0; i < argc; ++i) kspusharg(args[i]);
    base[0] = cvfixnum((int32_t)(base - ksfp));
    ksendframe(base, argc);
    return ksapply(argc);
}

// ----------------------------------------------------------- evaluation
node ksxeval(node form) {
    if (!form) return NIL;
    switch (form->n_type) {
    case CONS: return evform(form);
    case SYMBOL: return ksgetvalue(form);
    default: return form;
    }
}

node kseval(node form) {
    if (--kssample < 1) {
        kssample = CheckFreq;
        oscheck();
    }
    if (ksgchookpending) {
        ksguard g(&form);
        ksgchooknow();
    }
    if (s_evalhook) {
        node hook = getvalue(s_evalhook);
        if (hook && hook != s_unbound) return evalhook(form);
    }
    return ksxeval(form);
}

node ksevalenv(node form, node env, node fenv) {
    node oldenv = ksenv, oldfenv = ksfenv;
    ksguard g(&oldenv, &oldfenv, &form);
    ksenv = env;
    ksfenv = fenv;
    node val = kseval(form);
    ksenv = oldenv;
    ksfenv = oldfenv;
    return val;
}

node ksevbody(node body) {
    node val = NIL;
    ksguard g(&body);
    for (; consp(body); body = cdr(body)) val = kseval(car(body));
    return val;
}

// ----------------------------------------------------------- tracing
static bool traced(node sym) {
    if (!s_tracelist) return false;
    for (node p = getvalue(s_tracelist); consp(p); p = cdr(p))
        if (car(p) == sym) return true;
    return false;
}

static void indent() {
    for (int i = 0; i < kstrcindent; ++i) trcputstr(" ");
}

// The trace lines are written in pieces: nothing with a destructor may be
// alive while printing an argument, which can fail.
static void traceenter(node sym, int argc, node *argv) {
    indent();
    trcputstr("Entering: ");
    trcputstr(symname(sym));
    trcputstr(", Argument list: (");
    for (int i = 0; i < argc; ++i) {
        if (i) trcputstr(" ");
        trcprin1(argv[i]);
    }
    trcputstr(")\n");
    ++kstrcindent;
}

static void traceexit(node sym, node val) {
    --kstrcindent;
    indent();
    trcputstr("Exiting: ");
    trcputstr(symname(sym));
    trcputstr(", Value: ");
    trcprin1(val);
    trcputstr("\n");
}

// ----------------------------------------------------------- calls
static node callsubr(node fun, int n) {
    node *oldargv = ksargv;
    int oldargc = ksargc;
    ksargv = ksfp + 3;
    ksargc = n;
    node val;
    if (fun->n_flags & PLAIN) {
        val = getsubr(fun)();
    } else {
        ksunwindframe unwound;
        val = getsubr(fun)();
    }
    ksargv = oldargv;
    ksargc = oldargc;
    if (ksgchookpending) {
        ksguard g(&val);
        ksgchooknow();
    }
    return val;
}

static node lambdaclosure(node fun) {
    if (!consp(cdr(fun)) || car(fun) != s_lambda) kserror("bad function", fun);
    node lam = car(cdr(fun));
    return ksclose(NIL, s_lambda, lam, cdr(cdr(fun)), ksenv, ksfenv);
}

node evform(node form) {
    node head = car(form), fun = NIL, val = NIL;
    ksguard g(&form, &fun, &val);
    node tsym = NIL;
    if (!head) kserror("bad function", NIL);
    if (symbolp(head)) {
        if (traced(head)) tsym = head;
        fun = ksgetfunction(head);
        if (!fun) kserror("bad function", NIL);
    } else {
        fun = head;
    }
    node args = cdr(form);
    switch (fun->n_type) {
    case SUBR: {
        int n = evpushargs(fun, args);
        if (tsym) traceenter(tsym, n, ksfp + 3);
        val = callsubr(fun, n);
        if (tsym) traceexit(tsym, val);
        popframe();
        return val;
    }
    case FSUBR: {
        int n = pushargs(fun, args);
        val = callsubr(fun, n);
        popframe();
        return val;
    }
    case CONS:
        fun = lambdaclosure(fun);
        break;
    case CLOSURE:
        break;
    default:
        kserror("bad function", fun);
    }
    if (getelement(fun, CL_TYPE) == s_lambda) {
        int n = evpushargs(fun, args);
        if (tsym) traceenter(tsym, n, ksfp + 3);
        val = evfun(fun, n, ksfp + 3);
        if (tsym) traceexit(tsym, val);
        popframe();
        return val;
    }
    // a macro: expand with the unevaluated arguments, then evaluate
    int n = pushargs(fun, args);
    val = evfun(fun, n, ksfp + 3);
    popframe();
    return kseval(val);
}

node ksapply(int argc) {
    node fun = ksfp[1];
    node *argv = ksfp + 3;
    node val;
    if (symbolp(fun)) {
        node sym = fun;
        while ((fun = getfunction(sym)) == s_unbound)
            kscerror("try evaluating symbol again", "unbound function", sym);
        ksfp[1] = fun;
    }
    if (!fun) kserror("bad function", NIL);
    if (consp(fun)) {
        fun = lambdaclosure(fun);
        ksfp[1] = fun;
    }
    switch (fun->n_type) {
    case SUBR:
        val = callsubr(fun, argc);
        break;
    case CLOSURE:
        if (getelement(fun, CL_TYPE) != s_lambda) kserror("bad function", fun);
        val = evfun(fun, argc, argv);
        break;
    default:
        kserror("bad function", fun);
    }
    popframe();
    return val;
}

// ----------------------------------------------------------- closures
node evfun(node fun, int argc, node *argv) {
    return evmethod(fun, getelement(fun, CL_ENV), argc, argv);
}

node evmethod(node fun, node env, int argc, node *argv) {
    node oldenv = ksenv, oldfenv = ksfenv, val = NIL;
    ksguard g(&fun, &env, &oldenv, &oldfenv, &val);
    ksenv = cons(NIL, env);
    ksfenv = getelement(fun, CL_FENV);
    ksabind(fun, argc, argv);
    node name = getelement(fun, CL_NAME);
    if (name) {
        context c;
        ksbegin(&c, CTX_RETURN, name);
        node body = getelement(fun, CL_BODY);
        if (ksrun(&c, [&] { val = ksevbody(body); })) val = ksvalue;
        ksend(&c);
    } else {
        val = ksevbody(getelement(fun, CL_BODY));
    }
    ksenv = oldenv;
    ksfenv = oldfenv;
    return val;
}

// binds sym to val in the frame at the head of ksenv
static void bind(node sym, node val) {
    ksguard g(&sym, &val);
    node b = cons(sym, val);
    rplaca(ksenv, cons(b, car(ksenv)));
}

void ksabind(node fun, int argc, node *argv) {
    node p = NIL, spec = NIL, v = NIL;
    ksguard g(&fun, &p, &spec, &v);
    for (p = getelement(fun, CL_ARGS); consp(p); p = cdr(p)) {
        if (argc <= 0) kstoofew();
        bind(car(p), *argv++);
        --argc;
    }
    for (p = getelement(fun, CL_OARGS); consp(p); p = cdr(p)) {
        spec = car(p);   // (var default svar)
        node svar = car(cdr(cdr(spec)));
        if (argc > 0) {
            bind(car(spec), *argv++);
            --argc;
            if (svar) bind(svar, s_true);
        } else {
            v = kseval(car(cdr(spec)));
            bind(car(spec), v);
            if (svar) bind(svar, NIL);
        }
    }
    if (node rest = getelement(fun, CL_REST)) {
        v = makearglist(argc, argv);
        bind(rest, v);
        argc = 0;
    }
    node kargs = getelement(fun, CL_KARGS);
    for (p = kargs; consp(p); p = cdr(p)) {
        spec = car(p);   // (keyword var default svar)
        node key = car(spec);
        node var = car(cdr(spec));
        node svar = car(cdr(cdr(cdr(spec))));
        int found = -1;
        for (int i = 0; i + 1 < argc; i += 2)
            if (argv[i] == key) { found = i; break; }
        if (found >= 0) {
            bind(var, argv[found + 1]);
            if (svar) bind(svar, s_true);
        } else {
            v = kseval(car(cdr(cdr(spec))));
            bind(var, v);
            if (svar) bind(svar, NIL);
        }
    }
    if (kargs) argc = 0;
    for (p = getelement(fun, CL_AARGS); consp(p); p = cdr(p)) {
        spec = car(p);   // (var init)
        v = kseval(car(cdr(spec)));
        bind(car(spec), v);
    }
    if (argc > 0) kstoomany();
}

// ----------------------------------------------------------- lambda lists
[[noreturn]] static void badformals() { ksfail("bad formal argument list"); }

static bool lambdakey(node x) {
    return x == lk_optional || x == lk_rest || x == lk_key || x == lk_allow || x == lk_aux;
}

static void checksym(node x) {
    if (!symbolp(x) || lambdakey(x)) badformals();
}

// The tail "[default [svar]]" of an &OPTIONAL or &KEY parameter.
static void defaulttail(node r, node *def, node *svar) {
    if (!r) return;
    if (!consp(r)) badformals();
    *def = car(r);
    r = cdr(r);
    if (!r) return;
    if (!consp(r) || cdr(r)) badformals();
    *svar = car(r);
    checksym(*svar);
}

// Appends x to the list held in slot i of closure c.
static void appendslot(node c, int i, node x) {
    ksguard g(&c, &x);
    node cell = cons(x, NIL);
    node p = getelement(c, i);
    if (!p) { setelement(c, i, cell); return; }
    while (cdr(p)) p = cdr(p);
    rplacd(p, cell);
}

static node list4(node a, node b, node c, node d) {
    ksguard g(&a, &b, &c, &d);
    node l = cons(d, NIL);
    l = cons(c, l);
    l = cons(b, l);
    return cons(a, l);
}

node ksclose(node name, node type, node fargs, node body, node env, node fenv) {
    ksguard g(&name, &type, &fargs, &body, &env, &fenv);
    node c = newclosure(name, type, env, fenv);
    ksguard g2(&c);
    setelement(c, CL_BODY, body);
    setelement(c, CL_LAMBDA, fargs);
    if (fargs && !consp(fargs)) badformals();

    node p = fargs;
    // required
    for (; consp(p) && !lambdakey(car(p)); p = cdr(p)) {
        checksym(car(p));
        appendslot(c, CL_ARGS, car(p));
    }
    if (consp(p) && car(p) == lk_optional) {
        for (p = cdr(p); consp(p) && !lambdakey(car(p)); p = cdr(p)) {
            node e = car(p), var, def = NIL, svar = NIL;
            if (symbolp(e)) {
                var = e;
            } else if (consp(e)) {
                var = car(e);
                defaulttail(cdr(e), &def, &svar);
            } else {
                badformals();
            }
            checksym(var);
            node spec = list4(var, def, svar, NIL);
            rplacd(cdr(cdr(spec)), NIL);   // (var default svar)
            appendslot(c, CL_OARGS, spec);
        }
    }
    if (consp(p) && car(p) == lk_rest) {
        p = cdr(p);
        if (!consp(p)) badformals();
        checksym(car(p));
        setelement(c, CL_REST, car(p));
        p = cdr(p);
    }
    if (consp(p) && car(p) == lk_key) {
        for (p = cdr(p); consp(p) && !lambdakey(car(p)); p = cdr(p)) {
            node e = car(p), var = NIL, key = NIL, def = NIL, svar = NIL;
            ksguard g3(&key);
            node specpart = e;
            if (consp(e)) {
                specpart = car(e);
                defaulttail(cdr(e), &def, &svar);
            }
            if (symbolp(specpart)) {
                var = specpart;
                checksym(var);
                ksunwindframe unwound;   // kname lives across an allocation
                std::string kname = ":";
                kname += symname(var);
                key = ksenter(kname.c_str());
            } else if (consp(specpart) && consp(cdr(specpart)) && !cdr(cdr(specpart))) {
                key = car(specpart);
                var = car(cdr(specpart));
                if (!symbolp(key)) badformals();
                checksym(var);
            } else {
                badformals();
            }
            appendslot(c, CL_KARGS, list4(key, var, def, svar));
        }
    }
    if (consp(p) && car(p) == lk_allow) p = cdr(p);
    if (consp(p) && car(p) == lk_aux) {
        for (p = cdr(p); consp(p) && !lambdakey(car(p)); p = cdr(p)) {
            node e = car(p), var, init = NIL;
            if (symbolp(e)) {
                var = e;
            } else if (consp(e)) {
                var = car(e);
                node r = cdr(e);
                if (consp(r)) {
                    init = car(r);
                    if (cdr(r)) badformals();
                } else if (r) badformals();
            } else {
                badformals();
            }
            checksym(var);
            node spec = list4(var, init, NIL, NIL);
            rplacd(cdr(spec), NIL);   // (var init)
            appendslot(c, CL_AARGS, spec);
        }
    }
    if (p) badformals();
    return c;
}

// ----------------------------------------------------------- macros
bool macroexpand(node fun, node args, node *pval) {
    if (!closurep(fun) || getelement(fun, CL_TYPE) != s_macro) return false;
    ksguard g(&fun, &args);
    int n = pushargs(fun, args);
    *pval = evfun(fun, n, ksfp + 3);
    popframe();
    return true;
}

node ksexpandmacros(node form) {
    ksguard g(&form);
    for (;;) {
        if (!consp(form) || !symbolp(car(form))) return form;
        node sym = car(form);
        if (getfunction(sym) == s_unbound) return form;
        node fun = ksgetfunction(sym);
        node exp;
        if (!macroexpand(fun, cdr(form), &exp)) return form;
        form = exp;
    }
}

// ----------------------------------------------------------- hooks
node evalhook(node form) {
    node hook = getvalue(s_evalhook);
    node envpair = NIL, val = NIL;
    ksguard g(&form, &hook, &envpair, &val);
    envpair = cons(ksenv, ksfenv);
    node olddenv = ksdenv;
    // bind both hook variables to NIL dynamically for the hook's own run
    for (node s : {s_evalhook, s_applyhook}) {
        node saved = cons(s, getvalue(s));
        ksdenv = cons(saved, ksdenv);
        setvalue(s, NIL);
    }
    val = kscall2(hook, form, envpair);
    while (ksdenv != olddenv) {
        node pair = car(ksdenv);
        setvalue(car(pair), cdr(pair));
        ksdenv = cdr(ksdenv);
    }
    return val;
}

// ----------------------------------------------------------- special-form arguments
[[noreturn]] void toofew(node form) { kserror("too few arguments", form); }
[[noreturn]] void toomany(node form) { kserror("too many arguments", form); }

node match(int type, node *pargs) {
    if (!consp(*pargs)) toofew(*pargs);
    node x = car(*pargs);
    *pargs = cdr(*pargs);
    if (type == ANYLIST ? !listp(x) : ntype(x) != type || !x) ksbadtype(x);
    return x;
}

node evarg(node *pargs) {
    if (!consp(*pargs)) toofew(*pargs);
    node x = car(*pargs);
    *pargs = cdr(*pargs);
    return kseval(x);
}

node evmatch(int type, node *pargs) {
    node x = evarg(pargs);
    if (type == ANYLIST ? !listp(x) : ntype(x) != type || !x) ksbadtype(x);
    return x;
}
