#include "tests/app/fra_fixture.h"

#include "app/ifc.h"
#include "link/ifp.h"
#include "link/io.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace fratest {

namespace hl = ui::headless;

std::unique_ptr<sim::Simulator> startSimulator(const std::string& prefix, const std::string& idn,
                                               const std::string& version, double timeScale)
{
    std::string error;
    for (int host = 1; host < 255; ++host) {
        sim::Options o;
        o.address = prefix + std::to_string(host);
        o.udp = false;
        o.pty = false;
        o.gpib = false;
        o.idn = idn;
        o.version = version;
        o.timeScale = timeScale;
        auto s = std::make_unique<sim::Simulator>(o);
        if (s->start())
            return s;
        error = s->error();
    }
    ADD_FAILURE() << "no simulator address under " << prefix << ": " << error;
    return nullptr;
}

void FraTest::SetUp()
{
    AppTest::SetUp();
    for (int i = 0; i < DCSW_STEPS; ++i)
        dcsw_set_step(i, 0.0, 0.0);
    ifc_log_reset();
}

void FraTest::TearDown()
{
    ifc_measurement_end(false);
    ifc_set_read_wait_ticks(IFC_READ_WAIT_TICKS);
    AppTest::TearDown();
    sim_.reset();
}

void FraTest::startRun(const std::string& idn, const std::string& version, double timeScale)
{
    sim_ = startSimulator("127.33.0.", idn, version, timeScale);
    ASSERT_TRUE(sim_);
    registerEverything();
    ifp_active(1);
    ASSERT_GE(ifp_panel(), 0);
    ifp_select_link(IO_TCP, sim_->options().address.c_str());
    ASSERT_EQ(hl::commit(ifp_panel(), IFP_PANEL_OPEN, 1), 0);
    hl::deliver();
    ASSERT_EQ(ifp_get_ifready(), 1);
    ifc_set_read_wait_ticks(0);
    ifc_measurement_start();
    hl::deliver();
    ASSERT_GE(ifcP, 0);
}

int FraTest::runSweep(int maxTurns)
{
    for (int turn = 1; turn <= maxTurns; ++turn) {
        readBack();
        hl::deliver();
        if (!ifc_sweep_on() && !ifc_get_dcsw_active())
            return turn;
    }
    return -1;
}

void FraTest::userSweep(int on)
{
    ASSERT_EQ(hl::commit(ifcP, MAIN_PANEL_SWEEP, on), 0);
    hl::deliver();
}

std::vector<double> FraTest::sentFrequencies() const
{
    static const std::string head = "IM:OUTP:SINE:FREQ ";
    std::vector<double> out;
    for (const std::string& line : log())
        if (line.compare(0, head.size(), head) == 0)
            out.push_back(std::strtod(line.c_str() + head.size(), nullptr));
    return out;
}

int FraTest::mainInt(int control) const
{
    int v = 0;
    EXPECT_EQ(GetCtrlVal(ifcP, control, &v), 0);
    return v;
}

double FraTest::mainDouble(int control) const
{
    double v = 0;
    EXPECT_EQ(GetCtrlVal(ifcP, control, &v), 0);
    return v;
}

int FraTest::ctrlMode(int panel, int control) const
{
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_CTRL_MODE, &v);
    return v;
}

int FraTest::ctrlVisible(int panel, int control) const
{
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_VISIBLE, &v);
    return v;
}

int FraTest::ctrlDimmed(int panel, int control) const
{
    int v = -1;
    GetCtrlAttribute(panel, control, ATTR_DIMMED, &v);
    return v;
}

double confirmed(double requested)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", sim::ddsFrequency(requested));
    return static_cast<double>(std::strtof(text, nullptr));
}

int graphPoints(int panel, int control, int color)
{
    const ui::Panel* p = ui::panel(panel);
    const ui::Control* c = p ? p->control(control) : nullptr;
    if (!c)
        return -1;
    int n = 0;
    for (const ui::Plot& plot : c->graph.plots)
        if (!plot.isLine && (color < 0 || plot.color == color))
            ++n;
    return n;
}

}  // namespace fratest
