// The display windows on a fresh toolkit with "ifcPanel.uir", their callbacks, stand-ins for the application's
// window-close callbacks and a switch that plays its "sweep running" state; and the impedance quantities
// worked out here from their definitions, for comparison.
#pragma once

#include "displays/bode.h"
#include "displays/displays.h"
#include "displays/meter.h"
#include "displays/nyqust.h"
#include "displays/traces.h"
#include "displays/vc.h"
#include "ui/headless.h"
#include "ui/model.h"
#include "ui/resources/ifcPanel.h"

#include <cmath>
#include <gtest/gtest.h>

namespace displaytest {

inline int sweepRunning = 0;
inline std::vector<std::pair<int, int>> closes; // (panel, event) of the close callbacks

class Displays : public ::testing::Test {
protected:
    void SetUp() override {
        ui::resetForTests(), traces_reset(), closes.clear(), sweepRunning = 0;
        ifcPanel_register_resource(), displays_register_callbacks();
        for (const char* name : {"bode_stop", "nyqust_stop", "vc_stop", "meter_stop"})
            ui_register_panel_callback(name, [](int p, int e, void*, int, int) { return closes.emplace_back(p, e), 0; });
        displays_set_sweep_probe([] { return sweepRunning; });
    }
    void TearDown() override {
        bode_quit(), nyqust_quit(), vc_quit(), meter_quit(), displays_set_sweep_probe(nullptr), ui::resetForTests();
        traces_reset();
    }
};

// A sweep begins and a reading arrives, as the read-back hands them to the trace store and the windows.
inline void beginTrace(double dc, double ac) { traces_begin(dc, ac, "V"), bode_clear(), nyqust_clear(); }
inline void feed(double f, double z, double deg) {
    traces_add(TracePoint{.freq = f, .zAmp = z, .zPhase = deg}), bode_show(f, z, deg), nyqust_show(z, deg);
}

// The point plots or the line plots of a graph, in drawing order.
inline std::vector<ui::Plot> plotsOf(int panel, int control, bool lines = false) {
    std::vector<ui::Plot> out;
    for (const ui::Plot& p : ui::panel(panel)->control(control)->graph.plots)
        if (p.isLine == lines) out.push_back(p);
    return out;
}
inline const ui::Axis& axis(int panel, int graph, int which) { return ui::panel(panel)->control(graph)->graph.axes[which]; }
inline double num(int panel, int control) {
    double d = -12345;
    return GetCtrlVal(panel, control, &d), d;
}
inline std::string text(int panel, int control) {
    std::string s;
    return GetCtrlVal(panel, control, &s), s;
}
// Picks a ring item by its value as a user does (panel shown), callbacks run.
inline void userPick(int panel, int control, int value) {
    EXPECT_EQ(ui::headless::commit(panel, control, value), 0) << "item " << value;
    ui::headless::deliver();
}

// Quantity `code` of |Z| at phase degrees and frequency f (0 for a code outside 0..11): series R = |Z| cos, X = |Z| sin;
// parallel R = R (1 + Q^2), X = X Q^2 / (1 + Q^2); C = 1 / (2 pi f |X|), L = |X| / (2 pi f), C divided and L multiplied
// by 1 + D^2 when parallel; C negative when parallel and inductive, L when capacitive; Q = |X / R|, D = |R / X|.
inline double quantity(double f, double z, double deg, int code) {
    const double phi = deg * M_PI / 180, r = z * std::cos(phi), x = z * std::sin(phi), q = std::abs(x / r);
    const double c = 1 / (2 * M_PI * f * std::abs(x)), l = std::abs(x) / (2 * M_PI * f) * (x < 0 ? -1 : 1);
    const double values[] = {z, deg, r, x, r * (1 + q * q), x * q * q / (1 + q * q), c, c / (1 + 1 / (q * q)) * (x > 0 ? -1 : 1),
        l, l * (1 + 1 / (q * q)), q, 1 / q};
    return code >= 0 && code < 12 ? values[code] : 0.0;
}

} // namespace displaytest
