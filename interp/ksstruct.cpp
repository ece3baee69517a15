// Structures: DEFSTRUCT and the functions it generates, the primitives they
// call (%MAKE-STRUCT, %STRUCT-REF, ...), and the #S read and print syntax.
//
// The name symbol of a structure carries *STRUCT-SLOTS*: the list, in slot
// order, of (slot-symbol default), where default is NIL or a one-element
// list holding a closure without parameters that computes the initial value.
#include "interp/ks.h"

#include <string>

node s_structslots = NIL;

// ---------------------------------------------------------------- helpers

// Builds a list of the given nodes; the nodes must be protected by the
// caller (they are, as locals of the callers below or arguments).
static node list2(node a, node b) {
    node tail = cons(b, NIL);
    ksguard g(&tail);
    return cons(a, tail);
}

static node list3(node a, node b, node c) {
    node tail = list2(b, c);
    ksguard g(&tail);
    return cons(a, tail);
}

static node list4(node a, node b, node c, node d) {
    node tail = list3(b, c, d);
    ksguard g(&tail);
    return cons(a, tail);
}

// Appends val to the list whose head and last cell are given.
static void append(node *head, node *last, node val) {
    node cell = cons(val, NIL);
    if (*last) rplacd(*last, cell);
    else *head = cell;
    *last = cell;
}

// A global function closure: (params) body, named name.
static void defclosure(node name, node params, node body) {
    ksguard g(&name, &params, &body);
    setfunction(name, ksclose(name, s_lambda, params, body, NIL, NIL));
}

static node slotnumber(int k) { return cvfixnum(k); }

// ----------------------------------------------------------------- DEFSTRUCT

struct structdef {
    node name = NIL;
    std::string prefix;
    node slots = NIL;      // (slot default) entries in slot order
    node last = NIL;       // last cell of slots
};

// A default: NIL, or a list holding a closure over the current environments
// whose body is the init form.
static node makedefault(node initform) {
    node body = cons(initform, NIL);
    ksguard g(&body);
    node fn = ksclose(NIL, s_lambda, NIL, body, ksenv, ksfenv);
    ksguard g2(&fn);
    return cons(fn, NIL);
}

// Splits a slot description into its symbol and default.
static void parseslot(node desc, node *sym, node *dflt) {
    if (symbolp(desc)) {
        *sym = desc;
        *dflt = NIL;
    } else if (consp(desc) && symbolp(car(desc))) {
        *sym = car(desc);
        *dflt = consp(cdr(desc)) ? makedefault(car(cdr(desc))) : NIL;
    } else {
        kserror("bad slot description", desc);
    }
}

static void addslot(structdef &d, node sym, node dflt) {
    node entry = list2(sym, dflt);
    ksguard g(&entry);
    append(&d.slots, &d.last, entry);
}

// (:INCLUDE name desc...): the included slots first, then the new defaults.
static void includeslots(structdef &d, node option) {
    node iname = consp(cdr(option)) ? car(cdr(option)) : NIL;
    node islots = symbolp(iname) ? ksgetprop(iname, s_structslots) : NIL;
    if (!consp(islots)) kserror("expecting a structure name", iname);
    node first = d.last;   // slots added from here on belong to this option
    for (node p = islots; consp(p); p = cdr(p)) {
        node entry = car(p);
        if (!consp(entry)) continue;
        node dflt = consp(cdr(entry)) ? car(cdr(entry)) : NIL;
        addslot(d, car(entry), dflt);
    }
    node sym = NIL, dflt = NIL;
    ksguard g(&sym, &dflt);
    for (node p = consp(cdr(option)) ? cdr(cdr(option)) : NIL; consp(p); p = cdr(p)) {
        parseslot(car(p), &sym, &dflt);
        node entry = NIL;
        for (node q = first ? cdr(first) : d.slots; q; q = cdr(q))
            if (car(car(q)) == sym) entry = car(q);
        if (!entry) kserror("unknown slot name", sym);
        rplaca(cdr(entry), dflt);
    }
}

static void parseoptions(structdef &d, node options) {
    node k_concname = ksenter(":CONC-NAME"), k_include = ksenter(":INCLUDE");
    for (; consp(options); options = cdr(options)) {
        node option = car(options);
        if (!consp(option)) kserror("bad option syntax", option);
        if (car(option) == k_concname) {
            node v = consp(cdr(option)) ? car(cdr(option)) : NIL;
            if (!symbolp(v)) kserror("expecting a symbol", v);
            d.prefix = symname(v);
        } else if (car(option) == k_include) {
            includeslots(d, option);
        } else {
            kserror("unknown option", car(option));
        }
    }
}

static node symbolnamed(const std::string &a, const std::string &b, const std::string &c) {
    return ksenter((a + b + c).c_str());
}

// Accessor prefix+slot: (S) -> (%STRUCT-REF S k), and its *SETF* closure
// (S V) -> (%STRUCT-SET S k V).
static void defaccessor(const structdef &d, node slot, int k) {
    node s = ksenter("S"), v = ksenter("V");
    node acc = symbolnamed(d.prefix, symname(slot), "");
    node num = slotnumber(k), params = NIL, body = NIL;
    ksguard g(&num, &params, &body);
    params = cons(s, NIL);
    body = list3(ksenter("%STRUCT-REF"), s, num);
    body = cons(body, NIL);
    defclosure(acc, params, body);
    params = list2(s, v);
    body = list4(ksenter("%STRUCT-SET"), s, num, v);
    body = cons(body, NIL);
    node setter = ksclose(NIL, s_lambda, params, body, NIL, NIL);
    ksguard g2(&setter);
    ksputprop(acc, setter, s_setf);
}

// MAKE-name (&KEY (slot default)...) -> (%MAKE-STRUCT 'name slot...)
static void defconstructor(const structdef &d) {
    std::string name = symname(d.name);
    node params = NIL, plast = NIL, body = NIL, blast = NIL, quoted = NIL;
    ksguard g(&params, &plast, &body, &blast, &quoted);
    append(&params, &plast, lk_key);
    quoted = list2(s_quote, d.name);
    append(&body, &blast, ksenter("%MAKE-STRUCT"));
    append(&body, &blast, quoted);
    for (node p = d.slots; p; p = cdr(p)) {
        append(&params, &plast, car(p));
        append(&body, &blast, car(car(p)));
    }
    body = cons(body, NIL);
    defclosure(symbolnamed("MAKE-", name, ""), params, body);
}

// name-P (X) -> (%STRUCT-TYPE-P 'name X); COPY-name (X) -> (%COPY-STRUCT X)
static void defpredicates(const structdef &d) {
    std::string name = symname(d.name);
    node x = ksenter("X");
    node params = NIL, body = NIL, quoted = NIL;
    ksguard g(&params, &body, &quoted);
    params = cons(x, NIL);
    quoted = list2(s_quote, d.name);
    body = list3(ksenter("%STRUCT-TYPE-P"), quoted, x);
    body = cons(body, NIL);
    defclosure(symbolnamed("", name, "-P"), params, body);
    body = list2(ksenter("%COPY-STRUCT"), x);
    body = cons(body, NIL);
    defclosure(symbolnamed("COPY-", name, ""), params, body);
}

node xdefstruct() {
    structdef d;
    ksguard g(&d.name, &d.slots, &d.last);
    node head = ksarg();
    node options = NIL;
    if (consp(head)) {
        d.name = car(head);
        options = cdr(head);
    } else {
        d.name = head;
    }
    if (!symbolp(d.name)) ksbadtype(d.name);
    d.prefix = std::string(symname(d.name)) + "-";
    parseoptions(d, options);

    node sym = NIL, dflt = NIL;
    ksguard g2(&sym, &dflt);
    while (moreargs()) {
        parseslot(nextarg(), &sym, &dflt);
        addslot(d, sym, dflt);
    }

    int k = 1;
    for (node p = d.slots; p; p = cdr(p)) defaccessor(d, car(car(p)), k++);
    ksputprop(d.name, d.slots, s_structslots);
    defconstructor(d);
    defpredicates(d);
    return d.name;
}

// ------------------------------------------------------------ the primitives

node xmkstruct() {
    node type = ksargsym();
    int32_t n = ksargc;
    node s = newstruct(type, n);
    for (int32_t i = 1; i <= n; ++i) setelement(s, i, nextarg());
    return s;
}

node xcpystruct() {
    node s = ksargtype(STRUCT);
    kslastarg();
    int32_t n = getsize(s) - 1;
    node copy = newstruct(getelement(s, 0), n);
    for (int32_t i = 1; i <= n; ++i) setelement(copy, i, getelement(s, i));
    return copy;
}

// The slot index argument: 1 .. number of slots of s.
static int32_t slotindex(node s) {
    node index = ksargfix();
    int32_t i = getfixnum(index);
    if (i < 1 || i >= getsize(s)) kserror("index out of range", index);
    return i;
}

node xstrref() {
    node s = ksargtype(STRUCT);
    int32_t i = slotindex(s);
    kslastarg();
    return getelement(s, i);
}

node xstrset() {
    node s = ksargtype(STRUCT);
    int32_t i = slotindex(s);
    node val = ksarg();
    kslastarg();
    setelement(s, i, val);
    return val;
}

node xstrtypep() {
    node type = ksarg();
    node x = ksarg();
    kslastarg();
    return structp(x) && getelement(x, 0) == type ? s_true : NIL;
}

// ------------------------------------------------------------- #S and print

// #S(name slot value ...): evaluates (MAKE-name :slot 'value ...). The values
// are quoted so that what the printer writes reads back as the same data.
node ksrdstruct(node list) {
    if (!consp(list) || !symbolp(car(list)))
        kserror("bad structure initialization list", list);
    node call = NIL, last = NIL, quoted = NIL;
    ksguard g(&list, &call, &last, &quoted);
    append(&call, &last, symbolnamed("MAKE-", symname(car(list)), ""));
    for (node p = cdr(list); p; p = cdr(cdr(p))) {
        if (!consp(p)) kserror("bad structure initialization list", list);
        if (!symbolp(car(p))) kserror("expecting a slot name", car(p));
        if (!consp(cdr(p))) kserror("bad structure initialization list", list);
        append(&call, &last, symbolnamed(":", symname(car(p)), ""));
        quoted = list2(s_quote, car(cdr(p)));
        append(&call, &last, quoted);
    }
    return kseval(call);
}

// The caller keeps vptr reachable; nested values are reachable from it, so
// nothing is pushed per level (deep nesting is bounded by the printer).
void ksprstruct(node fptr, node vptr, bool escape) {
    node type = getelement(vptr, 0);
    ksputstr(fptr, "#S(");
    ksprint(fptr, type, escape);
    node slots = symbolp(type) ? ksgetprop(type, s_structslots) : NIL;
    for (int32_t i = 1; i < getsize(vptr) && consp(slots); ++i, slots = cdr(slots)) {
        node entry = car(slots);
        ksputc(fptr, ' ');
        ksprint(fptr, consp(entry) ? car(entry) : entry, escape);
        ksputc(fptr, ' ');
        ksprint(fptr, getelement(vptr, i), escape);
    }
    ksputc(fptr, ')');
}
