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

// The colour index of the points being drawn: the trace store's current
// trace when the read-back feeds it, else the window's own trace index, so
// that a redraw and the legend give each trace the colour it was drawn in.
int displays_current_trace(int windowTrace);
// Whether a reading can be drawn: an overload (not finite) cannot.
bool displays_drawable(double mag, double phaseDeg);
// Sets a graph's legend to the traces of the store: each trace's DC level
// and AC amplitude, in its colour and point style.
void displays_set_legend(int panel, int graph);
// Makes every display window apply what its selectors say: axis modes and
// directions, the Bode quantities, the Nyquist circuit and scale.
void displays_apply_settings();

// File > Export Picture... of the graph windows.
void displays_export_picture(int menuBar, int menuItem, void* callbackData, int panel);

// Registers the display windows' callbacks with the toolkit.
void displays_register_callbacks();
