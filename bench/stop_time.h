#pragma once
// How long a stop takes while clients wait on a device that never answers
// and whose port waits 30 s for a reply: one client's request is on the
// line, the other's waits for the port.

// Prints the figures of `rounds` stops; false when the set-up failed.
bool MeasureStopTime(int rounds);
