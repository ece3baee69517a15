// Saving a file without destroying what its name points to; the rule is in
// savefile.h.
#include "image/savefile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum { MAXLINKS = 40 };

std::string dirpart(const std::string &path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash + 1);   // keeps the slash ("/" for the root)
}

// Follows symbolic links from name to the final target. False when a link
// cannot be read or there are too many; exists tells whether the target is
// there, st holds its lstat then.
bool resolve(const char *name, std::string &target, bool &exists, struct stat &st) {
    target = name;
    for (int links = 0; links <= MAXLINKS; ++links) {
        if (lstat(target.c_str(), &st) != 0) {
            exists = false;
            return errno == ENOENT;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            return true;
        }
        char buf[PATH_MAX];
        ssize_t n = readlink(target.c_str(), buf, sizeof buf);
        if (n <= 0 || size_t(n) >= sizeof buf) return false;
        std::string link(buf, size_t(n));
        target = link[0] == '/' ? link : dirpart(target) + link;
    }
    return false;
}

// Attaches a stream to fd; closes fd when that fails.
bool attach(savefile &s, int fd, const char *mode) {
    s.file = fdopen(fd, mode);
    if (!s.file) {
        close(fd);
        return false;
    }
    s.fd = fd;
    return true;
}

// A new file beside the target, O_EXCL so that nothing is ever reused. The
// name is cut so that the suffix always fits a file-name component. The
// counter is shared by the threads that save (the interpreter's, and the
// front end's for the display picture).
int createtemp(savefile &s) {
    static std::atomic<unsigned> counter;
    std::string dir = dirpart(s.target);
    std::string base = s.target.substr(dir.size(), 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        s.temp = dir + base + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        int fd = open(s.temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// The temporary takes over the old file's owner and group where permitted,
// then its mode (set-id bits only when the owner could be kept).
void keepattributes(int fd, const struct stat &old) {
    mode_t mode = old.st_mode & 07777;
    if (fchown(fd, old.st_uid, old.st_gid) != 0) mode &= 01777;
    fchmod(fd, mode);
}

bool copyall(FILE *from, int to) {
    if (fseek(from, 0, SEEK_SET) != 0 || lseek(to, 0, SEEK_SET) != 0) return false;
    char buf[65536];
    off_t total = 0;
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, from)) > 0) {
        for (size_t done = 0; done < n;) {
            ssize_t w = write(to, buf + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            done += size_t(w);
        }
        total += off_t(n);
    }
    return !ferror(from) && ftruncate(to, total) == 0;
}

}  // namespace

bool savebegin(savefile &s, const char *name) {
    savecancel(s);
    bool exists;
    struct stat st;
    if (!name || !*name || !resolve(name, s.target, exists, st)) return false;
    // A file we may not write is not replaced either.
    if (exists && S_ISREG(st.st_mode) && access(s.target.c_str(), W_OK) != 0) return false;
    if (!exists || (S_ISREG(st.st_mode) && st.st_nlink == 1)) {
        int fd = createtemp(s);
        if (fd >= 0) {
            if (exists) keepattributes(fd, st);
            s.mode = savefile::RENAME;
            if (attach(s, fd, "w+b")) return true;
            unlink(s.temp.c_str());
            return false;
        }
        // No temporary possible (a folder we may not write in): an existing
        // file is still rewritten in place below, a new one cannot be made.
        if (!exists || (errno != EACCES && errno != EPERM)) return false;
    }
    if (S_ISDIR(st.st_mode)) return false;
    if (S_ISREG(st.st_mode)) {
        // In place, from an anonymous temporary.
        s.mode = savefile::COPY;
        s.file = tmpfile();
        if (!s.file) return false;
        s.fd = fileno(s.file);
        return true;
    }
    // A device, a FIFO: written directly. A FIFO's open waits for a reader.
    int fd = open(s.target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat now;
    if (fstat(fd, &now) != 0 || S_ISREG(now.st_mode) || S_ISDIR(now.st_mode)) {
        close(fd);   // replaced by a file meanwhile: never written without a temporary
        return false;
    }
    s.mode = savefile::DIRECT;
    return attach(s, fd, "wb");
}

bool savecommit(savefile &s) {
    if (!s.file) return false;
    bool ok = fflush(s.file) == 0 && !ferror(s.file);
    if (ok && s.mode == savefile::COPY) {
        int to = open(s.target.c_str(), O_WRONLY | O_CLOEXEC);
        ok = to >= 0 && copyall(s.file, to);
        if (to >= 0) ok = close(to) == 0 && ok;
    }
    ok = fclose(s.file) == 0 && ok;
    s.file = nullptr;
    s.fd = -1;
    if (s.mode == savefile::RENAME) {
        if (ok) ok = rename(s.temp.c_str(), s.target.c_str()) == 0;
        if (!ok) unlink(s.temp.c_str());
    }
    return ok;
}

void savecancel(savefile &s) {
    if (!s.file) return;
    fclose(s.file);
    s.file = nullptr;
    s.fd = -1;
    if (s.mode == savefile::RENAME) unlink(s.temp.c_str());
}
