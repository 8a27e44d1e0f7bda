// The IM module's calibration tables: values addressed by (table, item,
// gain index, frequency index), the working copy the commands read and
// write, and the state file that stands for the module's non-volatile memory.
//
// Tables, with F frequency markers and G gain markers:
//   5  marker frequencies   item 0,        gain 0,        frequency 0..F-1
//   0  output DC level      items 0 and 1, gain 0,        frequency 0
//   1  output AC level      items 0 and 1, gain 0,        frequency 0
//   2  output AC amplitude  items 0 and 1, gain 0,        frequency 0..F-1
//   3  input AC current     items 0 to 2,  gain 0..G-1,   frequency 0..F-1
//   4  input AC voltage     items 0 to 2,  gain 0..G-1,   frequency 0..F-1
// Item 0 is a gain correction near 1, item 1 an offset (tables 0 and 1, in
// volts) or a phase correction in degrees (tables 2 to 4), item 2 an offset.
// The initial values are a plausible factory calibration, the same for the
// same seed and serial number.
//
// State file (text): the line "imbench-sim calibration", the line
// "markers F G", then one line "t i g f value" per value.  Values whose
// address does not exist with this module's marker counts are skipped when
// the file is loaded.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

constexpr int kCalMaxFreqMarkers = 100;
constexpr int kCalMaxGainMarkers = 16;
// Marker frequencies are spread by decades from here to kCalTopMarkerHz.
constexpr double kCalLowMarkerHz = 1.0;
constexpr double kCalTopMarkerHz = 100000.0;

using CalAddress = std::array<int, 4>; // table, item, gain index, frequency index

class CalTables {
public:
    // Marker counts are clamped to 0..kCalMax*; identity picks the initial values.
    CalTables(int freqMarkers, int gainMarkers, uint64_t identity);

    int freqMarkers() const { return freqMarkers_; }
    int gainMarkers() const { return gainMarkers_; }
    bool exists(const CalAddress& address) const;
    // The value text; nullopt for an address that does not exist.
    std::optional<std::string> value(const CalAddress& address) const;
    // False (nothing changed) for an address that does not exist or a text
    // that is not one number.
    bool write(const CalAddress& address, std::string_view text);
    const std::map<CalAddress, std::string>& values() const { return values_; }

    // Writes the tables to path through a temporary file and a rename, so
    // the file holds either the old tables or the new ones.
    bool save(const std::string& path, std::string* error) const;
    // Takes the values of a state file; false with a message when it cannot
    // be read or a line is malformed (the tables are then unchanged).
    bool load(const std::string& path, std::string* error);

private:
    int freqMarkers_;
    int gainMarkers_;
    std::map<CalAddress, std::string> values_;
};

// A 64-bit identity of a module from its seed and serial number text.
uint64_t calIdentity(uint32_t seed, std::string_view serial);

} // namespace sim
