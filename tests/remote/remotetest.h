// Helpers of the remote camera tests: byte strings, raw loopback sockets
// with bounded waits, and a temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace remotetest {

using bytes = std::string;

// A byte string from numbers 0..255 and texts: B({0, 3}) + "abc" + Z.
inline bytes B(std::initializer_list<int> values) {
    bytes out;
    for (int v : values) out += char(v);
    return out;
}
inline const bytes Z(1, '\0');  // a NUL
// A 16-bit number, big-endian.
inline bytes N(unsigned v) { return B({int(v >> 8 & 0xff), int(v & 0xff)}); }
// A protocol string: its length counting the NUL, the text, the NUL.
inline bytes S(const std::string &text) { return N(unsigned(text.size() + 1)) + text + Z; }

// Readable form of a byte string for failure messages.
inline std::string show(const bytes &b) {
    std::string out;
    char hex[8];
    for (unsigned char c : b) {
        if (c >= 32 && c < 127 && c != '\\') out += char(c);
        else snprintf(hex, sizeof hex, "\\x%02x", c), out += hex;
    }
    return out;
}

inline bool sendall(int fd, const bytes &b) {
    size_t done = 0;
    while (done < b.size()) {
        ssize_t n = send(fd, b.data() + done, b.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Receives exactly n bytes, or fewer when the peer closes or nothing comes
// within timeout_ms.
inline bytes recvn(int fd, size_t n, int timeout_ms = 10000) {
    bytes out;
    out.reserve(n < (1u << 20) ? n : (1u << 20));
    char buf[65536];
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) break;
        size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        ssize_t got = recv(fd, buf, want, 0);
        if (got <= 0) break;
        out.append(buf, size_t(got));
    }
    return out;
}

// Everything until the peer closes (or timeout_ms of silence).
inline bytes recvall(int fd, int timeout_ms = 10000) { return recvn(fd, SIZE_MAX, timeout_ms); }

// Whether the peer has closed: end of stream with nothing before it.
inline bool closedbypeer(int fd, int timeout_ms = 10000) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    char c;
    return recv(fd, &c, 1, 0) == 0;
}

// Nothing arrives within ms.
inline bool silent(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 0;
}

// Whether the peer closes, after whatever replies it still sends.
inline bool endsafter(int fd, int timeout_ms = 10000) {
    char buf[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) return false;
        ssize_t got = recv(fd, buf, sizeof buf, 0);
        if (got == 0) return true;
        if (got < 0) return errno == ECONNRESET;
    }
}

inline int connectlocal(unsigned port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A listening socket on 127.0.0.1 with a port of the system's choice.
inline int listenlocal(unsigned &port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

// A fresh directory, removed with everything in it.
struct tempdir {
    std::filesystem::path path;
    tempdir() {
        char name[] = "/tmp/remotetest.XXXXXX";
        path = mkdtemp(name);
    }
    ~tempdir() { std::filesystem::remove_all(path); }
};

}  // namespace remotetest
