// Benchmark of the remote camera on loopback: CAMSNAP + CAMREAD (camsnap,
// camreadheader, camreaddata) of a 1024 x 1024 grey and a 4096 x 4096
// colour frame of the simulated camera through remotecam and remotecamd,
// beside the same calls on simcam loaded in-process and the plain transfer
// of the same number of bytes over a loopback TCP connection (a 2-byte
// request answered by the bytes, as the protocol does it).
//
// The remote layer's cost is remote - local: it must stay within
// 1.5 x plain + 1 ms. remotecamd runs as a super-server would start it:
// one process per accepted connection, the connection on its standard
// input and output.
//
// Usage: remote_bench [ROUNDS]   (best and median of ROUNDS, default 15)
#include "image/camera.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

[[noreturn]] void die(const std::string &what) {
    fprintf(stderr, "remote_bench: %s\n", what.c_str());
    exit(1);
}

camerabinding load(const char *path) {
    void *dll = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    camerabinding b{};
    if (!dll || !bindcamera(dll, b)) die(std::string("can't load ") + path);
    return b;
}

int listenlocal(unsigned &port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, (sockaddr *)&a, len) || listen(fd, 4) || getsockname(fd, (sockaddr *)&a, &len))
        die("listen on 127.0.0.1");
    port = ntohs(a.sin_port);
    return fd;
}

// A one-connection super-server: accepts, starts remotecamd on the
// connection, waits for it.
void superserver(int listener) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) die("accept");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fd, 0);
    posix_spawn_file_actions_adddup2(&fa, fd, 1);
    char *argv[] = {const_cast<char *>(REMOTECAMD), const_cast<char *>(MODULE_DIR), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, REMOTECAMD, &fa, nullptr, argv, environ) != 0) die("spawn remotecamd");
    posix_spawn_file_actions_destroy(&fa);
    close(fd);
    waitpid(pid, nullptr, 0);
}

struct stats {
    double best, median;
};

template <typename F>
stats timeit(int rounds, F &&once) {
    std::vector<double> t;
    once();  // warm-up: buffers allocated, pages touched
    for (int i = 0; i < rounds; ++i) {
        double t0 = now_ms();
        once();
        t.push_back(now_ms() - t0);
    }
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2]};
}

// snap + header + data through the module b.
void grab(camerabinding &b, const char *options, std::vector<unsigned char> &buffer) {
    int x, y, w, h, d;
    if (!b.camsnap(0, options) || !b.camreadheader(&x, &y, &w, &h, &d)) die(b.camerror());
    size_t size = d == 8 ? size_t(w + 2) * (h + 2) : d == 24 ? size_t(3) * w * h : size_t(w + 7) / 8 * h;
    if (buffer.size() < size) buffer.resize(size);
    if (!b.camreaddata(buffer.data())) die(b.camerror());
}

// The plain transfer: a peer that answers every 2-byte request with n bytes.
struct plainpeer {
    int client = -1;
    std::thread thread;
    size_t n;
    explicit plainpeer(size_t bytes) : n(bytes) {
        unsigned port;
        int listener = listenlocal(port);
        thread = std::thread([listener, this] {
            int fd = accept(listener, nullptr, nullptr);
            int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::vector<unsigned char> data(n + 1, 7);
            char req[2];
            while (recv(fd, req, 2, MSG_WAITALL) == 2) {
                for (size_t done = 0; done < data.size();) {
                    ssize_t k = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
                    if (k <= 0) break;
                    done += size_t(k);
                }
            }
            close(fd);
            close(listener);
        });
        client = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(client, (sockaddr *)&a, sizeof a)) die("connect");
        int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    ~plainpeer() {
        close(client);
        thread.join();
    }
    void once(std::vector<unsigned char> &buffer) {
        if (buffer.size() < n + 1) buffer.resize(n + 1);
        if (send(client, "\0\5", 2, 0) != 2) die("send");
        for (size_t got = 0; got < n + 1;) {
            ssize_t k = recv(client, buffer.data() + got, n + 1 - got, 0);
            if (k <= 0) die("recv");
            got += size_t(k);
        }
    }
};

}  // namespace

int main(int argc, char **argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 15;
    if (rounds < 1) rounds = 1;
    camerabinding local = load(MODULE_DIR "/simcam.so");
    camerabinding remote = load(MODULE_DIR "/remotecam.so");
    const char *sensor = "SensorWidth=4096 SensorHeight=4096";
    if (!local.caminit(sensor)) die(local.camerror());
    unsigned port;
    int listener = listenlocal(port);
    std::thread server(superserver, listener);
    std::string options = "host=127.0.0.1 service=" + std::to_string(port) + " camera=simcam " + sensor;
    if (!remote.caminit(options.c_str())) die(remote.camerror());

    struct frame {
        const char *name, *options;
        size_t bytes;
    } frames[] = {
        {"1024 x 1024 grey", "PixelFormat=Mono8 Width=1024 Height=1024", size_t(1026) * 1026},
        {"4096 x 4096 colour", "PixelFormat=RGB8Packed Width=4096 Height=4096", size_t(3) * 4096 * 4096},
    };
    printf("remote camera on loopback, best (median) of %d rounds, ms\n", rounds);
    printf("| frame | bytes | local simcam | remote | plain TCP | remote - local | limit 1.5 x plain + 1 | within |\n");
    printf("|---|---:|---:|---:|---:|---:|---:|---|\n");
    bool allwithin = true;
    for (const frame &f : frames) {
        std::vector<unsigned char> buffer;
        stats l = timeit(rounds, [&] { grab(local, f.options, buffer); });
        stats r = timeit(rounds, [&] { grab(remote, f.options, buffer); });
        plainpeer peer(f.bytes);
        stats p = timeit(rounds, [&] { peer.once(buffer); });
        double cost = r.best - l.best, limit = 1.5 * p.best + 1.0;
        bool within = cost <= limit;
        allwithin = allwithin && within;
        printf("| %s | %zu | %.2f (%.2f) | %.2f (%.2f) | %.2f (%.2f) | %.2f | %.2f | %s |\n", f.name, f.bytes,
               l.best, l.median, r.best, r.median, p.best, p.median, cost, limit, within ? "yes" : "NO");
    }
    remote.camfree();
    local.camfree();
    server.join();
    return allwithin ? 0 : 1;
}
