// Camera module "remotecam": a camera on another machine. caminit connects
// to the camera server remotecamd there and names the camera module it is
// to load; every later call becomes one request of the remote camera
// protocol and is answered from its reply.
//
// caminit options: CAMERA=name (required by the server), HOST=name or
// address (default: this machine), SERVICE=port (default: the TCP service
// "remotecam" of the services database); every option other than HOST and
// SERVICE goes to the server's module.
//
// Errors: local failures leave their text in Error; a failure reported by
// the server leaves Error empty, and camerror then fetches the server's
// text with request 0. A transfer that fails (connection lost, no reply
// within the receive time-out) leaves the byte stream out of step, so the
// connection is dropped.
#include "image/camera.h"
#include "camera/cutil.h"
#include "remote/protocol.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr const char *USAGE =
    "(caminit \"remotecam\" \"camera=name [camera options][host=name][service=number]\"";
constexpr int TIMEOUT_SECONDS = 10;

char Error[MAXERRORTEXT];   // empty: none
unsigned ImaW, ImaH, ImaD;  // the last successful header

bool fail(const char *text) {
    snprintf(Error, sizeof Error, "%s", text);
    return false;
}

void disconnect() {
    if (Sock != -1) close(Sock);
    Sock = -1;
}

bool lost() {
    disconnect();
    return fail("connection to camera server lost");
}

// Entry of every call but camerror and camfree: clears Error and tells
// whether there is a server to talk to.
bool begin() {
    Error[0] = '\0';
    if (Sock == -1) return fail("no server connected");
    return true;
}

bool sendrequest(const message &m) { return m.send() || lost(); }

// The result byte of a reply: true only for 1.
bool result() {
    unsigned b;
    if (!recv8(b)) return lost();
    return b == 1;
}

// The IPv4 address of host, or false.
bool resolve(const char *host, sockaddr_in &addr) {
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
    addr = *reinterpret_cast<sockaddr_in *>(found->ai_addr);
    freeaddrinfo(found);
    return true;
}

// Connects Sock to addr, waiting at most the given time: a host that does
// not answer must not hold the workstation for the minutes of the system's
// own connect time-out.
bool connectwithin(const sockaddr_in &addr, int seconds) {
    int flags = fcntl(Sock, F_GETFL);
    if (flags == -1 || fcntl(Sock, F_SETFL, flags | O_NONBLOCK) == -1) return false;
    if (connect(Sock, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) return false;
        pollfd p{Sock, POLLOUT, 0};
        int ready;
        while ((ready = poll(&p, 1, seconds * 1000)) == -1 && errno == EINTR) {}
        int error = 0;
        socklen_t len = sizeof error;
        if (ready != 1 || getsockopt(Sock, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0)
            return false;
    }
    return fcntl(Sock, F_SETFL, flags) != -1;
}

// Opens the connection to addr; false with Error set and Sock = -1.
bool connectto(const sockaddr_in &addr) {
    Sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Sock == -1) return fail("socket creation");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = 0;
    if (bind(Sock, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        disconnect();
        return fail("bind");
    }
    if (!connectwithin(addr, TIMEOUT_SECONDS)) {
        disconnect();
        return fail("connection to webcam server failed");
    }
    // The time-out bounds every wait for a reply, and every send to a
    // server that stopped reading.
    timeval tv{TIMEOUT_SECONDS, 0};
    if (setsockopt(Sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0 ||
        setsockopt(Sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) {
        disconnect();
        return fail("can't set timeout value");
    }
    nodelay(Sock);
    return true;
}

}  // namespace

extern "C" {

void camfree() {
    if (Sock == -1) return;
    message m;
    m.put16(REQ_CAMFREE);
    m.send();
    disconnect();
}

const char *camerror() {
    if (Error[0]) return Error;
    if (Sock == -1) return "no server connected";
    message m;
    m.put16(REQ_CAMERROR);
    unsigned n;
    if (!m.send() || !recv16(n)) {
        lost();
        return Error;
    }
    if (n == 0) {
        fail("server could not signal the error");
    } else if (n > MAXERRORTEXT) {
        if (!xskip(n)) lost();
        else fail("too long error message");
    } else if (!xrecv(Error, n)) {
        lost();
    } else {
        Error[n - 1] = '\0';
    }
    return Error;
}

bool caminit(const char *options) {
    Error[0] = '\0';
    if (Sock != -1) camfree();
    if (!optp(options)) return fail(USAGE);
    // The host name may be as long as the option string itself: a name too
    // long to resolve is reported, never silently replaced by this machine.
    std::vector<char> host(strlen(options) + 1);
    if (!opt2a(options, "HOST", host.data(), int(host.size()))) snprintf(host.data(), host.size(), "%s", "localhost");
    int service = 0;
    opt2i(options, "SERVICE", &service);
    std::string rest = dropoptions(options, {"HOST", "SERVICE"});

    sockaddr_in addr{};
    if (!resolve(host.data(), addr)) {
        snprintf(Error, sizeof Error, "can't get ip address of host \"%s\"\ngive it manually HOST=xxx.xxx.xxx.xxx",
                 host.data());
        return false;
    }
    if (service < 0 || service > 0xffff) return fail("SERVICE must be a port number 1..65535");
    if (service != 0) {
        addr.sin_port = htons(uint16_t(service));
    } else {
        servent *entry = getservbyname("remotecam", "tcp");
        if (!entry) return fail("can't get service number\ngive it manually SERVICE=1000");
        addr.sin_port = uint16_t(entry->s_port);
    }
    if (!connectto(addr)) return false;

    message m;
    m.put16(REQ_CAMINIT);
    if (!m.putstring(rest.empty() ? nullptr : rest.c_str())) return fail("option string too long");
    if (!sendrequest(m)) return false;
    // The connection stays open after a refusal, so that camerror can
    // fetch the server's text.
    return result();
}

bool camsnap(int nr, const char *options) {
    if (!begin()) return false;
    if (nr < INT16_MIN || nr > INT16_MAX) return fail("camera number out of range");
    message m;
    m.put16(REQ_CAMSNAP);
    m.put16(unsigned(nr) & 0xffff);
    if (!m.putstring(optp(options) ? options : nullptr)) return fail("option string too long");
    return sendrequest(m) && result();
}

bool camreadheader(int *x, int *y, int *w, int *h, int *depth) {
    if (!begin()) return false;
    message m;
    m.put16(REQ_CAMREADHEADER);
    if (!sendrequest(m) || !result()) return false;
    unsigned v[5];
    for (unsigned &value : v)
        if (!recv16(value)) return lost();
    *x = int(v[0]), *y = int(v[1]), *w = int(v[2]), *h = int(v[3]), *depth = int(v[4]);
    ImaW = v[2], ImaH = v[3], ImaD = v[4];
    return true;
}

bool camreaddata(void *buffer) {
    if (!begin()) return false;
    // Without a header of a known depth the size of the reply is unknown.
    if (!knowndepth(ImaD)) return fail("unkown image format");
    message m;
    m.put16(REQ_CAMREADDATA);
    if (!sendrequest(m) || !result()) return false;
    return xrecv(buffer, imagebytes(ImaW, ImaH, ImaD)) || lost();
}

bool camlut(const unsigned char *lut) {
    if (!begin()) return false;
    message m;
    m.put16(REQ_CAMLUT);
    m.put(lut, 256);
    return sendrequest(m) && result();
}

}  // extern "C"

// The exports have exactly the types the host binds them with.
CAMERA_EXPORTS(CHECK_EXPORT_TYPE)
