#include "eload/eload_access.h"

#include "eload/eload.h"
#include "eload/eloadPanel.h"
#include "link/scpi.h"

#include <cstdio>

const char* const eload_int_headers[ELOAD_INT_PARAMS] = {
    "INPUT",
    "SHORT",
    "UTIL:RANGE",
    "MODE:RANGE",
    "SYST:SHORT:STATE",
    "SYST:EXT:CONTROL",
    "TRAN:MODE",
    "DUTY",
    "TRAN:PINT:TWID",
    "STAT:QUES",
    "STAT:OPER",
    "INP:PROT:CLE",
    "TRAN",
    "VOLT:PROT:STATE",
    "VOLT:PROT:OVER:DELAY",
    "VOLT:PROT:UND:STATE",
    "VOLT:PROT:UND:DELAY",
    "CURR:PROT:STATE",
    "CURR:PROT:OVER:DELAY",
    "CURR:PROT:UND:STATE",
    "CURR:PROT:UND:DELAY",
    "POW:PROT:STATE",
    "POW:PROT:OVER:DELAY",
    "POW:PROT:UND:STATE",
    "POW:PROT:UND:DELAY",
    "VOLT:VON:STATE",
    "SYST:OSC:PROT",
    "SYST:OSC:PROT:DELAY",
    "MEAS:SENSE",
    "SYST:CROS:MOD:STAT",
    "SYST:CROS:RANG:STAT",
    "TRIG:DELAY",
    "STEP:COUNT",
    "UTIL:STEP:COUNT",
};

const char* const eload_float_headers[ELOAD_FLOAT_PARAMS] = {
    "MEAS:TEMP",
    "MLEV",
    "TLEV",
    "SLEW:POS",
    "SLEW:NEG",
    "FREQ",
    "TRAN:TWID",
    "VOLT:PROT:OVER",
    "VOLT:PROT:UND",
    "CURR:PROT:OVER",
    "CURR:PROT:UND",
    "POW:PROT:OVER",
    "POW:PROT:UND",
    "VOLT:VON",
};

const char* const eload_mode_names[4] = {"VOLT", "CURR", "RES", "POW"};
const char* const eload_trig_source_names[4] = {"HOLD", "BUS", "EXTERNAL", "ETHERNET"};

namespace {

const char* int_header(int param) { return param >= 0 && param < ELOAD_INT_PARAMS ? eload_int_headers[param] : nullptr; }

const char* float_header(int param)
{
    return param >= 0 && param < ELOAD_FLOAT_PARAMS ? eload_float_headers[param] : nullptr;
}

} // namespace

int eload_access_int(int param, int* value, int max, int min, int set)
{
    const char* header = int_header(param);
    return header ? scpi_access_int(header, value, max, min, set) : 0;
}

int eload_access_float(int param, float* value, int max, int min, int set)
{
    const char* header = float_header(param);
    return header ? scpi_access_float(header, value, max, min, set) : 0;
}

int eload_access_step(int mode, int entry, float* value, int* time, int time_flag, int max, int min, int set)
{
    if (mode < 0 || mode > 3)
        return 0;
    char header[SCPI_LIST_HEADER_SIZE];
    std::snprintf(header, sizeof header, "STEP:%s", eload_mode_names[mode]);
    return scpi_access_list(header, entry, value, time, time_flag, max, min, set);
}

int eload_access_mode(int* mode, int set) { return scpi_access_name("MODE", eload_mode_names, mode, set); }

int eload_access_trig_source(int* source, int set)
{
    return scpi_access_name("TRIG:SOURCE", eload_trig_source_names, source, set);
}

int eload_refresh_int(int panel, int control, int param, int with_limits)
{
    const char* header = int_header(param);
    return header ? scpi_refresh_int(panel, control, header, with_limits) : 0;
}

int eload_refresh_float(int panel, int control, int param, int with_limits)
{
    const char* header = float_header(param);
    return header ? scpi_refresh_float(panel, control, header, with_limits) : 0;
}

void eload_step_show_row(int row, float value, int time, int insert, int header)
{
    const int panel = eload_panel(ELOAD_TRAN);
    if (panel >= 0)
        scpi_list_show_row(panel, ELOAD_TRAN_STEP_LIST, row, value, time, insert, header);
}
