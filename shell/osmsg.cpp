// The interpreter side of the message protocol: every exchange with the
// front end (console characters, input lines, keys, mouse clicks, painting,
// Tcl commands) is a request on PipeOut followed by a wait for its reply on
// PipeIn. While waiting, the user's own requests (break, continue, top
// level, a command line, an abort) are carried out at once.
#include "interp/ks.h"
#include "shell/msgframe.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Buffers of the interpreter thread. One extra byte each, so that a payload
// of the full 1024 bytes can still be closed with a zero.
char XdData[MSG_MAX + 1];
char InputBuffer[MSG_MAX + 1];
int InputPos = 0;
int InputLength = 0;
int KestrelCommand = 0;   // 1 while InputBuffer holds an unread GUI command

// Copy of an abort text: XdData may be overwritten while the abort is
// reported on the console.
static char AbortText[MSG_MAX + 1];

int XdReadMessage(int wanted, char *buffer, int *room);

// Carries out one message that nobody waits for.
void Execute(int type, const char *data) {
    switch (type) {
    case MSG_EXECUTE: case MSG_FLUSH: case MSG_WRITECHAR: case MSG_WRITETEXT: case MSG_READLINE:
    case MSG_GETKEY: case MSG_PAINT: case MSG_PAINTLUT: case MSG_FRAMES:
    case MSG_MOUSE:
        return;   // a late reply
    case MSG_COMMAND: {
        size_t n = strlen(data);
        if (n >= MSG_MAX) ksabort("command too long");
        memcpy(InputBuffer, data, n);
        InputBuffer[n] = '\n';
        InputPos = 0;
        InputLength = int(n) + 1;
        KestrelCommand = 1;
        osflush();
        kstoplevel(0);
    }
    case MSG_ABORT:
        snprintf(AbortText, sizeof AbortText, "%s", data);
        osflush();
        ksabort(AbortText);
    case MSG_BREAK:
        osflush();
        ksfail("evaluation stopped by user");
    case MSG_CONTINUE:
        osflush();
        kscontinue();
    case MSG_TOPLEVEL:
        osflush();
        kstoplevel(1);
    default:
        ksabort("unkown kestrel command");
    }
}

// Reads PipeIn until a message of the wanted type arrives; its payload goes
// into buffer (at most *room bytes) and its length into *room. Type 0 only
// carries out what is waiting and returns 1 when the pipe is empty.
int XdReadMessage(int wanted, char *buffer, int *room) {
    if (wanted == 0 && EmptyPipe(PipeIn)) return 1;
    for (;;) {
        int type, size;
        ReadFrameHeader(PipeIn, &type, &size);
        if (type == wanted) {
            if (size < 0 || size > *room) {
                DropPayload(PipeIn, size);
                ksabort("message size too long");
            }
            ReadPipe(PipeIn, buffer, size);
            *room = size;
            return size;
        }
        if (size < 0 || size > MSG_MAX) {
            DropPayload(PipeIn, size);
            ksabort("message size too long");
        }
        ReadPipe(PipeIn, XdData, size);
        XdData[size] = '\0';
        Execute(type, XdData);
        if (wanted == 0 && EmptyPipe(PipeIn)) return 1;
    }
}

// ------------------------------------------------------------ console output
// Console characters are collected and go out as one write-text message
// before the next request of any kind, when MSG_MAX of them are waiting,
// and at a poll once the oldest has waited OUTPUT_DELAY ms: the front end
// sees them in the order written, interleaved with the other requests
// exactly as if each had been sent alone.
static char OutputBuffer[MSG_MAX];
static int OutputLength = 0;
static uint32_t OutputSince;   // GetTickCount() of the oldest waiting character
enum { OUTPUT_DELAY = 20 };

static void sendoutput();

// Sends a request and waits for its reply of the same type.
static int request(int type, const void *data, int size, char *reply, int room) {
    if (OutputLength > 0) sendoutput();
    XdWriteMessage(type, data, size);
    XdReadMessage(type, reply, &room);
    return room;
}

// A request whose reply must be an empty acknowledgement.
static void acknowledged(int type, const void *data = nullptr, int size = 0) {
    char none[1];
    request(type, data, size, none, 0);
}

// The waiting characters, acknowledged as one message. The buffer is
// emptied first: a break carried out while waiting for the acknowledgement
// may write to the console again (the message itself is on its way by then).
static void sendoutput() {
    int n = OutputLength;
    OutputLength = 0;
    acknowledged(MSG_WRITETEXT, OutputBuffer, n);
}

int64_t ospollbudget = -1;

void oscheck() {
    if (ospollbudget >= 0 && ospollbudget-- == 0) {
        ospollbudget = 0;
        ksabort("evaluation budget spent");
    }
    if (OutputLength > 0 && GetTickCount() - OutputSince >= OUTPUT_DELAY) sendoutput();
    int room = MSG_MAX;
    XdReadMessage(0, XdData, &room);
}

void ostputc(int ch) {
    // Every line reaches the transcript as it ends (before the console shows
    // it), so a crash loses nothing.
    if (tfp) {
        putc(ch, tfp);
        if (ch == '\n' || ch == '\r') fflush(tfp);
    }
    if (OutputLength == 0) OutputSince = GetTickCount();
    OutputBuffer[OutputLength++] = char(ch);
    if (OutputLength == MSG_MAX) sendoutput();
}

void osflush() {
    if (KestrelCommand != 1) InputLength = 0;
    acknowledged(MSG_FLUSH);
    ostputc('\r');
}

// The front end answers a line request at end of its input with this one
// byte alone. Inside a line every byte 1-255 is a character: a real line
// ends with its newline, and a piece of a longer one is a full message.
static bool endofinput(int length) {
    return length == 1 && static_cast<unsigned char>(InputBuffer[0]) == 0xff;
}

int ostgetc() {
    KestrelCommand = 0;
    // A well-behaved front end never answers with an empty line; ask again
    // if one does.
    while (InputPos >= InputLength) {
        InputPos = 0;
        InputLength = request(MSG_READLINE, nullptr, 0, InputBuffer, MSG_MAX);
        if (endofinput(InputLength)) {
            InputLength = 0;   // the next read asks again
            return -1;
        }
    }
    return static_cast<unsigned char>(InputBuffer[InputPos++]);
}

int ostgetkey() {
    char reply[sizeof(int)];
    int n = request(MSG_GETKEY, nullptr, 0, reply, sizeof reply);
    int code = 0;
    memcpy(&code, reply, n);
    return code & 255;
}

void osdisplay() {
    acknowledged(MSG_PAINT);
    Sleep(1);
}

void osdisplut() { acknowledged(MSG_PAINTLUT); }

void osframes() {
    int f[8] = {};
    if (ksimage.frames) ksimage.frames(f);
    int n = snprintf(XdData, sizeof XdData, "%d %d %d %d %d %d %d %d",
                     f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]);
    acknowledged(MSG_FRAMES, XdData, n + 1);
}

// The next whitespace-separated integer of a mouse reply, clamped to the
// range of int (a front end may send any text); 0 when there is none.
static int mouseword(const char **text) {
    char *end;
    long long v = strtoll(*text, &end, 10);
    if (end == *text) {
        *text += strlen(*text);   // no number: neither this nor the rest
        return 0;
    }
    *text = end;
    return int(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

void osgetmouse(int *button, int *x, int *y, const char *shape) {
    int size = shape ? int(strlen(shape)) + 1 : 0;
    int n = request(MSG_MOUSE, shape, size, XdData, MSG_MAX);
    XdData[n] = '\0';
    const char *p = XdData;
    *button = mouseword(&p);
    *x = mouseword(&p);
    *y = mouseword(&p);
}

const char *osexecute(const char *cmd) {
    int size = int(strlen(cmd)) + 1;
    if (size > MSG_MAX) ksabort("message size too long");
    int n = request(MSG_EXECUTE, cmd, size, XdData, MSG_MAX);
    XdData[n] = '\0';
    return XdData;
}

// The last exchange: "Menu:Exit" and its answer. Nothing the front end sends
// meanwhile (a break, an error) may turn the shutdown back into evaluation,
// so this waits for the reply or an abort and drops everything else.
void osfinish() {
    static const char cmd[] = "Menu:Exit";
    if (OutputLength > 0) sendoutput();
    XdWriteMessage(MSG_EXECUTE, cmd, sizeof cmd);
    for (;;) {
        int type, size;
        ReadFrameHeader(PipeIn, &type, &size);
        DropPayload(PipeIn, size);
        if (type == MSG_EXECUTE || type == MSG_ABORT) return;
    }
}

// ------------------------------------------------------------ clock, words
uint32_t osticks() { return GetTickCount(); }
void ossleep(uint32_t ms) { Sleep(ms); }

std::vector<std::string> osargwords(const char *arglist) {
    int argc = 0;
    char **argv = nullptr;
    cmd2argv(arglist, &argc, &argv);
    std::vector<std::string> words(argv, argv + argc);
    FreeArgv(argc, argv);
    return words;
}
