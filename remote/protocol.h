// The remote camera protocol: one TCP connection on which the client module
// remotecam sends one camera call at a time and the server remotecamd
// answers it. Both sides use these primitives on their connection Sock.
//
// Encoding: numbers are unsigned 16-bit, big-endian; a result is one byte,
// 1 for success and 0 for failure; a string is a 16-bit length that counts
// the terminating NUL (sent too), then the bytes, and length 0 means no
// string. A request is a 16-bit code and its arguments:
//
//   code  request (client)              reply (server)
//   0     -                             string: error text (length <= 256)
//   1     string: module options        result
//   2     -                             none; the server ends the connection
//   3     16-bit camera nr, string      result
//   4     -                             result; if 1: x, y, width, height, depth
//   5     -                             result; if 1: the image (imagebytes)
//   6     256-byte lookup table         result
//
// Header values travel as their low 16 bits and are read as unsigned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// Not exported from the client module: the host sees only the camera
// functions and the utilities.
#define REMOTE_HIDDEN __attribute__((visibility("hidden")))

enum request : unsigned {
    REQ_CAMERROR,
    REQ_CAMINIT,
    REQ_CAMFREE,
    REQ_CAMSNAP,
    REQ_CAMREADHEADER,
    REQ_CAMREADDATA,
    REQ_CAMLUT,
};

constexpr unsigned MAXERRORTEXT = 256;    // error text on the wire, NUL included
constexpr unsigned MAXINITOPTIONS = 1024; // option string of request 1, NUL included
constexpr unsigned MAXSTRINGLEN = 65535;  // what a 16-bit length can announce

// The connection: -1 when there is none.
REMOTE_HIDDEN extern int Sock;

// Sends all n bytes; false as soon as a send fails or sends nothing. A
// closed peer fails the call, it never raises SIGPIPE.
REMOTE_HIDDEN bool xsend(const void *data, size_t n);
// Receives exactly n bytes; false on an error, a time-out or the end of
// the connection.
REMOTE_HIDDEN bool xrecv(void *buf, size_t n);
// Receives n bytes and throws them away, through a fixed-size buffer.
REMOTE_HIDDEN bool xskip(size_t n);
REMOTE_HIDDEN bool recv8(unsigned &value);
REMOTE_HIDDEN bool recv16(unsigned &value);

// One message assembled in memory and sent with one xsend, so that a
// request or a short reply leaves as one segment.
struct REMOTE_HIDDEN message {
    std::string bytes;
    void put8(unsigned v) { bytes += char(v & 0xff); }
    void put16(unsigned v) {
        bytes += char((v >> 8) & 0xff);
        bytes += char(v & 0xff);
    }
    void put(const void *data, size_t n) { bytes.append(static_cast<const char *>(data), n); }
    // A string with its NUL, or length 0 for null. False, and nothing
    // added, when it is too long for a 16-bit length.
    bool putstring(const char *s);
    bool send() const { return xsend(bytes.data(), bytes.size()); }
};

// Image depths the protocol carries: 1, 8 and 24.
constexpr bool knowndepth(unsigned depth) { return depth == 1 || depth == 8 || depth == 24; }
// The size of the image data of reply 5 for a header w, h, depth of a
// known depth.
REMOTE_HIDDEN size_t imagebytes(unsigned w, unsigned h, unsigned depth);

// A copy of the option string s without the options of the given keys:
// wherever KEY= begins (any case) the characters up to the next white
// space are dropped, and so is the run of white space after them.
REMOTE_HIDDEN std::string dropoptions(const char *s, std::initializer_list<const char *> keys);

// Sets TCP_NODELAY: a request-reply protocol must not wait for delayed
// acknowledgements. Harmless on a descriptor that is not a TCP socket.
REMOTE_HIDDEN void nodelay(int fd);
