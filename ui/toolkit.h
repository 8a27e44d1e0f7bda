// The user-interface toolkit: panels with numbered controls, typed values,
// callbacks bound by name, graphs, pop-ups and an event loop.  The calls have
// the shape of the classic instrument-panel libraries so that application code
// reads naturally; everything works on a Qt-free model (ui/model.h) and tells
// the active renderer (Qt window system or the headless driver) what changed.
//
// Results: operations return 0 (or a handle / count >= 0) on success and a
// negative UIE_* code on failure.  Nothing throws.
#pragma once

#include <cstddef>
#include <string>

// ---- events -------------------------------------------------------------
enum {
    EVENT_NONE = 0,
    EVENT_COMMIT = 1,
    EVENT_VAL_CHANGED = 2,
    EVENT_LEFT_CLICK = 3,
    EVENT_LEFT_DOUBLE_CLICK = 4,
    EVENT_RIGHT_CLICK = 5,
    EVENT_RIGHT_DOUBLE_CLICK = 6,
    EVENT_KEYPRESS = 7,
    EVENT_GOT_FOCUS = 8,
    EVENT_LOST_FOCUS = 9,
    EVENT_CLOSE = 11,
};

// Control callback: (panel, control, event, callback data, event data 1, event data 2) -> 0.
using CtrlCallbackPtr = int (*)(int panel, int control, int event, void* callbackData,
    int eventData1, int eventData2);
// Panel callback: the same without the control.
using PanelCallbackPtr = int (*)(int panel, int event, void* callbackData, int eventData1,
    int eventData2);
// Menu callback: (menu bar, menu item, callback data, panel).
using MenuCallbackPtr = void (*)(int menuBar, int menuItem, void* callbackData, int panel);

// ---- error codes ----------------------------------------------------------
enum {
    UIE_NO_ERROR = 0,
    UIE_NOT_INITIALIZED = -1,
    UIE_BAD_PANEL = -4,
    UIE_BAD_CONTROL = -5,
    UIE_BAD_ATTRIBUTE = -6,
    UIE_TYPE_MISMATCH = -7,
    UIE_INDEX_OUT_OF_RANGE = -8,
    UIE_RESOURCE_NOT_FOUND = -9,
    UIE_PANEL_NOT_FOUND = -10,
    UIE_CALLBACK_NOT_FOUND = -11,
    UIE_VALUE_NOT_FOUND = -12,
    UIE_BAD_MENU = -13,
    UIE_BAD_PLOT = -14,
    UIE_BAD_ARGUMENT = -15,
    UIE_USER_CANCEL = -16,
    UIE_NOT_OPERABLE = -17, // user input on a dimmed, hidden or indicator control
    UIE_BUFFER_TOO_SMALL = -18, // a result that does not fit the caller's buffer
    UIE_WRONG_CTRL_KIND = -19, // an operation the control's kind does not have
    UIE_NOT_SUPPORTED = -20, // the renderer in force cannot do it
    UIE_FILE_ERROR = -21, // a file could not be written
    UIE_OUT_OF_RANGE = -22, // user input outside a numeric control's range: refused
};
const char* GetUILErrorString(int code);

// ---- attributes (panel and control) ---------------------------------------
enum {
    ATTR_TITLE = 100, // panel title (text)
    ATTR_TOP = 101,
    ATTR_LEFT = 102,
    ATTR_HEIGHT = 103,
    ATTR_WIDTH = 104,
    ATTR_VISIBLE = 105, // panel or control, 0/1
    ATTR_DIMMED = 106, // control, 0/1
    ATTR_PRECISION = 107, // numeric control: digits after the point
    ATTR_INCR_VALUE = 108, // numeric control: arrow step (double or int)
    ATTR_MAX_ENTRY_LENGTH = 109, // string control: characters a user may type
    ATTR_DATA_TYPE = 110, // read only: VAL_INTEGER, VAL_DOUBLE, VAL_FLOAT, VAL_STRING
    ATTR_CTRL_KIND = 111, // read only: one of UiCtrlKind
    ATTR_ON_TEXT = 112, // toggle
    ATTR_OFF_TEXT = 113, // toggle
    ATTR_XNAME = 120, // graph axis names
    ATTR_YNAME = 121,
    ATTR_XMAP_MODE = 122, // VAL_LINEAR / VAL_LOG
    ATTR_YMAP_MODE = 123,
    ATTR_XREVERSE = 124, // 0/1
    ATTR_YREVERSE = 125,
    ATTR_XGRID_VISIBLE = 126,
    ATTR_YGRID_VISIBLE = 127,
    ATTR_PLOT_BGCOLOR = 128,
    ATTR_NUM_PLOTS = 129, // read only
    ATTR_EQUAL_SCALE = 130, // graph: 0/1, one data unit is as long on both (linear) axes
    ATTR_TOOLTIP_TEXT = 131, // control: the help shown on hovering; read back, a numeric
    // control without one set gives its range and unit ("Range: 0 to 100 V")
    ATTR_SCALE_CONTENTS_ON_RESIZE = 580, // panel: 0/1
    ATTR_CTRL_MODE = 620, // VAL_INDICATOR / VAL_HOT / VAL_NORMAL
    ATTR_LABEL_TEXT = 641, // control label (for a list box: its header line)
    ATTR_TEXT_BGCOLOR = 680,
    ATTR_TEXT_COLOR = 690,
    ATTR_MAX_VALUE = 730,
    ATTR_MIN_VALUE = 731,
};

// control modes
enum { VAL_INDICATOR = 0,
    VAL_HOT = 1,
    VAL_NORMAL = 2 };
// data types
enum { VAL_NO_TYPE = 0,
    VAL_INTEGER = 1,
    VAL_DOUBLE = 2,
    VAL_FLOAT = 3,
    VAL_STRING = 4 };
// axis mapping and scaling
enum { VAL_LINEAR = 0,
    VAL_LOG = 1 };
enum { VAL_MANUAL = 0,
    VAL_AUTOSCALE = 1 };
enum { VAL_XAXIS = 0,
    VAL_BOTTOM_XAXIS = 0,
    VAL_LEFT_YAXIS = 1,
    VAL_TOP_XAXIS = 2,
    VAL_RIGHT_YAXIS = 3 };
// plot deletion refresh
enum { VAL_IMMEDIATE_DRAW = 0,
    VAL_DELAYED_DRAW = 1 };
enum { VAL_ALL_PLOTS = -1 };

// point styles (the numbers are part of the drawing vocabulary of the application)
enum {
    VAL_EMPTY_SQUARE = 0,
    VAL_SOLID_SQUARE = 1,
    VAL_ASTERISK = 2,
    VAL_SOLID_DIAMOND = 5,
    VAL_SIMPLE_DOT = 10,
    VAL_EMPTY_CIRCLE = 11,
    VAL_SOLID_CIRCLE = 12,
    VAL_SMALL_CROSS = 17,
    VAL_EMPTY_DIAMOND = 21,
};

// colours as 0xRRGGBB
enum : int {
    VAL_BLACK = 0x000000,
    VAL_WHITE = 0xFFFFFF,
    VAL_RED = 0xFF0000,
    VAL_GREEN = 0x00FF00,
    VAL_BLUE = 0x0000FF,
    VAL_MAGENTA = 0xFF00FF,
    VAL_CYAN = 0x00FFFF,
    VAL_YELLOW = 0xFFFF00,
    VAL_DK_RED = 0x800000,
    VAL_DK_BLUE = 0x000080,
    VAL_DK_GREEN = 0x008000,
    VAL_DK_CYAN = 0x008080,
    VAL_DK_MAGENTA = 0x800080,
    VAL_DK_YELLOW = 0x808000,
    VAL_GRAY = 0x808080,
    VAL_LT_GRAY = 0xCCCCCC,
};
inline int MakeColor(int r, int g, int b) { return ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF); }

// file selection
enum { VAL_OK_BUTTON = 0,
    VAL_SAVE_BUTTON = 1,
    VAL_SELECT_BUTTON = 2,
    VAL_LOAD_BUTTON = 3 };
enum { VAL_NO_FILE_SELECTED = 0,
    VAL_EXISTING_FILE_SELECTED = 1,
    VAL_NEW_FILE_SELECTED = 2 };
constexpr std::size_t MAX_PATHNAME_LEN = 260;

// GetUserEvent wait modes
enum { VAL_NO_WAIT = 0,
    VAL_WAIT = 1 };

// key codes delivered by GetKey beyond plain characters
enum { VAL_BACKSPACE_VKEY = 0x100,
    VAL_DELETE_VKEY = 0x200,
    VAL_ESC_VKEY = 0x300,
    VAL_TAB_VKEY = 0x400,
    VAL_ENTER_VKEY = 0x500 };

// ---- run time ---------------------------------------------------------------
// Starts the run time: 1 on success, 0 on failure (no renderer can start).
int InitCVIRTE(void* instance, char** argv, void* reserved);
// Library errors are always returned to the caller and never stop the program;
// with 1 they are also reported on stderr.  Gives the previous setting.
int SetBreakOnLibraryErrors(int on);
// Lets the renderer collect input (waiting about a millisecond when nothing is
// queued), then runs the events queued at that moment, one at a time, on their
// callbacks.  Callbacks may call it again.  Events for panels discarded
// meanwhile are dropped.
int ProcessSystemEvents();
// Takes one pending user event without running its callback: its code
// (EVENT_NONE if none), with its panel and control (a menu event: EVENT_COMMIT
// with the menu bar and the item).  Queued actions ahead of it run.
int GetUserEvent(int waitMode, int* panel, int* control);
int KeyHit();
int GetKey();
int SetWaitCursor(int on);
void CVI_Beep();
double Timer(); // seconds on a monotonic clock since the run time started
// The executable's folder, or the per-user configuration folder when that is not
// writable (see ui::projectDirFor).  dir holds MAX_PATHNAME_LEN bytes (or size);
// 0, or UIE_BUFFER_TOO_SMALL with dir emptied when the path does not fit.
int GetProjectDir(char* dir);
int GetProjectDir(char* dir, std::size_t size);

// ---- panels and menu bars -------------------------------------------------------
int LoadPanel(int parent, const char* file, int resourceId); // handle > 0 or negative
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);
int SetPanelAttribute(int panel, int attribute, int value);
int SetPanelAttribute(int panel, int attribute, const char* value);
int GetPanelAttribute(int panel, int attribute, int* value);
int GetPanelAttribute(int panel, int attribute, std::string* value);
int GetPanelAttribute(int panel, int attribute, char* value, std::size_t size);

int LoadMenuBar(int panel, const char* file, int resourceId); // handle >= 1 or below 1
int DiscardMenuBar(int menuBar);
int SetMenuBarAttribute(int menuBar, int menuItem, int attribute, int value); // ATTR_DIMMED, ATTR_VISIBLE
int GetMenuBarAttribute(int menuBar, int menuItem, int attribute, int* value);

// ---- control values --------------------------------------------------------------
// Numeric values outside a control's range are coerced into it.  On a text box,
// SetCtrlVal appends the text.  On a ring or list box the value selects the item
// that carries it.
//  - Numbers convert freely between int, double and float; a fractional number
//    becomes an int by rounding to nearest, halves away from zero (2.5 -> 3,
//    -2.5 -> -3), saturating at the int range.  NaN is refused by integer
//    controls.  Float controls store the value rounded to float.
//  - Text and numbers never convert: UIE_TYPE_MISMATCH.  Buttons, graphs and
//    decorations have no value: UIE_WRONG_CTRL_KIND.
//  - Toggles and LEDs hold 0 or 1 (any non-zero value is 1).
//  - A text box's text is its lines joined by '\n'.  Appended text continues the
//    last line and each '\n' in it starts a new one, so "a\n" leaves an empty
//    last line that the next append fills.  GetCtrlVal gives the whole text.
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* value);
int SetCtrlVal(int panel, int control, const std::string& value);
int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, float* value);
int GetCtrlVal(int panel, int control, std::string* value);
// Text into a caller's buffer of size bytes, always terminated, cut if longer.
int GetCtrlValStr(int panel, int control, char* buffer, std::size_t size);

int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, double value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* value);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int GetCtrlAttribute(int panel, int control, int attribute, double* value);
int GetCtrlAttribute(int panel, int control, int attribute, std::string* value);
// The control's own rectangle; its label (drawn above it) is not included.
int GetCtrlBoundingRect(int panel, int control, int* top, int* left, int* height, int* width);

// ---- rings and list boxes ----------------------------------------------------------------
// A label may hold the column escape: ESC 'p' <pixels> 'l' places the rest at that offset.
int GetCtrlIndex(int panel, int control, int* index);
int SetCtrlIndex(int panel, int control, int index);
int GetNumListItems(int panel, int control, int* count);
int GetLabelFromIndex(int panel, int control, int index, std::string* label);
int GetLabelFromIndex(int panel, int control, int index, char* label, std::size_t size);
int GetValueFromIndex(int panel, int control, int index, int* value);
int GetValueFromIndex(int panel, int control, int index, double* value);
int GetValueFromIndex(int panel, int control, int index, std::string* value);
int InsertListItem(int panel, int control, int index, const char* label, int value); // index -1: append
int InsertListItem(int panel, int control, int index, const char* label, double value);
int InsertListItem(int panel, int control, int index, const char* label, const char* value);
int ReplaceListItem(int panel, int control, int index, const char* label, int value);
int ReplaceListItem(int panel, int control, int index, const char* label, double value);
int ReplaceListItem(int panel, int control, int index, const char* label, const char* value);
// Edits keep the selection on its item; a deleted selection moves to the item
// now at its place (or the new last one); an empty list has index -1.
int DeleteListItem(int panel, int control, int index, int count); // count -1: to the end
int ClearListCtrl(int panel, int control);

// ---- text boxes ---------------------------------------------------------------------
// A text with '\n' inserts several lines.  Index -1 (or the line count): after the
// last line; else before that line.
int InsertTextBoxLine(int panel, int control, int index, const char* text);
int ResetTextBox(int panel, int control, const char* text);
int GetNumTextBoxLines(int panel, int control, int* count);

// ---- graphs ----------------------------------------------------------------------------
int PlotPoint(int panel, int control, double x, double y, int pointStyle, int color); // plot handle
int PlotLine(int panel, int control, double x1, double y1, double x2, double y2, int color);
int DeleteGraphPlot(int panel, int control, int plotHandle, int refresh); // VAL_ALL_PLOTS for all
int SetAxisScalingMode(int panel, int control, int axis, int mode, double min, double max);
int GetAxisScalingMode(int panel, int control, int axis, int* mode, double* min, double* max);
int GetGraphCursor(int panel, int control, int cursor, double* x, double* y);
int SetGraphCursor(int panel, int control, int cursor, double x, double y);
int RefreshGraph(int panel, int control);
// The graph's legend: one line per item, a marker of the item's style and
// colour before its text.  Items stay until the legend is cleared.
int AddGraphLegendItem(int panel, int control, const char* text, int color, int pointStyle);
int ClearGraphLegend(int panel, int control);
// Writes a picture of a panel's graphs, with their legends: SVG when the path
// ends in ".svg", PNG otherwise.  UIE_NOT_SUPPORTED when the renderer in
// force cannot draw (the headless driver alone), UIE_FILE_ERROR when the
// file cannot be written.
int SavePanelPicture(int panel, const char* path);

// ---- pop-ups ----------------------------------------------------------------------------------
int MessagePopup(const char* title, const char* message);
// The same for something that failed: shown with the error icon.
int ErrorPopup(const char* title, const char* message);
int ConfirmPopup(const char* title, const char* message); // 1 yes, 0 no
// Asks for a text of at most maxLength characters into buffer (maxLength + 1 bytes);
// 0 on success, negative when cancelled.
int PromptPopup(const char* title, const char* message, char* buffer, int maxLength);
// 0 when nothing was chosen, VAL_EXISTING_FILE_SELECTED or VAL_NEW_FILE_SELECTED with
// the chosen path in path (pathSize bytes, MAX_PATHNAME_LEN unless given).
int FileSelectPopup(const char* defaultDirectory, const char* defaultFileSpec, const char* fileTypeList,
    const char* title, int buttonLabel, int restrictDirectory, int restrictExtension,
    int allowCancel, int allowMakeDirectory, char* path,
    std::size_t pathSize = MAX_PATHNAME_LEN);
