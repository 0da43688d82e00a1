#pragma once
// Windows reports a write to a pipe that nobody reads any more, or one
// past the process's file-size limit, as that write's failure. Linux sends
// the writer SIGPIPE or SIGXFSZ instead, and either ends a process that
// neither ignores nor handles it: a log reader that went away or a save
// past `ulimit -f` would take the gateway and every client's connection
// with it.

// From here on such a write fails like any other, with EPIPE or EFBIG.
// Once, at the program's start, before anything writes. Programs that this
// one starts get the system's default back when they start.
void LetWritesFailInsteadOfSignalling();
