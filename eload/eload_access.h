// Parameter access of the electronic load: its header tables and thin
// wrappers over the SCPI engine (link/scpi.h).  Every function gives 1 on
// success and 0 on failure and writes the caller's value only when a query
// succeeded; none shows a message.
#pragma once

// Integer parameters, indexes of eload_int_headers.
enum EloadIntParam : int {
    ELOAD_I_INPUT,
    ELOAD_I_SHORT,
    ELOAD_I_UTIL_RANGE,
    ELOAD_I_MODE_RANGE,
    ELOAD_I_SHORT_STATE,
    ELOAD_I_EXT_CONTROL,
    ELOAD_I_TRAN_MODE,
    ELOAD_I_DUTY,
    ELOAD_I_PINT_TWID,
    ELOAD_I_STAT_QUES,
    ELOAD_I_STAT_OPER,
    ELOAD_I_PROT_CLEAR,
    ELOAD_I_TRAN,
    ELOAD_I_VOLT_PROT_STATE,
    ELOAD_I_VOLT_OVER_DELAY,
    ELOAD_I_VOLT_UND_STATE,
    ELOAD_I_VOLT_UND_DELAY,
    ELOAD_I_CURR_PROT_STATE,
    ELOAD_I_CURR_OVER_DELAY,
    ELOAD_I_CURR_UND_STATE,
    ELOAD_I_CURR_UND_DELAY,
    ELOAD_I_POW_PROT_STATE,
    ELOAD_I_POW_OVER_DELAY,
    ELOAD_I_POW_UND_STATE,
    ELOAD_I_POW_UND_DELAY,
    ELOAD_I_VON_STATE,
    ELOAD_I_OSC_PROT,
    ELOAD_I_OSC_PROT_DELAY,
    ELOAD_I_MEAS_SENSE,
    ELOAD_I_CROS_MODE,
    ELOAD_I_CROS_RANGE,
    ELOAD_I_TRIG_DELAY,
    ELOAD_I_STEP_COUNT,
    ELOAD_I_UTIL_STEP_COUNT,
    ELOAD_INT_PARAMS
};

// Float parameters, indexes of eload_float_headers.
enum EloadFloatParam : int {
    ELOAD_F_MEAS_TEMP,
    ELOAD_F_MLEV,
    ELOAD_F_TLEV,
    ELOAD_F_SLEW_POS,
    ELOAD_F_SLEW_NEG,
    ELOAD_F_FREQ,
    ELOAD_F_TRAN_TWID,
    ELOAD_F_VOLT_OVER,
    ELOAD_F_VOLT_UND,
    ELOAD_F_CURR_OVER,
    ELOAD_F_CURR_UND,
    ELOAD_F_POW_OVER,
    ELOAD_F_POW_UND,
    ELOAD_F_VON,
    ELOAD_FLOAT_PARAMS
};

extern const char* const eload_int_headers[ELOAD_INT_PARAMS];
extern const char* const eload_float_headers[ELOAD_FLOAT_PARAMS];
// Operating modes 0 to 3 and trigger sources 0 to 3, by their names.
extern const char* const eload_mode_names[4];
extern const char* const eload_trig_source_names[4];

// With set, "H v" is sent (value null for an integer: "H" alone); otherwise
// "H?", " MAX" or " MIN" appended by the flags, and the reply converted.
// A parameter number outside its table is a failure.
int eload_access_int(int param, int* value, int max, int min, int set);
int eload_access_float(int param, float* value, int max, int min, int set);
// An entry (from 1) of the step list of a mode (0 to 3): its value, or with
// time_flag its dwell time.
int eload_access_step(int mode, int entry, float* value, int* time, int time_flag, int max, int min, int set);
int eload_access_mode(int* mode, int set);
int eload_access_trig_source(int* source, int set);

// Limits refresh of a numeric control from a parameter (with_limits 0: the
// value alone); 1 when it completed.
int eload_refresh_int(int panel, int control, int param, int with_limits);
int eload_refresh_float(int panel, int control, int param, int with_limits);

// The header row or an entry row of the transient panel's step list box.
void eload_step_show_row(int row, float value, int time, int insert, int header);
