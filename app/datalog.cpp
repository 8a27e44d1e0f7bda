// The logged data file: a sweep's points as a column table for spreadsheets
// and plotting tools.
#include "app/fra.h"

#include "platform/safe_file.h"
#include "ui/resources/ifcPanel_main.h"
#include "ui/toolkit.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr const char kSaveTitle[] = "Save Logged Data";

// The file dialog until a file is written or the user gives up; a file that
// cannot be written is named with the reason, and the points stay for
// another try.
void save_points(const IfcPoint* points, int count)
{
    for (;;) {
        char path[MAX_PATHNAME_LEN] = "";
        const int chosen = FileSelectPopup("", "untitle.dat", "*.dat", kSaveTitle, VAL_SAVE_BUTTON,
            0, 0, 1, 1, path, sizeof path);
        if (chosen <= 0)
            return;
        const std::string error = ifc_write_log_file(path, points, count);
        if (error.empty()) {
            const std::string text = std::string("File '") + path + "' Save to Disk!";
            MessagePopup("", text.c_str());
            return;
        }
        const std::string text = std::string("File '") + path + "' could not be saved: " +
            error +
            ".\n\nThe points are still in memory. Choose another file?";
        if (!ConfirmPopup(kSaveTitle, text.c_str()))
            return;
    }
}

} // namespace

std::string ifc_write_log_file(const char* path, const IfcPoint* points, int count)
{
    std::string text = ifc_log_title_line();
    text += ifc_log_rule_line();
    for (int i = 0; i < count; ++i)
        text += ifc_format_log_line(points[i]);
    const safe_file::Result r = safe_file::save(path ? path : "", text);
    return r.ok() ? std::string() : safe_file::describe(r);
}

void ifc_save_log()
{
    const uint32_t logged = ifc_log_count();
    int n = static_cast<int>(logged > IFC_LOG_SIZE ? IFC_LOG_SIZE : logged);
    if (logged > IFC_LOG_SIZE) {
        char text[128];
        std::snprintf(text, sizeof text, "There are %u items to save, only %d avalibale",
            static_cast<unsigned>(logged), IFC_LOG_SIZE);
        MessagePopup("Data Overrun!", text);
    }
    if (n == 0)
        return;
    save_points(ifc_log_data(), n);
}

void ifc_save_log_menu(int, int menuItem, void*, int)
{
    if (menuItem != MAIN_MENU_FILE_SAVE_LOG)
        return;
    if (ifc_log_count() == 0) {
        MessagePopup(kSaveTitle, "There are no logged points: they are kept from the start of "
                                 "a sweep until the next sweep starts.");
        return;
    }
    ifc_save_log();
}
