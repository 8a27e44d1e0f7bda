// Parameter access of the SCPI instruments (the electronic load and the DC
// supply): one command line built from a header, sent through
// ifp_send_query, and for a query the reply checked and converted strictly.
// The load's and the supply's panels each keep their own header tables and
// call these with a header text.  Every function gives 1 on success and 0 on
// failure, shows no message, and writes the caller's value only when a query
// succeeded.
#pragma once

#include <span>

// A command line and a reply each fit this many bytes (the terminating zero
// included).
inline constexpr int SCPI_LINE_SIZE = 180;
// A list header such as "STEP:POW:TIME" fits this many bytes.
inline constexpr int SCPI_LIST_HEADER_SIZE = 20;

// A query whose reply is taken as text, whole ("*IDN?", "MEAS:SUMM?").
int scpi_query_text(const char* command, char (&reply)[SCPI_LINE_SIZE]);

// How many exchanges of these functions ifp_send_query could not complete so
// far (no answer in time, or one the link refused); a reply that came but is
// not a number or name of the expected kind is not counted.
unsigned scpi_unanswered();

// " MAX" when max is set, else " MIN" when min is set, else "".
const char* scpi_suffix(int max, int min);

// A reply as a number: the whole text (trailing blanks aside) must be one,
// and fit the type; 1 with the value written, else 0 and the value untouched.
// The reply's trailing blanks are cut in place.
int scpi_reply_int(char* reply, int* value);
int scpi_reply_float(char* reply, float* value);

// Integer and float parameters.  With set, "H S v" is sent and nothing read
// (value null: "H S" alone); otherwise "H?S" is asked and the reply, the whole
// of it, must be a number that fits the value's type.
int scpi_access_int(const char* header, int* value, int max, int min, int set);
int scpi_access_float(const char* header, float* value, int max, int min, int set);

// An entry of a list (entry numbers from 1): the value (float) of "H n", or
// with time the dwell time (integer) of "H:TIME n".
int scpi_access_list(const char* header, int entry, float* value, int* time, int time_flag, int max, int min, int set);

// A parameter whose value is one of names: "H name" sets it; "H?" must be
// answered by one of the names, exactly, and its position is the value.
int scpi_access_name(const char* header, std::span<const char* const> names, int* value, int set);

// Limits refresh of a numeric control: the maximum, then the minimum, then the
// value, each from the instrument; the first failed query ends it.  A minimum
// above the maximum is refused, and the two are set in the order that never
// leaves the control's maximum below its minimum.  with_limits 0 reads only
// the value.
int scpi_refresh_float(int panel, int control, const char* header, int with_limits);
int scpi_refresh_int(int panel, int control, const char* header, int with_limits);

// Sets a control's minimum and maximum (a null one stays as it is) in the
// order that never leaves the maximum below the minimum; 0 without a change
// when the new minimum would lie above the new maximum.
int scpi_set_limits(int panel, int control, const double* lo, const double* hi);
// Both limits at once.
inline int scpi_set_range(int panel, int control, double lo, double hi)
{
    return scpi_set_limits(panel, control, &lo, &hi);
}

// The header row ("NO. VALUE TIME") or entry row of a list box; the item's
// value is the row index.  insert: insert at the row, else replace it.
void scpi_list_show_row(int panel, int control, int row, float value, int time, int insert, int header);
