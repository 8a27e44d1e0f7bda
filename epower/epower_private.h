// Shared by the files of the supply panel, not part of its interface.
#pragma once

// Sends a control's value with the set form of an integer or float
// parameter.  When the instrument refuses it, the control is given what the
// instrument holds (when it answers that).  1 when the set went through.
int epower_send_int(int panel, int control, int param);
int epower_send_float(int panel, int control, int param);

// Forgets the list length and the local copies (a new run, or a failed load).
void epower_list_forget();
