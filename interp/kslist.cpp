// Lists: accessors, construction, searching, substitution, mapping and
// sorting.
//
// Every function here walks a list's cdr chain in a loop, never by
// recursion, so a list of any length costs no machine stack. Loops that may
// meet a circular list poll the console every 65536 steps, so that the
// user's break interrupts them.
#include "interp/ks.h"

#include <vector>


node xeq();
node xeql();
node xequal();

namespace {

// A result list under construction. The caller protects `head` (the cells
// after it are reachable from it); add() protects its own argument.
struct listbuild {
    node head = NIL, tail = NIL;
    void add(node x) { link(cons(x, NIL)); }
    void link(node cell) {
        if (tail) rplacd(tail, cell);
        else head = cell;
        tail = cell;
    }
};

// Calls a two-argument test; the built-in equality tests are compared
// directly instead of through an argument frame.
bool calltest(node fn, node a, node b) {
    if (subrp(fn)) {
        subrfn f = getsubr(fn);
        if (f == xeql) return eql(a, b);
        if (f == xeq) return a == b;
        if (f == xequal) return equal(a, b);
    }
    return kscall2(fn, a, b) != NIL;
}

// The :TEST / :TEST-NOT function of a call and the sense it must answer.
struct keytest {
    node fn;
    bool sense;
    bool matches(node a, node b) const { return calltest(fn, a, b) == sense; }
};

// Reads :TEST/:TEST-NOT from the remaining arguments and checks that only
// key/value pairs remain.
keytest readtest() {
    keytest t;
    kstest(&t.fn, &t.sense);
    kskeysdone();
    return t;
}

// Follows a path of 'a' and 'd' letters, in the order they are applied.
node cxr(const char *path) {
    node x = ksarglist();
    kslastarg();
    for (const char *p = path; *p; ++p) {
        if (!x) return NIL;
        if (!consp(x)) kserror("bad argument", x);
        x = *p == 'a' ? car(x) : cdr(x);
    }
    return x;
}

// ------------------------------------------------------------ substitution
// Copies a tree, replacing every subtree (leaves and NIL included) for which
// replace(subtree, &value) holds; a replaced subtree is not entered. The cars
// are handled before the cdrs, as a recursive walk would, but the pending
// cdrs wait on a Lisp list instead of the machine stack, so neither long nor
// deeply nested trees can overflow it.
template <class Replace>
node copytree(node tree, Replace replace) {
    node holder = NIL, pending = NIL, cell = NIL, src = NIL, rep = NIL;
    ksguard g(&tree, &holder, &pending, &cell, &src, &rep);
    holder = cons(NIL, NIL);
    pending = cons(cons(holder, tree), NIL);   // (cell . src): cdr(cell) := copy of src
    breakpoll poll;
    while (pending) {
        cell = car(car(pending));
        src = cdr(car(pending));
        pending = cdr(pending);
        bool tocar = false;
        for (;;) {
            poll.tick();
            node value;
            if (replace(src, &rep)) {
                value = rep;
            } else if (consp(src)) {
                node copy = cons(NIL, NIL);
                if (tocar) rplaca(cell, copy); else rplacd(cell, copy);
                cell = copy;
                pending = cons(cons(cell, cdr(src)), pending);
                src = car(src);
                tocar = true;
                continue;
            } else {
                value = src;
            }
            if (tocar) rplaca(cell, value); else rplacd(cell, value);
            break;
        }
    }
    return cdr(holder);
}

// ------------------------------------------------------------ mapping
// MAPC, MAPCAR, MAPL and MAPLIST: fn over the elements (or the tails) of
// all lists in step, until the shortest ends.
node mapper(bool tails, bool collect) {
    node fn = ksarg();
    if (!moreargs()) kstoofew();
    int n = ksargc;
    node *lists = ksargv;   // in the call's frame, hence protected
    std::vector<node> cur(lists, lists + n);
    std::vector<node> args(n);
    for (node l : cur)
        if (!listp(l)) ksbadtype(l);
    ksargv += n;
    ksargc = 0;

    listbuild result;
    ksguard g(&fn, &result.head);
    for (node &l : cur) kspush(&l);   // released by g with the rest
    breakpoll poll;
    for (;;) {
        for (int i = 0; i < n; ++i) {
            if (!consp(cur[i])) return collect ? result.head : lists[0];
            args[i] = tails ? cur[i] : car(cur[i]);
        }
        node v = kscall(fn, n, args.data());
        if (collect) result.add(v);
        for (node &l : cur) l = cdr(l);
        poll.tick();
    }
}

// ------------------------------------------------------------ removal
// A new list of the elements for which keep(element) holds.
template <class Keep>
node filter(node list, Keep keep) {
    listbuild result;
    ksguard g(&list, &result.head);
    breakpoll poll;
    for (; consp(list); list = cdr(list)) {
        if (keep(car(list))) result.add(car(list));
        poll.tick();
    }
    return result.head;
}

// Unlinks, in place, the cells whose element satisfies drop(element);
// returns the new head.
template <class Drop>
node unlink(node list, Drop drop) {
    node prev = NIL;
    ksguard g(&list, &prev);
    breakpoll poll;
    while (consp(list) && drop(car(list))) {
        list = cdr(list);
        poll.tick();
    }
    for (prev = list; consp(prev) && consp(cdr(prev));) {
        if (drop(car(cdr(prev)))) rplacd(prev, cdr(cdr(prev)));
        else prev = cdr(prev);
        poll.tick();
    }
    return list;
}

node predfilter(bool keepwhen) {
    node pred = ksarg();
    node list = ksarglist();
    kslastarg();
    ksguard g(&pred);
    return filter(list, [&](node x) { return (kscall1(pred, x) != NIL) == keepwhen; });
}

node predunlink(bool dropwhen) {
    node pred = ksarg();
    node list = ksarglist();
    kslastarg();
    ksguard g(&pred);
    return unlink(list, [&](node x) { return (kscall1(pred, x) != NIL) == dropwhen; });
}

// ------------------------------------------------------------ sorting
// Merges two sorted runs of cells; `a` holds the elements that came first
// in the list. An element of b goes before an element of a only when
// (pred b a) is true, which is exactly where insertion into a sorted list
// would put it: equal elements keep their order under a strict predicate.
node merge(node a, node b, node pred) {
    listbuild out;
    ksguard g(&a, &b, &pred, &out.head);
    breakpoll poll;   // a circular list may leave a cycle here
    while (a && b) {
        poll.tick();
        if (kscall2(pred, car(b), car(a)) != NIL) {
            out.link(b);
            b = cdr(b);
        } else {
            out.link(a);
            a = cdr(a);
        }
    }
    out.link(a ? a : b);
    return out.head;
}

// Sorts the cells of a list in place by relinking them: a bottom-up merge
// sort that keeps at most one pending run per power of two, so it takes
// O(n log n) predicate calls and no recursion. The runs are protected while
// the predicate runs.
node mergesort(node list, node pred) {
    enum { LEVELS = 40 };   // enough for 2^40 cells
    node runs[LEVELS] = {};
    node carry = NIL;
    ksguard g(&list, &pred, &carry);
    for (node &r : runs) kspush(&r);
    int used = 0;
    breakpoll poll;
    while (consp(list)) {
        poll.tick();
        carry = list;
        list = cdr(list);
        rplacd(carry, NIL);
        int i = 0;
        for (; i < used && runs[i]; ++i) {
            carry = merge(runs[i], carry, pred);
            runs[i] = NIL;
        }
        runs[i] = carry;
        if (i == used) ++used;
    }
    // the lower levels hold the later elements
    carry = NIL;
    for (int i = 0; i < used; ++i)
        if (runs[i]) carry = merge(runs[i], carry, pred);
    return carry;
}

// A fresh copy of the cells of a list (the elements are shared).
node copycells(node list) {
    return filter(list, [](node) { return true; });
}

}  // namespace

// ------------------------------------------------------------ accessors
node xcar() {
    node x = ksarglist();
    kslastarg();
    return x ? car(x) : NIL;
}

node xcdr() {
    node x = ksarglist();
    kslastarg();
    return x ? cdr(x) : NIL;
}

node xcaar() { return cxr("aa"); }
node xcadr() { return cxr("da"); }
node xcdar() { return cxr("ad"); }
node xcddr() { return cxr("dd"); }
node xcaaar() { return cxr("aaa"); }
node xcaadr() { return cxr("daa"); }
node xcadar() { return cxr("ada"); }
node xcaddr() { return cxr("dda"); }
node xcdaar() { return cxr("aad"); }
node xcdadr() { return cxr("dad"); }
node xcddar() { return cxr("add"); }
node xcdddr() { return cxr("ddd"); }
node xcaaaar() { return cxr("aaaa"); }
node xcaaadr() { return cxr("daaa"); }
node xcaadar() { return cxr("adaa"); }
node xcaaddr() { return cxr("ddaa"); }
node xcadaar() { return cxr("aada"); }
node xcadadr() { return cxr("dada"); }
node xcaddar() { return cxr("adda"); }
node xcadddr() { return cxr("ddda"); }
node xcdaaar() { return cxr("aaad"); }
node xcdaadr() { return cxr("daad"); }
node xcdadar() { return cxr("adad"); }
node xcdaddr() { return cxr("ddad"); }
node xcddaar() { return cxr("aadd"); }
node xcddadr() { return cxr("dadd"); }
node xcdddar() { return cxr("addd"); }
node xcddddr() { return cxr("dddd"); }

// ------------------------------------------------------------ construction
node xcons() {
    node a = ksarg();
    node d = ksarg();
    kslastarg();
    return cons(a, d);
}

node xlist() {
    listbuild result;
    ksguard g(&result.head);
    while (moreargs()) result.add(nextarg());
    return result.head;
}

node xappend() {
    listbuild result;
    ksguard g(&result.head);
    breakpoll poll;
    while (ksargc > 1) {
        for (node l = nextarg(); consp(l); l = cdr(l)) {
            result.add(car(l));
            poll.tick();
        }
    }
    node last = moreargs() ? nextarg() : NIL;
    if (!result.tail) return last;
    rplacd(result.tail, last);
    return result.head;
}

node xreverse() {
    node list = ksarglist();
    kslastarg();
    node result = NIL;
    ksguard g(&result);
    breakpoll poll;
    for (; consp(list); list = cdr(list)) {
        result = cons(car(list), result);
        poll.tick();
    }
    return result;
}

node xlast() {
    node list = ksarglist();
    kslastarg();
    if (!list) return NIL;
    breakpoll poll;
    while (consp(cdr(list))) {
        list = cdr(list);
        poll.tick();
    }
    return list;
}

// NTH and NTHCDR: the list after n cdrs, NIL past the end.
static node nthtail() {
    node n = ksargfix();
    node list = ksargcons();
    kslastarg();
    int32_t i = getfixnum(n);
    if (i < 0) kserror("bad argument", n);
    breakpoll poll;
    for (; i > 0 && consp(list); --i) {
        list = cdr(list);
        poll.tick();
    }
    return i > 0 ? NIL : list;
}

node xnth() {
    node tail = nthtail();
    return consp(tail) ? car(tail) : NIL;
}

node xnthcdr() { return nthtail(); }

node xlength() {
    node x = ksarg();
    kslastarg();
    if (stringp(x)) return cvfixnum(getslength(x) - 1);
    if (vectorp(x)) return cvfixnum(getsize(x));
    if (!listp(x)) ksbadtype(x);
    uint32_t n = 0;
    breakpoll poll;
    for (; consp(x); x = cdr(x)) {
        ++n;
        poll.tick();
    }
    return cvfixnum((int32_t)n);
}

// ------------------------------------------------------------ searching
node xmember() {
    node item = ksarg();
    node list = ksarglist();
    keytest t = readtest();
    ksguard g(&item, &list);
    breakpoll poll;
    for (; consp(list); list = cdr(list)) {
        if (t.matches(item, car(list))) return list;
        poll.tick();
    }
    return NIL;
}

node xassoc() {
    node item = ksarg();
    node alist = ksarglist();
    keytest t = readtest();
    node pair = NIL;   // protected: the test may rewrite the alist
    ksguard g(&item, &alist, &pair);
    breakpoll poll;
    for (; consp(alist); alist = cdr(alist)) {
        pair = car(alist);
        if (consp(pair) && t.matches(item, car(pair))) return pair;
        poll.tick();
    }
    return NIL;
}

node xsubst() {
    node newv = ksarg();
    node old = ksarg();
    node tree = ksarg();
    keytest t = readtest();
    ksguard g(&newv, &old);
    return copytree(tree, [&](node sub, node *rep) {
        if (!t.matches(sub, old)) return false;
        *rep = newv;
        return true;
    });
}

node xsublis() {
    node alist = ksarglist();
    node tree = ksarg();
    keytest t = readtest();
    ksguard g(&alist);
    return copytree(tree, [&](node sub, node *rep) {
        node p = alist, pair = NIL;
        ksguard gp(&sub, &p, &pair);
        for (; consp(p); p = cdr(p)) {
            pair = car(p);
            if (consp(pair) && t.matches(sub, car(pair))) {
                *rep = cdr(pair);
                return true;
            }
        }
        return false;
    });
}

// ------------------------------------------------------------ removal
node xremove() {
    node item = ksarg();
    node list = ksarglist();
    keytest t = readtest();
    ksguard g(&item);
    return filter(list, [&](node x) { return !t.matches(item, x); });
}

node xremif() { return predfilter(false); }
node xremifnot() { return predfilter(true); }

node xdelete() {
    node item = ksarg();
    node list = ksarglist();
    keytest t = readtest();
    ksguard g(&item);
    return unlink(list, [&](node x) { return t.matches(item, x); });
}

node xdelif() { return predunlink(true); }
node xdelifnot() { return predunlink(false); }

// ------------------------------------------------------------ mapping
node xmapc() { return mapper(false, false); }
node xmapcar() { return mapper(false, true); }
node xmapl() { return mapper(true, false); }
node xmaplist() { return mapper(true, true); }

// ------------------------------------------------------------ destructive
node xrplca() {
    node c = ksargcons();
    node v = ksarg();
    kslastarg();
    rplaca(c, v);
    return c;
}

node xrplcd() {
    node c = ksargcons();
    node v = ksarg();
    kslastarg();
    rplacd(c, v);
    return c;
}

// (nconc list...): the last cdr of each cons argument is set to the next
// cons argument or to the last argument; other atoms are skipped.
node xnconc() {
    node first = NIL, last = NIL;
    breakpoll poll;
    while (moreargs()) {
        node x = nextarg();
        if (!consp(x)) {
            if (moreargs()) continue;
            if (!last) return x;
            rplacd(last, x);
            break;
        }
        if (last) rplacd(last, x);
        else first = x;
        for (last = x; consp(cdr(last)); last = cdr(last)) poll.tick();
    }
    return first;
}

// ------------------------------------------------------------ sorting
node xsort() {
    node list = ksargcons();
    node pred = ksarg();
    kslastarg();
    ksguard g(&pred);
    return mergesort(copycells(list), pred);
}

node xdsort() {
    node list = ksarglist();
    node pred = ksarg();
    kslastarg();
    return mergesort(list, pred);
}

// Length of a proper list, or -1 for a dotted or circular one (a pointer
// moving one cell per step meets one moving two cells only on a cycle).
int32_t kslistlength(node list) {
    int32_t n = 0;
    node slow = list, fast = list;
    while (fast) {
        if (!consp(fast)) return -1;
        fast = cdr(fast);
        ++n;
        if (!fast) break;
        if (!consp(fast)) return -1;
        fast = cdr(fast);
        ++n;
        slow = cdr(slow);
        if (fast == slow) return -1;
    }
    return n;
}
