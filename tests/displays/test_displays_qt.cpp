// The four display windows in the Qt renderer (offscreen): no control or
// label overlaps another or leaves its window, and each window is saved as a
// screenshot with a few sweeps drawn ($IMBENCH_SCREENSHOT_DIR, else the
// test's build folder).
#include "tests/displays/displays_fixture.h"

#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"

#include <QImage>
#include <QRect>
#include <QWidget>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef DISPLAYS_SHOT_DIR
#define DISPLAYS_SHOT_DIR "."
#endif

// fontconfig keeps a cache for the life of the process that Qt never frees.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

namespace {

using namespace displaytest;

class DisplaysQtTest : public DisplaysTest {
protected:
    void SetUp() override
    {
        DisplaysTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "test_displays_qt";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(ui_qt_install(argc, argv));
        ASSERT_EQ(meter_open(), 1);
        ASSERT_EQ(nyqust_open(), 1);
        ASSERT_EQ(vc_open(), 1);
        ASSERT_EQ(bode_open(), 1);
    }
    void TearDown() override
    {
        DisplaysTest::TearDown();
        ui_qt_uninstall();
    }

    struct Box {
        std::string what;
        QRect rect;
    };
    static void expectTidy(int panel)
    {
        const ui::Panel* p = ui::panel(panel);
        std::vector<Box> boxes;
        for (const auto& c : p->controls) {
            if (!c.visible)
                continue;
            if (QWidget* w = ui::qt::controlWidget(panel, c.id))
                boxes.push_back({"control " + std::to_string(c.id), w->geometry()});
            QWidget* l = ui::qt::labelWidget(panel, c.id);
            if (l && !c.label.empty())
                boxes.push_back({"label of " + std::to_string(c.id), l->geometry()});
        }
        ASSERT_FALSE(boxes.empty());
        const QRect window(0, 0, p->width, p->height);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(window.contains(boxes[i].rect)) << boxes[i].what << " leaves the window";
            for (std::size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect))
                    << boxes[i].what << " overlaps " << boxes[j].what;
        }
    }
    static void shoot(int panel, const char* name)
    {
        ProcessSystemEvents();
        const char* dir = std::getenv("IMBENCH_SCREENSHOT_DIR");
        const std::string path = std::string(dir && *dir ? dir : DISPLAYS_SHOT_DIR) + "/" + name;
        ASSERT_TRUE(ui_qt_grab_panel(panel, path.c_str())) << path;
        const QImage image(QString::fromStdString(path));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.width() / image.devicePixelRatio(), ui::panel(panel)->width);
    }

    // A battery-like cell (series resistance, a charge-transfer arc and a
    // diffusion tail) swept by decades from 0.1 Hz to 10 kHz, once per DC level.
    static void feedSweeps(int sweeps)
    {
        bode_reset();
        nyqust_reset();
        for (int s = 0; s < sweeps; ++s) {
            vc_clear();
            bode_clear();
            nyqust_clear();
            const double rct = 0.020 + 0.006 * s;
            for (int k = 0; k <= 50; ++k) {
                const double f = 0.1 * std::pow(10.0, k / 10.0);
                const double w = 2.0 * 3.14159265 * f;
                // Z = Rs + Rct / (1 + j w Rct C) + sigma (1 - j) / sqrt(w)
                const double c = 1.5, rs = 0.012, sigma = 0.004;
                const double d = 1.0 + w * w * rct * rct * c * c;
                const double re = rs + rct / d + sigma / std::sqrt(w);
                const double im = -w * rct * rct * c / d - sigma / std::sqrt(w);
                const double mag = std::hypot(re, im);
                const double phase = std::atan2(im, re) * 180.0 / 3.14159265;
                const double curr = 0.5;
                meter_show(mag * curr, phase, curr, 0.0, mag, phase, f, 1.0 + 0.5 * s);
                vc_show(f, mag * curr, phase, curr, 0.0);
                bode_show(f, mag, phase);
                nyqust_show(mag, phase);
            }
        }
    }
};

TEST_F(DisplaysQtTest, WindowsAreLaidOutWithoutOverlapsAndSaved)
{
    SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
    feedSweeps(3);
    struct Shot {
        int panel;
        const char* file;
    };
    const Shot shots[] = {{zP, "bode.png"}, {nyP, "nyquist.png"}, {vcP, "vc.png"}, {meterP, "meter.png"}};
    for (const Shot& s : shots) {
        SCOPED_TRACE(s.file);
        DisplayPanel(s.panel);
        ProcessSystemEvents();
        expectTidy(s.panel);
        shoot(s.panel, s.file);
    }

    // The Bode window with other quantities, whose labels are longer.
    SetCtrlVal(zP, BODE_PANEL_SELECT1, 7);
    bode_selectCB(zP, BODE_PANEL_SELECT1, EVENT_COMMIT, nullptr, 0, 0);
    SetCtrlVal(zP, BODE_PANEL_SELECT2, 10);
    bode_selectCB(zP, BODE_PANEL_SELECT2, EVENT_COMMIT, nullptr, 0, 0);
    ProcessSystemEvents();
    expectTidy(zP);
}

}  // namespace
