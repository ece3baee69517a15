// Numbers: arithmetic, bitwise operations, comparisons and the
// single-argument functions.
//
// A FIXNUM is a signed 32-bit integer and integer arithmetic wraps modulo
// 2^32: every integer operation is computed in uint32_t or int64_t and
// converted back, so no case ever relies on signed overflow. A FLONUM is a
// 32-bit float; functions computed in double are narrowed to float.
#include "interp/ks.h"

#include <climits>
#include <cmath>

namespace {

[[noreturn]] void divzero() { ksfail("division by zero"); }
[[noreturn]] void badiop() { ksfail("bad integer operation"); }
[[noreturn]] void badfop() { ksfail("bad floating point operation"); }

int32_t wrap(uint32_t u) { return (int32_t)u; }   // modular since C++20
int32_t iadd(int32_t a, int32_t b) { return wrap((uint32_t)a + (uint32_t)b); }
int32_t isub(int32_t a, int32_t b) { return wrap((uint32_t)a - (uint32_t)b); }
int32_t imul(int32_t a, int32_t b) { return wrap((uint32_t)a * (uint32_t)b); }
int32_t ineg(int32_t a) { return wrap(0u - (uint32_t)a); }

// Truncating quotient and remainder; the most negative fixnum divided by -1
// wraps to itself (its remainder is 0), as the rest of the arithmetic does.
int32_t idiv(int32_t a, int32_t b) {
    if (b == 0) divzero();
    if (b == -1) return ineg(a);
    return a / b;
}
int32_t irem(int32_t a, int32_t b) {
    if (b == 0) divzero();
    if (b == -1) return 0;
    return a % b;
}

int32_t ishl(int32_t a, int32_t count) { return wrap((uint32_t)a << (count & 31)); }
int32_t ishr(int32_t a, int32_t count) {   // arithmetic shift
    int n = count & 31;
    return a >= 0 ? a >> n : ~(~a >> n);
}

// One step of the integer fold of binary().
int32_t ifold(int op, int32_t acc, int32_t v) {
    switch (op) {
    case '+': return iadd(acc, v);
    case '-': return isub(acc, v);
    case '*': return imul(acc, v);
    case '/': return idiv(acc, v);
    case '%': return irem(acc, v);
    case 'M': return acc > v ? acc : v;
    case 'm': return acc < v ? acc : v;
    case '&': return acc & v;
    case '|': return acc | v;
    case '^': return acc ^ v;
    case '<': return ishl(acc, v);
    case '>': return ishr(acc, v);
    default: badiop();   // 'E'
    }
}

// One step of the float fold of binary().
float ffold(int op, float acc, float v) {
    switch (op) {
    case '+': return acc + v;
    case '-': return acc - v;
    case '*': return acc * v;
    case '/':
        if (v == 0.0f) divzero();
        return acc / v;
    case 'E': return (float)std::pow((double)acc, (double)v);
    case 'M': return acc > v ? acc : v;
    case 'm': return acc < v ? acc : v;
    default: badfop();   // '%', bitwise and shifts
    }
}

float tofloat(node x) { return fixp(x) ? (float)getfixnum(x) : getflonum(x); }

// The shared routine of +, -, *, /, REM, MAX, MIN, EXPT and the bitwise
// operators: the first argument fixes the mode, a flonum switches an integer
// fold to float for the rest of the call.
node binary(int op) {
    node first = ksarg();
    if (!numberp(first)) ksbadtype(first);
    bool fmode = floatp(first);
    int32_t iacc = fmode ? 0 : getfixnum(first);
    float facc = fmode ? getflonum(first) : 0.0f;

    if (!moreargs()) {
        if (op == '-') return fmode ? cvflonum(-facc) : cvfixnum(ineg(iacc));
        if (op == '/') {
            if (fmode) {
                if (facc == 0.0f) divzero();
                return cvflonum(1.0f / facc);
            }
            return cvfixnum(idiv(1, iacc));
        }
        return first;
    }
    while (moreargs()) {
        node x = nextarg();
        if (!numberp(x)) ksbadtype(x);
        if (!fmode && floatp(x)) {
            fmode = true;
            facc = (float)iacc;
        }
        if (fmode) facc = ffold(op, facc, tofloat(x));
        else iacc = ifold(op, iacc, getfixnum(x));
    }
    return fmode ? cvflonum(facc) : cvfixnum(iacc);
}

// A float to fixnum conversion that refuses values it cannot represent
// (NaN, infinities, anything outside -2^31 .. 2^31-1 after truncation).
int32_t ftrunc(float f) {
    if (!(f >= -2147483648.0f && f < 2147483648.0f)) badfop();
    return (int32_t)f;
}

// FLOAT, TRUNCATE, ABS, LOG and SQRT.
node unary(int op) {
    node x = ksargnum();
    kslastarg();
    if (fixp(x)) {
        int32_t i = getfixnum(x);
        switch (op) {
        case 'F': return cvflonum((float)i);
        case 'I': return x;
        case 'A': return i < 0 ? cvfixnum(ineg(i)) : x;   // the most negative stays
        default: badiop();                               // 'L', 'R'
        }
    }
    float f = getflonum(x);
    switch (op) {
    case 'F': return x;
    case 'I': return cvfixnum(ftrunc(f));
    case 'A': return f < 0.0f ? cvflonum(-f) : x;
    case 'L':
        if (f <= 0.0f) ksfail("number must be greater than 0!");
        return cvflonum(std::log(f));
    default:   // 'R'
        if (f < 0.0f) ksfail("no negative number allowed!");
        return cvflonum(std::sqrt(f));
    }
}

// The relation named by a comparison operator character.
template <class T>
bool holds(int op, T a, T b) {
    switch (op) {
    case '<': return a < b;
    case 'L': return a <= b;
    case '=': return a == b;
    case '#': return a != b;
    case 'G': return a >= b;
    default: return a > b;
    }
}

// <, <=, =, /=, >=, >: each argument against the one before it.
node compare(int op) {
    node prev = ksargnum();
    while (moreargs()) {
        node x = nextarg();
        if (!numberp(x)) ksbadtype(x);
        bool ok = fixp(prev) && fixp(x)
                         ? holds<int32_t>(op, getfixnum(prev), getfixnum(x))
                         : holds<float>(op, tofloat(prev), tofloat(x));
        if (!ok) return NIL;
        prev = x;
    }
    return s_true;
}

// Functions of one flonum argument computed in float; a fixnum is refused.
node flofun(float (*fn)(float)) {
    node x = ksargnum();
    kslastarg();
    if (fixp(x)) badiop();
    return cvflonum(fn(getflonum(x)));
}

// A fixnum argument for functions that refuse flonums with
// "bad floating point operation".
int32_t intarg() {
    node x = ksargnum();
    kslastarg();
    if (floatp(x)) badfop();
    return getfixnum(x);
}

// Sign tests of a number.
int signof(node x) {
    if (fixp(x)) return getfixnum(x) < 0 ? -1 : getfixnum(x) > 0;
    float f = getflonum(x);
    return f < 0.0f ? -1 : f > 0.0f;
}
int signarg() {
    node x = ksargnum();
    kslastarg();
    return signof(x);
}

node boolnode(bool b) { return b ? s_true : NIL; }

}  // namespace

node xadd() { return binary('+'); }
node xsub() { return binary('-'); }
node xmul() { return binary('*'); }
node xdiv() { return binary('/'); }
node xrem() { return binary('%'); }
node xmin() { return binary('m'); }
node xmax() { return binary('M'); }
node xexpt() { return binary('E'); }
node xlogand() { return binary('&'); }
node xlogior() { return binary('|'); }
node xlogxor() { return binary('^'); }
node xshl() { return binary('<'); }
node xshr() { return binary('>'); }

node xfloat() { return unary('F'); }
node xfix() { return unary('I'); }
node xabs() { return unary('A'); }
node xlog() { return unary('L'); }
node xsqrt() { return unary('R'); }

node xlss() { return compare('<'); }
node xleq() { return compare('L'); }
node xequ() { return compare('='); }
node xneq() { return compare('#'); }
node xgeq() { return compare('G'); }
node xgtr() { return compare('>'); }

node xadd1() {
    node x = ksargnum();
    kslastarg();
    return fixp(x) ? cvfixnum(iadd(getfixnum(x), 1)) : cvflonum(getflonum(x) + 1.0f);
}

node xsub1() {
    node x = ksargnum();
    kslastarg();
    return fixp(x) ? cvfixnum(isub(getfixnum(x), 1)) : cvflonum(getflonum(x) - 1.0f);
}

node xlognot() { return cvfixnum(~intarg()); }

node xsin() { return flofun([](float f) { return std::sin(f); }); }
node xcos() { return flofun([](float f) { return std::cos(f); }); }
node xtan() { return flofun([](float f) { return std::tan(f); }); }
node xasin() { return flofun([](float f) { return std::asin(f); }); }
node xacos() { return flofun([](float f) { return std::acos(f); }); }
node xatan() { return flofun([](float f) { return std::atan(f); }); }
node xexp() { return flofun([](float f) { return (float)std::exp((double)f); }); }

// (random n): a number in 0..|n|-1. There is no such number for 0, which is
// refused; for the most negative fixnum the range is 0..2^31-2 (the largest
// range the random source takes).
node xrand() {
    node arg = ksarg();
    if (floatp(arg)) badfop();
    if (!fixp(arg)) ksbadtype(arg);
    kslastarg();
    int32_t n = getfixnum(arg);
    if (n == 0) kserror("bad argument", arg);
    int32_t range = n == INT32_MIN ? INT32_MAX : (n < 0 ? -n : n);
    return cvfixnum(osrand(range));
}

// (gcd n...): Euclid on the magnitudes, computed in uint32_t so that the most
// negative fixnum is its own magnitude 2^31. A zero running value takes the
// next magnitude (gcd(0, x) = x), so the result is always defined; a result
// of 2^31 wraps to the most negative fixnum, as ABS of that number does.
node xgcd() {
    uint32_t g = 0;
    while (moreargs()) {
        node x = nextarg();
        if (!fixp(x)) ksbadtype(x);
        int32_t v = getfixnum(x);
        uint32_t m = v < 0 ? 0u - (uint32_t)v : (uint32_t)v;
        while (m != 0) {
            uint32_t r = g % m;
            g = m;
            m = r;
        }
    }
    return cvfixnum(wrap(g));
}

node xminusp() { return boolnode(signarg() < 0); }
node xzerop() { return boolnode(signarg() == 0); }
node xplusp() { return boolnode(signarg() > 0); }
node xevenp() { return boolnode((intarg() & 1) == 0); }
node xoddp() { return boolnode((intarg() & 1) != 0); }
