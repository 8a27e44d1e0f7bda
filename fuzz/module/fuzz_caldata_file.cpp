// Fuzzes the load of a calibration file: the bytes are the file, written to a
// scratch file and loaded on the headless toolkit.  Links its own
// ifp_send_query, which checks every line that would reach the module and
// refuses the line named by the file's first byte, so both a complete load and
// one that stops half-way are explored.
#include "module/caldata.h"

#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include "fuzz/fuzz_files.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int g_sent = 0;
int g_refuse_at = -1;

using fuzz_files::check;

} // namespace

// A line goes out as it was read: no comment, no CR, at most one LF at its end,
// no other control byte but tabs, within what every link carries.
int ifp_send_query(const char* command, char* reply, int size) {
    check(command != nullptr && reply == nullptr && size == 0);
    const std::size_t n = std::strlen(command);
    check(n <= CALDATA_COMMAND_MAX);
    check(std::strchr(command, ';') == nullptr);
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(command[i]);
        if (c == '\n')
            check(i + 1 == n);
        else
            check(c >= 0x20 ? c != 0x7F : c == '\t');
    }
    return g_sent++ == g_refuse_at ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        ifcPanel_register_resource();
        return true;
    }();
    (void)ready;
    static const std::string path = fuzz_files::scratch("fuzz_caldata", ".cal");
    if (!fuzz_files::write(path, data, size))
        return 0;
    g_sent = 0;
    g_refuse_at = size > 0 ? data[0] % 16 - 1 : -1; // -1: take every line
    const CaldataResult r = caldata_load_file(path.c_str());
    check(r.status == CALDATA_DONE || r.status == CALDATA_SEND_FAILED || r.status == CALDATA_FILE_ERROR);
    check((r.status == CALDATA_DONE) == r.reason.empty());
    check(r.status != CALDATA_FILE_ERROR || g_sent == 0);
    check(r.status != CALDATA_SEND_FAILED || g_sent == g_refuse_at + 1);
    // The progress window is gone again.
    for (int h : ui::panelHandles())
        check(ui::panel(h)->resourceId != PROGRESS_PANEL);
    ::unlink(path.c_str());
    return 0;
}
