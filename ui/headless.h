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
    enum Kind { Message, Confirm, Prompt, FileSelect } kind;
    std::string title;
    std::string text;             // message / prompt text; for FileSelect the filter
    std::string defaultFile;      // FileSelect only
    std::string directory;        // FileSelect only
    int buttonLabel = 0;          // FileSelect only
};

// Scripted answers, used in order; a pop-up with no scripted answer gets the
// default: cancel / no / empty prompt cancelled.
void answerFile(const std::string& path);   // next FileSelectPopup chooses path
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
// and their callbacks run at the next ProcessSystemEvents.
void commit(int panel, int control, const Value& v);   // set value, then EVENT_COMMIT if hot
void commitIndex(int panel, int control, int index);   // ring / list: pick an item
void click(int panel, int control);                    // EVENT_LEFT_CLICK, then EVENT_COMMIT for buttons
void rightDoubleClick(int panel, int control);
void clickGraph(int panel, int control, double x, double y);  // cursor placed, EVENT_COMMIT
void closePanel(int panel);                            // EVENT_CLOSE to the panel callback
void pickMenu(int menuBar, int menuItem);
void pressKey(int key);

// Delivers everything queued (ProcessSystemEvents until the queue is empty).
void deliver();

// Counts for tests and benchmarks.
int beeps();
bool waitCursor();

}  // namespace ui::headless
