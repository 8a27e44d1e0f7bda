// The DC supply: its SCPI vocabulary (see scpi_model.h for the forms every
// parameter answers), its output into a simulated load resistance R
// (Options::loadOhms), protection, lists and temperature.
//
// While OUTP is 1, with the set point Vs, Is (VSET and ISET, or the entries
// of the lists being walked):
//   CV when Vs / R <= Is:  V = Vs, I = Vs / R
//   CC otherwise:          I = Is, V = Is R
// and when V I would exceed kRatedWatts the output holds the rating instead:
// V = sqrt(kRatedWatts R), I = V / R, neither CV nor CC.  With the output off
// V = I = 0.  "MEAS:VOLT?" and "MEAS:CURR?" read the output at the moment of
// the query.
//
// Protection trips at once while its condition holds:
//   over-voltage   VOLT:PROT:STAT 1 and V above VOLT:PROT
//   under-voltage  UND:PROT:STAT 1, the output on and V below VOLT:PROT:UND
//   over-current   CURR:PROT:STAT 1 and I above CURR:PROT
//   over-temperature  above kOverTempC
// A trip latches its bit, turns the output off (ending a list under way:
// extended bit 5) and refuses "OUTP 1" until "OUTP:PROT:CLE" clears it.
// Temperature: first order, kKelvinPerWatt x (kIdleWatts + kLossShare x the
// output power) above Options::ambientCelsius, time constant kThermalTauSeconds.
//
// Lists: "LIST:VOLT n v" within the VSET limits, "LIST:CURR n v" within the
// ISET limits, "LIST:VOLT:TIME n t" and "LIST:CURR:TIME n t" with t from 0 to
// 65535, each with its "?" forms; n from 1 to the capacity (kListCapacity, or
// the list-capacity fault); a larger n is refused.  A list whose state
// (LIST:VOLT:STAT, LIST:CURR:STAT) is 1 walks while the output is on: entries
// from 1 up to the first with dwell time 0, each for its dwell time in
// LIST:TIME:UNIT (0 milliseconds, 1 seconds), LIST:COUNT passes over (0: for
// as long as the output stays on); while it walks its entry replaces VSET
// (ISET).  The two lists walk side by side.  A list starts over when the
// output or its state turns on, and when LIST:COUNT or LIST:TIME:UNIT is set.
#pragma once

#include <array>
#include <vector>

#include "sim/scpi_model.h"

namespace sim {

// "STAT:QUES?" of the supply.  The trip bits latch until "OUTP:PROT:CLE".
enum SupplyQuestionable : unsigned {
    kSupplyOverVoltage = 1u << 0,
    kSupplyOverCurrent = 1u << 1,
    kSupplyConstantCurrent = 1u << 2, // while the output is on
    kSupplyConstantVoltage = 1u << 3, // while the output is on
    kSupplyOverTemperature = 1u << 4,
    kSupplyOutputOn = 1u << 5,
    kSupplyUnderVoltage = 1u << 9,
    kSupplyListRunning = 1u << 10,
    kSupplyPowerLimit = 1u << 12, // the output holds the rating
    kSupplyExtended = 1u << 15, // "STAT:QUES:EXT?" has a bit set
    kSupplyTrips = kSupplyOverVoltage | kSupplyOverCurrent | kSupplyOverTemperature | kSupplyUnderVoltage,
};

// "STAT:QUES:EXT?" of the supply.
enum SupplyExtended : unsigned {
    kSupplyHot = 1u << 0, // above kWarnTempC
    kSupplyOverVoltageSet = 1u << 1, // over-voltage armed below VSET: the output would trip
    kSupplyOverCurrentSet = 1u << 2, // over-current armed below ISET
    kSupplyUnderVoltageSet = 1u << 3, // under-voltage armed above VSET
    kSupplyListAborted = 1u << 5, // a trip ended a list under way (latched)
    kSupplyProtection = 1u << 15, // a trip is latched
};

extern const std::vector<StatusBit> kSupplyQuestionableBits;
extern const std::vector<StatusBit> kSupplyExtendedBits;

class SupplyModel final : public ScpiModel {
public:
    static constexpr double kMaxVolts = 60.0;
    static constexpr double kMaxAmps = 10.0;
    static constexpr double kRatedWatts = 400.0;
    static constexpr int kListCapacity = 100;
    static constexpr double kMaxDwell = 65535.0;
    static constexpr double kIdleWatts = 10.0;
    static constexpr double kLossShare = 0.2;
    static constexpr double kKelvinPerWatt = 0.6;
    static constexpr double kThermalTauSeconds = 60.0;
    static constexpr double kWarnTempC = 70.0;
    static constexpr double kOverTempC = 85.0;

    SupplyModel(double loadOhms, double ambientCelsius, ModelClock clock);

private:
    enum List { VoltList,
        CurrList };
    struct Point {
        double volts = 0.0, amps = 0.0;
        bool cv = false, cc = false, powerLimit = false;
    };
    struct Walk {
        bool running = false;
        double value = 0.0;
        Micros next = kNever;
    };

    void advance(Micros to) override;
    Outcome extra(const Command& command, std::string& reply) override;
    double read(const ParamSpec& param) const override;
    bool write(const ParamSpec& param, double value) override;
    void run(const ParamSpec& param) override;

    int capacity() const;
    Walk walk(List list, Micros t) const;
    Point point(Micros t) const;
    void settle();
    unsigned questionable() const;
    unsigned extended() const;

    double loadOhms_;
    Thermal thermal_;
    std::array<std::vector<double>, 2> listValues_, listTimes_;
    std::array<Micros, 2> listStart_{};
    unsigned latched_ = 0;
    bool listAborted_ = false;
};

} // namespace sim
