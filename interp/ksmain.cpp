// The interpreter thread's body: options, start-up, the start-up files and
// the read-eval-print loop.
#include "interp/ks.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

int verbose = 1;
FILE *tfp;
int64_t fieldsize = 16000000;
int CheckFreq = 50;
int kssample;
unsigned char ksinitok;
bool ksbatch;
ksimagehooks ksimage;

// The --set values, kept until the heap exists.
static std::vector<std::pair<std::string, std::string>> presets;

void kspreset(const char *name, const char *value) { presets.emplace_back(name, value); }

static void bindpresets() {
    for (const auto &[name, value] : presets) {
        std::string sym = "*";
        for (char c : name) sym += char(toupper(static_cast<unsigned char>(c)));
        sym += '*';
        setvalue(ksenter(sym.c_str()), cvstring(value.c_str()));   // interned: reachable
    }
}

static const char *banner =
    "Kestrel version 2.1, an object Lisp interpreter\n"
    "Tavex version 4.3, interactive image analysis\n";

void ksrdsave(node expr) {
    setvalue(s_ppplus, getvalue(s_pplus));
    setvalue(s_pplus, getvalue(s_plus));
    setvalue(s_plus, getvalue(s_minus));
    setvalue(s_minus, expr);
}

void ksevsave(node val) {
    setvalue(s_ssstar, getvalue(s_sstar));
    setvalue(s_sstar, getvalue(s_star));
    setvalue(s_star, val);
}

void wrapup(int status) {
    if (tfp) {
        fclose(tfp);
        tfp = nullptr;
    }
    if (ksimage.finish) ksimage.finish();
    osfinish();
    // Flush every open C stream (files the user left open included), then
    // end the process without running static destructors while the other
    // thread is still alive.
    fflush(nullptr);
    _exit(status);
}

void ksfatal(const char *msg) {
    oserror(msg);
    wrapup();
}

// -xM accepts a byte count up to the machine's memory; anything else is
// reported at start-up rather than wrapped.
static std::string setbudget(const char *text) {
    errno = 0;
    char *end = nullptr;
    long long v = strtoll(text, &end, 10);
    long long pages = sysconf(_SC_PHYS_PAGES), pagesize = sysconf(_SC_PAGESIZE);
    long long memory = pages > 0 && pagesize > 0 ? pages * pagesize : LLONG_MAX;
    if (errno || end == text || *end || v <= 0 || v > memory) {
        std::string s = "bad memory budget -xM";
        s += text;
        s += ", keeping ";
        s += std::to_string(fieldsize);
        return s;
    }
    fieldsize = v;
    return "";
}

struct options {
    std::vector<std::string> files;
    std::string transcript;
    std::vector<std::string> errors;   // reported once the console works
};

static options scanoptions(const char *arglist) {
    options o;
    std::vector<std::string> words = osargwords(arglist);
    verbose = 1;
    for (size_t i = 1; i < words.size(); ++i) {
        const char *w = words[i].c_str();
        if (w[0] == '-') {
            if (w[1] == 'x' && w[2]) {
                switch (w[2]) {
                case 'M': case 'm': {
                    std::string e = setbudget(w + 3);
                    if (!e.empty()) o.errors.push_back(e);
                    break;
                }
                case 'S': case 's': verbose = 0; break;
                case 'T': case 't': o.transcript = w + 3; break;
                case 'V': case 'v': verbose = 1; break;
                default: break;
                }
            }
        } else if (w[0]) {
            o.files.push_back(w);
        }
    }
    return o;
}

// Runs fn under the top-level context; true when it ended normally.
template <class F>
static bool attoplevel(context *c, F fn) {
    try {
        fn();
        return true;
    } catch (ksjumpex &j) {
        if (!kscaught(j, c)) throw;
        return false;
    }
}

static void resettoplevel() {
    setvalue(s_evalhook, NIL);
    setvalue(s_applyhook, NIL);
    kstrcindent = 0;
    ksdebug = 0;
    ksflush();
}

void ksmain(const char *arglist) {
    options o = scanoptions(arglist);
    if (ksbatch) verbose = 0;
    enum { TOPMASK = CTX_TOPLEVEL | CTX_CLEANUP | CTX_BRKLEVEL };
    context top;
    kscontext = nullptr;
    ksbegin(&top, TOPMASK, NIL);
    try {
        ksinit();
        if (ksimage.init) ksimage.init();
        kspinsymbols();
        osinit(verbose ? banner : "");
        top.key = s_true;
    } catch (ksjumpex &) {
        ksfatal("fatal initialization error");
    }
    ksend(&top);
    ksbegin(&top, TOPMASK, s_true);
    for (const std::string &e : o.errors) oserror(e.c_str());

    if (!o.transcript.empty()) {
        tfp = osaopen(o.transcript.c_str(), "w");
        if (!tfp) {
            std::string s = "can't open transcript file: " + o.transcript;
            oserror(s.c_str());
        }
    }
    // In a batch run, an error that a load takes ends the process there (see
    // ksload); one that comes back to the top level (BREAK, TOP-LEVEL, a file
    // that cannot be opened) ends it below, with status 1 as well.
    bool loaded = attoplevel(&top, [&] {
        bindpresets();
        ksload("init.lsp", verbose, false);
    });
    if (ksbatch && !loaded) wrapup(1);
    loaded = attoplevel(&top, [&] {
        for (const std::string &f : o.files) {
            if (!ksload(f.c_str(), verbose, false)) {
                node name = cvstring(f.c_str());
                kserror("can't load file", name);
            }
        }
    });
    if (ksbatch) wrapup(loaded ? 0 : 1);

    ksinitok = 1;
    ksconsole(&top);
    ksend(&top);
    wrapup();
}

void ksconsole(context *top) {
    node expr = NIL, val = NIL;
    ksguard g(&expr, &val);
    bool landed = false;
    for (;;) {
        try {
            if (landed) resettoplevel();
            landed = true;
            for (;;) {
                stdputstr("> ");
                if (!ksread(getvalue(s_stdin), &expr)) return;
                ksrdsave(expr);
                val = kseval(expr);
                ksevsave(val);
                stdprint(val);
                if (ksimage.dispnow) ksimage.dispnow();
            }
        } catch (ksjumpex &j) {
            if (!kscaught(j, top)) throw;
        }
    }
}
