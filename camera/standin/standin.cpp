// STAND-IN camera SDKs: scenario, simulated cameras, injected failures and
// delays, record of calls. See standin.h.
#include "camera/standin/standin.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

namespace standin {

std::vector<camera> cameras;

namespace {

struct failure {
    std::string call, arg;
    long remaining;   // -1: always
    long spared;      // calls that pass before the failures start
};
struct delay {
    std::string call, arg;
    uint32_t ms;
};

struct scenario {
    int count = 1;
    uint32_t appear = 0, framedelay = 0;
    int content = -1;   // -1 ramp, else the constant sample
    std::vector<failure> failures;
    std::vector<delay> delays;
};

const dialect *D;
scenario S;
bool Started;
uint32_t StartTime;

struct fileclose {
    void operator()(FILE *f) const { fclose(f); }
};
std::unique_ptr<FILE, fileclose> Log;

void openlog(const dialect &d) {
    Log.reset();
    if (const char *name = getenv(d.logenv); name && *name) Log.reset(fopen(name, "a"));
}

bool number(const std::string &s, int64_t lo, int64_t hi, int64_t &out) {
    if (s.empty()) return false;
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(s.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

std::vector<std::string> split(const std::string &s, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    for (std::string p; std::getline(in, p, sep);) parts.push_back(p);
    return parts;
}

// "[N:|+N:]CALL[:ARG]" of fail= (n: the count, -1 when none; after: the
// count had a '+') and "MS:CALL[:ARG]" of delay=.
bool callspec(const std::string &v, bool countfirst, int64_t &n, bool &after, std::string &call,
              std::string &arg) {
    std::vector<std::string> p = split(v, ':');
    n = -1;
    size_t i = 0;
    after = countfirst && !p.empty() && !p[0].empty() && p[0][0] == '+';
    std::string count = after ? p[0].substr(1) : p.empty() ? "" : p[0];
    if (!count.empty() && isdigit((unsigned char)count[0])) {
        if (!number(count, countfirst ? 1 : 0, 1000000000, n)) return false;
        i = 1;
    } else if (!countfirst || after) {
        return false;
    }
    if (i >= p.size() || p[i].empty() || p.size() > i + 2) return false;
    call = p[i];
    arg = i + 1 < p.size() ? p[i + 1] : "";
    return true;
}

std::string scenariotext(const dialect &d) {
    if (const char *text = getenv(d.env)) return text;
    const char *file = getenv(d.fileenv);
    if (!file || !*file) return "";
    std::ifstream in(file);
    if (!in) return std::string("\x01") + file;   // marks an unreadable file
    std::string text, line;
    while (std::getline(in, line)) text += line.substr(0, line.find('#')) + "\n";
    return text;
}

void resetgeometry(camera &c) {
    c.binh = c.binv = 1;
    c.offx = c.offy = 0;
    c.width = c.sensorw;
    c.height = c.sensorh;
}

// Applies one camera word; false when it is not one or its value is bad.
bool cameraword(camera &c, const std::string &key, const std::string &value) {
    if (key == "sensor") {
        std::vector<std::string> wh = split(value, 'x');
        int64_t w, h;
        if (wh.size() != 2 || !number(wh[0], 1, 8192, w) || !number(wh[1], 1, 8192, h))
            return false;
        c.sensorw = int(w);
        c.sensorh = int(h);
        resetgeometry(c);
        return true;
    }
    if (key == "formats") {
        std::vector<std::string> names = split(value, ',');
        for (const std::string &n : names)
            if (kindof(n) < 0) return false;
        if (names.empty()) return false;
        c.formats = names;
        if (std::find(names.begin(), names.end(), c.format) == names.end()) c.format = names[0];
        return true;
    }
    if (key == D->features[PAYLOAD]) return number(value, 0, UINT32_MAX, c.fixedpayload);
    std::string text;
    if (getenum(c, key, text) == 0) return setenum(c, key, value) == 0;
    int64_t v;
    return number(value, INT32_MIN, UINT32_MAX, v) && setint(c, key, v) == 0;
}

bool scenarioword(const std::string &word, std::vector<std::pair<int, std::string>> &later) {
    size_t eq = word.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    std::string key = word.substr(0, eq), value = word.substr(eq + 1);
    int64_t n;
    bool after;
    std::string call, arg;
    if (key == "cameras") {
        if (!number(value, 0, 16, n)) return false;
        S.count = int(n);
    } else if (key == "appear") {
        if (!number(value, 0, 100000000, n)) return false;
        S.appear = uint32_t(n);
    } else if (key == "framedelay") {
        if (!number(value, 0, 100000000, n)) return false;
        S.framedelay = uint32_t(n);
    } else if (key == "content") {
        if (value == "ramp") S.content = -1;
        else if (number(value, 0, 255, n)) S.content = int(n);
        else return false;
    } else if (key == "fail") {
        if (!callspec(value, true, n, after, call, arg)) return false;
        if (after) S.failures.push_back({call, arg, -1, long(n)});
        else S.failures.push_back({call, arg, long(n), 0});
    } else if (key == "delay") {
        if (!callspec(value, false, n, after, call, arg)) return false;
        S.delays.push_back({call, arg, uint32_t(n)});
    } else {
        size_t dot = key.find('.');
        int cam = -1;
        if (dot != std::string::npos) {
            if (!number(key.substr(0, dot), 0, 15, n)) return false;
            cam = int(n);
        }
        later.push_back({cam, word.substr(dot == std::string::npos ? 0 : dot + 1)});
    }
    return true;
}

bool badscenario(const std::string &what) {
    fprintf(stderr, "%s stand-in: %s\n", D->sdk, what.c_str());
    return false;
}

bool readscenario() {
    S = scenario{};
    cameras.clear();
    std::string text = scenariotext(*D);
    if (!text.empty() && text[0] == '\x01') return badscenario("can't read " + text.substr(1));
    std::vector<std::pair<int, std::string>> camwords;
    std::stringstream in(text);
    for (std::string word; in >> word;)
        if (!scenarioword(word, camwords)) return badscenario("bad scenario word \"" + word + "\"");
    for (int i = 0; i < S.count; ++i) {
        camera c;
        c.nr = i;
        c.id = "DEV_STANDIN_" + std::to_string(i);
        c.formats.assign(D->formats, D->formats + NKINDS);
        c.format = D->formats[MONO8];
        for (const std::string &name : D->extraints) c.extra[name] = 0;
        cameras.push_back(c);
    }
    // words for every camera first, then those for one camera
    for (int pass = 0; pass < 2; ++pass)
        for (auto &[cam, word] : camwords) {
            if ((cam >= 0) != (pass == 1)) continue;
            size_t eq = word.find('=');
            for (camera &c : cameras)
                if ((cam < 0 || cam == c.nr) &&
                    !cameraword(c, word.substr(0, eq), word.substr(eq + 1)))
                    return badscenario("bad scenario word \"" + word + "\"");
        }
    return true;
}

// The largest region the binning leaves.
int64_t maxwidth(const camera &c) { return c.sensorw / c.binh; }
int64_t maxheight(const camera &c) { return c.sensorh / c.binv; }

// After a binning change the region shrinks to fit, as cameras do.
void fitregion(camera &c) {
    c.width = std::min(c.width, maxwidth(c));
    c.offx = std::min(c.offx, maxwidth(c) - c.width);
    c.height = std::min(c.height, maxheight(c));
    c.offy = std::min(c.offy, maxheight(c) - c.height);
}

int bytesper(int kind) { return kind == RGB8 ? 3 : kind == MONO16 ? 2 : 1; }

int roleof(const std::string &name) {
    for (int r = 0; r < NROLES; ++r)
        if (name == D->features[r]) return r;
    return -1;
}

// The samples of row Y of the region, channels per pixel.
void rowsamples(const camera &c, int64_t Y, uint32_t channels, uint8_t *row) {
    size_t n = size_t(c.width) * channels;
    if (S.content >= 0) {
        memset(row, S.content, n);
        return;
    }
    unsigned base = unsigned(c.offx + 3 * Y + 5 * int64_t(c.delivered) + 50 * c.nr);
    for (size_t x = 0; x < size_t(c.width); ++x)
        for (uint32_t ch = 0; ch < channels; ++ch) row[x * channels + ch] = uint8_t(base + x + 85 * ch);
}

}  // namespace

uint32_t now() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void nap(uint32_t ms) {
    struct timespec t = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {}
}

bool startup(const dialect &d) {
    D = &d;
    openlog(d);
    Started = readscenario();
    if (!Started) cameras.clear();
    StartTime = now();
    return Started;
}

void shutdown() {
    Started = false;
    cameras.clear();
}

bool started() { return Started; }

call::call(const char *n, const std::string &a, const std::string &more) : line(n), name(n), arg(a) {
    if (!a.empty()) line += " " + a;
    if (!more.empty()) line += " " + more;
    for (const delay &d : S.delays)
        if (d.call == name && (d.arg.empty() || d.arg == arg)) nap(d.ms);
}

bool call::failed() {
    for (failure &f : S.failures)
        if (f.call == name && (f.arg.empty() || f.arg == arg) && f.remaining != 0) {
            if (f.spared > 0) {
                --f.spared;
                continue;
            }
            if (f.remaining > 0) --f.remaining;
            return true;
        }
    return false;
}

long call::end(long code) {
    if (!Log && D) openlog(*D);
    if (Log) {
        if (code != 0) fprintf(Log.get(), "%s -> %ld\n", line.c_str(), code);
        else fprintf(Log.get(), "%s\n", line.c_str());
        fflush(Log.get());
    }
    return code;
}

int visible() {
    if (!Started || uint32_t(now() - StartTime) < S.appear) return 0;
    return int(cameras.size());
}

// Handles of open cameras are small numbers above the system handle 1.
camera *cameraof(const void *handle) {
    uintptr_t h = uintptr_t(handle);
    if (h < 16 || h >= 16 + cameras.size()) return nullptr;
    camera &c = cameras[h - 16];
    return c.open ? &c : nullptr;
}

const void *handleof(const camera &c) { return reinterpret_cast<const void *>(uintptr_t(16 + c.nr)); }

int kindof(const std::string &format) {
    for (int k = 0; k < NKINDS; ++k)
        if (D && format == D->formats[k]) return k;
    return -1;
}

int64_t payload(const camera &c) {
    if (c.fixedpayload >= 0) return c.fixedpayload;
    return c.width * c.height * bytesper(kindof(c.format));
}

int getint(const camera &c, const std::string &name, int64_t &value) {
    switch (roleof(name)) {
    case BINH: value = c.binh; return 0;
    case BINV: value = c.binv; return 0;
    case OFFX: value = c.offx; return 0;
    case OFFY: value = c.offy; return 0;
    case WIDTH: value = c.width; return 0;
    case HEIGHT: value = c.height; return 0;
    case PAYLOAD: value = payload(c); return 0;
    case FORMAT: case MODE: return WRONGTYPE;
    }
    auto it = c.extra.find(name);
    if (it == c.extra.end()) return NOTFOUND;
    value = it->second;
    return 0;
}

int setint(camera &c, const std::string &name, int64_t v) {
    switch (roleof(name)) {
    case BINH:
    case BINV:
        if (v < 1 || v > 8) return BADVALUE;
        (roleof(name) == BINH ? c.binh : c.binv) = v;
        fitregion(c);
        return 0;
    case OFFX:
        if (v < 0 || v > maxwidth(c) - c.width) return BADVALUE;
        c.offx = v;
        return 0;
    case OFFY:
        if (v < 0 || v > maxheight(c) - c.height) return BADVALUE;
        c.offy = v;
        return 0;
    case WIDTH:
        if (v < 1 || v > maxwidth(c) - c.offx) return BADVALUE;
        c.width = v;
        return 0;
    case HEIGHT:
        if (v < 1 || v > maxheight(c) - c.offy) return BADVALUE;
        c.height = v;
        return 0;
    case PAYLOAD: return READONLY;
    case FORMAT: case MODE: return WRONGTYPE;
    }
    auto it = c.extra.find(name);
    if (it == c.extra.end()) return NOTFOUND;
    it->second = v;
    return 0;
}

int getenum(const camera &c, const std::string &name, std::string &value) {
    int r = roleof(name);
    if (r == FORMAT) value = c.format;
    else if (r == MODE) value = c.mode;
    else return r < 0 && !c.extra.count(name) ? NOTFOUND : WRONGTYPE;
    return 0;
}

int setenum(camera &c, const std::string &name, const std::string &value) {
    int r = roleof(name);
    if (r == FORMAT) {
        if (std::find(c.formats.begin(), c.formats.end(), value) == c.formats.end()) return BADVALUE;
        c.format = value;
        return 0;
    }
    if (r == MODE) {
        if (value != "SingleFrame" && value != "Continuous") return BADVALUE;
        c.mode = value;
        return 0;
    }
    return r < 0 && !c.extra.count(name) ? NOTFOUND : WRONGTYPE;
}

int command(camera &c, const std::string &name) {
    if (name == "AcquisitionStart") {
        c.acquiring = true;
        c.singledone = false;
        c.acqstart = now();
        return 0;
    }
    if (name == "AcquisitionStop") {
        c.acquiring = false;
        return 0;
    }
    return std::find(D->commands.begin(), D->commands.end(), name) != D->commands.end() ? 0
                                                                                       : NOTFOUND;
}

bool queued(const camera &c, const void *frame) {
    for (auto &q : c.queue)
        if (q.first == frame) return true;
    return false;
}

void enqueue(camera &c, const void *frame) { c.queue.push_back({frame, now()}); }

void flush(camera &c) { c.queue.clear(); }

waitresult waitframe(camera &c, const void *frame, uint32_t timeout, uint8_t *buffer,
                     uint32_t size, frameinfo &info) {
    if (!queued(c, frame)) return NOTQUEUED;
    uint32_t start = now();
    bool runs = c.capturing && c.acquiring && !(c.mode == "SingleFrame" && c.singledone);
    if (!runs || c.queue.front().first != frame) {
        nap(timeout);
        return TIMEDOUT;
    }
    uint32_t from = c.queue.front().second;
    if (int32_t(c.acqstart - from) > 0) from = c.acqstart;
    uint32_t due = from + S.framedelay;
    int32_t left = int32_t(due - start);
    if (left > 0 && uint32_t(left) > timeout) {
        nap(timeout);
        return TIMEDOUT;
    }
    if (left > 0) nap(uint32_t(left));
    c.queue.pop_front();
    int kind = kindof(c.format);
    uint32_t channels = uint32_t(bytesper(kind));
    uint64_t bytes = uint64_t(c.width) * uint64_t(c.height) * channels;
    info = frameinfo{pixkind(kind), uint32_t(c.width), uint32_t(c.height), uint32_t(c.offx),
                     uint32_t(c.offy), uint32_t(bytes), c.delivered};
    // The pixels row by row; what does not fit the buffer is lost.
    uint64_t n = std::min<uint64_t>(bytes, size), rowbytes = uint64_t(c.width) * channels;
    std::vector<uint8_t> row(rowbytes);
    rowsamples(c, c.offy, channels, row.data());
    for (int64_t y = 0; y * rowbytes < n; ++y) {
        if (y > 0 && S.content < 0)
            for (uint8_t &b : row) b = uint8_t(b + 3);   // the ramp's step from row to row
        memcpy(buffer + y * rowbytes, row.data(), std::min(rowbytes, n - y * rowbytes));
    }
    ++c.delivered;
    if (c.mode == "SingleFrame") c.singledone = true;
    return DELIVERED;
}

}  // namespace standin
