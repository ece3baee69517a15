// The message frame exchanged by the interpreter thread and its front end
// (the GUI or the headless console) over the two pipes:
//   mark (1 byte, 64) | type (int) | size (int) | payload (size bytes)
// Integers are in the machine's byte order. A reader skips any bytes before
// the mark. PipeOut carries the interpreter's requests, PipeIn the front
// end's replies and the user's own requests.
#pragma once

#include "shell/extent.h"

enum : int { MSG_MARK = 64, MSG_MAX = 1024, MSG_PIPE_SIZE = 1024 };

// Message kinds. Requests (PipeOut) and their replies share the type.
enum : int {
    MSG_EXECUTE = 1,     // Tcl command / its result
    MSG_COMMAND = 2,     // a Lisp line typed into the front end
    MSG_ABORT = 10,      // a request failed: the error text
    MSG_FLUSH = 11,
    MSG_BREAK = 21,
    MSG_CONTINUE = 22,
    MSG_TOPLEVEL = 23,
    MSG_WRITECHAR = 30,
    MSG_WRITETEXT = 33,  // console characters in order, 1 to MSG_MAX bytes
    MSG_READLINE = 31,
    MSG_GETKEY = 32,
    MSG_PAINT = 40,
    MSG_PAINTLUT = 41,
    MSG_FRAMES = 42,
    MSG_MOUSE = 43
};

extern PIPE *PipeIn;    // front end -> interpreter
extern PIPE *PipeOut;   // interpreter -> front end

// Creates both pipes (MSG_PIPE_SIZE bytes each); throws like CreatePipe.
void CreateMessagePipes();

// Writes one frame. With `notify` the notifier is signalled right after
// the mark, so that a front end sleeping in its event loop wakes up.
void WriteFrame(PIPE *p, int type, const void *data, int size, bool notify);

// Skips to the next mark and reads the type and size behind it.
void ReadFrameHeader(PIPE *p, int *type, int *size);

// Reads and throws away `size` payload bytes (a frame that cannot be taken
// is consumed whole, so no payload byte is mistaken for a mark later).
void DropPayload(PIPE *p, int size);

// Interpreter side: a request on PipeOut (with notify).
void XdWriteMessage(int type, const void *data, int size);

// Front-end side: a reply or user request on PipeIn (no notify), and the
// reader of the interpreter's requests on PipeOut. `room` gives the buffer
// size and receives the payload length, which is also returned; a payload
// longer than the room (or a negative size) is dropped and
// "message size too long" is thrown.
void WriteMessage(int type, const void *data, int size);
int ReadMessage(int *type, char *buffer, int *room);
