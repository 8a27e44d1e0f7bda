#include "displays/meter.h"

#include "module/impedance.h"
#include "ui/resources/ifcPanel.h"
#include "ui/toolkit.h"

#include <cfloat>
#include <cmath>

int meterP = -1;

namespace {

enum { DEVICE_CS = 0,
    DEVICE_CP = 1,
    DEVICE_LS = 2,
    DEVICE_LP = 3 };

// The meter text takes single precision; a value beyond its range is an
// overload, not an undefined conversion.
float to_meter_float(double v)
{
    if (v > static_cast<double>(FLT_MAX))
        return HUGE_VALF;
    if (v < -static_cast<double>(FLT_MAX))
        return -HUGE_VALF;
    return static_cast<float>(v);
}

int ctrl_int(int control)
{
    int value = 0;
    GetCtrlVal(meterP, control, &value);
    return value;
}

} // namespace

int meter_open()
{
    if (meterP < 0) {
        meterP = LoadPanel(0, IFC_PANEL_FILE, METER_PANEL);
        if (meterP < 0) {
            meterP = -1;
            return 0;
        }
    }
    // The read-outs keep their size when the window is resized.
    SetPanelAttribute(meterP, ATTR_SCALE_CONTENTS_ON_RESIZE, 0);
    meter_active(0);
    return 1;
}

void meter_active(int on)
{
    if (on == 1)
        DisplayPanel(meterP);
    else if (meterP >= 0)
        HidePanel(meterP);
}

void meter_quit()
{
    if (meterP >= 0)
        DiscardPanel(meterP);
    meterP = -1;
}

void meter_show(double voltAmp, double voltPhase, double currAmp, double currPhase, double mag,
    double phaseDeg, double freq, double dcLevel)
{
    if (meterP < 0)
        return;
    SetCtrlVal(meterP, METER_PANEL_VOLT, voltAmp);
    SetCtrlVal(meterP, METER_PANEL_VOLT_PHASE, voltPhase);
    SetCtrlVal(meterP, METER_PANEL_CURR, currAmp);
    SetCtrlVal(meterP, METER_PANEL_CURR_PHASE, currPhase);
    SetCtrlVal(meterP, METER_PANEL_Z, mag);
    SetCtrlVal(meterP, METER_PANEL_Z_PHASE, phaseDeg);

    const int circuit = ctrl_int(METER_PANEL_CIRCUIT_MODE) != 0 ? kImCircuitSeries : kImCircuitParallel;
    double r = 0.0, x = 0.0;
    im_get_rectangular_resistance(mag, phaseDeg, &r, &x, circuit);
    SetCtrlVal(meterP, METER_PANEL_R, r);
    SetCtrlVal(meterP, METER_PANEL_X, x);

    // A mode the selector should not hold (from an edited profile, say) reads
    // as series capacitance, below 0 as well as above 3.
    int device = ctrl_int(METER_PANEL_DEVICE_MODE);
    if (device < DEVICE_CS || device > DEVICE_LP)
        device = DEVICE_CS;
    const int componentCircuit = device % 2 == 0 ? kImCircuitSeries : kImCircuitParallel;
    double component = 0.0;
    char unit = 'F';
    if (device == DEVICE_CS || device == DEVICE_CP) {
        im_get_rectangular_capacitance(mag, phaseDeg, freq, nullptr, &component, componentCircuit);
    } else {
        im_get_rectangular_inductance(mag, phaseDeg, freq, nullptr, &component, componentCircuit);
        unit = 'H';
    }
    char text[kImMeterWidth + 2];
    im_convert_meter_value(text, to_meter_float(component), unit, kImMeterWidth, 1);
    SetCtrlVal(meterP, METER_PANEL_COMPONENT, text);

    double q = 0.0, d = 0.0;
    im_get_quality_dissipation_factor(mag, phaseDeg, &q, &d);
    SetCtrlVal(meterP, METER_PANEL_QD, ctrl_int(METER_PANEL_QUALITY_MODE) != 0 ? d : q);

    SetCtrlVal(meterP, METER_PANEL_FREQ, freq);
    SetCtrlVal(meterP, METER_PANEL_DC, dcLevel);
}
