// Basic built-ins: evaluation helpers, type predicates, equality, symbols
// and property lists, vectors, and the entries to errors and break loops.
#include "interp/ks.h"

#include <climits>
#include <cstring>
#include <string>

// GENSYM's name prefix and counter.
char gsprefix[STRMAX + 1] = "G";
int32_t gsnumber = 1;

// For built-ins with keyword arguments, once they have read the keywords
// they know (which the keyword helpers leave in place): what remains must be
// keyword/value pairs. An odd leftover argument is one too many; a key
// position must hold a keyword. Unknown keywords are ignored, as in lambda
// lists.
void kskeysdone() {
    if (ksargc % 2 != 0) kstoomany();
    for (int i = 0; i < ksargc; i += 2) {
        node k = ksargv[i];
        if (!symbolp(k) || symname(k)[0] != ':') ksbadtype(k);
    }
    ksargv += ksargc;
    ksargc = 0;
}

namespace {

node boolnode(bool b) { return b ? s_true : NIL; }

// The single argument of a predicate.
node onearg() {
    node x = ksarg();
    kslastarg();
    return x;
}

// Restores dynamic bindings made since `saved` on ksdenv (normal exits only:
// a non-local exit restores them itself).
void unbinddynamic(node saved) {
    while (ksdenv != saved) {
        node pair = car(ksdenv);
        setvalue(car(pair), cdr(pair));
        ksdenv = cdr(ksdenv);
    }
}

void binddynamic(node sym, node val) {
    ksguard g(&sym, &val);
    node saved = cons(sym, getvalue(sym));
    ksdenv = cons(saved, ksdenv);
    setvalue(sym, val);
}

}  // namespace

// ------------------------------------------------------------ evaluation
node xeval() {
    node expr = onearg();
    return kseval(expr);
}

node xapply() {
    node fn = ksarg();
    node args = ksarglist();
    kslastarg();
    node *base = ksbeginframe(fn);
    int n = 0;
    for (; consp(args); args = cdr(args), ++n) kspusharg(car(args));
    ksendframe(base, n);
    return ksapply(n);
}

node xfuncall() {
    node fn = ksarg();
    int n = ksargc;
    node *args = ksargv;
    ksargv += n;
    ksargc = 0;
    return kscall(fn, n, args);
}

node xmacroexpand() { return ksexpandmacros(onearg()); }

node xmacroexpand1() {
    node form = onearg();
    if (!consp(form) || !symbolp(car(form))) return form;
    node fun = ksxgetfunction(car(form));
    node val;
    return macroexpand(fun, cdr(form), &val) ? val : form;
}

// A list of environment frames as the lookups walk it: a proper list
// whose frames are proper lists of (name . value) bindings, or a method's
// (object . class) pair. A user-made environment is checked once here, so
// that no lookup meets a cycle or a binding that is not a pair (the error
// does not print it: it may be circular).
static bool envframes(node frames) {
    if (kslistlength(frames) < 0) return false;
    for (; frames; frames = cdr(frames)) {
        node frame = car(frames);
        if (consp(frame) && objectp(car(frame))) continue;
        if (kslistlength(frame) < 0) return false;
        for (; frame; frame = cdr(frame))
            if (!consp(car(frame))) return false;
    }
    return true;
}

// (evalhook expr evalhook applyhook [env]): expr evaluated (without calling
// the hook for expr itself) in env, a pair (variables . functions) or NIL
// for the global environment, with the hook variables bound dynamically.
node xevalhook() {
    node expr = ksarg();
    node ehook = ksarg();
    node ahook = ksarg();
    node env = moreargs() ? ksarglist() : NIL;
    kslastarg();
    if (env && !(envframes(car(env)) && envframes(cdr(env)))) ksfail("bad environment");
    node olddenv = ksdenv, oldenv = ksenv, oldfenv = ksfenv, val = NIL;
    ksguard g(&olddenv, &oldenv, &oldfenv, &val);
    binddynamic(s_evalhook, ehook);
    binddynamic(s_applyhook, ahook);
    ksenv = env ? car(env) : NIL;
    ksfenv = env ? cdr(env) : NIL;
    val = ksxeval(expr);
    ksenv = oldenv;
    ksfenv = oldfenv;
    unbinddynamic(olddenv);
    return val;
}

// ------------------------------------------------------------ predicates
node xatom() { return boolnode(atom(onearg())); }
node xsymbolp() {
    node x = onearg();
    return boolnode(!x || symbolp(x));
}
node xnumberp() { return boolnode(numberp(onearg())); }
node xintegerp() { return boolnode(fixp(onearg())); }
node xfloatp() { return boolnode(floatp(onearg())); }
node xcharacterp() { return boolnode(charp(onearg())); }
node xstringp() { return boolnode(stringp(onearg())); }
node xarrayp() { return boolnode(vectorp(onearg())); }
node xobjectp() { return boolnode(objectp(onearg())); }
node xstreamp() {
    node x = onearg();
    return boolnode(streamp(x) || ustreamp(x));
}
node xnull() { return boolnode(!onearg()); }
node xlistp() { return boolnode(listp(onearg())); }
node xconsp() { return boolnode(consp(onearg())); }

node xendp() {
    node x = ksarglist();
    kslastarg();
    return boolnode(!x);
}

node xboundp() {
    node s = ksargsym();
    kslastarg();
    return boolnode(getvalue(s) != s_unbound);
}

node xfboundp() {
    node s = ksargsym();
    kslastarg();
    return boolnode(getfunction(s) != s_unbound);
}

static bool twoargs(bool (*test)(node, node)) {
    node a = ksarg();
    node b = ksarg();
    kslastarg();
    return test(a, b);
}
node xeq() { return boolnode(twoargs(eq)); }
node xeql() { return boolnode(twoargs(eql)); }
node xequal() { return boolnode(twoargs(equal)); }

// ------------------------------------------------------------ symbols
node xset() {
    node s = ksargsym();
    node v = ksarg();
    kslastarg();
    setvalue(s, v);
    return v;
}

// (gensym [x]): x sets the counter (a fixnum) or the prefix (a string or a
// symbol's name, at most 255 characters).
node xgensym() {
    if (moreargs()) {
        node x = nextarg();
        kslastarg();
        if (fixp(x)) {
            gsnumber = getfixnum(x);
        } else if (stringp(x) || symbolp(x)) {
            const char *p = stringp(x) ? getstring(x) : symname(x);
            strncpy(gsprefix, p, STRMAX);
            gsprefix[STRMAX] = '\0';
        } else {
            ksbadtype(x);
        }
    }
    std::string name = gsprefix + std::to_string(gsnumber);
    gsnumber = (int32_t)((uint32_t)gsnumber + 1u);
    return ksmakesym(name.c_str());
}

node xmakesymbol() {
    node name = ksargstr();
    kslastarg();
    return ksmakesym(getstring(name));
}

node xintern() {
    node name = ksargstr();
    kslastarg();
    return ksenter(getstring(name));
}

node xsymname() {
    node s = ksargsym();
    kslastarg();
    return getpname(s);
}

node xsymvalue() {
    node s = ksargsym();
    kslastarg();
    while (getvalue(s) == s_unbound)
        kscerror("try evaluating symbol again", "unbound variable", s);
    return getvalue(s);
}

node xsymfunction() {
    node s = ksargsym();
    kslastarg();
    while (getfunction(s) == s_unbound)
        kscerror("try evaluating symbol again", "unbound function", s);
    return getfunction(s);
}

node xsymplist() {
    node s = ksargsym();
    kslastarg();
    return getplist(s);
}

// ------------------------------------------------------------ property lists
node xget() {
    node s = ksargsym();
    node prop = ksarg();
    kslastarg();
    return ksgetprop(s, prop);
}

node xputprop() {
    node s = ksargsym();
    node val = ksarg();
    node prop = ksarg();
    kslastarg();
    ksputprop(s, val, prop);
    return val;
}

node xremprop() {
    node s = ksargsym();
    node prop = ksarg();
    kslastarg();
    ksremprop(s, prop);
    return NIL;
}

// (hash name n): the symbol-table hash of the name modulo n. A zero n has
// no remainder ("division by zero"); a negative n gives the same result as
// its magnitude, except the most negative fixnum, whose magnitude is no
// fixnum and which is refused.
node xhash() {
    node name = ksarg();
    node n = ksargfix();
    kslastarg();
    const char *str;
    if (stringp(name)) str = getstring(name);
    else if (symbolp(name)) str = symname(name);
    else ksbadtype(name);
    int32_t size = getfixnum(n);
    if (size == 0) ksfail("division by zero");
    if (size == INT32_MIN) kserror("bad argument", n);
    return cvfixnum(hash(str, size < 0 ? -size : size));
}

// ------------------------------------------------------------ vectors
node xaref() {
    node v = ksargvec();
    node index = ksargfix();
    kslastarg();
    int32_t i = getfixnum(index);
    if (i < 0 || i >= getsize(v)) kserror("array index out of bounds", index);
    return getelement(v, i);
}

node xmkarray() {
    node size = ksargfix();
    kslastarg();
    if (getfixnum(size) < 0) kserror("bad argument", size);
    return newvector(getfixnum(size));
}

node xvector() {
    node v = newvector(ksargc);
    for (int i = 0; moreargs(); ++i) setelement(v, i, nextarg());
    return v;
}

// ------------------------------------------------------------ errors and breaks
node xerror() {
    node msg = ksargstr();
    node val = moreargs() ? nextarg() : s_unbound;
    kslastarg();
    kserror(getstring(msg), val);
}

node xcerror() {
    node cmsg = ksargstr();
    node msg = ksargstr();
    node val = moreargs() ? nextarg() : s_unbound;
    kslastarg();
    kscerror(getstring(cmsg), getstring(msg), val);
    return NIL;
}

node xbreak() {
    node msg = moreargs() ? ksargstr() : NIL;
    node val = moreargs() ? nextarg() : s_unbound;
    kslastarg();
    ksbreak(msg ? getstring(msg) : "**BREAK**", val);
    return NIL;
}

node xcleanup() {
    kslastarg();
    kscleanup();
}

node xtoplevel() {
    kslastarg();
    kstoplevel(1);
}

node xcontinue() {
    kslastarg();
    kscontinue();
}
