// The V&C window: voltage and current amplitude and phase against frequency.
#pragma once

extern int vcP; // panel handle, negative while not loaded

int vc_open();
void vc_active(int on);
void vc_quit();
void vc_clear(); // erases both graphs
// Applies the axis modes and directions to both graphs (after a profile load).
void vc_apply_settings();
void vc_show(double freq, double voltAmp, double voltPhase, double currAmp, double currPhase);

int vc_curCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int vcaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
