#include "app/ifc.h"

#include "app/fra.h"
#include "app/fra_private.h"
#include "link/ifp.h"
#include "displays/displays.h"
#include "module/im.h"
#include "ui/resources/debug.h"
#include "util/kv_util.h"
#include "ui/resources/ifcPanel.h"
#include "ui/resources/resources.h"
#include "ui/toolkit.h"

#include <charconv>
#include <csignal>
#include <cstring>
#include <string>

namespace {

constexpr double IFC_FIRST_AZC_VERSION = 1.07; // AZC and PHASE 360 from here on
constexpr double IFC_LAST_FIXED_CYCLE_VERSION = 1.12; // later firmware picks its sample cycle

constexpr const char* IFC_FAMILY_MARKERS[] = {"KR", "KZR", "UVEN", "kr", "kzr", "uven"};

struct IfcState {
    float im_version = 0.0f;
    int kzr_device = 0;
    int kzr_mode = 0;
    int module_auto_cycle = 0;
    int old_firmware = 0;
    std::string model;
};

IfcState st;

// The leading decimal number of a text as the C library's atof reads it, but
// independent of the locale; 0.0 when there is none.
double leading_number(const char* text)
{
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    if (*text == '+')
        ++text;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text, text + std::strlen(text), value);
    if (ec != std::errc{} || ptr == text)
        return 0.0;
    return value;
}

// One turn of an idle loop: events are left alone while an exchange with the
// instrument is under way, because its waits process them already.
void ifc_process_events()
{
    if (!ifp_in_operation())
        ProcessSystemEvents();
}

// The measurement run's main loop: it ends when the user quits or the link
// drops.  True when it ended by quitting.
bool ifc_measurement_loop()
{
    for (;;) {
        ifc_process_events();
        if (ifp_get_quit())
            return true;
        if (!ifp_get_ifready())
            return false;
        readBack();
    }
}

// Device mode 0.
void ifc_measurement_run()
{
    ifc_measurement_start();
    ifc_measurement_end(ifc_measurement_loop());
}

// Device modes whose panels this build does not have: the link is given back.
void ifc_unavailable_run(const char* what)
{
    std::string text = "The ";
    text += what;
    text += " panel is not available in this version of imbench.";
    MessagePopup("Not available", text.c_str());
    ifp_close();
}

} // namespace

int ifc_has_family_marker(const char* idn)
{
    for (const char* marker : IFC_FAMILY_MARKERS)
        if (std::strstr(idn, marker))
            return 1;
    return 0;
}

void ifc_model_field(const char* idn, char* model, std::size_t size)
{
    if (size == 0)
        return;
    model[0] = '\0';
    const char* first = std::strchr(idn, ',');
    if (!first)
        return;
    ++first;
    const char* second = std::strchr(first, ',');
    std::size_t length = second ? static_cast<std::size_t>(second - first) : std::strlen(first);
    if (length >= size)
        length = size - 1;
    std::memcpy(model, first, length);
    model[length] = '\0';
}

void ifc_identify_device()
{
    char idn[IFC_IDN_SIZE];
    if (!ifp_send_query("*IDN?", idn, sizeof idn))
        return;
    st.kzr_device = ifc_has_family_marker(idn);
    st.kzr_mode = 0;
    char model[IFC_IDN_SIZE];
    ifc_model_field(idn, model, sizeof model);
    st.model = model;
    if (ifcP < 0)
        return;
    SetCtrlVal(ifcP, MAIN_PANEL_MODEL, model);
    if (st.kzr_device)
        load_mode_cb(ifcP, MAIN_PANEL_LOAD_MODE, EVENT_COMMIT, nullptr, 0, 0);
    SetCtrlAttribute(ifcP, MAIN_PANEL_ELOAD, ATTR_VISIBLE, st.kzr_device);
    SetCtrlAttribute(ifcP, MAIN_PANEL_LOAD_MODE, ATTR_VISIBLE, st.kzr_device);
}

void ifc_set_kzr_mode(int mode) { st.kzr_mode = mode ? 1 : 0; }

void ifc_apply_module_version(const char* text)
{
    st.im_version = static_cast<float>(leading_number(text));
    // The single-precision version is compared with the double limits, so a
    // text of 1.07 is not below 1.07 and one of 1.12 is above 1.12.
    st.old_firmware = st.im_version < IFC_FIRST_AZC_VERSION && !st.kzr_device ? 1 : 0;
    st.module_auto_cycle = st.im_version > IFC_LAST_FIXED_CYCLE_VERSION || st.kzr_device ? 1 : 0;
}

int ifc_get_kzr_device() { return st.kzr_device; }
int ifc_get_kzr_mode() { return st.kzr_mode; }
float ifc_get_im_version() { return st.im_version; }
int ifc_get_module_auto_cycle() { return st.module_auto_cycle; }
int ifc_get_old_firmware() { return st.old_firmware; }
const char* ifc_get_model() { return st.model.c_str(); }

void ifc_measurement_start()
{
    if (fra_open() < 0) {
        // Without its main panel the run could neither be seen nor ended.
        MessagePopup("Error!", "The main panel of the measurement tool could not be loaded.");
        ifp_close();
    }
    ifc_identify_device();
    const char* version = im_get_module_version();
    if (!version) {
        ifp_close(); // a module that does not answer ends the run at once
        return;
    }
    const std::string text = version; // the module's static text is overwritten later
    ifc_apply_module_version(text.c_str());
    fra_start(text.c_str());
}

void ifc_measurement_end(bool quitting)
{
    if (!quitting && ifcP >= 0) {
        // A running sweep is stopped so that its saved output values return.
        if (ifc_sweep_on()) {
            SetCtrlVal(ifcP, MAIN_PANEL_SWEEP, 0);
            sweepCB(ifcP, MAIN_PANEL_SWEEP, EVENT_COMMIT, nullptr, 0, 0);
        } else {
            SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 0);
        }
    }
    fra_close();
    fra_quit();
}

int ifc_main(int, char** argv)
{
    // A write to a pipe or device whose reader has gone must fail with EPIPE,
    // not end the program with the user's points unsaved.
    std::signal(SIGPIPE, SIG_IGN);
    if (!InitCVIRTE(nullptr, argv, nullptr))
        return -1;
    SetBreakOnLibraryErrors(0);
    ifp_active(1);
    // Without its first window the application could never be ended.
    if (ifp_panel() < 0) {
        MessagePopup("Error!", "The interface panel could not be loaded.");
        return -1;
    }

    while (!ifp_get_quit()) {
        if (!ifp_get_ifready()) {
            ifc_process_events();
            continue;
        }
        int mode = ifp_get_device_mode();
        if (mode < 0 || mode > 2) {
            MessagePopup("Error!", "Unknown Device! System Exit!");
            break;
        }
        if (mode == 0)
            ifc_measurement_run();
        else if (mode == 1)
            ifc_unavailable_run("electronic-load");
        else
            ifc_unavailable_run("power-supply");
    }
    ifp_quit();
    return 0;
}

void ifc_register_all()
{
    resources_register_all();
    ifp_register_callbacks();
    kv_util_register_callbacks();
    displays_register_callbacks();
    fra_register_callbacks();
}
