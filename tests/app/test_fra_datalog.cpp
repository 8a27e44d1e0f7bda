// The logged data file: its layout character for character, the 1000-point
// limit, cancel, and files that cannot be written.
#include "app/fra.h"
#include "module/impedance.h"
#include "tests/app/fra_fixture.h"
#include "ui/headless.h"
#include "ui/resources/ifcPanel.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fratest::FraTest;
namespace hl = ui::headless;
namespace fs = std::filesystem;

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::size_t lineCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

IfcPoint knownPoint()
{
    IfcPoint p{};
    p.freq = 1000.0;
    p.voltAmp = 1.0;
    p.voltPhase = 0.0;
    p.currAmp = 0.5;
    p.currPhase = -30.0;
    p.zAmp = 2.0;
    p.zPhase = 30.0;
    ifc_point_rectangular(&p);
    return p;
}

const char kTitle[] = ";Frequency     Imped. Real   Imped. Imag.  Imped. Amp.   Imped. Phase  "
                      "Voltage Amp.  Voltage Phase Current Amp.  Current Phase \n";
const char kRule[] = ";------------- ------------- ------------- ------------- ------------- "
                     "------------- ------------- ------------- ------------- \n";

TEST(FraLogFormat, TitleAndRuleLines)
{
    EXPECT_STREQ(ifc_log_title_line(), kTitle);
    EXPECT_EQ(std::strlen(ifc_log_title_line()), 1u + 9u * 14u + 1u);
    EXPECT_STREQ(ifc_log_rule_line(), kRule);
    EXPECT_EQ(std::strlen(ifc_log_rule_line()), 1u + 9u * 14u + 1u);
}

TEST(FraLogFormat, AKnownPointCharacterForCharacter)
{
    EXPECT_EQ(ifc_format_log_line(knownPoint()),
              " +1.000000e+03 +1.732051e+00 +1.000000e+00 +2.000000e+00 +3.000000e+01"
              " +1.000000e+00 +0.000000e+00 +5.000000e-01 -3.000000e+01\n");
}

TEST(FraLogFormat, ValuesAsTheCLibraryWritesThem)
{
    const double values[] = {0.0,     -0.0,  1e-300, -1e300,  123456.789, 9.9999995e-5,
                             -2.5e-7, 1.0e5, 5e-324, 0.5e100, 999999.5,   -1.0};
    for (double v : values) {
        IfcPoint p{v, v, v, v, v, v, v, v, v};
        char expected[512];
        std::snprintf(expected, sizeof expected,
                      " %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e\n", v, v, v, v, v,
                      v, v, v, v);
        EXPECT_EQ(ifc_format_log_line(p), expected) << v;
    }
}

TEST(FraLogFormat, WritingFailsWithTheReason)
{
    const IfcPoint p = knownPoint();
    EXPECT_EQ(ifc_write_log_file("/nonexistent-imbench-dir/x.dat", &p, 1), ENOENT);
    EXPECT_EQ(ifc_write_log_file("/dev/full", &p, 1), ENOSPC);
    EXPECT_NE(ifc_write_log_file(fs::temp_directory_path().c_str(), &p, 1), 0);
}

class FraLogTest : public FraTest {
protected:
    // One point at 1000 Hz (the module's confirmed frequency) when the sweep ends.
    void sweepOnePoint()
    {
        setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
        SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1000.0);
        SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1000.0);
        SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
        userSweep(1);
        ASSERT_EQ(runSweep(), 1);
    }
    std::vector<hl::PopupRecord> popupsOf(hl::PopupRecord::Kind kind) const
    {
        std::vector<hl::PopupRecord> out;
        for (const auto& p : hl::popups())
            if (p.kind == kind)
                out.push_back(p);
        return out;
    }
};

TEST_F(FraLogTest, TheFileOfASweepMatchesItsLayout)
{
    startRun();
    const std::string path = dir_ + "/one.dat";
    hl::answerFile(path);
    sweepOnePoint();

    const auto dialogs = popupsOf(hl::PopupRecord::FileSelect);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Save Logged Data");
    EXPECT_EQ(dialogs[0].defaultFile, "untitle.dat");
    EXPECT_EQ(dialogs[0].text, "*.dat");
    EXPECT_EQ(dialogs[0].directory, "");
    EXPECT_EQ(dialogs[0].buttonLabel, VAL_SAVE_BUTTON);
    const auto messages = popupsOf(hl::PopupRecord::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "");
    EXPECT_EQ(messages[0].text, "File '" + path + "' Save to Disk!");

    IfcPoint p = knownPoint();
    p.freq = fratest::confirmed(1000.0);
    char line[256];
    std::snprintf(line, sizeof line, " %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e %+.6e\n",
                  p.freq, p.zReal, p.zImag, p.zAmp, p.zPhase, p.voltAmp, p.voltPhase, p.currAmp,
                  p.currPhase);
    EXPECT_EQ(fileText(path), std::string(kTitle) + kRule + line);
}

TEST_F(FraLogTest, MoreThanAThousandPointsAreReportedAndTheFirstThousandSaved)
{
    startRun();
    setReadings({1.0, 0.0, 0.5, -30.0, 2.0, 30.0});
    SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 1200.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STEP, 1.0);
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 1);
    const std::string path = dir_ + "/many.dat";
    hl::answerFile(path);
    userSweep(1);
    ASSERT_EQ(runSweep(), 1200);
    ASSERT_GE(hl::popups().size(), 3u);
    const auto& overrun = hl::popups()[0];
    EXPECT_EQ(overrun.kind, hl::PopupRecord::Message);
    EXPECT_EQ(overrun.title, "Data Overrun!");
    EXPECT_EQ(overrun.text, "There are 1200 items to save, only 1000 avalibale");
    EXPECT_EQ(hl::popups()[1].kind, hl::PopupRecord::FileSelect);
    const std::string text = fileText(path);
    EXPECT_EQ(lineCount(text), 1002u);
    // The last data line is the 1000th point.
    const std::size_t last = text.rfind('\n', text.size() - 2);
    std::istringstream in(text.substr(last + 1));
    double freq = 0;
    in >> freq;
    EXPECT_NEAR(freq, fratest::confirmed(1000.0), 1e-3);
}

TEST_F(FraLogTest, CancelWritesNothingAndThePointsWaitForAnotherTry)
{
    startRun();
    sweepOnePoint();   // no scripted answer: the dialog is cancelled
    EXPECT_EQ(popupsOf(hl::PopupRecord::FileSelect).size(), 1u);
    EXPECT_TRUE(popupsOf(hl::PopupRecord::Message).empty());
    EXPECT_TRUE(fs::is_empty(dir_));
    EXPECT_EQ(ifc_log_count(), 1u);

    const std::string path = dir_ + "/later.dat";
    hl::answerFile(path);
    ASSERT_EQ(hl::pickMenu(ifcMenu, MAIN_MENU_FILE_SAVE_LOG), 0);
    hl::deliver();
    EXPECT_EQ(lineCount(fileText(path)), 3u);

    // The next sweep start discards them.
    SetCtrlVal(ifcP, MAIN_PANEL_DATA_LOG, 0);
    sim_->instrument().clearReadings();
    userSweep(1);
    EXPECT_EQ(ifc_log_count(), 0u);
}

TEST_F(FraLogTest, AFileThatCannotBeWrittenIsNamedWithTheReason)
{
    startRun();
    const std::string missing = dir_ + "/no such folder/x.dat";
    const std::string good = dir_ + "/second try.dat";
    hl::answerFile(missing);
    hl::answerConfirm(true);
    hl::answerFile("/dev/full");
    hl::answerConfirm(true);
    hl::answerFile(good);
    sweepOnePoint();

    const auto confirms = popupsOf(hl::PopupRecord::Confirm);
    ASSERT_EQ(confirms.size(), 2u);
    EXPECT_EQ(confirms[0].title, "Save Logged Data");
    EXPECT_NE(confirms[0].text.find("'" + missing + "'"), std::string::npos) << confirms[0].text;
    EXPECT_NE(confirms[0].text.find(std::strerror(ENOENT)), std::string::npos) << confirms[0].text;
    EXPECT_NE(confirms[1].text.find("'/dev/full'"), std::string::npos);
    EXPECT_NE(confirms[1].text.find(std::strerror(ENOSPC)), std::string::npos) << confirms[1].text;
    EXPECT_EQ(popupsOf(hl::PopupRecord::FileSelect).size(), 3u);
    EXPECT_EQ(hl::lastPopupText(), "File '" + good + "' Save to Disk!");
    EXPECT_EQ(lineCount(fileText(good)), 3u);
}

TEST_F(FraLogTest, GivingUpAfterAFailureKeepsThePoints)
{
    startRun();
    hl::answerFile(dir_);   // a folder, not a file
    hl::answerConfirm(false);
    sweepOnePoint();
    EXPECT_EQ(popupsOf(hl::PopupRecord::Confirm).size(), 1u);
    EXPECT_TRUE(popupsOf(hl::PopupRecord::Message).empty()) << "no success reported";
    EXPECT_EQ(ifc_log_count(), 1u);
}

TEST_F(FraLogTest, SavingOnRequestWithNothingLogged)
{
    startRun();
    ASSERT_EQ(hl::pickMenu(ifcMenu, MAIN_MENU_FILE_SAVE_LOG), 0);
    hl::deliver();
    ASSERT_EQ(hl::popups().size(), 1u);
    EXPECT_EQ(hl::popups()[0].kind, hl::PopupRecord::Message);
    EXPECT_EQ(hl::popups()[0].title, "Save Logged Data");
}

}  // namespace
