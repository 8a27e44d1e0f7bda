// Small text, number and address routines shared by every part, the debug
// panel, and thin wrappers around the toolkit's pop-ups and keyboard.
//
// Texts are NUL-terminated 8-bit ASCII.  Routines that return a text return a
// static buffer of their own that the next call of the same routine
// overwrites; copy it to keep it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Sizes of the static result buffers, terminator included.
constexpr std::size_t KV_UTIL_TIME_TEXT_SIZE = 16;
constexpr std::size_t KV_UTIL_IP_TEXT_SIZE = 20;
constexpr std::size_t KV_UTIL_BIN_TEXT_SIZE = 17;
constexpr std::size_t KV_UTIL_FLOAT_TEXT_SIZE = 52;
constexpr std::size_t KV_UTIL_PATH_SIZE = 260;
// Longest time text the time checks accept.
constexpr std::size_t KV_UTIL_TIME_TEXT_MAX = 19;
// Digits kv_util_form_float_prec can give: the sign, the digits and the point
// must fit KV_UTIL_FLOAT_TEXT_SIZE.
constexpr int KV_UTIL_FLOAT_DIGITS_MAX = static_cast<int>(KV_UTIL_FLOAT_TEXT_SIZE) - 2;
// A debug line longer than this is cut.
constexpr std::size_t KV_UTIL_DBG_LINE_SIZE = 1024;

// ---- numeric text checks ------------------------------------------------------
// Both cut trailing spaces from the caller's text first.  Decimal: digits, with
// "+" or "-" allowed only as the first character; a text that held only spaces
// becomes empty and passes, an empty text fails.  Float: digits, "+", "-", "e",
// "E" and at most one "."; the positions of signs and exponents are not checked.
// 1 or 0; a null text gives 0.
int kv_util_isstr_dec(char* text);
int kv_util_isstr_float(char* text);
// 1 when the text is not empty and every character is a hexadecimal digit.
int kv_util_isstr_hex(const char* text);

// ---- CRC --------------------------------------------------------------------
// One byte step of the reflected CRC-16 with polynomial 0x1021 (the FCS-16 of
// PPP); the caller chooses the start value and any final inversion.
uint16_t kv_util_crcsum(uint16_t crc, uint8_t byte);

// ---- times ------------------------------------------------------------------
// "h:m:s" with hours 0..9999, minutes and seconds 0..59, each field digits only,
// the first two may be empty; at most KV_UTIL_TIME_TEXT_MAX characters.
// 1 with the total seconds in *seconds (when not null), else 0 (*seconds untouched).
int kv_util_isstr_time_seconds(const char* text, int32_t* seconds);
int kv_util_isstr_time(const char* text);
// Seconds of a valid time text, else 0.
int32_t kv_util_str2time(const char* text);
// "%04d:%02d:%02d" of hours, minutes and seconds (integer division, so a
// negative count gives negative fields); every int32 value fits the buffer.
const char* kv_util_time2str(int32_t seconds);

// ---- IPv4 --------------------------------------------------------------------
// Addresses and masks are 4 bytes, most significant octet first.
// Dotted decimal text: spaces before the first "." are skipped, a space after
// it ends the text.  1 with the octets in ip, else 0 (ip untouched).
int kv_util_str2ip(const char* text, uint8_t ip[4]);
const char* kv_util_ip2str(const uint8_t ip[4]);
// The mask with len leading one bits.  1, or 0 for a length outside 0..32,
// which gives the mask 0.0.0.0.
int kv_util_ip_len2mask(int len, uint8_t mask[4]);
// 8 for each leading 0xFF byte, then the left shifts that clear the first byte
// that is not 0xFF (its leading ones for a proper mask); later bytes are ignored.
int kv_util_ip_mask2len(const uint8_t mask[4]);
// 8, 16, 24 or 32 by the class of the first octet.
int kv_util_ip_default_masklen(const uint8_t ip[4]);
// 0 for 127.x.x.x, 255.255.255.255 and 0.0.0.0, else 1.
int kv_util_ip_valid(const uint8_t ip[4]);
// 1 when a and b are in the same network under mask.
int kv_util_ip_netid_same(const uint8_t a[4], const uint8_t b[4], const uint8_t mask[4]);

// ---- conversions ---------------------------------------------------------------
// Reads up to count characters as hexadecimal digits, most significant first;
// a character that is not a decimal digit counts as (its upper-case code - 55),
// unchecked.  Stops early at the end of the text; count <= 0 gives 0.  More
// than 8 digits keep the low 32 bits.
int32_t kv_util_asctohex(const char* text, int count);
// 16 characters "0"/"1", most significant bit first.
const char* kv_util_hex2binstr(uint16_t value);
// The value with digits places after the point, then cut after the digits-th
// character that is not "." (sign and integer digits count); with trim 1,
// trailing zeros after the point go, and the point with them if nothing is
// left after it.  digits outside 1..KV_UTIL_FLOAT_DIGITS_MAX gives "".
const char* kv_util_form_float_prec(double value, int digits, int trim);
// 16.16 fixed point.
double kv_util_q162float(int32_t q);
// value * 65536 truncated toward zero; out of range saturates, NaN gives 0.
int32_t kv_util_float2q16(float value);

// ---- numbers in the C locale ---------------------------------------------------------
// Instrument texts always use a decimal point, whatever locale the process
// runs in (the Qt front end adopts the user's).
// "%.*f" of value with decimals places after the point (clamped to 0..60).
std::string kv_util_ftoa(double value, int decimals = 6);
// Read one value from the start of the text as sscanf's "%lf", "%f" and "%d"
// do: white space skipped, one optional sign, then the number; what follows is
// ignored.  1 with the value, or 0 (value untouched) when no number starts
// there or it does not fit the type.
int kv_util_scan_double(const char* text, double* value);
int kv_util_scan_float(const char* text, float* value);
int kv_util_scan_int(const char* text, int* value);

// ---- keyboard and pop-ups ----------------------------------------------------------
// Lets the toolkit take one pending user event without waiting, then KeyHit().
int kv_util_kbhit();
// GetKey(), with backspace and delete as 8, escape 27, tab 9 and enter 13.
int kv_util_getchar();
void kv_util_popup_message(const char* title, const char* text);
// 1 when the user answers yes.
int kv_util_popup_ask4yesno(const char* title, const char* text);
// Asks for at most size - 1 characters into buffer: the length of the text, or
// 0 when cancelled (buffer then empty) or when size < 1 (buffer untouched).
int kv_util_popup_gets(const char* title, const char* prompt, char* buffer, int size);
// A file chosen in the current directory (path in a static buffer), or nullptr.
const char* kv_util_popup_getfile(const char* title, const char* default_file, const char* filter);

// ---- debug panel ----------------------------------------------------------------------
// Opens the debug panel ("debug.uir" panel 1) if needed and appends the
// formatted text to its text box; a panel that will not load is reported by a
// pop-up and the text is dropped.
void kv_util_dbg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Callback of the debug panel's controls: clear and close buttons.
int debugtext_service(int panel, int control, int event, void* callbackData, int eventData1,
    int eventData2);
// The debug panel's handle, -1 while it is not loaded.
int kv_util_dbg_panel();
// Registers debugtext_service with the toolkit.
void kv_util_register_callbacks();
