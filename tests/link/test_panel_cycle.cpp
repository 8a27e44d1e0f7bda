// What the instrument panels share: readings fitted to a readout without
// misstating their magnitude, and the watch that gives the link up after
// three unanswered cycles in a row.  (The alarm's blink shows in the
// supply's status test.)
#include "link/ifp.h"
#include "link/panel_cycle.h"
#include "tests/support/run_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PanelReadout, FitsOrShowsTheOverflowMark) {
    struct Case {
        const char* number;
        int width;
        const char* shown;
    } cases[] = {
        {"12.3456", 6, "12.345"},
        {"12.3456", 5, "12.34"},
        {"1234.500", 5, "1234."},
        {"12345.000", 5, "12345"},
        {"-1234.5", 5, "-1234"},
        {"0.5", 6, "0.5"},
        {"123456.700", 5, "   OL"},
        {"-12345.6", 5, "  -OL"},
        {"123456.7", 6, "123456"},
        {"1.5e-05", 6, "0.0000"},
        {"2.5E+03", 6, "2500.0"},
        {"-7.25e2", 5, "-725"},
        {"1e9", 6, "    OL"},
        {"inf", 6, "    OL"},
        {"nan", 5, "   OL"},
        {"12V", 5, "   OL"},
        {"", 4, "  OL"},
        {"+3.25", 6, "+3.25"},
    };
    for (const Case& c : cases) {
        char out[16] = "junk";
        const int reading = panel_readout_fit(c.number, c.width, out, sizeof out);
        EXPECT_EQ(std::string(out), c.shown) << c.number << " in " << c.width;
        EXPECT_EQ(reading, std::string(c.shown).find("OL") == std::string::npos ? 1 : 0) << c.number;
    }
    char small[4] = "abc";
    EXPECT_EQ(panel_readout_fit("1.5", 6, small, sizeof small), 0);
    EXPECT_EQ(std::string(small), "") << "a buffer that cannot hold the width gets nothing";
}

class PanelWatch : public tsupport::RunTest { };

TEST_F(PanelWatch, ThirdUnansweredCycleInARowClosesTheLinkWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(openLink());
    PanelCycleWatch w;
    const int outcomes[] = {0, 0, 1, 0, 0};
    for (int answered : outcomes)
        EXPECT_EQ(panel_cycle_outcome(&w, answered, "gone"), 0);
    EXPECT_EQ(ifp_get_ifready(), 1) << "an answer in between starts the count again";
    EXPECT_EQ(panel_cycle_outcome(&w, 0, "gone"), 1);
    EXPECT_EQ(ifp_get_ifready(), 0);
    EXPECT_EQ(tsupport::messages(), std::vector<std::string>{"Error!|gone"});
    EXPECT_EQ(w.failures, 0);
}

} // namespace
