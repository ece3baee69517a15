// Image files: the native format's bytes, its failures and the write
// through a temporary; binding of the native routines and of modules (the
// example module pgm and the deliberately incomplete module).
#include "tests/unit/imatest.h"
#include "image/intern.h"
#include "image/io.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> readall(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeall(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

struct IoTest : ImageFileTest {
    // Writes one image through the bound filter.
    bool save(const std::string &name, int x0, int y0, int w, int h, int depth,
              const std::vector<uint8_t> &block) {
        return filter.filterfopen(name.c_str(), true) &&
               filter.filterwriteheader(x0, y0, w, h, depth, nullptr) &&
               filter.filterwritedata(block.data());
    }
};

std::string failure(void (*fn)(const char *), const char *arg) {
    try {
        fn(arg);
    } catch (const ImaFailure &e) {
        return e.what();
    }
    return "";
}

TEST_F(IoTest, NativeFileBytes) {
    loadfilter(nullptr);
    EXPECT_FALSE(filterok());
    // 3 x 2 grey at (5, 7): 9 header bytes, then 4 rows of 5 with the border.
    std::vector<uint8_t> grey(20);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 13);
    ASSERT_TRUE(save(path("g.ima"), 5, 7, 3, 2, 8, grey));
    std::vector<uint8_t> expect = {5, 0, 7, 0, 3, 0, 2, 0, 8};
    expect.insert(expect.end(), grey.begin(), grey.end());
    EXPECT_EQ(readall(path("g.ima")), expect);
    // 10 x 1 binary: 2 data bytes. Colour 2 x 1 at (300, 0): 6 data bytes.
    ASSERT_TRUE(save(path("b.ima"), 0, 0, 10, 1, 1, {0xA5, 0x03}));
    EXPECT_EQ(readall(path("b.ima")), (std::vector<uint8_t>{0, 0, 0, 0, 10, 0, 1, 0, 1, 0xA5, 3}));
    ASSERT_TRUE(save(path("c.ima"), 300, 0, 2, 1, 24, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(readall(path("c.ima")),
              (std::vector<uint8_t>{0x2C, 1, 0, 0, 2, 0, 1, 0, 24, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(entries().size(), 3u);   // no temporaries left behind

    // Reading back: the header and the exact block.
    int x0, y0, w, h, depth;
    ASSERT_TRUE(filter.filterfopen(path("g.ima").c_str(), false));
    ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, "ignored"));
    EXPECT_EQ((std::vector<int>{x0, y0, w, h, depth}), (std::vector<int>{5, 7, 3, 2, 8}));
    std::vector<uint8_t> back(20, 0xEE);
    ASSERT_TRUE(filter.filterreaddata(back.data()));
    EXPECT_EQ(back, grey);
}

TEST_F(IoTest, NativeHeaderFieldsAreSignExtended) {
    loadfilter("");
    // x0 = -2, width 0x8001 (negative), depth 200: returned for the caller to refuse.
    writeall(path("odd.ima"), {0xFE, 0xFF, 1, 0, 0x01, 0x80, 1, 0, 200});
    int x0, y0, w, h, depth;
    ASSERT_TRUE(filter.filterfopen(path("odd.ima").c_str(), false));
    ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    EXPECT_EQ((std::vector<int>{x0, y0, w, h, depth}), (std::vector<int>{-2, 1, -32767, 1, 200}));
}

TEST_F(IoTest, NativeReadFailures) {
    loadfilter(nullptr);
    int x0, y0, w, h, depth;
    EXPECT_FALSE(filter.filterfopen(path("missing.ima").c_str(), false));
    EXPECT_STREQ(filter.filtererror(), "open error");
    // Empty file and a header cut in the middle of the depth byte.
    for (auto bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>{1, 0, 1, 0, 4, 0, 4, 0}}) {
        writeall(path("short.ima"), bytes);
        ASSERT_TRUE(filter.filterfopen(path("short.ima").c_str(), false));
        EXPECT_FALSE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
        EXPECT_STREQ(filter.filtererror(), "read error");
    }
    // A header announcing 4096 x 4096 colour with 3 data bytes behind it is
    // refused at the header, before anything would be allocated for it.
    writeall(path("huge.ima"), {0, 0, 0, 0, 0, 0x10, 0, 0x10, 24, 1, 2, 3});
    ASSERT_TRUE(filter.filterfopen(path("huge.ima").c_str(), false));
    EXPECT_FALSE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    EXPECT_STREQ(filter.filtererror(), "read error");
    // One byte short of a 2 x 2 colour block.
    writeall(path("cut.ima"), {0, 0, 0, 0, 2, 0, 2, 0, 24, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
    ASSERT_TRUE(filter.filterfopen(path("cut.ima").c_str(), false));
    EXPECT_FALSE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    // A pipe has no size to check in advance: the header arrives, the data
    // stops after one of two rows, and the data read fails (a partly read
    // image would keep undefined pixels).
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    std::thread writer([this] {
        writeall(path("pipe"), {0, 0, 0, 0, 1, 0, 2, 0, 24, 1, 2, 3, 4});
    });
    ASSERT_TRUE(filter.filterfopen(path("pipe").c_str(), false));
    ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    std::vector<uint8_t> block(6);
    EXPECT_FALSE(filter.filterreaddata(block.data()));
    EXPECT_STREQ(filter.filtererror(), "read error");
    writer.join();
    // Bytes behind the block are ignored.
    writeall(path("tail.ima"), {0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 99, 99});
    ASSERT_TRUE(filter.filterfopen(path("tail.ima").c_str(), false));
    ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    uint8_t bit = 0;
    EXPECT_TRUE(filter.filterreaddata(&bit));
    EXPECT_EQ(bit, 1);
}

TEST_F(IoTest, FailedWritesLeaveNoHalfFile) {
    loadfilter(nullptr);
    writeall(path("keep.ima"), {42});
    // Header written, data never: closing abandons the write.
    ASSERT_TRUE(filter.filterfopen(path("keep.ima").c_str(), true));
    ASSERT_TRUE(filter.filterwriteheader(0, 0, 1, 1, 8, nullptr));
    freefilter();
    EXPECT_EQ(readall(path("keep.ima")), std::vector<uint8_t>{42});
    // An origin the 16-bit field cannot hold is refused, not truncated.
    loadfilter(nullptr);
    ASSERT_TRUE(filter.filterfopen(path("far.ima").c_str(), true));
    EXPECT_FALSE(filter.filterwriteheader(40000, 0, 1, 1, 8, nullptr));
    EXPECT_STREQ(filter.filtererror(), "write error, origin or size out of range");
    freefilter();
    EXPECT_EQ(entries(), std::vector<std::string>{"keep.ima"});
    // A directory that does not exist.
    loadfilter(nullptr);
    EXPECT_FALSE(filter.filterfopen(path("no/such/dir.ima").c_str(), true));
    EXPECT_STREQ(filter.filtererror(), "open error");
}

TEST_F(IoTest, ModuleBinding) {
    EXPECT_EQ(failure(loadfilter, "no-such-filter-module"), "can't load filter module");
    EXPECT_FALSE(filterok());
    EXPECT_EQ(filter.filterfopen, nullptr);

    std::string incomplete = exedir() + "/lib/incomplete";
    EXPECT_EQ(failure(loadfilter, incomplete.c_str()), "can't bind functions");
    EXPECT_TRUE(filterok());   // loaded with what was found
    EXPECT_NE(filter.filterfclose, nullptr);
    EXPECT_EQ(filter.filterreaddata, nullptr);
    freefilter();
    EXPECT_FALSE(filterok());
    EXPECT_EQ(filter.filterfclose, nullptr);

    // Only the first 123 characters of the name count: pad a path to the
    // module to exactly 123 characters with "/." and put junk behind.
    std::string name = exedir() + "/lib";
    if ((123 - name.size() - 4) % 2) name += "/";
    while (name.size() < 123 - 4) name += "/.";
    name += "/pgm";
    ASSERT_EQ(name.size(), 123u);
    std::string longname = name + std::string(77, 'x');
    loadfilter(longname.c_str());
    EXPECT_TRUE(filterok());
    EXPECT_STREQ(filter.filtererror(), "pgm: no error");
    // Binding the native routines unloads the module.
    loadfilter(nullptr);
    EXPECT_FALSE(filterok());
    EXPECT_EQ(filter.filterfopen, tvimafopen);
}

TEST_F(IoTest, PgmModuleRoundTrips) {
    loadfilter((exedir() + "/lib/pgm").c_str());
    ASSERT_TRUE(filterok());
    struct sample {
        int x0, y0, w, h, depth;
        std::vector<uint8_t> block;
    };
    // 11 x 2 binary (padding bits 0 in the block), 2 x 1 grey with its
    // border, 1 x 2 colour.
    std::vector<sample> samples = {
        {3, 4, 11, 2, 1, {0x81, 0x05, 0xFF, 0x02}},
        {0, 9, 2, 1, 8, {0, 0, 0, 0, 0, 17, 200, 0, 0, 0, 0, 0}},
        {7, 0, 1, 2, 24, {1, 2, 3, 250, 251, 252}},
    };
    for (const sample &s : samples) {
        ASSERT_TRUE(save(path("s.pnm"), s.x0, s.y0, s.w, s.h, s.depth, s.block));
        int x0, y0, w, h, depth;
        ASSERT_TRUE(filter.filterfopen(path("s.pnm").c_str(), false));
        ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
        EXPECT_EQ((std::vector<int>{x0, y0, w, h, depth}),
                  (std::vector<int>{s.x0, s.y0, s.w, s.h, s.depth}));
        std::vector<uint8_t> back(s.block.size(), 0x5A);
        ASSERT_TRUE(filter.filterreaddata(back.data()));
        EXPECT_EQ(back, s.block) << "depth " << s.depth;
    }
    // PBM stores the leftmost pixel in the high bit.
    ASSERT_TRUE(save(path("one.pbm"), 0, 0, 3, 1, 1, {0x01}));
    std::vector<uint8_t> pbm = readall(path("one.pbm"));
    ASSERT_FALSE(pbm.empty());
    EXPECT_EQ(pbm.back(), 0x80);

    int x0, y0, w, h, depth;
    writeall(path("text.pgm"), {'P', '2', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', '7'});
    ASSERT_TRUE(filter.filterfopen(path("text.pgm").c_str(), false));
    EXPECT_FALSE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    EXPECT_STREQ(filter.filtererror(), "pgm: not a binary PBM, PGM or PPM file");
    // A regular file shorter than its header promises fails at the header,
    // before the host changes anything; one byte more is enough.
    std::vector<uint8_t> shortpgm = {'P', '5', ' ', '2', ' ', '2', ' ', '2', '5', '5', '\n', 1, 2, 3};
    writeall(path("short.pgm"), shortpgm);
    ASSERT_TRUE(filter.filterfopen(path("short.pgm").c_str(), false));
    EXPECT_FALSE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    EXPECT_STREQ(filter.filtererror(), "pgm: short pixel data");
    shortpgm.push_back(4);
    writeall(path("short.pgm"), shortpgm);
    ASSERT_TRUE(filter.filterfopen(path("short.pgm").c_str(), false));
    EXPECT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    // A pipe cannot be measured in advance: the data read fails instead.
    ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
    std::thread writer([&] {
        std::vector<uint8_t> cut(shortpgm.begin(), shortpgm.end() - 1);
        writeall(path("pipe"), cut);
    });
    ASSERT_TRUE(filter.filterfopen(path("pipe").c_str(), false));
    ASSERT_TRUE(filter.filterreadheader(&x0, &y0, &w, &h, &depth, nullptr));
    std::vector<uint8_t> block(16);
    EXPECT_FALSE(filter.filterreaddata(block.data()));
    EXPECT_STREQ(filter.filtererror(), "pgm: short pixel data");
    writer.join();
}

}  // namespace
