// Kestrel interpreter: the node record, the interpreter's globals and the
// functions every unit of the interpreter shares.
//
// Invariants stated here once:
// - NIL is the null node pointer; it is never dereferenced.
// - A node held only in a C++ local across anything that may allocate must be
//   protected on the evaluation stack (ksguard below); the collector's roots
//   are the obarray, the environments, the evaluation stack, the argument
//   stack and ksvalue.
// - Non-local exits land on contexts (see ksjump.cpp): by longjmp when no
//   C++ frame in between has something to destroy, as C++ exceptions of type
//   ksjumpex otherwise; no code may catch those with catch(...). A frame
//   that holds an object with a destructor (other than ksguard) while
//   anything in it may jump holds a ksunwindframe too.
#pragma once

#include "image/invariant.h"

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// ---------------------------------------------------------------- node types
enum : uint8_t {
    FREE = 0, SUBR = 1, FSUBR = 2, CONS = 3, SYMBOL = 4, FIXNUM = 5,
    FLONUM = 6, STRING = 7, OBJECT = 8, STREAM = 9, VECTOR = 10,
    CLOSURE = 11, CHAR = 12, USTREAM = 13, STRUCT = 14,
    BIN = 15, GREY = 16, COL = 17, LGREY = 18, FGREY = 19
};

// flag bits: MARK and LEFT belong to the collector; PLAIN marks a SUBR or
// FSUBR whose C++ frame a jump may leave without unwinding (see ksjump.cpp)
enum : uint8_t { MARK = 1, LEFT = 2, PLAIN = 4 };

struct nodeS;
typedef nodeS *node;
typedef node (*subrfn)();

// Every value: type code, flag byte and two pointer-sized words.
struct nodeS {
    uint8_t n_type;
    uint8_t n_flags;
    union {                 // word A
        node car;           // CONS car, USTREAM head
        int32_t i;          // FIXNUM value, CHAR code, image handle
        float f;            // FLONUM
        int32_t size;       // element count of vector-like nodes, STRING length (with NUL)
        subrfn fn;          // SUBR/FSUBR function
        FILE *fp;           // STREAM file (NULL once closed)
        intptr_t raw;
    } a;
    union {                 // word B
        node cdr;           // CONS cdr, USTREAM tail, FREE next
        node *data;         // slots of vector-like nodes
        char *str;          // STRING bytes
        struct { int32_t row, tab; } s; // SUBR/FSUBR table position
        struct {            // STREAM:
            int32_t savech; //   pushed-back character, 0 = none
            uint32_t lines; //   newlines read so far (a pushed-back one uncounted)
        } file;
        intptr_t raw;
    } b;
};

#define NIL ((node)0)

// ------------------------------------------------------------ type predicates
inline int ntype(node x) { return x ? (int)x->n_type : (int)FREE; }
inline bool consp(node x) { return x && x->n_type == CONS; }
inline bool atom(node x) { return !consp(x); }
inline bool listp(node x) { return !x || x->n_type == CONS; }
inline bool symbolp(node x) { return x && x->n_type == SYMBOL; }
inline bool fixp(node x) { return x && x->n_type == FIXNUM; }
inline bool floatp(node x) { return x && x->n_type == FLONUM; }
inline bool numberp(node x) { return x && (x->n_type == FIXNUM || x->n_type == FLONUM); }
inline bool stringp(node x) { return x && x->n_type == STRING; }
inline bool charp(node x) { return x && x->n_type == CHAR; }
inline bool vectorp(node x) { return x && x->n_type == VECTOR; }
inline bool closurep(node x) { return x && x->n_type == CLOSURE; }
inline bool objectp(node x) { return x && x->n_type == OBJECT; }
inline bool structp(node x) { return x && x->n_type == STRUCT; }
inline bool streamp(node x) { return x && x->n_type == STREAM; }
inline bool ustreamp(node x) { return x && x->n_type == USTREAM; }
inline bool subrp(node x) { return x && x->n_type == SUBR; }
inline bool fsubrp(node x) { return x && x->n_type == FSUBR; }
inline bool imagep(node x) { return x && x->n_type >= BIN && x->n_type <= FGREY; }
inline bool vectorlike(int t) {
    return t == SYMBOL || t == OBJECT || t == VECTOR || t == CLOSURE || t == STRUCT;
}

// ------------------------------------------------------------------ accessors
inline node car(node x) { return x->a.car; }
inline node cdr(node x) { return x->b.cdr; }
inline void rplaca(node x, node v) { x->a.car = v; }
inline void rplacd(node x, node v) { x->b.cdr = v; }
inline int32_t getfixnum(node x) { return x->a.i; }
inline float getflonum(node x) { return x->a.f; }
inline int getchcode(node x) { return x->a.i; }
inline char *getstring(node x) { return x->b.str; }
inline int32_t getslength(node x) { return x->a.size; }   // counts the NUL
inline int32_t getsize(node x) { return x->a.size; }
inline node getelement(node x, int i) { return x->b.data[i]; }
inline void setelement(node x, int i, node v) { x->b.data[i] = v; }
inline FILE *getfile(node x) { return x->a.fp; }
inline void setfile(node x, FILE *f) { x->a.fp = f; }
inline int32_t getsavech(node x) { return x->b.file.savech; }
inline void setsavech(node x, int32_t c) { x->b.file.savech = c; }
inline uint32_t getlines(node x) { return x->b.file.lines; }
inline void setlines(node x, uint32_t n) { x->b.file.lines = n; }
inline subrfn getsubr(node x) { return x->a.fn; }
inline int32_t getimage(node x) { return x->a.i; }
// USTREAM: head is word A, tail is word B
inline node gethead(node x) { return x->a.car; }
inline node gettail(node x) { return x->b.cdr; }
inline void sethead(node x, node v) { x->a.car = v; }
inline void settail(node x, node v) { x->b.cdr = v; }

// symbols: value, function, property list, print name
enum { SYM_VALUE = 0, SYM_FUNCTION = 1, SYM_PLIST = 2, SYM_PNAME = 3, SYM_SIZE = 4 };
inline node getvalue(node s) { return s->b.data[SYM_VALUE]; }
inline void setvalue(node s, node v) { s->b.data[SYM_VALUE] = v; }
inline node getfunction(node s) { return s->b.data[SYM_FUNCTION]; }
inline void setfunction(node s, node v) { s->b.data[SYM_FUNCTION] = v; }
inline node getplist(node s) { return s->b.data[SYM_PLIST]; }
inline void setplist(node s, node v) { s->b.data[SYM_PLIST] = v; }
inline node getpname(node s) { return s->b.data[SYM_PNAME]; }
inline const char *symname(node s) { return getstring(getpname(s)); }

// closures: 11 slots
enum {
    CL_NAME = 0, CL_TYPE, CL_ARGS, CL_OARGS, CL_REST, CL_KARGS, CL_AARGS,
    CL_BODY, CL_ENV, CL_FENV, CL_LAMBDA, CL_SIZE
};

// ------------------------------------------------------- memory manager (ksdmem)
extern node fnodes;
extern int64_t nfree, nnodes, total;
extern int32_t nsegs, anodes, gccalls;
extern int freeall;

// evaluation stack: slots hold addresses of protected locals, grows down.
// Pushes stop at kslimit, a few slots above the base: the reserve below it
// lets the overflow be reported (which protects values of its own).
extern node **ksstkbase, **ksstktop, **ksstack, **kslimit;
// argument stack: slots hold nodes, grows up
extern node *ksargstkbase, *ksargstktop, *kssp, *ksfp;

[[noreturn]] void ksstkoverflow();
[[noreturn]] void ksargstkoverflow();

inline void kspush(node *p) {
    if (ksstack <= kslimit) ksstkoverflow();
    *--ksstack = p;
}
inline void kspop(int n) { ksstack += n; }

// RAII protection: pushes the addresses of the given locals; restores the
// evaluation stack on scope exit (also during unwinding). A jump that lands
// by longjmp skips the destructor; the landing resets the stack instead.
struct ksguard {
    node **saved;
    template <class... P>
    explicit ksguard(P... p) : saved(ksstack) { (kspush(p), ...); }
    ~ksguard() { ksstack = saved; }
    ksguard(const ksguard &) = delete;
    ksguard &operator=(const ksguard &) = delete;
};

inline void kspusharg(node x) {
    if (kssp >= ksargstktop) ksargstkoverflow();
    *kssp++ = x;
}

node cons(node a, node d);
node cvfixnum(int32_t n);
node cvflonum(float f);
node cvchar(int c);
node cvstring(const char *s);
node cvstringn(const char *s, int32_t n);  // n bytes, a NUL is added
node newstring(int32_t n);
char *stralloc(int32_t n);
void strfree(char *p, int32_t n);
node cvsymbol(const char *name);
node cvsubr(subrfn fn, int type, int row, int tab);
node cvfile(FILE *fp);
node newustream();
node newvector(int32_t n);
node newvectorlike(int type, int32_t n);
node newstruct(node type, int32_t n);
node newobject(node cls, int32_t n);
node newclosure(node name, node type, node env, node fenv);
node newnode(int type);
node cvbin(int32_t h);
node cvgrey(int32_t h);
node cvcol(int32_t h);
node cvlgrey(int32_t h);
node cvfgrey(int32_t h);

void gc();
// A collection asked for a *GC-HOOK* call; the evaluator makes it at its
// next safe point (before a form, after a built-in returns).
extern bool ksgchookpending;
void ksgchooknow();
int addseg();
void findmem();
void stats();
void ksminit();

// ----------------------------------------------------------- symbols (kssym)
extern node obarray;
extern node ksgoodtable;   // the last sound symbol table (a collector root)
extern node kspinned;      // the symbols made at start-up (a collector root)
void kspinsymbols();       // called once start-up is done
extern node ksenv, ksfenv, ksdenv;
extern node ksvalue;  // value carried by the current jump (a collector root)

// The predefined symbols: the global that holds each and its print name,
// in the order start-up enters them (ksinit). The one list of them.
#define KS_PREDEFINED(X) \
    X(s_unbound, "*UNBOUND*") X(s_true, "T") X(s_dot, ".") X(s_quote, "QUOTE") \
    X(s_function, "FUNCTION") X(s_bquote, "BACKQUOTE") X(s_comma, "COMMA") \
    X(s_comat, "COMMA-AT") X(s_lambda, "LAMBDA") X(s_macro, "MACRO") X(s_eql, "EQL") \
    X(s_ifmt, "*INTEGER-FORMAT*") X(s_ffmt, "*FLOAT-FORMAT*") X(s_plus, "+") X(s_pplus, "++") \
    X(s_ppplus, "+++") X(s_star, "*") X(s_sstar, "**") X(s_ssstar, "***") X(s_minus, "-") \
    X(s_setf, "*SETF*") X(s_car, "CAR") X(s_cdr, "CDR") X(s_nth, "NTH") X(s_aref, "AREF") \
    X(s_get, "GET") X(s_svalue, "SYMBOL-VALUE") X(s_sfunction, "SYMBOL-FUNCTION") \
    X(s_splist, "SYMBOL-PLIST") X(s_readtable, "*READTABLE*") X(k_wspace, ":WHITE-SPACE") \
    X(k_const, ":CONSTITUENT") X(k_nmacro, ":NMACRO") X(k_tmacro, ":TMACRO") \
    X(k_sescape, ":SESCAPE") X(k_mescape, ":MESCAPE") X(k_test, ":TEST") \
    X(k_tnot, ":TEST-NOT") X(k_direction, ":DIRECTION") X(k_input, ":INPUT") \
    X(k_output, ":OUTPUT") X(k_mode, ":MODE") X(k_text, ":TEXT") X(k_binary, ":BINARY") \
    X(s_printcase, "*PRINT-CASE*") X(k_upcase, ":UPCASE") X(k_downcase, ":DOWNCASE") \
    X(k_start, ":START") X(k_end, ":END") X(k_start1, ":START1") X(k_end1, ":END1") \
    X(k_start2, ":START2") X(k_end2, ":END2") X(k_verbose, ":VERBOSE") X(k_print, ":PRINT") \
    X(k_count, ":COUNT") X(k_key, ":KEY") X(lk_optional, "&OPTIONAL") X(lk_rest, "&REST") \
    X(lk_key, "&KEY") X(lk_aux, "&AUX") X(lk_allow, "&ALLOW-OTHER-KEYS") \
    X(s_stdin, "*STANDARD-INPUT*") X(s_stdout, "*STANDARD-OUTPUT*") \
    X(s_stderr, "*ERROR-OUTPUT*") X(s_debugio, "*DEBUG-IO*") X(s_traceout, "*TRACE-OUTPUT*") \
    X(s_evalhook, "*EVALHOOK*") X(s_applyhook, "*APPLYHOOK*") X(s_tracelist, "*TRACELIST*") \
    X(s_tracenable, "*TRACENABLE*") X(s_tlimit, "*TRACELIMIT*") \
    X(s_breakenable, "*BREAKENABLE*") X(s_gcflag, "*GC-FLAG*") X(s_gchook, "*GC-HOOK*") \
    X(a_subr, "SUBR") X(a_fsubr, "FSUBR") X(a_cons, "CONS") X(a_symbol, "SYMBOL") \
    X(a_fixnum, "FIXNUM") X(a_flonum, "FLONUM") X(a_string, "STRING") X(a_object, "OBJECT") \
    X(a_stream, "FILE-STREAM") X(a_vector, "ARRAY") X(a_closure, "CLOSURE") \
    X(a_char, "CHARACTER") X(a_ustream, "UNNAMED-STREAM")
#define KS_DECLARE_SYMBOL_(global, name) extern node global;
KS_PREDEFINED(KS_DECLARE_SYMBOL_)
#undef KS_DECLARE_SYMBOL_

node ksenter(const char *name);
node ksmakesym(const char *name);
int hash(const char *name, int size);
void kssinit();
node ksgetvalue(node sym);
node ksxgetvalue(node sym);
void kssetvalue(node sym, node val);
node ksgetfunction(node sym);
node ksxgetfunction(node sym);
void kssetfunction(node sym, node val);
node ksgetprop(node sym, node prop);
void ksputprop(node sym, node val, node prop);
void ksremprop(node sym, node prop);
node findprop(node sym, node prop);
void kssubr(const char *name, int type, subrfn fn, int row, int tab);
bool eq(node a, node b);
bool eql(node a, node b);
bool equal(node a, node b);

// ------------------------------------------------------- built-in tables
struct funrow {
    const char *name;   // NULL: not entered as a symbol
    int type;           // 1 = SUBR, 2 = FSUBR
    subrfn fn;          // NULL ends the table
};
extern const funrow funtab1[];
// The tables by number: 1 is funtab1, 2 (the example extension) and 3 (the
// image functions) are those the program adds before the interpreter
// starts; NULL for a number without a table.
const funrow *ksfuntab(int tab);
void ksaddfuntab(int tab, const funrow *rows);   // tab 2 or 3
enum { FUNTAB1_ROWS = 306 };
// unnamed rows of funtab1
enum {
    ROW_RMHASH = 0, ROW_RMQUOTE, ROW_RMDQUOTE, ROW_RMBQUOTE, ROW_RMCOMMA,
    ROW_RMLPAR, ROW_RMRPAR, ROW_RMSEMI,
    ROW_CLNEW = 10, ROW_CLISNEW, ROW_CLANSWER, ROW_OBISNEW, ROW_OBCLASS, ROW_OBSHOW
};

void ksinit();
// ksinit without a new heap: a new symbol table, readtable, classes and
// built-ins; what the old ones held becomes garbage.
void ksreinit();
void kscinit();   // the symbols the control forms recognise
void kssymbols();

// ------------------------------------------- argument access for built-ins
extern node *ksargv;
extern int ksargc;

[[noreturn]] void ksbadtype(node arg);
[[noreturn]] void kstoofew();
[[noreturn]] void kstoomany();

inline bool moreargs() { return ksargc > 0; }
inline node nextarg() { --ksargc; return *ksargv++; }
inline node ksarg() { if (ksargc <= 0) kstoofew(); return nextarg(); }
inline void kslastarg() { if (ksargc > 0) kstoomany(); }
inline node ksargtype(int type) {
    node x = ksarg();
    if (ntype(x) != type || !x) ksbadtype(x);
    return x;
}
inline node ksargfix() { return ksargtype(FIXNUM); }
inline node ksargflo() { return ksargtype(FLONUM); }
inline node ksargstr() { return ksargtype(STRING); }
inline node ksargsym() { return ksargtype(SYMBOL); }
inline node ksargcons() { return ksargtype(CONS); }
inline node ksargchar() { return ksargtype(CHAR); }
inline node ksargvec() { return ksargtype(VECTOR); }
inline node ksargobj() { return ksargtype(OBJECT); }
inline node ksargclosure() { return ksargtype(CLOSURE); }
inline node ksargustream() { return ksargtype(USTREAM); }
inline node ksarglist() { node x = ksarg(); if (!listp(x)) ksbadtype(x); return x; }
inline node ksargnum() { node x = ksarg(); if (!numberp(x)) ksbadtype(x); return x; }

bool ksgetkeyarg(node key, node *val);
bool ksgkfixnum(node key, int32_t *val);
void kstest(node *fn, bool *sense);
node ksgetfile();
node ksgetfname();
// The text of a string (a file name from ksgetfname, a module name) that
// goes to the operating system; null when it holds a NUL byte, which would
// silently cut the name short there.
const char *ksfilename(node s);
bool needsextension(const char *name);
node xnotimp();
// the arguments left after the known keywords must be keyword/value pairs
void kskeysdone();

// ----------------------------------------------------------- evaluator
extern int kssample;
extern int CheckFreq;
extern int kstrcindent;

node kseval(node form);
node ksxeval(node form);
node ksevalenv(node form, node env, node fenv);
node ksapply(int argc);
node evform(node form);
int evpushargs(node fun, node args);
int pushargs(node fun, node args);
node makearglist(int argc, node *argv);
node ksclose(node name, node type, node fargs, node body, node env, node fenv);
void ksabind(node fun, int argc, node *argv);
node evfun(node fun, int argc, node *argv);
// call a LAMBDA closure with its parameter frame in front of env instead of
// the closure's own environment (methods put an object frame there)
node evmethod(node fun, node env, int argc, node *argv);
// evaluate the forms of a list in order; the last value, NIL for none
node ksevbody(node body);
node ksexpandmacros(node form);
bool macroexpand(node fun, node args, node *pval);
node evalhook(node form);
// special-form argument access on a list of argument forms
enum { ANYLIST = -1 };
node match(int type, node *pargs);
node evmatch(int type, node *pargs);
node evarg(node *pargs);
[[noreturn]] void toofew(node form);
[[noreturn]] void toomany(node form);

// frame building for ksapply: base = ksbeginframe(fun); push args; ksendframe(base, n)
node *ksbeginframe(node fun);
void ksendframe(node *base, int argc);
// apply fun to the given arguments (all evaluated)
node kscall(node fun, int argc, const node *args);
inline node kscall1(node fun, node a) { return kscall(fun, 1, &a); }
inline node kscall2(node fun, node a, node b) { node v[2] = {a, b}; return kscall(fun, 2, v); }

// ---------------------------------------------------------- contexts (ksjump)
enum {
    CTX_GO = 1, CTX_RETURN = 2, CTX_THROW = 4, CTX_ERROR = 8, CTX_CLEANUP = 16,
    CTX_CONTINUE = 32, CTX_TOPLEVEL = 64, CTX_BRKLEVEL = 128, CTX_UNWIND = 256
};

// One landing place of non-local exits, a record in the establishing C++
// frame (never on the heap), linked from kscontext while it is active. The
// saved_ fields are what ksbegin found and ksrestore puts back, except that
// a GO moves saved_argv/saved_argc (see below).
struct context {
    int flags;                // the CTX_ kinds of jump it takes
    node key;                 // THROW tag or block name; NIL for others
    context *previous;        // the context active before it (kscontext chain)
    node **saved_stack;       // ksstack: the protection stack's top
    // ksargv/ksargc: the argument frame of the establishing form. In a GO
    // context (a tag body) the remaining body forms: ksgo advances them to
    // just after the label it jumps to, so after a GO they always end where
    // the body ends (saved_argv + saved_argc == body + n).
    node *saved_argv;
    int saved_argc;
    node *saved_fp;           // ksfp: the current argument frame's base
    node *saved_sp;           // kssp: the argument stack's top
    node saved_env;           // ksenv: lexical variable bindings
    node saved_fenv;          // ksfenv: lexical function bindings
    node saved_denv;          // ksdenv: dynamic bindings, undone down to here
    int saved_unwindframes;   // ksunwindframes: frames with destructors above
    jmp_buf *landing;         // set while ksrun may land a jump here by longjmp
};

// The exception that carries a jump to its landing context.
struct ksjumpex {
    context *target;
    int kind;
};

extern context *kscontext;
extern context *kstarget;
extern int ksmask;
extern int ksdebug;

// Frames a jump has to unwind as an exception: those holding objects with
// destructors other than ksguard, and every built-in not marked PLAIN.
extern int ksunwindframes;
struct ksunwindframe {
    ksunwindframe() { ++ksunwindframes; }
    ~ksunwindframe() { --ksunwindframes; }
    ksunwindframe(const ksunwindframe &) = delete;
    ksunwindframe &operator=(const ksunwindframe &) = delete;
};
bool ksplainsubr(subrfn fn);

// Establish: context c; ksbegin(&c, flags, key);
//   try { ... } catch (ksjumpex &j) { if (!kscaught(j, &c)) throw; ... use ksvalue ... }
//   ksend(&c);
// or, to let jumps land by longjmp as well, int kind = ksrun(&c, body)
// between ksbegin and ksend.
// The key must be protected by the caller when it is not a symbol.
void ksbegin(context *c, int flags, node key);
void ksend(context *c);
void ksrestore(context *c);
inline bool kscaught(const ksjumpex &j, context *c) {
    if (j.target != c) return false;
    ksrestore(c);
    return true;
}

// Runs body() under the established context c. Returns 0 when body
// returned, or the kind of the jump that landed on c (ksvalue carries its
// value), with the interpreter's state restored as at ksbegin. (A function
// that calls setjmp is never inlined, so the landing frame is this one.)
template <class F>
int ksrun(context *c, F &&body) {
    jmp_buf jb;
    if (int kind = _setjmp(jb)) {
        c->landing = nullptr;
        ksrestore(c);
        return kind;
    }
    c->landing = &jb;
    try {
        body();
    } catch (ksjumpex &j) {
        c->landing = nullptr;
        if (!kscaught(j, c)) throw;
        return j.kind;
    }
    c->landing = nullptr;
    return 0;
}
[[noreturn]] void ksjump(context *c, int kind, node val);
[[noreturn]] void ksthrow(node tag, node val);
[[noreturn]] void ksreturn(node name, node val);
[[noreturn]] void ksgo(node label);
void kssignal(const char *msg, node val);
[[noreturn]] void kstoplevel(int print);
[[noreturn]] void kscontinue();
[[noreturn]] void kscleanup();
[[noreturn]] void ksbrklevel();
[[noreturn]] void findandjump(int kind, const char *msg);

// ---------------------------------------------------------- errors (ksdbug)
[[noreturn]] void kserror(const char *msg, node val);
[[noreturn]] void ksfail(const char *msg);
void kscerror(const char *cmsg, const char *msg, node val);
void ksbreak(const char *msg, node val);
[[noreturn]] void ksabort(const char *msg);
void ksbaktrace(int n);
void ksdinit();

// ----------------------------------------------------------- reader (ksread)
// startline, when given, receives the line (counted from 1) where the form
// starts on a file stream; it is kept current while the form is read.
bool ksread(node fptr, node *pval, uint32_t *startline = nullptr);
int readone(node fptr, node *pval);
bool isnumber(const char *str, node *pval);
bool ksload(const char *name, bool vflag, bool pflag);
// The innermost file being loaded, NULL when none: its name and the line
// where the form being read or evaluated starts. Error reports name them;
// a break loop hides them from the forms typed into it.
struct ksloadpos {
    const char *name;
    uint32_t line;
    ksloadpos *outer;
};
extern ksloadpos *ksloading;
void ksrinit();
enum { STRMAX = 255 };   // token buffer: characters beyond the 255th are dropped
enum { KS_MAX_NESTING = 10000 };  // deepest nesting read, printed or compared (error beyond)

// ---------------------------------------------------------- printer (ksprin)
extern int ksfsize;
// Characters written by the print in progress (outermost KSPRINT call), and
// whether one is in progress: output into memory is bounded per print.
extern int64_t ksprinted;
extern int ksprinting;
void ksprint(node fptr, node val, bool escape);
int flsize(node val);
void putsymbol(node fptr, const char *name, bool escape);
void putqstring(node fptr, node str);
void ksterpri(node fptr);
void kscrpri(node fptr);
void ksputstr(node fptr, const char *str);

// ------------------------------------------------------- stream primitives (ksio)
int ksgetc(node fptr);
void ksungetc(node fptr, int ch);
int kspeek(node fptr);
void ksputc(node fptr, int ch);
void ksflush();
void stdprint(node val);
void errprint(node val);
void dbgprint(node val);
void stdputstr(const char *s);
void errputstr(const char *s);
void dbgputstr(const char *s);
void trcputstr(const char *s);
void trcprin1(node val);
FILE *osaopen(const char *name, const char *mode);
FILE *osbopen(const char *name, const char *mode);
void osclose(FILE *fp);
int osagetc(FILE *fp);
int osbgetc(FILE *fp);
void osaputc(int ch, FILE *fp);
void osbputc(int ch, FILE *fp);

// ------------------------------------------------- objects and structures
void obsymbols();
void ksoinit();
bool ksobgetvalue(node pair, node sym, node *pval);
bool ksobsetvalue(node pair, node sym, node val);
node ksrdstruct(node list);
void ksprstruct(node fptr, node vptr, bool escape);
extern node s_structslots;   // *STRUCT-SLOTS*

// ------------------------------------------------- top level and OS (ksmain, ...)
extern int verbose;
extern FILE *tfp;
extern int64_t fieldsize;
extern unsigned char ksinitok;

// A batch run (tavex-cli --batch): no banner, no "; loading" lines, no
// prompts; the process ends after the command-line files with status 0, or
// with status 1 at the first error that ends a load. Both are set by the
// front end before the interpreter thread starts.
extern bool ksbatch;
// Makes the string value known to Lisp code as the value of *NAME* (NAME in
// upper case), bound before any file loads.
void kspreset(const char *name, const char *value);

void ksmain(const char *arglist);
// The console's read-eval-print loop under the top-level context top (its
// errors and jumps land there); returns at the end of the console input.
void ksconsole(context *top);
void ksrdsave(node expr);
void ksevsave(node val);
[[noreturn]] void wrapup(int status = 0);
[[noreturn]] void ksfatal(const char *msg);
void osinit(const char *banner);
int osrand(int n);
void oserror(const char *msg);
void osfinish();
void oscheck();
// Polls left before every further poll abandons the evaluation; negative
// (the default): no limit. Only a test harness sets it.
extern int64_t ospollbudget;

// Counts the steps of a walk that may never end (over a circular structure)
// and lets a pending user break in every 65536 steps.
// Length of a proper list, or -1 for a dotted or circular one.
int32_t kslistlength(node list);

struct breakpoll {
    uint32_t n = 0;
    void tick() {
        if ((++n & 0xFFFF) == 0) oscheck();
    }
};
void osflush();
int ostgetc();
int ostgetkey();
void ostputc(int ch);           // one console character (batched into message 33)
void osdisplay();
void osdisplut();
void osframes();
// Waits for a click in the display: button, x, y as the front end reports
// them. The request carries what is being picked ("point", "line",
// "rect"), so that the front end can say which button does what.
void osgetmouse(int *button, int *x, int *y, const char *shape = nullptr);
const char *osexecute(const char *cmd);   // Tcl command round trip; result in a static buffer
// The wall clock in milliseconds, wrapping modulo 2^32 (differences are
// taken unsigned), and a sleep that a signal does not cut short.
uint32_t osticks();
void ossleep(uint32_t ms);
// The interpreter's argument string split into words by the front end's
// rule for command lines.
std::vector<std::string> osargwords(const char *arglist);

// ---------------------------------------------------------- image hooks
// The interpreter keeps an image value as a handle in an image node and
// leaves everything else about images to the image bindings, which fill
// this table before the interpreter starts (tvregister). A hook left null
// does nothing.
struct ksimagehooks {
    void (*init)();                 // once the heap and the symbols exist
    void (*finish)();               // at the end of the process (wrapup)
    void (*dispnow)();              // after each evaluation at a top level
    void (*freeimage)(node img);    // the collector, on every dead image node
    void (*qinfo)();                // (mem): the queue's line
    void (*meminfo)();              // (mem): the image memory's line
    void (*frames)(int frames[8]);  // image frame x y w h, measure frame x y w h
};
extern ksimagehooks ksimage;
