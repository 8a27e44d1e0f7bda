// The Bode and Nyquist windows in the Qt renderer (offscreen): two sweeps show
// in the saved pictures in their trace colours, and the capacitive points of
// the Nyquist graph above its resistance axis.
#include "tests/displays/displays_fixture.h"
#include "tests/support/files.h"
#include "ui/qt/graph_view.h"
#include "ui/qt/picture.h"
#include "ui/qt/qt_renderer.h"
#include "ui/qt/qt_widgets.h"

#include <QFile>
#include <QImage>
#include <QXmlStreamReader>

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

// Pictures are written without windows, SVG or PNG by the name, with the legend;
// at equal scale one ohm is as long on both axes of a graph that is not square.
TEST_F(Displays, PicturesKeepTheLegendAndEqualScaleKeepsOhmsEqual) {
    ASSERT_EQ(bode_open() + nyqust_open(), 2);
    traces_reset(), bode_reset(), nyqust_reset();
    for (double dc : {1.0, 2.5, 4.0}) {
        beginTrace(dc, 10.0);
        for (int k = 0; k <= 20; ++k) { // a semicircle: 1 ohm in series with 4 ohm parallel to C
            const double w = std::pow(10.0, k / 4.0), d = 1 + w * w, re = 1 + 4 / d, im = -4 * w / d;
            feed(w, std::hypot(re, im), std::atan2(im, re) * 180 / M_PI);
        }
    }
    tsupport::TempDir dir;
    std::string error;
    ASSERT_TRUE(ui_qt_write_picture(zP, dir.file("bode.svg").c_str(), &error)) << error;
    QFile file(QString::fromStdString(dir.file("bode.svg")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList texts;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("text"))
            texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    for (const char* want : {"DC 1 V, AC 10 %", "DC 2.5 V, AC 10 %", "DC 4 V, AC 10 %", "Frequency (Hz)"})
        EXPECT_EQ(texts.count(QString::fromUtf8(want)), 2) << want << ": " << texts.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(ui_qt_write_picture(nyP, dir.file("nyquist.png").c_str(), &error)) << error;
    const QImage png(QString::fromStdString(dir.file("nyquist.png")));
    const ui::Control* graph = ui::panel(nyP)->control(NYQUST_PANEL_GRAPH);
    EXPECT_EQ((std::pair{png.width(), png.height()}), (std::pair{graph->width, graph->height}));
    for (const std::string& bad : {dir.file("nyquist.txt"), dir.file("missing/nyquist.png"), dir.file("missing/n.svg")})
        EXPECT_FALSE(ui_qt_write_picture(nyP, bad.c_str(), &error)) << bad;

    for (int equal : {0, 1}) {
        SetCtrlVal(nyP, NYQUST_PANEL_EQUAL_SCALE, equal), nyqustaxisCB(nyP, NYQUST_PANEL_EQUAL_SCALE, EVENT_COMMIT, nullptr, 0, 0);
        ui::qt::GraphPainter painter;
        for (QSize size : {QSize(600, 300), QSize(300, 600)}) {
            painter.render(ui::panel(nyP)->control(NYQUST_PANEL_GRAPH)->graph, size);
            const double ratio = std::abs(painter.xMap().b / painter.yMap().b);
            if (equal) {
                EXPECT_NEAR(ratio, 1.0, 0.01) << size.width();
            } else {
                EXPECT_GT(std::abs(std::log(ratio)), 0.2) << size.width(); // each axis fits its own data
            }
        }
    }
}

} // namespace
