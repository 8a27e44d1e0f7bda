// The application core: start-up, the device-mode dispatch and its loops,
// identification of the instrument and the measurement run.
#pragma once

#include <cstddef>

// Size of the identification reply buffer.
inline constexpr int IFC_IDN_SIZE = 180;

// The application: shows the interface panel and, whenever a link is open,
// runs the part the device mode chooses.  -1 when the run time cannot start
// (or the interface panel cannot be loaded), else 0.
int ifc_main(int argc, char** argv);
// Registers every panel resource and every callback the application's panels
// name; called once before ifc_main (and by tests before loading panels).
void ifc_register_all();

// Asks "*IDN?" and sets the family flag and the model; a failed query changes
// nothing.
void ifc_identify_device();
// 1 when the identification text holds one of the family markers
// ("KR", "KZR", "UVEN", "kr", "kzr", "uven", case-sensitive, anywhere).
int ifc_has_family_marker(const char* idn);
// The field between the first and the second comma; with one comma the rest
// after it, with none an empty text.
void ifc_model_field(const char* idn, char* model, std::size_t size);

// Takes the module version text ("1.07" ...): the version number and the
// features that depend on it.
void ifc_apply_module_version(const char* text);

// The measurement run (device mode 0) around its main loop.  Start: panels
// loaded, instrument identified, module version read, every setting sent;
// the link is closed when the version cannot be read.  End: a running sweep
// stopped (not when quitting), then the panels hidden and discarded.
void ifc_measurement_start();
void ifc_measurement_end(bool quitting);

// State of the measurement run, for the panels and for tests.
int ifc_get_kzr_device();
int ifc_get_kzr_mode();
float ifc_get_im_version();
int ifc_get_module_auto_cycle();
// 1 when the module firmware predates AZC and PHASE 360 (and the instrument
// is not of the family, whose firmware always has them).
int ifc_get_old_firmware();
// The model field of the last identification.
const char* ifc_get_model();
