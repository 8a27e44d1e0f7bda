#include "sim/scpi_model.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace sim {

namespace {

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// A value word for a parameter: a whole number for an integer one.
std::optional<double> valueWord(std::string_view word, bool integer) {
    if (integer) {
        const auto v = parseInteger(word);
        if (!v) return std::nullopt;
        return static_cast<double>(*v);
    }
    return parseDouble(word);
}

} // namespace

bool Limits::holds(double value) const {
    // the host sends back what it read, formatted again: allow the last digit
    const double slack = 1e-6 * std::max({std::fabs(lo), std::fabs(hi), 1e-9});
    return value >= lo - slack && value <= hi + slack;
}

std::string formatSignificant(double value, int digits) {
    char buf[64];
    const double magnitude = std::fabs(value);
    std::to_chars_result r{};
    if (value == 0.0 || (magnitude >= 1e-4 && magnitude < 1e7)) {
        const int before = value == 0.0 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, std::max(0, digits - before));
    } else {
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
    }
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

std::string formatNumber(double value, bool integer) {
    if (integer) return std::to_string(static_cast<long long>(std::llround(value)));
    return formatSignificant(value, 7);
}

void Thermal::run(double watts, Micros dt) {
    if (dt <= 0) return;
    const double target = ambient + kelvinPerWatt * watts;
    celsius = target + (celsius - target) * std::exp(-static_cast<double>(dt) / (tauSeconds * 1e6));
}

Micros Thermal::until(double watts, double limit) const {
    const double target = ambient + kelvinPerWatt * watts;
    if (celsius >= limit || target <= limit) return kNever;
    const double seconds = tauSeconds * std::log((target - celsius) / (target - limit));
    return std::max<Micros>(1, static_cast<Micros>(std::ceil(seconds * 1e6)));
}

ScpiModel::ScpiModel(std::span<const ParamSpec> params, ModelClock clock) : params_(params), clock_(std::move(clock)) {
    if (!clock_) {
        const auto start = std::chrono::steady_clock::now();
        clock_ = [start] {
            return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        };
    }
    for (const ParamSpec& p : params_)
        if (p.access == Access::ReadWrite) values_[p.header] = p.initial;
    now_ = clockNow();
}

Micros ScpiModel::clockNow() const { return static_cast<Micros>(clock_().count()); }

void ScpiModel::setFaults(const Faults& faults) { faults_ = faults; }

double ScpiModel::stored(std::string_view header) const {
    auto it = values_.find(header);
    return it == values_.end() ? 0.0 : it->second;
}

void ScpiModel::store(std::string_view header, double value) {
    auto it = values_.find(header);
    if (it != values_.end())
        it->second = value;
    else
        values_.emplace(std::string(header), value);
}

std::optional<int> ScpiModel::limitWord(std::string_view args) {
    std::string_view rest = args;
    const std::string_view word = nextWord(rest);
    if (!rest.empty()) return std::nullopt;
    if (word.empty()) return 0;
    if (sameWord(word, "MAX")) return 1;
    if (sameWord(word, "MIN")) return -1;
    return std::nullopt;
}

Outcome ScpiModel::limitReply(std::string_view key, bool max, Limits limits, bool integer, std::string& reply) const {
    if (max && key == faults_.failMax) return Outcome::Refused;
    if (!max && key == faults_.failMin) return Outcome::Refused;
    double value = max ? limits.hi : limits.lo;
    if (!max && key == faults_.minAboveMax) value = limits.hi + 1.0;
    reply = formatNumber(value, integer);
    return Outcome::Done;
}

Outcome ScpiModel::handle(const Command& c, std::string& reply) {
    advance(std::max(now_, clockNow()));
    if (!faults_.refuse.empty() && c.header == faults_.refuse) return Outcome::Refused;
    const Outcome outcome = extra(c, reply);
    if (outcome != Outcome::Unknown) return outcome;
    const std::string_view header = c.query ? std::string_view(c.header).substr(0, c.header.size() - 1) : c.header;
    for (const ParamSpec& p : params_)
        if (header == p.header) return parameter(p, c, reply);
    return Outcome::Unknown;
}

Outcome ScpiModel::parameter(const ParamSpec& p, const Command& c, std::string& reply) {
    if (p.access == Access::CommandOnly) {
        if (c.query || !c.args.empty()) return Outcome::Refused;
        run(p);
        return Outcome::Done;
    }
    const Limits range = limits(p);
    if (c.query) {
        const auto which = limitWord(c.args);
        if (!which) return Outcome::Refused;
        if (*which != 0) return limitReply(p.header, *which > 0, range, p.integer, reply);
        reply = formatNumber(read(p), p.integer);
        return Outcome::Done;
    }
    if (p.access == Access::ReadOnly) return Outcome::Refused;
    std::string_view rest = c.args;
    const auto value = valueWord(nextWord(rest), p.integer);
    if (!value || !rest.empty() || !range.holds(*value)) return Outcome::Refused;
    return write(p, std::clamp(*value, range.lo, range.hi)) ? Outcome::Done : Outcome::Refused;
}

Outcome ScpiModel::entry(const Command& c, std::string_view key, std::span<double> entries, int capacity,
    Limits range, bool integer, std::string& reply) {
    std::string_view rest = c.args;
    const auto n = parseInteger(nextWord(rest));
    if (!n || *n < 1 || *n > capacity || *n > static_cast<long long>(entries.size())) return Outcome::Refused;
    double& slot = entries[static_cast<std::size_t>(*n - 1)];
    if (c.query) {
        const auto which = limitWord(rest);
        if (!which) return Outcome::Refused;
        if (*which != 0) return limitReply(key, *which > 0, range, integer, reply);
        reply = formatNumber(slot, integer);
        return Outcome::Done;
    }
    const auto value = valueWord(nextWord(rest), integer);
    if (!value || !rest.empty() || !range.holds(*value)) return Outcome::Refused;
    slot = std::clamp(*value, range.lo, range.hi);
    return Outcome::Done;
}

} // namespace sim
