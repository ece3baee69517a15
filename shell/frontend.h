// What the two front ends, tavex and tavex-cli, do alike on their side of
// the message pipes.
#pragma once

#include <string>

// Tcl sees every backslash of an execute request literally: the command
// (at most size bytes) with each backslash doubled. Throws "too great size
// of command" when the doubled command would not fit a message.
std::string DoubleBackslashes(const char *command, int size);

// Sends a request that carries no data (break, continue, top level) on
// PipeIn, unless the pipe has no room for it; then it is dropped, which
// only happens when many such requests wait unread (the interpreter is
// inside one long computation), and false is returned. Waiting for room
// would freeze the front end, and one waiting request does the job.
bool SendUserRequest(int type);

// The body of the interpreter thread: registers the image bindings and runs
// the interpreter with the argument string args; a text thrown out of it ends the process through
// Panic. Returns when the interpreter ends.
void RunInterpreter(const char *args);
