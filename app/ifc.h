// The application core: start-up, the device-mode table and its loops,
// identification of the instrument and the measurement run.
#pragma once

#include <cstddef>
#include <string>

// Size of the identification reply buffer.
inline constexpr int IFC_IDN_SIZE = 180;

// The application: shows the interface panel and, whenever a link is open,
// runs the part the device mode chooses.  -1 when the run time cannot start
// (or the interface panel cannot be loaded), else 0.
int ifc_main(int argc, char** argv);
// Registers every panel resource and every callback the application's panels
// name; called once before ifc_main (and by tests before loading panels).
void ifc_register_all();

// What the identification and the module version tell about the instrument.
// Nothing here touches a panel, so every device mode can use it.
struct IfcInstrument {
    int kzr_device = 0; // a family marker is in the identification reply
    std::string idn; // the identification reply itself
    std::string model; // the reply's model field
    std::string version; // the module version text; empty when none was read
    float im_version = 0.0f; // its leading number
    int has_switches = 0; // the firmware has AZC, PHASE 360 and AC VALUE PEAK
    int old_firmware = 0; // ... it has not, and the instrument is not of the family
    int module_auto_cycle = 0; // the module can choose its own sample cycle
};

// Asks "*IDN?" and fills in the family flag and the model; false (and *found
// unchanged) when the query fails.
bool ifc_query_identity(IfcInstrument* found);
// Asks for the module version and fills in what it decides; false (and
// *found unchanged) when there is none.
bool ifc_query_module_version(IfcInstrument* found);
// What a module version text decides, for an instrument whose family flag is
// already known.
void ifc_apply_module_version(IfcInstrument* found, const char* text);
// 1 when the identification text holds one of the family markers
// ("KR", "KZR", "UVEN", "kr", "kzr", "uven", case-sensitive, anywhere).
int ifc_has_family_marker(const char* idn);
// The field between the first and the second comma; with one comma the rest
// after it, with none an empty text.
void ifc_model_field(const char* idn, char* model, std::size_t size);

// Identifies the instrument of the measurement run and shows what was found
// on its main panel; a failed query changes nothing.
void ifc_identify_device();

// The measurement run (device mode 0) around its main loop.  Start: panels
// loaded, instrument identified, module version read, every setting sent;
// the link is closed when the main panel cannot be loaded or the version
// cannot be read.  End: a running sweep stopped (not when quitting), then the
// panels hidden and discarded.
void ifc_measurement_start();
void ifc_measurement_end(bool quitting);

// The instrument of the measurement run, for the panels and for tests.
const IfcInstrument& ifc_get_instrument();
int ifc_get_kzr_device();
int ifc_get_kzr_mode();
float ifc_get_im_version();
int ifc_get_module_auto_cycle();
int ifc_get_old_firmware();
const char* ifc_get_model();
