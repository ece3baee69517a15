// The GigE camera modules vimbacam and pvapicam through the host's loader,
// over the stand-in SDKs: each case chooses a scenario of simulated cameras
// and checks the module's answers, the pixels against the stand-in's frame
// content, and the SDK calls the stand-in recorded.
#include "image/camera.h"
#include "camera/cutil.h"
#include "tests/unit/imatest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using lines = std::vector<std::string>;

// What differs between the two modules, as the tests see it.
struct sdkcase {
    const char *module, *env, *logenv;
    const char *initerror, *optionlist, *formaterror;
    const char *binh, *offx, *offy, *payload;   // option keys, payload feature
    const char *bayer, *rgb;                    // pixel format names
    bool apidemosaic;                           // Bayer through the SDK's interpolation
    // call names as the stand-in records them
    const char *startup, *list, *open, *close, *command, *enumset, *intset, *intget, *queue;
    lines opening;                              // calls of the first camsnap
    lines closing;                              // calls that close camera 0
    // fail= words of the stand-in for each step
    const char *failadjust, *failcapture, *failannounce, *failqueue, *failwait;
};

const sdkcase Vimba = {
    "vimbacam", "VIMBA_STANDIN", "VIMBA_STANDIN_LOG", "initialize vimba",
    "options: PixelFormat,AcquisitionMode,Timeout,BinningHorizontal,BinningVertical,OffsetX,"
    "OffsetY,Width,Height",
    "PixelFormat=Mono8|BayerRG8|RGB8Packed", "BinningHorizontal", "OffsetX", "OffsetY",
    "PayloadSize", "BayerRG8", "RGB8Packed", false, "VmbStartup", "VmbCamerasList 10",
    "VmbCameraOpen", "VmbCameraClose", "VmbFeatureCommandRun", "VmbFeatureEnumSet",
    "VmbFeatureIntSet", "VmbFeatureIntGet", "VmbCaptureFrameQueue",
    {"VmbFeatureCommandRun GeVDiscoveryAllOnce", "VmbCamerasList 10",
     "VmbCameraOpen DEV_STANDIN_0 1", "VmbFeatureCommandRun GVSPAdjustPacketSize",
     "VmbCaptureStart", "VmbFeatureEnumGet PixelFormat", "VmbFeatureEnumGet AcquisitionMode",
     "VmbFeatureIntGet BinningHorizontal", "VmbFeatureIntGet BinningVertical",
     "VmbFeatureIntGet OffsetX", "VmbFeatureIntGet OffsetY", "VmbFeatureIntGet Width",
     "VmbFeatureIntGet Height", "VmbFeatureCommandRun AcquisitionStop", "VmbCaptureQueueFlush",
     "VmbFrameRevokeAll", "VmbFeatureIntGet PayloadSize", "VmbFrameAnnounce 48",
     "VmbCaptureFrameQueue", "VmbFeatureCommandRun AcquisitionStart"},
    {"VmbFeatureCommandRun AcquisitionStop", "VmbCaptureQueueFlush", "VmbFrameRevokeAll",
     "VmbCaptureEnd", "VmbCameraClose"},
    "VmbFeatureCommandRun:GVSPAdjustPacketSize", "VmbCaptureStart", "VmbFrameAnnounce",
    "VmbCaptureFrameQueue", "VmbCaptureFrameWait",
};

const sdkcase Pv = {
    "pvapicam", "PVAPI_STANDIN", "PVAPI_STANDIN_LOG", "initialize pvapi",
    "options: PixelFormat,AcquisitionMode,Timeout,BinningX,BinningY,RegionX,RegionY,Width,Height",
    "PixelFormat=Mono8|Bayer8|Rgb24", "BinningX", "RegionX", "RegionY", "TotalBytesPerFrame",
    "Bayer8", "Rgb24", true, "PvInitialize", "PvCameraListEx 10", "PvCameraOpen",
    "PvCameraClose", "PvCommandRun", "PvAttrEnumSet", "PvAttrUint32Set", "PvAttrUint32Get",
    "PvCaptureQueueFrame",
    {"PvCameraListEx 10 -> 1", "PvCameraOpen 1000 4", "PvAttrUint32Set GvcpRetries 100",
     "PvCaptureAdjustPacketSize 8228", "PvCaptureStart", "PvAttrEnumGet PixelFormat",
     "PvAttrEnumGet AcquisitionMode", "PvAttrUint32Get BinningX", "PvAttrUint32Get BinningY",
     "PvAttrUint32Get RegionX", "PvAttrUint32Get RegionY", "PvAttrUint32Get Width",
     "PvAttrUint32Get Height", "PvCommandRun AcquisitionStop", "PvCaptureQueueClear",
     "PvAttrUint32Get TotalBytesPerFrame", "PvCaptureQueueFrame", "PvCommandRun AcquisitionStart"},
    {"PvCommandRun AcquisitionStop", "PvCaptureQueueClear", "PvCaptureEnd", "PvCameraClose"},
    "PvCaptureAdjustPacketSize", "PvCaptureStart", nullptr, "PvCaptureQueueFrame",
    "PvCaptureWaitForFrameDone",
};

void PrintTo(const sdkcase &c, std::ostream *os) { *os << c.module; }

// The stand-in's frame content (see camera/standin/standin.h): sample c of
// the pixel at (X, Y) of frame k of camera K.
uint8_t ramp(int X, int Y, int k, int K, int c = 0) { return uint8_t((X + 3 * Y + 5 * k + 50 * K + 85 * c) & 255); }

struct header {
    int x = -1, y = -1, w = -1, h = -1, depth = -1;
    bool operator==(const header &) const = default;
};

struct PollBreak {};
int Polls;
void breakingpoll() {
    if (++Polls == 3) throw PollBreak{};
}

long msince(std::chrono::steady_clock::time_point t0) {
    using namespace std::chrono;
    return long(duration_cast<milliseconds>(steady_clock::now() - t0).count());
}

class Gige : public ::testing::TestWithParam<sdkcase> {
  protected:
    std::string dir, logpath;

    void SetUp() override {
        set_ima_error(throwerror);
        char tmpl[] = "/tmp/gigecamXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        logpath = dir + "/calls";
        setenv(P().logenv, logpath.c_str(), 1);
    }
    void TearDown() override {
        ima_poll = nullptr;
        freecamera();
        set_ima_error(default_error);
        unsetenv(P().env);
        unsetenv(P().logenv);
        remove(logpath.c_str());
        remove(dir.c_str());
    }
    const sdkcase &P() const { return GetParam(); }

    // Loads the module over the scenario and initialises it; the calls so
    // far are forgotten.
    void start(const std::string &scenario) {
        setenv(P().env, scenario.c_str(), 1);
        loadcamera(P().module);
        ASSERT_TRUE(camera.caminit(nullptr)) << camera.camerror();
        calls();
    }
    // The calls recorded since the last look.
    lines calls() {
        lines out;
        std::ifstream in(logpath);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        std::ofstream(logpath, std::ios::trunc);
        return out;
    }
    std::string snapfails(int nr, const char *options) {
        EXPECT_FALSE(camera.camsnap(nr, options));
        return camera.camerror();
    }
    void snap(int nr, const char *options = nullptr) {
        ASSERT_TRUE(camera.camsnap(nr, options)) << camera.camerror();
    }
    header readheader() {
        header hd;
        EXPECT_TRUE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth)) << camera.camerror();
        return hd;
    }
    // A buffer of the host's size for the header's depth, filled with fill.
    static std::vector<uint8_t> hostbuffer(const header &hd, uint8_t fill) {
        size_t n = hd.depth == 8 ? size_t(hd.w + 2) * size_t(hd.h + 2) : 3 * size_t(hd.w) * size_t(hd.h);
        return std::vector<uint8_t>(n, fill);
    }
    // Header and data of the armed frame.
    std::vector<uint8_t> read(header &hd) {
        hd = readheader();
        std::vector<uint8_t> data = hostbuffer(hd, 0xEE);
        EXPECT_TRUE(camera.camreaddata(data.data())) << camera.camerror();
        return data;
    }
    std::string call(const char *name, const std::string &arg) const { return std::string(name) + " " + arg; }
};

int count(const lines &l, const std::string &line) { return int(std::count(l.begin(), l.end(), line)); }
int countprefix(const lines &l, const std::string &prefix) {
    return int(std::count_if(l.begin(), l.end(), [&](const std::string &s) { return s.rfind(prefix, 0) == 0; }));
}

// ---------------------------------------------------- initialisation, freeing
TEST_P(Gige, FreeIsSafeWithoutInitAfterAFailedInitAndTwice) {
    loadcamera(P().module);
    camera.camfree();
    camera.camfree();
    EXPECT_TRUE(calls().empty()) << "no SDK calls without caminit";
    EXPECT_FALSE(camera.caminit("Width=5"));
    EXPECT_STREQ(camera.camerror(), "no options available");
    EXPECT_TRUE(calls().empty());
    // the SDK refuses to start: the module stays loaded and fails cleanly
    setenv(P().env, (std::string("fail=") + P().startup).c_str(), 1);
    EXPECT_FALSE(camera.caminit(" \t"));
    EXPECT_STREQ(camera.camerror(), P().initerror);
    EXPECT_EQ(snapfails(0, nullptr), P().initerror);
    header hd;
    EXPECT_FALSE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
    uint8_t byte = 0;
    EXPECT_FALSE(camera.camreaddata(&byte));
    EXPECT_STREQ(camera.camerror(), "no image queued");
    EXPECT_FALSE(camera.camlut(nullptr));
    EXPECT_STREQ(camera.camerror(), "function not implemented");
    camera.camfree();
    camera.camfree();
    lines l = calls();
    ASSERT_EQ(l.size(), 1u) << "no shut-down of an SDK that did not start";
    EXPECT_EQ(l[0].rfind(std::string(P().startup) + " -> ", 0), 0u) << l[0];
    // an invalid scenario also keeps the SDK from starting
    setenv(P().env, "cameras=17", 1);
    EXPECT_FALSE(camera.caminit(nullptr));
    EXPECT_STREQ(camera.camerror(), P().initerror);
}

TEST_P(Gige, SnapOptionsAndTheirErrors) {
    start("sensor=16x8");
    EXPECT_EQ(snapfails(10, nullptr), "cam nr must be between 0 and 9");
    EXPECT_EQ(snapfails(-1, nullptr), "cam nr must be between 0 and 9");
    EXPECT_EQ(snapfails(0, "Gain=3 XWidth=4"), P().optionlist);
    // a text value of 16 characters does not count as given
    EXPECT_EQ(snapfails(0, "PixelFormat=ABCDEFGHIJKLMNOP"), P().optionlist);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(snapfails(0, "PixelFormat=Mono12"), P().formaterror);
    EXPECT_EQ(snapfails(0, "acquisitionmode=Burst"), "AcquisitionMode=SingleFrame|Continuous");
    EXPECT_EQ(snapfails(0, (std::string(P().binh) + "=9").c_str()), "set new binning");
    EXPECT_EQ(snapfails(0, "Width=17"), "set new roi");
    EXPECT_EQ(snapfails(0, "Width=-5"), "set new roi");
    EXPECT_EQ(snapfails(0, (std::string(P().offy) + "=8").c_str()), "set new roi");
    // nothing was changed by the refusals: the whole sensor in Mono8
    snap(0, "Width=-1");
    header hd;
    read(hd);
    EXPECT_EQ(hd, (header{0, 0, 16, 8, 8}));
}

// ---------------------------------------------------------- finding a camera
TEST_P(Gige, OpeningAndSwitchingCameras) {
    start("cameras=2 sensor=8x6");
    snap(0);
    lines opening = P().opening;
    if (P().apidemosaic) opening[0] = "PvCameraListEx 10 -> 2";
    EXPECT_EQ(calls(), opening);
    // another number closes the open camera first
    snap(1);
    lines l = calls();
    ASSERT_GE(l.size(), P().closing.size());
    EXPECT_EQ(lines(l.begin(), l.begin() + long(P().closing.size())), P().closing);
    EXPECT_EQ(countprefix(l, std::string(P().open) + (P().apidemosaic ? " 1001" : " DEV_STANDIN_1")), 1);
    header hd;
    std::vector<uint8_t> g = read(hd);
    EXPECT_EQ(g[size_t(1 * 10 + 1)], ramp(0, 0, 0, 1));
}

TEST_P(Gige, CameraNotConnectedAfterAboutSevenAndAHalfSeconds) {
    start("cameras=1");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(snapfails(1, nullptr), "camera not connected");
    EXPECT_GE(msince(t0), 7500);
    lines l = calls();
    EXPECT_GE(countprefix(l, P().list), 2) << "the listing is retried";
    EXPECT_EQ(countprefix(l, P().open), 0);
    // the module stays usable
    snap(0);
}

TEST_P(Gige, ACameraThatAppearsLateIsFoundByTheRetries) {
    start("appear=600");
    snap(0);
    EXPECT_GE(countprefix(calls(), P().list), 2);
}

TEST_P(Gige, MoreThanTenCamerasConnected) {
    start("cameras=12 sensor=4x3");
    snap(9);
    header hd;
    std::vector<uint8_t> g = read(hd);
    EXPECT_EQ(g[size_t(2 * 6 + 3)], ramp(2, 1, 0, 9));
}

// ---------------------------------------------------------------- re-arming
TEST_P(Gige, ASnapWithinTimeoutReArmsOnlyWhenSomethingChanged) {
    start("sensor=8x6");
    snap(0, "Timeout=60000");
    header hd;
    read(hd);
    calls();
    snap(0, "Timeout=60000");
    EXPECT_TRUE(calls().empty()) << "the same options cost no camera traffic";
    snap(0, "AcquisitionMode=SingleFrame");
    EXPECT_EQ(calls(), lines({call(P().enumset, "AcquisitionMode SingleFrame")}));
    read(hd);
    calls();
    // a new region re-arms with a buffer of the new size
    snap(0, "Width=4");
    lines l = calls();
    EXPECT_EQ(count(l, call(P().intset, "Width 4")), 1);
    EXPECT_EQ(count(l, call(P().command, "AcquisitionStop")), 1);
    EXPECT_EQ(count(l, call(P().intget, P().payload)), 1);
    EXPECT_EQ(count(l, call(P().command, "AcquisitionStart")), 1);
    read(hd);
    EXPECT_EQ(hd, (header{0, 0, 4, 6, 8}));
    // once Timeout has passed the same options re-arm, without a new size
    snap(0, "Timeout=0");
    calls();
    Sleep(5);
    snap(0);
    l = calls();
    EXPECT_EQ(count(l, call(P().command, "AcquisitionStop")), 1);
    EXPECT_EQ(countprefix(l, P().queue), 1);
    EXPECT_EQ(count(l, call(P().intget, P().payload)), 0);
}

TEST_P(Gige, SingleFrameRestartsTheAcquisitionContinuousKeepsStreaming) {
    start("sensor=6x4");
    header hd;
    snap(0, "Timeout=60000");
    EXPECT_EQ(read(hd)[8 + 1], ramp(0, 0, 0, 0));
    calls();
    snap(0);
    EXPECT_EQ(read(hd)[8 + 1], ramp(0, 0, 1, 0)) << "the next frame";
    lines l = calls();
    EXPECT_EQ(countprefix(l, P().queue), 1);
    EXPECT_EQ(count(l, call(P().command, "AcquisitionStart")), 0);
    snap(0, "AcquisitionMode=SingleFrame");
    EXPECT_EQ(read(hd)[8 + 1], ramp(0, 0, 2, 0));
    snap(0);
    EXPECT_EQ(read(hd)[8 + 1], ramp(0, 0, 3, 0));
    l = calls();
    EXPECT_EQ(count(l, call(P().command, "AcquisitionStart")), 2) << "one restart per frame read";
}

TEST_P(Gige, WithoutTheRestartASingleFrameCameraDeliversNothingMore) {
    start(std::string("sensor=6x4 AcquisitionMode=SingleFrame fail=+1:") + P().command + ":AcquisitionStart");
    header hd;
    snap(0, "Timeout=100");
    hd = readheader();
    std::vector<uint8_t> g = hostbuffer(hd, 0);
    EXPECT_FALSE(camera.camreaddata(g.data()));
    EXPECT_STREQ(camera.camerror(), "restart acquisition");
    EXPECT_FALSE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
}

TEST_P(Gige, HeaderReadsStartThirtyThreeMillisecondsApart) {
    start("sensor=4x3");
    snap(0, "Timeout=60000");
    header hd;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) {
        read(hd);
        snap(0);
    }
    // the modules pace by a millisecond clock, so a pace may be up to 1 ms
    // shorter than 33 ms of a finer clock
    EXPECT_GE(msince(t0), 3 * 32) << "four reads, three paces between their starts";
}

// --------------------------------------------------------------- pixel data
TEST_P(Gige, Mono8FillsOnlyTheInnerPixels) {
    start("cameras=2 sensor=10x8");
    snap(1, (std::string(P().offx) + "=3 " + P().offy + "=2 Width=5 Height=4").c_str());
    header hd;
    std::vector<uint8_t> g = read(hd);
    EXPECT_EQ(hd, (header{3, 2, 5, 4, 8}));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x) {
            bool inner = x >= 1 && x <= 5 && y >= 1 && y <= 4;
            uint8_t want = inner ? ramp(3 + x - 1, 2 + y - 1, 0, 1) : 0xEE;
            EXPECT_EQ(g[size_t(y * 7 + x)], want) << x << "," << y;
        }
}

TEST_P(Gige, ColourFormatsAreDeliveredInTheHostLayout) {
    start("sensor=7x5");
    snap(0, (std::string("PixelFormat=") + P().rgb + " " + P().offx + "=1 Width=5 Height=3").c_str());
    header hd;
    std::vector<uint8_t> c = read(hd);
    EXPECT_EQ(hd, (header{1, 0, 5, 3, 24}));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(c[size_t(3 * (y * 5 + x) + ch)], ramp(1 + x, y, 0, 0, ch));
    // Bayer: a colour image of the same size
    snap(0, (std::string("PixelFormat=") + P().bayer).c_str());
    std::vector<uint8_t> b = read(hd);
    EXPECT_EQ(hd, (header{1, 0, 5, 3, 24}));
    std::vector<uint8_t> raw(15);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) raw[size_t(y * 5 + x)] = ramp(1 + x, y, 1, 0);
    std::vector<uint8_t> viadebayer(45);
    debayer(raw.data(), 5, 3, viadebayer.data());
    if (!P().apidemosaic) {
        EXPECT_EQ(b, viadebayer);
        return;
    }
    // the SDK's interpolation: red, mean green and blue of the 2 x 2 cell
    EXPECT_NE(b, viadebayer);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            int x0 = std::min(x & ~1, 3), y0 = std::min(y & ~1, 1);
            uint8_t *px = &b[size_t(3 * (y * 5 + x))];
            EXPECT_EQ(px[0], raw[size_t(y0 * 5 + x0)]) << x << "," << y;
            EXPECT_EQ(px[1], (raw[size_t(y0 * 5 + x0 + 1)] + raw[size_t((y0 + 1) * 5 + x0)] + 1) / 2);
            EXPECT_EQ(px[2], raw[size_t((y0 + 1) * 5 + x0 + 1)]);
        }
}

TEST_P(Gige, EveryBufferSizeCheck) {
    // frames larger than the payload the camera reports
    start(std::string("sensor=8x6 ") + P().payload + "=47");
    struct {
        std::string format;
        const char *error;
    } cases[] = {{"Mono8", "wrong roi or mono8 format"},
                 {P().bayer, "wrong roi or bayer8 format"},
                 {P().rgb, "wrong roi or rgb24 format"},
                 {"Mono16", "frame format not implemented"}};
    for (auto &c : cases) {
        snap(0, ("Timeout=60000 PixelFormat=" + c.format).c_str());
        header hd = readheader();
        std::vector<uint8_t> data = hostbuffer(hd, 0xEE);
        EXPECT_FALSE(camera.camreaddata(data.data()));
        EXPECT_EQ(camera.camerror(), std::string(c.error));
        EXPECT_EQ(data, hostbuffer(hd, 0xEE)) << "nothing written";
        calls();
        // the frame was not queued again: the next snap re-arms
        snap(0, "Timeout=60000");
        EXPECT_EQ(countprefix(calls(), P().queue), 1) << c.format;
    }
    // a payload of exactly w x h bytes is enough for Mono8 and Bayer
    freecamera();
    start(std::string("sensor=8x6 ") + P().payload + "=48");
    snap(0, (std::string("PixelFormat=") + P().bayer).c_str());
    header hd;
    read(hd);
    EXPECT_EQ(hd.depth, 24);
}

// ------------------------------------------------------------ failing calls
TEST_P(Gige, FailuresOfTheSdkGiveTheirTexts) {
    struct {
        std::string fail;
        const char *error;
    } cases[] = {
        {P().failadjust, "can't adjust packet size"},
        {P().failcapture, "start capture"},
        {std::string(P().intget) + ":Height", "get actual configuration"},
        {std::string(P().intget) + ":" + P().payload, "get bytes per frame"},
        {std::string(P().command) + ":AcquisitionStart", "start acquisition"},
    };
    for (auto &c : cases) {
        freecamera();
        start("fail=" + c.fail);
        EXPECT_EQ(snapfails(0, nullptr), c.error) << c.fail;
    }
    // failures after the opening close the camera again
    freecamera();
    start(std::string("fail=") + P().failcapture);
    snapfails(0, nullptr);
    EXPECT_EQ(count(calls(), P().closing.back()), 1);
    if (P().failannounce) {
        freecamera();
        start(std::string("fail=") + P().failannounce);
        EXPECT_EQ(snapfails(0, nullptr), "announce frame");
    } else {
        freecamera();
        start("fail=PvAttrUint32Set:GvcpRetries");
        EXPECT_EQ(snapfails(0, nullptr), "can't set gvcp retries");
        lines l = calls();
        EXPECT_EQ(count(l, "PvCameraOpen 1000 4"), 1) << "after it was opened";
        EXPECT_EQ(count(l, "PvCameraClose"), 1);
    }
    // the binning changes, then reading the region fails
    freecamera();
    start(std::string("sensor=8x6 fail=+1:") + P().intget + ":" + P().offx);
    EXPECT_EQ(snapfails(0, (std::string(P().binh) + "=2").c_str()), "get actual configuration");
}

TEST_P(Gige, FrameQueueAndWaitFailures) {
    // the queue is retried every 25 ms
    start(std::string("fail=3:") + P().failqueue);
    snap(0);
    EXPECT_EQ(countprefix(calls(), P().queue), 4);
    freecamera();
    // re-queueing after the read fails once
    start(std::string("fail=+1:") + P().failqueue);
    snap(0, "Timeout=60000");
    header hd = readheader();
    std::vector<uint8_t> g = hostbuffer(hd, 0);
    EXPECT_FALSE(camera.camreaddata(g.data()));
    EXPECT_STREQ(camera.camerror(), "requeue frame");
    EXPECT_FALSE(camera.camreaddata(g.data()));
    EXPECT_STREQ(camera.camerror(), "no image queued") << "a frame is read once";
    freecamera();
    start(std::string("fail=") + P().failwait);
    snap(0);
    EXPECT_FALSE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
    freecamera();
    // a frame later than Timeout
    start("framedelay=400");
    snap(0, "Timeout=100");
    EXPECT_FALSE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
    // a longer Timeout gets it
    snap(0, "Timeout=2000");
    read(hd);
}

TEST_P(Gige, QueueFrameGivesUpAfterAboutSevenAndAHalfSeconds) {
    start(std::string("fail=") + P().failqueue);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(snapfails(0, nullptr), "queue frame");
    EXPECT_GE(msince(t0), 7500);
}

TEST_P(Gige, RegionMovesAndResizesEitherWay) {
    start("sensor=8x6");
    snap(0, (std::string(P().offx) + "=5 Width=3").c_str());
    header hd;
    std::vector<uint8_t> g = read(hd);
    EXPECT_EQ(hd, (header{5, 0, 3, 6, 8}));
    EXPECT_EQ(g[size_t(5 + 1)], ramp(5, 0, 0, 0));
    snap(0, (std::string(P().offx) + "=0 Width=8").c_str());
    read(hd);
    EXPECT_EQ(hd, (header{0, 0, 8, 6, 8}));
    // binning halves the sensor: the region shrinks with it
    snap(0, (std::string(P().binh) + "=2").c_str());
    read(hd);
    EXPECT_EQ(hd, (header{0, 0, 4, 6, 8}));
}

// -------------------------------------------------------------- user breaks
TEST_P(Gige, AUserBreakStopsTheLongWaits) {
    start("cameras=0");
    Polls = 0;
    ima_poll = breakingpoll;
    EXPECT_THROW(camera.camsnap(0, nullptr), PollBreak);
    EXPECT_EQ(Polls, 3);
    ima_poll = nullptr;
    freecamera();
    // a frame that takes long in a long Timeout
    start("framedelay=100000000");
    snap(0, "Timeout=100000000");
    Polls = 0;
    ima_poll = breakingpoll;
    header hd;
    EXPECT_THROW(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth), PollBreak);
    ima_poll = nullptr;
    // the module is still in order
    snap(0, "Timeout=10");
    EXPECT_FALSE(camera.camreadheader(&hd.x, &hd.y, &hd.w, &hd.h, &hd.depth));
    EXPECT_STREQ(camera.camerror(), "no image queued");
}

INSTANTIATE_TEST_SUITE_P(Modules, Gige, ::testing::Values(Vimba, Pv),
                         [](const auto &test) { return std::string(test.param.module); });

}  // namespace
