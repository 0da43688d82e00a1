#pragma once
// The program's compiled-in pictures.
#include <QIcon>

// An icon by its resource name: "MAINICON", "ONLINEICON" or "OFFLINEICON".
// A null icon for an unknown name.
QIcon LoadIconResource(const char* name);

// A tool-bar image: "run", "stop", "clear" or "save".
QIcon LoadToolImage(const char* name);
