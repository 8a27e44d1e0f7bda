#include "sim/load_model.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace sim {

namespace {

constexpr double kDelayMaxMs = 60000.0;
constexpr double kFreqMin = 0.1, kFreqMax = 1000.0; // Hz
constexpr double kDutyMin = 1.0, kDutyMax = 99.0; // percent
constexpr double kRegister = 65535.0;

constexpr const char* kModeNames[] = {"VOLT", "CURR", "RES", "POW"};
constexpr const char* kSourceNames[] = {"HOLD", "BUS", "EXTERNAL", "ETHERNET"};

// Initial MLEV and TLEV per mode: VOLT, CURR, RES, POW.
constexpr std::array<double, 4> kMainInitial = {10.0, 1.0, 10.0, 10.0};
constexpr std::array<double, 4> kTransientInitial = {11.0, 2.0, 5.0, 20.0};
constexpr double kStepTimeInitialMs = 1000.0;

constexpr ParamSpec kParams[] = {
    {"INPUT", true, 0, 1, 0},
    {"SHORT", true, 0, 1, 0},
    {"UTIL:RANGE", true, 0, 1, 0},
    {"MODE:RANGE", true, 0, 1, 1},
    {"SYST:SHORT:STATE", true, 0, 1, 1},
    {"SYST:EXT:CONTROL", true, 0, 1, 0},
    {"TRAN:MODE", true, 0, 2, 0},
    {"DUTY", true, kDutyMin, kDutyMax, 50},
    {"TRAN:PINT:TWID", true, 1, kDelayMaxMs, 1000},
    {"STAT:QUES", true, 0, kRegister, 0, Access::ReadOnly},
    {"STAT:OPER", true, 0, kRegister, 0, Access::ReadOnly},
    {"INP:PROT:CLE", true, 0, 0, 0, Access::CommandOnly},
    {"TRAN", true, 0, 1, 0},
    {"VOLT:PROT:STATE", true, 0, 1, 0},
    {"VOLT:PROT:OVER:DELAY", true, 0, kDelayMaxMs, 100},
    {"VOLT:PROT:UND:STATE", true, 0, 1, 0},
    {"VOLT:PROT:UND:DELAY", true, 0, kDelayMaxMs, 100},
    {"CURR:PROT:STATE", true, 0, 1, 0},
    {"CURR:PROT:OVER:DELAY", true, 0, kDelayMaxMs, 100},
    {"CURR:PROT:UND:STATE", true, 0, 1, 0},
    {"CURR:PROT:UND:DELAY", true, 0, kDelayMaxMs, 100},
    {"POW:PROT:STATE", true, 0, 1, 0},
    {"POW:PROT:OVER:DELAY", true, 0, kDelayMaxMs, 100},
    {"POW:PROT:UND:STATE", true, 0, 1, 0},
    {"POW:PROT:UND:DELAY", true, 0, kDelayMaxMs, 100},
    {"VOLT:VON:STATE", true, 0, 1, 0},
    {"SYST:OSC:PROT", true, 0, 1, 0},
    {"SYST:OSC:PROT:DELAY", true, 0, kDelayMaxMs, 100},
    {"MEAS:SENSE", true, 0, 1, 0},
    {"SYST:CROS:MOD:STAT", true, 0, 1, 0},
    {"SYST:CROS:RANG:STAT", true, 0, 1, 0},
    {"TRIG:DELAY", true, 0, kDelayMaxMs, 0},
    {"STEP:COUNT", true, 0, 65535, 1},
    {"UTIL:STEP:COUNT", true, 1, LoadModel::kStepCapacity, LoadModel::kStepCapacity},

    {"MEAS:TEMP", false, -40, 150, 0, Access::ReadOnly},
    {"MLEV", false, 0, 0, 0}, // per mode and range
    {"TLEV", false, 0, 0, 0},
    {"SLEW:POS", false, 0.1, 2.5, 1.0},
    {"SLEW:NEG", false, 0.1, 2.5, 1.0},
    {"FREQ", false, kFreqMin, kFreqMax, 10.0},
    {"TRAN:TWID", false, 0, 0, 0}, // follows FREQ and DUTY
    {"VOLT:PROT:OVER", false, 0, LoadModel::kMaxVolts * 1.1, LoadModel::kMaxVolts * 1.1},
    {"VOLT:PROT:UND", false, 0, LoadModel::kMaxVolts, 0},
    {"CURR:PROT:OVER", false, 0, LoadModel::kRangeAmps[1] * 1.1, LoadModel::kRangeAmps[1] * 1.1},
    {"CURR:PROT:UND", false, 0, LoadModel::kRangeAmps[1], 0},
    {"POW:PROT:OVER", false, 0, LoadModel::kRatedWatts * 1.1, LoadModel::kRatedWatts * 1.1},
    {"POW:PROT:UND", false, 0, LoadModel::kRatedWatts, 0},
    {"VOLT:VON", false, 0, LoadModel::kMaxVolts, 0.5},
};

enum class Quantity { Volts,
    Amps,
    Watts };

struct Check {
    const char* state;
    const char* level;
    const char* delay;
    Quantity quantity;
    bool over;
    unsigned bit;
};

constexpr Check kChecks[] = {
    {"VOLT:PROT:STATE", "VOLT:PROT:OVER", "VOLT:PROT:OVER:DELAY", Quantity::Volts, true, kLoadOverVoltage},
    {"VOLT:PROT:UND:STATE", "VOLT:PROT:UND", "VOLT:PROT:UND:DELAY", Quantity::Volts, false, kLoadUnderVoltage},
    {"CURR:PROT:STATE", "CURR:PROT:OVER", "CURR:PROT:OVER:DELAY", Quantity::Amps, true, kLoadOverCurrent},
    {"CURR:PROT:UND:STATE", "CURR:PROT:UND", "CURR:PROT:UND:DELAY", Quantity::Amps, false, kLoadUnderCurrent},
    {"POW:PROT:STATE", "POW:PROT:OVER", "POW:PROT:OVER:DELAY", Quantity::Watts, true, kLoadOverPower},
    {"POW:PROT:UND:STATE", "POW:PROT:UND", "POW:PROT:UND:DELAY", Quantity::Watts, false, kLoadUnderPower},
};

// Settings after which the transient starts over.
constexpr const char* kRestarting[] = {"TRAN:MODE", "FREQ", "DUTY", "TRAN:TWID",
    "TRAN:PINT:TWID", "STEP:COUNT", "UTIL:STEP:COUNT"};

std::optional<int> nameIndex(std::string_view word, std::span<const char* const> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        if (word.size() == name.size() &&
            std::equal(word.begin(), word.end(), name.begin(),
                [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) == b; }))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

// The smaller current at which a source E behind r delivers watts (the side
// of the curve where more current means more power); E / 2r beyond its peak.
double currentForPower(double e, double r, double watts) {
    const double disc = e * e - 4.0 * r * watts;
    if (disc <= 0.0) return e / (2.0 * r);
    return (e - std::sqrt(disc)) / (2.0 * r);
}

// Where in a repeating cycle of `period` whose first `high` is at the transient level t lies.
void cycle(Micros t, Micros elapsed, Micros period, Micros high, bool& transient, Micros& next) {
    if (high >= period) {
        transient = true;
        return;
    }
    const Micros k = elapsed % period;
    transient = k < high;
    next = t + (transient ? high - k : period - k);
}

} // namespace

const std::vector<StatusBit> kLoadQuestionableBits = {
    {0, "over-voltage trip (latched)"},
    {1, "over-current trip (latched)"},
    {2, "over-power trip (latched)"},
    {3, "under-voltage trip (latched)"},
    {4, "under-current trip (latched)"},
    {5, "under-power trip (latched)"},
    {6, "over-temperature trip (latched)"},
    {7, "oscillation trip (latched)"},
    {8, "waiting for the source to exceed VOLT:VON"},
    {9, "current held by the range"},
    {10, "power held by the rating"},
    {11, "heat sink above the warning temperature"},
    {13, "a protection is latched (any of bits 0-7; the alarm)"},
};

const std::vector<StatusBit> kLoadOperationBits = {
    {10, "input on"},
    {11, "short on"},
    {12, "transient running"},
    {13, "step list running"},
    {14, "at the transient level or a step entry"},
    {15, "pulse mode waiting for a trigger"},
};

LoadModel::LoadModel(double sourceVolts, double sourceOhms, double ambientCelsius, ModelClock clock)
    : ScpiModel(kParams, std::move(clock)), sourceVolts_(sourceVolts), sourceOhms_(std::max(sourceOhms, 1e-6)),
      mainLevel_(kMainInitial), transientLevel_(kTransientInitial) {
    thermal_.ambient = thermal_.celsius = ambientCelsius;
    thermal_.kelvinPerWatt = kKelvinPerWatt;
    thermal_.tauSeconds = kThermalTauSeconds;
    for (int m = 0; m < 4; ++m) {
        stepValues_[m].assign(kMaxListCapacity, kMainInitial[m]);
        stepTimes_[m].assign(kMaxListCapacity, kStepTimeInitialMs);
    }
    holdingSince_.fill(kNever);
    tranStart_ = now();
}

int LoadModel::capacity() const {
    return faults().stepCapacity > 0 ? std::min(faults().stepCapacity, kMaxListCapacity) : kStepCapacity;
}

Limits LoadModel::levelLimits(int mode) const {
    switch (mode) {
    case Volt:
        return {0.0, kMaxVolts};
    case Curr:
        return {0.0, on("UTIL:RANGE") ? kRangeAmps[1] : kRangeAmps[static_cast<std::size_t>(stored("MODE:RANGE"))]};
    case Res:
        return {kMinOhms, kMaxOhms};
    default:
        return {0.0, kRatedWatts};
    }
}

Micros LoadModel::periodMicros() const { return std::llround(1e6 / stored("FREQ")); }

Micros LoadModel::widthMicros() const {
    return std::max<Micros>(1, std::llround(static_cast<double>(periodMicros()) * stored("DUTY") / 100.0));
}

Limits LoadModel::limits(const ParamSpec& p) const {
    const std::string_view h = p.header;
    if (h == "MLEV" || h == "TLEV") return levelLimits(mode_);
    if (h == "TRAN:TWID") {
        const double share = stored("DUTY") / 100.0;
        return {share * 1000.0 / kFreqMax, share * 1000.0 / kFreqMin};
    }
    if (h == "UTIL:STEP:COUNT") return {1.0, static_cast<double>(capacity())};
    return {p.lo, p.hi};
}

double LoadModel::read(const ParamSpec& p) const {
    const std::string_view h = p.header;
    if (h == "MLEV") return mainLevel_[mode_];
    if (h == "TLEV") return transientLevel_[mode_];
    if (h == "TRAN:TWID") return stored("DUTY") * 10.0 / stored("FREQ");
    if (h == "MODE:RANGE") return point(now()).range;
    if (h == "UTIL:STEP:COUNT") return stepsInUse();
    if (h == "STAT:QUES") return questionable();
    if (h == "STAT:OPER") return operation();
    if (h == "MEAS:TEMP") return thermal_.celsius;
    return stored(h);
}

bool LoadModel::write(const ParamSpec& p, double value) {
    const std::string_view h = p.header;
    const bool was = on(h);
    if (h == "MLEV") {
        mainLevel_[mode_] = value;
    } else if (h == "TLEV") {
        transientLevel_[mode_] = value;
    } else if (h == "TRAN:TWID") {
        // the width keeps the duty: the period follows
        store("FREQ", std::clamp(stored("DUTY") * 10.0 / value, kFreqMin, kFreqMax));
    } else if (h == "INPUT") {
        if (value != 0.0 && latched_ != 0) return false;
        store(h, value);
    } else if (h == "SHORT") {
        if (value != 0.0 && (!on("SYST:SHORT:STATE") || on("SYST:EXT:CONTROL"))) return false;
        store(h, value);
    } else if (h == "MODE:RANGE") {
        if (on("UTIL:RANGE")) return false;
        holdToRange(static_cast<int>(value));
    } else if (h == "UTIL:RANGE") {
        // leaving the automatic choice keeps the range it had picked
        const int picked = point(now()).range;
        store(h, value);
        if (value == 0.0 && was) holdToRange(picked);
    } else {
        store(h, value);
    }
    if ((h == "SYST:SHORT:STATE" && value == 0.0) || (h == "SYST:EXT:CONTROL" && value != 0.0)) store("SHORT", 0);
    const bool turnedOn = (h == "INPUT" || h == "TRAN") && !was && value != 0.0;
    if (turnedOn || std::find(std::begin(kRestarting), std::end(kRestarting), h) != std::end(kRestarting))
        restartTransient();
    settle();
    return true;
}

void LoadModel::holdToRange(int range) {
    store("MODE:RANGE", range);
    const double top = kRangeAmps[static_cast<std::size_t>(range)];
    mainLevel_[Curr] = std::min(mainLevel_[Curr], top);
    transientLevel_[Curr] = std::min(transientLevel_[Curr], top);
    for (double& v : stepValues_[Curr]) v = std::min(v, top);
}

void LoadModel::run(const ParamSpec&) {
    // INP:PROT:CLE, the only command-only parameter
    latched_ = 0;
    holdingSince_.fill(kNever);
    settle();
}

Outcome LoadModel::extra(const Command& c, std::string& reply) {
    const std::string& h = c.header;
    if (h == "MODE?" || h == "TRIG:SOURCE?") {
        if (!c.args.empty()) return Outcome::Refused;
        reply = h == "MODE?" ? kModeNames[mode_] : kSourceNames[triggerSource_];
        return Outcome::Done;
    }
    if (h == "MODE" || h == "TRIG:SOURCE") {
        std::string_view rest = c.args;
        const std::string_view word = nextWord(rest);
        const auto index = h == "MODE" ? nameIndex(word, kModeNames) : nameIndex(word, kSourceNames);
        if (!index || !rest.empty()) return Outcome::Refused;
        if (h == "MODE") {
            mode_ = *index;
            restartTransient();
        } else {
            triggerSource_ = *index;
            pulseAt_ = kNever;
        }
        settle();
        return Outcome::Done;
    }
    if (h == "*TRG") {
        if (!c.args.empty() || (triggerSource_ != Bus && triggerSource_ != Ethernet)) return Outcome::Refused;
        pulseAt_ = now() + static_cast<Micros>(stored("TRIG:DELAY")) * kMicrosPerMs;
        settle();
        return Outcome::Done;
    }
    if (h == "MEAS:SUMM?") {
        if (!c.args.empty()) return Outcome::Refused;
        const Point p = point(now());
        const double ohms = p.amps > 0.0 ? p.volts / p.amps : kOpenCircuitOhms;
        reply = formatSignificant(p.volts, 6) + ' ' + formatSignificant(p.amps, 6) + ' ' +
            formatSignificant(p.watts, 6) + ' ' + formatSignificant(ohms, 6);
        return Outcome::Done;
    }
    if (h.starts_with("STEP:") && h != "STEP:COUNT" && h != "STEP:COUNT?") return stepCommand(c, reply);
    return Outcome::Unknown;
}

Outcome LoadModel::stepCommand(const Command& c, std::string& reply) {
    const std::string_view key = std::string_view(c.header).substr(0, c.header.size() - (c.query ? 1 : 0));
    std::string_view name = key.substr(5); // after "STEP:"
    const bool time = name.ends_with(":TIME");
    if (time) name.remove_suffix(5);
    const auto mode = nameIndex(name, kModeNames);
    if (!mode) return Outcome::Refused;
    auto m = static_cast<std::size_t>(*mode);
    if (time) return entry(c, key, stepTimes_[m], capacity(), {0.0, kDelayMaxMs}, true, reply);
    return entry(c, key, stepValues_[m], capacity(), levelLimits(*mode), false, reply);
}

LoadModel::Phase LoadModel::phase(Micros t) const {
    Phase ph;
    ph.level = mainLevel_[mode_];
    if (!on("INPUT") || !on("TRAN")) return ph;
    const Micros elapsed = t - tranStart_;
    const auto mode = static_cast<TransientMode>(stored("TRAN:MODE"));
    if (mode == Continuous) {
        cycle(t, elapsed, periodMicros(), widthMicros(), ph.transientLevel, ph.next);
    } else if (mode == Pulse && triggerSource_ == Hold) {
        cycle(t, elapsed, static_cast<Micros>(stored("TRAN:PINT:TWID")) * kMicrosPerMs, widthMicros(),
            ph.transientLevel, ph.next);
    } else if (mode == Pulse) {
        const Micros end = pulseAt_ == kNever ? kNever : pulseAt_ + widthMicros();
        ph.transientLevel = t >= pulseAt_ && t < end;
        ph.awaitingTrigger = pulseAt_ == kNever || t >= end;
        ph.next = t < pulseAt_ ? pulseAt_ : t < end ? end
                                                    : kNever;
    } else {
        const auto& times = stepTimes_[static_cast<std::size_t>(mode_)];
        const auto count = static_cast<std::size_t>(stepsInUse());
        Micros total = 0;
        for (std::size_t i = 0; i < count; ++i) total += static_cast<Micros>(times[i]) * kMicrosPerMs;
        const auto passes = static_cast<Micros>(stored("STEP:COUNT"));
        if (total == 0 || (passes > 0 && elapsed >= passes * total)) return ph;
        Micros into = elapsed % total;
        for (std::size_t i = 0; i < count; ++i) {
            const Micros dwell = static_cast<Micros>(times[i]) * kMicrosPerMs;
            if (into < dwell) {
                ph.level = stepValues_[static_cast<std::size_t>(mode_)][i];
                ph.transientLevel = ph.listRunning = true;
                ph.next = t + dwell - into;
                break;
            }
            into -= dwell;
        }
        return ph;
    }
    if (ph.transientLevel) ph.level = transientLevel_[mode_];
    return ph;
}

LoadModel::Point LoadModel::operate(double level, int range) const {
    const double e = sourceVolts_, r = sourceOhms_;
    Point p;
    p.range = range;
    double amps = 0.0;
    if (on("VOLT:VON:STATE") && e <= stored("VOLT:VON")) {
        p.vonWait = true;
    } else if (on("SHORT")) {
        amps = kRangeAmps[static_cast<std::size_t>(range)];
    } else {
        switch (mode_) {
        case Volt:
            amps = level < e ? (e - level) / r : 0.0;
            break;
        case Curr:
            amps = level;
            break;
        case Res:
            amps = e / (r + level);
            break;
        default:
            amps = currentForPower(e, r, level);
            break;
        }
    }
    const double top = kRangeAmps[static_cast<std::size_t>(range)];
    if (amps > top) {
        amps = top;
        p.currentLimit = true;
    }
    if ((e - r * amps) * amps > kRatedWatts) {
        amps = currentForPower(e, r, kRatedWatts);
        p.powerLimit = true;
    }
    p.amps = std::clamp(amps, 0.0, std::max(e, 0.0) / r);
    p.volts = e - r * p.amps;
    p.watts = p.volts * p.amps;
    return p;
}

int LoadModel::rangeFor(double level) const {
    if (!on("UTIL:RANGE")) return static_cast<int>(stored("MODE:RANGE"));
    return operate(level, 1).amps <= kRangeAmps[0] ? 0 : 1;
}

LoadModel::Point LoadModel::point(Micros t) const {
    const Phase ph = phase(t);
    const int range = rangeFor(ph.level);
    if (!on("INPUT")) {
        Point idle;
        idle.range = range;
        idle.volts = sourceVolts_;
        return idle;
    }
    return operate(ph.level, range);
}

// Evaluates the protection at now(): starts and ends the delays, trips what
// has held long enough.  A trip turns the input off, so the point is taken again.
void LoadModel::settle() {
    for (int pass = 0; pass < 2; ++pass) {
        const Point p = point(now());
        const bool input = on("INPUT");
        unsigned trips = 0;
        for (std::size_t i = 0; i < std::size(kChecks); ++i) {
            const Check& k = kChecks[i];
            const double value = k.quantity == Quantity::Volts ? p.volts : k.quantity == Quantity::Amps ? p.amps
                                                                                                        : p.watts;
            const double level = stored(k.level);
            const bool holds = on(k.state) && (k.over || input) && (k.over ? value > level : value < level);
            if (!holds) {
                holdingSince_[i] = kNever;
                continue;
            }
            if (holdingSince_[i] == kNever) holdingSince_[i] = now();
            if (now() - holdingSince_[i] >= static_cast<Micros>(stored(k.delay)) * kMicrosPerMs) trips |= k.bit;
        }
        if (thermal_.celsius > kOverTempC - 1e-9) trips |= kLoadOverTemperature;
        latched_ |= trips;
        if (trips == 0 || !input) return;
        store("INPUT", 0);
    }
}

void LoadModel::advance(Micros to) {
    settle();
    while (now() < to) {
        const Point p = point(now());
        Micros next = std::min(to, phase(now()).next);
        for (std::size_t i = 0; i < std::size(kChecks); ++i) {
            // a delay still running; one that has run out has tripped already
            if (holdingSince_[i] == kNever) continue;
            const Micros due = holdingSince_[i] + static_cast<Micros>(stored(kChecks[i].delay)) * kMicrosPerMs;
            if (due > now()) next = std::min(next, due);
        }
        const Micros hot = thermal_.until(p.watts, kOverTempC);
        if (hot != kNever) next = std::min(next, now() + hot);
        next = std::max(next, now() + 1);
        thermal_.run(p.watts, next - now());
        setNow(next);
        settle();
    }
}

unsigned LoadModel::questionable() const {
    const Point p = point(now());
    unsigned bits = latched_;
    if (p.vonWait && on("INPUT")) bits |= kLoadVonWait;
    if (p.currentLimit && on("INPUT")) bits |= kLoadCurrentLimit;
    if (p.powerLimit && on("INPUT")) bits |= kLoadPowerLimit;
    if (thermal_.celsius > kWarnTempC) bits |= kLoadHot;
    if (latched_ & kLoadTrips) bits |= kLoadProtection;
    return (bits | static_cast<unsigned>(faults().quesOn)) & 0xFFFFu;
}

unsigned LoadModel::operation() const {
    const Phase ph = phase(now());
    const bool input = on("INPUT");
    unsigned bits = 0;
    if (input) bits |= kLoadInputOn;
    if (on("SHORT")) bits |= kLoadShortOn;
    if (input && on("TRAN")) bits |= kLoadTransientRunning;
    if (ph.listRunning) bits |= kLoadListRunning;
    if (ph.transientLevel) bits |= kLoadAtTransientLevel;
    if (ph.awaitingTrigger) bits |= kLoadAwaitingTrigger;
    return (bits | static_cast<unsigned>(faults().operOn)) & 0xFFFFu;
}

} // namespace sim
