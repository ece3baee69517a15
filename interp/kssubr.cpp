// Special forms for quoting, functions, assignment and local bindings.
// Special forms receive their argument forms unevaluated in their frame.
#include "interp/ks.h"

// Evaluates the remaining argument forms; the last value, NIL for none.
node evrestargs() {
    node val = NIL;
    while (moreargs()) val = kseval(nextarg());
    return val;
}

// ----------------------------------------------------------- quoting
node xquote() {
    node x = ksarg();
    kslastarg();
    return x;
}

static node bquote1(node e);

// Backquote of a list, iterative over its spine.
static node bquotelist(node e) {
    node head = NIL, tail = NIL, v = NIL;
    ksguard g(&e, &head, &tail, &v);
    auto append = [&](node cell) {
        if (tail) rplacd(tail, cell); else head = cell;
        tail = cell;
    };
    while (consp(e)) {
        if (car(e) == s_comma) {   // a dotted comma: (a . ,b)
            v = bquote1(e);
            if (tail) rplacd(tail, v); else head = v;
            return head;
        }
        node x = car(e);
        if (consp(x) && car(x) == s_comat) {
            if (!consp(cdr(x))) kserror("bad comma-at expression", x);
            v = kseval(car(cdr(x)));
            for (node p = v; consp(p); p = cdr(p)) append(cons(car(p), NIL));
        } else {
            v = bquote1(x);
            append(cons(v, NIL));
        }
        e = cdr(e);
    }
    if (e) {
        if (tail) rplacd(tail, e); else head = e;
    }
    return head;
}

static node bquote1(node e) {
    if (!consp(e)) return e;
    if (car(e) == s_comma) {
        if (!consp(cdr(e))) kserror("bad comma expression", e);
        return kseval(car(cdr(e)));
    }
    return bquotelist(e);
}

node xbquote() {
    node x = ksarg();
    kslastarg();
    return bquote1(x);
}

// ----------------------------------------------------------- functions
static bool lambdaexpr(node x) {
    return consp(x) && car(x) == s_lambda && consp(cdr(x)) && listp(car(cdr(x)));
}

node xfunction() {
    node x = ksarg();
    kslastarg();
    if (lambdaexpr(x)) return ksclose(NIL, s_lambda, car(cdr(x)), cdr(cdr(x)), ksenv, ksfenv);
    if (symbolp(x)) return ksgetfunction(x);
    kserror("not a function", x);
}

node xlambda() {
    node params = ksarg();
    if (!listp(params)) ksbadtype(params);
    node body = makearglist(ksargc, ksargv);
    ksargc = 0;
    return ksclose(NIL, s_lambda, params, body, ksenv, ksfenv);
}

node xgetlambda() {
    node c = ksargclosure();
    kslastarg();
    node rest = cons(getelement(c, CL_LAMBDA), getelement(c, CL_BODY));
    return cons(getelement(c, CL_TYPE), rest);
}

static node define(node type, node env, node fenv) {
    node name = ksargsym();
    node params = ksarg();
    if (!listp(params)) ksbadtype(params);
    node body = makearglist(ksargc, ksargv);
    ksargc = 0;
    ksguard g(&name);
    node c = ksclose(name, type, params, body, env, fenv);
    kssetfunction(name, c);
    return name;
}

node xdefun() { return define(s_lambda, ksenv, ksfenv); }
node xdefmacro() { return define(s_macro, NIL, NIL); }

// ----------------------------------------------------------- assignment
node xsetq() {
    node val = NIL;
    while (moreargs()) {
        node sym = ksargsym();
        if (!moreargs()) kstoofew();
        val = kseval(nextarg());
        kssetvalue(sym, val);
    }
    return val;
}

node xpsetq() {
    // evaluate every value first, keeping them on the argument stack
    node *pairs = ksargv;
    int n = ksargc;
    for (int i = 0; i < n; i += 2) {
        if (!symbolp(pairs[i])) ksbadtype(pairs[i]);
        if (i + 1 >= n) kstoofew();
    }
    node *vals = kssp;
    node val = NIL;
    for (int i = 0; i < n; i += 2) {
        val = kseval(pairs[i + 1]);
        kspusharg(val);
    }
    for (int i = 0; i < n; i += 2) kssetvalue(pairs[i], vals[i / 2]);
    kssp = vals;
    ksargc = 0;
    return val;
}

// Evaluates the argument forms of a place, at least one, into out.
static int placeargs(node forms, node *out, int max) {
    int n = 0;
    for (; consp(forms); forms = cdr(forms)) {
        if (n == max) kstoomany();
        out[n] = kseval(car(forms));
        ++n;
    }
    return n;
}

static void setplace(node place, node value) {
    ksguard g(&place, &value);
    if (symbolp(place)) { kssetvalue(place, value); return; }
    if (!consp(place)) kserror("bad place form", place);
    place = ksexpandmacros(place);
    if (symbolp(place)) { kssetvalue(place, value); return; }
    if (!consp(place)) kserror("bad place form", place);
    node head = car(place), forms = cdr(place);
    if (!symbolp(head)) kserror("bad place form", place);
    if (!consp(forms)) kstoofew();

    if (head == s_car || head == s_cdr || head == s_nth || head == s_aref || head == s_get ||
        head == s_svalue || head == s_sfunction || head == s_splist) {
        node a[2] = {NIL, NIL};
        ksguard g2(&a[0], &a[1]);
        int max = (head == s_nth || head == s_aref || head == s_get) ? 2 : 1;
        int n = placeargs(forms, a, max);
        if (n < max) kstoofew();
        if (head == s_car || head == s_cdr) {
            if (!consp(a[0])) ksbadtype(a[0]);
            if (head == s_car) rplaca(a[0], value); else rplacd(a[0], value);
        } else if (head == s_nth) {
            if (!fixp(a[0])) ksbadtype(a[0]);
            if (!listp(a[1])) ksbadtype(a[1]);
            node p = a[1];
            for (int32_t k = getfixnum(a[0]); k > 0 && consp(p); --k) p = cdr(p);
            if (consp(p)) rplaca(p, value);
        } else if (head == s_aref) {
            if (!vectorp(a[0])) ksbadtype(a[0]);
            if (!fixp(a[1])) ksbadtype(a[1]);
            int32_t i = getfixnum(a[1]);
            if (i < 0 || i >= getsize(a[0])) kserror("index out of range", a[1]);
            setelement(a[0], i, value);
        } else if (head == s_get) {
            if (!symbolp(a[0])) ksbadtype(a[0]);
            if (!symbolp(a[1])) ksbadtype(a[1]);
            ksputprop(a[0], value, a[1]);
        } else {
            if (!symbolp(a[0])) ksbadtype(a[0]);
            if (head == s_svalue) setvalue(a[0], value);
            else if (head == s_sfunction) setfunction(a[0], value);
            else setplist(a[0], value);
        }
        return;
    }
    node fun = ksgetprop(head, s_setf);
    if (!fun) kserror("bad place form", place);
    // user place function: (fun arg... value)
    node *base = ksbeginframe(fun);
    int n = 0;
    for (; consp(forms); forms = cdr(forms)) {
        node v = kseval(car(forms));
        kspusharg(v);
        ++n;
    }
    kspusharg(value);
    ksendframe(base, n + 1);
    ksapply(n + 1);
}

node xsetf() {
    node val = NIL;
    ksguard g(&val);
    while (moreargs()) {
        node place = nextarg();
        if (!moreargs()) kstoofew();
        val = kseval(nextarg());
        setplace(place, val);
    }
    return val;
}

// ----------------------------------------------------------- bindings
// Splits a LET-style binding into its symbol and init form.
void parsebinding(node b, node *sym, node *init) {
    if (symbolp(b)) {
        *sym = b;
        *init = NIL;
    } else if (consp(b)) {
        if (!symbolp(car(b))) ksbadtype(car(b));
        if (!consp(cdr(b))) kstoofew();
        *sym = car(b);
        *init = car(cdr(b));
    } else {
        kserror("bad binding", b);
    }
}

// Binds sym to val in the frame at the head of ksenv.
void bindinframe(node sym, node val) {
    ksguard g(&sym, &val);
    node b = cons(sym, val);
    rplaca(ksenv, cons(b, car(ksenv)));
}

// Pushes a new variable frame with the given bindings: sequential (LET*)
// evaluates each init with the frame already visible.
void letframe(node bindings, bool sequential) {
    ksguard g(&bindings);
    if (!listp(bindings)) ksbadtype(bindings);
    if (sequential) {
        ksenv = cons(NIL, ksenv);
        for (node p = bindings; consp(p); p = cdr(p)) {
            node sym, init;
            parsebinding(car(p), &sym, &init);
            ksguard g2(&sym);
            node v = kseval(init);
            bindinframe(sym, v);
        }
        return;
    }
    node frame = NIL;
    ksguard g2(&frame);
    for (node p = bindings; consp(p); p = cdr(p)) {
        node sym, init;
        parsebinding(car(p), &sym, &init);
        ksguard g3(&sym);
        node v = kseval(init);
        node b = cons(sym, v);
        frame = cons(b, frame);
    }
    ksenv = cons(frame, ksenv);
}

static node let(bool sequential) {
    node oldenv = ksenv;
    ksguard g(&oldenv);
    letframe(ksarg(), sequential);
    node val = evrestargs();
    ksenv = oldenv;
    return val;
}

node xlet() { return let(false); }
node xletstar() { return let(true); }

static node fbind(node type, bool recursive) {
    node defs = ksarg();
    if (!listp(defs)) ksbadtype(defs);
    node oldfenv = ksfenv, frame = NIL;
    ksguard g(&defs, &oldfenv, &frame);
    node newfenv = cons(NIL, ksfenv);
    ksguard g2(&newfenv);
    for (node p = defs; consp(p); p = cdr(p)) {
        node def = car(p);
        if (!consp(def) || !consp(cdr(def))) kstoofew();
        node name = car(def), params = car(cdr(def));
        if (!symbolp(name)) ksbadtype(name);
        if (!listp(params)) ksbadtype(params);
        node c = ksclose(name, type, params, cdr(cdr(def)), ksenv, recursive ? newfenv : ksfenv);
        node b = cons(name, c);
        rplaca(newfenv, cons(b, car(newfenv)));
    }
    ksfenv = newfenv;
    node val = evrestargs();
    ksfenv = oldfenv;
    return val;
}

node xflet() { return fbind(s_lambda, false); }
node xlabels() { return fbind(s_lambda, true); }
node xmacrolet() { return fbind(s_macro, false); }

// ----------------------------------------------------------- tracing
node xtrace() {
    while (moreargs()) {
        node sym = ksargsym();
        node list = getvalue(s_tracelist);
        bool member = false;
        for (node p = list; consp(p); p = cdr(p))
            if (car(p) == sym) member = true;
        if (!member) setvalue(s_tracelist, cons(sym, list == s_unbound ? NIL : list));
    }
    return getvalue(s_tracelist);
}

node xuntrace() {
    while (moreargs()) {
        node sym = ksargsym();
        node prev = NIL;
        for (node p = getvalue(s_tracelist); consp(p); prev = p, p = cdr(p)) {
            if (car(p) == sym) {
                if (prev) rplacd(prev, cdr(p)); else setvalue(s_tracelist, cdr(p));
                break;
            }
        }
    }
    return getvalue(s_tracelist);
}
