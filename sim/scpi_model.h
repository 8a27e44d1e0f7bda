// What the electronic load and the DC supply share: a table of numeric SCPI
// parameters with their limits, numbered lists, a clock that drives their
// physics, a first-order thermal model, and the model faults.
//
// A parameter H of the table answers
//   "H v"          set v (a whole number for an integer parameter, else any
//                  decimal or exponent form); refused outside the limits
//   "H?"           its value: integers in plain decimal, floats in a fixed or
//                  exponent form with 7 significant digits ("2.500000", "1.234567e-05")
//   "H? MAX", "H? MIN"   its limits as they stand now
// A read-only parameter (a measurement, a status register) refuses "H v"; a
// command-only one (a protection clear) takes no argument and has no query.
// Anything else under a known header (a missing or extra word, a word that is
// not a number, an unknown limit word) is refused, and so is an unknown
// header: Outcome::Refused, so the host hears "ERR".
//
// A list entry K n (n from 1 to the list's capacity) answers "K n v",
// "K? n", "K? n MAX" and "K? n MIN" the same way; an entry beyond the capacity
// is refused, so a host that reads entries until one fails stops there.
//
// Time: every command first runs the model's physics up to the clock's
// present (advance), event by event; the clock is Options::clock when set, so
// tests drive it and never sleep.  The running simulator also catches up at
// least once a second, so a long quiet spell costs no command a long wait.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/model.h"
#include "sim/sim.h"

namespace sim {

using Micros = std::int64_t; // model time
constexpr Micros kNever = std::numeric_limits<Micros>::max();
constexpr Micros kMicrosPerMs = 1000;

// Entries a list can be given through the capacity faults.
constexpr int kMaxListCapacity = 1000;

enum class Access { ReadWrite,
    ReadOnly,
    CommandOnly };

struct ParamSpec {
    const char* header;
    bool integer;
    double lo, hi; // the limits, unless the model narrows them by its state
    double initial;
    Access access = Access::ReadWrite;
};

struct Limits {
    double lo = 0.0, hi = 0.0;
    bool holds(double value) const; // within, allowing the rounding of the 7-digit replies
};

// One bit of a status register and its meaning, for --help.
struct StatusBit {
    int bit;
    const char* meaning;
};

// Reply text of a number: plain decimal for an integer, 7 significant digits otherwise.
std::string formatNumber(double value, bool integer);
// Fixed notation with that many significant digits from 1e-4 to 1e7, exponent form beyond.
std::string formatSignificant(double value, int digits);

// A first-order thermal model: with a constant power the temperature moves
// exponentially toward ambient + kelvinPerWatt x watts, time constant tauSeconds.
struct Thermal {
    double ambient = 25.0;
    double kelvinPerWatt = 0.0;
    double tauSeconds = 1.0;
    double celsius = 25.0;

    void run(double watts, Micros dt);
    // How long until the temperature climbs to limit at this power; kNever when
    // it does not, or is there already.
    Micros until(double watts, double limit) const;
};

class ScpiModel : public Model {
public:
    Outcome handle(const Command& command, std::string& reply) final;
    void setFaults(const Faults& faults);
    // Runs the physics up to the clock's present without a command.
    void catchUp() { advance(std::max(now_, clockNow())); }
    Micros now() const { return now_; }

protected:
    ScpiModel(std::span<const ParamSpec> params, ModelClock clock);

    // Runs the physics from now() up to `to` (not before now()) and leaves now() there.
    virtual void advance(Micros to) = 0;
    // Commands outside the parameter table (modes by name, lists, readings).
    virtual Outcome extra(const Command& command, std::string& reply) = 0;
    virtual Limits limits(const ParamSpec& param) const { return {param.lo, param.hi}; }
    virtual double read(const ParamSpec& param) const { return stored(param.header); }
    // Takes a value within the limits; false refuses it.
    virtual bool write(const ParamSpec& param, double value) {
        store(param.header, value);
        return true;
    }
    // A command-only parameter.
    virtual void run(const ParamSpec& param) = 0;

    void setNow(Micros t) { now_ = t; }
    double stored(std::string_view header) const;
    bool on(std::string_view header) const { return stored(header) != 0.0; }
    void store(std::string_view header, double value);
    const Faults& faults() const { return faults_; }

    // "? MAX" or "? MIN" of the parameter or list named key, the model faults applied.
    Outcome limitReply(std::string_view key, bool max, Limits limits, bool integer, std::string& reply) const;
    // One entry of a numbered list named key: "key n v", "key? n", "key? n MAX|MIN".
    // Entry numbers run from 1 to capacity; slot is entry n - 1 of entries.
    Outcome entry(const Command& command, std::string_view key, std::span<double> entries, int capacity,
        Limits limits, bool integer, std::string& reply);
    // "H? MAX" / "H? MIN" word of args: 1 max, -1 min, 0 none, nullopt anything else.
    static std::optional<int> limitWord(std::string_view args);

private:
    Outcome parameter(const ParamSpec& param, const Command& command, std::string& reply);
    Micros clockNow() const;

    std::span<const ParamSpec> params_;
    std::map<std::string, double, std::less<>> values_;
    ModelClock clock_;
    Faults faults_;
    Micros now_ = 0;
};

} // namespace sim
