#include "sim/dut.h"

#include <cmath>
#include <vector>

#include "sim/model.h"

namespace sim {

namespace {

constexpr double kTwoPi = 6.283185307179586;

bool fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

// The comma-separated numbers after the kind's colon.
bool numbers(std::string_view text, std::vector<double>& out) {
    out.clear();
    while (true) {
        const std::size_t comma = text.find(',');
        const auto value = parseDouble(trim(text.substr(0, comma)));
        if (!value) return false;
        out.push_back(*value);
        if (comma == std::string_view::npos) return true;
        text.remove_prefix(comma + 1);
    }
}

} // namespace

DutSpec dutResistor(double ohms) {
    DutSpec spec;
    spec.r = ohms;
    return spec;
}

DutSpec dutBattery() {
    DutSpec spec;
    spec.kind = DutKind::Randles;
    spec.rs = 0.020;
    spec.rct = 0.015;
    spec.cdl = 1.5;
    spec.w = 0.004;
    spec.l = 100e-9;
    return spec;
}

bool parseDut(std::string_view text, DutSpec& spec, std::string* error) {
    text = trim(text);
    if (text == "battery") {
        spec = dutBattery();
        return true;
    }
    const std::size_t colon = text.find(':');
    const std::string_view kind = text.substr(0, colon);
    std::vector<double> v;
    if (colon == std::string_view::npos || !numbers(text.substr(colon + 1), v))
        return fail(error, "--dut " + std::string(text) + ": expected resistor:R, rc:R,C, randles:Rs,Rct,Cdl,W[,L] or battery");
    auto positive = [](double x) { return x > 0.0; };
    auto nonNegative = [](double x) { return x >= 0.0; };
    DutSpec parsed;
    if (kind == "resistor") {
        if (v.size() != 1 || !positive(v[0])) return fail(error, "--dut resistor:R needs one resistance above 0");
        parsed = dutResistor(v[0]);
    } else if (kind == "rc") {
        if (v.size() != 2 || !positive(v[0]) || !positive(v[1]))
            return fail(error, "--dut rc:R,C needs a resistance and a capacitance above 0");
        parsed.kind = DutKind::Rc;
        parsed.r = v[0];
        parsed.c = v[1];
    } else if (kind == "randles") {
        if ((v.size() != 4 && v.size() != 5) || !nonNegative(v[0]) || !positive(v[1]) || !positive(v[2]) ||
            !nonNegative(v[3]) || (v.size() == 5 && !nonNegative(v[4])))
            return fail(error, "--dut randles:Rs,Rct,Cdl,W[,L] needs Rct and Cdl above 0, Rs, W and L at 0 or above");
        parsed.kind = DutKind::Randles;
        parsed.rs = v[0];
        parsed.rct = v[1];
        parsed.cdl = v[2];
        parsed.w = v[3];
        parsed.l = v.size() == 5 ? v[4] : 0.0;
    } else {
        return fail(error, "--dut: unknown kind " + std::string(kind));
    }
    spec = parsed;
    return true;
}

std::string dutText(const DutSpec& spec) {
    auto g = [](double x) { return formatGeneral(x, 6); };
    switch (spec.kind) {
    case DutKind::Resistor:
        return "resistor:" + g(spec.r);
    case DutKind::Rc:
        return "rc:" + g(spec.r) + "," + g(spec.c);
    case DutKind::Randles:
        return "randles:" + g(spec.rs) + "," + g(spec.rct) + "," + g(spec.cdl) + "," + g(spec.w) + "," + g(spec.l);
    }
    return "?";
}

double dutRct(const DutSpec& spec, double biasAmps) { return spec.rct / std::cosh(biasAmps / kBiasAmps); }

double dutCdl(const DutSpec& spec, double biasAmps) {
    return spec.cdl * (1.0 + kCdlBiasGain * biasAmps * biasAmps);
}

std::complex<double> dutImpedance(const DutSpec& spec, double hz, double biasAmps) {
    using C = std::complex<double>;
    const double w = kTwoPi * hz;
    const C jw(0.0, w);
    switch (spec.kind) {
    case DutKind::Resistor:
        return C(spec.r, 0.0);
    case DutKind::Rc:
        return spec.r / (1.0 + jw * spec.r * spec.c);
    case DutKind::Randles: {
        // W / sqrt(jw) = W (1 - j) / sqrt(2w)
        const C warburg = spec.w * C(1.0, -1.0) / std::sqrt(2.0 * w);
        const C faradaic = dutRct(spec, biasAmps) + warburg;
        const C doubleLayer = jw * dutCdl(spec, biasAmps);
        return spec.rs + faradaic / (1.0 + faradaic * doubleLayer) + jw * spec.l;
    }
    }
    return C(0.0, 0.0);
}

} // namespace sim
