// Transfer primitives and message layout of the remote camera protocol,
// one copy for the client module and the server.
#include "remote/protocol.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

int Sock = -1;

bool xsend(const void *data, size_t n) {
    auto *p = static_cast<const char *>(data);
    while (n > 0) {
        ssize_t sent = send(Sock, p, n, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        p += sent;
        n -= size_t(sent);
    }
    return true;
}

bool xrecv(void *buf, size_t n) {
    auto *p = static_cast<char *>(buf);
    while (n > 0) {
        ssize_t got = recv(Sock, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

bool xskip(size_t n) {
    char sink[4096];
    while (n > 0) {
        size_t part = n < sizeof sink ? n : sizeof sink;
        if (!xrecv(sink, part)) return false;
        n -= part;
    }
    return true;
}

bool recv8(unsigned &value) {
    unsigned char b;
    if (!xrecv(&b, 1)) return false;
    value = b;
    return true;
}

bool recv16(unsigned &value) {
    unsigned char b[2];
    if (!xrecv(b, 2)) return false;
    value = unsigned(b[0]) << 8 | b[1];
    return true;
}

bool message::putstring(const char *s) {
    if (!s) {
        put16(0);
        return true;
    }
    size_t n = strlen(s) + 1;
    if (n > MAXSTRINGLEN) return false;
    put16(unsigned(n));
    put(s, n);
    return true;
}

size_t imagebytes(unsigned w, unsigned h, unsigned depth) {
    if (depth == 1) return (size_t(w) + 7) / 8 * h;
    if (depth == 8) return (size_t(w) + 2) * (size_t(h) + 2);
    return 3 * size_t(w) * h;
}

std::string dropoptions(const char *s, std::initializer_list<const char *> keys) {
    std::string out;
    if (!s) return out;
    auto optionat = [&](const char *p) {
        for (const char *key : keys) {
            size_t n = strlen(key);
            if (strncasecmp(p, key, n) == 0 && p[n] == '=') return true;
        }
        return false;
    };
    auto white = [](char c) { return isspace((unsigned char)c) != 0; };
    while (*s) {
        if (optionat(s)) {
            while (*s && !white(*s)) ++s;
            while (*s && white(*s)) ++s;
        } else {
            out += *s++;
        }
    }
    return out;
}

void nodelay(int fd) {
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}
