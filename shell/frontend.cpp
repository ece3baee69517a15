// Front-end helpers shared by tavex and tavex-cli.
#include "shell/frontend.h"
#include "image/tvhooks.h"
#include "interp/ks.h"
#include "shell/msgframe.h"

#include <algorithm>
#include <cstring>

std::string DoubleBackslashes(const char *command, int size) {
    size_t n = strnlen(command, size_t(size));
    size_t count = size_t(std::count(command, command + n, '\\'));
    if (count > 0 && size_t(size) + count > MSG_MAX) throw "too great size of command";
    std::string out;
    out.reserve(n + count);
    for (size_t i = 0; i < n; i++) {
        out += command[i];
        if (command[i] == '\\') out += '\\';
    }
    return out;
}

bool SendUserRequest(int type) {
    int used = (PipeIn->wr.load() - PipeIn->rd.load() + PipeIn->size) % PipeIn->size;
    if (PipeIn->size - 1 - used < 1 + 2 * int(sizeof(int))) return false;
    WriteMessage(type, nullptr, 0);
    return true;
}

void RunInterpreter(const char *args) {
    try {
        tvregister();
        ksmain(args);
    } catch (const char *text) {
        Panic("%s\n", text);
    }
}
