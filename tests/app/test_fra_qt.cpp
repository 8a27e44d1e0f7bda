// The measurement tool's main panel and DC sweep list in the Qt renderer
// (offscreen): nothing overlaps or leaves its window, collapsed or expanded,
// and screenshots of the panels and of the Bode and Nyquist windows after a
// REPEAT sweep of the simulated battery ($IMBENCH_SCREENSHOT_DIR, else the
// test's working folder).
#include "app/fra.h"
#include "app/ifc.h"
#include "displays/bode.h"
#include "displays/nyqust.h"
#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "tests/app/fra_fixture.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"
#include "ui/resources/ifcPanel.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <cstdlib>
#include <string>
#include <vector>

// fontconfig keeps a cache for the life of the process that Qt never frees.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

namespace {

namespace hl = ui::headless;

class FraQtTest : public fratest::FraTest {
protected:
    void SetUp() override
    {
        FraTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "test_app_fra_qt";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(ui_qt_install(argc, argv));
    }
    void TearDown() override
    {
        FraTest::TearDown();
        ui_qt_uninstall();
    }

    struct Box {
        std::string what;
        QRect rect;
    };
    // Visible controls and labels inside the panel's height; frames are
    // meant to hold other controls.
    std::vector<Box> visibleBoxes(int panel) const
    {
        std::vector<Box> boxes;
        const ui::Panel* p = ui::panel(panel);
        for (const auto& c : p->controls) {
            if (!c.visible || c.top >= p->height || c.kind == UiCtrlKind::Decoration)
                continue;
            if (QWidget* w = ui::qt::controlWidget(panel, c.id))
                boxes.push_back({"control " + std::to_string(c.id), w->geometry()});
            QWidget* l = ui::qt::labelWidget(panel, c.id);
            if (l && !c.label.empty() && l->isVisible())
                boxes.push_back({"label of " + std::to_string(c.id), l->geometry()});
        }
        return boxes;
    }
    void expectTidy(int panel)
    {
        ProcessSystemEvents();
        const ui::Panel* p = ui::panel(panel);
        const auto boxes = visibleBoxes(panel);
        const QRect window(0, 0, p->width, p->height);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(window.contains(boxes[i].rect)) << boxes[i].what << " leaves the window";
            for (std::size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect))
                    << boxes[i].what << " overlaps " << boxes[j].what;
        }
    }
    void shoot(int panel, const char* name)
    {
        for (int i = 0; i < 5; ++i)
            ProcessSystemEvents();
        const char* dir = std::getenv("IMBENCH_SCREENSHOT_DIR");
        const std::string path = std::string(dir && *dir ? dir : ".") + "/" + name;
        ASSERT_TRUE(ui_qt_grab_panel(panel, path.c_str())) << path;
        QImage image(QString::fromStdString(path));
        ASSERT_FALSE(image.isNull());
    }
};

TEST_F(FraQtTest, MainPanelAndDcListAreLaidOutWithoutOverlaps)
{
    startRun(sim::kFamilyIdn, sim::kDefaultVersion);   // LOAD MODE and ELOAD shown too
    for (int expanded : {0, 1}) {
        SCOPED_TRACE(expanded);
        ifc_panel_expand(expanded);
        SetCtrlVal(ifcP, MAIN_PANEL_XAXIS_DB, 0);
        xaxisCB(ifcP, MAIN_PANEL_XAXIS_DB, EVENT_COMMIT, nullptr, 0, 0);
        expectTidy(ifcP);
    }
    dcsw_set_step(0, 1.5, 10.0);
    dcsw_set_step(1, 12.25, 5.0);
    dcsw_panel_show(1);
    expectTidy(dcswP);
    shoot(dcswP, "dcsw-list.png");
}

TEST_F(FraQtTest, ScreenshotsOfARepeatSweepOfTheSimulatedBattery)
{
    startRun(sim::kDefaultIdn, sim::kDefaultVersion, 0.0);
    sim_->instrument().setDut(sim::dutBattery());
    SetCtrlVal(ifcP, MAIN_PANEL_CURRENT_UNIT, 1.0);
    curr_unit_CB(ifcP, MAIN_PANEL_CURRENT_UNIT, EVENT_COMMIT, nullptr, 0, 0);
    dcsw_set_step(0, 1.0, 50.0);
    dcsw_set_step(1, 2.5, 50.0);
    dcsw_set_step(2, 4.0, 50.0);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_START, 0.1);
    SetCtrlVal(ifcP, MAIN_PANEL_FREQ_STOP, 10000.0);
    SetCtrlVal(ifcP, MAIN_PANEL_REPEAT, 1);
    for (int toggle : {MAIN_PANEL_BODE_GRAPH, MAIN_PANEL_NYQUST_GRAPH}) {
        ASSERT_EQ(hl::commit(ifcP, toggle, 1), 0);
        hl::deliver();
    }
    // The series circuit draws the cell's semicircle.
    SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
    userSweep(1);
    // Readings are ready when the module has measured; the pace is the module's.
    for (int turn = 0; turn < 20000 && (ifc_sweep_on() || ifc_get_dcsw_active()); ++turn) {
        readBack();
        ProcessSystemEvents();
    }
    ASSERT_FALSE(ifc_sweep_on());
    EXPECT_EQ(bode_trace_index(), 2);
    // 0.1 .. 0.9, 1 .. 9, 10 .. 90, 100 .. 900, 1000 .. 9000, 10000 per sweep.
    EXPECT_EQ(fratest::graphPoints(zP, BODE_PANEL_GRAPH1), 3 * 46);
    ifc_panel_expand(1);
    shoot(ifcP, "main-panel.png");
    shoot(zP, "bode-repeat-sweep.png");
    shoot(nyP, "nyquist-repeat-sweep.png");
}

}  // namespace
