// The four display windows fed by the read-back: Bode, Nyquist, V&C and the
// meter.  Each window module keeps its panel handle (negative while not
// loaded) and its own point store; all run on the user-interface thread.
#pragma once

// The displays ask the application whether a sweep is running (cursor clicks
// and re-plots do nothing during a sweep).  The application installs its probe
// once; without one, no sweep is running.
void displays_set_sweep_probe(int (*sweepOn)());
int displays_sweep_on();

// Trace colours and point styles, by trace index (Bode and Nyquist).
int displays_trace_color(int traceIndex); // colour table [index mod 10]
int displays_trace_style(int traceIndex); // point-style table [index mod 6]

// Registers the display windows' callbacks with the toolkit.
void displays_register_callbacks();
