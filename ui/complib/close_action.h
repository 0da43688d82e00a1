#pragma once
// What a form's close handler decides about a close: caNone keeps the
// form open; the main form's default ends the program.
enum TCloseAction { caNone, caHide, caFree, caMinimize };
