// The step list in the lower area of the transient panel: the entries of one
// mode's list, read whole when the area opens or the mode changes, kept in a
// local copy, and each edited entry sent at once.
#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "eload/eload_access.h"
#include "eload/eload_private.h"
#include "link/scpi.h"
#include "ui/toolkit.h"

#include <algorithm>
#include <array>

namespace {

struct StepState {
    int length = 0; // entries the instrument has, 0 until asked
    int rows = 0; // entries of the copy that were read
    int selected = 0; // index from 0 of the entry shown
    std::array<float, ELOAD_STEP_MAX> values{};
    std::array<int, ELOAD_STEP_MAX> times{};
};

StepState sl;

int step_mode(int panel) { return eload_int(panel, ELOAD_TRAN_STEP_MODE); }

// The entry controls show the selected entry of the copy; with no entry read
// they are left alone.
void show_entry(int panel)
{
    if (sl.rows == 0)
        return;
    sl.selected = std::clamp(sl.selected, 0, sl.rows - 1);
    SetCtrlVal(panel, ELOAD_TRAN_STEP_VALUE, static_cast<double>(sl.values[sl.selected]));
    SetCtrlVal(panel, ELOAD_TRAN_STEP_TIME, sl.times[sl.selected]);
    SetCtrlIndex(panel, ELOAD_TRAN_STEP_LIST, sl.selected);
}

// The value limits of the mode's entries, from entry 1; a limit the
// instrument does not give stays as it was.
void value_limits(int mode, int panel)
{
    float hi = 0.0f, lo = 0.0f;
    int unused = 0;
    const bool haveHi = eload_access_step(mode, 1, &hi, &unused, 0, 1, 0, 0) != 0;
    const bool haveLo = eload_access_step(mode, 1, &lo, &unused, 0, 0, 1, 0) != 0;
    const double max = hi, min = lo;
    scpi_set_limits(panel, ELOAD_TRAN_STEP_VALUE, haveLo ? &min : nullptr, haveHi ? &max : nullptr);
}

int load(int panel)
{
    sl.selected = 0;
    const int mode = step_mode(panel);
    if (sl.length == 0) {
        int n = 0;
        if (!eload_access_int(ELOAD_I_UTIL_STEP_COUNT, &n, 1, 0, 0) || n < 1)
            return -1;
        sl.length = std::min(n, ELOAD_STEP_MAX);
    }
    ClearListCtrl(panel, ELOAD_TRAN_STEP_LIST);
    SetWaitCursor(1);
    eload_step_show_row(0, 0.0f, 0, 0, 1);
    sl.rows = 0;
    for (int n = 1; n <= sl.length; ++n) {
        float value = 0.0f;
        int time = 0;
        if (!eload_access_step(mode, n, &value, &time, 0, 0, 0, 0) ||
            !eload_access_step(mode, n, &value, &time, 1, 0, 0, 0))
            break;
        sl.values[n - 1] = value;
        sl.times[n - 1] = time;
        eload_step_show_row(n - 1, value, time, 1, 0);
        sl.rows = n;
    }
    // Only the entries read can be chosen; an empty list still keeps 1..1.
    const double first = 1.0, last = std::max(sl.rows, 1);
    scpi_set_limits(panel, ELOAD_TRAN_STEP_ENTRY, &first, &last);
    value_limits(mode, panel);
    SetWaitCursor(0);
    SetCtrlVal(panel, ELOAD_TRAN_STEP_ENTRY, sl.selected + 1);
    show_entry(panel);
    return 0;
}

// Sends the selected entry's value or dwell time.  The row changes only when
// the instrument took it; otherwise the copy and the controls show what it holds.
void edit(int panel, int timeFlag)
{
    if (sl.rows == 0)
        return;
    const int mode = step_mode(panel);
    const int n = sl.selected + 1;
    float& value = sl.values[sl.selected];
    int& time = sl.times[sl.selected];
    if (timeFlag)
        GetCtrlVal(panel, ELOAD_TRAN_STEP_TIME, &time);
    else
        GetCtrlVal(panel, ELOAD_TRAN_STEP_VALUE, &value);
    if (!eload_access_step(mode, n, &value, &time, timeFlag, 0, 0, 1)) {
        if (!eload_access_step(mode, n, &value, &time, timeFlag, 0, 0, 0))
            return;
        show_entry(panel);
    }
    eload_step_show_row(sl.selected, value, time, 0, 0);
}

} // namespace

void eload_step_forget() { sl = StepState{}; }

void eload_step_open()
{
    const int panel = eload_panel(ELOAD_TRAN);
    const int mainP = eload_panel(ELOAD_MAIN);
    if (panel < 0 || mainP < 0)
        return;
    SetCtrlVal(panel, ELOAD_TRAN_STEP_MODE, eload_int(mainP, ELOAD_MAIN_MODE));
    step_access_cb(panel, ELOAD_TRAN_STEP_MODE, EVENT_COMMIT, nullptr, 0, 0);
}

int step_access_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    switch (control) {
    case ELOAD_TRAN_STEP_MODE:
        return load(panel);
    case ELOAD_TRAN_STEP_LIST:
        GetCtrlIndex(panel, control, &sl.selected);
        SetCtrlVal(panel, ELOAD_TRAN_STEP_ENTRY, sl.selected + 1);
        show_entry(panel);
        break;
    case ELOAD_TRAN_STEP_ENTRY: {
        int entry = 1;
        GetCtrlVal(panel, control, &entry);
        sl.selected = entry - 1;
        show_entry(panel);
        break;
    }
    case ELOAD_TRAN_STEP_VALUE:
        edit(panel, 0);
        break;
    case ELOAD_TRAN_STEP_TIME:
        edit(panel, 1);
        break;
    default:
        break;
    }
    return 0;
}
