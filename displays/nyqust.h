// The Nyquist window: reactance against resistance, series or parallel circuit.
#pragma once

constexpr int NYQUST_MAX_POINTS = 1000;

extern int nyP; // panel handle, negative while not loaded

int nyqust_open();
void nyqust_active(int on);
void nyqust_quit();
void nyqust_clear();
void nyqust_reset();
void nyqust_show(double mag, double phaseDeg);
int nyqust_point_count();
int nyqust_trace_index();

int nyqustCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int nyqustaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int nyqust_cktmode(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
