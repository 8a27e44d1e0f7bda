// Profiles in a measurement run: every persisted control and the DC sweep list
// come back, the windows and the module are brought in line after a load, and
// hostile files cost what they must and no more.  The DC sweep list window.
#include "app/profile.h"

#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/vc.h"
#include "link/ifp.h"
#include "settings/inidata_app.h"
#include "tests/support/run_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace {

namespace hl = ui::headless;
using namespace tsupport;
using Texts = std::vector<std::string>;

// Every persisted control with its value, in table order.
std::vector<std::pair<std::string, ui::Value>> snapshot() {
    std::vector<std::pair<std::string, ui::Value>> out;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r)
        out.emplace_back(r->tag, ui::panel(*r->panel)->control(r->control)->value);
    return out;
}

std::vector<double> dcList() {
    std::vector<double> out;
    for (int i = 0; i < DCSW_STEPS; ++i)
        out.insert(out.end(), {dcsw_get_dc(i), dcsw_get_ac(i)});
    return out;
}

// Every persisted control set to another value a user could give it (the
// choice depending on seed), and the DC sweep list to seeded steps.
void changeEverything(int seed) {
    int n = 0;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r, ++n) {
        if (r->dataType == INIDATA_STRING)
            continue; // the list's text is made by Save Profile
        const ui::Control* c = ui::panel(*r->panel)->control(r->control);
        int rc = 0;
        if (c->kind == UiCtrlKind::Ring) {
            const int count = static_cast<int>(c->items.size());
            const int pick = (c->index + 1 + n + seed) % count;
            rc = SetCtrlIndex(*r->panel, r->control, pick == c->index ? (pick + 1) % count : pick);
        } else if (c->kind == UiCtrlKind::Toggle) {
            rc = SetCtrlVal(*r->panel, r->control, (n + seed) % 2); // odd seeds leave SAMPLE AUTO off
        } else {
            const double lo = std::max(c->min, -1e6), hi = std::min(c->max, 1e6);
            rc = SetCtrlVal(*r->panel, r->control,
                std::round((lo + (hi - lo) * (0.1 + 0.023 * n + 0.011 * seed) / 3.0) * 1000.0) / 1000.0);
        }
        ASSERT_EQ(rc, 0) << r->tag;
    }
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, i == 7 ? 0.0 : (i + 1) * 1.25 - seed * 0.5, (i * 7 + seed) % 100 + 0.5);
}

class Profile : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        startRun();
    }
    static void saveAs(const std::string& file) {
        hl::answerFile(file);
        pick(ifcMenu, MAIN_MENU_FILE_SAVE_PROFILE);
    }
    static void loadFrom(const std::string& file) {
        hl::answerFile(file);
        pick(ifcMenu, MAIN_MENU_FILE_LOAD_PROFILE);
    }
    static std::string ifpLog() {
        std::string text;
        GetCtrlVal(ifp_panel(), IFP_PANEL_MSG, &text);
        return text;
    }
};

// A fresh list is saved as ten zero pairs on three lines; a cancelled dialog
// changes nothing.  A profile loaded into a fresh run brings every setting
// back: the settings bind to the panels of the run at hand.
TEST_F(Profile, SaveChangeEverythingLoadGetsEverySettingBackAndResynchronises) {
    const std::string before = profile_get_path(), file = dir_.file("everything.ini");
    clearLog();
    pick(ifcMenu, MAIN_MENU_FILE_LOAD_PROFILE); // cancelled
    pick(ifcMenu, MAIN_MENU_FILE_SAVE_PROFILE); // cancelled
    EXPECT_EQ(profile_get_path(), before);
    EXPECT_TRUE(log().empty() && messages().empty());
    saveAs(file);
    EXPECT_EQ(profile_get_path(), file);
    std::string zeros;
    for (int i = 0; i < DCSW_STEPS; ++i)
        zeros += "0.000000 0.000000 ";
    const std::string fresh = readFile(file).value_or("");
    EXPECT_EQ(fresh.rfind("[OUTPUT SOURCE]\r\nFREQUENCY = 1000\r\n", 0), 0u) << fresh;
    EXPECT_NE(fresh.find("[BACKDOOR]\r\nDCSW_LIST Line0001 = \"" + zeros.substr(0, 80) + "\"\r\nDCSW_LIST Line0002 = \"" +
                  zeros.substr(80, 80) + "\"\r\nDCSW_LIST Line0003 = \"" + zeros.substr(160) + "\"\r\n\r\n"),
        std::string::npos)
        << fresh;

    changeEverything(1);
    const std::vector<double> list = dcList();
    saveAs(file);
    const auto saved = snapshot();
    ifc_measurement_end(false);
    ifc_measurement_start();
    hl::deliver();
    changeEverything(1);
    changeEverything(2);
    const auto changed = snapshot();
    for (std::size_t i = 0; i + 1 < saved.size(); ++i)
        ASSERT_NE(saved[i], changed[i]) << "the test did not change " << saved[i].first;
    clearLog();
    loadFrom(file);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(snapshot(), saved);
    EXPECT_EQ(dcList(), list);
    const std::pair<int, int> windows[] = {
        {MAIN_PANEL_METER, meterP}, {MAIN_PANEL_VC_GRAPH, vcP}, {MAIN_PANEL_BODE_GRAPH, zP}, {MAIN_PANEL_NYQUST_GRAPH, nyP}};
    for (const auto& [toggle, panel] : windows)
        EXPECT_EQ(ui::panel(panel)->visible ? 1 : 0, mainInt(toggle)) << "the window follows its toggle " << toggle;
    // The graphs follow their windows' selectors, in a run opened after the save.
    std::string quantity;
    int select = 0, reverse = 0, equal = 0;
    GetCtrlIndex(zP, BODE_PANEL_SELECT1, &select), GetLabelFromIndex(zP, BODE_PANEL_SELECT1, select, &quantity);
    GetCtrlVal(zP, BODE_PANEL_XAXIS_REVERSE, &reverse), GetCtrlVal(nyP, NYQUST_PANEL_EQUAL_SCALE, &equal);
    const ui::Graph& upper = ui::panel(zP)->control(BODE_PANEL_GRAPH1)->graph;
    EXPECT_EQ((std::tuple{upper.axes[VAL_LEFT_YAXIS].name, int(upper.axes[VAL_XAXIS].reverse),
                  int(ui::panel(nyP)->control(NYQUST_PANEL_GRAPH)->graph.equalScale)}),
        (std::tuple{quantity, reverse, equal}));
    // The module was sent what SYNC sends for the loaded settings.
    const Texts afterLoad = log();
    clearLog();
    syncCB(ifcP, MAIN_PANEL_SYNC, EVENT_COMMIT, nullptr, 0, 0);
    EXPECT_EQ(afterLoad, log());
    char freq[64];
    std::snprintf(freq, sizeof freq, "IM:OUTP:SINE:FREQ %f", mainDouble(MAIN_PANEL_FREQUENCY));
    EXPECT_NE(std::find(afterLoad.begin(), afterLoad.end(), freq), afterLoad.end()) << freq;
    saveAs(dir_.file("again.ini"));
    EXPECT_EQ(readFile(dir_.file("again.ini")), readFile(file)) << "the loaded profile saves the same file";
    inidata_set_default(inidata_app_table());
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    saveAs(dir_.file("defaults.ini"));
    EXPECT_EQ(readFile(dir_.file("defaults.ini")), fresh) << "the table's defaults are a fresh run's settings";
}

// Texts from elsewhere: an odd count drops the last number, a word that is no
// number counts 0.0, values are limited as the list window limits them.
TEST(ProfileList, TextsFromElsewhere) {
    for (auto [text, expected] : {std::pair<const char*, std::vector<double>>{"1.5 10 2.5", {1.5, 10}},
             {"  4  50 abc 5 6x 7 5000 -3 -5000 250 nan 1", {4, 50, 0, 5, 6, 7, 1000, 0, -1000, 100, 0, 1}}}) {
        dcsw_set_step(9, 99, 99);
        profile_dcsw_parse(text);
        expected.resize(2 * DCSW_STEPS, 0.0);
        EXPECT_EQ(dcList(), expected) << text;
    }
}

// With SAMPLE AUTO on before and in the profile, the profile's cycle is the
// one AUTO off brings back, whoever chooses the cycle meanwhile.
TEST_F(Profile, SampleAutoOffAfterALoadBringsBackTheProfilesCycle) {
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 0.5);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1);
    saveAs(dir_.file("auto.ini"));
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_SAMPLE_CYCLE, 0.25);
    commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 1);
    loadFrom(dir_.file("auto.ini"));
    ASSERT_NE(mainDouble(MAIN_PANEL_SAMPLE_CYCLE), 0.5) << "the module's own cycle is shown while AUTO is on";
    clearLog();
    commit(ifcP, MAIN_PANEL_SAMPLE_AUTO, 0);
    EXPECT_EQ(static_cast<float>(mainDouble(MAIN_PANEL_SAMPLE_CYCLE)), 0.5f);
    EXPECT_EQ(log(), (Texts{"IM:INP:SAMP:AUTO 0", "IM:INP:SAMP:CYCL 500"}));
}

// Files that cannot be used: "Fail", nothing re-applied, the list as it was.
TEST_F(Profile, FilesThatCannotBeLoadedOrSaved) {
    changeEverything(4);
    const std::vector<double> list = dcList();
    ASSERT_EQ(::mkdir(dir_.file("folder.ini").c_str(), 0700), 0);
    writeFile(dir_.file("binary.ini"), std::string("[OUTPUT SOURCE]\r\nFREQUENCY = 5\0\0\r\n", 35));
    const auto before = snapshot();
    for (const char* name : {"missing.ini", "folder.ini", "binary.ini"}) {
        hl::clearPopups();
        clearLog();
        loadFrom(dir_.file(name));
        EXPECT_EQ(messages(), Texts{"Load Profile|Fail"}) << name;
        EXPECT_TRUE(log().empty()) << name;
        EXPECT_EQ(dcList(), list);
        EXPECT_EQ(snapshot(), before);
    }
    EXPECT_NE(ifpLog().find("inidata_load_file: Ini_ReadFromFile " + dir_.file("binary.ini") +
                  " Fail: not a text file (it holds NUL bytes)"),
        std::string::npos)
        << "the interface panel's log says why";
    const std::string ro = dir_.file("ro.ini");
    writeFile(ro, "[OLD]\r\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    for (const std::string& target : {ro, dir_.file("folder.ini"), dir_.file("nowhere/p.ini")}) {
        hl::clearPopups();
        saveAs(target);
        EXPECT_EQ(messages(), Texts{"Save Profile|Fail"}) << target;
    }
    EXPECT_EQ(readFile(ro), "[OLD]\r\n");
}

// A line too long to be one of ours, a missing section and a malformed number
// cost only their own rows.  Without its list a profile keeps the hidden text:
// the list as last saved or loaded, shown by an open list window.
TEST_F(Profile, AnEditedProfileCostsOnlyItsBadRows) {
    changeEverything(5);
    const std::vector<double> list = dcList();
    saveAs(dir_.file("base.ini"));
    const auto saved = snapshot();
    std::string text = readFile(dir_.file("base.ini")).value_or("");
    text.erase(text.find("[BACKDOOR]"));
    const auto meter = text.find("[METER]");
    text.erase(meter, text.find("[NYQUST]") - meter);
    const auto equal = text.find("EQUAL SCALE = "); // a profile older than the option
    text.erase(equal, text.find("\r\n", equal) + 2 - equal);
    const auto cycle = text.find("CYCLE = ");
    text.replace(cycle, text.find("\r\n", cycle) - cycle, "CYCLE = 0,5");
    const auto peak = text.find("AC VALUE PEAK = ");
    text.replace(peak, text.find("\r\n", peak) - peak, "AC VALUE PEAK = 1" + std::string(300, '0'));
    writeFile(dir_.file("edited.ini"), text);
    changeEverything(6);
    const auto changed = snapshot();
    pick(ifcMenu, MAIN_MENU_SWEEP_DCSW);
    loadFrom(dir_.file("edited.ini"));
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(dcList(), list);
    std::string row;
    GetLabelFromIndex(dcswP, DCSW_PANEL_LIST, 10, &row);
    char dc[16];
    std::snprintf(dc, sizeof dc, "%3.2f ", list[18]);
    EXPECT_NE(row.find(dc), std::string::npos) << row << " lacks " << dc;
    const auto now = snapshot();
    for (std::size_t i = 0; i < now.size(); ++i) {
        const bool kept = i == 3 || i == 4 || (i >= 18 && i <= 20) || i == 24; // AC VALUE PEAK, CYCLE, METER, EQUAL SCALE
        EXPECT_EQ(now[i], kept ? changed[i] : saved[i]) << i;
    }
    for (const char* m : {"[OUTPUT SOURCE]:AC VALUE PEAK Get Data Fail = 1!", "[SAMPLE]:CYCLE Get Data Fail = 3!",
             "[METER]:QUALITY MODE Get Data Fail = 1!"})
        EXPECT_NE(ifpLog().find(std::string("inidata_load_file: ") + m), std::string::npos) << m;
}

// The list window: a row per step, its pieces of text at their pixels.
using Row = std::vector<std::pair<int, std::string>>;
Row row(int index) {
    std::string label;
    EXPECT_EQ(GetLabelFromIndex(dcswP, DCSW_PANEL_LIST, index, &label), 0);
    Row out;
    for (const auto& piece : ui::splitColumns(label))
        out.emplace_back(piece.x, piece.text);
    return out;
}
Row dashes(const char* number) { return {{0, number}, {40, "----- "}, {85, "------  "}, {135, "------"}}; }

TEST_F(RunTest, TheDcListWindowShowsEachStep) {
    ASSERT_EQ(fra_open(), 1); // the panels need no link
    DisplayPanel(ifcP);
    pick(ifcMenu, MAIN_MENU_SWEEP_DCSW);
    EXPECT_EQ(row(0), (Row{{0, "STEP"}, {40, "DC(V)"}, {85, "AC(%) "}, {135, "AC(V)"}}));
    const std::tuple<int, double, double, Row, double> cases[] = {
        {2, 5.0, 10.0, {{0, "02"}, {40, "5.00 "}, {85, "10.00 "}, {135, "0.500"}}, 0.5},
        {10, 1.234, 33.3, {{0, "10"}, {40, "1.23 "}, {85, "33.30 "}, {135, "0.411"}}, 0.410922},
        {5, -2.0, 10.0, dashes("05"), -0.2}, // shown as dashes, but kept for a REPEAT run
        {10, 7.0, 1.0, {{0, "10"}, {40, "7.00 "}, {85, "1.00 "}, {135, "0.070"}}, 0.07}};
    for (const auto& [step, dc, ac, shown, acv] : cases) {
        commit(dcswP, DCSW_PANEL_STEP, step);
        commit(dcswP, DCSW_PANEL_DC, dc);
        commit(dcswP, DCSW_PANEL_AC, ac);
        const int n = std::min(step, 10);
        EXPECT_EQ(row(n), shown) << step;
        EXPECT_NEAR(ctrlDouble(dcswP, DCSW_PANEL_ACV), acv, 1e-9) << step;
        EXPECT_EQ(std::pair(dcsw_get_dc(n - 1), dcsw_get_ac(n - 1)), std::pair(dc, ac)) << step;
    }
    EXPECT_EQ(hl::commit(dcswP, DCSW_PANEL_STEP, 11), UIE_OUT_OF_RANGE); // past the list: refused, the step stays
    EXPECT_EQ(ctrlDouble(dcswP, DCSW_PANEL_STEP), 10);
    EXPECT_EQ(row(1), dashes("01")) << "other rows untouched";
    ASSERT_EQ(hl::commitIndex(dcswP, DCSW_PANEL_LIST, 2), 0);
    hl::deliver();
    EXPECT_EQ(ctrlDouble(dcswP, DCSW_PANEL_DC), 5.0) << "a row selects its step";
    ASSERT_EQ(hl::commitIndex(dcswP, DCSW_PANEL_LIST, 0), 0);
    hl::deliver();
    EXPECT_EQ(ctrlDouble(dcswP, DCSW_PANEL_STEP), 1) << "the header selects step 1";
}

} // namespace
