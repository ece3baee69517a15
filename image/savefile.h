// Saving a file without ever destroying what its name points to. Every file
// written for a user goes through here: the native image format, every
// filter module and the display PNG of tavex-cli.
//
// The rule, decided once at savebegin from what the name is:
//  - a symbolic link is followed (up to 40 links) to its final target, and
//    the target is written; the link stays a link;
//  - a new name, or a regular file with one link: the data goes to a
//    temporary beside the target, which savecommit renames onto it; the
//    target keeps its mode (and owner and group, where permitted). A failure
//    anywhere before the rename leaves the old file exactly as it was;
//  - a regular file with several hard links is rewritten in place, so every
//    link sees the new contents; the data goes first to an anonymous
//    temporary and is copied in only by savecommit, so a writer that gives
//    up (savecancel) leaves the file untouched;
//  - the same in-place copy serves an existing file whose directory does not
//    let us create the temporary (the file writable, its folder not);
//  - anything else that opens for writing (a device such as /dev/null or
//    /dev/full, a FIFO) is written directly: it is never replaced;
//  - an empty name, a directory, a file we may not write, a name that cannot
//    be resolved or opened: savebegin fails, which callers report as
//    "open error".
// Every write, flush and close failure makes savecommit fail ("write error").
//
// Use (a filter module compiles savefile.cpp into itself, see
// filters/filters.cmake; the programs get it from the image library):
//
//     savefile out;
//     if (!savebegin(out, name)) return fail("open error");
//     fprintf(out.file, ...);             // or write(out.fd, ...), or hand
//                                         // out.file to libpng / libjpeg
//     if (!savecommit(out)) return fail("write error");
//
// and on any failure in between, savecancel(out) (harmless when nothing is
// open, and called again by savebegin for a record that is still open).
// The FILE* and the descriptor are the same open file: flush the FILE*
// before writing to the descriptor. Both stay owned by the record: never
// fclose/close them; a library that closes what it is given (libtiff's
// TIFFFdOpen + TIFFClose) gets dup(out.fd). out.file is opened for reading
// too, so a library may read back or seek what it wrote (not on a FIFO or a
// device, which cannot seek).
#pragma once

#include <cstdio>
#include <string>

struct savefile {
    FILE *file = nullptr;   // where the writer writes; NULL when nothing is open
    int fd = -1;            // fileno(file)
    // Private to savefile.cpp.
    enum how { RENAME, COPY, DIRECT } mode = RENAME;
    std::string target;     // the resolved name that is written
    std::string temp;       // RENAME: the temporary beside the target
};

// Resolves name and opens where the data goes (see above). False when the
// name cannot be written; nothing is created or changed then.
bool savebegin(savefile &s, const char *name);
// Flushes and closes, and puts the data in place. False on any write,
// flush, close, copy or rename failure; with RENAME or COPY the target is
// then as before. Nothing is open afterwards.
bool savecommit(savefile &s);
// Gives up: closes and removes the temporary; the target is untouched
// (a device or FIFO keeps what was already written to it).
void savecancel(savefile &s);
