// The thread layer: command-line splitting, events and the byte pipe.
#include "shell/extent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> split(const char *cmd) {
    int argc = -1;
    char **argv = nullptr;
    cmd2argv(cmd, &argc, &argv);
    std::vector<std::string> words(argv, argv + argc);
    FreeArgv(argc, argv);
    return words;
}

using Words = std::vector<std::string>;

TEST(Cmd2Argv, SplitsWordsAndQuotedWords) {
    EXPECT_EQ(split("init -xS \"my file.lsp\""), (Words{"init", "-xS", "my file.lsp"}));
    EXPECT_EQ(split("a\t b\n c"), (Words{"a", "b", "c"}));
    EXPECT_EQ(split("a  "), (Words{"a"}));
}

TEST(Cmd2Argv, EmptyStringAndBlankStrings) {
    EXPECT_EQ(split(""), Words{});
    EXPECT_EQ(split(" "), Words{""});
    EXPECT_EQ(split("  x"), (Words{"", "x"}));
}

TEST(Cmd2Argv, QuotesEndUnquotedWords) {
    // A quote inside an unquoted word ends it; the rest is a new word.
    EXPECT_EQ(split("ab\"cd"), (Words{"ab", "cd"}));
    EXPECT_EQ(split("ab\"c d\" e"), (Words{"ab", "c", "d", "e"}));
    // An unterminated quoted word runs to the end of the string.
    EXPECT_EQ(split("\"a b"), Words{"a b"});
    EXPECT_EQ(split("\"\""), Words{""});
    // Outside quotes a backslash is an ordinary character.
    EXPECT_EQ(split("a\\b c\\"), (Words{"a\\b", "c\\"}));
}

TEST(Cmd2Argv, BackslashEscapesQuoteAndBackslashInsideQuotes) {
    EXPECT_EQ(split("\"a\\\"b\" c"), (Words{"a\"b", "c"}));
    EXPECT_EQ(split("\"x\\\\\" y"), (Words{"x\\", "y"}));
    EXPECT_EQ(split("\"a\\nb\""), Words{"a\\nb"});   // other escapes stay
    EXPECT_EQ(split("\"ends in\\"), Words{"ends in\\"});
}

// Every word, however hostile, comes back exactly as given: no word can
// end early, swallow its neighbours or turn into an option.
TEST(QuoteWord, RoundTripsThroughCmd2Argv) {
    const Words words = {"prog", "x\" -xT/tmp/t.txt \"y", "a\"b", "", " ", "plain",
                         "a b\\", "\\\"", "\"", "\\", "tab\there", "-xS",
                         "\"quoted\"", "back\\slash", "new\nline"};
    std::string line;
    for (const std::string &w : words) {
        if (!line.empty()) line += ' ';
        line += QuoteWord(w.c_str());
    }
    EXPECT_EQ(split(line.c_str()), words);
}

TEST(QuoteWord, LeavesPlainWordsAlone) {
    EXPECT_EQ(QuoteWord("-xM1000"), "-xM1000");
    EXPECT_EQ(QuoteWord("dir\\file.lsp"), "dir\\file.lsp");
    EXPECT_EQ(QuoteWord("my file"), "\"my file\"");
    EXPECT_EQ(QuoteWord(""), "\"\"");
}

TEST(Clock, TicksAdvanceWithSleep) {
    uint32_t t0 = GetTickCount();
    Sleep(20);
    uint32_t dt = GetTickCount() - t0;   // modular difference
    EXPECT_GE(dt, 19u);
}

TEST(Event, WaitTimesOutWhenUnsignalled) {
    EVENT *ev = CreateEvent();
    EXPECT_FALSE(WaitForEvent(ev, 0));
    EXPECT_FALSE(WaitForEvent(ev, 10));
    DeleteEvent(ev);
}

TEST(Event, AutoResetsAfterOneWait) {
    EVENT *ev = CreateEvent();
    SetEvent(ev);
    SetEvent(ev);   // a second signal before the wait is the same wake-up
    EXPECT_TRUE(WaitForEvent(ev, 0));
    EXPECT_FALSE(WaitForEvent(ev, 0));
    SetEvent(ev);   // signals after a wait are not lost
    EXPECT_TRUE(WaitForEvent(ev, 0));
    DeleteEvent(ev);
}

TEST(Event, WakesAThreadWaitingInSelect) {
    EVENT *ev = CreateEvent();
    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = WaitForEvent(ev, 5000); });
    Sleep(20);
    SetEvent(ev);
    waiter.join();
    EXPECT_TRUE(woke);
    DeleteEvent(ev);
}

TEST(Notifier, CreatedWithoutTclIsSelectable) {
    CreateNotifier(false);
    ASSERT_NE(NotifyPipe, nullptr);
    Notify();
    Notify();
    EXPECT_TRUE(WaitForEvent(NotifyPipe, 0));
    EXPECT_FALSE(WaitForEvent(NotifyPipe, 0));
    DeleteNotifier();
    EXPECT_EQ(NotifyPipe, nullptr);
    Notify();   // no notifier: nothing happens
}

TEST(Pipe, RejectsSizesThatCannotHoldData) {
    EXPECT_THROW(CreatePipe(0), const char *);
    EXPECT_THROW(CreatePipe(-5), const char *);
    try {
        CreatePipe(1);
        FAIL();
    } catch (const char *text) {
        EXPECT_STREQ(text, "error: CreatePipe");
    }
}

TEST(Pipe, SizeFourHoldsThreeBytesAndTheFourthWaits) {
    PIPE *p = CreatePipe(4);
    EXPECT_TRUE(EmptyPipe(p));
    WritePipe(p, "abc", 3);
    EXPECT_TRUE(FullPipe(p));
    std::atomic<bool> written{false};
    std::thread writer([&] {
        WritePipe(p, "d", 1);
        written = true;
    });
    Sleep(50);
    EXPECT_FALSE(written);   // still waiting for room
    char c;
    ReadPipe(p, &c, 1);
    EXPECT_EQ(c, 'a');
    writer.join();
    EXPECT_TRUE(written);
    char rest[3];
    ReadPipe(p, rest, 3);
    EXPECT_EQ(std::string(rest, 3), "bcd");
    EXPECT_TRUE(EmptyPipe(p));
    DeletePipe(p);
}

TEST(Pipe, WriteOfNothingOnlyWakesTheReader) {
    PIPE *p = CreatePipe(8);
    WritePipe(p, "", 0);
    EXPECT_TRUE(EmptyPipe(p));
    EXPECT_TRUE(WaitForEvent(p->event, 0));
    // A reader woken by it finds the pipe empty and goes on waiting.
    char c = 0;
    std::thread reader([&] { ReadPipe(p, &c, 1); });
    Sleep(20);
    WritePipe(p, "", 0);
    Sleep(20);
    WritePipe(p, "z", 1);
    reader.join();
    EXPECT_EQ(c, 'z');
    ReadPipe(p, &c, 0);   // n < 1 reads nothing and does not wait
    DeletePipe(p);
}

TEST(Pipe, FlushDropsUnreadBytes) {
    PIPE *p = CreatePipe(16);
    WritePipe(p, "hello", 5);
    FlushPipe(p);
    EXPECT_TRUE(EmptyPipe(p));
    WritePipe(p, "x", 1);
    char c;
    ReadPipe(p, &c, 1);
    EXPECT_EQ(c, 'x');
    DeletePipe(p);
}

TEST(Pipe, WrapsAroundTheRing) {
    PIPE *p = CreatePipe(5);
    std::string got;
    for (int round = 0; round < 7; round++) {
        char out[3] = {char('a' + round), char('A' + round), char('0' + round)};
        WritePipe(p, out, 3);
        char in[3];
        ReadPipe(p, in, 3);
        got.append(in, 3);
    }
    EXPECT_EQ(got, "aA0bB1cC2dD3eE4fF5gG6");
    DeletePipe(p);
}

// A few megabytes through a small pipe in uneven chunks on both sides; the
// reader checks a running checksum and the exact byte sequence.
TEST(Pipe, TwoThreadStressKeepsEveryByteInOrder) {
    constexpr int TOTAL = 4 << 20;
    PIPE *p = CreatePipe(61);
    uint64_t sent_sum = 0;
    std::thread writer([&] {
        uint32_t seed = 12345;
        char chunk[300];
        int done = 0;
        while (done < TOTAL) {
            seed = seed * 1103515245u + 12345u;
            int n = 1 + int(seed >> 16) % int(sizeof chunk);
            if (n > TOTAL - done) n = TOTAL - done;
            for (int i = 0; i < n; i++) {
                chunk[i] = char((done + i) * 7 + ((done + i) >> 11));
                sent_sum = sent_sum * 31 + static_cast<unsigned char>(chunk[i]);
            }
            WritePipe(p, chunk, n);
            done += n;
        }
    });
    uint64_t got_sum = 0;
    int mismatches = 0;
    uint32_t seed = 777;
    char chunk[200];
    int done = 0;
    while (done < TOTAL) {
        seed = seed * 1103515245u + 12345u;
        int n = 1 + int(seed >> 16) % int(sizeof chunk);
        if (n > TOTAL - done) n = TOTAL - done;
        ReadPipe(p, chunk, n);
        for (int i = 0; i < n; i++) {
            if (chunk[i] != char((done + i) * 7 + ((done + i) >> 11))) mismatches++;
            got_sum = got_sum * 31 + static_cast<unsigned char>(chunk[i]);
        }
        done += n;
    }
    writer.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(got_sum, sent_sum);
    EXPECT_TRUE(EmptyPipe(p));
    DeletePipe(p);
}

TEST(Thread, RunsTheEntryWithItsOwnCopyOfTheArgument) {
    static std::string seen;
    static char stack_probe_ok;
    std::string arg = "hello world";
    pthread_t t;
    CreateThread(
        [](const char *a) {
            seen = a;
            // The thread's stack is large: a 64 MB local array fits.
            volatile char big[64 << 20];
            big[0] = 1;
            big[sizeof big - 1] = 2;
            stack_probe_ok = big[0] + big[sizeof big - 1];
        },
        arg.c_str(), &t);
    arg = "changed";
    EXPECT_EQ(WaitEndThread(t), 0);
    EXPECT_EQ(seen, "hello world");
    EXPECT_EQ(stack_probe_ok, 3);
}

}  // namespace
