// Console output bytes as text for the GUI: a run of bytes that forms a
// valid UTF-8 sequence is one character; every other byte is the character
// of the same code (ISO 8859-1). Output arrives in messages that may cut a
// sequence in two: its first bytes are held until the next message.
#pragma once

#include <string>

struct utf8decoder {
    unsigned char held[4];
    int nheld = 0;   // bytes of an unfinished sequence
};

namespace utf8detail {

// Length of the sequence a lead byte starts; 0 for a byte that starts none.
inline int seqlength(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

// Whether b may follow the bytes held so far. The second byte's range
// depends on the lead byte: no overlong forms, no surrogates, nothing
// above U+10FFFF.
inline bool continues(const utf8decoder &d, unsigned char b) {
    unsigned char lo = 0x80, hi = 0xBF;
    if (d.nheld == 1) {
        switch (d.held[0]) {
        case 0xE0: lo = 0xA0; break;
        case 0xED: hi = 0x9F; break;
        case 0xF0: lo = 0x90; break;
        case 0xF4: hi = 0x8F; break;
        }
    }
    return b >= lo && b <= hi;
}

inline void put(std::u16string &out, char32_t c) {
    if (c > 0xFFFF) {   // a surrogate pair, as Tcl keeps such characters
        c -= 0x10000;
        out += char16_t(0xD800 + (c >> 10));
        out += char16_t(0xDC00 + (c & 0x3FF));
    } else {
        out += char16_t(c);
    }
}

inline char32_t codepoint(const unsigned char *s, int n) {
    char32_t c = s[0] & (0x7F >> n);
    for (int i = 1; i < n; i++) c = (c << 6) | (s[i] & 0x3F);
    return c;
}

}  // namespace utf8detail

// The held bytes of an unfinished sequence, each as its own character.
inline void utf8release(utf8decoder &d, std::u16string &out) {
    for (int i = 0; i < d.nheld; i++) out += char16_t(d.held[i]);
    d.nheld = 0;
}

// Appends the characters of n bytes to out (UTF-16, as Tcl_UniChar is);
// the first bytes of a sequence that the bytes end inside stay held.
inline void utf8decode(utf8decoder &d, const unsigned char *p, int n, std::u16string &out) {
    using namespace utf8detail;
    for (int i = 0; i < n; i++) {
        unsigned char b = p[i];
        if (d.nheld > 0) {
            if (continues(d, b)) {
                d.held[d.nheld++] = b;
                if (d.nheld == seqlength(d.held[0])) {
                    put(out, codepoint(d.held, d.nheld));
                    d.nheld = 0;
                }
                continue;
            }
            utf8release(d, out);   // b starts afresh
        }
        if (seqlength(b) > 0) {
            d.held[0] = b;
            d.nheld = 1;
        } else {
            out += char16_t(b);
        }
    }
}
