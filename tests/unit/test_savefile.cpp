// Saving without destroying: what each kind of name becomes after a save,
// a failed save and a cancelled one.
#include "tests/unit/imatest.h"
#include "image/savefile.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string readall(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeall(const std::string &path, const std::string &text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

struct stat lstatof(const std::string &path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

struct SaveTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        char tmpl[] = "/tmp/tavex-save-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    void TearDown() override {
        chmod(dir.c_str(), 0700);
        std::string cmd = "rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string path(const char *name) const { return dir + "/" + name; }
    std::vector<std::string> entries() const { return ::entries(dir); }
};

// Saves text under name; the result of savecommit.
bool save(const std::string &name, const std::string &text) {
    savefile out;
    if (!savebegin(out, name.c_str())) return false;
    EXPECT_EQ(fileno(out.file), out.fd);
    fputs(text.c_str(), out.file);
    return savecommit(out);
}

TEST_F(SaveTest, RegularFilesAreReplacedWholeKeepingModeAndOwner) {
    // A new name gets the usual mode of a new file.
    mode_t mask = umask(022);
    ASSERT_TRUE(save(path("new"), "one"));
    EXPECT_EQ(readall(path("new")), "one");
    EXPECT_EQ(lstatof(path("new")).st_mode & 07777, 0644u);
    umask(mask);
    // An existing file keeps its mode 640 (and its owner where permitted)
    // and is replaced, not rewritten: a reader holding the old one keeps it.
    writeall(path("old"), "previous contents");
    ASSERT_EQ(chmod(path("old").c_str(), 0640), 0);
    bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path("old").c_str(), 1234, 2345), 0);
    }
    std::ifstream holder(path("old"));
    ASSERT_TRUE(save(path("old"), "new"));
    struct stat st = lstatof(path("old"));
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ((std::vector<unsigned>{st.st_uid, st.st_gid}), (std::vector<unsigned>{1234, 2345}));
    }
    EXPECT_EQ(readall(path("old")), "new");
    std::string before((std::istreambuf_iterator<char>(holder)), std::istreambuf_iterator<char>());
    EXPECT_EQ(before, "previous contents");
    EXPECT_EQ(entries(), (std::vector<std::string>{"new", "old"}));   // no temporaries
    // The longest name a folder allows still gets its temporary.
    std::string longest(255, 'n');
    EXPECT_TRUE(save(dir + "/" + longest, "long"));
    EXPECT_TRUE(save(dir + "/" + longest, "longer"));
    EXPECT_EQ(readall(dir + "/" + longest), "longer");
}

TEST_F(SaveTest, FailuresLeaveTheOldFileIntact) {
    writeall(path("keep"), "old data");
    // Cancelled after writing.
    savefile out;
    ASSERT_TRUE(savebegin(out, path("keep").c_str()));
    fputs("half", out.file);
    savecancel(out);
    savecancel(out);   // harmless twice
    EXPECT_EQ(readall(path("keep")), "old data");
    // A write the system refuses (file size limit): commit reports it.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    sighandler_t prev = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool ok = save(path("keep"), std::string(100000, 'x'));
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, prev);
    EXPECT_FALSE(ok);
    EXPECT_EQ(readall(path("keep")), "old data");
    EXPECT_EQ(entries(), std::vector<std::string>{"keep"});
    // Names that cannot be written: nothing is created.
    mkdir(path("sub").c_str(), 0755);
    symlink("loop2", path("loop1").c_str());
    symlink("loop1", path("loop2").c_str());
    for (std::string bad : {std::string(), std::string("."), path("sub"), path("loop1"),
                            path("no/such/dir/f"), path("keep/x")}) {
        savefile s;
        EXPECT_FALSE(savebegin(s, bad.c_str())) << "'" << bad << "'";
        EXPECT_EQ(s.file, nullptr);
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"keep", "loop1", "loop2", "sub"}));
}

TEST_F(SaveTest, SymbolicLinksAreFollowedToTheirTarget) {
    mkdir(path("d").c_str(), 0755);
    writeall(path("d/target"), "old");
    ASSERT_EQ(chmod(path("d/target").c_str(), 0600), 0);
    // link2 -> d/link1 -> target (relative to d), and a dangling link.
    ASSERT_EQ(symlink("target", path("d/link1").c_str()), 0);
    ASSERT_EQ(symlink("d/link1", path("link2").c_str()), 0);
    ASSERT_EQ(symlink("d/created", path("dangling").c_str()), 0);
    ASSERT_TRUE(save(path("link2"), "through links"));
    EXPECT_TRUE(S_ISLNK(lstatof(path("link2")).st_mode));
    EXPECT_TRUE(S_ISLNK(lstatof(path("d/link1")).st_mode));
    EXPECT_EQ(readall(path("d/target")), "through links");
    EXPECT_EQ(lstatof(path("d/target")).st_mode & 07777, 0600u);
    ASSERT_TRUE(save(path("dangling"), "made"));
    EXPECT_TRUE(S_ISLNK(lstatof(path("dangling")).st_mode));
    EXPECT_EQ(readall(path("d/created")), "made");
    EXPECT_EQ(entries(), (std::vector<std::string>{"d", "dangling", "link2"}));
}

TEST_F(SaveTest, HardLinksAllSeeTheNewContents) {
    writeall(path("a"), "a long old content");
    ASSERT_EQ(link(path("a").c_str(), path("b").c_str()), 0);
    ino_t inode = lstatof(path("a")).st_ino;
    ASSERT_TRUE(save(path("a"), "short"));
    EXPECT_EQ(readall(path("a")), "short");
    EXPECT_EQ(readall(path("b")), "short");
    EXPECT_EQ(lstatof(path("b")).st_ino, inode);
    EXPECT_EQ(lstatof(path("a")).st_nlink, 2u);
    // A cancelled save writes nothing into the shared file.
    savefile out;
    ASSERT_TRUE(savebegin(out, path("b").c_str()));
    fputs("never", out.file);
    fflush(out.file);
    savecancel(out);
    EXPECT_EQ(readall(path("a")), "short");
    EXPECT_EQ(entries(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(SaveTest, DevicesAndFifosAreWrittenDirectly) {
    // A full device: the failure is reported and the device stays.
    ASSERT_EQ(symlink("/dev/full", path("full").c_str()), 0);
    for (const char *name : {"/dev/full", "full"}) {
        std::string p = name[0] == '/' ? name : path(name);
        EXPECT_FALSE(save(p, "data")) << name;
    }
    EXPECT_TRUE(S_ISCHR(lstatof("/dev/full").st_mode));
    EXPECT_TRUE(S_ISLNK(lstatof(path("full")).st_mode));
    EXPECT_TRUE(save("/dev/null", "data"));
    EXPECT_TRUE(S_ISCHR(lstatof("/dev/null").st_mode));
    // A FIFO: the reader gets the data, the FIFO stays a FIFO.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readall(path("fifo")); });
    EXPECT_TRUE(save(path("fifo"), "through the pipe"));
    reader.join();
    EXPECT_EQ(got, "through the pipe");
    EXPECT_TRUE(S_ISFIFO(lstatof(path("fifo")).st_mode));
    EXPECT_EQ(entries(), (std::vector<std::string>{"fifo", "full"}));
}

// Runs fn in a child process without privileges (as "nobody" when the
// tests run as root, since root may write anywhere); true when fn did.
bool unprivileged(const std::function<bool()> &fn) {
    pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// What permissions forbid: a read-only file is not replaced; a writable
// file in a folder where no temporary can be made is still saved, in place.
TEST_F(SaveTest, Permissions) {
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    writeall(path("ro"), "protected");
    writeall(path("rw"), "old");
    ASSERT_EQ(chmod(path("ro").c_str(), 0444), 0);
    ASSERT_EQ(chmod(path("rw").c_str(), 0666), 0);
    EXPECT_TRUE(unprivileged([&] { return !save(path("ro"), "x"); }));
    EXPECT_EQ(readall(path("ro")), "protected");
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    EXPECT_TRUE(unprivileged([&] { return save(path("rw"), "new") && !save(path("other"), "x"); }));
    EXPECT_EQ(readall(path("rw")), "new");
    EXPECT_EQ(lstatof(path("rw")).st_mode & 07777, 0666u);
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
    EXPECT_EQ(entries(), (std::vector<std::string>{"ro", "rw"}));
}

}  // namespace
