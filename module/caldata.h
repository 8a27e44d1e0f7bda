// Calibration transfer: the IM module's calibration tables copied into a
// text file and written back from one.  Every data line of the file is a
// complete module command ("IM:CAL:DATA t i g f value"), comment lines begin
// with ";", and the file ends with "IM:CAL:SAVE", so loading is sending every
// line that is not a comment.  Both run to completion inside the button
// callback, with a progress window.
#pragma once

#include "link/io.h"

#include <cstddef>
#include <string>

// A line of a calibration file holds at most this many characters, its line
// end not counted; a longer line makes the whole file unusable.  A line that
// is sent to the module (one without ";") holds at most CALDATA_COMMAND_MAX
// with its line feed: the longest command every link carries.
inline constexpr std::size_t CALDATA_LINE_MAX = 511;
inline constexpr std::size_t CALDATA_COMMAND_MAX = IO_MAX_COMMAND;
// A calibration file is a few ten kilobytes; anything beyond this is not one.
inline constexpr std::size_t CALDATA_FILE_MAX = 16u << 20;

// The main panel's CAL LOAD and CAL SAVE buttons: a right double-click on
// CAL LOAD shows or hides CAL SAVE; a commit runs the load or the save with
// its file dialog and result message.  Returns 0.
int caldata_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
// Registers caldata_CB with the toolkit.
void caldata_register_callbacks();

// The progress window (panel 7 of "ifcPanel.uir"): open 1 loads it, sets 0 %
// and shows it; open 0 and close 0 sets percent; open 0 and close 1 hides and
// discards it.  Without a window (it failed to load) the calls do nothing.
void ifc_progress_panel(int open, int close, int percent);

// "IM" + the module's serial number + ".cal"; asks "SYST:SER?".  Characters a
// file name cannot hold become "_".
std::string caldata_default_file();

enum {
    CALDATA_DONE = 0,
    CALDATA_FILE_ERROR = 1, // the file could not be read, created or written; nothing was sent or written
    CALDATA_QUERY_FAILED = 2, // save: the module did not answer a value; the file was not written
    CALDATA_SEND_FAILED = 3, // load: a line was not taken; the lines before it are in effect
};
struct CaldataResult {
    int status = CALDATA_DONE;
    std::string reason; // what failed: the file, the value not answered, or the line not taken
};

// The two actions without their dialogs and messages (the progress window is
// shown).  A save of F frequency and G gain markers asks every value as its
// line is written; it writes a temporary file beside the target and renames
// it over the target only when it is complete, and stops at the first value
// the module does not answer.
CaldataResult caldata_save_file(const char* path, int F, int G);
// Checks the whole file first (lines no longer than CALDATA_LINE_MAX, no
// control bytes but tabs and line ends) and sends nothing from a file that
// fails; then sends every line without ";" in file order, a CR LF line end
// as LF, and stops at the first line the module does not take.
CaldataResult caldata_load_file(const char* path);
