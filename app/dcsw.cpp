// The DC sweep list: up to ten output operating points (a DC level and an AC
// amplitude in percent of it), each swept once by a REPEAT run.
#include "app/fra.h"

#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"
#include "util/kv_util.h"

#include <cstdio>
#include <string>

namespace {

// Column placement of the list items: ESC 'p' <pixels> 'l'.
constexpr const char* kColDc = "\033p40l";
constexpr const char* kColAcPercent = "\033p85l";
constexpr const char* kColAcVolt = "\033p135l";

struct DcswState {
    double dc[DCSW_STEPS] = {};
    double ac[DCSW_STEPS] = {};
    int shown = 0;
};

DcswState st;

double ac_volts(double acPercent, double dc) { return acPercent * dc * 0.01; }

std::string step_number(int n)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string row_label(int index)
{
    std::string label = step_number(index + 1);
    const double dc = st.dc[index];
    const double ac = st.ac[index];
    if (dc > 0.0) {
        // Two decimals never fall below the field widths of 3 and 4, so no padding is due.
        label += kColDc + kv_util_ftoa(dc, 2) + " ";
        label += kColAcPercent + kv_util_ftoa(ac, 2) + " ";
        label += kColAcVolt + kv_util_ftoa(ac_volts(ac, dc), 3);
    } else {
        label += std::string(kColDc) + "----- ";
        label += std::string(kColAcPercent) + "------  ";
        label += std::string(kColAcVolt) + "------";
    }
    return label;
}

int clamp_step(int n) { return n < 1 ? 1 : (n > DCSW_STEPS ? DCSW_STEPS : n); }

// The step number (1 to 10) in the window's STEP field.
int current_step()
{
    int n = 1;
    GetCtrlVal(dcswP, DCSW_PANEL_STEP, &n);
    return clamp_step(n);
}

void show_step(int n)
{
    SetCtrlVal(dcswP, DCSW_PANEL_STEP, n);
    SetCtrlVal(dcswP, DCSW_PANEL_DC, st.dc[n - 1]);
    SetCtrlVal(dcswP, DCSW_PANEL_AC, st.ac[n - 1]);
    SetCtrlVal(dcswP, DCSW_PANEL_ACV, ac_volts(st.ac[n - 1], st.dc[n - 1]));
    SetCtrlIndex(dcswP, DCSW_PANEL_LIST, n);
}

} // namespace

double dcsw_get_dc(int index) { return index >= 0 && index < DCSW_STEPS ? st.dc[index] : 0.0; }
double dcsw_get_ac(int index) { return index >= 0 && index < DCSW_STEPS ? st.ac[index] : 0.0; }

void dcsw_set_step(int index, double dc, double ac)
{
    if (index < 0 || index >= DCSW_STEPS)
        return;
    st.dc[index] = dc;
    st.ac[index] = ac;
}

int dcsw_panel_shown() { return st.shown; }

void dcsw_panel_edit(int, int menuItem, void*, int)
{
    if (menuItem == MAIN_MENU_SWEEP_DCSW)
        dcsw_panel_show(1);
}

int dcsw_panel_close(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        dcsw_panel_show(0);
    return 0;
}

void dcsw_panel_show(int show)
{
    st.shown = show;
    if (!show) {
        if (dcswP >= 0)
            HidePanel(dcswP);
        return;
    }
    if (dcswP < 0) {
        dcswP = LoadPanel(0, IFC_PANEL_FILE, DCSW_PANEL);
        if (dcswP < 0) {
            dcswP = -1;
            return;
        }
    }
    DisplayPanel(dcswP);
    ClearListCtrl(dcswP, DCSW_PANEL_LIST);
    dcsw_list_row(0, 0, 1);
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_list_row(i, 1, 0);
    show_step(current_step());
}

void dcsw_list_row(int index, int insert, int header)
{
    if (dcswP < 0)
        return;
    int count = 0;
    GetNumListItems(dcswP, DCSW_PANEL_LIST, &count);
    if (header) {
        const std::string label =
            std::string("STEP") + kColDc + "DC(V)" + kColAcPercent + "AC(%) " + kColAcVolt + "AC(V)";
        if (count == 0)
            InsertListItem(dcswP, DCSW_PANEL_LIST, 0, label.c_str(), -1);
        else
            ReplaceListItem(dcswP, DCSW_PANEL_LIST, 0, label.c_str(), -1);
        return;
    }
    if (index < 0 || index >= DCSW_STEPS)
        return;
    const std::string label = row_label(index);
    if (insert)
        InsertListItem(dcswP, DCSW_PANEL_LIST, index + 1 <= count ? index + 1 : -1, label.c_str(),
            index);
    else if (index + 1 < count)
        ReplaceListItem(dcswP, DCSW_PANEL_LIST, index + 1, label.c_str(), index);
}

int dcsw_listeditCB(int, int control, int event, void*, int, int)
{
    if (event != EVENT_COMMIT || dcswP < 0)
        return 0;
    switch (control) {
    case DCSW_PANEL_STEP:
        show_step(current_step());
        break;
    case DCSW_PANEL_LIST: {
        int n = 1;
        GetCtrlIndex(dcswP, DCSW_PANEL_LIST, &n); // the header is item 0
        show_step(clamp_step(n));
        break;
    }
    case DCSW_PANEL_DC:
    case DCSW_PANEL_AC: {
        const int n = current_step();
        GetCtrlVal(dcswP, DCSW_PANEL_DC, &st.dc[n - 1]);
        GetCtrlVal(dcswP, DCSW_PANEL_AC, &st.ac[n - 1]);
        dcsw_list_row(n - 1, 0, 0);
        SetCtrlVal(dcswP, DCSW_PANEL_ACV, ac_volts(st.ac[n - 1], st.dc[n - 1]));
        break;
    }
    default:
        break;
    }
    return 0;
}
