// Front-end helpers shared by tavex and tavex-cli.
#include "shell/frontend.h"
#include "shell/msgframe.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FrontEnd, DoublesEveryBackslashUpToTheFirstNul) {
    EXPECT_EQ(DoubleBackslashes("puts hi", 8), "puts hi");
    EXPECT_EQ(DoubleBackslashes("a\\b\\\\", 6), "a\\\\b\\\\\\\\");
    // The size bounds the command even without a NUL inside it.
    EXPECT_EQ(DoubleBackslashes("\\\\\\", 2), "\\\\\\\\");
    EXPECT_EQ(DoubleBackslashes("x\0\\", 3), "x");
}

TEST(FrontEnd, RefusesACommandThatNoLongerFitsAMessage) {
    // size + backslashes may reach MSG_MAX, not pass it.
    std::string fits(MSG_MAX - 2, 'a');
    fits[0] = '\\';
    EXPECT_EQ(DoubleBackslashes(fits.c_str(), int(fits.size()) + 1).size(), fits.size() + 1);
    std::string over = fits;
    over[1] = '\\';
    EXPECT_THROW(DoubleBackslashes(over.c_str(), int(over.size()) + 1), const char *);
    // Without a backslash any size passes as it is.
    std::string plain(MSG_MAX, 'b');
    EXPECT_EQ(DoubleBackslashes(plain.c_str(), MSG_MAX), plain);
}

TEST(FrontEnd, UserRequestsAreDroppedOnlyWhenThePipeIsFull) {
    CreateMessagePipes();
    CreateNotifier(false);
    int sent = 0;
    while (SendUserRequest(MSG_BREAK)) sent++;
    // Each frame is a mark and two ints; the ring keeps one byte free.
    EXPECT_EQ(sent, (MSG_PIPE_SIZE - 1) / (1 + 2 * int(sizeof(int))));
    // Taking one frame makes room for exactly one more.
    int type = 0, size = 0;
    ReadFrameHeader(PipeIn, &type, &size);
    EXPECT_EQ(type, MSG_BREAK);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(SendUserRequest(MSG_TOPLEVEL));
    EXPECT_FALSE(SendUserRequest(MSG_CONTINUE));
    DeleteNotifier();
    DeletePipe(PipeIn);
    DeletePipe(PipeOut);
    PipeIn = PipeOut = nullptr;
}

}  // namespace
