// The pixel queues as seen by the interpreter: their line of the memory
// report.
#include "image/queue.h"
#include "image/tvimage.h"

#include <cstdio>

// Prints the largest segment counts the queues needed since the last
// report, then starts counting afresh.
void tvqinfo() {
    char buf[64];
    snprintf(buf, sizeof buf, "Q/HQ segments: %d  %d\n", q_segnrmax, hq_segnrmax);
    stdputstr(buf);
    q_segnrmax = hq_segnrmax = 0;
}
