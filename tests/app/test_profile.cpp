// Profiles in a measurement run against the in-process simulator: the menu's
// Load Profile and Save Profile with their dialogs, every persisted control
// and the DC sweep list coming back, the displays and the module brought in
// line after a load, and files that cannot be used.
#include "app/profile.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "settings/inidata_app.h"
#include "tests/app/fra_fixture.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

namespace hl = ui::headless;
using fratest::FraTest;

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spit(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

// Every persisted control as text, in table order.
std::vector<std::string> snapshot()
{
    std::vector<std::string> out;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r) {
        const ui::Panel* p = ui::panel(*r->panel);
        const ui::Control* c = p ? p->control(r->control) : nullptr;
        if (!c) {
            out.push_back("missing");
            continue;
        }
        std::string v = r->tag;
        v += '=';
        if (std::holds_alternative<std::string>(c->value))
            v += "\"" + std::get<std::string>(c->value) + "\"";
        else if (std::holds_alternative<int>(c->value))
            v += std::to_string(std::get<int>(c->value));
        else {
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", std::get<double>(c->value));
            v += text;
        }
        out.push_back(v);
    }
    return out;
}

std::vector<double> dcList()
{
    std::vector<double> out;
    for (int i = 0; i < DCSW_STEPS; ++i) {
        out.push_back(dcsw_get_dc(i));
        out.push_back(dcsw_get_ac(i));
    }
    return out;
}

// Sets every persisted control to another value a user could give it, the
// choice depending on seed, and the DC sweep list to seeded steps.
void changeEverything(int seed)
{
    int n = 0;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r, ++n) {
        if (r->dataType == INIDATA_STRING)
            continue;   // the DC sweep list's text is built by Save Profile
        const ui::Control* c = ui::panel(*r->panel)->control(r->control);
        ASSERT_NE(c, nullptr) << r->tag;
        int rc = 0;
        if (c->kind == UiCtrlKind::Ring) {
            const int count = static_cast<int>(c->items.size());
            int pick = (c->index + 1 + n + seed) % count;
            if (pick == c->index)
                pick = (pick + 1) % count;
            rc = SetCtrlIndex(*r->panel, r->control, pick);
        } else if (c->kind == UiCtrlKind::Toggle) {
            // Odd seeds leave SAMPLE AUTO off, so the loaded SAMPLE CYCLE is shown as it is.
            rc = SetCtrlVal(*r->panel, r->control, (n + seed) % 2);
        } else {
            const double lo = std::max(c->min, -1e6), hi = std::min(c->max, 1e6);
            const double v = lo + (hi - lo) * (0.1 + 0.023 * n + 0.011 * seed) / 3.0;
            rc = SetCtrlVal(*r->panel, r->control, std::round(v * 1000.0) / 1000.0);
        }
        ASSERT_EQ(rc, 0) << r->tag;
    }
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, i == 7 ? 0.0 : (i + 1) * 1.25 - seed * 3.5, (i * 7 + seed) % 100 + 0.5);
}

class Profile : public FraTest {
protected:
    void SetUp() override
    {
        FraTest::SetUp();
        startRun();
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }
    void pick(int item)
    {
        ASSERT_EQ(hl::pickMenu(ifcMenu, item), 0);
        hl::deliver();
    }
    void saveAs(const std::string& file)
    {
        hl::answerFile(file);
        pick(MAIN_MENU_FILE_SAVE_PROFILE);
    }
    void loadFrom(const std::string& file)
    {
        hl::answerFile(file);
        pick(MAIN_MENU_FILE_LOAD_PROFILE);
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> out;
        for (const auto& p : hl::popups())
            if (p.kind == hl::PopupRecord::Message)
                out.push_back(p.title + "|" + p.text);
        return out;
    }
    static int shown(int panel)
    {
        const ui::Panel* p = ui::panel(panel);
        return p && p->visible ? 1 : 0;
    }
};

// The first dialog offers default.ini of the project folder, later ones the
// file chosen last; cancelling changes nothing.  (Runs first: the path is
// kept for the whole application run.)
TEST_F(Profile, DialogsStartAtDefaultIniThenAtTheLastChoice)
{
    const std::string first = dir_ + "/default.ini";
    EXPECT_EQ(std::string(profile_get_path()), first);
    ASSERT_EQ(ui::menuBar(ifcMenu)->menus[0].items[0].dimmed, false);
    pick(MAIN_MENU_FILE_LOAD_PROFILE);   // cancelled
    pick(MAIN_MENU_FILE_SAVE_PROFILE);   // cancelled
    EXPECT_EQ(std::string(profile_get_path()), first);
    EXPECT_FALSE(std::ifstream(first).good());
    saveAs(path("a.ini"));
    pick(MAIN_MENU_FILE_LOAD_PROFILE);   // cancelled
    std::vector<std::string> dialogs;
    for (const auto& p : hl::popups())
        if (p.kind == hl::PopupRecord::FileSelect)
            dialogs.push_back(p.title + "|" + p.defaultFile + "|" + p.text + "|" + p.directory + "|" +
                              std::to_string(p.buttonLabel));
    const std::string load = "|*.ini||" + std::to_string(VAL_LOAD_BUTTON);
    const std::string save = "|*.ini||" + std::to_string(VAL_SAVE_BUTTON);
    EXPECT_EQ(dialogs, (std::vector<std::string>{"Load Profile|" + first + load, "Save Profile|" + first + save,
                                                 "Save Profile|" + first + save,
                                                 "Load Profile|" + path("a.ini") + load}));
    EXPECT_EQ(std::string(profile_get_path()), path("a.ini"));
    EXPECT_TRUE(messages().empty());
}

TEST_F(Profile, SaveChangeEverythingLoadGetsEverySettingBackAndResynchronises)
{
    changeEverything(1);
    const std::vector<double> list = dcList();
    const std::string file = path("everything.ini");
    saveAs(file);
    ASSERT_TRUE(messages().empty());
    const std::vector<std::string> saved = snapshot();

    changeEverything(2);
    ASSERT_NE(dcList(), list);
    const std::vector<std::string> changed = snapshot();
    for (std::size_t i = 0; i + 1 < saved.size(); ++i)
        EXPECT_NE(saved[i], changed[i]) << "the test did not change " << saved[i];
    clearLog();
    loadFrom(file);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(snapshot(), saved);
    EXPECT_EQ(dcList(), list);

    // The display windows follow their loaded toggles.
    EXPECT_EQ(shown(meterP), mainInt(MAIN_PANEL_METER));
    EXPECT_EQ(shown(vcP), mainInt(MAIN_PANEL_VC_GRAPH));
    EXPECT_EQ(shown(zP), mainInt(MAIN_PANEL_BODE_GRAPH));
    EXPECT_EQ(shown(nyP), mainInt(MAIN_PANEL_NYQUST_GRAPH));

    // The module was sent exactly what SYNC sends for the loaded settings.
    const std::vector<std::string> afterLoad = log();
    clearLog();
    syncCB(ifcP, MAIN_PANEL_SYNC, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_FALSE(afterLoad.empty());
    EXPECT_EQ(afterLoad, log());
    char freq[64];
    std::snprintf(freq, sizeof freq, "IM:OUTP:SINE:FREQ %f", mainDouble(MAIN_PANEL_FREQUENCY));
    EXPECT_NE(std::find(afterLoad.begin(), afterLoad.end(), freq), afterLoad.end()) << freq;

    // Saving the loaded profile gives the same file.
    saveAs(path("again.ini"));
    EXPECT_EQ(slurp(path("again.ini")), slurp(file));
}

TEST_F(Profile, ProfileLoadsBackIntoAFreshRun)
{
    changeEverything(7);
    const std::vector<double> list = dcList();
    saveAs(path("fresh_run.ini"));
    const std::vector<std::string> saved = snapshot();

    // The run ends and a new one starts with new panels; the list is new too.
    ifc_measurement_end(false);
    ASSERT_LT(ifcP, 0);
    // Without a run the store's messages no longer go to the interface panel.
    testing::internal::CaptureStdout();
    inidata_debug_printf("between runs\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "between runs\n");
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    ifc_measurement_start();
    hl::deliver();
    ASSERT_GE(ifcP, 0);
    ASSERT_NE(snapshot(), saved);
    clearLog();
    loadFrom(path("fresh_run.ini"));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(snapshot(), saved);
    EXPECT_EQ(dcList(), list);
    EXPECT_FALSE(log().empty());
}

TEST_F(Profile, FreshListIsTenZeroPairsOnThreeLines)
{
    const std::string file = path("fresh.ini");
    saveAs(file);
    const std::string zeros = [] {
        std::string s;
        for (int i = 0; i < DCSW_STEPS; ++i)
            s += "0.000000 0.000000 ";
        return s;
    }();
    ASSERT_EQ(zeros.size(), 180u);
    const std::string text = slurp(file);
    EXPECT_NE(text.find("[BACKDOOR]\r\nDCSW_LIST Line0001 = \"" + zeros.substr(0, 80) + "\"\r\nDCSW_LIST Line0002 = \"" +
                        zeros.substr(80, 80) + "\"\r\nDCSW_LIST Line0003 = \"" + zeros.substr(160) +
                        "\"\r\n\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("[OUTPUT SOURCE]\r\nFREQUENCY = 1000\r\n", 0), 0u);
}

TEST_F(Profile, ListTextsFromElsewhere)
{
    struct Case {
        const char* text;
        std::vector<double> list;   // the first steps; the rest are 0.0
    } cases[] = {
        {"1.5 10 2.5 20 3.5 30 ", {1.5, 10, 2.5, 20, 3.5, 30}},
        {"1.5 10 2.5", {1.5, 10}},                              // odd count: last number dropped
        {"   4   50    ", {4, 50}},                              // blanks anywhere
        {"abc 5 6x 7", {0, 5, 6, 7}},                            // no number counts 0.0
        {"5000 -3 -5000 250 nan 1", {1000, 0, -1000, 100, 0, 1}},   // what the window would take
        {"1 1 2 2 3 3 4 4 5 5 6 6 7 7 8 8 9 9 10 10 11 11", {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10}},
        {"", {}},
    };
    for (const Case& c : cases) {
        for (int i = 0; i < DCSW_STEPS; ++i)
            dcsw_set_step(i, 99, 99);
        profile_dcsw_parse(c.text);
        std::vector<double> expected = c.list;
        expected.resize(2 * DCSW_STEPS, 0.0);
        EXPECT_EQ(dcList(), expected) << c.text;
    }
    dcsw_set_step(0, -1.25, 12.5);
    dcsw_set_step(1, 1000, 100);
    EXPECT_EQ(profile_dcsw_text().substr(0, 43), "-1.250000 12.500000 1000.000000 100.000000 ");
}

// A profile without the list keeps the text the hidden control holds: the
// list as last saved or loaded in this run.
TEST_F(Profile, ProfileWithoutListRebuildsItFromTheHiddenText)
{
    changeEverything(3);
    const std::vector<double> list = dcList();
    saveAs(path("with.ini"));
    std::string text = slurp(path("with.ini"));
    text.erase(text.find("[BACKDOOR]"));
    spit(path("without.ini"), text);
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 7, 7);
    loadFrom(path("without.ini"));
    EXPECT_EQ(dcList(), list);
    EXPECT_TRUE(messages().empty());
}

TEST_F(Profile, LoadedListRefreshesAnOpenListWindow)
{
    pick(MAIN_MENU_SWEEP_DCSW);
    ASSERT_GE(dcswP, 0);
    spit(path("list.ini"), "[BACKDOOR]\r\nDCSW_LIST = \"2.5 40 \"\r\n");
    loadFrom(path("list.ini"));
    std::string label;
    GetLabelFromIndex(dcswP, DCSW_PANEL_LIST, 1, &label);
    EXPECT_NE(label.find("2.50"), std::string::npos) << label;
    double dc = 0;
    GetCtrlVal(dcswP, DCSW_PANEL_DC, &dc);
    EXPECT_EQ(dc, 2.5);
}

// Files that cannot be used: "Fail", nothing re-applied, the list as it was.
TEST_F(Profile, FilesThatCannotBeLoadedOrSaved)
{
    changeEverything(4);
    const std::vector<double> list = dcList();
    ASSERT_EQ(::mkdir(path("folder.ini").c_str(), 0700), 0);
    spit(path("binary.ini"), std::string("[OUTPUT SOURCE]\r\nFREQUENCY = 5\0\0\r\n", 35));
    const std::vector<std::string> before = snapshot();
    for (const char* name : {"missing.ini", "folder.ini", "binary.ini"}) {
        hl::clearPopups();
        clearLog();
        loadFrom(path(name));
        EXPECT_EQ(messages(), std::vector<std::string>{"Load Profile|Fail"}) << name;
        EXPECT_TRUE(log().empty()) << name;
        EXPECT_EQ(dcList(), list);
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(std::string(profile_get_path()), path(name));
    }
    // The interface panel's log says why.
    std::string ifpLog;
    GetCtrlVal(ifp_panel(), IFP_PANEL_MSG, &ifpLog);
    EXPECT_NE(ifpLog.find("inidata_load_file: Ini_ReadFromFile " + path("binary.ini") +
                          " Fail: not a text file (it holds NUL bytes)"),
              std::string::npos)
        << ifpLog;

    const std::string ro = path("ro.ini");
    spit(ro, "[OLD]\r\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    for (const std::string& target : {ro, path("folder.ini"), path("nowhere/p.ini")}) {
        hl::clearPopups();
        saveAs(target);
        EXPECT_EQ(messages(), std::vector<std::string>{"Save Profile|Fail"}) << target;
    }
    EXPECT_EQ(slurp(ro), "[OLD]\r\n");
}

// A profile edited elsewhere: a line too long to be one of ours, a missing
// section and a malformed number cost only their own rows.
TEST_F(Profile, EditedProfileCostsOnlyItsBadRows)
{
    changeEverything(5);
    saveAs(path("base.ini"));
    const std::vector<std::string> saved = snapshot();
    std::string text = slurp(path("base.ini"));
    const auto meter = text.find("[METER]");
    text.erase(meter, text.find("[NYQUST]") - meter);
    const auto cycle = text.find("CYCLE = ");
    text.replace(cycle, text.find("\r\n", cycle) - cycle, "CYCLE = 0,5");
    const auto peak = text.find("AC VALUE PEAK = ");
    text.replace(peak, text.find("\r\n", peak) - peak, "AC VALUE PEAK = 1" + std::string(300, '0'));
    spit(path("edited.ini"), text);
    changeEverything(6);
    const std::vector<std::string> changed = snapshot();
    hl::clearPopups();
    loadFrom(path("edited.ini"));
    EXPECT_TRUE(messages().empty());
    const std::vector<std::string> now = snapshot();
    for (std::size_t i = 0; i < now.size(); ++i) {
        const bool kept = i == 3 || i == 4 || (i >= 18 && i <= 20);   // AC VALUE PEAK, CYCLE, METER
        EXPECT_EQ(now[i], kept ? changed[i] : saved[i]) << i;
    }
    std::string ifpLog;
    GetCtrlVal(ifp_panel(), IFP_PANEL_MSG, &ifpLog);
    for (const char* m : {"[OUTPUT SOURCE]:AC VALUE PEAK Get Data Fail = 1!", "[SAMPLE]:CYCLE Get Data Fail = 3!",
                          "[METER]:QUALITY MODE Get Data Fail = 1!"})
        EXPECT_NE(ifpLog.find(std::string("inidata_load_file: ") + m), std::string::npos) << m;
}

// With SAMPLE AUTO on, the cycle shown is the automatic choice; the
// profile's own cycle comes back when AUTO is switched off.
TEST_F(Profile, ProfileWithSampleAutoKeepsItsCycleForLater)
{
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 2.5);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1);
    saveAs(path("auto.ini"));
    EXPECT_NE(slurp(path("auto.ini")).find("[SAMPLE]\r\nCYCLE = 2.5\r\nAUTO = 1\r\n"), std::string::npos);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 0.75);
    loadFrom(path("auto.ini"));
    EXPECT_EQ(mainInt(MAIN_PANEL_SAMPLE_AUTO), 1);
    EXPECT_EQ(ctrlMode(ifcP, MAIN_PANEL_SAMPLE_CYCLE), VAL_INDICATOR);
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0), 0);
    hl::deliver();
    EXPECT_EQ(mainDouble(MAIN_PANEL_SAMPLE_CYCLE), 2.5);
}

TEST_F(Profile, NoLoadDuringASweep)
{
    const std::string file = path("p.ini");
    saveAs(file);
    userSweep(1);
    ASSERT_EQ(ifc_sweep_on(), 1);
    hl::clearPopups();
    pick(MAIN_MENU_FILE_LOAD_PROFILE);
    EXPECT_EQ(messages(), std::vector<std::string>{"Load Profile|Stop the sweep before loading a profile."});
    for (const auto& p : hl::popups())
        EXPECT_NE(p.kind, hl::PopupRecord::FileSelect);
    userSweep(0);
}

}  // namespace
