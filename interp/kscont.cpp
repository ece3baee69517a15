// Special forms for conditionals, blocks, tag bodies, iteration, catching,
// unwind protection and dynamic binding.
#include "interp/ks.h"

node evrestargs();
void parsebinding(node b, node *sym, node *init);
void bindinframe(node sym, node val);
void letframe(node bindings, bool sequential);

// ----------------------------------------------------------- conditionals
node xcond() {
    while (moreargs()) {
        node clause = nextarg();
        if (!consp(clause)) continue;
        node val = kseval(car(clause));
        if (!val) continue;
        ksguard g(&clause, &val);
        for (node p = cdr(clause); consp(p); p = cdr(p)) val = kseval(car(p));
        return val;
    }
    return NIL;
}

node xwhen() {
    node test = kseval(ksarg());
    if (!test) return NIL;
    return moreargs() ? evrestargs() : test;
}

node xunless() {
    node test = kseval(ksarg());
    if (test) return NIL;
    return evrestargs();
}

node xif() {
    node test = ksarg();
    node thenf = ksarg();
    node elsef = moreargs() ? nextarg() : NIL;
    kslastarg();
    return kseval(test) ? kseval(thenf) : kseval(elsef);
}

node xand() {
    node val = s_true;
    while (moreargs())
        if (!(val = kseval(nextarg()))) return NIL;
    return val;
}

node xlor() {
    while (moreargs())
        if (node val = kseval(nextarg())) return val;
    return NIL;
}

node xcase() {
    node key = kseval(ksarg());
    ksguard g(&key);
    while (moreargs()) {
        node clause = nextarg();
        if (!consp(clause)) kserror("bad case clause", clause);
        node h = car(clause);
        bool hit = h == s_true || eql(h, key);
        for (node p = h; !hit && consp(p); p = cdr(p)) hit = eql(car(p), key);
        if (hit) {
            node val = NIL;
            ksguard g2(&clause);
            for (node p = cdr(clause); consp(p); p = cdr(p)) val = kseval(car(p));
            return val;
        }
    }
    return NIL;
}

// ----------------------------------------------------------- sequencing
node xprogn() { return evrestargs(); }

node xprog1() {
    if (!moreargs()) return NIL;
    node first = kseval(nextarg());
    ksguard g(&first);
    evrestargs();
    return first;
}

node xprog2() {
    if (!moreargs()) return NIL;
    node val = kseval(nextarg());
    if (!moreargs()) return val;
    node second = kseval(nextarg());
    ksguard g(&second);
    evrestargs();
    return second;
}

// ----------------------------------------------------------- blocks
// Runs fn inside a block context named name; the value of fn, or the value
// passed by RETURN-FROM.
template <class F>
static node inblock(node name, F fn) {
    context c;
    ksbegin(&c, CTX_RETURN, name);
    node val = NIL;
    if (ksrun(&c, [&] { val = fn(); })) val = ksvalue;
    ksend(&c);
    return val;
}

node xblock() {
    node name = ksarg();
    if (name && !symbolp(name)) ksbadtype(name);
    return inblock(name, [] { return evrestargs(); });
}

node xreturn() {
    node val = moreargs() ? kseval(nextarg()) : NIL;
    kslastarg();
    ksreturn(NIL, val);
}

node xrtnfrom() {
    node name = ksargsym();
    node val = moreargs() ? kseval(nextarg()) : NIL;
    kslastarg();
    ksreturn(name, val);
}

// A jump taken as a C++ exception costs microseconds, which loops written
// with PROG and GO, or left early with RETURN, would pay on every pass. A tag
// body therefore recognises the usual forms of a jump among its own forms:
// (GO label), (RETURN [value]) when the tag body belongs to a construct whose
// NIL block encloses it directly (PROG, DO, DOLIST, DOTIMES), and an IF, WHEN
// or UNLESS whose branch is one of these; it takes such a jump to one of its
// own labels or its own block without unwinding. The forms keep their
// meaning: the test and the value are evaluated as usual, and only when GO,
// RETURN, IF, WHEN and UNLESS are the built-in special forms and no
// evaluation hook is active.
static bool isform(node f, node sym, subrfn fn) {
    if (!consp(f) || car(f) != sym) return false;
    node fun = ksxgetfunction(sym);
    return fsubrp(fun) && getsubr(fun) == fn;
}

node xgo();
node xreturn();
node xif();
node xwhen();
node xunless();

static node s_go, s_return, s_if, s_when, s_unless;

enum jumpkind { NOJUMP, JUMP_GO, JUMP_RETURN };

// The kind of a plain jump form and its operand: the label of (GO label),
// the value form of (RETURN [value]) when returns is allowed.
static jumpkind jumpform(node f, bool returns, node *operand) {
    if (isform(f, s_go, xgo) && consp(cdr(f)) && !cdr(cdr(f))) {
        *operand = car(cdr(f));
        return JUMP_GO;
    }
    if (returns && isform(f, s_return, xreturn) && (!cdr(f) || (consp(cdr(f)) && !cdr(cdr(f))))) {
        *operand = cdr(f) ? car(cdr(f)) : NIL;
        return JUMP_RETURN;
    }
    return NOJUMP;
}

static void poll() {
    if (--kssample < 1) { kssample = CheckFreq; oscheck(); }
}

void kscinit() {
    s_go = ksenter("GO");
    s_return = ksenter("RETURN");
    s_if = ksenter("IF");
    s_when = ksenter("WHEN");
    s_unless = ksenter("UNLESS");
}

// Evaluates f unless it is, or by its test becomes, a plain jump. Returns the
// jump to take with its label, or with the value of a RETURN.
static jumpkind evaljump(node f, bool returns, node *operand) {
    node hook = getvalue(s_evalhook);
    if (hook && hook != s_unbound) { kseval(f); return NOJUMP; }
    node chosen = f;
    node args = cdr(f);
    bool cond_if = isform(f, s_if, xif), cond_when = isform(f, s_when, xwhen),
         cond_unless = isform(f, s_unless, xunless);
    if ((cond_if && consp(args) && consp(cdr(args)) && (!cdr(cdr(args)) || !cdr(cdr(cdr(args))))) ||
        ((cond_when || cond_unless) && consp(args) && consp(cdr(args)) && !cdr(cdr(args)))) {
        node branch = car(cdr(args));
        node other = cond_if && cdr(cdr(args)) ? car(cdr(cdr(args))) : NIL;
        node dummy;
        if (!jumpform(branch, returns, &dummy) && !jumpform(other, returns, &dummy)) {
            kseval(f);
            return NOJUMP;
        }
        poll();
        ksguard g(&f, &branch, &other);
        bool test = kseval(car(args)) != NIL;
        if (cond_unless) test = !test;
        chosen = test ? branch : (cond_if ? other : NIL);
        if (!chosen) return NOJUMP;
    }
    jumpkind k = jumpform(chosen, returns, operand);
    if (k == NOJUMP) {
        kseval(chosen);
        return NOJUMP;
    }
    poll();
    if (k == JUMP_RETURN) *operand = kseval(*operand);
    return k;
}

// Runs n forms from body as a tag body: conses are evaluated, everything
// else is a label. GO resumes after its label. With ownblock, the tag body
// is the direct content of a NIL block: a RETURN ends it, and the function
// returns true with the value in *retval.
static bool tagbody(node *body, int n, bool ownblock, node *retval) {
    ksargv = body;
    ksargc = n;
    context c;
    ksbegin(&c, CTX_GO, NIL);
    node *pos = body;
    int left = n;
    bool returned = false;
    auto run = [&] {
        while (left > 0) {
            // the forms still to run end where the body ends: never read past
            // the frame
            INVARIANT(pos >= body && pos + left == body + n);
            node f = *pos++;
            --left;
            if (!consp(f)) continue;
            node operand;
            jumpkind k = evaljump(f, ownblock, &operand);
            if (k == NOJUMP) continue;
            if (k == JUMP_RETURN) {
                *retval = operand;
                returned = true;
                return;
            }
            int i = 0;
            while (i < n && body[i] != operand) ++i;
            if (i == n) ksgo(operand);   // a label of an outer tag body
            pos = body + i + 1;
            left = n - i - 1;
        }
    };
    // a GO to one of our labels lands here and resumes after the label
    while (ksrun(&c, run)) {
        pos = c.saved_argv;
        left = c.saved_argc;
        c.saved_argv = body;   // the next GO searches the whole body again
        c.saved_argc = n;
    }
    ksend(&c);
    ksargv = body + n;
    ksargc = 0;
    return returned;
}

node xtagbody() {
    node unused;
    tagbody(ksargv, ksargc, false, &unused);
    return NIL;
}

node xgo() {
    node label = ksarg();
    kslastarg();
    ksgo(label);
}

node xloop() {
    node *body = ksargv;
    int n = ksargc;
    return inblock(NIL, [&]() -> node {
        for (;;) {
            bool evaluated = false;
            for (int i = 0; i < n; ++i) {
                if (!consp(body[i])) continue;
                evaluated = true;
                node operand;
                jumpkind k = evaljump(body[i], true, &operand);
                if (k == JUMP_RETURN) return operand;
                if (k == JUMP_GO) ksgo(operand);
            }
            // a pass that evaluated nothing ((loop) or (loop 3)) still polls
            if (!evaluated) poll();
        }
    });
}

static node prog(bool sequential) {
    node bindings = ksarg();
    node oldenv = ksenv;
    ksguard g(&oldenv);
    node *body = ksargv;
    int n = ksargc;
    node val = inblock(NIL, [&]() -> node {
        letframe(bindings, sequential);
        node v = NIL;
        tagbody(body, n, true, &v);
        return v;
    });
    ksenv = oldenv;
    return val;
}

node xprog() { return prog(false); }
node xprogstar() { return prog(true); }

// ----------------------------------------------------------- iteration
static node doloop(bool sequential) {
    node bindings = ksarg();
    node clause = ksarg();
    if (!listp(bindings)) ksbadtype(bindings);
    if (!listp(clause)) ksbadtype(clause);
    node *body = ksargv;
    int n = ksargc;
    node oldenv = ksenv;
    ksguard g(&oldenv, &bindings, &clause);
    node val = inblock(NIL, [&]() -> node {
        letframe(bindings, sequential);
        for (;;) {
            poll();   // a pass may evaluate nothing: (do () ())
            node test = clause ? kseval(car(clause)) : NIL;
            if (test) {
                node v = NIL;
                for (node p = cdr(clause); consp(p); p = cdr(p)) v = kseval(car(p));
                return v;
            }
            node returned;
            if (tagbody(body, n, true, &returned)) return returned;
            // steps: DO evaluates all and then stores, DO* stores each at once
            node *vals = kssp;
            for (node p = bindings; consp(p); p = cdr(p)) {
                node b = car(p);
                if (!consp(b) || !consp(cdr(b)) || !consp(cdr(cdr(b)))) continue;
                node v = kseval(car(cdr(cdr(b))));
                if (sequential) kssetvalue(car(b), v);
                else kspusharg(v);
            }
            if (!sequential) {
                node *q = vals;
                for (node p = bindings; consp(p); p = cdr(p)) {
                    node b = car(p);
                    if (!consp(b) || !consp(cdr(b)) || !consp(cdr(cdr(b)))) continue;
                    kssetvalue(car(b), *q++);
                }
                kssp = vals;
            }
        }
    });
    ksenv = oldenv;
    return val;
}

node xdo() { return doloop(false); }
node xdostar() { return doloop(true); }

// (var form [result]) of DOTIMES and DOLIST
static void loopspec(node spec, node *var, node *form, node *result) {
    if (!consp(spec)) kstoofew();
    *var = car(spec);
    if (!symbolp(*var)) ksbadtype(*var);
    if (!consp(cdr(spec))) kstoofew();
    *form = car(cdr(spec));
    *result = consp(cdr(cdr(spec))) ? car(cdr(cdr(spec))) : NIL;
}

node xdotimes() {
    node spec = ksarg();
    node var, form, result;
    loopspec(spec, &var, &form, &result);
    node count = kseval(form);
    if (!fixp(count)) ksbadtype(count);
    int32_t limit = getfixnum(count);
    node *body = ksargv;
    int n = ksargc;
    node oldenv = ksenv;
    ksguard g(&spec, &oldenv, &count);
    ksenv = cons(NIL, ksenv);
    bindinframe(var, NIL);
    node binding = car(car(ksenv));
    ksguard g2(&binding);
    node val = inblock(NIL, [&]() -> node {
        for (int32_t i = 0; i < limit; ++i) {
            poll();   // an empty body evaluates nothing
            rplacd(binding, cvfixnum(i));
            node returned;
            if (tagbody(body, n, true, &returned)) return returned;
        }
        rplacd(binding, count);
        return kseval(result);
    });
    ksenv = oldenv;
    return val;
}

node xdolist() {
    node spec = ksarg();
    node var, form, result;
    loopspec(spec, &var, &form, &result);
    node list = kseval(form);
    if (!listp(list)) ksbadtype(list);
    node *body = ksargv;
    int n = ksargc;
    node oldenv = ksenv;
    ksguard g(&spec, &oldenv, &list);
    ksenv = cons(NIL, ksenv);
    bindinframe(var, NIL);
    node binding = car(car(ksenv));
    ksguard g2(&binding);
    node val = inblock(NIL, [&]() -> node {
        for (node p = list; consp(p); p = cdr(p)) {
            poll();   // an empty body over a circular list never ends
            rplacd(binding, car(p));
            node returned;
            if (tagbody(body, n, true, &returned)) return returned;
        }
        rplacd(binding, NIL);
        return kseval(result);
    });
    ksenv = oldenv;
    return val;
}

// ----------------------------------------------------------- catching
node xcatch() {
    node tag = kseval(ksarg());
    ksguard g(&tag);
    context c;
    ksbegin(&c, CTX_THROW, tag);
    node val = NIL;
    if (ksrun(&c, [&] { val = evrestargs(); })) val = ksvalue;
    ksend(&c);
    return val;
}

node xthrow() {
    node tag = kseval(ksarg());
    ksguard g(&tag);
    node val = moreargs() ? kseval(nextarg()) : NIL;
    kslastarg();
    ksthrow(tag, val);
}

node xerrset() {
    node form = ksarg();
    node flag = moreargs() ? nextarg() : s_true;
    kslastarg();
    context c;
    ksbegin(&c, CTX_ERROR, flag);
    node val = NIL;
    if (ksrun(&c, [&] { val = cons(kseval(form), NIL); })) val = NIL;
    ksend(&c);
    return val;
}

node xunwindprotect() {
    node form = ksarg();
    context c;
    ksbegin(&c, CTX_UNWIND, NIL);
    node val = NIL, jval = NIL;
    ksguard g(&val, &jval);
    context *target = nullptr;
    int mask = 0;
    if (ksrun(&c, [&] { val = kseval(form); })) {
        target = kstarget;
        mask = ksmask;
        jval = ksvalue;
    }
    ksend(&c);
    evrestargs();
    if (target) ksjump(target, mask, jval);
    return val;
}

// ----------------------------------------------------------- dynamic binding
node xprogv() {
    node symsform = ksarg();
    node valsform = ksarg();
    if (!listp(symsform)) ksbadtype(symsform);
    if (!listp(valsform)) ksbadtype(valsform);
    node syms = kseval(symsform);
    ksguard g(&syms);
    node vals = kseval(valsform);
    ksguard g2(&vals);
    node olddenv = ksdenv;
    for (node p = syms; consp(p); p = cdr(p)) {
        node sym = car(p);
        if (!symbolp(sym)) kserror("expecting a symbol", sym);
        node saved = cons(sym, getvalue(sym));
        ksdenv = cons(saved, ksdenv);
        if (consp(vals)) {
            setvalue(sym, car(vals));
            vals = cdr(vals);
        } else {
            setvalue(sym, s_unbound);
        }
    }
    node val = evrestargs();
    while (ksdenv && ksdenv != olddenv) {
        node pair = car(ksdenv);
        setvalue(car(pair), cdr(pair));
        ksdenv = cdr(ksdenv);
    }
    return val;
}
