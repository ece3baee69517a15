// The GUI console's view of output bytes: UTF-8 where they form valid
// sequences, ISO 8859-1 byte by byte elsewhere, sequences cut between two
// messages joined again.
#include "shell/consoletext.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string decode(const std::string &bytes, utf8decoder &d) {
    std::u16string out;
    utf8decode(d, reinterpret_cast<const unsigned char *>(bytes.data()), int(bytes.size()), out);
    return out;
}

// All of it, held bytes released at the end.
std::u16string decodeall(const std::string &bytes) {
    utf8decoder d;
    std::u16string out = decode(bytes, d);
    utf8release(d, out);
    return out;
}

}  // namespace

TEST(ConsoleText, ValidSequencesAreCharacters) {
    EXPECT_EQ(decodeall("abc\n"), u"abc\n");
    EXPECT_EQ(decodeall("caf\xc3\xa9"), u"caf\u00e9");
    EXPECT_EQ(decodeall("\xe2\x82\xac"), u"\u20ac");
    EXPECT_EQ(decodeall("\xef\xbf\xbf"), u"\uffff");
    EXPECT_EQ(decodeall("\xc2\x80"), u"\u0080");
    // Beyond the 16-bit range: a surrogate pair, as Tcl holds it.
    EXPECT_EQ(decodeall("\xf0\x9f\x98\x80"), u"\xd83d\xde00");
    EXPECT_EQ(decodeall("\xf4\x8f\xbf\xbf"), u"\xdbff\xdfff");
}

TEST(ConsoleText, OtherBytesAreLatin1) {
    EXPECT_EQ(decodeall("caf\xe9"), u"caf\u00e9");
    EXPECT_EQ(decodeall("\xe9t\xe9"), u"\u00e9t\u00e9");
    EXPECT_EQ(decodeall("\x80\xbf\xff\xfe"), u"\u0080\u00bf\u00ff\u00fe");
    // Overlong forms, surrogates, beyond U+10FFFF, bytes that lead nothing.
    EXPECT_EQ(decodeall("\xc0\x80"), u"\u00c0\u0080");
    EXPECT_EQ(decodeall("\xc1\xbf"), u"\u00c1\u00bf");
    EXPECT_EQ(decodeall("\xe0\x80\x80"), u"\u00e0\u0080\u0080");
    EXPECT_EQ(decodeall("\xed\xa0\x80"), u"\u00ed\u00a0\u0080");
    EXPECT_EQ(decodeall("\xf0\x80\x80\x80"), u"\u00f0\u0080\u0080\u0080");
    EXPECT_EQ(decodeall("\xf4\x90\x80\x80"), u"\u00f4\u0090\u0080\u0080");
    EXPECT_EQ(decodeall("\xf5\x80\x80\x80"), u"\u00f5\u0080\u0080\u0080");
    // A sequence broken off: its bytes one by one, then what broke it.
    EXPECT_EQ(decodeall("\xe2\x82" "A"), u"\u00e2\u0082A");
    EXPECT_EQ(decodeall("\xc3\xc3\xa9"), u"\u00c3\u00e9");
    EXPECT_EQ(decodeall("\xf0\x9f\x98\n"), u"\u00f0\u009f\u0098\n");
    // ...or by the end of the output.
    EXPECT_EQ(decodeall("ab\xe2\x82"), u"ab\u00e2\u0082");
}

// Output cut into two messages at every byte gives what it gives whole.
TEST(ConsoleText, SequencesCutBetweenMessages) {
    const std::string bytes = "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80 \xe9\xe2\x82.\xc3";
    const std::u16string whole = decodeall(bytes);
    EXPECT_EQ(whole, u"\u00e9\u20ac\xd83d\xde00 \u00e9\u00e2\u0082.\u00c3");
    for (size_t cut = 0; cut <= bytes.size(); cut++) {
        utf8decoder d;
        std::u16string out = decode(bytes.substr(0, cut), d);
        out += decode(bytes.substr(cut), d);
        utf8release(d, out);
        EXPECT_EQ(out, whole) << "cut at " << cut;
    }
    // Held bytes wait, and show nothing until the sequence is complete.
    utf8decoder d;
    EXPECT_EQ(decode("x\xe2", d), u"x");
    EXPECT_EQ(decode("\x82", d), u"");
    EXPECT_EQ(decode("\xac!", d), u"\u20ac!");
    EXPECT_EQ(d.nheld, 0);
}
