// The application settings table: every control of the measurement tool whose
// value outlives a run (stimulus, sampling, sweep, open displays, display
// modes, and the DC sweep list carried by a hidden text), in the order of
// sections and items of every saved profile.
#pragma once

#include "settings/inidata.h"

inline constexpr int INIDATA_APP_ROWS = 36;

// The variables that hold the panel handles of the main panel and the four
// display windows, read at each operation.  Until they are bound the rows
// refer to a handle that is never valid, so every control access fails
// harmlessly (with a message).
struct InidataAppPanels {
    const int* main = nullptr;
    const int* meter = nullptr;
    const int* nyquist = nullptr;
    const int* vc = nullptr;
    const int* bode = nullptr;
};
void inidata_app_bind_panels(const InidataAppPanels& panels);

// The INIDATA_APP_ROWS rows followed by the end row.
const InidataRow* inidata_app_table();
