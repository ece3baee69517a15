// Pixel queues: ring growth and release, and the seeding routines that fill
// the queues with the starting pixels of the propagation operators.
#include "image/queue.h"
#include "image/intern.h"

#include <cstdlib>
#include <cstring>

s_queue queue;
s_queue hqueue[HQLEVELS];
int q_segnrmax, hq_segnrmax;

static void makefresh(s_queue *q) {
    q->first->next = q->first;
    q->head = q->tail = q->first;
    q->seg = nullptr;
    q->nseg = 0;
}

static void initone(s_queue *q) {
    if (q->first) {          // a second initialisation only empties the queue
        queuefree(q);
        return;
    }
    q->first = static_cast<s_cell *>(malloc(sizeof(s_cell)));
    if (!q->first) ima_error("qinit, allocation");
    makefresh(q);
}

void qinit() {
    initone(&queue);
    for (s_queue &q : hqueue) initone(&q);
    q_segnrmax = hq_segnrmax = 0;
}

// Called when a put has made tail reach head: the cell at tail holds the
// oldest entry. The block and the table slot are obtained before the ring is
// touched, so a failure leaves no released cell in the ring.
void qseginit(s_queue *q, int n) {
    s_cell *blk = static_cast<s_cell *>(malloc(sizeof(s_cell) * size_t(n)));
    if (!blk) ima_error("qseginit, malloc");
    if (q->nseg % 10 == 0) {
        void *grown = realloc(q->seg, sizeof(s_cell *) * size_t(q->nseg + 10));
        if (!grown) {
            free(blk);
            ima_error("qseginit, realloc");
        }
        q->seg = static_cast<s_cell **>(grown);
    }
    for (int i = 0; i < n - 1; ++i) blk[i].next = &blk[i + 1];
    s_cell *oldest = q->tail;
    s_cell *last = &blk[n - 1];
    last->pos = oldest->pos;
    last->dist = oldest->dist;
    last->next = oldest->next;
    q->head = last;
    oldest->next = &blk[0];
    q->seg[q->nseg++] = blk;
}

void queuefree(s_queue *q) {
    for (int i = 0; i < q->nseg; ++i) free(q->seg[i]);
    free(q->seg);
    makefresh(q);
}

void qfree() { queuefree(&queue); }

void hqfree() {
    for (s_queue &q : hqueue) queuefree(&q);
}

// ------------------------------------------------------------ seeding
// Sets the one-pixel border ring of a grey image of the frame to 0.
static void clearborder(uint8_t *g) {
    size_t W = size_t(ifw_grey);
    memset(g, 0, W);
    memset(g + W * size_t(ifh + 1), 0, W);
    for (int y = 1; y <= ifh; ++y) {
        g[W * size_t(y)] = 0;
        g[W * size_t(y) + W - 1] = 0;
    }
}

// Non-zero pixels with a zero among their north, west, east, south
// neighbours, in raster order.
template <class Put>
static void innerboundary(uint8_t *g, Put put) {
    clearborder(g);
    size_t W = size_t(ifw_grey);
    for (int y = 0; y < ifh; ++y) {
        size_t p = (size_t(y) + 1) * W + 1;
        for (int x = 0; x < ifw; ++x, ++p)
            if (g[p] && (!g[p - W] || !g[p - 1] || !g[p + 1] || !g[p + W])) put(uint32_t(p));
    }
}

void qbinput(int grey) {
    queuefree(&queue);
    innerboundary(imarray[grey].data, [](uint32_t p) { qput(p, 0); });
}

void hqseedlabel(int grey) {
    hqfree();
    innerboundary(imarray[grey].data, [](uint32_t p) { hqput(0, p); });
}

void hqgreyput(int grey) {
    hqfree();
    uint8_t *g = imarray[grey].data;
    clearborder(g);
    const long W = ifw_grey;
    const long nb8[8] = {-W - 1, -W, -W + 1, -1, 1, W - 1, W, W + 1};
    const long nb4[4] = {-W, -1, 1, W};   // north, west, east, south
    for (int y = 0; y < ifh; ++y) {
        long p = (long(y) + 1) * W + 1;
        for (int x = 0; x < ifw; ++x, ++p) {
            uint8_t v = g[p];
            if (!v) continue;
            bool maximum = true;
            for (long d : nb8) maximum = maximum && v >= g[p + d];
            if (!maximum) continue;
            for (long d : nb4)
                if (g[p + d] != v) hqput(v, uint32_t(p));
        }
    }
}
