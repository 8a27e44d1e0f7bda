// The headless driver: a renderer without windows for tests and automation.
// It records every pop-up, answers pop-ups from a script, and injects user
// actions.  It is the renderer in force unless another is installed.
#pragma once

#include "ui/model.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace ui::headless {

struct PopupRecord {
    enum Kind { Message,
        Confirm,
        Prompt,
        FileSelect,
        Refused } kind; // Refused: input refused at a control (not modal)
    std::string title;
    std::string text; // message / prompt text; for FileSelect the filter
    std::string defaultFile; // FileSelect only
    std::string directory; // FileSelect only
    int buttonLabel = 0; // FileSelect only
    bool error = false; // Message only: shown with the error icon
};

// Scripted answers, used in order; a pop-up with no scripted answer gets the
// default: cancel / no / empty prompt cancelled.
void answerFile(const std::string& path); // next FileSelectPopup chooses path
void answerFileCancel();
void answerConfirm(bool yes);
void answerPrompt(const std::string& text);
void answerPromptCancel();
void clearAnswers();

const std::vector<PopupRecord>& popups();
void clearPopups();
// The last pop-up's text, or empty.
std::string lastPopupText();

// User actions: they go through the model exactly as the window system's do,
// and their callbacks run at the next ProcessSystemEvents.  Like a window
// system, the driver refuses input that a user could not give: a control that
// is dimmed or hidden, or on a hidden panel, gives UIE_NOT_OPERABLE and nothing
// is queued; an indicator takes clicks (EVENT_LEFT_CLICK, EVENT_RIGHT_DOUBLE_CLICK)
// but no value change.  0 on success, else a UIE_* code.
// A changed value posts EVENT_VAL_CHANGED; hot controls then get EVENT_COMMIT,
// normal ones do not.
int commit(int panel, int control, const Value& v); // set value (text box: replaced), events
int commitIndex(int panel, int control, int index); // ring / list: pick an item
int click(int panel, int control); // EVENT_LEFT_CLICK, then EVENT_COMMIT for
    // buttons and toggles (a toggle flips)
int rightDoubleClick(int panel, int control);
int clickGraph(int panel, int control, double x, double y); // cursor placed, LEFT_CLICK, COMMIT
int closePanel(int panel); // EVENT_CLOSE to the panel callback
int pickMenu(int menuBar, int menuItem);
void pressKey(int key);

// Delivers everything queued (ProcessSystemEvents until the queue is empty,
// or a bounded number of rounds when callbacks keep queueing more).
void deliver();

// Counts for tests and benchmarks.
int beeps();
bool waitCursor();

} // namespace ui::headless
