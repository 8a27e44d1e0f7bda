// Parameter access of the SCPI instruments: replies taken only when the whole
// text is a number of the type; the command texts the simulated load sees;
// the limits refresh and the list rows on a control.
#include "link/scpi.h"
#include "tests/support/run_fixture.h"
#include "ui/model.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>

namespace {

// A panel with a numeric control (1) and a list box (2).
int loadPanel() {
    ui_register_resource(UiResourceDef{"scpi.uir",
        {UiPanelDef{.id = 1,
            .controls = {{.id = 1, .dataType = VAL_DOUBLE, .value = -600, .min = -1000, .max = -500},
                {.id = 2, .kind = UiCtrlKind::ListBox}}}},
        {}});
    return LoadPanel(0, "scpi.uir", 1);
}

TEST(ScpiReply, OnlyAWholeNumberOfTheTypeIsTaken) {
    struct Case {
        const char* reply;
        bool isInt;
        double want; // NAN-free: ok false leaves the sentinel
        bool ok;
    } cases[] = {
        {"+5", true, 5, true},
        {"-12", true, -12, true},
        {"7  ", true, 7, true},
        {"1.0", true, 0, false},
        {"5A", true, 0, false},
        {"", true, 0, false},
        {" 5", true, 0, false},
        {"   ", true, 0, false},
        {"2147483648", true, 0, false},
        {"-2147483648", true, -2147483648.0, true},
        {"+-5", true, 0, false},
        {"1e-3", false, 0.001f, true},
        {"12.5   ", false, 12.5, true},
        {"1.2.3", false, 0, false},
        {"+.5", false, 0.5, true},
        {"1e", false, 0, false},
        {"1e39", false, 0, false},
        {"-3.4e38", false, -3.4e38f, true},
        {"1-2", false, 0, false},
        {"inf", false, 0, false},
        {"", false, 0, false},
    };
    for (const Case& c : cases) {
        std::string text = c.reply;
        int i = 99;
        float f = 99.0f;
        const int ok = c.isInt ? scpi_reply_int(text.data(), &i) : scpi_reply_float(text.data(), &f);
        EXPECT_EQ(ok, c.ok ? 1 : 0) << '"' << c.reply << '"';
        if (c.isInt)
            EXPECT_EQ(i, c.ok ? c.want : 99) << c.reply;
        else
            EXPECT_EQ(f, c.ok ? static_cast<float>(c.want) : 99.0f) << c.reply;
    }
}

class Scpi : public tsupport::RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        sim::Options o = tsupport::tcpOnlyOptions();
        o.kind = sim::Kind::Load;
        openLink(sim::kLoadIdn, sim::kDefaultVersion, o);
        clearLog();
    }
};

TEST_F(Scpi, EveryAccessSendsItsTextAndTakesOnlyWhatItAskedFor) {
    int i = 0;
    float f = 2.5f, v = 0.0f;
    int t = 100, mode = 1;
    const std::array<const char*, 4> modes = {"VOLT", "CURR", "RES", "POW"};
    EXPECT_EQ(scpi_access_float("MLEV", &f, 0, 0, 1), 1);
    EXPECT_EQ(scpi_access_int("INPUT", &i, 0, 0, 1), 1);
    EXPECT_EQ(scpi_access_int("INP:PROT:CLE", nullptr, 0, 0, 1), 1);
    EXPECT_EQ(scpi_access_int("DUTY", &i, 1, 0, 0), 1);
    EXPECT_EQ(i, 99) << "the simulated load's DUTY maximum";
    EXPECT_EQ(scpi_access_name("MODE", modes, &mode, 1), 1);
    mode = -1;
    EXPECT_EQ(scpi_access_name("MODE", modes, &mode, 0), 1);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(scpi_access_list("STEP:CURR", 3, &f, &t, 1, 0, 0, 1), 1);
    EXPECT_EQ(scpi_access_list("STEP:CURR", 3, &v, &t, 0, 0, 0, 1), 1);
    t = -1;
    EXPECT_EQ(scpi_access_list("STEP:CURR", 3, &v, &t, 1, 0, 0, 0), 1);
    EXPECT_EQ(t, 100);
    EXPECT_EQ(scpi_access_list("STEP:CURR", 1, &v, &t, 0, 1, 0, 0), 1);
    EXPECT_EQ(scpi_access_int("NO:SUCH", &i, 0, 0, 0), 0) << "a refused query";
    EXPECT_EQ(i, 99) << "is left untouched";
    EXPECT_EQ(scpi_access_list("STEP:CURR:TOO:LONG:HEAD", 1, &v, &t, 1, 0, 0, 0), 0) << "the header does not fit";
    EXPECT_EQ(log(), (std::vector<std::string>{"MLEV 2.500000", "INPUT 0", "INP:PROT:CLE", "DUTY? MAX", "MODE CURR", "MODE?", "STEP:CURR:TIME 3 100", "STEP:CURR 3 0.000000", "STEP:CURR:TIME? 3", "STEP:CURR? 1 MAX", "NO:SUCH?", "NO:SUCH?", "NO:SUCH?"}));
}

TEST_F(Scpi, TextQueriesAndTheCountOfUnansweredExchanges) {
    const unsigned before = scpi_unanswered();
    char reply[SCPI_LINE_SIZE];
    EXPECT_EQ(scpi_query_text("*IDN?", reply), 1);
    EXPECT_STREQ(reply, sim::kLoadIdn);
    int i = 7;
    EXPECT_EQ(scpi_access_int("MODE", &i, 0, 0, 0), 0) << "answered with a name, not a number";
    EXPECT_EQ(scpi_unanswered(), before) << "an answer that does not fit is no silence";
    EXPECT_EQ(scpi_query_text("NO:SUCH?", reply), 0);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(scpi_unanswered(), before + 1);
}

TEST_F(Scpi, LimitsRefreshKeepsTheRangeWholeAndRefusesAnInvertedOne) {
    const int h = loadPanel(), c = 1; // its range lies below the instrument's
    ASSERT_GE(h, 0);
    float level = 2.0f;
    ASSERT_EQ(scpi_access_float("MLEV", &level, 0, 0, 1), 1);
    auto shown = [&] {
        std::array<double, 3> v{};
        GetCtrlAttribute(h, c, ATTR_MIN_VALUE, &v[0]);
        GetCtrlAttribute(h, c, ATTR_MAX_VALUE, &v[1]);
        GetCtrlVal(h, c, &v[2]);
        return v;
    };
    auto number = [&](const char* q) { return std::stod(sim_->instrument().execute(q).value_or("nan")); };
    const std::array<double, 3> limits = {number("MLEV? MIN"), number("MLEV? MAX"), 2.0};
    clearLog();
    EXPECT_EQ(scpi_refresh_float(h, c, "MLEV", 1), 1);
    EXPECT_EQ(shown(), limits);
    EXPECT_EQ(log(), (std::vector<std::string>{"MLEV? MAX", "MLEV? MIN", "MLEV?"}));

    sim::Faults f;
    f.minAboveMax = "MLEV";
    sim_->setFaults(f);
    SetCtrlVal(h, c, 1.0);
    EXPECT_EQ(scpi_refresh_float(h, c, "MLEV", 1), 0);
    EXPECT_EQ(shown(), (std::array{limits[0], limits[1], 1.0})) << "nothing taken from an inverted range";
    const double above = limits[1] + 1.0, below = limits[0] - 1.0;
    EXPECT_EQ(scpi_set_limits(h, c, &above, nullptr) + scpi_set_limits(h, c, nullptr, &below) + scpi_set_range(h, c, std::nan(""), 1.0), 0);
    EXPECT_EQ(scpi_set_limits(h, c, nullptr, &above), 1) << "one bound alone";
    EXPECT_EQ(shown(), (std::array{limits[0], above, 1.0}));
}

TEST(ScpiRows, HeaderAndEntryRowsPlaceTheirColumns) {
    ui::resetForTests();
    const int h = loadPanel(), c = 2;
    ASSERT_GE(h, 0);
    scpi_list_show_row(h, c, 0, 0, 0, 0, 1);
    scpi_list_show_row(h, c, 0, 1.5f, 20, 1, 0);
    scpi_list_show_row(h, c, 1, -12.25f, 99999, 1, 0);
    scpi_list_show_row(h, c, 0, 2.0f, 7, 0, 0);
    std::string label, first, second;
    GetCtrlAttribute(h, c, ATTR_LABEL_TEXT, &label);
    GetLabelFromIndex(h, c, 0, &first);
    GetLabelFromIndex(h, c, 1, &second);
    EXPECT_EQ(label, "NO.          VALUE            TIME");
    EXPECT_EQ(first, "001\033p50l2.0000 \033p125l00007");
    EXPECT_EQ(second, "002\033p50l-12.2500 \033p125l99999");
    int n = 0, index = -1;
    GetNumListItems(h, c, &n);
    GetValueFromIndex(h, c, 1, &index);
    EXPECT_EQ(n * 10 + index, 21);
}

} // namespace
