// The Bode and Nyquist windows in the Qt renderer (offscreen): two sweeps show
// in the saved pictures in their trace colours, and the capacitive points of
// the Nyquist graph above its resistance axis.
#include "tests/displays/displays_fixture.h"
#include "tests/support/files.h"
#include "ui/qt/graph_view.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"

#include <QImage>

// fontconfig keeps a cache for the life of the process that Qt never frees.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

using namespace displaytest;

TEST_F(Displays, SweepsShowInTheirColoursAndCapacitivePointsAboveTheAxis) {
    static int argc = 1;
    static char name[] = "test_displays_qt", *argv[] = {name, nullptr};
    ASSERT_TRUE(ui_qt_install(argc, argv));
    ASSERT_EQ(bode_open() + nyqust_open(), 2);
    SetCtrlVal(nyP, NYQUST_PANEL_CIRCUIT_MODE, 1);
    bode_reset(), nyqust_reset();
    for (int sweep = 0; sweep < 2; ++sweep) { // red, then blue
        bode_clear(), nyqust_clear();
        for (int k = 0; k <= 40; ++k) { // Z = 0.01 + j w 1 nH + 0.03 / (1 + j w RC), 0.1 Hz to 1 MHz
            const double w = 2 * M_PI * 0.1 * std::pow(10.0, k / 5.8), rc = 0.06 * (1 + sweep), d = 1 + w * w * rc * rc;
            const double re = 0.01 + 0.03 / d, im = w * 1e-9 - 0.03 * w * rc / d, deg = std::atan2(im, re) * 180 / M_PI;
            bode_show(w / (2 * M_PI), std::hypot(re, im), deg), nyqust_show(std::hypot(re, im), deg);
        }
    }
    bode_active(1), nyqust_active(1), ProcessSystemEvents();
    tsupport::TempDir dir;
    for (auto [panel, graph] : {std::pair<int, int>{zP, BODE_PANEL_GRAPH1}, {zP, BODE_PANEL_GRAPH2}, {nyP, NYQUST_PANEL_GRAPH}}) {
        ASSERT_TRUE(ui_qt_grab_panel(panel, dir.file("shot.png").c_str()));
        const QImage shot = QImage(QString::fromStdString(dir.file("shot.png"))).convertToFormat(QImage::Format_RGB32);
        auto* g = dynamic_cast<ui::qt::GraphWidget*>(ui::qt::controlWidget(panel, graph));
        ASSERT_NE(g, nullptr);
        const QRect plot = g->painter().plotRect().translated(g->mapTo(g->window(), QPoint(0, 0)));
        const int zero = int(g->painter().yMap().toPixel(0.0)) + plot.top() - g->painter().plotRect().top();
        int red[2] = {0, 0}, blue = 0; // red above and below the row of value 0
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            for (int x = plot.left(); x <= plot.right(); ++x)
                red[y > zero] += (shot.pixel(x, y) & 0xFFFFFF) == 0xFF0000, blue += (shot.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
        EXPECT_GT(std::min(red[0] + red[1], blue), 100) << graph; // both sweeps are drawn
        if (panel == nyP) {
            EXPECT_GT(red[0], 3 * red[1]) << "capacitive above the axis, inductive below";
        }
    }
    ui_qt_uninstall();
}

} // namespace
