// The settings store: a table names, for every persisted control, the INI
// section and tag it is stored under, its default text, the panel it lives on
// and its data type.  Three walks over a table set every control to its
// default, save every control into an INI file and load every control from
// one.  Setting a control here never runs its callback: applying loaded
// values to the instrument is the caller's business.
//
// Diagnostics go through one hook (the interface panel's terminal while a
// link is up), or to the standard output when none is installed.
#pragma once

#include <cstddef>
#include <cstdint>

// Data-type codes of a row: the value type of the control.
enum : int32_t {
    INIDATA_CHAR = 0, // signed 8 bits
    INIDATA_INT = 1, // signed 32 bits
    INIDATA_SHORT = 2, // signed 16 bits
    INIDATA_FLOAT = 3,
    INIDATA_DOUBLE = 4,
    INIDATA_STRING = 5, // text of at most INIDATA_TEXT_MAX characters
    INIDATA_USHORT = 6,
    INIDATA_UINT = 7,
    INIDATA_UCHAR = 8,
    INIDATA_END = -1, // any negative code ends a table
};

// A text row reads and writes at most this many characters.
inline constexpr std::size_t INIDATA_TEXT_MAX = 511;
// Diagnostic messages are cut to this many characters.
inline constexpr std::size_t INIDATA_MESSAGE_MAX = 511;

// One persisted control.  panel points at the variable that holds the panel
// handle, read at each operation, so rows of panels loaded later work.
struct InidataRow {
    int32_t dataType;
    const char* section;
    const char* tag;
    const char* defaultText;
    const int* panel;
    int control;
};

// Every control of the table set to its default: 1, or 0 at a row of unknown
// data type (the rows after it are not processed).
int inidata_set_default(const InidataRow* table);
// Every row's control value written to path (through a temporary file that
// replaces the target in one step): 1 on success, 0 on failure.
int inidata_save_file(const char* path, const InidataRow* table);
// Every control for which the file has a usable value set from it: 1 when the
// file was read (even if single rows failed), 0 when it cannot be read.  A
// settings file is a few kilobytes: one over INIDATA_MAX_FILE_SIZE is refused,
// so that the memory a load takes stays small.
inline constexpr std::size_t INIDATA_MAX_FILE_SIZE = 256u << 10;
int inidata_load_file(const char* path, const InidataRow* table);

// The function that receives diagnostic messages, called with "%s" and the
// finished text; nullptr sends them to the standard output.
using InidataPrintf = void (*)(const char* format, ...);
void inidata_hook_debug_printf(InidataPrintf hook);
void inidata_debug_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A short text for a result code of the INI layer (kIniErr...).
const char* inidata_error_text(int code);
// The code of the last failed INI file operation of a save or load (kIniOk
// after a success), so a caller can say why a file could not be used.
int inidata_last_file_error();
