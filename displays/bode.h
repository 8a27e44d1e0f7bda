// The Bode window: two graphs of a chosen impedance quantity against frequency.
#pragma once

constexpr int BODE_MAX_POINTS = 1000;

extern int zP; // panel handle, negative while not loaded

int bode_open(); // 1, or 0 when the panel cannot be loaded
void bode_active(int on);
void bode_quit();
void bode_clear(); // a new trace begins; drawn plots stay
void bode_reset(); // all traces deleted, colour sequence restarts
void bode_show(double freq, double mag, double phaseDeg);
double bode_get_quantity(double freq, double mag, double phaseDeg, int code);
int bode_point_count();
int bode_trace_index();

int bodeCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int bodeaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int bode_selectCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
