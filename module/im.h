// The IM module's command set: one function per command.  Each formats the
// command text, sends it with ifp_send_query and, for a query, parses the
// reply.  Failures are absorbed into the result (0.0, 0, -1, no text); see each
// function.  The im_parse_* routines are the reply parsers on their own, so
// they can be fed any bytes without a link.
#pragma once

#include <cstddef>
#include <cstdint>

// Reply buffers, terminator included.
constexpr int IM_REPLY_SIZE = 180;
constexpr int IM_VERSION_REPLY_SIZE = 20;
constexpr int IM_SERNO_REPLY_SIZE = 40;
// The serial number: reply characters 9 to 14.
constexpr int IM_SERNO_OFFSET = 9;
constexpr int IM_SERNO_LEN = 6;
// Room for "IM:CAL:DATA %d %d %d %d %s" with four integers of any size and a
// value of IM_REPLY_SIZE characters.
constexpr std::size_t IM_CAL_LINE_SIZE = 12 + 4 * 12 + IM_REPLY_SIZE + 1;
// Register addresses are 16 bits wide.
constexpr int IM_REG_ADDR_MAX = 0xFFFF;

// ---- register access (the module's service interface) --------------------------------
// Reads: 0 with the low bits of the hexadecimal reply stored, -1 when the
// query fails or the reply holds no hexadecimal number (value untouched).
// An address outside 0..IM_REG_ADDR_MAX is refused with -1 and nothing is sent.
int im_inpb(int address, uint8_t* value);
int im_inpw(int address, uint16_t* value);
// Writes: 0 when sent, -1 when not (value masked to 8 / 16 bits).
int im_outpb(int address, int value);
int im_outpw(int address, int value);
// Low word to address, then high word to address + 2; -1 when the first write
// fails (the second is then not sent), else the second write's result.
int im_outpdw(int address, uint32_t value);

// ---- status and identity --------------------------------------------------------------
// 1 when "IM:MEAS:READY?" answers a decimal integer that is not zero.
int im_get_data_ready();
// The version reply from its fourth character on (static), or nullptr when the
// query fails.
const char* im_get_module_version();
// Six characters from position 9 of the "SYST:SER?" reply (fewer for a shorter
// reply); after a failed query the serial extracted last, "" before any.
const char* im_get_device_serno();
// direction 1: sends "IM:MODE %d" of *mode, result 1/0 of the send.  Otherwise
// reads "IM:MODE?": 1 with *mode set when the reply is a decimal integer, else
// 0 with *mode untouched.
int im_access_im_mode(int* mode, int direction);

// ---- stimulus ---------------------------------------------------------------------------
// Set, then read back what the module took (single precision widened); 0.0
// when the read-back fails.
double im_set_dds_sine_freq(double freq);
double im_set_dds_square_freq(double freq);
void im_set_dac_direct_level(float level);
// Source codes 0, 2, 3 send 0, 1, 2; any other code sends nothing.
void im_set_dac_out_source(int code);

// ---- input --------------------------------------------------------------------------------
double im_set_sample_rate(double rate);
void im_set_sample_times(int32_t count);
void im_set_sample_cycle(int cycles);
void im_set_curr_unit(float unit);
// 0.0 when the query fails or the reply is not a number.
double im_get_curr_unit();
// Switches: 1 is on, any other value off.
void im_set_adc_inp_dl(int on);
// Input modes 1, 2, 3 send 0, 1, 2; any other value sends nothing.
void im_set_voltadc_inp_mode(int mode);
void im_set_curradc_inp_mode(int mode);
void im_set_voltadc_inp_gain(int gain);
void im_set_curradc_inp_gain(int gain);
void im_set_curradc_inp_loopback(int on);
// No command exists for these: accepted and ignored.
void im_set_curr_inp_cmrr(int on);
void im_set_volt_inp_cmrr(int on);
void im_set_inp_agc(int on);
void im_set_inp_azc(int on);
void im_set_phase_mode(int on);
void im_set_ac_peak_mode(int on);

// ---- calibration data -------------------------------------------------------------------
// The count's leading decimal digits; 0 when the query fails.
int im_get_marker_freq_count();
int im_get_marker_gain_count();
// "IM:CAL:DATA t i g f <value>" (static): the command that writes the value
// back.  The value is the reply up to its first control character, or "0.0"
// when the query fails.
const char* im_get_cal_config(int table, int item, int gain, int freq);

// ---- reply parsers --------------------------------------------------------------------------
// reply is a NUL-terminated text; those taking char* may cut trailing spaces.
// 1 when reply is a decimal integer text that is not zero.
int im_parse_ready(char* reply);
// 1 with *mode set when reply is a decimal integer text that fits an int.
int im_parse_mode(char* reply, int* mode);
// 0 with *value set to the hexadecimal number (low 32 bits), -1 when none.
int im_parse_register(const char* reply, uint32_t* value);
// The first number of the reply as a single-precision value; 0.0 when none.
float im_parse_float(const char* reply);
// The leading decimal integer; 0 when none or when it does not fit an int.
int im_parse_count(const char* reply);
// The version text: the reply from its fourth character on, "" when shorter.
const char* im_parse_version(const char* reply);
// Copies the serial number characters of reply into serno (IM_SERNO_LEN + 1 bytes).
void im_parse_serno(const char* reply, char* serno);
// Formats the calibration line into line (IM_CAL_LINE_SIZE bytes); reply may be null.
void im_format_cal_line(int table, int item, int gain, int freq, const char* reply, char* line);
