// Shared between the files of the load panel module.
#pragma once

// Height of the transient panel: with the step-list area (1) or without it.
void eload_tran_size(int with_list);

// The bottom edge (top plus height) of a control, or -1.
int eload_bottom_of(int panel, int control);

// The step-list toggle switched on: the step mode follows the main panel's
// mode and the list is loaded.
void eload_step_open();
// Forget the step list's length, so the next load asks the instrument again.
void eload_step_forget();

// An integer control's value (0 when it cannot be read).
int eload_int(int panel, int control);
