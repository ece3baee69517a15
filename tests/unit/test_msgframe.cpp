// Message frames over the inter-thread pipes.
#include "shell/msgframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Pipes {
    Pipes() {
        CreateMessagePipes();
        CreateNotifier(false);
    }
    ~Pipes() {
        DeleteNotifier();
        DeletePipe(PipeIn);
        DeletePipe(PipeOut);
        PipeIn = PipeOut = nullptr;
    }
};

TEST(MsgFrame, SkipsGarbageBeforeTheMark) {
    Pipes pipes;
    WritePipe(PipeOut, "xyz\0\x01", 5);
    XdWriteMessage(MSG_EXECUTE, "puts hi", 8);
    int type = 0;
    char buf[MSG_MAX];
    int room = sizeof buf;
    EXPECT_EQ(ReadMessage(&type, buf, &room), 8);
    EXPECT_EQ(type, MSG_EXECUTE);
    EXPECT_EQ(room, 8);
    EXPECT_STREQ(buf, "puts hi");
    EXPECT_TRUE(EmptyPipe(PipeOut));
}

TEST(MsgFrame, InterpreterSideSignalsTheNotifier) {
    Pipes pipes;
    EXPECT_FALSE(WaitForEvent(NotifyPipe, 0));
    XdWriteMessage(MSG_FLUSH, nullptr, 0);
    EXPECT_TRUE(WaitForEvent(NotifyPipe, 0));
    WriteMessage(MSG_FLUSH, nullptr, 0);   // front-end side: no notify
    EXPECT_FALSE(WaitForEvent(NotifyPipe, 0));
}

TEST(MsgFrame, EmptyAndFullSizePayloads) {
    Pipes pipes;
    std::string big(MSG_MAX, '\0');
    for (int i = 0; i < MSG_MAX; i++) big[i] = char(i * 13 + 64);   // marks included
    // A frame of 9 + 1024 bytes does not fit the 1024-byte pipe at once:
    // the writer waits for the reader.
    std::thread writer([&] {
        WriteMessage(MSG_FLUSH, nullptr, 0);
        WriteMessage(MSG_READLINE, big.data(), MSG_MAX);
        WriteMessage(MSG_WRITECHAR, "", 0);
    });
    int type, size;
    ReadFrameHeader(PipeIn, &type, &size);
    EXPECT_EQ(type, MSG_FLUSH);
    EXPECT_EQ(size, 0);
    ReadFrameHeader(PipeIn, &type, &size);
    EXPECT_EQ(type, MSG_READLINE);
    ASSERT_EQ(size, MSG_MAX);
    std::string got(MSG_MAX, '\0');
    ReadPipe(PipeIn, got.data(), size);
    EXPECT_EQ(got, big);
    ReadFrameHeader(PipeIn, &type, &size);
    EXPECT_EQ(type, MSG_WRITECHAR);
    EXPECT_EQ(size, 0);
    writer.join();
}

TEST(MsgFrame, OversizedPayloadIsDroppedWholeAndReported) {
    Pipes pipes;
    std::string payload(40, '@');   // made of mark bytes
    std::thread writer([&] {
        XdWriteMessage(MSG_EXECUTE, payload.data(), int(payload.size()));
        XdWriteMessage(MSG_FRAMES, "1 2", 4);
    });
    int type;
    char buf[16];
    int room = sizeof buf;
    try {
        ReadMessage(&type, buf, &room);
        FAIL() << "no error";
    } catch (const char *text) {
        EXPECT_STREQ(text, "message size too long");
    }
    // The next frame is read intact: none of the dropped bytes was taken
    // for a mark.
    room = sizeof buf;
    EXPECT_EQ(ReadMessage(&type, buf, &room), 4);
    EXPECT_EQ(type, MSG_FRAMES);
    EXPECT_STREQ(buf, "1 2");
    writer.join();
}

// Request and reply in turn between two threads, as the interpreter and
// its front end do: the reply echoes the request's payload reversed.
TEST(MsgFrame, TwoThreadRequestReplyExchange) {
    Pipes pipes;
    constexpr int ROUNDS = 20000;
    std::thread front_end([] {
        char buf[MSG_MAX];
        for (int i = 0; i < ROUNDS; i++) {
            int type, room = sizeof buf;
            int n = ReadMessage(&type, buf, &room);
            std::string reply(buf, n);
            std::reverse(reply.begin(), reply.end());
            WriteMessage(type, reply.data(), n);
        }
    });
    int errors = 0;
    for (int i = 0; i < ROUNDS; i++) {
        std::string text = std::to_string(i) + std::string(i % 1000, '@') + "x";
        int type = MSG_WRITECHAR + i % 3;
        XdWriteMessage(type, text.data(), int(text.size()));
        int got_type, size;
        ReadFrameHeader(PipeIn, &got_type, &size);
        std::string reply(size, '\0');
        ReadPipe(PipeIn, reply.data(), size);
        std::reverse(reply.begin(), reply.end());
        if (got_type != type || reply != text) errors++;
    }
    front_end.join();
    EXPECT_EQ(errors, 0);
}

}  // namespace
