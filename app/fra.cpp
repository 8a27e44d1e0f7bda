#include "app/fra.h"

#include "app/fra_private.h"
#include "app/ifc.h"
#include "app/profile.h"
#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "module/caldata.h"
#include "settings/inidata.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"

#include <string>

int ifcP = -1;
int ifcMenu = -1;
int dcswP = -1;

namespace {

int panel_expanded = 0;
const IfcLoadWindow* load_window = nullptr;

// Menu items without a callback in the resource are shown dimmed rather
// than doing nothing.
void dim_items_without_callback(int menuBar)
{
    const ui::MenuBar* mb = ui::menuBar(menuBar);
    if (!mb)
        return;
    for (const ui::Menu& m : mb->menus)
        for (const ui::MenuItem& item : m.items)
            if (!item.separator && !item.callback)
                SetMenuBarAttribute(menuBar, item.id, ATTR_DIMMED, 1);
}

// The bottom edge of a control of the main panel.
int bottom_of(int control)
{
    int top = 0;
    int height = 0;
    if (GetCtrlBoundingRect(ifcP, control, &top, nullptr, &height, nullptr) < 0)
        return -1;
    return top + height;
}

} // namespace

int fra_open()
{
    ifcP = LoadPanel(0, IFC_PANEL_FILE, MAIN_PANEL);
    if (ifcP < 0)
        return -1;
    ifcMenu = LoadMenuBar(ifcP, IFC_PANEL_FILE, MAIN_MENUBAR);
    if (ifcMenu < 1) {
        ifcMenu = -1;
        return -1;
    }
    dim_items_without_callback(ifcMenu);
    SetPanelAttribute(ifcP, ATTR_SCALE_CONTENTS_ON_RESIZE, 0);

    // The graphs ask whether a sweep runs before they act on a cursor click.
    displays_set_sweep_probe(ifc_sweep_on);
    meter_open();
    nyqust_open();
    vc_open();
    bode_open();

    ifc_panel_expand(0);
    ifc_settings_opened();
    ifc_sweep_opened();
    ifc_readback_opened();
    // ELOAD can be used only when there is a load window to show.
    SetCtrlAttribute(ifcP, MAIN_PANEL_ELOAD, ATTR_DIMMED, load_window ? 0 : 1);
    if (load_window)
        load_window->open();
    return 1;
}

void fra_show_identity(const IfcInstrument& found)
{
    if (ifcP < 0)
        return;
    SetCtrlVal(ifcP, MAIN_PANEL_MODEL, found.model.c_str());
    if (load_window)
        load_window->set_kzr_device(found.kzr_device);
    if (found.kzr_device)
        ifc_send_load_mode();
    SetCtrlAttribute(ifcP, MAIN_PANEL_ELOAD, ATTR_VISIBLE, found.kzr_device);
    SetCtrlAttribute(ifcP, MAIN_PANEL_LOAD_MODE, ATTR_VISIBLE, found.kzr_device);
}

void fra_start(const IfcInstrument& found)
{
    if (ifcP < 0)
        return;
    if (found.old_firmware) {
        SetCtrlAttribute(ifcP, MAIN_PANEL_AZC, ATTR_VISIBLE, 0);
        SetCtrlAttribute(ifcP, MAIN_PANEL_PHASE_360, ATTR_VISIBLE, 0);
    }
    const std::string version =
        std::string(IFP_VERSION_MAJOR) + "." + IFP_VERSION_MINOR + " - " + found.version;
    SetCtrlVal(ifcP, MAIN_PANEL_VERSION, version.c_str());
    SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 0);
    DisplayPanel(ifcP);

    for (int control : {MAIN_PANEL_NYQUST_GRAPH, MAIN_PANEL_BODE_GRAPH, MAIN_PANEL_VC_GRAPH,
             MAIN_PANEL_METER, MAIN_PANEL_ELOAD})
        fra_apply_toggle(control);
    ifc_send_all_settings();
    inidata_hook_debug_printf(ifp_printf);
}

void fra_close()
{
    if (load_window)
        load_window->close();
    ifc_clear_graphs();
    nyqust_active(0);
    bode_active(0);
    vc_active(0);
    meter_active(0);
    if (ifcP >= 0)
        HidePanel(ifcP);
    dcsw_panel_show(0);
    inidata_hook_debug_printf(nullptr);
}

void fra_quit()
{
    if (load_window)
        load_window->quit();
    bode_quit();
    nyqust_quit();
    vc_quit();
    // The menu bar goes first: discarding the panel takes its menu bar along.
    if (ifcMenu >= 0)
        DiscardMenuBar(ifcMenu);
    if (ifcP >= 0)
        DiscardPanel(ifcP);
    if (dcswP >= 0)
        DiscardPanel(dcswP);
    meter_quit();
    ifcP = -1;
    ifcMenu = -1;
    dcswP = -1;
}

void ifc_panel_expand(int expanded)
{
    panel_expanded = expanded ? 1 : 0;
    if (ifcP < 0)
        return;
    const int height = panel_expanded ? bottom_of(MAIN_PANEL_FOOT) + 5
                                      : bottom_of(MAIN_PANEL_VERSION) + 1;
    if (height > 0)
        SetPanelAttribute(ifcP, ATTR_HEIGHT, height);
}

int ifc_get_panel_expanded() { return panel_expanded; }

int versCB(int, int, int event, void*, int, int)
{
    if (event == EVENT_RIGHT_DOUBLE_CLICK)
        ifc_panel_expand(!panel_expanded);
    return 0;
}

void ifc_set_load_window(const IfcLoadWindow* window) { load_window = window; }
const IfcLoadWindow* ifc_load_window() { return load_window; }

void fra_apply_toggle(int control)
{
    if (ifcP < 0)
        return;
    const int on = ifc_main_int(control) != 0 ? 1 : 0;
    switch (control) {
    case MAIN_PANEL_METER:
        meter_active(on);
        break;
    case MAIN_PANEL_VC_GRAPH:
        vc_active(on);
        break;
    case MAIN_PANEL_BODE_GRAPH:
        bode_active(on);
        break;
    case MAIN_PANEL_NYQUST_GRAPH:
        nyqust_active(on);
        break;
    case MAIN_PANEL_ELOAD:
        if (load_window)
            load_window->active(on);
        break;
    default:
        break;
    }
}

void fra_set_toggle(int control, int on)
{
    if (ifcP < 0)
        return;
    SetCtrlVal(ifcP, control, on);
    fra_apply_toggle(control);
}

int panel_tog_service(int, int control, int event, void*, int, int)
{
    if (event == EVENT_COMMIT)
        fra_apply_toggle(control);
    return 0;
}

int ifcCB(int, int event, void*, int, int)
{
    // The run ends through the main loop, which stops a running sweep first.
    if (event == EVENT_CLOSE)
        ifp_close();
    return 0;
}

void exit_service(int, int menuItem, void*, int)
{
    if (menuItem == MAIN_MENU_FILE_EXIT)
        ifp_close();
}

int meter_stop(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        fra_set_toggle(MAIN_PANEL_METER, 0);
    return 0;
}

int vc_stop(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        fra_set_toggle(MAIN_PANEL_VC_GRAPH, 0);
    return 0;
}

int bode_stop(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        fra_set_toggle(MAIN_PANEL_BODE_GRAPH, 0);
    return 0;
}

int nyqust_stop(int, int event, void*, int, int)
{
    if (event == EVENT_CLOSE)
        fra_set_toggle(MAIN_PANEL_NYQUST_GRAPH, 0);
    return 0;
}

void ifc_close_eload() { fra_set_toggle(MAIN_PANEL_ELOAD, 0); }

void fra_register_callbacks()
{
    struct Ctrl {
        const char* name;
        CtrlCallbackPtr fn;
    };
    const Ctrl ctrls[] = {
        {"panel_tog_service", panel_tog_service},
        {"dds_freq_CB", dds_freq_CB},
        {"samp_cycl_CB", samp_cycl_CB},
        {"sample_auto_service", sample_auto_service},
        {"ddsampoffsCB", ddsampoffsCB},
        {"curr_unit_CB", curr_unit_CB},
        {"inp_dl_CB", inp_dl_CB},
        {"volt_gain_CB", volt_gain_CB},
        {"curr_gain_CB", curr_gain_CB},
        {"agc_CB", agc_CB},
        {"azc_CB", azc_CB},
        {"phasemodeCB", phasemodeCB},
        {"ac_value_peak_cb", ac_value_peak_cb},
        {"xaxisCB", xaxisCB},
        {"load_mode_cb", load_mode_cb},
        {"versCB", versCB},
        {"syncCB", syncCB},
        {"sweep_hotCB", sweep_hotCB},
        {"dcsw_listeditCB", dcsw_listeditCB},
    };
    for (const Ctrl& c : ctrls)
        ui_register_ctrl_callback(c.name, c.fn);

    struct Panel {
        const char* name;
        PanelCallbackPtr fn;
    };
    const Panel panels[] = {
        {"ifcCB", ifcCB},
        {"meter_stop", meter_stop},
        {"vc_stop", vc_stop},
        {"bode_stop", bode_stop},
        {"nyqust_stop", nyqust_stop},
        {"dcsw_panel_close", dcsw_panel_close},
    };
    for (const Panel& p : panels)
        ui_register_panel_callback(p.name, p.fn);

    ui_register_menu_callback("exit_service", exit_service);
    ui_register_menu_callback("dcsw_panel_edit", dcsw_panel_edit);
    ui_register_menu_callback("ifc_save_log_menu", ifc_save_log_menu);
    ui_register_menu_callback("ifc_export_traces_menu", ifc_export_traces_menu);
    caldata_register_callbacks();
    profile_register();
}
