// The object system: classes are objects of class CLASS whose instance
// variables describe them; SEND looks a message up along the superclass
// chain and runs the method with the object frame (object . class) in front
// of its environment, where variable lookup finds instance and class
// variables.
#include "interp/ks.h"

// Instance-variable slots of a class object (slot 0 is the class's class).
enum {
    CL_MESSAGES = 1, CL_IVARS, CL_CVARS, CL_CVALS, CL_SUPERCLASS, CL_IVARCNT,
    CL_IVARTOTAL, CLASS_SLOTS = CL_IVARTOTAL
};

static node s_self, k_new, k_isnew;

static const char *const class_ivar_names[CLASS_SLOTS] = {
    "MESSAGES", "IVARS", "CVARS", "CVALS", "SUPERCLASS", "IVARCNT", "IVARTOTAL"
};

void obsymbols() {
    s_self = ksenter("SELF");
    k_new = ksenter(":NEW");
    k_isnew = ksenter(":ISNEW");
    s_structslots = ksenter("*STRUCT-SLOTS*");
}

// ------------------------------------------------------------ class records

// A class must be an object with room for the seven class variables.
static node checkclass(node cls) {
    if (!objectp(cls) || getsize(cls) <= CLASS_SLOTS) ksbadtype(cls);
    return cls;
}

static node classslot(node cls, int slot) { return getelement(checkclass(cls), slot); }

static node superclass(node cls) {
    node super = classslot(cls, CL_SUPERCLASS);
    if (super) checkclass(super);
    return super;
}

// IVARCNT and IVARTOTAL of a class; both must be non-negative fixnums.
static void ivarcounts(node cls, int32_t *count, int32_t *allvars) {
    node cnt = classslot(cls, CL_IVARCNT), tot = classslot(cls, CL_IVARTOTAL);
    if (!fixp(cnt)) kserror("bad value for instance variable count", cnt);
    if (!fixp(tot)) kserror("bad value for instance variable count", tot);
    *count = getfixnum(cnt);
    *allvars = getfixnum(tot);
    if (*count < 0 || *allvars < *count)
        kserror("bad value for instance variable count", tot);
}

// --------------------------------------------------- variables in a method

// The slot of an instance or class variable named sym, seen from a method
// found in the class cdr(pair); NULL when no class in the chain has it.
static node *objvarslot(node pair, node sym) {
    node obj = car(pair);
    breakpoll poll;
    for (node cls = cdr(pair); cls; cls = superclass(cls)) {
        int32_t count, allvars;
        ivarcounts(cls, &count, &allvars);
        int32_t slot = allvars - count + 1;
        for (node p = classslot(cls, CL_IVARS); consp(p); p = cdr(p), ++slot) {
            poll.tick();
            if (car(p) != sym) continue;
            if (slot >= getsize(obj))
                kserror("bad value for instance variable count", cvfixnum(allvars));
            return &obj->b.data[slot];
        }
        node cvals = classslot(cls, CL_CVALS);
        int32_t k = 0;
        for (node p = classslot(cls, CL_CVARS); consp(p); p = cdr(p), ++k) {
            poll.tick();
            if (car(p) != sym) continue;
            if (!vectorp(cvals) || k >= getsize(cvals)) ksbadtype(cvals);
            return &cvals->b.data[k];
        }
    }
    return nullptr;
}

bool ksobgetvalue(node pair, node sym, node *pval) {
    node *slot = objvarslot(pair, sym);
    if (!slot) return false;
    *pval = *slot;
    return true;
}

bool ksobsetvalue(node pair, node sym, node val) {
    node *slot = objvarslot(pair, sym);
    if (!slot) return false;
    *slot = val;
    return true;
}

// ------------------------------------------------------------------ sending

// Finds the method for msg from cls upwards; *where receives the class that
// answers it. Error when no class does. A user can make the chain of
// superclasses (or a message list) circular: the walks here and below let
// a user break in.
static node findmethod(node cls, node msg, node *where) {
    breakpoll poll;
    for (; cls; cls = superclass(cls)) {
        poll.tick();
        for (node p = classslot(cls, CL_MESSAGES); consp(p); p = cdr(p)) {
            poll.tick();
            if (consp(car(p)) && car(car(p)) == msg) {
                *where = cls;
                return cdr(car(p));
            }
        }
    }
    kserror("no method for this message", msg);
}

// Runs one method; the object is already the first of the ksargc arguments
// at ksargv.
static node runmethod(node obj, node where, node method) {
    if (subrp(method)) return getsubr(method)();
    if (!closurep(method) || getelement(method, CL_TYPE) != s_lambda)
        kserror("bad method", method);
    node env = cons(obj, where);
    ksguard g(&env);
    env = cons(env, getelement(method, CL_ENV));
    int argc = ksargc;
    node *argv = ksargv;
    ksargv += argc;                         // the method takes them all
    ksargc = 0;
    return evmethod(method, env, argc, argv);
}

// Sends msg to obj, searching from cls. The argument slot just before
// ksargv (which held the message) is overwritten with the object, so the
// method receives (object arg...). A :NEW is followed by :ISNEW to its
// result with the same arguments.
static node sendmsg(node obj, node cls, node msg) {
    node where = NIL;
    node method = findmethod(cls, msg, &where);
    node *argv = --ksargv;
    int argc = ++ksargc;
    *argv = obj;
    node val = runmethod(obj, where, method);
    if (msg == k_new && val) {
        ksguard g(&val);
        ksargv = argv;
        ksargc = argc;
        *argv = val;
        if (!objectp(val)) ksbadtype(val);
        cls = getelement(val, 0);
        method = findmethod(cls, k_isnew, &where);
        runmethod(val, where, method);
    }
    return val;
}

node xsend() {
    node obj = ksargobj();
    node msg = ksarg();
    return sendmsg(obj, getelement(obj, 0), msg);
}

node xsendsuper() {
    node msg = ksarg();
    for (node frames = ksenv; consp(frames); frames = cdr(frames)) {
        node pair = car(frames);
        if (consp(pair) && objectp(car(pair)))
            return sendmsg(car(pair), superclass(cdr(pair)), msg);
    }
    ksfail("not in a method");
}

// --------------------------------------------------------- CLASS messages

node clnew() {
    node cls = ksargobj();
    int32_t count, allvars;
    ivarcounts(cls, &count, &allvars);
    ksargv += ksargc;                       // the arguments go to :ISNEW
    ksargc = 0;
    return newobject(cls, allvars);
}

node clisnew() {
    node cls = checkclass(ksargobj());
    node ivars = moreargs() ? ksarglist() : NIL;
    node cvars = moreargs() ? ksarglist() : NIL;
    node super = moreargs() ? ksargobj() : getvalue(ksenter("OBJECT"));
    kslastarg();
    int32_t nivars = kslistlength(ivars), ncvars = kslistlength(cvars);
    if (nivars < 0) ksbadtype(ivars);
    if (ncvars < 0) ksbadtype(cvars);
    checkclass(super);
    breakpoll poll;
    for (node c = super; c; c = superclass(c)) {
        if (c == cls) ksbadtype(super);
        poll.tick();
    }     // a class cannot be its own ancestor
    int32_t supercount, supertotal;
    ivarcounts(super, &supercount, &supertotal);

    ksguard g(&super);   // may be the value of OBJECT only
    node cvals = newvector(ncvars);
    setelement(cls, CL_CVALS, cvals);
    setelement(cls, CL_IVARS, ivars);
    setelement(cls, CL_CVARS, cvars);
    setelement(cls, CL_SUPERCLASS, super);
    setelement(cls, CL_IVARCNT, cvfixnum(nivars));
    setelement(cls, CL_IVARTOTAL, cvfixnum(supertotal + nivars));
    return cls;
}

node clanswer() {
    node cls = checkclass(ksargobj());
    node msg = ksargsym();
    node fargs = ksarglist();
    node body = ksarglist();
    kslastarg();
    node params = cons(s_self, fargs);
    ksguard g(&params);
    node method = ksclose(msg, s_lambda, params, body, NIL, NIL);
    ksguard g2(&method);
    for (node p = getelement(cls, CL_MESSAGES); consp(p); p = cdr(p)) {
        if (consp(car(p)) && car(car(p)) == msg) {
            rplacd(car(p), method);
            return cls;
        }
    }
    node entry = cons(msg, method);
    ksguard g3(&entry);
    setelement(cls, CL_MESSAGES, cons(entry, getelement(cls, CL_MESSAGES)));
    return cls;
}

// -------------------------------------------------------- OBJECT messages

node obisnew() {
    node self = ksargobj();
    kslastarg();
    return self;
}

node obclass() {
    node self = ksargobj();
    kslastarg();
    return getelement(self, 0);
}

node obshow() {
    node self = ksargobj();
    node fptr = moreargs() ? ksgetfile() : getvalue(s_stdout);
    kslastarg();
    ksguard g(&fptr);
    ksputstr(fptr, "Object is ");
    ksprint(fptr, self, true);
    ksputstr(fptr, ", Class is ");
    ksprint(fptr, getelement(self, 0), true);
    ksterpri(fptr);
    breakpoll poll;
    for (node cls = getelement(self, 0); cls; cls = superclass(cls)) {
        int32_t count, allvars;
        ivarcounts(cls, &count, &allvars);
        int32_t slot = allvars - count + 1;
        poll.tick();
        for (node p = classslot(cls, CL_IVARS); consp(p); p = cdr(p), ++slot) {
            ksputstr(fptr, "  ");
            ksprint(fptr, car(p), true);
            ksputstr(fptr, " = ");
            ksprint(fptr, slot < getsize(self) ? getelement(self, slot) : NIL, true);
            ksterpri(fptr);
        }
    }
    return self;
}

// ----------------------------------------------------------------- start-up

static node makeclass(const char *name) {
    node sym = ksenter(name);
    node cls = newobject(NIL, CLASS_SLOTS);
    setvalue(sym, cls);
    return cls;
}

// Adds a built-in message handler (a funtab1 row) to a class.
static void addhandler(node cls, const char *msg, int row) {
    ksguard g(&cls);
    node sym = ksenter(msg);
    node fn = cvsubr(funtab1[row].fn, SUBR, row, 0);
    ksguard g2(&fn);
    node entry = cons(sym, fn);
    ksguard g3(&entry);
    setelement(cls, CL_MESSAGES, cons(entry, getelement(cls, CL_MESSAGES)));
}

// Sets the class variables of a freshly made class.
static void initclass(node cls, node ivars, node super) {
    ksguard g(&cls, &ivars, &super);
    int32_t count = kslistlength(ivars);
    int32_t supertotal = super ? getfixnum(getelement(super, CL_IVARTOTAL)) : 0;
    setelement(cls, CL_IVARS, ivars);
    setelement(cls, CL_CVALS, newvector(0));
    setelement(cls, CL_SUPERCLASS, super);
    setelement(cls, CL_IVARCNT, cvfixnum(count));
    setelement(cls, CL_IVARTOTAL, cvfixnum(supertotal + count));
}

void ksoinit() {
    // both classes are reachable from the symbols CLASS and OBJECT
    node cls = makeclass("CLASS");
    setelement(cls, 0, cls);
    node obj = makeclass("OBJECT");
    setelement(obj, 0, cls);

    node ivars = NIL;
    ksguard g(&ivars);
    for (int i = CLASS_SLOTS - 1; i >= 0; --i) ivars = cons(ksenter(class_ivar_names[i]), ivars);
    initclass(obj, NIL, NIL);
    initclass(cls, ivars, obj);

    addhandler(obj, ":SHOW", ROW_OBSHOW);
    addhandler(obj, ":CLASS", ROW_OBCLASS);
    addhandler(obj, ":ISNEW", ROW_OBISNEW);
    addhandler(cls, ":ANSWER", ROW_CLANSWER);
    addhandler(cls, ":ISNEW", ROW_CLISNEW);
    addhandler(cls, ":NEW", ROW_CLNEW);
}
