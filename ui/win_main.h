#pragma once
// The program's entry inside main: initialises the application, creates
// the forms and runs the event loop until the main window has closed.
// Exceptions that reach it are shown to the user. Always returns 0.
int WinMain();
