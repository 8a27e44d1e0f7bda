// Shared between the source files of the measurement run; not for other
// folders.
#pragma once

// The run's panels were loaded: SAMPLE CYCLE is the user's cycle again and
// the automatic choice starts disengaged.
void ifc_settings_opened();
// A profile was loaded: the SAMPLE CYCLE it holds is the user's own cycle,
// the one that SAMPLE AUTO off brings back, even when AUTO was on already.
void ifc_settings_loaded();
// LOAD MODE decides whether the module or the user gives the current unit.
void ifc_set_kzr_mode(int mode);
// A fresh run: no DC-list run in progress.
void ifc_sweep_opened();
// A fresh run: no read-back has failed yet.
void ifc_readback_opened();

// The progress line: a user's start, each sweep's start (REPEAT: one of a
// DC-list run), each point (done: the sweep's points so far), and the end of
// the run, by itself or stopped.
void ifc_progress_run_started();
void ifc_progress_sweep_started(int repeat);
void ifc_progress_point(uint32_t done);
void ifc_progress_run_ended(bool stopped);

// Values and control mode of main-panel controls (0 when the panel is gone).
int ifc_main_int(int control);
double ifc_main_double(int control);
float ifc_main_float(int control);
void ifc_main_set_mode(int control, int mode);
