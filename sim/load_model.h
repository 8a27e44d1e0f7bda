// The electronic load: its SCPI vocabulary (see scpi_model.h for the forms
// every parameter answers), a simulated source on its input, and the physics
// of its operating point, transient, step lists, protection and temperature.
//
// Source: an EMF E (Options::sourceVolts) behind an internal resistance r
// (Options::sourceOhms); the input sees V = E - r I.
// Operating point while INPUT is 1, at the level L in force (MLEV, or while a
// transient runs TLEV or a step entry) of MODE (VOLT, CURR, RES or POW):
//   CURR  I = L
//   VOLT  I = (E - L) / r below E, else 0
//   RES   I = E / (r + L)
//   POW   the lower root of r I^2 - E I + L = 0 (the stable point); E / 2r
//         when L is beyond what the source gives (E^2 / 4r)
// Then the current range holds I to its maximum, the rating holds V I to
// kRatedWatts (the lower root again), and V stays at or above 0.  SHORT 1
// draws the range's maximum, the same limits applied.  With VOLT:VON:STATE 1
// no current flows while E is not above VOLT:VON.
// Ranges (MODE:RANGE): 0 up to kRangeAmps[0], 1 up to kRangeAmps[1].  The
// CURR levels and step entries are held to the range, and a change to the low
// range clips them.  UTIL:RANGE 1 lets the load pick: the low range when the
// current its setting draws fits it; MODE:RANGE? then answers the range in
// use and setting MODE:RANGE is refused.
// Limits of MLEV, TLEV and the step entries: CURR 0..range maximum A, VOLT
// 0..kMaxVolts V, RES kMinOhms..kMaxOhms ohm, POW 0..kRatedWatts W.  Each mode
// keeps its own MLEV, TLEV and step list.
// Readings are the operating point at the moment of the query: "MEAS:SUMM?"
// answers "V I P R" with 6 significant digits (R is 9.9e37 without current),
// "MEAS:TEMP?" the heat sink in degrees C.
//
// Transient, while TRAN and INPUT are 1, by TRAN:MODE:
//   0 continuous: every period of 1/FREQ starts with TLEV for DUTY percent of
//     it, then MLEV.  TRAN:TWID (ms) is that time at TLEV: setting FREQ or
//     DUTY changes it, setting it changes FREQ.
//   1 pulse: TLEV for TRAN:TWID ms, then MLEV.  With TRIG:SOURCE HOLD the load
//     pulses by itself every TRAN:PINT:TWID ms; with BUS or ETHERNET each
//     "*TRG" starts one pulse TRIG:DELAY ms later ("*TRG" is refused with the
//     other sources); EXTERNAL waits for the trigger input, which nothing
//     drives here.
//   2 step list: the list of MODE walks entries 1 to UTIL:STEP:COUNT (the
//     entries in use, from 1 to the capacity; the capacity at first), each at
//     its value for its dwell time (ms; 0 skips the entry), STEP:COUNT times
//     over (0: until TRAN 0), and then holds MLEV.
// The transient starts over when TRAN or INPUT turns on, and when MODE,
// TRAN:MODE, FREQ, DUTY, TRAN:TWID, TRAN:PINT:TWID, STEP:COUNT or
// UTIL:STEP:COUNT is set.
// Step lists: "STEP:<mode> n v", "STEP:<mode>? n [MAX|MIN]",
// "STEP:<mode>:TIME n ms", "STEP:<mode>:TIME? n [MAX|MIN]", n from 1 to the
// capacity that "UTIL:STEP:COUNT? MAX" answers (kStepCapacity, or the
// step-capacity fault).
//
// Protection: each of the six checks (V above VOLT:PROT:OVER, V below
// VOLT:PROT:UND, I above CURR:PROT:OVER, I below CURR:PROT:UND, P above
// POW:PROT:OVER, P below POW:PROT:UND) is armed by its STATE and trips once
// its condition has held for its DELAY (ms) without a break; the under checks
// only while INPUT is 1.  The heat sink trips above kOverTempC.  A trip
// latches its bit, turns INPUT off and sets bit 13; "INPUT 1" is refused while
// a bit is latched; "INP:PROT:CLE" clears them and starts every delay anew.
// The simulated source never oscillates: SYST:OSC:PROT and its delay are kept
// but never trip.  Kept without effect on the source: SLEW:POS and SLEW:NEG
// (A/us: edges of microseconds at most), MEAS:SENSE, SYST:CROS:MOD:STAT,
// SYST:CROS:RANG:STAT.  "SHORT 1" is refused while SYST:SHORT:STATE is 0 or
// SYST:EXT:CONTROL is 1, and turning either that way ends a short.
// Temperature: first order, kKelvinPerWatt x the power above
// Options::ambientCelsius with time constant kThermalTauSeconds.
#pragma once

#include <algorithm>
#include <array>
#include <vector>

#include "sim/scpi_model.h"

namespace sim {

// "STAT:QUES?" of the load.  Bits 0 to 7 latch until "INP:PROT:CLE".
enum LoadQuestionable : unsigned {
    kLoadOverVoltage = 1u << 0,
    kLoadOverCurrent = 1u << 1,
    kLoadOverPower = 1u << 2,
    kLoadUnderVoltage = 1u << 3,
    kLoadUnderCurrent = 1u << 4,
    kLoadUnderPower = 1u << 5,
    kLoadOverTemperature = 1u << 6,
    kLoadOscillation = 1u << 7,
    kLoadVonWait = 1u << 8, // input on, no current: the source is not above VOLT:VON
    kLoadCurrentLimit = 1u << 9, // the range holds the current below the setting
    kLoadPowerLimit = 1u << 10, // the rating holds the power below the setting
    kLoadHot = 1u << 11, // heat sink above kWarnTempC
    kLoadProtection = 1u << 13, // a protection is latched (any of bits 0 to 7)
    kLoadTrips = 0xFFu, // bits 12, 14 and 15 are reserved
};

// "STAT:OPER?" of the load.  Bits 0 to 9 are reserved.
enum LoadOperation : unsigned {
    kLoadInputOn = 1u << 10,
    kLoadShortOn = 1u << 11,
    kLoadTransientRunning = 1u << 12, // TRAN 1 with the input on
    kLoadListRunning = 1u << 13, // the step list is being walked
    kLoadAtTransientLevel = 1u << 14, // TLEV or a step entry is in force
    kLoadAwaitingTrigger = 1u << 15, // pulse mode, no pulse due or under way
};

extern const std::vector<StatusBit> kLoadQuestionableBits;
extern const std::vector<StatusBit> kLoadOperationBits;

class LoadModel final : public ScpiModel {
public:
    static constexpr std::array<double, 2> kRangeAmps = {3.0, 30.0};
    static constexpr double kMaxVolts = 150.0;
    static constexpr double kMinOhms = 0.05;
    static constexpr double kMaxOhms = 10000.0;
    static constexpr double kRatedWatts = 400.0;
    static constexpr int kStepCapacity = 100;
    static constexpr double kKelvinPerWatt = 0.2;
    static constexpr double kThermalTauSeconds = 20.0;
    static constexpr double kWarnTempC = 70.0;
    static constexpr double kOverTempC = 85.0;
    static constexpr double kOpenCircuitOhms = 9.9e37; // the resistance read without current

    enum Mode { Volt,
        Curr,
        Res,
        Pow };
    enum TransientMode { Continuous,
        Pulse,
        StepList };
    enum TriggerSource { Hold,
        Bus,
        External,
        Ethernet };

    LoadModel(double sourceVolts, double sourceOhms, double ambientCelsius, ModelClock clock);

private:
    struct Point {
        double volts = 0.0, amps = 0.0, watts = 0.0;
        int range = 1;
        bool vonWait = false, currentLimit = false, powerLimit = false;
    };
    struct Phase {
        double level = 0.0; // the setting in force, in the mode's unit
        bool transientLevel = false;
        bool listRunning = false;
        bool awaitingTrigger = false;
        Micros next = kNever; // when the phase changes
    };

    void advance(Micros to) override;
    Outcome extra(const Command& command, std::string& reply) override;
    Limits limits(const ParamSpec& param) const override;
    double read(const ParamSpec& param) const override;
    bool write(const ParamSpec& param, double value) override;
    void run(const ParamSpec& param) override;

    Outcome stepCommand(const Command& command, std::string& reply);
    Limits levelLimits(int mode) const;
    // Sets the current range, clipping the CURR levels and step entries to it.
    void holdToRange(int range);
    int capacity() const;
    int stepsInUse() const { return std::min(static_cast<int>(stored("UTIL:STEP:COUNT")), capacity()); }
    Micros periodMicros() const;
    Micros widthMicros() const;
    Phase phase(Micros t) const;
    int rangeFor(double level) const;
    Point operate(double level, int range) const;
    Point point(Micros t) const;
    void settle();
    void restartTransient() {
        tranStart_ = now();
        pulseAt_ = kNever;
    }
    unsigned questionable() const;
    unsigned operation() const;

    double sourceVolts_, sourceOhms_;
    Thermal thermal_;
    int mode_ = Curr;
    int triggerSource_ = Hold;
    std::array<double, 4> mainLevel_{}, transientLevel_{};
    std::array<std::vector<double>, 4> stepValues_, stepTimes_;
    Micros tranStart_ = 0;
    Micros pulseAt_ = kNever; // start of the triggered pulse
    std::array<Micros, 6> holdingSince_; // per check: since when its condition holds, kNever when not
    unsigned latched_ = 0;
};

} // namespace sim
