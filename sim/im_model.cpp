#include "sim/im_model.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/sim.h"

namespace sim {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kDegPerRad = 180.0 / kPi;

// Argument shapes of the vocabulary, in the form the host formats them.
enum class Args {
    None,
    Int, // "%d"
    Float, // "%f"
    Float2, // "%f %f"
    Hex4, // "%04X"
    Hex4Hex2, // "%04X %02X"
    Hex4Hex4, // "%04X %04X"
    Int4, // "%d %d %d %d"
    Int4Text, // "%d %d %d %d %s"
};

struct Setting {
    const char* header;
    Args args;
    const char* initial; // kept value before the first setting
    long lo = 0, hi = -1; // allowed range of an Int argument when lo <= hi
};

// Every setting of the module.  Each can also be asked for with "<header>?".
constexpr Setting kSettings[] = {
    {"MIOB", Args::Hex4Hex2, ""},
    {"MIOW", Args::Hex4Hex4, ""},
    {"IM:MODE", Args::Int, "0"},
    {"IM:OUTP:SINE:FREQ", Args::Float, "1000.000000"},
    {"IM:OUTP:SQU:FREQ", Args::Float, "1000.000000"},
    {"IM:OUTP:VOLT", Args::Float, "0.000000"},
    {"IM:OUTP:STAT", Args::Int, "1", 0, 2}, // the sine is on from power-up
    {"IM:OUTP:LEV", Args::Float2, "0.000000 0.000000"},
    {"IM:INP:SAMP:RATE", Args::Float, "100000.000000"},
    {"IM:INP:SAMP:COUN", Args::Int, "1024"},
    {"IM:INP:SAMP:CYCL", Args::Int, "1000"},
    {"IM:INP:SAMP:AUTO", Args::Int, "0", 0, 1},
    {"IM:INP:CURR:UNIT", Args::Float, "1.000000"},
    {"IM:INP:DL", Args::Int, "0", 0, 1},
    {"IM:INP:VOLT:STAT", Args::Int, "0", 0, 2},
    {"IM:INP:CURR:STAT", Args::Int, "0", 0, 2},
    {"IM:INP:VOLT:GAIN", Args::Int, "0"},
    {"IM:INP:CURR:GAIN", Args::Int, "0"},
    {"IM:INP:CURR:DL", Args::Int, "0", 0, 1},
    {"IM:INP:GAIN:AUTO", Args::Int, "0", 0, 1},
    {"IM:INP:AUTO:ZERO", Args::Int, "0", 0, 1},
    {"IM:PHASE:STATE", Args::Int, "0", 0, 1},
    {"IM:AC:VALUE:PEAK", Args::Int, "0", 0, 1},
    {"IM:CAL:DATA", Args::Int4Text, ""},
    {"IM:CAL:SAVE", Args::None, ""},
};

// Queries of their own, without arguments.
constexpr const char* kPlainQueries[] = {
    "IM:MEAS:READY?",
    "IM:MEAS:VAL?",
    "IM:OUTP:SINE:FREQ?",
    "IM:OUTP:SQU:FREQ?",
    "IM:OUTP:AMPL?",
    "IM:INP:SAMP:RATE?",
    "IM:INP:CURR:UNIT?",
    "IM:CAL:FREQ:COUNT?",
    "IM:CAL:GAIN:COUNT?",
};

const Setting* findSetting(std::string_view header) {
    for (const Setting& s : kSettings)
        if (header == s.header) return &s;
    return nullptr;
}

bool intFits(std::string_view word, long lo, long hi) {
    auto v = parseInteger(word);
    if (!v) return false;
    return lo > hi || (*v >= lo && *v <= hi);
}

bool floatFits(std::string_view word) { return parseDouble(word).has_value(); }

// True when args has the shape; the words are checked strictly so a host that
// formats a number the wrong way (a decimal comma, a missing zero pad) is seen.
bool argsFit(Args shape, std::string_view args, long lo, long hi) {
    std::string_view rest = args;
    auto word = [&] { return nextWord(rest); };
    bool ok = true;
    switch (shape) {
    case Args::None:
        break;
    case Args::Int:
        ok = intFits(word(), lo, hi);
        break;
    case Args::Float:
        ok = floatFits(word());
        break;
    case Args::Float2:
        ok = floatFits(word()) && floatFits(word());
        break;
    case Args::Hex4:
        ok = parseHex(word(), 4).has_value();
        break;
    case Args::Hex4Hex2:
        ok = parseHex(word(), 4) && parseHex(word(), 2);
        break;
    case Args::Hex4Hex4:
        ok = parseHex(word(), 4) && parseHex(word(), 4);
        break;
    case Args::Int4:
    case Args::Int4Text:
        for (int i = 0; i < 4 && ok; ++i) ok = intFits(word(), 0, 1 << 20);
        if (ok && shape == Args::Int4Text) return !trim(rest).empty();
        break;
    }
    return ok && trim(rest).empty();
}

// The four integers of a calibration address; nullopt unless all four are there.
std::optional<CalAddress> calAddress(std::string_view& rest) {
    CalAddress a{};
    for (int& k : a) {
        const auto v = parseInteger(nextWord(rest));
        if (!v || *v < -1000000 || *v > 1000000) return std::nullopt;
        k = static_cast<int>(*v);
    }
    return a;
}

std::string hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

} // namespace

double ddsFrequency(double hz) {
    if (!(hz > 0.0)) return 0.0;
    return std::round(hz / kDdsStepHz) * kDdsStepHz;
}

ImModel::ImModel(const ImSetup& setup)
    : setup_(setup), cal_(setup.calFreqMarkers, setup.calGainMarkers, calIdentity(setup.seed, setup.serial)),
      rng_(setup.seed) {
    restart();
}

bool ImModel::loadCalibrationState(std::string* error) {
    const std::string& path = setup_.calStateFile;
    if (path.empty() || ::access(path.c_str(), F_OK) != 0) return true;
    return cal_.load(path, error);
}

std::optional<std::string> ImModel::setting(std::string_view header) const {
    auto it = settings_.find(header);
    if (it == settings_.end()) return std::nullopt;
    return it->second;
}

std::string ImModel::keptOrInitial(std::string_view header) const {
    if (auto kept = setting(header)) return *kept;
    const Setting* s = findSetting(header);
    return s ? s->initial : "";
}

double ImModel::number(std::string_view header, int word) const {
    std::string text = keptOrInitial(header);
    std::string_view rest = text;
    std::string_view w;
    for (int i = 0; i <= word; ++i) w = nextWord(rest);
    return parseDouble(w).value_or(0.0);
}

double ImModel::stimulusHz() const {
    const double source = number("IM:OUTP:STAT");
    if (source == 1.0) return ddsFrequency(number("IM:OUTP:SINE:FREQ"));
    if (source == 2.0) return ddsFrequency(number("IM:OUTP:SQU:FREQ"));
    return 0.0;
}

int ImModel::sampleCycleMs() const {
    if (flag("IM:INP:SAMP:AUTO")) {
        const double hz = stimulusHz();
        if (!(hz > 0.0)) return kAutoCycleMinMs;
        const double ms = std::ceil(kAutoCyclePeriods * 1000.0 / hz);
        return static_cast<int>(std::clamp(ms, double{kAutoCycleMinMs}, double{kAutoCycleMaxMs}));
    }
    return static_cast<int>(std::max(0.0, number("IM:INP:SAMP:CYCL")));
}

void ImModel::restart() {
    const double hz = stimulusHz();
    double seconds = std::max(sampleCycleMs() / 1000.0, kMinMeasureSeconds);
    if (hz > 0.0) seconds = std::max(seconds, kMeasurePeriods / hz);
    measureSeconds_ = seconds * std::max(0.0, setup_.timeScale);
    measureStart_ = Clock::now();
}

Outcome ImModel::handle(const Command& c, std::string& reply) {
    if (!c.query) {
        const Setting* s = findSetting(c.header);
        if (!s) return Outcome::Unknown;
        if (c.header == "IM:CAL:DATA") return calibrationWrite(c);
        if (c.header == "IM:CAL:SAVE") {
            if (!c.args.empty()) return Outcome::Refused;
            std::string error;
            if (!setup_.calStateFile.empty() && !cal_.save(setup_.calStateFile, &error)) return Outcome::Refused;
            settings_[c.header] = "";
            return Outcome::Done;
        }
        if (!argsFit(s->args, c.args, s->lo, s->hi)) return Outcome::Invalid;
        std::string_view rest = c.args;
        if (s->args == Args::Hex4Hex2) {
            const unsigned address = *parseHex(nextWord(rest), 4);
            registers_[address] = static_cast<uint8_t>(*parseHex(nextWord(rest), 2));
        } else if (s->args == Args::Hex4Hex4) {
            const unsigned address = *parseHex(nextWord(rest), 4);
            const unsigned value = *parseHex(nextWord(rest), 4);
            registers_[address] = static_cast<uint8_t>(value & 0xFF);
            registers_[(address + 1) & 0xFFFF] = static_cast<uint8_t>(value >> 8);
        }
        settings_[c.header] = std::string(c.args);
        // a changed stimulus or front end makes the reading under way worthless
        if (c.header.starts_with("IM:OUTP:") || c.header.starts_with("IM:INP:")) restart();
        return Outcome::Done;
    }
    auto a = answer(c);
    if (!a) return Outcome::Unknown;
    if (a->empty()) return Outcome::Invalid;
    reply = std::move(*a);
    return Outcome::Done;
}

// A calibration value goes into the working tables or is refused, so that a
// host loading a calibration file learns of a value the module did not take.
Outcome ImModel::calibrationWrite(const Command& c) {
    std::string_view rest = c.args;
    const auto address = calAddress(rest);
    if (!address || !cal_.write(*address, rest)) return Outcome::Refused;
    settings_[c.header] = std::string(c.args);
    return Outcome::Done;
}

// The reply to a query: nullopt for a query outside the vocabulary, an empty
// text for one whose arguments do not fit.
std::optional<std::string> ImModel::answer(const Command& c) {
    const std::string_view h = c.header;
    const std::string_view args = c.args;
    if (h == "MIOB?" || h == "MIOW?") {
        if (!argsFit(Args::Hex4, args, 0, -1)) return std::string();
        const unsigned address = *parseHex(args, 4);
        if (h == "MIOB?") return hex(registers_[address], 2);
        return hex(static_cast<unsigned>(registers_[address] | registers_[(address + 1) & 0xFFFF] << 8), 4);
    }
    if (h == "IM:CAL:DATA?") {
        std::string_view rest = args;
        const auto address = calAddress(rest);
        if (!address || !rest.empty()) return std::string();
        return cal_.value(*address).value_or(std::string());
    }
    if (!args.empty()) {
        // the remaining queries take no arguments
        const std::string bare(h.substr(0, h.size() - 1));
        bool known = findSetting(bare) != nullptr;
        for (const char* q : kPlainQueries) known = known || h == q;
        return known ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    if (h == "IM:MEAS:READY?") {
        if (readings_) return std::string("1");
        const std::chrono::duration<double> elapsed = Clock::now() - measureStart_;
        return std::string(elapsed.count() >= measureSeconds_ ? "1" : "0");
    }
    if (h == "IM:MEAS:VAL?") {
        std::string out;
        if (readings_) {
            for (std::size_t i = 0; i < readings_->size(); ++i) {
                if (i) out += ' ';
                out += (i % 2 == 0) ? formatGeneral((*readings_)[i], 7) : formatFixed((*readings_)[i], 3);
            }
        } else {
            out = measure();
        }
        restart();
        return out;
    }
    if (h == "IM:OUTP:SINE:FREQ?") return formatFixed(ddsFrequency(number("IM:OUTP:SINE:FREQ")), 6);
    if (h == "IM:OUTP:SQU:FREQ?") return formatFixed(ddsFrequency(number("IM:OUTP:SQU:FREQ")), 6);
    if (h == "IM:OUTP:AMPL?") return formatFixed(number("IM:OUTP:LEV", 0), 6);
    if (h == "IM:INP:SAMP:RATE?") {
        const double asked = number("IM:INP:SAMP:RATE");
        const double divisor = asked > 0.0 ? std::max(1.0, std::round(kSampleClockHz / asked)) : 0.0;
        return formatFixed(divisor > 0.0 ? kSampleClockHz / divisor : 0.0, 6);
    }
    if (h == "IM:INP:SAMP:CYCL?") return std::to_string(sampleCycleMs());
    if (h == "IM:INP:CURR:UNIT?") return formatFixed(number("IM:INP:CURR:UNIT"), 6);
    if (h == "IM:CAL:FREQ:COUNT?") return std::to_string(cal_.freqMarkers());
    if (h == "IM:CAL:GAIN:COUNT?") return std::to_string(cal_.gainMarkers());
    const std::string bare(h.substr(0, h.size() - 1));
    if (const Setting* s = findSetting(bare)) {
        if (s->args == Args::Int || s->args == Args::Float || s->args == Args::Float2) return keptOrInitial(bare);
    }
    return std::nullopt;
}

// A standard normal draw (Box-Muller on the module's own generator, so a
// seed gives the same readings with any standard library).
double ImModel::gauss() {
    const double u1 = (static_cast<double>(rng_()) + 1.0) / 4294967297.0;
    const double u2 = static_cast<double>(rng_()) / 4294967296.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

// One input: the range it reads on, and the amplitude and phase it reports.
ImModel::Channel ImModel::sense(double rms, double phase, double topRange, std::string_view gainHeader) {
    const double peak = kSqrt2 * rms;
    auto range = [topRange](int g) { return topRange * std::pow(10.0, -g); };
    int gain = std::clamp(static_cast<int>(number(gainHeader)), 0, kGainRanges - 1);
    if (flag("IM:INP:GAIN:AUTO")) {
        gain = 0;
        while (gain + 1 < kGainRanges && peak <= kAgcHeadroom * range(gain + 1)) ++gain;
    }
    const double full = range(gain);
    Channel ch;
    ch.over = peak > full;
    ch.phase = phase;
    double value = rms;
    const double noise = setup_.noise;
    if (noise > 0.0) {
        const double floor = full * noise * kFloorShare;
        value = rms * (1.0 + noise * gauss()) + floor * gauss();
        const double step = full / kAdcCounts;
        value = std::fabs(std::round(value / step) * step);
        // a signal lost in the floor has no phase to speak of
        if (rms > floor)
            ch.phase += (noise + floor / rms) * kDegPerRad * gauss();
        else
            ch.phase = 360.0 * static_cast<double>(rng_()) / 4294967296.0 - 180.0;
    }
    ch.amplitude = value * (flag("IM:AC:VALUE:PEAK") ? kSqrt2 : 1.0);
    return ch;
}

std::string ImModel::measure() {
    const double hz = stimulusHz();
    const double source = number("IM:OUTP:STAT");
    double ac = hz > 0.0 ? std::fabs(number("IM:OUTP:LEV", 0)) : 0.0;
    if (source == 2.0) ac *= 4.0 / kPi; // the square wave's fundamental
    const double unit = number("IM:INP:CURR:UNIT");
    const double dc = source == 0.0 ? number("IM:OUTP:VOLT") : number("IM:OUTP:LEV", 1);
    const double amps = ac * std::fabs(unit);
    std::complex<double> z(0.0, 0.0);
    if (amps > 0.0) z = dutImpedance(setup_.dut, hz, unit * dc);
    const double zPhase = std::arg(z) * kDegPerRad;

    const Channel i = sense(amps, 0.0, kCurrTopRange, "IM:INP:CURR:GAIN");
    const Channel v = sense(amps * std::abs(z), zPhase, kVoltTopRange, "IM:INP:VOLT:GAIN");
    const bool phase360 = flag("IM:PHASE:STATE");
    auto angle = [phase360](double deg) {
        double a = std::fmod(deg, 360.0);
        if (phase360) {
            if (a < 0.0) a += 360.0;
        } else if (a > 180.0) {
            a -= 360.0;
        } else if (a <= -180.0) {
            a += 360.0;
        }
        std::string text = formatFixed(a, 3);
        if (text == "-0.000") text.erase(0, 1);
        if (phase360 && text == "360.000") text = "0.000";
        return text;
    };
    auto amplitude = [](const Channel& ch) { return ch.over ? std::string(kOverWord) : formatGeneral(ch.amplitude, 7); };
    std::string zText;
    if (v.over || i.over || (i.amplitude <= 0.0 && v.amplitude > 0.0))
        zText = kOverWord; // a clipped input, or no current at all
    else
        zText = formatGeneral(i.amplitude > 0.0 ? v.amplitude / i.amplitude : 0.0, 7);
    return amplitude(v) + ' ' + angle(v.phase) + ' ' + amplitude(i) + ' ' + angle(i.phase) + ' ' + zText + ' ' +
        angle(v.phase - i.phase);
}

} // namespace sim
