#include "app/profile.h"

#include "app/fra.h"
#include "app/fra_private.h"
#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "settings/inidata_app.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"
#include "util/kv_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::string g_path;

// Limits of the list window's DC and AC fields: a profile from elsewhere
// cannot put into the list what the window would not take.
struct Range {
    double min, max;
};
Range field_range(int control)
{
    for (const UiCtrlDef& c : ifcPanel_dcsw_panel().controls)
        if (c.id == control)
            return {c.min, c.max};
    return {-1e300, 1e300};
}

double within(double v, const Range& r)
{
    if (std::isnan(v))
        return 0.0;
    return std::clamp(v, r.min, r.max);
}

void init_path()
{
    if (!g_path.empty())
        return;
    char dir[MAX_PATHNAME_LEN];
    std::string path;
    if (GetProjectDir(dir) == 0 && dir[0] != '\0') {
        path = dir;
        if (path.back() != '/')
            path += '/';
    }
    path += "default.ini";
    g_path = path.size() <= PROFILE_PATH_MAX ? path : "default.ini";
}

// The next blank-separated word of rest, removed with the blanks after it.
bool next_word(std::string_view& rest, std::string* word)
{
    const auto start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return false;
    rest.remove_prefix(start);
    const auto end = std::min(rest.find(' '), rest.size());
    word->assign(rest.substr(0, end));
    rest.remove_prefix(end);
    return true;
}

double word_value(const std::string& word)
{
    double v = 0.0;
    return kv_util_scan_double(word.c_str(), &v) ? v : 0.0;
}

// The file dialog, starting at the profile path; false when nothing was chosen.
bool choose(const char* title, int button, int allowMakeDirectory, std::string* chosen)
{
    init_path();
    char path[MAX_PATHNAME_LEN];
    if (FileSelectPopup("", g_path.c_str(), "*.ini", title, button, 0, 0, 1, allowMakeDirectory, path) <= 0)
        return false;
    *chosen = path;
    return true;
}

void load_profile()
{
    if (ifc_sweep_on()) {
        // The sweep owns the stimulus controls and puts their values back when it ends.
        MessagePopup("Load Profile", "Stop the sweep before loading a profile.");
        return;
    }
    std::string path;
    if (!choose("Load Profile", VAL_LOAD_BUTTON, 0, &path))
        return;
    g_path = path;
    if (!profile_load_file(g_path.c_str()))
        MessagePopup("Load Profile", "Fail");
}

void save_profile()
{
    std::string path;
    if (!choose("Save Profile", VAL_SAVE_BUTTON, 1, &path))
        return;
    g_path = path;
    if (!profile_save_file(g_path.c_str()))
        MessagePopup("Save Profile", "Fail");
}

} // namespace

const char* profile_get_path()
{
    init_path();
    return g_path.c_str();
}

std::string profile_dcsw_text()
{
    std::string text;
    for (int i = 0; i < DCSW_STEPS; ++i)
        text += kv_util_ftoa(dcsw_get_dc(i), 6) + " " + kv_util_ftoa(dcsw_get_ac(i), 6) + " ";
    return text;
}

void profile_dcsw_parse(const char* text)
{
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    const Range dc = field_range(DCSW_PANEL_DC);
    const Range ac = field_range(DCSW_PANEL_AC);
    std::string_view rest = text ? text : "";
    std::string first, second;
    for (int i = 0; i < DCSW_STEPS; ++i) {
        if (!next_word(rest, &first) || !next_word(rest, &second))
            break;
        dcsw_set_step(i, within(word_value(first), dc), within(word_value(second), ac));
    }
}

bool profile_load_file(const char* path)
{
    if (ifcP < 0 || !inidata_load_file(path, inidata_app_table()))
        return false;
    std::string text;
    GetCtrlVal(ifcP, MAIN_PANEL_DCSW_LIST, &text);
    profile_dcsw_parse(text.c_str());
    if (dcsw_panel_shown())
        dcsw_panel_show(1);
    for (int control : {MAIN_PANEL_NYQUST_GRAPH, MAIN_PANEL_BODE_GRAPH, MAIN_PANEL_VC_GRAPH, MAIN_PANEL_METER})
        fra_apply_toggle(control);
    // The windows' selectors hold the loaded values: the graphs follow them.
    displays_apply_settings();
    ifc_settings_loaded();
    ifc_send_all_settings();
    return true;
}

bool profile_save_file(const char* path)
{
    if (ifcP < 0)
        return false;
    SetCtrlVal(ifcP, MAIN_PANEL_DCSW_LIST, profile_dcsw_text());
    return inidata_save_file(path, inidata_app_table()) != 0;
}

void profile_service(int, int menuItem, void*, int)
{
    if (ifcP < 0)
        return;
    if (menuItem == MAIN_MENU_FILE_LOAD_PROFILE)
        load_profile();
    else if (menuItem == MAIN_MENU_FILE_SAVE_PROFILE)
        save_profile();
}

void profile_register()
{
    ui_register_menu_callback("profile_service", profile_service);
    inidata_app_bind_panels({&ifcP, &meterP, &nyP, &vcP, &zP});
}
