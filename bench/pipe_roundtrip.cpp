// Round trip of one console character between two threads: the request
// frame (type 30, 4-byte payload) on PipeOut and its empty acknowledgement
// on PipeIn, exactly as the interpreter and tavex-cli exchange them.
// Built and run by console_bench.sh.
#include "shell/msgframe.h"

#include <chrono>
#include <cstdio>
#include <thread>

int main() {
    CreateMessagePipes();
    CreateNotifier(false);
    constexpr int ROUNDS = 200000;
    std::thread front_end([] {
        char buf[MSG_MAX];
        for (int i = 0; i < ROUNDS; i++) {
            int type, room = sizeof buf;
            ReadMessage(&type, buf, &room);
            WriteMessage(type, nullptr, 0);
        }
    });
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < ROUNDS; i++) {
        int c = 'a';
        XdWriteMessage(MSG_WRITECHAR, &c, sizeof c);
        int type, size;
        ReadFrameHeader(PipeIn, &type, &size);
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    front_end.join();
    printf("%d round trips: %.3f s, %.3f us each\n", ROUNDS, s, s * 1e6 / ROUNDS);
}
