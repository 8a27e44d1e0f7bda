// The Bode window: two graphs of a chosen impedance quantity against frequency.
#pragma once

extern int zP; // panel handle, negative while not loaded

int bode_open(); // 1, or 0 when the panel cannot be loaded
void bode_active(int on);
void bode_quit();
void bode_clear(); // a new trace begins; drawn plots stay
void bode_reset(); // all traces deleted, colour sequence restarts
// A point of the current trace; an overloaded or non-finite |Z| or phase is
// not drawn.
void bode_show(double freq, double mag, double phaseDeg);
// Applies what the window's selectors say (quantities, axis modes and
// directions) to both graphs, all traces drawn again (after a profile load).
void bode_apply_settings();
double bode_get_quantity(double freq, double mag, double phaseDeg, int code);
int bode_point_count(); // points shown of the current trace
int bode_trace_index();

int bodeCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int bodeaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int bode_selectCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
