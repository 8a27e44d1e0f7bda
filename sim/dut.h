// The device under test of the simulated IM module: its impedance at a
// frequency and a DC bias current (the instrument is a load; it draws a DC
// current from the device with the AC stimulus on top).
//
// Kinds, in the text form of the --dut option:
//   resistor:R                 R ohms
//   rc:R,C                     R ohms in parallel with C farads (one semicircle)
//   randles:Rs,Rct,Cdl,W[,L]   Rs + ((Rct + W/sqrt(jw)) || Cdl) + jwL: series resistance,
//                              charge-transfer resistance with a Warburg element (W in
//                              ohm/sqrt(s)) parallel to the double-layer capacitance, and
//                              an optional series inductance in henries
//   battery                    a Randles preset of a small Li-ion cell, milliohm range
//
// The Randles circuit follows its DC bias as an electrochemical cell does:
// the charge transfer eases (Rct falls, as 1/cosh(bias / kBiasAmps)) and the
// double layer grows (Cdl rises by kCdlBiasGain per ampere squared) as the
// current moves away from zero, so sweeps at different DC levels draw
// distinct curves.
// Resistor and RC network are linear and ignore the bias.
#pragma once

#include <complex>
#include <string>
#include <string_view>

namespace sim {

enum class DutKind { Resistor,
    Rc,
    Randles };

struct DutSpec {
    DutKind kind = DutKind::Resistor;
    double r = 100.0; // resistor, rc
    double c = 0.0; // rc
    double rs = 0.0, rct = 0.0, cdl = 0.0, w = 0.0, l = 0.0; // randles
};

constexpr double kBiasAmps = 2.0;
constexpr double kCdlBiasGain = 0.05;

DutSpec dutResistor(double ohms);
// 20 mohm series, 15 mohm charge transfer, 1.5 F double layer (a corner near
// 7 Hz), a 4 mohm/sqrt(s) diffusion tail and 100 nH of cell and lead inductance.
DutSpec dutBattery();

// Parses the --dut text; false with a message for an unknown kind, a missing
// or extra value, or a value out of range (resistances and capacitances above
// zero; Rs, W and L zero or above).
bool parseDut(std::string_view text, DutSpec& spec, std::string* error);
// The text form of spec ("randles:0.02,0.015,1.5,0.004,1e-07").
std::string dutText(const DutSpec& spec);

// The charge-transfer resistance and double-layer capacitance at a DC bias.
double dutRct(const DutSpec& spec, double biasAmps);
double dutCdl(const DutSpec& spec, double biasAmps);

// Z at hz (above zero) and the DC bias current in amperes.
std::complex<double> dutImpedance(const DutSpec& spec, double hz, double biasAmps);

} // namespace sim
