#include "app/ifc.h"

#include "app/fra.h"
#include "app/fra_private.h"
#include "link/ifp.h"
#include "displays/displays.h"
#include "eload/eload.h"
#include "epower/epower.h"
#include "module/im.h"
#include "ui/resources/debug.h"
#include "util/kv_util.h"
#include "ui/resources/ifcPanel.h"
#include "ui/resources/resources.h"
#include "ui/toolkit.h"

#include <csignal>
#include <cstring>
#include <string>

namespace {

constexpr double IFC_FIRST_AZC_VERSION = 1.07; // AZC, PHASE 360 and AC VALUE PEAK from here on
constexpr double IFC_LAST_FIXED_CYCLE_VERSION = 1.12; // later firmware picks its sample cycle

constexpr const char* IFC_FAMILY_MARKERS[] = {"KR", "KZR", "UVEN", "kr", "kzr", "uven"};

struct IfcState {
    IfcInstrument instrument;
    int kzr_mode = 0;
};

IfcState st;

// One row of the device-mode table: the number the interface panel keeps,
// the name its messages use, and what runs while the link is open.
struct IfcDeviceMode {
    int number;
    const char* name;
    void (*run)(const IfcDeviceMode& mode);
};

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

void ifc_measurement_run(const IfcDeviceMode&)
{
    ifc_measurement_start();
    ifc_measurement_end(ifc_measurement_loop());
}

// A panel that is the whole application (the load's, the supply's): its main
// operation runs on every turn of the loop while the link is ready, and
// closing its window gives the link back.
void ifc_panel_loop(int (*main_op)())
{
    for (;;) {
        ifc_process_events();
        if (ifp_get_quit() || !ifp_get_ifready())
            break;
        if (!main_op())
            ifp_close();
    }
}

// Device mode 1.  A panel that cannot be loaded has said so: the link goes too.
void ifc_load_run(const IfcDeviceMode&)
{
    if (eload_open()) {
        eload_set_kzr_device(0);
        eload_active(1);
        ifc_panel_loop(eload_main);
    } else {
        ifp_close();
    }
    eload_close();
    eload_quit();
}

// Device mode 2.
void ifc_supply_run(const IfcDeviceMode&)
{
    if (epower_open()) {
        epower_active(1);
        ifc_panel_loop(epower_main);
    } else {
        ifp_close();
    }
    epower_close();
    epower_quit();
}

// The load's operations as the measurement run's auxiliary window.
constexpr IfcLoadWindow kLoadWindow = {
    eload_open, eload_active, eload_measure, eload_set_kzr_device, eload_set_kzr_mode, eload_close, eload_quit};

constexpr IfcDeviceMode kDeviceModes[] = {
    {0, "measurement", ifc_measurement_run},
    {1, "electronic-load", ifc_load_run},
    {2, "power-supply", ifc_supply_run},
};

const IfcDeviceMode* ifc_device_mode(int number)
{
    for (const IfcDeviceMode& mode : kDeviceModes)
        if (mode.number == number)
            return &mode;
    return nullptr;
}

int ifc_device_mode_runnable(int number)
{
    const IfcDeviceMode* mode = ifc_device_mode(number);
    return mode != nullptr ? 1 : 0;
}

// A reserved mode is refused where the user chose it: the link is given back
// and the interface panel stays, so another mode can be chosen.
void ifc_reserved_mode(int number)
{
    const std::string text = "Device mode " + std::to_string(number) +
        " is reserved: this version of imbench cannot run it.\nChoose another device mode and open the link again.";
    ErrorPopup("Unknown device mode", text.c_str());
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

bool ifc_query_identity(IfcInstrument* found)
{
    char idn[IFC_IDN_SIZE];
    if (!ifp_send_query("*IDN?", idn, sizeof idn))
        return false;
    char model[IFC_IDN_SIZE];
    ifc_model_field(idn, model, sizeof model);
    found->kzr_device = ifc_has_family_marker(idn);
    found->model = model;
    found->idn = idn;
    return true;
}

void ifc_apply_module_version(IfcInstrument* found, const char* text)
{
    double number = 0.0; // a text without a number reads as 0.0
    kv_util_scan_double(text, &number);
    found->version = text;
    found->im_version = static_cast<float>(number);
    // The single-precision version is compared with the double limits, so a
    // text of 1.07 is not below 1.07 and one of 1.12 is above 1.12.
    found->has_switches = found->im_version >= IFC_FIRST_AZC_VERSION ? 1 : 0;
    found->old_firmware = !found->has_switches && !found->kzr_device ? 1 : 0;
    found->module_auto_cycle =
        found->im_version > IFC_LAST_FIXED_CYCLE_VERSION || found->kzr_device ? 1 : 0;
}

bool ifc_query_module_version(IfcInstrument* found)
{
    const char* version = im_get_module_version();
    if (!version)
        return false;
    ifc_apply_module_version(found, version);
    return true;
}

void ifc_identify_device()
{
    if (!ifc_query_identity(&st.instrument))
        return;
    st.kzr_mode = 0;
    fra_show_identity(st.instrument);
}

void ifc_set_kzr_mode(int mode) { st.kzr_mode = mode ? 1 : 0; }

const IfcInstrument& ifc_get_instrument() { return st.instrument; }
int ifc_get_kzr_device() { return st.instrument.kzr_device; }
int ifc_get_kzr_mode() { return st.kzr_mode; }
float ifc_get_im_version() { return st.instrument.im_version; }
int ifc_get_module_auto_cycle() { return st.instrument.module_auto_cycle; }
int ifc_get_old_firmware() { return st.instrument.old_firmware; }
const char* ifc_get_model() { return st.instrument.model.c_str(); }

void ifc_measurement_start()
{
    if (fra_open() < 0) {
        // Without its main panel the run could neither be seen nor ended.
        MessagePopup("Error!", "The main panel of the measurement tool could not be loaded.");
        ifp_close();
        return;
    }
    ifc_identify_device();
    if (!ifc_query_module_version(&st.instrument)) {
        ifp_close(); // a module that does not answer ends the run at once
        return;
    }
    fra_start(st.instrument);
}

void ifc_measurement_end(bool quitting)
{
    if (!quitting && ifcP >= 0) {
        // A running sweep is stopped so that its saved output values return.
        if (ifc_sweep_on())
            ifc_sweep_switch(0);
        else
            SetCtrlVal(ifcP, MAIN_PANEL_MEASURE, 0);
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
        const int number = ifp_get_device_mode();
        if (const IfcDeviceMode* mode = ifc_device_mode(number))
            mode->run(*mode);
        else
            ifc_reserved_mode(number);
    }
    ifp_quit();
    return 0;
}

void ifc_register_all()
{
    resources_register_all();
    ifp_register_callbacks();
    ifp_set_device_mode_check(ifc_device_mode_runnable);
    kv_util_register_callbacks();
    displays_register_callbacks();
    fra_register_callbacks();
    eload_register();
    ifc_set_load_window(&kLoadWindow);
    eload_set_close_hook(ifc_close_eload);
    epower_register_all();
}
