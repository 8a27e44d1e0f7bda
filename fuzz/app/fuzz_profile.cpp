// Fuzzes the load of a profile: the bytes are the file, read through the
// settings table into the measurement tool's panels (headless), with its DC
// sweep list text.  Every value must land within its control's range, and a
// save of what was loaded must load back to the same values, again and again.
#include "app/fra.h"
#include "app/ifc.h"
#include "app/profile.h"
#include "settings/inidata.h"
#include "settings/inidata_app.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include "fuzz/fuzz_files.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using fuzz_files::check;

void quiet(const char*, ...) { }

// Every row's value, each checked against its control's range; then the DC list.
std::vector<ui::Value> values() {
    std::vector<ui::Value> out;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r) {
        const ui::Panel* p = ui::panel(*r->panel);
        check(p != nullptr);
        const ui::Control* c = p->control(r->control);
        check(c != nullptr);
        if (const double* d = std::get_if<double>(&c->value))
            check(!std::isnan(*d) && *d >= c->min && *d <= c->max);
        if (const int* i = std::get_if<int>(&c->value); i && c->kind == UiCtrlKind::Numeric)
            check(*i >= c->min && *i <= c->max);
        out.push_back(c->value);
    }
    for (int i = 0; i < DCSW_STEPS; ++i) {
        out.emplace_back(dcsw_get_dc(i));
        out.emplace_back(dcsw_get_ac(i));
    }
    return out;
}

// Loads path as Load Profile does, without the dialog and the module.
bool load(const std::string& path) {
    if (!inidata_load_file(path.c_str(), inidata_app_table()))
        return false;
    std::string text;
    GetCtrlVal(ifcP, MAIN_PANEL_DCSW_LIST, &text);
    profile_dcsw_parse(text.c_str());
    return true;
}

// Saves as Save Profile does.
void save(const std::string& path) {
    SetCtrlVal(ifcP, MAIN_PANEL_DCSW_LIST, profile_dcsw_text());
    check(inidata_save_file(path.c_str(), inidata_app_table()) == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        inidata_hook_debug_printf(quiet);
        ifc_register_all();
        return fra_open() == 1;
    }();
    check(ready);
    const std::string input = fuzz_files::scratch("fuzz_profile", ".ini");
    const std::string again = fuzz_files::scratch("fuzz_profile", "-again.ini");
    if (!fuzz_files::write(input, data, size))
        return 0;
    inidata_set_default(inidata_app_table());
    if (load(input)) {
        values();
        // The first save may round values to the file's precision; after that
        // saving and loading changes nothing.
        save(again);
        inidata_set_default(inidata_app_table());
        check(load(again));
        const std::vector<ui::Value> once = values();
        save(again);
        inidata_set_default(inidata_app_table());
        check(load(again));
        check(values() == once);
    }
    ::unlink(input.c_str());
    ::unlink(again.c_str());
    return 0;
}
