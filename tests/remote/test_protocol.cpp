// The protocol primitives both sides share: transfers on Sock, option
// removal and image sizes.
#include "remote/protocol.h"
#include "tests/remote/remotetest.h"

namespace {

using namespace remotetest;

TEST(Protocol, TransfersFailCleanlyOnAClosedPeer) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
    Sock = sv[0];
    message m;
    m.put16(0x1234);
    m.put8(0x1ff);  // only the low 8 bits
    EXPECT_TRUE(m.putstring("ab"));
    EXPECT_TRUE(m.putstring(nullptr));
    EXPECT_TRUE(m.send());
    EXPECT_EQ(show(recvn(sv[1], 10)), show(B({0x12, 0x34, 0xff, 0, 3, 'a', 'b', 0, 0, 0})));
    EXPECT_TRUE(sendall(sv[1], B({0xfe, 0xdc, 7}) + bytes(5000, 'x') + "z"));
    unsigned v = 0;
    EXPECT_TRUE(recv16(v));
    EXPECT_EQ(v, 0xfedcu);
    EXPECT_TRUE(recv8(v));
    EXPECT_EQ(v, 7u);
    EXPECT_TRUE(xskip(5000));
    char c = 0;
    EXPECT_TRUE(xrecv(&c, 1));
    EXPECT_EQ(c, 'z');
    // the peer goes away: a receive sees the end, a send fails instead of
    // raising SIGPIPE (which would end this test program)
    close(sv[1]);
    EXPECT_FALSE(xrecv(&c, 1));
    EXPECT_FALSE(recv16(v));
    EXPECT_FALSE(xsend("abc", 3));
    EXPECT_FALSE(m.send());
    close(sv[0]);
    Sock = -1;
}

TEST(Protocol, StringsLongerThanALengthCanSayAreRefused) {
    message m;
    EXPECT_TRUE(m.putstring(std::string(65534, 'a').c_str()));
    EXPECT_EQ(m.bytes.size(), 2u + 65535);
    EXPECT_EQ(m.bytes.substr(0, 2), N(65535));
    message n;
    EXPECT_FALSE(n.putstring(std::string(65535, 'a').c_str()));
    EXPECT_EQ(n.bytes, "");
}

TEST(Protocol, DroppingOptions) {
    // the option, its value and the blanks after it go; the rest stays
    EXPECT_EQ(dropoptions("camera=simcam", {"CAMERA"}), "");
    EXPECT_EQ(dropoptions("  CAMERA=simcam \t Width=3  ", {"camera"}), "  Width=3  ");
    EXPECT_EQ(dropoptions("host=a SERVICE=4711 camera=x Host=b", {"HOST", "SERVICE"}), "camera=x ");
    // wherever KEY= begins, also inside a word; a key without '=' stays
    EXPECT_EQ(dropoptions("xcamera=1 camera 2", {"CAMERA"}), "xcamera 2");
    EXPECT_EQ(dropoptions("host=", {"HOST"}), "");
    EXPECT_EQ(dropoptions(nullptr, {"HOST"}), "");
}

TEST(Protocol, ImageSizesPerDepth) {
    EXPECT_EQ(imagebytes(3, 2, 8), 20u);
    EXPECT_EQ(imagebytes(640, 480, 8), 642u * 482);
    EXPECT_EQ(imagebytes(3, 2, 24), 18u);
    EXPECT_EQ(imagebytes(17, 2, 1), 6u);
    EXPECT_EQ(imagebytes(16, 2, 1), 4u);
    EXPECT_EQ(imagebytes(0, 5, 1), 0u);
    EXPECT_EQ(imagebytes(65535, 65535, 24), 3ull * 65535 * 65535);
    EXPECT_TRUE(knowndepth(1) && knowndepth(8) && knowndepth(24));
    EXPECT_FALSE(knowndepth(0) || knowndepth(16) || knowndepth(32));
}

}  // namespace
