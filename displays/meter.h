// The meter window: the latest measurement point as a component meter shows it.
#pragma once

extern int meterP; // panel handle, negative while not loaded

int meter_open();
void meter_active(int on);
void meter_quit();
void meter_show(double voltAmp, double voltPhase, double currAmp, double currPhase, double mag,
    double phaseDeg, double freq, double dcLevel);
