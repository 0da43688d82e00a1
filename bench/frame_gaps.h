#pragma once
// The gaps the gateway leaves between a device's reply and the next
// request on the same line, at 9600 and 115200 baud, on one port and on
// four: how many requests followed sooner than the 3.5-character silence
// that ends a frame, and how much of the line's time carried bytes.

// Prints the figures; false when the set-up failed. `seconds`: measured
// time of each run.
bool MeasureFrameGaps(double seconds);
