#include "module/im.h"

#include "link/ifp.h"
#include "util/kv_util.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

char g_version_reply[IM_VERSION_REPLY_SIZE];
char g_serno[IM_SERNO_LEN + 1];
char g_cal_line[IM_CAL_LINE_SIZE];

// Integer and hexadecimal fields only: these do not depend on the locale.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...)
{
    char text[128];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}

bool send(const std::string& command)
{
    return ifp_send_query(command.c_str(), nullptr, 0) == 1;
}

bool query(const char* command, char* reply, int size)
{
    return ifp_send_query(command, reply, size) == 1;
}

// "%f" of a value: six places after the point, always with a decimal point.
std::string with_value(const char* command, double value)
{
    return std::string(command) + " " + kv_util_ftoa(value, 6);
}

// Set, then read back what the module accepted; the setting's own outcome is
// not looked at because the read-back tells what is in force.
double set_and_read_back(const char* setting, double value, const char* readBack)
{
    send(with_value(setting, value));
    char reply[IM_REPLY_SIZE];
    if (!query(readBack, reply, IM_REPLY_SIZE))
        return 0.0;
    return static_cast<double>(im_parse_float(reply));
}

int on_off(int on) { return on == 1 ? 1 : 0; }

bool valid_address(int address) { return address >= 0 && address <= IM_REG_ADDR_MAX; }

int read_register(const char* command, int address, uint32_t* value)
{
    if (!valid_address(address))
        return -1;
    char reply[IM_REPLY_SIZE];
    if (!query(format("%s %04X", command, static_cast<unsigned>(address)).c_str(), reply, IM_REPLY_SIZE))
        return -1;
    return im_parse_register(reply, value);
}

bool is_hex_digit(char c, uint32_t* digit)
{
    if (c >= '0' && c <= '9')
        *digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
        *digit = static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        *digit = static_cast<uint32_t>(c - 'A' + 10);
    else
        return false;
    return true;
}

} // namespace

// ---- reply parsers --------------------------------------------------------------------------

int im_parse_ready(char* reply)
{
    if (!kv_util_isstr_dec(reply))
        return 0;
    // Any digit that is not zero makes the value non-zero, however long it is.
    for (const char* p = reply; *p != '\0'; ++p)
        if (*p >= '1' && *p <= '9')
            return 1;
    return 0;
}

int im_parse_mode(char* reply, int* mode)
{
    if (!kv_util_isstr_dec(reply))
        return 0;
    return kv_util_scan_int(reply, mode);
}

int im_parse_register(const char* reply, uint32_t* value)
{
    if (reply == nullptr)
        return -1;
    const char* p = reply;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    uint32_t digit = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && is_hex_digit(p[2], &digit))
        p += 2;
    if (!is_hex_digit(*p, &digit))
        return -1;
    uint32_t v = 0;
    for (; is_hex_digit(*p, &digit); ++p)
        v = v * 16u + digit;
    *value = negative ? 0u - v : v;
    return 0;
}

float im_parse_float(const char* reply)
{
    float v = 0.0f;
    return kv_util_scan_float(reply, &v) ? v : 0.0f;
}

int im_parse_count(const char* reply)
{
    int v = 0;
    return kv_util_scan_int(reply, &v) ? v : 0;
}

const char* im_parse_version(const char* reply)
{
    // A reply shorter than the skipped prefix has no version in it.
    if (reply == nullptr || strnlen(reply, 3) < 3)
        return "";
    return reply + 3;
}

void im_parse_serno(const char* reply, char* serno)
{
    serno[0] = '\0';
    if (reply == nullptr || strnlen(reply, IM_SERNO_OFFSET) < IM_SERNO_OFFSET)
        return;
    const std::size_t n = strnlen(reply + IM_SERNO_OFFSET, IM_SERNO_LEN);
    std::memcpy(serno, reply + IM_SERNO_OFFSET, n);
    serno[n] = '\0';
}

void im_format_cal_line(int table, int item, int gain, int freq, const char* reply, char* line)
{
    char value[IM_REPLY_SIZE + 1];
    const char* src = reply != nullptr ? reply : "0.0";
    std::size_t n = 0;
    while (n < static_cast<std::size_t>(IM_REPLY_SIZE) && static_cast<unsigned char>(src[n]) >= 32)
        ++n;
    std::memcpy(value, src, n);
    value[n] = '\0';
    std::snprintf(line, IM_CAL_LINE_SIZE, "IM:CAL:DATA %d %d %d %d %s", table, item, gain, freq, value);
}

// ---- register access --------------------------------------------------------------------------

int im_inpb(int address, uint8_t* value)
{
    uint32_t v = 0;
    if (value == nullptr || read_register("MIOB?", address, &v) != 0)
        return -1;
    *value = static_cast<uint8_t>(v & 0xFFu);
    return 0;
}

int im_inpw(int address, uint16_t* value)
{
    uint32_t v = 0;
    if (value == nullptr || read_register("MIOW?", address, &v) != 0)
        return -1;
    *value = static_cast<uint16_t>(v & 0xFFFFu);
    return 0;
}

int im_outpb(int address, int value)
{
    if (!valid_address(address))
        return -1;
    return send(format("MIOB %04X %02X", static_cast<unsigned>(address), static_cast<unsigned>(value) & 0xFFu)) ? 0 : -1;
}

int im_outpw(int address, int value)
{
    if (!valid_address(address))
        return -1;
    return send(format("MIOW %04X %04X", static_cast<unsigned>(address), static_cast<unsigned>(value) & 0xFFFFu)) ? 0
                                                                                                                  : -1;
}

int im_outpdw(int address, uint32_t value)
{
    // Both words must land inside the register space.
    if (!valid_address(address) || !valid_address(address + 2))
        return -1;
    if (im_outpw(address, static_cast<int>(value & 0xFFFFu)) != 0)
        return -1;
    return im_outpw(address + 2, static_cast<int>(value >> 16));
}

// ---- status and identity --------------------------------------------------------------

int im_get_data_ready()
{
    char reply[IM_REPLY_SIZE];
    if (!query("IM:MEAS:READY?", reply, IM_REPLY_SIZE))
        return 0;
    return im_parse_ready(reply);
}

const char* im_get_module_version()
{
    if (!query("SYST:VERS?", g_version_reply, IM_VERSION_REPLY_SIZE))
        return nullptr;
    return im_parse_version(g_version_reply);
}

const char* im_get_device_serno()
{
    char reply[IM_SERNO_REPLY_SIZE];
    if (query("SYST:SER?", reply, IM_SERNO_REPLY_SIZE))
        im_parse_serno(reply, g_serno);
    return g_serno;
}

int im_access_im_mode(int* mode, int direction)
{
    if (mode == nullptr)
        return 0;
    if (direction == 1)
        return send(format("IM:MODE %d", *mode)) ? 1 : 0;
    char reply[IM_REPLY_SIZE];
    if (!query("IM:MODE?", reply, IM_REPLY_SIZE))
        return 0;
    return im_parse_mode(reply, mode);
}

// ---- stimulus ---------------------------------------------------------------------------

double im_set_dds_sine_freq(double freq)
{
    return set_and_read_back("IM:OUTP:SINE:FREQ", freq, "IM:OUTP:SINE:FREQ?");
}

double im_set_dds_square_freq(double freq)
{
    return set_and_read_back("IM:OUTP:SQU:FREQ", freq, "IM:OUTP:SQU:FREQ?");
}

void im_set_dac_direct_level(float level)
{
    send(with_value("IM:OUTP:VOLT", static_cast<double>(level)));
}

void im_set_dac_out_source(int code)
{
    int state = 0;
    switch (code) {
    case 0:
        state = 0;
        break;
    case 2:
        state = 1;
        break;
    case 3:
        state = 2;
        break;
    default:
        return; // no such source
    }
    send(format("IM:OUTP:STAT %d", state));
}

// ---- input --------------------------------------------------------------------------------

double im_set_sample_rate(double rate)
{
    return set_and_read_back("IM:INP:SAMP:RATE", rate, "IM:INP:SAMP:RATE?");
}

void im_set_sample_times(int32_t count)
{
    send(format("IM:INP:SAMP:COUN %ld", static_cast<long>(count)));
}

void im_set_sample_cycle(int cycles)
{
    send(format("IM:INP:SAMP:CYCL %d", cycles));
}

void im_set_curr_unit(float unit)
{
    send(with_value("IM:INP:CURR:UNIT", static_cast<double>(unit)));
}

double im_get_curr_unit()
{
    char reply[IM_REPLY_SIZE];
    if (!query("IM:INP:CURR:UNIT?", reply, IM_REPLY_SIZE))
        return 0.0;
    return static_cast<double>(im_parse_float(reply));
}

void im_set_adc_inp_dl(int on)
{
    send(format("IM:INP:DL %d", on_off(on)));
}

void im_set_voltadc_inp_mode(int mode)
{
    if (mode >= 1 && mode <= 3)
        send(format("IM:INP:VOLT:STAT %d", mode - 1));
}

void im_set_curradc_inp_mode(int mode)
{
    if (mode >= 1 && mode <= 3)
        send(format("IM:INP:CURR:STAT %d", mode - 1));
}

void im_set_voltadc_inp_gain(int gain)
{
    send(format("IM:INP:VOLT:GAIN %d", gain));
}

void im_set_curradc_inp_gain(int gain)
{
    send(format("IM:INP:CURR:GAIN %d", gain));
}

void im_set_curradc_inp_loopback(int on)
{
    send(format("IM:INP:CURR:DL %d", on_off(on)));
}

void im_set_curr_inp_cmrr(int /*on*/) { }

void im_set_volt_inp_cmrr(int /*on*/) { }

void im_set_inp_agc(int on)
{
    send(format("IM:INP:GAIN:AUTO %d", on_off(on)));
}

void im_set_inp_azc(int on)
{
    send(format("IM:INP:AUTO:ZERO %d", on_off(on)));
}

void im_set_phase_mode(int on)
{
    send(format("IM:PHASE:STATE %d", on_off(on)));
}

void im_set_ac_peak_mode(int on)
{
    send(format("IM:AC:VALUE:PEAK %d", on_off(on)));
}

// ---- calibration data -------------------------------------------------------------------

int im_get_marker_freq_count()
{
    char reply[IM_REPLY_SIZE];
    return query("IM:CAL:FREQ:COUNT?", reply, IM_REPLY_SIZE) ? im_parse_count(reply) : 0;
}

int im_get_marker_gain_count()
{
    char reply[IM_REPLY_SIZE];
    return query("IM:CAL:GAIN:COUNT?", reply, IM_REPLY_SIZE) ? im_parse_count(reply) : 0;
}

const char* im_get_cal_config(int table, int item, int gain, int freq)
{
    char reply[IM_REPLY_SIZE];
    const bool ok = query(format("IM:CAL:DATA? %d %d %d %d", table, item, gain, freq).c_str(), reply,
        IM_REPLY_SIZE);
    im_format_cal_line(table, item, gain, freq, ok ? reply : nullptr, g_cal_line);
    return g_cal_line;
}
