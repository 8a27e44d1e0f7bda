// The protection and list panels of the supply.
#include "epower/epower.h"

#include "epower/epowerPanel.h"
#include "epower/epower_private.h"
#include "link/scpi.h"
#include "ui/toolkit.h"

#include <algorithm>
#include <array>

namespace {

// The over-current level may be set this far above the highest current setting.
constexpr double kOcpHeadroom = 1.1;

// The protection panel's controls and their parameters, in the order they are
// read; the over-current level's range is worked out, not asked.
struct ProtRow {
    int control, param;
    bool integer;
};
constexpr ProtRow kProtRows[] = {
    {EPOWER_PROT_OVP_STATE, EPOWER_VOLT_PROT_STAT, true},
    {EPOWER_PROT_OVP_LEVEL, EPOWER_VOLT_PROT, false},
    {EPOWER_PROT_UVP_STATE, EPOWER_UND_PROT_STAT, true},
    {EPOWER_PROT_UVP_LEVEL, EPOWER_VOLT_PROT_UND, false},
    {EPOWER_PROT_OCP_STATE, EPOWER_CURR_PROT_STAT, true},
    {EPOWER_PROT_OCP_LEVEL, EPOWER_CURR_PROT, false},
};

struct ListState {
    int known = 0; // entries of a list, found by the first load of the run
    int loaded = 0; // entries the last load read whole: the only ones shown
    int selected = 0;
    std::array<float, EPOWER_LIST_MAX> values{};
    std::array<int, EPOWER_LIST_MAX> times{};
};

ListState ls;

int list_type()
{
    int type = 0;
    GetCtrlVal(epower_panel_list(), EPOWER_LIST_TYPE, &type);
    return type;
}

int ctrl_int(int panel, int control)
{
    int v = 0;
    GetCtrlVal(panel, control, &v);
    return v;
}

// The wait cursor for as long as a panel is read.
struct WaitCursor {
    WaitCursor() { SetWaitCursor(1); }
    ~WaitCursor() { SetWaitCursor(0); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

void show_entry()
{
    const int p = epower_panel_list();
    const bool any = ls.loaded > 0;
    SetCtrlAttribute(p, EPOWER_LIST_ENTRY, ATTR_DIMMED, any ? 0 : 1);
    SetCtrlAttribute(p, EPOWER_LIST_VALUE, ATTR_DIMMED, any ? 0 : 1);
    SetCtrlAttribute(p, EPOWER_LIST_TIME, ATTR_DIMMED, any ? 0 : 1);
    if (!any)
        return;
    ls.selected = std::clamp(ls.selected, 0, ls.loaded - 1);
    SetCtrlVal(p, EPOWER_LIST_ENTRY, ls.selected + 1);
    SetCtrlVal(p, EPOWER_LIST_VALUE, static_cast<double>(ls.values[ls.selected]));
    SetCtrlVal(p, EPOWER_LIST_TIME, ls.times[ls.selected]);
    SetCtrlIndex(p, EPOWER_LIST_BOX, ls.selected);
}

// Reads the list of the selected type into the list box; -1 when an
// exchange failed (the known length is then found again at the next load).
int load_list()
{
    const int p = epower_panel_list();
    const int type = list_type();
    ls.selected = 0;
    ls.loaded = 0;
    if (!scpi_refresh_int(p, EPOWER_LIST_STATE, epower_int_headers[type == 0 ? EPOWER_LIST_VOLT_STAT : EPOWER_LIST_CURR_STAT], 0)) {
        ClearListCtrl(p, EPOWER_LIST_BOX);
        show_entry();
        ls.known = 0;
        return -1;
    }
    WaitCursor wait;
    ClearListCtrl(p, EPOWER_LIST_BOX);
    epower_list_show_row(0, 0.0f, 0, 0, 1);
    const int limit = ls.known > 0 ? ls.known : EPOWER_LIST_MAX;
    int n = 0;
    while (n < limit) {
        float value = 0.0f;
        int time = 0;
        if (!epower_access_list(type, n + 1, &value, nullptr, 0, 0, 0, 0) ||
            !epower_access_list(type, n + 1, nullptr, &time, 1, 0, 0, 0))
            break;
        ls.values[static_cast<std::size_t>(n)] = value;
        ls.times[static_cast<std::size_t>(n)] = time;
        epower_list_show_row(n, value, time, 1, 0);
        ++n;
    }
    const bool cut = ls.known > 0 && n < ls.known;
    if (ls.known == 0)
        ls.known = n;
    ls.loaded = n;
    // The entry range never inverts, even for an empty list.
    scpi_set_range(p, EPOWER_LIST_ENTRY, 1.0, static_cast<double>(std::max(1, n)));
    const char* setting = epower_float_headers[type == 0 ? EPOWER_VSET : EPOWER_ISET];
    float hi = 0.0f, lo = 0.0f;
    const bool limits = scpi_access_float(setting, &hi, 1, 0, 0) && scpi_access_float(setting, &lo, 0, 1, 0) &&
        scpi_set_range(p, EPOWER_LIST_VALUE, static_cast<double>(lo), static_cast<double>(hi));
    show_entry();
    if (cut || !limits) {
        ls.known = 0;
        return -1;
    }
    return 0;
}

// An edited entry's value or time sent; a refused one is read back.
int send_entry(bool time_flag)
{
    const int p = epower_panel_list();
    if (ls.loaded == 0)
        return 0;
    const int type = list_type();
    const auto i = static_cast<std::size_t>(ls.selected);
    float value = ls.values[i];
    int time = ls.times[i];
    if (time_flag)
        GetCtrlVal(p, EPOWER_LIST_TIME, &time);
    else
        GetCtrlVal(p, EPOWER_LIST_VALUE, &value);
    const int ok = epower_access_list(type, ls.selected + 1, &value, &time, time_flag ? 1 : 0, 0, 0, 1);
    if (ok == 0) {
        // The instrument keeps what it had: show that (or what was shown before).
        epower_access_list(type, ls.selected + 1, &ls.values[i], &ls.times[i], time_flag ? 1 : 0, 0, 0, 0);
    } else {
        ls.values[i] = value;
        ls.times[i] = time;
    }
    epower_list_show_row(ls.selected, ls.values[i], ls.times[i], 0, 0);
    show_entry();
    return ok != 0 ? 0 : -1;
}

} // namespace

void epower_list_forget()
{
    ls = ListState{};
}

int epower_list_known_length() { return ls.known; }

int epower_prot_refresh()
{
    const int p = epower_panel_prot();
    if (p < 0)
        return -1;
    for (const ProtRow& r : kProtRows) {
        if (r.control == EPOWER_PROT_OCP_LEVEL)
            break;
        const int ok = r.integer ? scpi_refresh_int(p, r.control, epower_int_headers[r.param], 0)
                                 : scpi_refresh_float(p, r.control, epower_float_headers[r.param], 1);
        if (ok == 0)
            return -1;
    }
    // The over-current level reaches a little above the highest current setting.
    float iset_max = 0.0f;
    if (!epower_access_float(EPOWER_ISET, &iset_max, 1, 0, 0) ||
        !scpi_set_range(p, EPOWER_PROT_OCP_LEVEL, 0.0, static_cast<double>(iset_max) * kOcpHeadroom))
        return -1;
    return scpi_refresh_float(p, EPOWER_PROT_OCP_LEVEL, epower_float_headers[EPOWER_CURR_PROT], 0) != 0 ? 0 : -1;
}

int epower_list_refresh()
{
    const int p = epower_panel_list();
    if (p < 0)
        return -1;
    if (!scpi_refresh_int(p, EPOWER_LIST_COUNT, epower_int_headers[EPOWER_LIST_COUNT_PARAM], 0) ||
        !scpi_refresh_int(p, EPOWER_LIST_TIME_UNIT, epower_int_headers[EPOWER_LIST_TIME_UNIT_PARAM], 0))
        return -1;
    return load_list();
}

int epower_prot_panel_cb(int panel, int control, int event, void*, int, int)
{
    const int p = epower_panel_prot();
    if (event == EVENT_RIGHT_DOUBLE_CLICK) {
        int visible = 0;
        GetCtrlAttribute(epower_panel_main(), EPOWER_MAIN_DEADLINE, ATTR_VISIBLE, &visible);
        SetCtrlAttribute(epower_panel_main(), EPOWER_MAIN_DEADLINE, ATTR_VISIBLE, visible != 0 ? 0 : 1);
        return 0;
    }
    if (event != EVENT_COMMIT || p < 0)
        return 0;
    const int on = ctrl_int(panel, control);
    if (on != 0) {
        WaitCursor wait;
        epower_prot_refresh();
        DisplayPanel(p);
    } else {
        HidePanel(p);
    }
    return 0;
}

int epower_step_panel_cb(int panel, int control, int event, void*, int, int)
{
    const int p = epower_panel_list();
    if (event != EVENT_COMMIT || p < 0)
        return 0;
    if (ctrl_int(panel, control) == 0) {
        HidePanel(p);
        return 0;
    }
    DisplayPanel(p);
    WaitCursor wait;
    epower_list_refresh();
    return 0;
}

int epower_prot_fun_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    for (const ProtRow& r : kProtRows) {
        if (r.control == control)
            return (r.integer ? epower_send_int(panel, control, r.param) : epower_send_float(panel, control, r.param)) != 0 ? 0 : -1;
    }
    return 0;
}

int epower_step_fun_cb(int panel, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || epower_panel_list() < 0 || panel != epower_panel_list())
        return 0;
    switch (control) {
    case EPOWER_LIST_COUNT:
        return epower_send_int(panel, control, EPOWER_LIST_COUNT_PARAM) != 0 ? 0 : -1;
    case EPOWER_LIST_TIME_UNIT:
        return epower_send_int(panel, control, EPOWER_LIST_TIME_UNIT_PARAM) != 0 ? 0 : -1;
    case EPOWER_LIST_STATE:
        return epower_send_int(panel, control, list_type() == 0 ? EPOWER_LIST_VOLT_STAT : EPOWER_LIST_CURR_STAT) != 0 ? 0 : -1;
    case EPOWER_LIST_TYPE:
        return load_list();
    case EPOWER_LIST_ENTRY:
        ls.selected = ctrl_int(panel, control) - 1;
        show_entry();
        return 0;
    case EPOWER_LIST_BOX: {
        int row = 0;
        GetCtrlIndex(panel, control, &row);
        ls.selected = row;
        show_entry();
        return 0;
    }
    case EPOWER_LIST_VALUE:
        return send_entry(false);
    case EPOWER_LIST_TIME:
        return send_entry(true);
    default:
        return 0;
    }
}
