// System functions of the interpreter: loading files, the transcript, type
// inquiry, exit, the clock and sleeping, Tcl commands and key presses sent
// to the front end, and the small operating-system layer (osinit, osrand,
// oserror).
#include "interp/ks.h"

#include <cstdlib>
#include <ctime>
#include <string>

// ------------------------------------------------------------ OS layer

void osinit(const char *banner) {
    if (verbose) stdputstr(banner);
    srand(osticks());
}

int osrand(int n) { return n > 0 ? rand() % n : 0; }

// Written straight to the console: it also reports failures of start-up,
// before the standard streams exist.
void oserror(const char *msg) {
    for (const char *p = "error: "; *p; p++) ostputc(static_cast<unsigned char>(*p));
    for (const char *p = msg; *p; p++) ostputc(static_cast<unsigned char>(*p));
    ostputc('\n');
}

// ------------------------------------------------------------ files

// (load name &key :verbose :print); a batch run prints no "; loading"
// line unless :verbose asks for it.
node xload() {
    node name = ksgetfname();
    if (!ksfilename(name)) ksabort("load, NUL character in file name");
    node val;
    bool vflag = ksgetkeyarg(k_verbose, &val) ? val != NIL : !ksbatch;
    bool pflag = ksgetkeyarg(k_print, &val) && val != NIL;
    std::string file = getstring(name);
    return ksload(file.c_str(), vflag, pflag) ? s_true : NIL;
}

// (dribble [name]): closes the transcript, opens a new one when named
node xtranscript() {
    node name = moreargs() ? ksgetfname() : NIL;
    kslastarg();
    if (name && !ksfilename(name)) ksabort("dribble, NUL character in file name");
    if (tfp) {
        osclose(tfp);
        tfp = nullptr;
    }
    if (!name) return NIL;
    tfp = osaopen(getstring(name), "w");
    return tfp ? s_true : NIL;
}

// ------------------------------------------------------------ values

// (type-of expr)
node xtype() {
    node x = ksarg();
    kslastarg();
    if (!x) return NIL;
    switch (ntype(x)) {
    case SUBR: return a_subr;
    case FSUBR: return a_fsubr;
    case CONS: return a_cons;
    case SYMBOL: return a_symbol;
    case FIXNUM: return a_fixnum;
    case FLONUM: return a_flonum;
    case STRING: return a_string;
    case OBJECT: return a_object;
    case STREAM: return a_stream;
    case VECTOR: return a_vector;
    case CLOSURE: return a_closure;
    case CHAR: return a_char;
    case USTREAM: return a_ustream;
    case STRUCT: return getelement(x, 0);
    case BIN: return ksenter("BIN");
    case GREY: return ksenter("GREY");
    case COL: return ksenter("COL");
    case LGREY: return ksenter("LGREY");
    case FGREY: return ksenter("FGREY");
    default: ksfail("bad node type");
    }
}

// (address-of expr): the low 32 bits of the node's address
node xaddrs() {
    node x = ksarg();
    kslastarg();
    return cvfixnum(static_cast<int32_t>(reinterpret_cast<uintptr_t>(x)));
}

// (atoi str)
node xatoi() {
    if (!moreargs()) ksabort("(atoi str)");
    node s = ksargstr();
    kslastarg();
    return cvfixnum(static_cast<int32_t>(strtol(getstring(s), nullptr, 10)));
}

// (atof str)
node xatof() {
    if (!moreargs()) ksabort("(atof str)");
    node s = ksargstr();
    kslastarg();
    return cvflonum(static_cast<float>(strtod(getstring(s), nullptr)));
}

// ------------------------------------------------------------ control

// (baktrace [n])
node xbaktrace() {
    int n = moreargs() ? getfixnum(ksargfix()) : -1;
    kslastarg();
    ksbaktrace(n);
    return NIL;
}

// (exit)
node xexit() {
    kslastarg();
    wrapup();
}

// (check [n]): the number of evaluations between two polls of the front end
node xcheck() {
    if (moreargs()) {
        int32_t n = getfixnum(ksargfix());
        kslastarg();
        if (n >= 1 && n <= 1000) CheckFreq = n;
    }
    return cvfixnum(CheckFreq);
}

// (execute string): a Tcl command carried out by the front end
node xexecute() {
    if (!moreargs()) ksabort("execute string");
    node cmd = ksargstr();
    kslastarg();
    return cvstring(osexecute(getstring(cmd)));
}

// (get-key): arguments are ignored
node xgetkey() { return cvfixnum(ostgetkey()); }

// ------------------------------------------------------------ time

// (time form): the value of the argument is evaluated once more and timed
node xtime() {
    if (!moreargs()) ksabort("(time '(fct ...))");
    node form = ksarg();
    kslastarg();
    uint32_t start = osticks();
    kseval(form);
    uint32_t end = osticks();
    return cvflonum(static_cast<float>((end - start) / 1000.0));
}

// (sleep ms): sleeps in short slices and polls the front end between them,
// so that a break interrupts a long sleep; a negative time sleeps 0 ms.
node xsleep() {
    if (!moreargs()) ksabort("(sleep ms)");
    int32_t ms = getfixnum(ksargfix());
    kslastarg();
    constexpr int32_t SLICE = 50;
    while (ms > 0) {
        int32_t now = ms < SLICE ? ms : SLICE;
        ossleep(static_cast<uint32_t>(now));
        ms -= now;
        if (ms > 0) oscheck();
    }
    return NIL;
}

// (clock): local time of day as (hour minute second)
node xclock() {
    if (moreargs()) ksabort("(clock)");
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    node list = NIL;
    ksguard g(&list);
    list = cons(cvfixnum(local.tm_sec), list);
    list = cons(cvfixnum(local.tm_min), list);
    list = cons(cvfixnum(local.tm_hour), list);
    return list;
}

// (getticks): milliseconds of the wall clock as a signed 32-bit number
node xgetticks() {
    if (moreargs()) ksabort("(getticks)");
    return cvfixnum(static_cast<int32_t>(osticks()));
}
