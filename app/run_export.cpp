// Traces of the measurement run written for other tools: the header that
// describes the run, and File > Export Traces... on the main panel.
#include "app/fra.h"

#include "app/ifc.h"
#include "app/profile.h"
#include "app/trace_export.h"
#include "displays/traces.h"
#include "module/im.h"
#include "settings/inidata_app.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"

#include <charconv>
#include <string>

namespace {

constexpr const char kExportTitle[] = "Export Traces";

template <class T>
std::string shortest(T v)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc{} ? end : buf);
}

// A persisted control's value as text: the number in its shortest exact
// form, or the text itself.
bool setting_text(const InidataRow& row, std::string* text)
{
    const int panel = row.panel ? *row.panel : -1;
    if (panel < 0)
        return false;
    switch (row.dataType) {
    case INIDATA_FLOAT: {
        float v = 0.0f;
        if (GetCtrlVal(panel, row.control, &v) < 0)
            return false;
        *text = shortest(v);
        return true;
    }
    case INIDATA_DOUBLE: {
        double v = 0.0;
        if (GetCtrlVal(panel, row.control, &v) < 0)
            return false;
        *text = shortest(v);
        return true;
    }
    case INIDATA_STRING:
        return GetCtrlVal(panel, row.control, text) >= 0;
    default: {
        int v = 0;
        if (GetCtrlVal(panel, row.control, &v) < 0)
            return false;
        *text = std::to_string(v);
        return true;
    }
    }
}

} // namespace

TraceExportHeader ifc_trace_header()
{
    const IfcInstrument& found = ifc_get_instrument();
    TraceExportHeader h;
    h.identity = found.idn;
    h.moduleVersion = found.version;
    h.dateTime = trace_export_now();
    if (found.im_version > 0.0f)
        h.serial = im_get_device_serno();
    for (const InidataRow* row = inidata_app_table(); row->dataType >= 0; ++row) {
        // The hidden text that carries the DC sweep list in a profile may be
        // older than the list; the list itself is written below.
        if (row->control == MAIN_PANEL_DCSW_LIST && row->panel && *row->panel == ifcP)
            continue;
        std::string value;
        if (setting_text(*row, &value))
            h.settings.emplace_back(std::string(row->section) + "/" + row->tag, value);
    }
    std::string list = profile_dcsw_text();
    while (!list.empty() && list.back() == ' ')
        list.pop_back();
    h.settings.emplace_back("DC SWEEP LIST", list);
    return h;
}

void ifc_export_traces_menu(int, int menuItem, void*, int)
{
    if (menuItem != MAIN_MENU_FILE_EXPORT_TRACES)
        return;
    if (traces_all().empty()) {
        MessagePopup(kExportTitle, "There are no traces yet: each sweep adds one, and a new "
                                   "sweep started with SWEEP begins afresh.");
        return;
    }
    for (;;) {
        char path[MAX_PATHNAME_LEN] = "";
        if (FileSelectPopup("", "traces.csv", "*.csv", kExportTitle, VAL_SAVE_BUTTON, 0, 0, 1, 1, path,
                sizeof path) <= 0)
            return;
        const std::string why = trace_export_write(path, ifc_trace_header(), traces_all());
        if (why.empty()) {
            const std::string text = std::string("Traces saved to '") + path + "', with one " +
                "file of frequency, Z' and Z'' per trace beside it (" +
                trace_export_columns_path(path, 1) + ", ...).";
            MessagePopup(kExportTitle, text.c_str());
            return;
        }
        const std::string text = "The traces could not be saved: " + why + ".\n\nChoose another file?";
        if (!ConfirmPopup(kExportTitle, text.c_str()))
            return;
    }
}
