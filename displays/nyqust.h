// The Nyquist window: reactance against resistance, series or parallel circuit.
#pragma once

extern int nyP; // panel handle, negative while not loaded

int nyqust_open();
void nyqust_active(int on);
void nyqust_quit();
void nyqust_clear();
void nyqust_reset();
// A point of the current trace; an overloaded or non-finite |Z| or phase is
// not drawn.
void nyqust_show(double mag, double phaseDeg);
// Applies the axis directions and the scale, and draws every trace again in
// the circuit the ring names (after a profile load).
void nyqust_apply_settings();
int nyqust_point_count();
int nyqust_trace_index();

int nyqustCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int nyqustaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int nyqust_cktmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
