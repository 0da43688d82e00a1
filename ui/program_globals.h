#pragma once
// Every long-lived global object of the program, built and destroyed in
// one place so their order does not depend on how the linker arranges
// static initialisers: first the window program's own (the log queue, the
// TCP environment, the stop event and the log display thread), then the
// port table, the RTU reply table, the configuration and the error texts.
// Before any of them, a write to a closed pipe or past the file-size limit
// becomes that write's failure instead of the program's end.
void BuildProgramGlobals();

// Destroys them in the reverse order. A gateway still running by then (the
// event loop ended without the window's close handler) is stopped first,
// since its threads use what is about to go; one that cannot be stopped
// ends the process at once instead.
void DestroyProgramGlobals();
