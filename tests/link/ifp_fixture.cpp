#include "tests/link/ifp_fixture.h"

#include "platform/portmap.h"
#include "tests/link/io_test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ifptest {

namespace fs = std::filesystem;
namespace hl = ui::headless;

void IfpTest::SetUp()
{
    ui::resetForTests();
    ifcPanel_register_resource();
    ifp_register_callbacks();
    hl::clearPopups();
    hl::clearAnswers();

    std::string pattern = (fs::temp_directory_path() / "imbench-ifp-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("IMBENCH_PROJECT_DIR", dir_.c_str(), 1);
    setenv("IMBENCH_PORTS", (dir_ + "/ports.cfg").c_str(), 1);
    portmap::clearOverrides();
    portmap::reload();
}

void IfpTest::TearDown()
{
    ifp_quit();
    io_hook_debug_printf(nullptr);
    iotest::closeAllLinks();
    portmap::clearOverrides();
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void IfpTest::show()
{
    ifp_active(1);
    panel_ = ifp_panel();
    ASSERT_GE(panel_, 0);
}

std::vector<std::string> IfpTest::log() const
{
    const ui::Panel* p = ui::panel(panel_);
    if (!p)
        return {};
    return p->control(IFP_PANEL_MSG)->lines;
}

int IfpTest::lineIndex(const std::string& text, int from) const
{
    const auto lines = log();
    for (int i = from; i < static_cast<int>(lines.size()); ++i)
        if (lines[static_cast<std::size_t>(i)] == text)
            return i;
    return -1;
}

int IfpTest::panelHeight() const
{
    int height = 0;
    EXPECT_EQ(GetPanelAttribute(panel_, ATTR_HEIGHT, &height), 0);
    return height;
}

int IfpTest::heightBelow(int control) const
{
    int top = 0, left = 0, height = 0, width = 0;
    EXPECT_EQ(GetCtrlBoundingRect(panel_, control, &top, &left, &height, &width), 0);
    return top + height + 5;
}

int IfpTest::intValue(int control) const
{
    int v = -12345;
    EXPECT_EQ(GetCtrlVal(panel_, control, &v), 0);
    return v;
}

bool IfpTest::visible(int control) const
{
    int v = -1;
    EXPECT_EQ(GetCtrlAttribute(panel_, control, ATTR_VISIBLE, &v), 0);
    return v != 0;
}

bool IfpTest::dimmed(int control) const
{
    int v = -1;
    EXPECT_EQ(GetCtrlAttribute(panel_, control, ATTR_DIMMED, &v), 0);
    return v != 0;
}

void IfpTest::open(int kind, const std::string& address)
{
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IFCSEL, kind), 0);
    hl::deliver();
    if (kind == IO_TCP || kind == IO_UDP) {
        ASSERT_EQ(hl::commit(panel_, IFP_PANEL_IPADDR, address), 0);
    }
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
}

void IfpTest::setLogLevel(int level)
{
    ASSERT_EQ(hl::commit(panel_, IFP_PANEL_LOGLEVEL, level), 0);
    hl::deliver();
}

void IfpTest::writeFile(const std::string& name, const std::string& text) const
{
    std::ofstream(dir_ + "/" + name, std::ios::binary) << text;
}

std::string IfpTest::readFile(const std::string& name) const
{
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool IfpTest::fileExists(const std::string& name) const { return fs::exists(dir_ + "/" + name); }

}  // namespace ifptest
