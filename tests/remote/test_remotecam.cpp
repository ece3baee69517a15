// The client module remotecam, loaded as the host loads it and talking to a
// scripted fake server on 127.0.0.1: the exact bytes it sends, the sizes it
// reads, and how it takes errors, hostile replies and a dying server.
#include "image/camera.h"
#include "tests/remote/remotetest.h"

#include <netdb.h>

#include <thread>
#include <vector>

namespace {

using namespace remotetest;

const std::string USAGE =
    "(caminit \"remotecam\" \"camera=name [camera options][host=name][service=number]\"";

camerabinding &cam() {
    static camerabinding b;
    static bool loaded = false;
    if (!loaded) {
        void *dll = dlopen(REMOTECAM_MODULE, RTLD_NOW);
        EXPECT_NE(dll, nullptr) << dlerror();
        EXPECT_TRUE(dll && bindcamera(dll, b));
        loaded = true;
    }
    return b;
}

// One exchange of the script: the server reads exactly the length of
// request (the client must have sent those bytes) and answers reply.
struct step {
    bytes request, reply;
};

// A fake server for one connection. It plays its script in a thread and
// records what it received; after the script it reads whatever else comes
// until the client closes.
struct fakeserver {
    int listener = -1;
    unsigned port = 0;
    std::thread thread;
    std::vector<bytes> received;
    bytes trailing;
    bool accepted = false, closedbyclient = false;

    // close: end the connection after the script (reset: abortively)
    enum ending { WAIT_FOR_CLIENT, CLOSE, RESET };

    explicit fakeserver(std::vector<step> script, ending end = WAIT_FOR_CLIENT) {
        listener = listenlocal(port);
        thread = std::thread([this, script, end] {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0) return;
            int fd = accept(listener, nullptr, nullptr);
            accepted = fd >= 0;
            for (const step &s : script) {
                received.push_back(recvn(fd, s.request.size(), 20000));
                if (!s.reply.empty()) sendall(fd, s.reply);
            }
            if (end == RESET) {
                linger l{1, 0};
                setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            }
            if (end == WAIT_FOR_CLIENT) {
                trailing = recvall(fd, 20000);
                closedbyclient = true;
            }
            close(fd);
        });
    }
    ~fakeserver() { finish(); }
    void finish() {
        if (thread.joinable()) thread.join();
        if (listener >= 0) close(listener);
        listener = -1;
    }
    std::string options(const std::string &more) {
        return "host=127.0.0.1 service=" + std::to_string(port) + (more.empty() ? "" : " " + more);
    }
};

// The script's requests and what the server received, for comparison.
void expectrequests(fakeserver &server, const std::vector<step> &script) {
    ASSERT_EQ(server.received.size(), script.size());
    for (size_t i = 0; i < script.size(); ++i) EXPECT_EQ(show(server.received[i]), show(script[i].request)) << i;
}

bytes init(const std::string &options) { return N(1) + (options.empty() ? N(0) : S(options)); }

class Client : public ::testing::Test {
protected:
    void SetUp() override { cam().camfree(); }
    void TearDown() override { cam().camfree(); }
};

TEST_F(Client, InitWithoutOptionsGivesTheUsageWithoutTraffic) {
    fakeserver server({}, fakeserver::CLOSE);
    EXPECT_FALSE(cam().caminit(nullptr));
    EXPECT_EQ(cam().camerror(), USAGE);
    EXPECT_FALSE(cam().caminit(" \t\n"));
    EXPECT_EQ(cam().camerror(), USAGE);
    // nobody connected
    pollfd p{server.listener, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 100), 0);
    // unblock the fake server's wait
    close(connectlocal(server.port));
}

TEST_F(Client, LocalFailuresOfInitNameTheirCause) {
    EXPECT_FALSE(cam().caminit("host=a..b camera=simcam"));
    EXPECT_EQ(cam().camerror(), std::string("can't get ip address of host \"a..b\"\ngive it manually HOST=xxx.xxx.xxx.xxx"));
    // a port where nobody listens
    unsigned port = 0;
    close(listenlocal(port));
    EXPECT_FALSE(cam().caminit(("host=127.0.0.1 camera=simcam service=" + std::to_string(port)).c_str()));
    EXPECT_EQ(cam().camerror(), std::string("connection to webcam server failed"));
    EXPECT_FALSE(cam().caminit("host=127.0.0.1 camera=simcam service=70000"));
    EXPECT_EQ(cam().camerror(), std::string("SERVICE must be a port number 1..65535"));
    // not connected after any of them
    EXPECT_FALSE(cam().camsnap(0, nullptr));
    EXPECT_EQ(cam().camerror(), std::string("no server connected"));
}

TEST_F(Client, WithoutServiceNumberTheServicesDatabaseIsAsked) {
    if (getservbyname("remotecam", "tcp")) GTEST_SKIP() << "this machine has a remotecam service entry";
    EXPECT_FALSE(cam().caminit("host=127.0.0.1 camera=simcam"));
    EXPECT_EQ(cam().camerror(), std::string("can't get service number\ngive it manually SERVICE=1000"));
}

TEST_F(Client, InitSendsEverythingButHostAndService) {
    std::vector<step> script = {{init("camera=simcam Gain=3"), B({1})}};
    fakeserver server(script);
    std::string options = "HOST=127.0.0.1 camera=simcam Service=" + std::to_string(server.port) + "  Gain=3";
    EXPECT_TRUE(cam().caminit(options.c_str()));
    cam().camfree();
    server.finish();
    expectrequests(server, script);
    // request 2 and then the end of the connection
    EXPECT_EQ(show(server.trailing), show(N(2)));
    EXPECT_TRUE(server.closedbyclient);
    EXPECT_FALSE(cam().camlut(reinterpret_cast<const unsigned char *>(std::string(256, 'x').data())));
    EXPECT_EQ(cam().camerror(), std::string("no server connected"));
}

TEST_F(Client, ARefusedInitKeepsTheConnectionForTheServersText) {
    std::vector<step> script = {{init(""), B({0})}, {N(0), S("[camera] has to be specified")}};
    fakeserver server(script);
    EXPECT_FALSE(cam().caminit(server.options("").c_str()));
    EXPECT_EQ(cam().camerror(), std::string("[camera] has to be specified"));
    // the same text again, without asking the server
    EXPECT_EQ(cam().camerror(), std::string("[camera] has to be specified"));
    cam().camfree();
    server.finish();
    expectrequests(server, script);
    EXPECT_EQ(show(server.trailing), show(N(2)));
}

TEST_F(Client, CallsTravelByteByByte) {
    bytes lut;
    for (int i = 0; i < 256; ++i) lut += char((i * 7) & 255);
    bytes grey;  // 3 x 2 with its border: 20 bytes
    for (int i = 0; i < 20; ++i) grey += char(100 + i);
    std::vector<step> script = {
        {init("camera=simcam"), B({1})},
        {N(3) + N(0xfffe) + S("Width=3 Height=2"), B({1})},
        {N(3) + N(5) + N(0), B({1})},
        {N(3) + N(32767) + N(0), B({0})},
        {N(0), S("camera not connected")},
        {N(4), B({1}) + N(5) + N(6) + N(3) + N(2) + N(8)},
        {N(5), B({1}) + grey},
        {N(6) + lut, B({1})},
        {N(4), B({1}) + N(0xffff) + N(0x8000) + N(17) + N(2) + N(1)},
        {N(5), B({1}) + B({0x5a, 0xa5, 1, 2, 3, 4})},
        {N(4), B({1}) + N(0) + N(0) + N(2) + N(1) + N(24)},
        {N(5), B({1}) + B({1, 2, 3, 4, 5, 6})},
        {N(4), B({0})},
        {N(0), S("no image queued")},
    };
    fakeserver server(script);
    ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
    EXPECT_TRUE(cam().camsnap(-2, "Width=3 Height=2"));
    // blank options travel as no string
    EXPECT_TRUE(cam().camsnap(5, "  "));
    EXPECT_FALSE(cam().camsnap(32767, nullptr));
    EXPECT_EQ(cam().camerror(), std::string("camera not connected"));
    int x = -1, y = -1, w = -1, h = -1, d = -1;
    EXPECT_TRUE(cam().camreadheader(&x, &y, &w, &h, &d));
    EXPECT_EQ(std::vector<int>({x, y, w, h, d}), std::vector<int>({5, 6, 3, 2, 8}));
    // exactly (3 + 2) x (2 + 2) bytes, nothing beyond
    bytes buffer(64, char(0xee));
    EXPECT_TRUE(cam().camreaddata(buffer.data()));
    EXPECT_EQ(show(buffer), show(grey + bytes(44, char(0xee))));
    EXPECT_TRUE(cam().camlut(reinterpret_cast<const unsigned char *>(lut.data())));
    // header values are unsigned; depth 1 of width 17: 3 bytes a row
    EXPECT_TRUE(cam().camreadheader(&x, &y, &w, &h, &d));
    EXPECT_EQ(std::vector<int>({x, y, w, h, d}), std::vector<int>({65535, 32768, 17, 2, 1}));
    buffer.assign(64, char(0xee));
    EXPECT_TRUE(cam().camreaddata(buffer.data()));
    EXPECT_EQ(show(buffer), show(B({0x5a, 0xa5, 1, 2, 3, 4}) + bytes(58, char(0xee))));
    // depth 24: 3 bytes a pixel
    EXPECT_TRUE(cam().camreadheader(&x, &y, &w, &h, &d));
    buffer.assign(64, char(0xee));
    EXPECT_TRUE(cam().camreaddata(buffer.data()));
    EXPECT_EQ(show(buffer), show(B({1, 2, 3, 4, 5, 6}) + bytes(58, char(0xee))));
    // a failed header leaves the outputs alone
    x = y = w = h = d = -1;
    EXPECT_FALSE(cam().camreadheader(&x, &y, &w, &h, &d));
    EXPECT_EQ(std::vector<int>({x, y, w, h, d}), std::vector<int>({-1, -1, -1, -1, -1}));
    EXPECT_EQ(cam().camerror(), std::string("no image queued"));
    // camera numbers beyond 16 bits are refused here, without traffic
    EXPECT_FALSE(cam().camsnap(40000, nullptr));
    EXPECT_EQ(cam().camerror(), std::string("camera number out of range"));
    cam().camfree();
    server.finish();
    expectrequests(server, script);
    EXPECT_EQ(show(server.trailing), show(N(2)));
}

TEST_F(Client, DataBeforeAnyHeaderFailsWithoutTraffic) {
    std::vector<step> script = {{init("camera=simcam"), B({1})}};
    fakeserver server(script);
    ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
    char buffer[16];
    EXPECT_FALSE(cam().camreaddata(buffer));
    EXPECT_EQ(cam().camerror(), std::string("unkown image format"));
    cam().camfree();
    server.finish();
    EXPECT_EQ(show(server.trailing), show(N(2)));
}

TEST_F(Client, ErrorRepliesOfEveryLength) {
    std::vector<step> script = {
        {init("camera=simcam"), B({1})},
        {N(4), B({0})},
        {N(0), N(0)},
        {N(4), B({0})},
        {N(0), N(300) + bytes(300, 'x')},
        {N(4), B({0})},
        {N(0), N(256) + bytes(256, 'y')},
        {N(4), B({0})},
        {N(0), S("")},
        {N(6) + bytes(256, '\0'), B({1})},
    };
    fakeserver server(script);
    ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
    int v;
    EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
    EXPECT_EQ(cam().camerror(), std::string("server could not signal the error"));
    EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
    EXPECT_EQ(cam().camerror(), std::string("too long error message"));
    // 256 bytes without a NUL: the text is cut to 255 characters
    EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
    EXPECT_EQ(cam().camerror(), std::string(255, 'y'));
    EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
    EXPECT_EQ(cam().camerror(), std::string(""));
    // the discarded text left the stream in step
    unsigned char zeros[256] = {};
    EXPECT_TRUE(cam().camlut(zeros));
    cam().camfree();
    server.finish();
    expectrequests(server, script);
}

TEST_F(Client, AServerThatDiesFailsTheCallAndDropsTheConnection) {
    // gone while the client waits for a header
    {
        std::vector<step> script = {{init("camera=simcam"), B({1})}, {N(4), {}}};
        fakeserver server(script, fakeserver::CLOSE);
        ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
        int v;
        EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
        EXPECT_EQ(cam().camerror(), std::string("connection to camera server lost"));
        EXPECT_FALSE(cam().camsnap(0, nullptr));
        EXPECT_EQ(cam().camerror(), std::string("no server connected"));
        server.finish();
        expectrequests(server, script);
    }
    // gone in the middle of the image data
    {
        std::vector<step> script = {{init("camera=simcam"), B({1})},
                                    {N(4), B({1}) + N(0) + N(0) + N(3) + N(2) + N(8)},
                                    {N(5), B({1}) + bytes(10, 'd')}};
        fakeserver server(script, fakeserver::CLOSE);
        ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
        int v;
        EXPECT_TRUE(cam().camreadheader(&v, &v, &v, &v, &v));
        char buffer[20];
        EXPECT_FALSE(cam().camreaddata(buffer));
        EXPECT_EQ(cam().camerror(), std::string("connection to camera server lost"));
        server.finish();
    }
    // reset after the init: the next send meets a reset connection, which
    // must fail the call and not raise SIGPIPE in the host
    {
        std::vector<step> script = {{init("camera=simcam"), B({1})}};
        fakeserver server(script, fakeserver::RESET);
        ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
        server.finish();
        unsigned char lut[256] = {};
        EXPECT_FALSE(cam().camlut(lut));
        EXPECT_FALSE(cam().camlut(lut));
        EXPECT_EQ(cam().camerror(), std::string("no server connected"));
    }
}

TEST_F(Client, ASilentServerTimesOutAfterTenSeconds) {
    std::vector<step> script = {{init("camera=simcam"), B({1})}, {N(3) + N(0) + N(0), {}}};
    fakeserver server(script);
    ASSERT_TRUE(cam().caminit(server.options("camera=simcam").c_str()));
    EXPECT_FALSE(cam().camsnap(0, nullptr));
    EXPECT_EQ(cam().camerror(), std::string("connection to camera server lost"));
    server.finish();
    expectrequests(server, script);
    // the client closed without request 2
    EXPECT_EQ(server.trailing, "");
    EXPECT_TRUE(server.closedbyclient);
}

TEST_F(Client, AServerThatNeverAcceptsTimesOutAfterTenSeconds) {
    // a listener whose queue is full: its host drops further connection
    // requests, as a host that does not answer would
    unsigned port = 0;
    int listener = listenlocal(port);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(listen(listener, 0), 0);
    int waiting = connectlocal(port);
    ASSERT_GE(waiting, 0);
    EXPECT_FALSE(cam().caminit(("host=127.0.0.1 camera=simcam service=" + std::to_string(port)).c_str()));
    EXPECT_EQ(cam().camerror(), std::string("connection to webcam server failed"));
    close(waiting);
    close(listener);
}

TEST_F(Client, ANewInitEndsTheOldConnectionFirst) {
    std::vector<step> first = {{init("camera=simcam"), B({1})}};
    std::vector<step> second = {{init("camera=oddcam"), B({1})}};
    fakeserver one(first), two(second);
    ASSERT_TRUE(cam().caminit(one.options("camera=simcam").c_str()));
    ASSERT_TRUE(cam().caminit(two.options("camera=oddcam").c_str()));
    one.finish();
    EXPECT_EQ(show(one.trailing), show(N(2)));
    EXPECT_TRUE(one.closedbyclient);
    cam().camfree();
    // camfree twice, and calls after it: nothing is sent
    cam().camfree();
    EXPECT_EQ(cam().camerror(), std::string("no server connected"));
    int v;
    EXPECT_FALSE(cam().camreadheader(&v, &v, &v, &v, &v));
    EXPECT_FALSE(cam().camreaddata(&v));
    two.finish();
    expectrequests(two, second);
    EXPECT_EQ(show(two.trailing), show(N(2)));
}

}  // namespace
