#include "settings/inidata.h"

#include "settings/ini.h"
#include "ui/toolkit.h"
#include "util/kv_util.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

InidataPrintf g_hook = nullptr;
int g_last_file_error = kIniOk;

// Integer rows hold values of the control's own width; the control is an int.
long narrow_signed(int32_t type, long value) {
    switch (type) {
    case INIDATA_CHAR:
        return static_cast<int8_t>(static_cast<uint8_t>(value & 0xFF));
    case INIDATA_SHORT:
        return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF));
    default:
        return value;
    }
}

unsigned long narrow_unsigned(int32_t type, unsigned long value) {
    switch (type) {
    case INIDATA_UCHAR:
        return value & 0xFFu;
    case INIDATA_USHORT:
        return value & 0xFFFFu;
    default:
        return value;
    }
}

bool is_signed_type(int32_t type) {
    return type == INIDATA_CHAR || type == INIDATA_INT || type == INIDATA_SHORT;
}
bool is_unsigned_type(int32_t type) {
    return type == INIDATA_USHORT || type == INIDATA_UINT || type == INIDATA_UCHAR;
}
bool is_real_type(int32_t type) { return type == INIDATA_FLOAT || type == INIDATA_DOUBLE; }

int panel_of(const InidataRow& row) { return row.panel ? *row.panel : -1; }

// The text of a row, cut to what a text row holds.
std::string cut_text(std::string text, bool* cut) {
    *cut = text.size() > INIDATA_TEXT_MAX;
    if (*cut)
        text.resize(INIDATA_TEXT_MAX);
    return text;
}

void save_message(const InidataRow& row, const char* what, int code) {
    inidata_debug_printf("inidata_save_file: [%s]:%s %s = %d!\n", row.section, row.tag, what, code);
}

// Puts the control value of one row (of a known data type) into the object;
// a control that cannot be read or a value that cannot be put costs the row
// only, with a message.
void save_row(IniObject* ini, const InidataRow& row) {
    const int panel = panel_of(row);
    int got = 0;
    int put = kIniOk;
    if (is_signed_type(row.dataType) || is_unsigned_type(row.dataType)) {
        int value = 0;
        got = GetCtrlVal(panel, row.control, &value);
        if (got >= 0 && is_signed_type(row.dataType))
            put = ini_put_int(ini, row.section, row.tag, narrow_signed(row.dataType, value));
        else if (got >= 0) // an unsigned row keeps the bits of the int control
            put = ini_put_uint(ini, row.section, row.tag,
                narrow_unsigned(row.dataType, static_cast<uint32_t>(value)));
    } else if (row.dataType == INIDATA_FLOAT) {
        float value = 0.0f;
        got = GetCtrlVal(panel, row.control, &value);
        if (got >= 0)
            put = ini_put_double(ini, row.section, row.tag, static_cast<double>(value));
    } else if (row.dataType == INIDATA_DOUBLE) {
        double value = 0.0;
        got = GetCtrlVal(panel, row.control, &value);
        if (got >= 0)
            put = ini_put_double(ini, row.section, row.tag, value);
    } else {
        std::string value;
        got = GetCtrlVal(panel, row.control, &value);
        if (got >= 0) {
            bool cut = false;
            value = cut_text(std::move(value), &cut);
            if (cut)
                inidata_debug_printf("inidata_save_file: [%s]:%s Text Cut to %zu Characters!\n",
                    row.section, row.tag, INIDATA_TEXT_MAX);
            put = ini_put_string(ini, row.section, row.tag, value);
        }
    }
    if (got < 0)
        save_message(row, "Get Control Fail", got);
    else if (put != kIniOk)
        save_message(row, "Put Data Fail", put);
}

// Result of loading one row: 1 set, 0 or negative: the getter's result.
int load_row(const IniObject* ini, const InidataRow& row, int* set_result) {
    const int panel = panel_of(row);
    *set_result = 0;
    if (is_signed_type(row.dataType)) {
        long value = 0;
        int rc = ini_get_int(ini, row.section, row.tag, &value);
        if (rc < 1)
            return rc;
        // An int row takes what an int holds; the narrower rows take the low bits.
        if (row.dataType == INIDATA_INT &&
            (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()))
            return kIniErrConvert;
        *set_result = SetCtrlVal(panel, row.control, static_cast<int>(narrow_signed(row.dataType, value)));
        return 1;
    }
    if (is_unsigned_type(row.dataType)) {
        unsigned long value = 0;
        int rc = ini_get_uint(ini, row.section, row.tag, &value);
        if (rc < 1)
            return rc;
        if (row.dataType == INIDATA_UINT && value > std::numeric_limits<uint32_t>::max())
            return kIniErrConvert;
        const auto bits = static_cast<uint32_t>(narrow_unsigned(row.dataType, value));
        *set_result = SetCtrlVal(panel, row.control, static_cast<int>(bits));
        return 1;
    }
    if (is_real_type(row.dataType)) {
        double value = 0.0;
        int rc = ini_get_double(ini, row.section, row.tag, &value);
        if (rc < 1)
            return rc;
        *set_result = SetCtrlVal(panel, row.control, value);
        return 1;
    }
    // INIDATA_STRING
    char text[INIDATA_TEXT_MAX + 1];
    bool cut = false;
    int rc = ini_get_string_into_buffer(ini, row.section, row.tag, text, sizeof text, &cut);
    if (rc < 1)
        return rc;
    if (cut)
        inidata_debug_printf("inidata_load_file: [%s]:%s Text Cut to %zu Characters!\n", row.section,
            row.tag, INIDATA_TEXT_MAX);
    *set_result = SetCtrlVal(panel, row.control, text);
    return 1;
}

bool known_type(int32_t type) {
    return is_signed_type(type) || is_unsigned_type(type) || is_real_type(type) ||
        type == INIDATA_STRING;
}

} // namespace

void inidata_hook_debug_printf(InidataPrintf hook) { g_hook = hook; }

void inidata_debug_printf(const char* format, ...) {
    char text[INIDATA_MESSAGE_MAX + 1];
    std::va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        return;
    if (g_hook)
        g_hook("%s", text);
    else
        std::fputs(text, stdout);
}

const char* inidata_error_text(int code) {
    switch (code) {
    case kIniOk:
        return "no error";
    case kIniErrArgument:
        return "no usable file name";
    case kIniErrNoMemory:
        return "out of memory";
    case kIniErrNotFound:
        return "no such file or folder";
    case kIniErrOpen:
        return "the file cannot be opened (permission denied?)";
    case kIniErrNotFile:
        return "not a regular file";
    case kIniErrRead:
        return "read error";
    case kIniErrBinary:
        return "not a text file (it holds NUL bytes)";
    case kIniErrTooLarge:
        return "the file is too large";
    case kIniErrReadOnly:
        return "the file is read-only";
    case kIniErrWrite:
        return "the file cannot be written (folder missing, read-only or full?)";
    case kIniErrRename:
        return "the file cannot be replaced";
    case kIniErrConvert:
        return "not a number of that kind";
    default:
        return "unknown error";
    }
}

int inidata_last_file_error() { return g_last_file_error; }

int inidata_set_default(const InidataRow* table) {
    for (const InidataRow* row = table; row && row->dataType >= 0; ++row) {
        const int panel = panel_of(*row);
        int rc = 0;
        if (is_signed_type(row->dataType) || is_unsigned_type(row->dataType)) {
            // Default texts are the table's own, always plain decimal numbers.
            rc = SetCtrlVal(panel, row->control, static_cast<int>(std::strtol(row->defaultText, nullptr, 10)));
        } else if (is_real_type(row->dataType)) {
            double value = 0.0;
            kv_util_scan_double(row->defaultText, &value);
            rc = SetCtrlVal(panel, row->control, value);
        } else if (row->dataType == INIDATA_STRING) {
            rc = SetCtrlVal(panel, row->control, row->defaultText);
        } else {
            inidata_debug_printf("inidata_set_default: Unknown Data Type!\n");
            return 0;
        }
        if (rc < 0)
            inidata_debug_printf("inidata_set_default: [%s]:%s Set Control Fail = %d!\n", row->section,
                row->tag, rc);
    }
    return 1;
}

int inidata_save_file(const char* path, const InidataRow* table) {
    IniText ini = ini_new(false);
    if (!ini) {
        inidata_debug_printf("inidata_save_file: Ini_New Fail\n");
        return 0;
    }
    for (const InidataRow* row = table; row && row->dataType >= 0; ++row) {
        if (!known_type(row->dataType)) {
            inidata_debug_printf("inidata_save_file: [%s]:%s Unknown Data Type = %d!\n", row->section,
                row->tag, row->dataType);
            continue;
        }
        // A new section goes to the end of the section list even when its row
        // fails below, so the sections keep the table's order.
        if (ini_section_exists(ini.get(), row->section) != 1 &&
            ini_put_string(ini.get(), row->section, "DummyTagName", "") == kIniOk)
            ini_remove_item(ini.get(), row->section, "DummyTagName");
        // A later row of the same section and tag replaces an earlier one.
        if (ini_item_exists(ini.get(), row->section, row->tag) == 1)
            ini_remove_item(ini.get(), row->section, row->tag);
        save_row(ini.get(), *row);
    }
    g_last_file_error = ini_write_to_file(ini.get(), path);
    ini_dispose(ini);
    if (g_last_file_error != kIniOk) {
        inidata_debug_printf("inidata_save_file: Ini_WriteToFile %s Fail: %s\n", path ? path : "",
            inidata_error_text(g_last_file_error));
        return 0;
    }
    return 1;
}

int inidata_load_file(const char* path, const InidataRow* table) {
    IniText ini = ini_new(false);
    if (!ini) {
        inidata_debug_printf("inidata_load_file: Ini_New Fail\n");
        return 0;
    }
    g_last_file_error = ini_read_from_file(ini.get(), path, INIDATA_MAX_FILE_SIZE);
    if (g_last_file_error != kIniOk) {
        inidata_debug_printf("inidata_load_file: Ini_ReadFromFile %s Fail", path ? path : "");
        // The reason, on the same line of the terminal.
        inidata_debug_printf(": %s\n", inidata_error_text(g_last_file_error));
        ini_dispose(ini);
        return 0;
    }
    for (const InidataRow* row = table; row && row->dataType >= 0; ++row) {
        if (!known_type(row->dataType)) {
            inidata_debug_printf("inidata_load_file: [%s]:%s Unknown Data Type = %d!\n", row->section,
                row->tag, row->dataType);
            continue;
        }
        int set_result = 0;
        if (load_row(ini.get(), *row, &set_result) < 1)
            inidata_debug_printf("inidata_load_file: [%s]:%s Get Data Fail = %d!\n", row->section,
                row->tag, row->dataType);
        else if (set_result < 0)
            inidata_debug_printf("inidata_load_file: [%s]:%s Set Control Fail = %d!\n", row->section,
                row->tag, set_result);
    }
    ini_dispose(ini);
    return 1;
}
