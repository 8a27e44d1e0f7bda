// The measurement run of the application core: the main panel and its menu,
// the settings controls that drive the IM module, the read-back of readings,
// the frequency sweep, the DC sweep list and the logged data file.  Everything
// runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

struct IfcInstrument;

// ---- panels of the run (negative while not loaded) ----------------------------------
extern int ifcP; // main panel, panel 4 of "ifcPanel.uir"
extern int ifcMenu; // menu bar 1
extern int dcswP; // DC sweep list, panel 1

// Registers every callback the run's panels and menu name, including the
// close callbacks of the display windows (meter_stop, vc_stop, ...).
void fra_register_callbacks();

// ---- start and end of a run -----------------------------------------------------------
// Loads the main panel, its menu bar and the display windows (hidden); 1, or
// -1 when the main panel or its menu bar cannot be loaded.
int fra_open();
// Everything of the run hidden, graphs given a fresh trace, hook removed.
void fra_close();
// Everything of the run discarded.
void fra_quit();
// After identification: the model, and the controls only a family
// instrument has (its LOAD MODE is sent).
void fra_show_identity(const IfcInstrument& found);
// After the module version is known: shows the version, hides what old
// firmware lacks, displays the main panel, applies the display toggles and
// sends every setting.
void fra_start(const IfcInstrument& found);
// The collapsed (0) or expanded (1) height of the main panel.
void ifc_panel_expand(int expanded);
int ifc_get_panel_expanded();

// ---- the load panel as a window of the run ----------------------------------------------
// On a family instrument the load panel serves as an auxiliary window of the
// run.  The load module installs its operations here at start-up; with none
// installed ELOAD stays dimmed and nothing of the load is called.
struct IfcLoadWindow {
    int (*open)(); // panels loaded, hidden: at the start of each run
    void (*active)(int on); // ELOAD switched on or off
    void (*measure)(); // every read-back turn while ELOAD is on, MEASURE or not
    void (*set_kzr_device)(int flag); // after identification
    void (*set_kzr_mode)(int mode); // whenever LOAD MODE is sent
    void (*close)(); // end of the run: hidden
    void (*quit)(); // end of the run: discarded
};
// Every operation must be given; nullptr removes the window.
void ifc_set_load_window(const IfcLoadWindow* window);
const IfcLoadWindow* ifc_load_window();

// ---- main panel and window callbacks ----------------------------------------------------
// Shows or hides the window of a display toggle (METER, V&C GRAPH, BODE
// GRAPH, NYQUST GRAPH, ELOAD) as the toggle says, or sets it first.
void fra_apply_toggle(int control);
void fra_set_toggle(int control, int on);
int panel_tog_service(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ifcCB(int panel, int event, void* callbackData, int eventData1, int eventData2);
void exit_service(int menuBar, int menuItem, void* callbackData, int panel);
int meter_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
int vc_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
int bode_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
int nyqust_stop(int panel, int event, void* callbackData, int eventData1, int eventData2);
void ifc_close_eload();

// ---- module settings controls -----------------------------------------------------------
// Each sends its setting, reading the values from the main panel.
void ifc_send_frequency(); // the sample cycle first when the host chooses it
void ifc_send_sample_cycle();
void ifc_set_sample_auto(int on);
void ifc_send_output_level(); // then shows the amplitude the module reads back
void ifc_send_current_unit(); // or, in load mode 0, shows the module's
void ifc_send_input_dl();
void ifc_send_voltage_input();
void ifc_send_current_input();
void ifc_send_agc();
void ifc_send_azc();
void ifc_send_phase_mode();
void ifc_send_ac_peak();
void ifc_show_step_field(); // FREQUENCY STEP only for linear stepping
void ifc_send_load_mode();
void ifc_send_all_settings(); // SYNC: all of the above in a fixed order
// The callbacks act on EVENT_COMMIT (only sample_auto_service reads the
// control it is given).
int dds_freq_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int samp_cycl_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int sample_auto_service(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ddsampoffsCB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int curr_unit_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int inp_dl_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int volt_gain_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int curr_gain_CB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int agc_CB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int azc_CB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int phasemodeCB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int ac_value_peak_cb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int xaxisCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int load_mode_cb(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
// EVENT_RIGHT_DOUBLE_CLICK on VERSION switches the panel's lower area.
int versCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int syncCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// The frequency the module last confirmed (0.0 after a failed read-back).
double ifc_get_dds_freq();
// The SAMPLE CYCLE kept while SAMPLE AUTO is on.
float ifc_get_saved_cycle();
// The sample-cycle count sent for a SAMPLE CYCLE in seconds: the product with
// 1000 truncated toward zero, allowing for the single-precision error of the
// stored value (0.7 is kept as 0.69999999).
int ifc_cycle_count(float cycle);

// ---- read-back ---------------------------------------------------------------------------
// One measurement point: the order of log_data and of the reply.
struct IfcPoint {
    double freq;
    double voltAmp, voltPhase;
    double currAmp, currPhase;
    double zAmp, zPhase;
    double zReal, zImag;
};

inline constexpr int IFC_LOG_SIZE = 1000; // points a sweep keeps
inline constexpr int IFC_VAL_REPLY_SIZE = 512; // reply buffer of "IM:MEAS:VAL?"
inline constexpr int IFC_VAL_WORD_MAX = 19; // characters of one reply word
inline constexpr int IFC_READ_WAIT_TICKS = 50; // pause before each readiness poll
// Read-backs in a row whose exchange failed before the instrument counts as
// lost: the sweep is stopped and the link closed.
inline constexpr int IFC_LOST_AFTER_FAILURES = 3;

// Decodes an "IM:MEAS:VAL?" reply into the six reading fields of *point (its
// frequency and rectangular parts are not touched).  1 on success; 0 when the
// reply has fewer than six words or one of the first six is longer than
// IFC_VAL_WORD_MAX characters.  A word that is not a number (an overload text
// such as OVER), or one that is not a finite double (inf, nan, 1e999), reads
// as 0.0, and sets bit i (word i from 0) of *overloads when given.
int ifc_decode_reply(const char* reply, IfcPoint* point, unsigned* overloads = nullptr);
// The point as the graphs and the trace store take it: a quantity whose word
// was an overload (bit i of overloads) is NaN, not 0, and so are the
// rectangular parts when |Z| or its phase was one.
IfcPoint ifc_point_shown(const IfcPoint& point, unsigned overloads);
// Fills in the rectangular parts from |Z| and its phase.
void ifc_point_rectangular(IfcPoint* point);

// One turn of the read-back: polls the module while MEASURE is on.
void readBack();
// Waits ifc_wait_ticks(the read-back pause), then asks the module; 1 when a
// reading is ready.
int ifc_data_ready();
// Waits until the tick has advanced by ticks, or the quit flag is set,
// sleeping in short slices.
void ifc_wait_ticks(int32_t ticks);
// The read-back pause in ticks (IFC_READ_WAIT_TICKS); tests and benchmarks
// shorten it.
void ifc_set_read_wait_ticks(int32_t ticks);

// Points of the current (or last) sweep.
uint32_t ifc_log_count();
const IfcPoint* ifc_log_data();
void ifc_log_reset();
// Every sweep's points also go to the trace store (displays/traces.h), whole:
// ifc_trace_next makes the next point begin a trace.
void ifc_trace_next();
void ifc_trace_add(const IfcPoint& point);

// ---- frequency sweep ------------------------------------------------------------------------
int sweep_hotCB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
int sweepCB(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
// Starts or stops the sweep as SWEEP says, or sets SWEEP first.
void ifc_sweep_apply();
void ifc_sweep_switch(int on);
int ifc_sweep_on();
// start 1: the first frequency of a sweep, 0: the next.  0 when a frequency
// was sent and the sweep goes on, 1 when it is finished.
int ifc_sweep_step(int start);
// The stepping alone: from START towards STOP (downwards when STOP is below
// START), linear by STEP or, with decades set, by the decade of the frequency
// (tenths of a hertz below 1 Hz).
struct IfcSweepRange {
    double start, stop, step;
    int decades;
};
// The frequency after freq, and done when it lies beyond STOP (one equal to
// STOP, within rounding, is still measured).
struct IfcSweepNext {
    double freq;
    bool done;
};
IfcSweepNext ifc_sweep_next(const IfcSweepRange& range, double freq);
void ifc_clear_graphs();
// Frequencies a sweep over range measures, START and STOP included; 0 when
// there are too many to count.
uint32_t ifc_sweep_point_count(const IfcSweepRange& range);
// The progress line of the main panel.  steps is the number of sweeps of a
// REPEAT run (0 without REPEAT), step the present one from 1; done and total
// are the present sweep's points (total 0 when unknown); runDone the points
// of the whole run so far and elapsed its seconds, which set the pace of the
// estimate.
struct IfcProgress {
    int step, steps;
    uint32_t done, total;
    uint64_t runDone;
    double elapsed;
};
std::string ifc_progress_text(const IfcProgress& progress);
// "42 s", "3 min 05 s", "2 h 10 min".
std::string ifc_duration_text(double seconds);
int ifc_get_dcsw_active();
int ifc_get_dcsw_index();
double ifc_get_sweep_freq();

// ---- DC sweep list -----------------------------------------------------------------------
inline constexpr int DCSW_STEPS = 10;
void dcsw_panel_edit(int menuBar, int menuItem, void* callbackData, int panel);
int dcsw_panel_close(int panel, int event, void* callbackData, int eventData1, int eventData2);
void dcsw_panel_show(int show);
int dcsw_panel_shown();
void dcsw_list_row(int index, int insert, int header);
int dcsw_listeditCB(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
// Step index 0..9; outside that the getters give 0.0 and the setter does nothing.
double dcsw_get_dc(int index);
double dcsw_get_ac(int index);
void dcsw_set_step(int index, double dc, double ac);

// ---- trace export --------------------------------------------------------------------------
struct TraceExportHeader;
// What an export of the run's traces says about it: the instrument's
// identity, its module serial number and version, the time now, and every
// persisted setting with the DC sweep list.
TraceExportHeader ifc_trace_header();
// File > Export Traces...: every trace of the run to a CSV and a three-column
// file per trace.
void ifc_export_traces_menu(int menuBar, int menuItem, void* callbackData, int panel);

// ---- logged data file ----------------------------------------------------------------------
// Offers the save dialog and writes the sweep's points (at most IFC_LOG_SIZE).
void ifc_save_log();
// The menu's Save Logged Data item: the same, on request.
void ifc_save_log_menu(int menuBar, int menuItem, void* callbackData, int panel);
// The file's two comment lines and one data line, each with its line feed.
const char* ifc_log_title_line();
const char* ifc_log_rule_line();
std::string ifc_format_log_line(const IfcPoint& point);
// Writes the file through a temporary file that replaces it whole, so a full
// disk or a crash leaves the old file (or none), never a part.  Empty on
// success, else why it failed ("it is not a regular file", "No space left on
// device").
std::string ifc_write_log_file(const char* path, const IfcPoint* points, int count);
