// The application settings table over the real panels of "ifcPanel.uir":
// every persisted control survives a save and a load, the saved file has the
// profile's shape, and a profile from elsewhere costs only its bad rows.
#include "settings/inidata_app.h"

#include "settings/ini.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

std::vector<std::string> messages;

void capture(const char* format, ...)
{
    char text[1024];
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    messages.emplace_back(text);
}

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

// The text a row's control holds, whatever its type, for comparisons.
std::string valueText(const InidataRow& row)
{
    const ui::Control* c = ui::panel(*row.panel)->control(row.control);
    if (std::holds_alternative<std::string>(c->value))
        return "\"" + std::get<std::string>(c->value) + "\"";
    if (std::holds_alternative<int>(c->value))
        return std::to_string(std::get<int>(c->value));
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", std::get<double>(c->value));
    return text;
}

int noControl(int, int, int, void*, int, int) { return 0; }
int noPanel(int, int, void*, int, int) { return 0; }

// The panels name the application's callbacks; the store needs none of them.
void registerStandIns()
{
    for (const UiPanelDef& p : {ifcPanel_main_panel(), ifcPanel_meter_panel(), ifcPanel_nyqust_panel(),
                                ifcPanel_vc_panel(), ifcPanel_bode_panel()}) {
        if (!p.callback.empty())
            ui_register_panel_callback(p.callback, noPanel);
        for (const UiCtrlDef& c : p.controls)
            if (!c.callback.empty())
                ui_register_ctrl_callback(c.callback, noControl);
    }
}

class InidataApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui::resetForTests();
        ifcPanel_register_resource();
        registerStandIns();
        mainP_ = LoadPanel(0, IFC_PANEL_FILE, MAIN_PANEL);
        meterP_ = LoadPanel(0, IFC_PANEL_FILE, METER_PANEL);
        nyP_ = LoadPanel(0, IFC_PANEL_FILE, NYQUST_PANEL);
        vcP_ = LoadPanel(0, IFC_PANEL_FILE, VC_PANEL);
        zP_ = LoadPanel(0, IFC_PANEL_FILE, BODE_PANEL);
        ASSERT_GT(mainP_, 0);
        ASSERT_GT(meterP_, 0);
        ASSERT_GT(nyP_, 0);
        ASSERT_GT(vcP_, 0);
        ASSERT_GT(zP_, 0);
        inidata_app_bind_panels({&mainP_, &meterP_, &nyP_, &vcP_, &zP_});
        messages.clear();
        inidata_hook_debug_printf(capture);
        path_ = "/tmp/inidata_app_" + std::to_string(::getpid()) + ".ini";
    }
    void TearDown() override
    {
        inidata_hook_debug_printf(nullptr);
        inidata_app_bind_panels({});
        ui::resetForTests();
        ::unlink(path_.c_str());
    }
    std::vector<std::string> snapshot() const
    {
        std::vector<std::string> out;
        for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r)
            out.push_back(valueText(*r));
        return out;
    }

    int mainP_ = -1, meterP_ = -1, nyP_ = -1, vcP_ = -1, zP_ = -1;
    std::string path_;
};

// Sets every control of the table to a value other than its default: another
// ring item, the other toggle state, a number inside the range.
void changeEverything(const std::string& listText)
{
    int n = 0;
    for (const InidataRow* r = inidata_app_table(); r->dataType >= 0; ++r, ++n) {
        const ui::Control* c = ui::panel(*r->panel)->control(r->control);
        ASSERT_NE(c, nullptr) << r->section << ":" << r->tag;
        int rc = 0;
        if (r->dataType == INIDATA_STRING) {
            rc = SetCtrlVal(*r->panel, r->control, listText);
        } else if (c->kind == UiCtrlKind::Ring) {
            ASSERT_GE(c->items.size(), 2u) << r->tag;
            const int pick = (c->index + 1 + n) % static_cast<int>(c->items.size());
            rc = SetCtrlIndex(*r->panel, r->control, pick == c->index ? (pick + 1) % 2 : pick);
        } else if (c->kind == UiCtrlKind::Toggle) {
            rc = SetCtrlVal(*r->panel, r->control, std::get<int>(c->value) ? 0 : 1);
        } else {
            ASSERT_EQ(c->kind, UiCtrlKind::Numeric) << r->tag;
            // A point inside the range with the few decimals a user types.
            const double lo = std::max(c->min, -1e6), hi = std::min(c->max, 1e6);
            const double v = lo + (hi - lo) * (0.1 + 0.027 * n) / 3.0;
            rc = SetCtrlVal(*r->panel, r->control, std::round(v * 1000.0) / 1000.0);
        }
        ASSERT_EQ(rc, 0) << r->section << ":" << r->tag;
    }
}

TEST_F(InidataApp, TableHasTheRowsOfEveryProfileInOrder)
{
    const InidataRow* t = inidata_app_table();
    int rows = 0;
    std::vector<std::string> order;
    for (const InidataRow* r = t; r->dataType >= 0; ++r, ++rows)
        if (order.empty() || order.back() != r->section)
            order.push_back(r->section);
    EXPECT_EQ(rows, INIDATA_APP_ROWS);
    EXPECT_EQ(order, (std::vector<std::string>{"OUTPUT SOURCE", "SAMPLE", "UNIT", "SWEEP", "ANALYSIS",
                                                "METER", "NYQUST", "V&C", "BODE", "BACKDOOR"}));
    EXPECT_EQ(t[4].dataType, INIDATA_FLOAT);
    EXPECT_EQ(t[6].dataType, INIDATA_FLOAT);
    EXPECT_EQ(t[34].dataType, INIDATA_STRING);
    EXPECT_STREQ(t[34].tag, "DCSW_LIST");
}

TEST_F(InidataApp, DefaultsThenSaveGivesTheProfileText)
{
    changeEverything("x");
    ASSERT_EQ(inidata_set_default(inidata_app_table()), 1);
    ASSERT_EQ(inidata_save_file(path_.c_str(), inidata_app_table()), 1);
    EXPECT_TRUE(messages.empty()) << messages.front();
    const std::string text = slurp(path_);
    EXPECT_EQ(text,
              "[OUTPUT SOURCE]\r\nFREQUENCY = 1000\r\nOFFSET = 0\r\nAMPLITUDE = 10\r\nAC VALUE PEAK = 0\r\n\r\n"
              "[SAMPLE]\r\nCYCLE = 0.25\r\nAUTO = 0\r\n\r\n"
              "[UNIT]\r\nCURRENT UNIT = 1\r\n\r\n"
              "[SWEEP]\r\nFREQUENCY START = 10\r\nFREQUENCY STOP = 50000\r\nFREQUENCY STEP = 100\r\n"
              "X-AXIS DB = 1\r\nDATA LOG = 0\r\nREPEAT = 0\r\n\r\n"
              "[ANALYSIS]\r\nPHASE 360 = 0\r\nMETER = 1\r\nV&C GRAPH = 0\r\nNYQUST GRAPH = 0\r\n"
              "BODE GRAPH = 0\r\n\r\n"
              "[METER]\r\nCIRCUIT MODE = 0\r\nDEVICE MODE = 0\r\nQUALITY MODE = 0\r\n\r\n"
              "[NYQUST]\r\nCIRCUIT MODE = 0\r\nXAXIS REVERSE = 0\r\nYAXIS REVERSE = 1\r\n\r\n"
              "[V&C]\r\nYAXIS REVERSE = 0\r\nXAXIS REVERSE = 0\r\nXAXIS MODE = 1\r\nYAXIS MODE = 0\r\n\r\n"
              "[BODE]\r\nYAXIS REVERSE = 0\r\nXAXIS REVERSE = 0\r\nXAXIS MODE = 1\r\nYAXIS MODE = 0\r\n"
              "SELECT 1 = 0\r\nSELECT 2 = 1\r\n\r\n"
              "[BACKDOOR]\r\nDCSW_LIST = \"0\"\r\n\r\n");
}

TEST_F(InidataApp, EveryControlComesBackFromItsFile)
{
    std::string list = "0.500000 10.000000 \"q\" \\ ";
    for (int c = 1; c < 32; ++c)
        list += static_cast<char>(c);
    changeEverything(list);
    const std::vector<std::string> saved = snapshot();
    ASSERT_EQ(inidata_save_file(path_.c_str(), inidata_app_table()), 1);
    ASSERT_EQ(inidata_set_default(inidata_app_table()), 1);
    const std::vector<std::string> defaults = snapshot();
    for (std::size_t i = 0; i < saved.size(); ++i)
        EXPECT_NE(saved[i], defaults[i]) << "row " << i + 1 << " was not changed by the test";
    ASSERT_EQ(inidata_load_file(path_.c_str(), inidata_app_table()), 1);
    EXPECT_EQ(snapshot(), saved);
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(InidataApp, ProfileWithoutMeterSectionKeepsTheMeterSelectors)
{
    changeEverything("1 2 ");
    ASSERT_EQ(inidata_save_file(path_.c_str(), inidata_app_table()), 1);
    std::string text = slurp(path_);
    const auto from = text.find("[METER]");
    const auto to = text.find("[NYQUST]");
    ASSERT_NE(from, std::string::npos);
    text.erase(from, to - from);
    spit(path_, text);
    const std::vector<std::string> before = snapshot();
    ASSERT_EQ(inidata_set_default(inidata_app_table()), 1);
    const std::vector<std::string> defaults = snapshot();
    ASSERT_EQ(inidata_load_file(path_.c_str(), inidata_app_table()), 1);
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "inidata_load_file: [METER]:CIRCUIT MODE Get Data Fail = 1!\n",
                            "inidata_load_file: [METER]:DEVICE MODE Get Data Fail = 1!\n",
                            "inidata_load_file: [METER]:QUALITY MODE Get Data Fail = 1!\n",
                        }));
    const std::vector<std::string> after = snapshot();
    for (std::size_t i = 0; i < after.size(); ++i) {
        const bool meterRow = i >= 18 && i <= 20;
        EXPECT_EQ(after[i], meterRow ? defaults[i] : before[i]) << "row " << i + 1;
    }
}

// Hand-edited values: out of range numbers are limited by their control, a
// value no ring item has is refused and leaves the ring as it was.
TEST_F(InidataApp, ValuesOutsideAControlsRangeAreLimitedOrRefusedByTheControl)
{
    ASSERT_EQ(inidata_set_default(inidata_app_table()), 1);
    spit(path_, "[OUTPUT SOURCE]\r\nFREQUENCY = 1e9\r\nAMPLITUDE = -Inf\r\n"
                "[METER]\r\nDEVICE MODE = 77\r\n");
    ASSERT_EQ(inidata_load_file(path_.c_str(), inidata_app_table()), 1);
    double freq = 0, ampl = 0;
    int device = -1;
    GetCtrlVal(mainP_, MAIN_PANEL_FREQUENCY, &freq);
    GetCtrlVal(mainP_, MAIN_PANEL_AMPLITUDE, &ampl);
    GetCtrlVal(meterP_, METER_PANEL_DEVICE_MODE, &device);
    EXPECT_EQ(freq, MAIN_FREQ_MAX);
    EXPECT_EQ(ampl, 0.0);
    EXPECT_EQ(device, 0);
    int refused = 0;
    for (const std::string& m : messages)
        refused += m.rfind("inidata_load_file: [METER]:DEVICE MODE Set Control Fail = ", 0) == 0;
    EXPECT_EQ(refused, 1);
}

TEST_F(InidataApp, UnboundPanelsFailHarmlessly)
{
    inidata_app_bind_panels({});
    EXPECT_EQ(inidata_set_default(inidata_app_table()), 1);
    EXPECT_EQ(messages.size(), static_cast<std::size_t>(INIDATA_APP_ROWS));
    messages.clear();
    spit(path_, "[OUTPUT SOURCE]\r\nFREQUENCY = 5\r\n");
    EXPECT_EQ(inidata_load_file(path_.c_str(), inidata_app_table()), 1);
    double freq = 0;
    GetCtrlVal(mainP_, MAIN_PANEL_FREQUENCY, &freq);
    EXPECT_EQ(freq, 1000.0);
}

}  // namespace
