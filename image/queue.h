// Pixel queues: one first-in first-out queue of (position, distance) entries
// and a hierarchical queue of 256 such queues, one per grey level. Both are
// process-wide rings of cells that grow by whole segments when full and give
// their memory back when a get finds them empty. A position is the byte
// offset of a pixel in a bordered grey image of the current frame.
#pragma once

#include <cstdint>

struct s_cell {
    s_cell *next;
    uint32_t pos;
    uint32_t dist;
};

struct s_queue {
    s_cell *first;     // the permanent cell
    s_cell *head;      // next cell to read
    s_cell *tail;      // next cell to write
    s_cell **seg;      // extra segments in the order they were added
    int32_t nseg;
};

enum : uint32_t { QEMPTY = 0xFFFFFFFFu };          // "no position"
enum { QSEGSIZE = 100, HQSEGSIZE = 50, HQLEVELS = 256 };

extern s_queue queue;
extern s_queue hqueue[HQLEVELS];
extern int q_segnrmax, hq_segnrmax;

void qinit();
void qseginit(s_queue *q, int n);
void queuefree(s_queue *q);
void qfree();
void hqfree();

// Put and get are inline: the propagation operators run them in their
// inner loops.
inline void qput(uint32_t pos, uint32_t dist) {
    s_cell *c = queue.tail;
    c->pos = pos;
    c->dist = dist;
    queue.tail = c->next;
    if (queue.tail == queue.head) {
        qseginit(&queue, QSEGSIZE);
        if (queue.nseg > q_segnrmax) ++q_segnrmax;
    }
}

inline void hqput(int level, uint32_t pos) {
    s_queue &q = hqueue[level];
    s_cell *c = q.tail;
    c->pos = pos;
    q.tail = c->next;
    if (q.tail == q.head) {
        qseginit(&q, HQSEGSIZE);
        if (q.nseg > hq_segnrmax) ++hq_segnrmax;
    }
}

inline void qget(uint32_t *pos, uint32_t *dist) {
    if (queue.head == queue.tail) {
        queuefree(&queue);
        *pos = QEMPTY;
        return;
    }
    *pos = queue.head->pos;
    *dist = queue.head->dist;
    queue.head = queue.head->next;
}

inline void hqget(int level, uint32_t *pos) {
    s_queue &q = hqueue[level];
    if (q.head == q.tail) {
        queuefree(&q);
        *pos = QEMPTY;
        return;
    }
    *pos = q.head->pos;
    q.head = q.head->next;
}

// Seeding from a GREY image of the current frame (its border ring is set
// to 0 first).
void qbinput(int grey);      // inner boundary of the non-zero region, distance 0
void hqseedlabel(int grey);  // the same, into level 0 of the hierarchical queue
void hqgreyput(int grey);    // boundary pixels of local maxima, at their level
