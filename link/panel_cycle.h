// What the instrument panels (the load's and the supply's) share around their
// once-a-second cycle: the watch that gives the link up when the instrument
// stops answering, the fitting of a reading into a readout of a few
// characters, and the blinking alarm lamp with its beep.
#pragma once

#include <cstddef>

// Cycles in a row that got no answer before the link is closed.
inline constexpr int PANEL_CYCLE_FAILURE_LIMIT = 3;

struct PanelCycleWatch {
    int failures = 0; // cycles in a row without an answer
};

// Counts the outcome of one cycle: answered (1) starts the count again; a
// cycle without an answer (0) adds one, and at the limit the message is shown
// (titled "Error!"), the link is closed (ifp_close) and the count starts
// again.  1 when it closed the link, else 0.
int panel_cycle_outcome(PanelCycleWatch* watch, int answered, const char* message);

// A number's text fitted to width characters (at least 3) without ever
// misstating its magnitude: the text itself when it fits, cut where only
// digits after the decimal point are dropped, or else, when it is a number
// whose whole part fits, written again with the decimals that fit (an
// exponent form such as 1.5e-05 reads 0.0000).  Anything else reads as the
// overflow mark "OL" ("-OL" below zero) right-aligned in width.  1 for a
// reading, 0 for the mark; out always holds a text when size > width.
int panel_readout_fit(const char* number, int width, char* out, std::size_t size);

// The alarm lamp of a cycle: lit, with a beep, while the alarm holds and the
// blink phase is 1.  The lamp's state (0 or 1).
int panel_alarm_blink(int alarm, int phase);
