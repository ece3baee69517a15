// PPRINT: prints a value with lists that do not fit in PP_MAXLEN characters
// broken over several lines, each element under the list's second element
// (or under its first when that is itself a list).
#include "interp/ks.h"

namespace {

constexpr int PP_MAXLEN = 40;   // lists shorter than this stay on one line

struct ppstate {
    node stream;
    int column = 0;   // current output column
    int margin = 0;   // left margin of the list being printed
};

void ppputc(ppstate &s, int ch) {
    ksputc(s.stream, ch);
    ++s.column;
}

void ppnewline(ppstate &s) {
    ksterpri(s.stream);
    s.column = 0;
    for (int i = 0; i < s.margin; ++i) ppputc(s, ' ');
}

void ppatom(ppstate &s, node x) {
    ksprint(s.stream, x, true);
    s.column += flsize(x);
}

void pplist(ppstate &s, node x);

void pp(ppstate &s, node x) {
    if (consp(x)) pplist(s, x);
    else ppatom(s, x);
}

void pplist(ppstate &s, node x) {
    int size = flsize(x);   // also refuses lists nested too deeply
    if (size < PP_MAXLEN) {
        ksprint(s.stream, x, true);
        s.column += size;
        return;
    }
    ppputc(s, '(');
    int saved = s.margin;
    if (atom(car(x))) {
        ppatom(s, car(x));
        x = cdr(x);
        if (consp(x)) ppputc(s, ' ');
    }
    s.margin = s.column;
    while (consp(x)) {
        pp(s, car(x));
        x = cdr(x);
        if (consp(x)) ppnewline(s);
    }
    if (x) {
        ksputstr(s.stream, " . ");
        s.column += 3;
        ppatom(s, x);
    }
    ppputc(s, ')');
    s.margin = saved;
}

}  // namespace

node xpp() {
    node val = ksarg();
    node stream = moreargs() ? ksgetfile() : getvalue(s_stdout);
    kslastarg();
    ksguard g(&val, &stream);
    ppstate s{stream};
    pp(s, val);
    ksterpri(stream);
    return NIL;
}
