#include "sim/supply_model.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr ParamSpec kParams[] = {
    {"OUTP", true, 0, 1, 0},
    {"STAT:QUES", true, 0, 65535, 0, Access::ReadOnly},
    {"STAT:QUES:EXT", true, 0, 65535, 0, Access::ReadOnly},
    {"OUTP:PROT:CLE", true, 0, 0, 0, Access::CommandOnly},
    {"VOLT:PROT:STAT", true, 0, 1, 1},
    {"UND:PROT:STAT", true, 0, 1, 0},
    {"CURR:PROT:STAT", true, 0, 1, 1},
    {"LIST:COUNT", true, 0, 65535, 1},
    {"LIST:TIME:UNIT", true, 0, 1, 0},
    {"LIST:CURR:STAT", true, 0, 1, 0},
    {"LIST:VOLT:STAT", true, 0, 1, 0},

    {"MEAS:VOLT", false, 0, SupplyModel::kMaxVolts * 1.1, 0, Access::ReadOnly},
    {"MEAS:CURR", false, 0, SupplyModel::kMaxAmps * 1.1, 0, Access::ReadOnly},
    {"VSET", false, 0, SupplyModel::kMaxVolts, 5.0},
    {"ISET", false, 0, SupplyModel::kMaxAmps, 1.0},
    {"VOLT:PROT", false, 0, SupplyModel::kMaxVolts * 1.1, SupplyModel::kMaxVolts * 1.1},
    {"VOLT:PROT:UND", false, 0, SupplyModel::kMaxVolts, 0},
    {"CURR:PROT", false, 0, SupplyModel::kMaxAmps * 1.1, SupplyModel::kMaxAmps * 1.1},
};

// Per list: its header, state, set point and the set point's limits.
struct ListSpec {
    const char* header;
    const char* state;
    const char* setting;
    double top;
};

constexpr ListSpec kLists[] = {
    {"LIST:VOLT", "LIST:VOLT:STAT", "VSET", SupplyModel::kMaxVolts},
    {"LIST:CURR", "LIST:CURR:STAT", "ISET", SupplyModel::kMaxAmps},
};

} // namespace

const std::vector<StatusBit> kSupplyQuestionableBits = {
    {0, "over-voltage trip (latched)"},
    {1, "over-current trip (latched)"},
    {2, "constant current (output on)"},
    {3, "constant voltage (output on)"},
    {4, "over-temperature trip (latched)"},
    {5, "output on"},
    {9, "under-voltage trip (latched)"},
    {10, "a list is running"},
    {12, "output held at the rated power"},
    {15, "STAT:QUES:EXT has a bit set"},
};

const std::vector<StatusBit> kSupplyExtendedBits = {
    {0, "above the warning temperature"},
    {1, "over-voltage armed below VSET"},
    {2, "over-current armed below ISET"},
    {3, "under-voltage armed above VSET"},
    {5, "a trip ended a running list (latched)"},
    {15, "a trip is latched"},
};

SupplyModel::SupplyModel(double loadOhms, double ambientCelsius, ModelClock clock)
    : ScpiModel(kParams, std::move(clock)), loadOhms_(std::max(loadOhms, 1e-6)) {
    thermal_.ambient = thermal_.celsius = ambientCelsius;
    thermal_.kelvinPerWatt = kKelvinPerWatt;
    thermal_.tauSeconds = kThermalTauSeconds;
    for (auto& v : listValues_) v.assign(kMaxListCapacity, 0.0);
    for (auto& t : listTimes_) t.assign(kMaxListCapacity, 0.0);
    listStart_.fill(now());
}

int SupplyModel::capacity() const {
    const int asked = faults().listCapacity;
    return asked == 0 ? kListCapacity : std::clamp(asked, 0, kMaxListCapacity);
}

double SupplyModel::read(const ParamSpec& p) const {
    const std::string_view h = p.header;
    if (h == "MEAS:VOLT") return point(now()).volts;
    if (h == "MEAS:CURR") return point(now()).amps;
    if (h == "STAT:QUES") return questionable();
    if (h == "STAT:QUES:EXT") return extended();
    return stored(h);
}

bool SupplyModel::write(const ParamSpec& p, double value) {
    const std::string_view h = p.header;
    const bool was = on(h);
    if (h == "OUTP" && value != 0.0 && latched_ != 0) return false;
    store(h, value);
    const bool turnedOn = !was && value != 0.0;
    const bool restartBoth = (h == "OUTP" && turnedOn) || h == "LIST:COUNT" || h == "LIST:TIME:UNIT";
    for (std::size_t k = 0; k < 2; ++k)
        if (restartBoth || (h == kLists[k].state && turnedOn)) listStart_[k] = now();
    settle();
    return true;
}

void SupplyModel::run(const ParamSpec&) {
    // OUTP:PROT:CLE, the only command-only parameter
    latched_ = 0;
    listAborted_ = false;
    settle();
}

Outcome SupplyModel::extra(const Command& c, std::string& reply) {
    if (!c.header.starts_with("LIST:")) return Outcome::Unknown;
    const std::string_view key = std::string_view(c.header).substr(0, c.header.size() - (c.query ? 1 : 0));
    for (std::size_t k = 0; k < 2; ++k) {
        const std::string_view name = kLists[k].header;
        if (key == name) return entry(c, key, listValues_[k], capacity(), {0.0, kLists[k].top}, false, reply);
        if (key.starts_with(name) && key.substr(name.size()) == ":TIME")
            return entry(c, key, listTimes_[k], capacity(), {0.0, kMaxDwell}, true, reply);
    }
    return Outcome::Unknown;
}

SupplyModel::Walk SupplyModel::walk(List list, Micros t) const {
    const auto k = static_cast<std::size_t>(list);
    Walk w;
    w.value = stored(kLists[k].setting);
    if (!on("OUTP") || !on(kLists[k].state)) return w;
    const Micros unit = on("LIST:TIME:UNIT") ? 1000 * kMicrosPerMs : kMicrosPerMs;
    const auto& times = listTimes_[k];
    const auto entries = static_cast<std::size_t>(capacity());
    Micros total = 0;
    std::size_t used = 0;
    while (used < entries && times[used] > 0.0) total += static_cast<Micros>(times[used++]) * unit;
    const Micros elapsed = t - listStart_[k];
    const auto passes = static_cast<Micros>(stored("LIST:COUNT"));
    if (total == 0 || (passes > 0 && elapsed >= passes * total)) return w;
    Micros into = elapsed % total;
    for (std::size_t i = 0; i < used; ++i) {
        const Micros dwell = static_cast<Micros>(times[i]) * unit;
        if (into < dwell) {
            w.running = true;
            w.value = listValues_[k][i];
            w.next = t + dwell - into;
            break;
        }
        into -= dwell;
    }
    return w;
}

SupplyModel::Point SupplyModel::point(Micros t) const {
    Point p;
    if (!on("OUTP")) return p;
    const double volts = walk(VoltList, t).value, amps = walk(CurrList, t).value, r = loadOhms_;
    if (volts / r <= amps) {
        p.volts = volts;
        p.amps = volts / r;
        p.cv = true;
    } else {
        p.amps = amps;
        p.volts = amps * r;
        p.cc = true;
    }
    if (p.volts * p.amps > kRatedWatts) {
        p.volts = std::sqrt(kRatedWatts * r);
        p.amps = p.volts / r;
        p.cv = p.cc = false;
        p.powerLimit = true;
    }
    return p;
}

// Trips what holds at now(); a trip turns the output off and ends its lists.
void SupplyModel::settle() {
    const Point p = point(now());
    const bool output = on("OUTP");
    unsigned trips = 0;
    if (on("VOLT:PROT:STAT") && p.volts > stored("VOLT:PROT")) trips |= kSupplyOverVoltage;
    if (on("UND:PROT:STAT") && output && p.volts < stored("VOLT:PROT:UND")) trips |= kSupplyUnderVoltage;
    if (on("CURR:PROT:STAT") && p.amps > stored("CURR:PROT")) trips |= kSupplyOverCurrent;
    if (thermal_.celsius > kOverTempC - 1e-9) trips |= kSupplyOverTemperature;
    latched_ |= trips;
    if (trips == 0 || !output) return;
    if (walk(VoltList, now()).running || walk(CurrList, now()).running) listAborted_ = true;
    store("OUTP", 0);
}

void SupplyModel::advance(Micros to) {
    settle();
    while (now() < to) {
        const Point p = point(now());
        const double watts = kIdleWatts + kLossShare * p.volts * p.amps;
        Micros next = std::min({to, walk(VoltList, now()).next, walk(CurrList, now()).next});
        const Micros hot = thermal_.until(watts, kOverTempC);
        if (hot != kNever) next = std::min(next, now() + hot);
        next = std::max(next, now() + 1);
        thermal_.run(watts, next - now());
        setNow(next);
        settle();
    }
}

unsigned SupplyModel::questionable() const {
    const Point p = point(now());
    unsigned bits = latched_;
    if (on("OUTP")) bits |= kSupplyOutputOn;
    if (p.cv) bits |= kSupplyConstantVoltage;
    if (p.cc) bits |= kSupplyConstantCurrent;
    if (p.powerLimit) bits |= kSupplyPowerLimit;
    if (walk(VoltList, now()).running || walk(CurrList, now()).running) bits |= kSupplyListRunning;
    if (extended() != 0) bits |= kSupplyExtended;
    return (bits | static_cast<unsigned>(faults().quesOn)) & 0xFFFFu;
}

unsigned SupplyModel::extended() const {
    unsigned bits = 0;
    if (thermal_.celsius > kWarnTempC) bits |= kSupplyHot;
    if (on("VOLT:PROT:STAT") && stored("VSET") > stored("VOLT:PROT")) bits |= kSupplyOverVoltageSet;
    if (on("CURR:PROT:STAT") && stored("ISET") > stored("CURR:PROT")) bits |= kSupplyOverCurrentSet;
    if (on("UND:PROT:STAT") && stored("VSET") < stored("VOLT:PROT:UND")) bits |= kSupplyUnderVoltageSet;
    if (listAborted_) bits |= kSupplyListAborted;
    if (latched_ != 0) bits |= kSupplyProtection;
    return (bits | static_cast<unsigned>(faults().extOn)) & 0xFFFFu;
}

} // namespace sim
