#include "sim/im_model.h"

#include <cmath>
#include <cstdio>

#include "sim/sim.h"

namespace sim {

namespace {

// Argument shapes of the vocabulary, in the form the host formats them.
enum class Args {
    None,
    Int,        // "%d"
    Float,      // "%f"
    Float2,     // "%f %f"
    Hex4,       // "%04X"
    Hex4Hex2,   // "%04X %02X"
    Hex4Hex4,   // "%04X %04X"
    Int4,       // "%d %d %d %d"
    Int4Text,   // "%d %d %d %d %s"
};

struct Setting {
    const char* header;
    Args args;
    const char* initial;   // kept value before the first setting
    long lo = 0, hi = -1;  // allowed range of an Int argument when lo <= hi
};

// Every setting of the module.  Each can also be asked for with "<header>?".
constexpr Setting kSettings[] = {
    {"MIOB", Args::Hex4Hex2, ""},
    {"MIOW", Args::Hex4Hex4, ""},
    {"IM:MODE", Args::Int, "0"},
    {"IM:OUTP:SINE:FREQ", Args::Float, "1000.000000"},
    {"IM:OUTP:SQU:FREQ", Args::Float, "1000.000000"},
    {"IM:OUTP:VOLT", Args::Float, "0.000000"},
    {"IM:OUTP:STAT", Args::Int, "0", 0, 2},
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
    "IM:MEAS:READY?", "IM:MEAS:VAL?",     "IM:OUTP:SINE:FREQ?", "IM:OUTP:SQU:FREQ?",  "IM:OUTP:AMPL?",
    "IM:INP:SAMP:RATE?", "IM:INP:CURR:UNIT?", "IM:CAL:FREQ:COUNT?", "IM:CAL:GAIN:COUNT?",
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
    case Args::None: break;
    case Args::Int: ok = intFits(word(), lo, hi); break;
    case Args::Float: ok = floatFits(word()); break;
    case Args::Float2: ok = floatFits(word()) && floatFits(word()); break;
    case Args::Hex4: ok = parseHex(word(), 4).has_value(); break;
    case Args::Hex4Hex2: ok = parseHex(word(), 4) && parseHex(word(), 2); break;
    case Args::Hex4Hex4: ok = parseHex(word(), 4) && parseHex(word(), 4); break;
    case Args::Int4:
    case Args::Int4Text:
        for (int i = 0; i < 4 && ok; ++i) ok = intFits(word(), 0, 1 << 20);
        if (ok && shape == Args::Int4Text) return !trim(rest).empty();
        break;
    }
    return ok && trim(rest).empty();
}

std::array<int, 4> fourInts(std::string_view& rest) {
    std::array<int, 4> key{};
    for (int& k : key) k = static_cast<int>(parseInteger(nextWord(rest)).value_or(0));
    return key;
}

std::string hex(unsigned value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, value);
    return buf;
}

}  // namespace

double ddsFrequency(double hz) {
    if (!(hz > 0.0)) return 0.0;
    return std::round(hz / kDdsStepHz) * kDdsStepHz;
}

ImModel::ImModel() = default;

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

Outcome ImModel::handle(const Command& c, std::string& reply) {
    if (!c.query) {
        const Setting* s = findSetting(c.header);
        if (!s) return Outcome::Unknown;
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
        } else if (s->args == Args::Int4Text) {
            const auto key = fourInts(rest);
            calibration_[key] = std::string(trim(rest));
        } else if (c.header == "IM:CAL:SAVE") {
            savedCalibration_ = calibration_;
        }
        settings_[c.header] = std::string(c.args);
        return Outcome::Done;
    }
    auto a = answer(c);
    if (!a) return Outcome::Unknown;
    if (a->empty()) return Outcome::Invalid;
    reply = std::move(*a);
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
        if (!argsFit(Args::Int4, args, 0, -1)) return std::string();
        std::string_view rest = args;
        auto it = calibration_.find(fourInts(rest));
        return it != calibration_.end() ? it->second : std::string("1.000000");
    }
    if (!args.empty()) {
        // the remaining queries take no arguments
        const std::string bare(h.substr(0, h.size() - 1));
        bool known = findSetting(bare) != nullptr;
        for (const char* q : kPlainQueries) known = known || h == q;
        return known ? std::optional<std::string>(std::string()) : std::nullopt;
    }
    if (h == "IM:MEAS:READY?") return std::string(readings_ ? "1" : "0");
    if (h == "IM:MEAS:VAL?") {
        std::array<double, 6> v{};
        if (readings_) {
            v = *readings_;
        } else {
            const double ac = number("IM:OUTP:LEV", 0);
            v = {ac, 0.0, ohms_ > 0.0 ? ac / ohms_ : 0.0, 0.0, ohms_, 0.0};
        }
        std::string out;
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (i) out += ' ';
            out += (i % 2 == 0) ? formatGeneral(v[i], 7) : formatFixed(v[i], 3);
        }
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
    if (h == "IM:INP:CURR:UNIT?") return formatFixed(number("IM:INP:CURR:UNIT"), 6);
    if (h == "IM:CAL:FREQ:COUNT?") return std::to_string(kCalFreqCount);
    if (h == "IM:CAL:GAIN:COUNT?") return std::to_string(kCalGainCount);
    const std::string bare(h.substr(0, h.size() - 1));
    if (const Setting* s = findSetting(bare)) {
        if (s->args == Args::Int || s->args == Args::Float || s->args == Args::Float2) return keptOrInitial(bare);
    }
    return std::nullopt;
}

}  // namespace sim
