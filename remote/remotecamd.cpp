// remotecamd: the remote camera server. A super-server starts it once per
// accepted TCP connection, with the connection as standard input and the
// directory of the camera modules as its only argument. It loads the camera
// module the client names from that directory and performs each request of
// the remote camera protocol by calling the module.
//
// Every failure is answered with result 0 and leaves its text in Error for
// a following request 0. The process ends after request 2 or when the
// connection breaks.
#include "image/camera.h"
#include "camera/cutil.h"
#include "remote/protocol.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *ExeDir;            // the camera-module directory
void *CamDll;                  // the loaded module, null when none
camerabinding Cam;             // its seven functions, all null when none
const char *Error;             // the server's own failure in this request
int ImaW, ImaH, ImaD;          // the last successful header
unsigned char *data;           // image buffer of request 5, kept between requests
size_t oldsize;

// A handler answers false when the connection failed and the server must end.
bool reply(bool ok) {
    unsigned char b = ok ? 1 : 0;
    return xsend(&b, 1);
}

bool failreply(const char *text) {
    Error = text;
    return reply(false);
}

void releasemodule() {
    if (Cam.camfree) Cam.camfree();
    if (CamDll) dlclose(CamDll);
    CamDll = nullptr;
    Cam = camerabinding{};
}

// A name the client may choose: letters, digits, '_', '-' and '.', no "..",
// not empty. It can only name a file directly inside the module directory.
bool plainmodulename(const char *name) {
    if (!*name || strstr(name, "..")) return false;
    for (const char *p = name; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '_' || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// Loads the module named by the CAMERA option and initialises it with the
// other options; false with Error set, or the module's result.
bool initmodule(const char *options) {
    char name[16];
    if (!opt2a(options, "CAMERA", name, sizeof name)) {
        Error = "[camera] has to be specified";
        return false;
    }
    if (!plainmodulename(name)) {
        Error = "camera name must be a plain module name";
        return false;
    }
    // One module per connection: a second request 1 replaces the first.
    releasemodule();
    std::string rest = dropoptions(options, {"CAMERA"});
    std::string path = std::string(ExeDir) + "/" + name + ".so";
    CamDll = dlopen(path.c_str(), RTLD_NOW);
    if (!CamDll) {
        Error = "LoadLibrary, can't load camera module";
        return false;
    }
    if (!bindcamera(CamDll, Cam)) {
        releasemodule();
        Error = "GetProcAddress, can't bind functions";
        return false;
    }
    return Cam.caminit(rest.c_str());
}

// Receives a string of up to MAXSTRINGLEN bytes; always NUL-terminated,
// empty when none was sent.
bool recvstring(std::vector<char> &s) {
    unsigned n;
    if (!recv16(n)) return false;
    s.assign(n + 1, '\0');
    return n == 0 || xrecv(s.data(), n);
}

bool server_camerror() {
    if (!Error) Error = Cam.camerror ? Cam.camerror() : "camerror not available";
    if (!Error) Error = "";
    // The text travels with its NUL, at most MAXERRORTEXT bytes in all.
    size_t n = strnlen(Error, MAXERRORTEXT - 1);
    message m;
    m.put16(unsigned(n + 1));
    m.put(Error, n);
    m.put8(0);
    return m.send();
}

bool server_caminit() {
    Error = nullptr;
    unsigned n;
    if (!recv16(n)) return false;
    if (n > MAXINITOPTIONS) {
        if (!xskip(n)) return false;
        return failreply("can't get option string");
    }
    std::vector<char> options(n + 1, '\0');
    if (n > 0 && !xrecv(options.data(), n)) return false;
    return reply(initmodule(options.data()));
}

void server_camfree() { releasemodule(); }

bool server_camsnap() {
    Error = nullptr;
    unsigned nr;
    std::vector<char> options;
    if (!recv16(nr) || !recvstring(options)) return false;
    if (!CamDll) return failreply("no camera loaded");
    return reply(Cam.camsnap(int16_t(nr), options.data()));
}

bool server_camreadheader() {
    Error = nullptr;
    if (!CamDll) return failreply("no camera loaded");
    int x = 0, y = 0, w = 0, h = 0, depth = 0;
    if (!Cam.camreadheader(&x, &y, &w, &h, &depth)) return reply(false);
    // A value that does not fit the 16 bits of the reply would make the
    // client read another image size than the one sent: refused, and no
    // image data is served until the next good header.
    auto fits = [](int v) { return v >= 0 && v <= 0xffff; };
    if (!fits(x) || !fits(y) || !fits(w) || !fits(h) || !fits(depth)) {
        ImaW = ImaH = ImaD = 0;
        return failreply("image header out of range");
    }
    ImaW = w, ImaH = h, ImaD = depth;
    message m;
    m.put8(1);
    for (int v : {x, y, w, h, depth}) m.put16(unsigned(v));
    return m.send();
}

bool server_camreaddata() {
    Error = nullptr;
    if (!CamDll) return failreply("no camera loaded");
    if (!knowndepth(unsigned(ImaD))) return failreply("unkown image format");
    size_t size = imagebytes(unsigned(ImaW), unsigned(ImaH), unsigned(ImaD));
    if (size != oldsize || !data) {
        // at least one byte, so that an empty image has a buffer too
        auto *grown = static_cast<unsigned char *>(realloc(data, size ? size : 1));
        if (!grown) return failreply("realloc");
        data = grown;
        oldsize = size;
        // The module leaves the grey border alone: it goes out as zeros,
        // never as stale heap contents.
        memset(data, 0, size);
    }
    if (!Cam.camreaddata(data)) return reply(false);
    return reply(true) && xsend(data, size);
}

bool server_camlut() {
    Error = nullptr;
    unsigned char lut[256];
    if (!xrecv(lut, sizeof lut)) return false;
    if (!CamDll) return failreply("no camera loaded");
    return reply(Cam.camlut(lut));
}

// Standard output and error must never write into the connection: a module
// that prints would break the protocol. Sent to /dev/null when they are
// the socket, as under inetd.
void keepoutputoffsocket() {
    for (int fd : {1, 2}) {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode)) {
            int null = open("/dev/null", O_WRONLY);
            if (null >= 0 && null != fd) {
                dup2(null, fd);
                close(null);
            }
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) return -1;
    // A client that goes away mid-reply fails the send; it does not kill us.
    signal(SIGPIPE, SIG_IGN);
    Sock = 0;
    ExeDir = argv[1];
    keepoutputoffsocket();
    nodelay(Sock);
    for (;;) {
        unsigned code;
        if (!recv16(code)) break;
        bool alive = true;
        switch (code) {
        case REQ_CAMERROR: alive = server_camerror(); break;
        case REQ_CAMINIT: alive = server_caminit(); break;
        case REQ_CAMFREE: server_camfree(); alive = false; break;
        case REQ_CAMSNAP: alive = server_camsnap(); break;
        case REQ_CAMREADHEADER: alive = server_camreadheader(); break;
        case REQ_CAMREADDATA: alive = server_camreaddata(); break;
        case REQ_CAMLUT: alive = server_camlut(); break;
        default: break;  // unknown codes are ignored
        }
        if (!alive) break;
    }
    // Also when the connection broke: the camera is stopped and released.
    releasemodule();
    free(data);
    close(Sock);
    return 0;
}
