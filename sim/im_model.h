// The IM module: its command vocabulary, the settings it was sent, its
// register space, its calibration tables and its measurements of a device
// under test.
//
// Stimulus: "IM:OUTP:STAT" picks the output source: 0 the direct DC level of
// "IM:OUTP:VOLT" (no AC), 1 the sine at "IM:OUTP:SINE:FREQ" (the start-up
// choice), 2 the square wave at "IM:OUTP:SQU:FREQ", whose fundamental is 4/pi
// of its level.  The generator makes its own frequency (ddsFrequency), which
// is what the frequency queries answer and what the physics uses.  "IM:OUTP:LEV
// ac dc" sets the output's RMS AC level and its DC level in volts.
//
// Readings ("IM:MEAS:VAL?"): the output drives the instrument's load, which
// draws "IM:INP:CURR:UNIT" amperes per volt from the device under test: a DC
// current of unit x DC level (the device's bias) and an AC current of unit x
// AC level.  The current amplitude is that AC current, the voltage amplitude
// the device's answer |Z| times it, and |Z| their ratio; so the current unit
// scales both amplitudes and, through the bias, moves a bias-dependent device.
// Phases in degrees: current 0 (the reference), voltage and impedance arg Z,
// in -180..180 or, with "IM:PHASE:STATE 1", 0..360.  "IM:AC:VALUE:PEAK 1"
// gives peak amplitudes (RMS x sqrt 2).  Each input has kGainRanges ranges;
// gain index g holds peaks up to kVoltTopRange (kCurrTopRange) / 10^g.  With
// "IM:INP:GAIN:AUTO 1" the module picks per input the most sensitive range
// with kAgcHeadroom to spare; otherwise a peak beyond the chosen range makes
// that amplitude and |Z| read kOverWord.  With noise above zero every
// amplitude gets relative Gaussian noise plus a floor of the range times
// noise x kFloorShare, is quantised to the range / kAdcCounts, and its phase
// scatters by the same relative amount in radians; a range too coarse for the
// signal thus reads visibly worse.  Noise 0 is the ideal module.
//
// Readiness: a measurement starts when an output or input setting changes
// ("IM:OUTP:...", "IM:INP:...") and when "IM:MEAS:VAL?" is read.  It takes
// max(sample cycle, kMeasurePeriods periods, kMinMeasureSeconds) times the
// time scale; "IM:MEAS:READY?" answers 1 once that time has passed (at once
// with a time scale of 0).  The sample cycle is "IM:INP:SAMP:CYCL" in ms or,
// with "IM:INP:SAMP:AUTO 1", the module's own choice of kAutoCyclePeriods
// periods within kAutoCycleMinMs..kAutoCycleMaxMs; "IM:INP:SAMP:CYCL?" answers
// the cycle in use, in ms.
//
// Calibration: "IM:CAL:DATA? t i g f" answers the working value (ERR for an
// address outside the tables), "IM:CAL:DATA t i g f v" writes it, "IM:CAL:SAVE"
// keeps the working tables in the state file when one is set.  A write to an
// address outside the tables, a value that is not a number, or a save that
// cannot be written is refused (Outcome::Refused): on TCP and the pty its
// acknowledgement reads "ERR" instead of "OK", over UDP no CONFIRM comes, so
// the host's send fails; GPIB has no acknowledgement to withhold.
#pragma once

#include <array>
#include <chrono>
#include <complex>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "sim/calibration.h"
#include "sim/dut.h"
#include "sim/model.h"

namespace sim {

// How one IM module is made: its device under test, noise, pace and tables.
struct ImSetup {
    DutSpec dut;
    double noise = 0.0; // relative, 0 = ideal
    double timeScale = 1.0; // measurement time factor, 0 = ready at once
    uint32_t seed = 1; // noise and initial calibration values
    std::string serial; // initial calibration values
    int calFreqMarkers = 8;
    int calGainMarkers = 4;
    std::string calStateFile; // empty: "IM:CAL:SAVE" keeps nothing beyond the run
};

class ImModel final : public Model {
public:
    static constexpr double kSampleClockHz = 50.0e6; // sample rates are this divided by an integer
    static constexpr int kMeasurePeriods = 2;
    static constexpr double kMinMeasureSeconds = 0.02;
    static constexpr int kAutoCyclePeriods = 4;
    static constexpr int kAutoCycleMinMs = 100;
    static constexpr int kAutoCycleMaxMs = 100000;
    static constexpr int kGainRanges = 5;
    static constexpr double kVoltTopRange = 10.0; // volts peak at gain 0
    static constexpr double kCurrTopRange = 10.0; // amperes peak at gain 0
    static constexpr double kAgcHeadroom = 0.8;
    static constexpr double kFloorShare = 0.01;
    static constexpr double kAdcCounts = 1048576.0; // effective steps of a range after averaging
    static constexpr const char* kOverWord = "OVER";

    explicit ImModel(const ImSetup& setup = {});
    Outcome handle(const Command& command, std::string& reply) override;

    std::optional<std::string> setting(std::string_view header) const;
    // Readings for "IM:MEAS:READY?" (then "1") and "IM:MEAS:VAL?" until cleared.
    void setReadings(const std::array<double, 6>& values) { readings_ = values; }
    void clearReadings() { readings_.reset(); }
    void setDut(const DutSpec& dut) { setup_.dut = dut; }
    void setResistance(double ohms) { setup_.dut = dutResistor(ohms); }
    uint8_t registerByte(uint16_t address) const { return registers_[address]; }
    void setRegisterByte(uint16_t address, uint8_t value) { registers_[address] = value; }

    // The measurement in progress: its length in seconds (time scale applied).
    double measurementSeconds() const { return measureSeconds_; }
    // The frequency of the stimulus in use (0 with the direct DC level).
    double stimulusHz() const;
    // The sample cycle in use, ms.
    int sampleCycleMs() const;
    CalTables& calibration() { return cal_; }
    const CalTables& calibration() const { return cal_; }
    // Takes the state file's tables when the file exists; false with a message
    // when it exists but cannot be read.
    bool loadCalibrationState(std::string* error);

private:
    using Clock = std::chrono::steady_clock;

    struct Channel {
        double amplitude = 0.0; // as reported (RMS or peak)
        double phase = 0.0; // degrees, before the phase mode's mapping
        bool over = false;
    };

    std::string keptOrInitial(std::string_view header) const;
    double number(std::string_view header, int word = 0) const;
    bool flag(std::string_view header) const { return number(header) == 1.0; }
    std::optional<std::string> answer(const Command& command);
    Outcome calibrationWrite(const Command& command);
    void restart();
    std::string measure();
    Channel sense(double rms, double phase, double topRange, std::string_view gainHeader);
    double gauss();

    ImSetup setup_;
    std::map<std::string, std::string, std::less<>> settings_;
    std::array<uint8_t, 0x10000> registers_{};
    CalTables cal_;
    std::optional<std::array<double, 6>> readings_;
    std::mt19937 rng_;
    Clock::time_point measureStart_;
    double measureSeconds_ = 0.0;
};

} // namespace sim
