// Message frames over the inter-thread pipes, shared by both sides.
#include "shell/msgframe.h"

#include <cstring>

PIPE *PipeIn = nullptr;
PIPE *PipeOut = nullptr;

void CreateMessagePipes() {
    PipeIn = CreatePipe(MSG_PIPE_SIZE);
    PipeOut = CreatePipe(MSG_PIPE_SIZE);
}

enum : int { HEADER_SIZE = 2 * int(sizeof(int)) };

void WriteFrame(PIPE *p, int type, const void *data, int size, bool notify) {
    if (size < 0) size = 0;
    char mark = MSG_MARK;
    if (notify) {
        WritePipe(p, &mark, 1);
        Notify();
    }
    // Header and a payload of ordinary size go out in one write.
    char frame[1 + HEADER_SIZE + MSG_MAX];
    int n = 0;
    if (!notify) frame[n++] = mark;
    memcpy(frame + n, &type, sizeof type);
    memcpy(frame + n + sizeof type, &size, sizeof size);
    n += HEADER_SIZE;
    if (size <= MSG_MAX) {
        if (size > 0) memcpy(frame + n, data, size);
        WritePipe(p, frame, n + size);
    } else {
        WritePipe(p, frame, n);
        WritePipe(p, data, size);
    }
}

void ReadFrameHeader(PIPE *p, int *type, int *size) {
    char c;
    do ReadPipe(p, &c, 1);
    while (c != MSG_MARK);
    char header[HEADER_SIZE];
    ReadPipe(p, header, HEADER_SIZE);
    memcpy(type, header, sizeof(int));
    memcpy(size, header + sizeof(int), sizeof(int));
}

void DropPayload(PIPE *p, int size) {
    char scrap[256];
    while (size > 0) {
        int n = size < int(sizeof scrap) ? size : int(sizeof scrap);
        ReadPipe(p, scrap, n);
        size -= n;
    }
}

void XdWriteMessage(int type, const void *data, int size) {
    WriteFrame(PipeOut, type, data, size, true);
}

void WriteMessage(int type, const void *data, int size) {
    WriteFrame(PipeIn, type, data, size, false);
}

int ReadMessage(int *type, char *buffer, int *room) {
    int size;
    ReadFrameHeader(PipeOut, type, &size);
    if (size < 0 || size > *room) {
        DropPayload(PipeOut, size);
        throw "message size too long";
    }
    ReadPipe(PipeOut, buffer, size);
    *room = size;
    return size;
}
