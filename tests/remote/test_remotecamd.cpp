// The camera server remotecamd, started per connection by a real internet
// super-server (systemd-socket-activate in inetd mode) on 127.0.0.1, and
// spoken to byte by byte. Its module directory holds simcam, simcamnolut
// and oddcam; a module lies beside the directory to tempt path escapes.
#include "tests/remote/remotetest.h"

#include <fstream>
#include <sstream>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

using namespace remotetest;
namespace fs = std::filesystem;

std::string readfile(const fs::path &p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a program with the given standard input and error; its pid.
pid_t spawn(const std::vector<std::string> &argv, int in, int err) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (in >= 0) posix_spawn_file_actions_adddup2(&fa, in, 0);
    if (err >= 0) posix_spawn_file_actions_adddup2(&fa, err, 2);
    std::vector<char *> args;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

int waitstatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// The super-server with its module directory, for one test.
class Server : public ::testing::Test {
protected:
    tempdir dir;
    fs::path modules, log;
    pid_t pid = -1;
    unsigned port = 0;

    void SetUp() override {
        modules = dir.path / "modules";
        log = dir.path / "superserver.log";
        fs::create_directory(modules);
        for (const char *m : {"simcam", "simcamnolut"})
            fs::create_symlink(fs::path(MODULE_DIR) / (std::string(m) + ".so"), modules / (std::string(m) + ".so"));
        fs::create_symlink(fs::path(TEST_MODULE_DIR) / "oddcam.so", modules / "oddcam.so");
        fs::create_symlink(fs::path(MODULE_DIR) / "simcam.so", dir.path / "outside.so");
        int err = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(err, 0);
        // A port that was free a moment ago; another try if it was taken since.
        for (int attempt = 0; attempt < 20 && pid < 0; ++attempt) {
            int probe = listenlocal(port);
            ASSERT_GE(probe, 0);
            close(probe);
            pid = spawn({"/usr/bin/systemd-socket-activate", "-l", "127.0.0.1:" + std::to_string(port), "-a",
                         "--inetd", REMOTECAMD, modules.string()},
                        -1, err);
            ASSERT_GT(pid, 0);
            for (int i = 0; i < 500 && readfile(log).find("Listening on 127.0.0.1:" + std::to_string(port)) ==
                                           std::string::npos; ++i) {
                if (waitpid(pid, nullptr, WNOHANG) == pid) {
                    pid = -1;
                    break;
                }
                usleep(10000);
            }
        }
        close(err);
        ASSERT_GT(pid, 0) << readfile(log);
    }

    // Every server process ended with status 0 and without a sanitizer
    // report: no crash, whatever the clients did.
    void TearDown() override {
        std::string text;
        for (int i = 0; i < 1000; ++i) {
            text = readfile(log);
            if (occurrences(text, "Spawned ") == occurrences(text, " died with code ")) break;
            usleep(10000);
        }
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        EXPECT_EQ(occurrences(text, " died with code "), occurrences(text, " died with code 0\n")) << text;
        EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << text;
        EXPECT_EQ(text.find("runtime error"), std::string::npos) << text;
    }

    static size_t occurrences(const std::string &text, const std::string &what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    int client() {
        int fd = connectlocal(port);
        EXPECT_GE(fd, 0);
        return fd;
    }
};

// One request and exactly n bytes of its reply.
bytes ask(int fd, const bytes &request, size_t n) {
    EXPECT_TRUE(sendall(fd, request));
    return recvn(fd, n);
}

// Request 0 and the whole error string it answers.
std::string errortext(int fd) {
    bytes len = ask(fd, N(0), 2);
    if (len.size() != 2) return "(no reply)";
    unsigned n = unsigned((unsigned char)len[0]) << 8 | (unsigned char)len[1];
    return len + recvn(fd, n);
}

bytes init(const std::string &options) { return N(1) + S(options); }
bytes snap(unsigned nr, const std::string &options) { return N(3) + N(nr) + (options.empty() ? N(0) : S(options)); }
bytes header(unsigned x, unsigned y, unsigned w, unsigned h, unsigned d) {
    return B({1}) + N(x) + N(y) + N(w) + N(h) + N(d);
}
bytes identitylut() {
    bytes lut;
    for (int i = 0; i < 256; ++i) lut += char(i);
    return lut;
}

const bytes OK = B({1}), FAIL = B({0});

TEST(ServerCommandLine, WrongArgumentCountExitsAtOnceWithoutReading) {
    for (const std::vector<std::string> &argv :
         {std::vector<std::string>{REMOTECAMD}, std::vector<std::string>{REMOTECAMD, "/tmp", "/tmp"}}) {
        int sv[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv), 0);
        ASSERT_TRUE(sendall(sv[0], N(4)));
        pid_t pid = spawn(argv, sv[1], -1);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(waitstatus(pid), 255);
        // the request is still there, unread, and was not answered
        EXPECT_EQ(recvn(sv[1], 2, 1000), N(4));
        EXPECT_TRUE(silent(sv[0], 0));
        close(sv[0]);
        close(sv[1]);
    }
}

TEST_F(Server, WithoutModuleEveryCameraRequestFailsWithItsText) {
    int fd = client();
    // before any failure there is no module to ask
    EXPECT_EQ(errortext(fd), S("camerror not available"));
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(errortext(fd), N(17) + "no camera loaded" + Z);
    // the text stays for a second request 0
    EXPECT_EQ(errortext(fd), S("no camera loaded"));
    EXPECT_EQ(ask(fd, snap(0, ""), 1), FAIL);
    EXPECT_EQ(ask(fd, N(5), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("no camera loaded"));
    EXPECT_EQ(ask(fd, N(6) + identitylut(), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("no camera loaded"));
    EXPECT_TRUE(silent(fd, 100));
    close(fd);
}

TEST_F(Server, UnknownCodesGetNoReplyAndServingGoesOn) {
    int fd = client();
    EXPECT_TRUE(sendall(fd, N(9) + N(7) + N(0xffff)));
    EXPECT_TRUE(silent(fd, 200));
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_TRUE(silent(fd, 100));
    close(fd);
}

TEST_F(Server, InitNeedsACameraOptionOfAtMost15Characters) {
    int fd = client();
    EXPECT_EQ(ask(fd, N(1) + N(0), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("[camera] has to be specified"));
    EXPECT_EQ(ask(fd, init("cameras=2"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("[camera] has to be specified"));
    EXPECT_EQ(ask(fd, init("camera=abcdefghijklmnop"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("[camera] has to be specified"));
    EXPECT_EQ(ask(fd, init("camera=nosuchcamera"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("LoadLibrary, can't load camera module"));
    EXPECT_EQ(ask(fd, init("camera=simcamnolut"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("GetProcAddress, can't bind functions"));
    // nothing stays loaded after those
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("no camera loaded"));
    close(fd);
}

TEST_F(Server, ModuleNamesThatLeaveTheDirectoryAreRefusedAndNothingIsLoaded) {
    int fd = client();
    for (const char *name : {"../outside", "..", "a/b", "/tmp/x", "a\\b", "sim..cam", "simcam;", "sim%cam"}) {
        EXPECT_EQ(ask(fd, init(std::string("camera=") + name), 1), FAIL) << name;
        EXPECT_EQ(errortext(fd), S("camera name must be a plain module name")) << name;
        EXPECT_EQ(ask(fd, N(4), 1), FAIL) << name;
        EXPECT_EQ(errortext(fd), S("no camera loaded")) << name;
    }
    // an empty name ("camera=" before a blank) is no module name either
    EXPECT_EQ(ask(fd, init("camera= x"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("camera name must be a plain module name"));
    // a NUL inside the string ends it: what follows is not part of the name
    EXPECT_EQ(ask(fd, N(1) + N(21) + "camera=simcam" + Z + "/../out", 1), OK);
    close(fd);
}

TEST_F(Server, OptionStringsUpTo1024BytesAreTakenLongerOnesReadAndRefused) {
    int fd = client();
    std::string fits = "camera=simcam" + std::string(1023 - 13, ' ');
    std::string toolong = fits + " ";
    EXPECT_EQ(ask(fd, init(toolong), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("can't get option string"));
    // the refused bytes were consumed: the stream is still in step
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("no camera loaded"));
    // the largest announced length is read and discarded too
    EXPECT_EQ(ask(fd, N(1) + N(65535) + bytes(65535, 'x'), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("can't get option string"));
    EXPECT_EQ(ask(fd, init(fits), 1), OK);
    close(fd);
}

TEST_F(Server, SimulatedCameraSessionByteByByte) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=simcam cameras=2"), 1), OK);
    // no image before a header
    EXPECT_EQ(ask(fd, N(5), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("unkown image format"));
    // the module's own failures come from its camerror
    EXPECT_EQ(ask(fd, snap(2, ""), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("camera not connected"));
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("no image queued"));
    // camera numbers are signed: 0xffff is -1
    EXPECT_EQ(ask(fd, snap(0xffff, ""), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("cam nr must be between 0 and 9"));

    // grey X + 16 Y + nr, region 3 x 2 at (1, 2) of camera 1, border zero
    EXPECT_EQ(ask(fd, snap(1, "Width=3 Height=2 OffsetX=1 OffsetY=2"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(1, 2, 3, 2, 8));
    bytes grey = B({0, 0, 0, 0, 0,  //
                    0, 34, 35, 36, 0, 0, 50, 51, 52, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(show(ask(fd, N(5), 1 + 20)), show(OK + grey));
    EXPECT_TRUE(silent(fd, 100));

    // colour: red 10 X + nr, green 10 Y + nr, blue 5 (X + Y) + nr
    EXPECT_EQ(ask(fd, snap(0, "PixelFormat=RGB8Packed Width=2 Height=1 OffsetX=3 OffsetY=4"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(3, 4, 2, 1, 24));
    EXPECT_EQ(show(ask(fd, N(5), 7)), show(OK + B({30, 40, 35, 40, 40, 40})));

    // binary: 1 where X + 16 Y >= 128; 10 pixels of row 8 (128 ... 137)
    // and row 7 (112 ... 121), bit 0 leftmost, two bytes per row
    EXPECT_EQ(ask(fd, snap(0, "PixelFormat=Mono1 Width=10 Height=2 OffsetX=0 OffsetY=7"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(0, 7, 10, 2, 1));
    EXPECT_EQ(show(ask(fd, N(5), 5)), show(OK + B({0, 0, 0xff, 0x03})));

    // a lookup table is applied by the camera
    bytes lut = identitylut();
    lut[34] = char(200);
    EXPECT_EQ(ask(fd, N(6) + lut, 1), OK);
    EXPECT_EQ(ask(fd, snap(1, "PixelFormat=Mono8 Width=3 Height=2 OffsetX=1 OffsetY=2"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(1, 2, 3, 2, 8));
    grey[6] = char(200);
    EXPECT_EQ(show(ask(fd, N(5), 21)), show(OK + grey));

    // request 2: no reply, the connection ends
    EXPECT_TRUE(sendall(fd, N(2)));
    EXPECT_TRUE(closedbypeer(fd));
    close(fd);
}

TEST_F(Server, A640By480GreyImageIsExactly642By482Bytes) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("SensorWidth=640 camera=simcam SensorHeight=480"), 1), OK);
    EXPECT_EQ(ask(fd, snap(0, ""), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(0, 0, 640, 480, 8));
    bytes image = ask(fd, N(5), 1 + 642 * 482);
    ASSERT_EQ(image.size(), 1u + 642 * 482);
    EXPECT_EQ(image[0], 1);
    size_t wrong = 0;
    for (size_t y = 0; y < 482; ++y)
        for (size_t x = 0; x < 642; ++x) {
            bool border = x == 0 || y == 0 || x == 641 || y == 481;
            unsigned char want = border ? 0 : (unsigned char)((x - 1) + 16 * (y - 1));
            wrong += (unsigned char)image[1 + y * 642 + x] != want;
        }
    EXPECT_EQ(wrong, 0u);
    // nothing more follows: the next reply is the next request's
    EXPECT_TRUE(silent(fd, 100));
    EXPECT_EQ(ask(fd, N(4), 11), header(0, 0, 640, 480, 8));
    close(fd);
}

TEST_F(Server, TheModuleGetsTheOptionsWithoutCameraAndAnEmptySnapString) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=oddcam"), 1), OK);
    // the module's printing on standard output did not reach the client
    EXPECT_TRUE(silent(fd, 100));
    EXPECT_EQ(ask(fd, snap(0xfffe, ""), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("caminit got [], camsnap got -2 []"));
    EXPECT_EQ(ask(fd, init("X=1  CAMERA=oddcam \t Width=5 xcamera=y"), 1), OK);
    EXPECT_EQ(ask(fd, snap(7, "a b"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("caminit got [X=1  Width=5 x], camsnap got 7 [a b]"));
    close(fd);
}

TEST_F(Server, ErrorTextsLongerThanTheProtocolCarriesAreCut) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=oddcam"), 1), OK);
    EXPECT_EQ(ask(fd, snap(0, "long"), 1), FAIL);
    EXPECT_EQ(errortext(fd), N(256) + std::string(255, 'L') + Z);
    close(fd);
}

TEST_F(Server, HeadersARepliesCannotCarryAreRefused) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=oddcam Width=70000 Height=2"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("image header out of range"));
    EXPECT_EQ(ask(fd, N(5), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("unkown image format"));
    EXPECT_EQ(ask(fd, init("camera=oddcam X=-1"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 1), FAIL);
    EXPECT_EQ(ask(fd, init("camera=oddcam Depth=12"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(0, 0, 3, 2, 12));
    EXPECT_EQ(ask(fd, N(5), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("unkown image format"));
    // the largest header that fits, depth 1: (65535 + 7) / 8 * 1 bytes
    EXPECT_EQ(ask(fd, init("camera=oddcam X=65535 Y=65535 Width=65535 Height=1 Depth=1"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(65535, 65535, 65535, 1, 1));
    EXPECT_EQ(ask(fd, N(5), 1 + 8192), OK + bytes(8192, char(0xAB)));
    close(fd);
}

TEST_F(Server, TheGreyBorderGoesOutAsZerosAndLutBytesArriveIntact) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=oddcam Width=3 Height=2"), 1), OK);
    EXPECT_EQ(ask(fd, N(4), 11), header(0, 0, 3, 2, 8));
    bytes in(3, char(0xAB));
    EXPECT_EQ(show(ask(fd, N(5), 21)), show(OK + bytes(5, 0) + Z + in + Z + Z + in + Z + bytes(5, 0)));
    bytes reversed;
    for (int i = 0; i < 256; ++i) reversed += char(255 - i);
    EXPECT_EQ(ask(fd, N(6) + reversed, 1), OK);
    EXPECT_EQ(ask(fd, N(6) + identitylut(), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("lut entry 0 is 0"));
    close(fd);
}

TEST_F(Server, ASecondInitReplacesTheModule) {
    int fd = client();
    EXPECT_EQ(ask(fd, init("camera=simcam"), 1), OK);
    EXPECT_EQ(ask(fd, init("camera=oddcam"), 1), OK);
    EXPECT_EQ(ask(fd, snap(0, ""), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("caminit got [], camsnap got 0 []"));
    EXPECT_EQ(ask(fd, init("camera=simcam Cameras=11"), 1), FAIL);
    EXPECT_EQ(errortext(fd), S("Cameras=1..10"));
    close(fd);
}

// Clients that break off: truncated requests, junk, a client that goes
// away in the middle of a large reply. Each server process must end with
// status 0 (checked for all of them when the test ends).
TEST_F(Server, BrokenOffClientsEndTheServerCleanly) {
    const bytes cut[] = {
        B({0}),                           // half a code
        N(1) + B({0}),                    // half a length
        N(1) + N(20) + "camera=si",       // half a string
        N(3) + B({0}),                    // half a camera number
        N(3) + N(0) + N(5) + "ab",        // half a snap string
        N(6) + bytes(100, 'x'),           // a partial table
        bytes("\x13\x37junk\xff\xfe\x00\x05", 10),
    };
    for (const bytes &request : cut) {
        int fd = client();
        EXPECT_TRUE(sendall(fd, request));
        shutdown(fd, SHUT_WR);
        EXPECT_TRUE(endsafter(fd)) << show(request);
        close(fd);
    }
    // Gone before the reply (the server's second send then meets a reset
    // connection) or in the middle of a 48 MB reply: the sends fail, and
    // the server must end without being killed by SIGPIPE.
    for (bool partly : {false, true}) {
        int fd = client();
        EXPECT_EQ(ask(fd, init("camera=simcam SensorWidth=4096 SensorHeight=4096"), 1), OK);
        EXPECT_EQ(ask(fd, snap(0, "PixelFormat=RGB8Packed"), 1), OK);
        EXPECT_EQ(ask(fd, N(4), 11), header(0, 0, 4096, 4096, 24));
        EXPECT_TRUE(sendall(fd, N(5)));
        if (partly) {
            EXPECT_EQ(recvn(fd, 1000).size(), 1000u);
        }
        close(fd);
    }
}

}  // namespace
