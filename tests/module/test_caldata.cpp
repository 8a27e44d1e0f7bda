// The calibration transfer over a real TCP link to a scripted module on a
// loopback address: the file a save writes, the lines a load sends, the
// progress window, the buttons and their messages, and files that are not
// what they should be.
#include "module/caldata.h"

#include "cal_instrument.h"
#include "link/ifp.h"
#include "link/io.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resource.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Loopback addresses 127.95.1.x belong to these tests.
constexpr char kAddressPrefix[] = "127.95.1.";

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

std::string valueLine(int t, int i, int g, int f)
{
    return "IM:CAL:DATA " + std::to_string(t) + " " + std::to_string(i) + " " + std::to_string(g) + " " +
           std::to_string(f) + " " + CalInstrument::value(t, i, g, f);
}

// The file a save of F frequency and G gain markers writes, line by line.
std::string expectedFile(const std::string& path, int F, int G)
{
    std::string s = ";\n;   IM Calibration Data File: " + path + "\n;\n";
    s += ";   Frequency Marker Count = " + std::to_string(F) + "\n";
    s += ";        Gain Marker Count = " + std::to_string(G) + "\n";
    s += ";\n;\n; Marker Frequency\n;\n";
    for (int f = 0; f < F; ++f)
        s += ";" + valueLine(5, 0, 0, f) + "\n";
    s += ";\n; Output DC level\n;\n" + valueLine(0, 0, 0, 0) + "\n" + valueLine(0, 1, 0, 0) + "\n";
    s += ";\n; Output AC level\n;\n" + valueLine(1, 0, 0, 0) + "\n" + valueLine(1, 1, 0, 0) + "\n";
    s += ";\n; Output AC Amplitude\n;\n";
    for (int f = 0; f < F; ++f)
        s += valueLine(2, 0, 0, f) + "\n" + valueLine(2, 1, 0, f) + "\n";
    for (int t : {3, 4}) {
        s += t == 3 ? ";\n; Input AC Current\n;\n" : ";\n; Input AC Voltage\n;\n";
        for (int g = 0; g < G; ++g)
            for (int f = 0; f < F; ++f)
                for (int i = 0; i < 3; ++i)
                    s += valueLine(t, i, g, f) + "\n";
    }
    s += ";\n; Save to NVRAM\nIM:CAL:SAVE\n;\n";
    return s;
}

// Passes everything to the headless driver and records the values the
// progress window's indicator takes.
class ProgressRecorder : public ui::Renderer {
public:
    explicit ProgressRecorder(ui::Renderer* inner) : inner_(inner) {}
    std::vector<int> values;
    int opened = 0;

    void panelLoaded(int p) override
    {
        if (isProgress(p))
            ++opened;
        inner_->panelLoaded(p);
    }
    void panelChanged(int p) override { inner_->panelChanged(p); }
    void panelDiscarded(int p) override { inner_->panelDiscarded(p); }
    void controlChanged(int p, int c, ui::Change what) override
    {
        if (isProgress(p) && c == PROGRESS_PANEL_PERCENT && what == ui::Change::Value) {
            const int v = std::get<int>(ui::panel(p)->control(c)->value);
            if (values.empty() || values.back() != v)
                values.push_back(v);
        }
        inner_->controlChanged(p, c, what);
    }
    void menuBarChanged(int m) override { inner_->menuBarChanged(m); }
    void pump(int maxWaitMs) override { inner_->pump(maxWaitMs); }
    void messagePopup(const std::string& t, const std::string& x) override { inner_->messagePopup(t, x); }
    bool confirmPopup(const std::string& t, const std::string& x) override { return inner_->confirmPopup(t, x); }
    ui::PromptResult promptPopup(const std::string& t, const std::string& x, int n) override
    {
        return inner_->promptPopup(t, x, n);
    }
    std::optional<std::string> fileSelectPopup(const std::string& d, const std::string& f, const std::string& l,
                                               const std::string& t, int b, bool c, bool m) override
    {
        return inner_->fileSelectPopup(d, f, l, t, b, c, m);
    }
    void setWaitCursor(bool on) override { inner_->setWaitCursor(on); }
    void beep() override { inner_->beep(); }

private:
    static bool isProgress(int p)
    {
        const ui::Panel* panel = ui::panel(p);
        return panel && panel->resourceId == PROGRESS_PANEL;
    }
    ui::Renderer* inner_;
};

int noControl(int, int, int, void*, int, int) { return 0; }
int noPanel(int, int, void*, int, int) { return 0; }

class Caldata : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        try {
            instrument_ = std::make_unique<CalInstrument>(kAddressPrefix, IO_PORT);
        } catch (const std::exception& e) {
            setupError_ = e.what();
            return;
        }
        ui::resetForTests();
        ifcPanel_register_resource();
        ifp_register_callbacks();
        // The main panel names the application's callbacks; these tests need
        // only the calibration buttons'.
        const UiPanelDef main = ifcPanel_main_panel();
        ui_register_panel_callback(main.callback, noPanel);
        for (const UiCtrlDef& c : main.controls)
            if (!c.callback.empty())
                ui_register_ctrl_callback(c.callback, noControl);
        caldata_register_callbacks();
        ifp_active(1);
        ifp_select_link(IO_TCP, instrument_->address().c_str());
        ui::headless::commit(ifp_panel(), IFP_PANEL_OPEN, 1);
        ui::headless::deliver();
    }
    static void TearDownTestSuite()
    {
        if (!instrument_)
            return;
        ifp_close();
        ifp_quit();
        instrument_.reset();
        ui::resetForTests();
    }
    void SetUp() override
    {
        ASSERT_NE(instrument_, nullptr) << setupError_;
        ASSERT_EQ(ifp_get_ifready(), 1) << "the link to the scripted module did not open";
        instrument_->clear();
        instrument_->setCounts(2, 3);
        instrument_->setSerialReply("SERIAL:  ABC123");
        ui::headless::clearAnswers();
        ui::headless::clearPopups();
        recorder_ = std::make_unique<ProgressRecorder>(ui::renderer());
        ui::setRenderer(recorder_.get());
        char tmpl[] = "/tmp/caldata_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        ui::setRenderer(nullptr);
        if (mainP_ > 0)
            DiscardPanel(mainP_);
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) {
                    const std::string p = dir_ + "/" + e->d_name;
                    ::chmod(p.c_str(), 0700);
                    ::unlink(p.c_str());
                    ::rmdir(p.c_str());
                }
            }
            ::closedir(d);
        }
        ::rmdir(dir_.c_str());
    }
    std::string file(const char* name) const { return dir_ + "/" + name; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> out;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (const dirent* e = ::readdir(d))
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                    out.emplace_back(e->d_name);
            ::closedir(d);
        }
        return out;
    }
    int loadMain()
    {
        mainP_ = LoadPanel(0, IFC_PANEL_FILE, MAIN_PANEL);
        EXPECT_GT(mainP_, 0);
        DisplayPanel(mainP_);
        return mainP_;
    }
    static bool progressWindowGone()
    {
        for (int h : ui::panelHandles())
            if (ui::panel(h)->resourceId == PROGRESS_PANEL)
                return false;
        return true;
    }
    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> out;
        for (const auto& p : ui::headless::popups())
            if (p.kind == ui::headless::PopupRecord::Message)
                out.push_back(p.title + "|" + p.text);
        return out;
    }

    static std::unique_ptr<CalInstrument> instrument_;
    static std::string setupError_;
    std::unique_ptr<ProgressRecorder> recorder_;
    std::string dir_;
    int mainP_ = -1;
};

std::unique_ptr<CalInstrument> Caldata::instrument_;
std::string Caldata::setupError_;

TEST_F(Caldata, SaveWritesEveryValueInTheFileLayoutAndEndsAt100Percent)
{
    const std::string path = file("IMABC123.cal");
    const CaldataResult r = caldata_save_file(path.c_str(), 2, 3);
    ASSERT_EQ(r.status, CALDATA_DONE) << r.reason;
    const std::string text = slurp(path);
    EXPECT_EQ(text, expectedFile(path, 2, 3));
    int values = 0, commented = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        values += line.rfind("IM:CAL:DATA ", 0) == 0;
        commented += line.rfind(";IM:CAL:DATA ", 0) == 0;
    }
    EXPECT_EQ(values + commented, 46);
    EXPECT_EQ(commented, 2);
    // Progress after the markers, the DC and AC levels, each amplitude
    // frequency and each (gain, frequency) of the two input tables.
    EXPECT_EQ(recorder_->values, (std::vector<int>{0, 4, 8, 13, 17, 21, 28, 34, 41, 47, 54, 60, 67, 73,
                                                   80, 86, 93, 100}));
    EXPECT_EQ(recorder_->opened, 1);
    EXPECT_TRUE(progressWindowGone());
    // Queries in file order, one per value.
    const auto got = instrument_->received();
    ASSERT_EQ(got.size(), 46u);
    EXPECT_EQ(got.front(), "IM:CAL:DATA? 5 0 0 0");
    EXPECT_EQ(got[2], "IM:CAL:DATA? 0 0 0 0");
    EXPECT_EQ(got.back(), "IM:CAL:DATA? 4 2 2 1");
    EXPECT_EQ(entries(), std::vector<std::string>{"IMABC123.cal"});
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST_F(Caldata, NoMarkersGiveOnlyTheLevelsAndTheSave)
{
    const std::string path = file("none.cal");
    ASSERT_EQ(caldata_save_file(path.c_str(), 0, 0).status, CALDATA_DONE);
    EXPECT_EQ(slurp(path), expectedFile(path, 0, 0));
    EXPECT_EQ(instrument_->received().size(), 4u);
    EXPECT_EQ(recorder_->values.back(), 100);
}

TEST_F(Caldata, SavedFileLoadsBackAsItsValueLinesAndTheSave)
{
    const std::string path = file("round.cal");
    ASSERT_EQ(caldata_save_file(path.c_str(), 2, 3).status, CALDATA_DONE);
    instrument_->clear();
    recorder_->values.clear();
    const CaldataResult r = caldata_load_file(path.c_str());
    EXPECT_EQ(r.status, CALDATA_DONE) << r.reason;
    std::vector<std::string> expected;
    std::istringstream lines(expectedFile(path, 2, 3));
    for (std::string line; std::getline(lines, line);)
        if (line.find(';') == std::string::npos)
            expected.push_back(line + "\n");
    EXPECT_EQ(expected.size(), 45u);   // 44 values and IM:CAL:SAVE
    EXPECT_EQ(instrument_->received(), expected);
    EXPECT_EQ(recorder_->values.front(), 0);
    EXPECT_EQ(recorder_->values.back(), 100);
    EXPECT_TRUE(std::is_sorted(recorder_->values.begin(), recorder_->values.end()));
    EXPECT_TRUE(progressWindowGone());
}

TEST_F(Caldata, LoadSendsLinesInFileOrderAsTheyWereRead)
{
    const std::string path = file("edited.cal");
    spit(path,
         ";   edited by hand\n"
         "IM:CAL:DATA 0 0 0 0 1.5\n"
         "\n"
         "IM:CAL:DATA 0 0 0 0 1.5\n"
         ";IM:CAL:DATA 5 0 0 0 100\n"
         "IM:CAL:DATA 0 1 0 0 2.5 ; the same value as last year\n"
         "\tIM:CAL:DATA 1 0 0 0 3.5\r\n"
         "IM:CAL:SAVE");
    EXPECT_EQ(caldata_load_file(path.c_str()).status, CALDATA_DONE);
    EXPECT_EQ(instrument_->received(),
              (std::vector<std::string>{"IM:CAL:DATA 0 0 0 0 1.5\n", "\n", "IM:CAL:DATA 0 0 0 0 1.5\n",
                                        "\tIM:CAL:DATA 1 0 0 0 3.5\n", "IM:CAL:SAVE"}));
    EXPECT_EQ(recorder_->values.back(), 100);
}

TEST_F(Caldata, LoadStopsAtTheFirstLineTheModuleRefuses)
{
    const std::string path = file("refused.cal");
    spit(path, "IM:CAL:DATA 0 0 0 0 1.5\nIM:CAL:DATA 0 1 0 0 9\nIM:CAL:DATA 1 0 0 0 3.5\nIM:CAL:SAVE\n");
    instrument_->refuse("IM:CAL:DATA 0 1 0 0 9");
    const int p = loadMain();
    ui::headless::answerFile(path);
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    // Each try of the sender is refused; nothing after the refused line goes out.
    std::vector<std::string> expected = {"SYST:SER?", "IM:CAL:DATA 0 0 0 0 1.5\n"};
    for (int i = 0; i < IFP_QUERY_ATTEMPTS; ++i)
        expected.push_back("IM:CAL:DATA 0 1 0 0 9\n");
    EXPECT_EQ(instrument_->received(), expected);
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"|Calibration Data Load Fail!"});
    EXPECT_TRUE(progressWindowGone());
}

TEST_F(Caldata, ButtonsAskForTheFileAndReportTheResult)
{
    const int p = loadMain();
    int visible = -1;
    GetCtrlAttribute(p, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_SAVE), UIE_NOT_OPERABLE);
    ASSERT_EQ(ui::headless::rightDoubleClick(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    GetCtrlAttribute(p, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 1);

    const std::string path = file("IMABC123.cal");
    ui::headless::answerFile(path);
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_SAVE), 0);
    ui::headless::deliver();
    EXPECT_EQ(slurp(path), expectedFile(path, 2, 3));
    const auto got = instrument_->received();
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3),
              (std::vector<std::string>{"SYST:SER?", "IM:CAL:FREQ:COUNT?", "IM:CAL:GAIN:COUNT?"}));

    ui::headless::answerFile(path);
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    // Cancelled dialogs do nothing.
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_SAVE), 0);
    ui::headless::deliver();

    std::vector<std::string> dialogs;
    for (const auto& r : ui::headless::popups())
        if (r.kind == ui::headless::PopupRecord::FileSelect)
            dialogs.push_back(r.title + "|" + r.defaultFile + "|" + r.text + "|" + r.directory + "|" +
                              std::to_string(r.buttonLabel));
    EXPECT_EQ(dialogs, (std::vector<std::string>{
                           "Save Calibration Data|IMABC123.cal|*.cal||" + std::to_string(VAL_SAVE_BUTTON),
                           "Load Calibration Dara|IMABC123.cal|*.cal||" + std::to_string(VAL_LOAD_BUTTON),
                           "Load Calibration Dara|IMABC123.cal|*.cal||" + std::to_string(VAL_LOAD_BUTTON),
                           "Save Calibration Data|IMABC123.cal|*.cal||" + std::to_string(VAL_SAVE_BUTTON),
                       }));
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"|Calibration Data Save Done!",
                                                        "|Calibration Data Load Done!"}));

    ASSERT_EQ(ui::headless::rightDoubleClick(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    GetCtrlAttribute(p, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, &visible);
    EXPECT_EQ(visible, 0);
}

TEST_F(Caldata, DefaultFileNameFromTheSerialNumber)
{
    struct Case {
        const char* reply;
        const char* name;
    } cases[] = {
        {"SERIAL:  XYZ789", "IMXYZ789.cal"},
        {"SERIAL:  a/b\\c1tail", "IMa_b_c1.cal"},   // no folder of the module's choosing
        {"SERIAL:  Q1", "IMQ1.cal"},
    };
    for (const Case& c : cases) {
        instrument_->setSerialReply(c.reply);
        EXPECT_EQ(caldata_default_file(), c.name) << c.reply;
    }
    // A failed query keeps the serial read last.
    instrument_->refuse("SYST:SER?");
    EXPECT_EQ(caldata_default_file(), "IMQ1.cal");
}

// Files from users and other machines: each is refused whole, with the file
// and the reason named, and nothing reaches the module.
TEST_F(Caldata, LoadRefusesFilesThatAreNotCalibrationText)
{
    const std::string longLine = "IM:CAL:DATA 0 0 0 0 " + std::string(CALDATA_LINE_MAX - 19, '1');
    ASSERT_EQ(longLine.size(), CALDATA_LINE_MAX + 1);
    spit(file("long.cal"), "IM:CAL:DATA 0 0 0 0 1\n" + longLine + "\n");
    spit(file("longcomment.cal"), "IM:CAL:DATA 0 0 0 0 1\n;" + std::string(CALDATA_LINE_MAX, 'c') + "\n");
    spit(file("nul.cal"), std::string("IM:CAL:DATA 0 0 0 0 1\n\0\0\0", 25));
    spit(file("bell.cal"), "IM:CAL:DATA 0 0 0 0 1\nIM:CAL:DATA 0 1 0 0 \a\n");
    spit(file("cr.cal"), "IM:CAL:DATA 0 0 0 0 1\rIM:CAL:SAVE\n");
    ASSERT_EQ(::mkdir(file("folder.cal").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(file("fifo.cal").c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {file("long.cal"), "Cannot load \"" + file("long.cal") + "\": line 2 is longer than 511 characters."},
        {file("longcomment.cal"),
         "Cannot load \"" + file("longcomment.cal") + "\": line 2 is longer than 511 characters."},
        {file("nul.cal"),
         "Cannot load \"" + file("nul.cal") + "\": line 2 holds the control byte 0x00; it is not a text file."},
        {file("bell.cal"),
         "Cannot load \"" + file("bell.cal") + "\": line 2 holds the control byte 0x07; it is not a text file."},
        {file("cr.cal"),
         "Cannot load \"" + file("cr.cal") + "\": line 1 holds the control byte 0x0d; it is not a text file."},
        {file("missing.cal"), "Cannot open \"" + file("missing.cal") + "\": No such file or directory."},
        {file("folder.cal"), "Cannot open \"" + file("folder.cal") + "\": it is not a regular file."},
        {file("fifo.cal"), "Cannot open \"" + file("fifo.cal") + "\": it is not a regular file."},
    };
    for (const Case& c : cases) {
        recorder_->opened = 0;
        const CaldataResult r = caldata_load_file(c.path.c_str());
        EXPECT_EQ(r.status, CALDATA_FILE_ERROR) << c.path;
        EXPECT_EQ(r.reason, c.reason + " Nothing was sent to the module.");
        EXPECT_EQ(recorder_->opened, 0) << c.path;
    }
    EXPECT_TRUE(instrument_->received().empty());

    // Through the button: the Part's failure text, then the reason.
    const int p = loadMain();
    ui::headless::answerFile(file("long.cal"));
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_LOAD), 0);
    ui::headless::deliver();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"|Calibration Data Load Fail!\n" + cases[0].reason +
                                                       " Nothing was sent to the module."});
}

TEST_F(Caldata, LinesUpToTheLimitAreTaken)
{
    // 509 characters and the line end fill the transport's longest command.
    const std::string value = "IM:CAL:DATA 0 0 0 0 " + std::string(509 - 20, '2');
    const std::string comment = ";" + std::string(CALDATA_LINE_MAX - 1, 'c');
    spit(file("limit.cal"), comment + "\r\n" + value + "\n");
    EXPECT_EQ(caldata_load_file(file("limit.cal").c_str()).status, CALDATA_DONE);
    EXPECT_EQ(instrument_->received(), std::vector<std::string>{value + "\n"});
    // An empty file sends nothing and is done.
    instrument_->clear();
    spit(file("empty.cal"), "");
    EXPECT_EQ(caldata_load_file(file("empty.cal").c_str()).status, CALDATA_DONE);
    EXPECT_TRUE(instrument_->received().empty());
}

// A save that cannot be finished leaves the target as it was and no
// temporary file behind.
TEST_F(Caldata, SaveThatCannotFinishLeavesNoFileAndNamesTheReason)
{
    const std::string ro = file("ro.cal");
    spit(ro, "old\n");
    ASSERT_EQ(::chmod(ro.c_str(), 0444), 0);
    ASSERT_EQ(::mkdir(file("folder.cal").c_str(), 0700), 0);
    struct Case {
        std::string path;
        std::string reason;
    } cases[] = {
        {ro, "Cannot replace \"" + ro + "\": the file is read-only."},
        {file("folder.cal"), "Cannot create \"" + file("folder.cal") + "\": it is not a regular file."},
        {file("nowhere/x.cal"), "Cannot create \"" + file("nowhere/x.cal") + "\": No such file or directory."},
    };
    for (const Case& c : cases) {
        const CaldataResult r = caldata_save_file(c.path.c_str(), 2, 3);
        EXPECT_EQ(r.status, CALDATA_FILE_ERROR);
        EXPECT_EQ(r.reason, c.reason);
    }
    EXPECT_TRUE(instrument_->received().empty());
    EXPECT_EQ(slurp(ro), "old\n");

    // The module stops answering half-way: the old file stays whole.
    const std::string kept = file("kept.cal");
    spit(kept, "previous calibration\n");
    instrument_->refuse("IM:CAL:DATA? 3 1 1 0");
    const CaldataResult r = caldata_save_file(kept.c_str(), 2, 3);
    EXPECT_EQ(r.status, CALDATA_QUERY_FAILED);
    EXPECT_EQ(r.reason, "The module did not answer \"IM:CAL:DATA? 3 1 1 0\"; \"" + kept + "\" was not written.");
    EXPECT_EQ(slurp(kept), "previous calibration\n");
    EXPECT_TRUE(progressWindowGone());
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder.cal", "kept.cal", "ro.cal"}));

    // Through the button the failure and its reason are shown.
    const int p = loadMain();
    SetCtrlAttribute(p, MAIN_PANEL_CAL_SAVE, ATTR_VISIBLE, 1);
    ui::headless::answerFile(file("nowhere/x.cal"));
    ASSERT_EQ(ui::headless::click(p, MAIN_PANEL_CAL_SAVE), 0);
    ui::headless::deliver();
    EXPECT_EQ(messageTexts(), std::vector<std::string>{"|Calibration Data Save Fail!\n" + cases[2].reason});
}

TEST_F(Caldata, ProgressWindowWithoutAWindowDoesNothing)
{
    ifc_progress_panel(0, 0, 50);
    ifc_progress_panel(0, 1, 0);
    EXPECT_TRUE(recorder_->values.empty());
    ifc_progress_panel(1, 0, 0);
    ifc_progress_panel(1, 0, 0);   // a second open replaces the first window
    ifc_progress_panel(0, 0, 42);
    int shown = 0;
    for (int h : ui::panelHandles())
        shown += ui::panel(h)->resourceId == PROGRESS_PANEL;
    EXPECT_EQ(shown, 1);
    ifc_progress_panel(0, 1, 0);
    EXPECT_TRUE(progressWindowGone());
    EXPECT_EQ(recorder_->values, (std::vector<int>{0, 42}));
}

}  // namespace
