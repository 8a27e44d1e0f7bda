// The interface panel in the Qt renderer (offscreen): no control or label
// overlaps another or leaves the window in any view and link kind, and the
// views are saved as screenshots ($IMBENCH_SCREENSHOT_DIR, else the test's
// working folder).
#include "link/ifp.h"
#include "link/io.h"
#include "sim/sim.h"
#include "tests/app/app_fixture.h"
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

using apptest::AppTest;
namespace hl = ui::headless;

constexpr const char* kShotAddr = "127.32.20.1";

class IfpQtTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "test_app_qt";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(ui_qt_install(argc, argv));
        registerEverything();
        ifp_active(1);
        panel_ = ifp_panel();
        ASSERT_GE(panel_, 0);
        ProcessSystemEvents();
    }
    void TearDown() override
    {
        AppTest::TearDown();
        ui_qt_uninstall();
    }

    struct Box {
        std::string what;
        QRect rect;
    };
    // The visible controls and labels inside the panel's current height.
    std::vector<Box> visibleBoxes() const
    {
        std::vector<Box> boxes;
        const ui::Panel* p = ui::panel(panel_);
        for (const auto& c : p->controls) {
            if (!c.visible || c.top >= p->height)
                continue;
            if (QWidget* w = ui::qt::controlWidget(panel_, c.id))
                boxes.push_back({"control " + std::to_string(c.id), w->geometry()});
            QWidget* l = ui::qt::labelWidget(panel_, c.id);
            if (l && !c.label.empty())
                boxes.push_back({"label of " + std::to_string(c.id), l->geometry()});
        }
        return boxes;
    }
    void expectTidy()
    {
        const ui::Panel* p = ui::panel(panel_);
        const auto boxes = visibleBoxes();
        const QRect window(0, 0, p->width, p->height);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_TRUE(window.contains(boxes[i].rect)) << boxes[i].what << " leaves the window";
            for (std::size_t j = i + 1; j < boxes.size(); ++j)
                EXPECT_FALSE(boxes[i].rect.intersects(boxes[j].rect))
                    << boxes[i].what << " overlaps " << boxes[j].what;
        }
    }
    std::string shotPath(const char* name) const
    {
        const char* dir = std::getenv("IMBENCH_SCREENSHOT_DIR");
        return std::string(dir && *dir ? dir : ".") + "/" + name;
    }
    void shoot(const char* name)
    {
        ProcessSystemEvents();
        const std::string path = shotPath(name);
        ASSERT_TRUE(ui_qt_grab_panel(panel_, path.c_str())) << path;
        QImage image(QString::fromStdString(path));
        ASSERT_FALSE(image.isNull());
        int height = 0, width = 0;
        GetPanelAttribute(panel_, ATTR_HEIGHT, &height);
        GetPanelAttribute(panel_, ATTR_WIDTH, &width);
        EXPECT_EQ(image.width() / image.devicePixelRatio(), width);
    }

    int panel_ = -1;
};

TEST_F(IfpQtTest, EveryLinkKindIsLaidOutWithoutOverlaps)
{
    for (int monitor : {0, 1}) {
        ifp_set_monitor_view(monitor);
        for (int shown : {0, 1}) {
            SetCtrlAttribute(panel_, IFP_PANEL_DEVMODE, ATTR_VISIBLE, shown);
            for (int kind : {IO_GPIB, IO_COM, IO_TCP, IO_UDP}) {
                SCOPED_TRACE("monitor " + std::to_string(monitor) + ", mode selector " +
                             std::to_string(shown) + ", kind " + std::to_string(kind));
                ifp_select_link(kind, nullptr);
                ProcessSystemEvents();
                expectTidy();
            }
        }
    }
}

TEST_F(IfpQtTest, ScreenshotsOfBothViews)
{
    sim::Options o;
    o.address = kShotAddr;
    o.udp = false;
    o.pty = false;
    o.gpib = false;
    sim::Simulator s(o);
    ASSERT_TRUE(s.start()) << s.error();

    // The serial link with the device-mode selector shown.
    ifp_select_link(IO_COM, nullptr);
    SetCtrlAttribute(panel_, IFP_PANEL_DEVMODE, ATTR_VISIBLE, 1);
    shoot("interface-panel-com.png");
    SetCtrlAttribute(panel_, IFP_PANEL_DEVMODE, ATTR_VISIBLE, 0);

    ifp_select_link(IO_TCP, kShotAddr);
    shoot("interface-panel-compact.png");

    ifp_set_monitor_view(1);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    ASSERT_EQ(ifp_get_ifready(), 1);
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_CMD, std::string("*IDN?")), 0);
    ASSERT_EQ(hl::click(panel_, IFP_PANEL_TXRX), 0);
    hl::deliver();
    shoot("interface-panel.png");
    ifp_close();
}

}  // namespace
